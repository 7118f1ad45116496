// Header layouts of every archive format the engine reads or writes, with bounds-checked
// parsers. Nothing here knows about components, events or files: a parser gets the bytes
// and returns the fields as stored (raw names, raw dates), so that the lister, the
// extractors and the writers share one description of each format.
//
// All multi-byte fields are little-endian unless a layout says otherwise. A parser that is
// given too few bytes, or bytes that do not carry the format's signature, returns nothing;
// it never reads past the span it was given.
#pragma once
#include "common/LittleEndian.h"
#include "common/ZipDirectory.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace aehdr {

using Bytes = pvcommon::Bytes;

// ---------------------------------------------------------------------------------------
// Readers

inline std::uint16_t le16(const std::uint8_t* p) {
    return pvcommon::GetLE16(p);
}
inline std::uint32_t le32(const std::uint8_t* p) {
    return pvcommon::GetLE32(p);
}
inline std::uint64_t le64(const std::uint8_t* p) {
    return pvcommon::GetLE64(p);
}

using pvcommon::LeReader;

// Raw bytes of a field as a string (names are decoded by the caller, once, at the edge).
inline std::string toString(Bytes b) {
    return std::string(b.begin(), b.end());
}
// The bytes of a fixed-width field up to its first zero byte.
std::string fixedString(Bytes b);

// Hands out up to `count` bytes at `offset` of an archive (fewer at its end). The span stays
// valid until the next call. The lister's buffered archive and a memory block both fit.
using Fetch = std::function<Bytes(std::uint64_t offset, std::size_t count)>;

// ---------------------------------------------------------------------------------------
// ZIP (the published zip layout)

// The records and their parsers are the shared leaf's (common/ZipDirectory.h).
constexpr std::uint32_t kZipLocalSig = pvcommon::zip::kLocalSig;
constexpr std::uint32_t kZipCentralSig = pvcommon::zip::kCentralSig;
constexpr std::uint32_t kZipEndSig = pvcommon::zip::kEndSig;
constexpr std::uint32_t kZip64EndSig = pvcommon::zip::kEnd64Sig;
constexpr std::uint32_t kZip64LocatorSig = pvcommon::zip::kEnd64LocatorSig;
constexpr std::uint32_t kZipSpanSig = pvcommon::zip::kDescriptorSig; // first bytes of a spanned set
constexpr std::uint16_t kZipFlagEncrypted = pvcommon::zip::kFlagEncrypted;
constexpr std::uint16_t kZipFlagDescriptor = pvcommon::zip::kFlagDescriptor;
constexpr std::uint16_t kZipFlagUtf8 = pvcommon::zip::kFlagUtf8;
constexpr std::uint32_t kZip32Max = pvcommon::zip::k32Max;
using pvcommon::zip::applyZip64Extra;
using pvcommon::zip::findZipExtra;
using pvcommon::zip::parseZipCentral;
using pvcommon::zip::parseZipEnd;
using pvcommon::zip::parseZipLocal;
using pvcommon::zip::putZipCentral;
using pvcommon::zip::putZipEnd;
using pvcommon::zip::putZipLocal;
using pvcommon::zip::ZipCentralHeader;
using pvcommon::zip::ZipEndRecord;
using pvcommon::zip::ZipLocalHeader;
using pvcommon::zip::zipUnicodePath;

// ---------------------------------------------------------------------------------------
// CAB (Microsoft cabinet)

constexpr std::uint32_t kCabSig = 0x4643534D; // "MSCF"
constexpr std::uint16_t kCabFlagPrev = 0x0001, kCabFlagNext = 0x0002, kCabFlagReserve = 0x0004;
constexpr std::uint16_t kCabContinuedFromPrev = 0xFFFD, kCabContinuedToNext = 0xFFFE,
                        kCabContinuedPrevAndNext = 0xFFFF;
constexpr std::uint16_t kCabAttrUtf8Name = 0x80;

