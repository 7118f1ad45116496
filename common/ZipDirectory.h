// The zip container's records and its central-directory walk, read the one way every layer
// reads them: the engine's lister and extractor, the zip front-end and the zip-library
// stand-ins. Standard library only. Parsers get bytes and return the fields as stored (raw
// names, raw DOS dates); they never read past the span they were given.
#pragma once
#include "common/LittleEndian.h"
#include "common/ZipLayout.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace pvcommon {

using Bytes = std::span<const std::uint8_t>;

// Little-endian reader over a borrowed span with a sticky "ran out" flag: once a read does
// not fit, every later read gives zero and ok() stays false.
class LeReader {
public:
    explicit LeReader(Bytes in, std::size_t pos = 0) noexcept
        : in_{in}, pos_{pos <= in.size() ? pos : in.size()} {
        if (pos > in.size()) ok_ = false;
    }
    std::uint8_t u8() noexcept { return need(1) ? in_[pos_++] : 0; }
    std::uint16_t u16() noexcept {
        if (!need(2)) return 0;
        auto v = GetLE16(in_.data() + pos_);
        pos_ += 2;
        return v;
    }
    std::uint32_t u32() noexcept {
        if (!need(4)) return 0;
        auto v = GetLE32(in_.data() + pos_);
        pos_ += 4;
        return v;
    }
    std::uint64_t u64() noexcept {
        if (!need(8)) return 0;
        auto v = GetLE64(in_.data() + pos_);
        pos_ += 8;
        return v;
    }
    Bytes bytes(std::size_t n) noexcept {
        if (!need(n)) return {};
        auto s = in_.subspan(pos_, n);
        pos_ += n;
        return s;
    }
    // Bytes up to (not including) the next zero byte, which is consumed; without a zero
    // byte before the end the read fails.
    Bytes zstring() noexcept;
    void skip(std::size_t n) noexcept { (void)bytes(n); }
    bool need(std::size_t n) noexcept {
        if (ok_ && n <= in_.size() - pos_) return true;
        ok_ = false;
        return false;
    }
    bool ok() const noexcept { return ok_; }
    std::size_t pos() const noexcept { return pos_; }
    std::size_t left() const noexcept { return in_.size() - pos_; }

private:
    Bytes in_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

} // namespace pvcommon