// Cabinet header:
//   0 "MSCF" | 4 reserved (4) | 8 cabinet size (4) | 12 reserved (4) | 16 first file offset (4)
//   20 reserved (4) | 24 minor version (1) | 25 major version (1) | 26 folder count (2)
//   28 file count (2) | 30 flags (2) | 32 set id (2) | 34 cabinet index (2)
//   36 (flag 4) header reserve size (2), folder reserve size (1), data reserve size (1), header
//      reserve; (flag 1) previous cabinet name, previous disk name; (flag 2) next cabinet name,
//      next disk name — each zero-terminated; then the folder records.
struct CabHeader {
    static constexpr std::size_t kFixedSize = 36;
    std::uint32_t cabinetSize = 0, firstFileOffset = 0;
    std::uint8_t versionMinor = 0, versionMajor = 0;
    std::uint16_t folderCount = 0, fileCount = 0, flags = 0, setId = 0, cabinetIndex = 0;
    std::uint16_t headerReserve = 0;
    std::uint8_t folderReserve = 0, dataReserve = 0;
    std::string prevCabinet, prevDisk, nextCabinet, nextDisk;
    std::size_t folderTableOffset = 0; // offset of the first folder record from the header start
};
// `in` holds the cabinet from its start (at least up to the first folder record).
std::optional<CabHeader> parseCabHeader(Bytes in);

// Folder record, 8 bytes (+ folder reserve): 0 first data block offset (4)
//   4 data block count (2) | 6 compression type (2; low 4 bits: 0 none, 1 MSZIP, 2 Quantum, 3 LZX)
struct CabFolder {
    static constexpr std::size_t kSize = 8;
    std::uint32_t firstDataOffset = 0;
    std::uint16_t dataBlocks = 0, compression = 0;
};
std::optional<CabFolder> parseCabFolder(Bytes in);

// File record, 16 bytes + zero-terminated name:
//   0 size (4) | 4 offset in the uncompressed folder (4) | 8 folder index (2) | 10 DOS date (2)
//   12 DOS time (2) | 14 attributes (2; 0x80 name is UTF-8) | 16 name
struct CabFile {
    static constexpr std::size_t kFixedSize = 16;
    std::uint32_t size = 0, folderOffset = 0;
    std::uint16_t folderIndex = 0, attributes = 0;
    std::uint32_t dosDateTime = 0;
    std::string name;             // raw
    std::size_t recordLength = 0; // fixed part + name + its zero byte
};
std::optional<CabFile> parseCabFile(Bytes in);

// ---------------------------------------------------------------------------------------
// BH (BlakHole), 37 bytes + name:
//   0 sig 0x07054842 | 4 header length incl. name (2, non-zero for an entry) | 6 37 (1)
//   7 version made by (1) | 8 version needed (1) | 9 flags (1; bit 0 encrypted, bits 1-2 deflate
//   option) | 10 method (1; 0 stored, 1 fused, 2/8 deflate) | 11 DOS date-time (4)
//   15 packed size (4) | 19 size (4) | 23 CRC-32 (4) | 27 attributes (2) | 29 zero (4)
//   33 name length (2) | 35 comment length (2) | 37 name ('/' separators)

constexpr std::uint32_t kBhSig = 0x07054842;
struct BhHeader {
    static constexpr std::size_t kSize = 37;
    std::uint16_t headerLength = 0;
    std::uint8_t versionMadeBy = 0, versionNeeded = 0, flags = 0, method = 0;
    std::uint32_t dosDateTime = 0, packedSize = 0, size = 0, crc32 = 0;
    std::uint16_t attributes = 0, nameLength = 0, commentLength = 0;
};
std::optional<BhHeader> parseBhHeader(Bytes in);

// ---------------------------------------------------------------------------------------
// MsGZ: 255-byte archive header (folder table offset at 41), folder records, entry records.
//   folder record: 0 (2) | 2 record length L (1) | 3 (3) | 6 name (L - 6); L = 0 ends the table
//   entry record, 29 bytes + name:
//   0 folder index (2) | 2 size (4) | 6 packed size (4) | 10 data offset (4)
//   14 DOS date-time (4) | 18 attributes (4) | 22 record size (4) | 26 (2) | 28 name length (1)

constexpr std::uint32_t kMsgzSig = 0x8C655D13;
constexpr std::size_t kMsgzArchiveHeaderSize = 255;
constexpr std::size_t kMsgzFolderTableOffsetAt = 41;
constexpr std::size_t kMsgzFolderRecordSize = 6;
struct MsgzEntry {
    static constexpr std::size_t kSize = 29;
    std::uint16_t folderIndex = 0;
    std::uint32_t size = 0, packedSize = 0, dataOffset = 0, dosDateTime = 0, attributes = 0, recordSize = 0;
    std::uint8_t nameLength = 0;
};
std::optional<MsgzEntry> parseMsgzEntry(Bytes in);

// ---------------------------------------------------------------------------------------
// GZip (RFC 1952) and the other single-stream formats that share its first byte.
//   0 magic (2) | 2 method (1) | 3 flags (1; 1 text, 2 header CRC, 4 extra, 8 name, 16 comment,
//   32 encrypted) | 4 MTIME (4, Unix seconds) | 8 extra flags (1) | 9 OS (1)
//   then (4) extra length (2) + extra, (8) name\0, (16) comment\0, (2) CRC-16 (2)
//   trailer: CRC-32 (4), size mod 2^32 (4)

constexpr std::uint16_t kGzipMagic = 0x8B1F, kGzipOldMagic = 0x9E1F, kCompressMagic = 0x9D1F,
                        kPackMagic = 0x1E1F, kLzhMagic = 0xA01F;
constexpr std::uint8_t kGzipFlagHeaderCrc = 0x02, kGzipFlagExtra = 0x04, kGzipFlagName = 0x08,
                       kGzipFlagComment = 0x10, kGzipFlagEncrypted = 0x20;
inline bool isGzipFamilyMagic(std::uint16_t m) {
    return m == kGzipMagic || m == kGzipOldMagic || m == kCompressMagic || m == kPackMagic || m == kLzhMagic;
}
struct GzipHeader {
    static constexpr std::size_t kFixedSize = 10;
    static constexpr std::size_t kTrailerSize = 8;
    std::uint16_t magic = 0;
    std::uint8_t method = 0, flags = 0, extraFlags = 0, os = 0;
    std::uint32_t mtime = 0;
    std::string name, comment;    // raw, present with their flags
    std::size_t headerLength = 0; // bytes up to the compressed data (gzip magics only)
    bool hasFullHeader() const { return magic == kGzipMagic || magic == kGzipOldMagic; }
};
// For the gzip magics the optional fields are read too (and must fit in `in`); for the
// others only the fixed 10 bytes are taken as they stand.
std::optional<GzipHeader> parseGzipHeader(Bytes in);

// ---------------------------------------------------------------------------------------
// HA: "HA" + file count (2), then per file:
//   0 version (high nibble) and method (low nibble) | 1 packed size (4) | 5 size (4)
//   9 CRC-32 (4) | 13 time (4, Unix seconds) | 17 path\0 (0xFF separators) | name\0
//   machine-info length (1) | machine info | packed data

constexpr std::uint16_t kHaSig = 0x4148; // "HA"
constexpr std::size_t kHaArchiveHeaderSize = 4;
constexpr std::uint8_t kHaMethodDir = 14;
struct HaHeader {
    static constexpr std::size_t kFixedSize = 17;
    std::uint8_t version = 0, method = 0;
    std::uint32_t packedSize = 0, size = 0, crc32 = 0, time = 0;
    std::string path, name; // raw; path with 0xFF separators
    std::uint8_t machineInfoLength = 0;
    std::size_t headerLength = 0; // up to the packed data
};
std::optional<HaHeader> parseHaHeader(Bytes in);

// ---------------------------------------------------------------------------------------
// ZOO: archive header, then directory entries chained by absolute offsets.
//   archive: 0 text (20) | 20 tag 0xFDC4A7DC (4) | 24 first entry offset (4)
//   28 its negation (4) | 32 major, minor version (1, 1) | 34 header type (1)
//   35 archive comment offset (4) | 39 comment length (2) | 41 version data (1)
//   entry:   0 tag (4) | 4 type (1) | 5 method (1) | 6 next entry offset (4) | 10 data offset (4)
//   14 DOS date (2) | 16 DOS time (2) | 18 CRC-16 (2) | 20 size (4) | 24 packed size (4)
//   28 major, minor version (1, 1) | 30 deleted (1) | 31 structure (1) | 32 comment offset (4)
//   36 comment length (2) | 38 name, zero-terminated (13) | 51 variable part length (2)
//   53 time zone (1) | 54 entry CRC (2) | 56 long name length (1) | 57 folder name length (1)
//   58 long name, then folder name (type 2 entries only)