namespace pvcommon::zip {

// Hands out up to `count` bytes at `offset` of a file (fewer at its end). The span stays
// valid until the next call.
using Fetch = std::function<Bytes(std::uint64_t offset, std::size_t count)>;

constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagDescriptor = 0x0008;
constexpr std::uint16_t kFlagUtf8 = 0x0800;
constexpr std::uint32_t k32Max = 0xFFFFFFFF; // a 32-bit field holding this defers to zip64
constexpr std::uint32_t kDigitalSignatureSig = 0x05054B50;
constexpr std::uint16_t kExtraZip64 = 0x0001;
constexpr std::uint16_t kExtraUnicodePath = 0x7075;

// Local header, 30 bytes:
//   0 sig 0x04034B50 | 4 version needed (2) | 6 flags (2) | 8 method (2) | 10 DOS time (2)
//   12 DOS date (2) | 14 CRC-32 (4) | 18 packed size (4) | 22 size (4) | 26 name length (2)
//   28 extra length (2) | 30 name, then extra field
struct ZipLocalHeader {
    static constexpr std::size_t kSize = kLocalSize;
    std::uint16_t versionNeeded = 0, flags = 0, method = 0;
    std::uint32_t dosDateTime = 0; // date in the high word
    std::uint32_t crc32 = 0, packedSize = 0, size = 0;
    std::uint16_t nameLength = 0, extraLength = 0;
};
std::optional<ZipLocalHeader> parseZipLocal(Bytes in);

// Central header, 46 bytes:
//   0 sig 0x02014B50 | 4 version made by (2) | 6 version needed (2) | 8 flags (2)
//   10 method (2) | 12 DOS time (2) | 14 DOS date (2) | 16 CRC-32 (4) | 20 packed size (4)
//   24 size (4) | 28 name length (2) | 30 extra length (2) | 32 comment length (2)
//   34 disk number (2) | 36 internal attributes (2) | 38 external attributes (4)
//   42 local header offset (4) | 46 name, extra field, comment
struct ZipCentralHeader {
    static constexpr std::size_t kSize = kCentralSize;
    std::uint16_t versionMadeBy = 0, versionNeeded = 0, flags = 0, method = 0;
    std::uint32_t dosDateTime = 0, crc32 = 0;
    std::uint64_t packedSize = 0, size = 0, localOffset = 0; // widened by the zip64 extra
    std::uint16_t nameLength = 0, extraLength = 0, commentLength = 0;
    std::uint32_t diskNumber = 0;
    std::uint16_t internalAttr = 0;
    std::uint32_t externalAttr = 0;
    std::size_t variableLength() const { return std::size_t{nameLength} + extraLength + commentLength; }
};
std::optional<ZipCentralHeader> parseZipCentral(Bytes in);

// End of central directory, 22 bytes (+ comment):
//   0 sig 0x06054B50 | 4 this disk (2) | 6 disk of the central directory (2)
//   8 entries on this disk (2) | 10 entries (2) | 12 central directory size (4)
//   16 central directory offset (4) | 20 comment length (2) | 22 comment
struct ZipEndRecord {
    static constexpr std::size_t kSize = kEndSize;
    std::uint16_t thisDisk = 0, centralDisk = 0, entriesThisDisk = 0, entries = 0;
    std::uint32_t centralSize = 0, centralOffset = 0;
    std::uint16_t commentLength = 0;
};
std::optional<ZipEndRecord> parseZipEnd(Bytes in);

// Writers of the same three records: `out` takes kSize bytes. Values wider than a field's
// 32 bits are the caller's to refuse (zip64 is not written).
void putZipLocal(const ZipLocalHeader& h, std::uint8_t* out);
void putZipCentral(const ZipCentralHeader& h, std::uint8_t* out);
void putZipEnd(const ZipEndRecord& e, std::uint8_t* out);

// Extra-field blocks: id (2), size (2), data. Finds the data of block `id`; a block whose
// size runs past the field ends the search.
std::optional<Bytes> findZipExtra(Bytes extra, std::uint16_t id);
// Zip64 extended information (id 0x0001): the 64-bit values of exactly those central
// fields that hold 0xFFFFFFFF, in the order size, packed size, local offset, disk.
// Returns false when the block is missing or too short for the fields that need it.
bool applyZip64Extra(Bytes extra, ZipCentralHeader& h);
// Info-ZIP Unicode path (id 0x7075): version 1, CRC-32 of the stored name, UTF-8 name.
// Given the CRC-32 of the stored name, returns the UTF-8 name when it belongs to it.
std::optional<std::string> zipUnicodePath(Bytes extra, std::uint32_t storedNameCrc);

// Signatures that may follow the last central record: the end records and the digital
// signature (and another central record).
bool IsTrailerSig(std::uint32_t sig);

// ---- the end record ----

struct ZipEndFound {
    ZipEndRecord record;
    std::uint64_t offset = 0; // where the record starts
    std::string comment;      // the archive comment as stored, cut to the wanted length
};
// The end-of-central-directory record of a file of `fileSize` bytes: the last one whose
// comment runs exactly to the end of the file -- or, with `bytesAfter`, the last one whose
// comment ends within the file (bytes appended after the zip). Its comment is kept up to
// `maxComment` bytes.
std::optional<ZipEndFound> FindZipEnd(const Fetch& in, std::uint64_t fileSize,
                                      std::size_t maxComment = kMaxEndComment, bool bytesAfter = false);

// Zip64 end-of-central-directory locator, 20 bytes, right in front of the end record:
//   0 sig 0x07064B50 | 4 disk with the zip64 end record (4) | 8 its offset (8) | 16 disks (4)
// Zip64 end record, 56 bytes (+ extensible data):
//   0 sig 0x06064B50 | 4 size of the rest (8) | 12 version made by (2) | 14 version needed (2)
//   16 this disk (4) | 20 disk of the central directory (4) | 24 entries on this disk (8)
//   32 entries (8) | 40 central directory size (8) | 48 central directory offset (8)
constexpr std::size_t kEnd64LocatorSize = 20;
constexpr std::size_t kEnd64Size = 56;

// What the end of a zip says about its directory: the end record's numbers, widened from
// the zip64 end record when a locator stands in front of the end record (a zip of more
// than 65,535 entries keeps its count only there).
struct ZipDirectoryEnd {
    std::uint32_t thisDisk = 0, centralDisk = 0;
    std::uint64_t entriesThisDisk = 0, entries = 0, centralSize = 0, centralOffset = 0;
    std::uint64_t directoryEnd = 0; // where the directory ends: the zip64 end record, or the end record
    bool zip64 = false;             // the numbers come from the zip64 end record
    // Numbers the 32-bit fields cannot hold: the archive reaches past 4 GiB.
    bool beyond32() const { return centralSize >= k32Max || centralOffset >= k32Max; }
};
// Reads the zip64 records in front of the end record `end` (of this file) when there are
// any. Empty when a locator stands there but its end record does not (a damaged zip, or one
// whose zip64 record lies on another disk).
std::optional<ZipDirectoryEnd> ResolveZipEnd(const Fetch& in, const ZipEndFound& end);

// ---- the central-directory walk ----

// One central-directory record as the walk reads it.
struct ZipCentralRecord {
    ZipCentralHeader header; // sizes, offset and disk widened where the zip64 extra has them
    bool zip64 = false;      // the packed size, the size or the local offset defers to zip64
    std::string rawName;     // as stored: the caller decodes it
    std::string extra;       // the extra field's bytes
    std::string comment;     // the entry's comment as stored, cut to the wanted length
    std::uint64_t next = 0;  // offset of the record after this one
    Bytes extraBytes() const { return {reinterpret_cast<const std::uint8_t*>(extra.data()), extra.size()}; }
};

enum class ZipCentralRead : std::uint8_t {
    Record,   // `out` holds the record at the offset
    Trailer,  // the directory ended: an end record or a digital signature stands there
    Foreign,  // some other signature stands there: the directory is damaged
    Short,    // the file ends inside the record's fixed part
    VarShort, // the file ends inside the record's name, extra field or comment
};
// Reads the central record at `offset`. `out` may be reused from call to call.
ZipCentralRead ReadZipCentral(const Fetch& in, std::uint64_t offset, ZipCentralRecord& out,
                              std::size_t maxComment = kMaxEndComment);

// ---- the local-header walk ----

// One local record as the walk reads it.
struct ZipLocalRecord {
    std::uint32_t signature = 0; // the four bytes at the offset
    ZipLocalHeader header;       // as stored (32-bit sizes)
    bool zip64 = false;          // the packed size or the size defers to zip64
    // The sizes, widened from the zip64 extra (size, then packed size) where it has them.
    std::uint64_t packedSize = 0, size = 0;
    std::string rawName;    // as stored: the caller decodes it
    std::string extra;      // the extra field's bytes
    std::uint64_t data = 0; // offset of the entry's data
};

enum class ZipLocalRead : std::uint8_t {
    Record,   // `out` holds the record at the offset
    End,      // fewer than four bytes are left
    Trailer,  // a central record, an end record or a digital signature stands there
    Foreign,  // some other signature (in out.signature) stands there
    Short,    // the file ends inside the header's fixed part
    VarShort, // the file ends inside the name or the extra field
};
// Reads the local record at `offset`. `out` may be reused from call to call.
ZipLocalRead ReadZipLocal(const Fetch& in, std::uint64_t offset, ZipLocalRecord& out);

} // namespace pvcommon::zip