constexpr std::uint32_t kZooTag = 0xFDC4A7DC;
struct ZooArchiveHeader {
    static constexpr std::size_t kSize = 42;
    std::uint32_t firstEntry = 0, firstEntryNeg = 0, commentOffset = 0;
    std::uint16_t commentLength = 0;
    bool consistent() const { return static_cast<std::uint32_t>(firstEntry + firstEntryNeg) == 0; }
};
std::optional<ZooArchiveHeader> parseZooArchive(Bytes in);
struct ZooEntry {
    static constexpr std::size_t kFixedSize = 58;
    std::uint8_t type = 0, method = 0, versionMajor = 0, versionMinor = 0, deleted = 0;
    std::uint32_t next = 0, dataOffset = 0;
    std::uint32_t dosDateTime = 0;
    std::uint16_t crc16 = 0;
    std::uint32_t size = 0, packedSize = 0, commentOffset = 0;
    std::uint16_t commentLength = 0;
    std::string shortName, longName, folder; // raw
};
// `in` holds the 58 fixed bytes and, for type-2 entries, what follows them (names).
std::optional<ZooEntry> parseZooEntry(Bytes in);

// ---------------------------------------------------------------------------------------
// ARJ: every header is "0x60 0xEA", basic header size H (2), H bytes, header CRC-32 (4),
// then extended headers (size (2), data, CRC-32 (4)) up to one of size 0.
//   (offsets from the magic) 4 first-header size F (1) | 5 archiver version (1)
//   6 minimum version (1) | 7 host OS (1) | 8 flags (1) | 9 method (1) | 10 file type (1)
//   11 reserved (1) | 12 DOS date-time (4) | 16 packed size (4) | 20 size (4) | 24 CRC-32 (4)
//   28 file-spec position (2) | 30 access mode (2) | 32 host data (2) | 4 + F name\0 comment\0

constexpr std::uint16_t kArjMagic = 0xEA60;
constexpr std::size_t kArjMaxBasicHeader = 2600;
constexpr std::uint8_t kArjFlagGarbled = 0x01, kArjFlagVolume = 0x04, kArjFlagExtFile = 0x08,
                       kArjFlagPathSym = 0x10;
constexpr std::uint8_t kArjTypeDir = 3;
constexpr std::uint8_t kArjHostUnix = 2, kArjHostNext = 8; // these hosts store Unix times
struct ArjHeader {
    std::uint16_t basicSize = 0; // H
    std::uint8_t firstHeaderSize = 0, versionMadeBy = 0, versionNeeded = 0, hostOs = 0, flags = 0, method = 0,
                 fileType = 0;
    std::uint32_t dosDateTime = 0, packedSize = 0, size = 0, crc32 = 0;
    std::uint16_t accessMode = 0;
    std::string name, comment;   // raw
    std::size_t totalLength = 0; // magic to the end of the extended headers (the data follows)
};
// `in` starts at the magic. Returns nothing for the end-of-archive header (H = 0), a wrong
// magic, H above 2600 or a header that does not fit.
std::optional<ArjHeader> parseArjHeader(Bytes in);

// ---------------------------------------------------------------------------------------
// LHA / LZH. Levels 0 and 1:
//   0 header size S (1, the header is S + 2 bytes) | 1 checksum (1) | 2 method "-lhN-" (5)
//   7 packed size (4) | 11 size (4) | 15 DOS date-time (4) | 19 attribute (1) | 20 level (1)
//   21 name length N (1) | 22 name | CRC-16 (2) | level 1: OS id (1), first extended size (2)
//   (level 1 counts the extended headers in the packed size)
// Level 2:
//   0 total header size (2) | 2 method (5) | 7 packed size (4) | 11 size (4)
//   15 Unix time (4) | 19 reserved (1) | 20 level (1) | 21 CRC-16 (2) | 23 OS id (1)
//   24 first extended size (2)
// Extended header: size (2, counting type, data and the next size), type (1), data, and
// the next extended header's size (2). Types: 0 header CRC, 1 name, 2 folder (0xFF
// separators), 0x40 DOS attribute, 0x54 Unix time.

struct LhaHeader {
    std::uint8_t level = 0;
    std::string method;           // "-lh5-" etc.
    std::uint64_t packedSize = 0; // data only (extended headers of level 1 taken out)
    std::uint32_t size = 0;
    std::uint32_t timeStamp = 0;           // DOS date-time for levels 0 and 1, Unix seconds for level 2
    std::optional<std::uint32_t> unixTime; // extended header 0x54
    std::uint8_t attribute = 0, osId = 0;
    std::uint16_t crc16 = 0;
    std::string name, folder;       // raw; folder with '/' separators
    std::uint64_t headerLength = 0; // header start to the data
};
// Reads one header at `offset` through `fetch`. Returns nothing at the end marker (a zero
// byte) or when the header is short or inconsistent.
std::optional<LhaHeader> readLhaHeader(const Fetch& fetch, std::uint64_t offset);

// ---------------------------------------------------------------------------------------
// RAR (versions 1.5 to 4): marker "Rar!\x1A\x07\x00", then blocks:
//   0 header CRC (2) | 2 type (1; 0x73 archive, 0x74 file, 0x7B end) | 3 flags (2; 0x8000 an
//   added size follows) | 5 header size (2) | 7 added size (4, with 0x8000)
// File header, 32 bytes + name:
//   7 packed size (4) | 11 size (4) | 15 host OS (1) | 16 CRC-32 (4) | 20 DOS date-time (4)
//   24 version (1) | 25 method (1, '0'..'5') | 26 name size (2) | 28 attributes (4)
//   32 (flag 0x100) high packed size (4), high size (4) | name (flag 0x200: OEM name \0 Unicode)

constexpr std::uint8_t kRarMarker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
constexpr std::uint8_t kRar5Marker[8] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00};
constexpr std::uint8_t kRarTypeMain = 0x73, kRarTypeFile = 0x74, kRarTypeEnd = 0x7B;
constexpr std::uint16_t kRarFlagSplitBefore = 0x0001, kRarFlagSplitAfter = 0x0002, kRarFlagPassword = 0x0004,
                        kRarFlagLarge = 0x0100, kRarFlagUnicode = 0x0200, kRarFlagSkip = 0x4000,
                        kRarFlagLongBlock = 0x8000;
constexpr std::uint16_t kRarFlagSolid = 0x0010;   // a file's data continue the previous file's
constexpr std::uint16_t kRarFlagDirMask = 0x00E0; // all three dictionary bits: a folder
constexpr std::uint16_t kRarMainFlagVolume = 0x0001, kRarMainFlagComment = 0x0002, kRarMainFlagSolid = 0x0008,
                        kRarMainFlagNewNumbering = 0x0010, kRarMainFlagLocked = 0x0080,
                        kRarMainFlagEncryptVer = 0x0200;
constexpr std::size_t kRarMainHeaderSize = 13;
struct RarBlock {
    static constexpr std::size_t kBaseSize = 7;
    std::uint16_t crc = 0;
    std::uint8_t type = 0;
    std::uint16_t flags = 0, headerSize = 0;
    std::uint64_t addSize = 0; // data after the header
    std::uint64_t totalLength() const { return headerSize + addSize; }
};
std::optional<RarBlock> parseRarBlock(Bytes in);
struct RarFileHeader {
    static constexpr std::size_t kFixedSize = 32;
    std::uint16_t flags = 0, headerSize = 0;
    std::uint64_t packedSize = 0, size = 0;
    std::uint8_t hostOs = 0, version = 0, method = 0;
    std::uint32_t crc32 = 0, dosDateTime = 0, attributes = 0;
    std::string name;                    // raw (the OEM part when a Unicode name follows)
    std::optional<std::string> utf8Name; // decoded Unicode name (flag 0x200)
    bool isDirectory() const { return (flags & 0x00E0) == 0x00E0 || (attributes & 0x10) != 0; }
};
// `in` holds the whole header (header size bytes).
std::optional<RarFileHeader> parseRarFileHeader(Bytes in);

// ---------------------------------------------------------------------------------------
// ARC and PAK, 29 bytes (25 for the old method 1, which stores no size):
//   0 0x1A | 1 type/method (0 end; 30 folder, 31 end of folder) | 2 name\0 (13)
//   15 packed size (4) | 19 DOS date (2) | 21 DOS time (2) | 23 CRC-16 (2) | 25 size (4)

constexpr std::uint8_t kArcMark = 0x1A, kArcEnd = 0, kArcFolder = 30, kArcFolderEnd = 31;
struct ArcHeader {
    static constexpr std::size_t kSize = 29;
    static constexpr std::size_t kOldSize = 25;
    std::uint8_t type = 0;
    std::string name; // raw
    std::uint32_t packedSize = 0, size = 0, dosDateTime = 0;
    std::uint16_t crc16 = 0;
    std::size_t headerLength = 0;
};
// Nothing when the mark is missing. The end record (type 0) and the end-of-folder record
// (type 31, 2 bytes) come back with headerLength 2.
std::optional<ArcHeader> parseArcHeader(Bytes in);

// ---------------------------------------------------------------------------------------
// ACE: base header 0 CRC-16 (2) | 2 header size (2, bytes after this field) | 4 type (1)
//   5 flags (2; 1 an added size follows, 2 comment, 0x1000 from previous volume,
//   0x2000 to next volume, 0x4000 password)
// main (type 0): 7 "**ACE**" | 14 version to extract (1) | 15 version made by (1) | 16 host (1)
//   17 volume number (1) | 18 time (4) | 22 reserved (8) | 30 creator length (1) | creator
// file (type 1): 7 packed size (4) | 11 size (4) | 15 DOS date-time (4) | 19 attributes (4)
//   23 CRC-32 (4) | 27 compression type (1) | 28 quality (1) | 29 parameter (2)
//   31 reserved (2) | 33 name length (2) | 35 name | comment

constexpr std::uint8_t kAceTypeMain = 0, kAceTypeFile = 1;
constexpr std::string_view kAceMark = "**ACE**"; // in the main header
constexpr std::size_t kAceMarkAt = 7;
constexpr std::uint16_t kAceFlagAddSize = 0x0001, kAceFlagComment = 0x0002, kAceFlagSplitBefore = 0x1000,
                        kAceFlagSplitAfter = 0x2000, kAceFlagPassword = 0x4000;
constexpr std::uint16_t kAceMainFlagVolume = 0x0800;
struct AceBlock {
    static constexpr std::size_t kBaseSize = 7;
    std::uint16_t crc = 0, headerSize = 0, flags = 0;
    std::uint8_t type = 0;
    std::uint64_t totalHeaderLength() const { return 4u + headerSize; }
};
std::optional<AceBlock> parseAceBlock(Bytes in);
struct AceMainHeader {
    std::uint16_t flags = 0;
    std::uint8_t versionExtract = 0, versionMadeBy = 0, host = 0, volumeNumber = 0;
    std::uint64_t headerLength = 0;
};
std::optional<AceMainHeader> parseAceMain(Bytes in); // `in` holds the whole header
struct AceFileHeader {
    static constexpr std::size_t kFixedSize = 35;
    std::uint16_t flags = 0;
    std::uint32_t packedSize = 0, size = 0, dosDateTime = 0, attributes = 0, crc32 = 0;
    std::uint8_t compressionType = 0, quality = 0;
    std::string name;
    std::uint64_t headerLength = 0; // the data follows
};
std::optional<AceFileHeader> parseAceFile(Bytes in); // `in` holds the whole header

// ---------------------------------------------------------------------------------------
// TAR (POSIX ustar, GNU and pax), 512-byte blocks:
//   0 name (100) | 100 mode (8) | 108 uid (8) | 116 gid (8) | 124 size (12) | 136 mtime (12)
//   148 checksum (8) | 156 typeflag (1) | 157 link name (100) | 257 magic "ustar" (6)
//   263 version (2) | 265 user (32) | 297 group (32) | 329 devmajor (8) | 337 devminor (8)
//   345 prefix (155, ustar)
// Numbers are octal text, or (GNU) big-endian binary when the first byte has bit 7 set.

constexpr std::size_t kTarBlock = 512;
struct TarHeader {
    std::string name, linkName, prefix; // raw
    std::uint64_t size = 0;
    std::int64_t mtime = 0;
    std::uint32_t mode = 0, checksum = 0;
    char typeflag = 0;
    bool ustar = false;
    bool checksumOk = false;
};
std::optional<std::uint64_t> parseTarNumber(Bytes field);
// Parses one 512-byte block. Nothing for an all-zero block or a short span.
std::optional<TarHeader> parseTarHeader(Bytes block);
bool isZeroBlock(Bytes block);
// One member with its long name resolved: GNU 'L'/'K' records and pax 'x' records before
// it are read and folded in; `next` is the offset of the following header.
struct TarEntry {
    TarHeader header;
    std::string name;               // the full stored name, raw
    std::string linkName;           // the full link target, raw (GNU 'K' or pax "linkpath")
    std::uint64_t headerOffset = 0; // the member's own header (after any name records)
    std::uint64_t dataOffset = 0;
    std::uint64_t next = 0;
    std::optional<std::int64_t> paxMtime;
    bool paxSparse = false; // pax "GNU.sparse." records: the data is a map and pieces, not the file
};
enum class TarRead { Entry, End, Corrupt };
TarRead readTarEntry(const Fetch& fetch, std::uint64_t offset, std::uint64_t archiveSize, TarEntry& out);

} // namespace aehdr
