// Archive types and their tables, archive type detection, and the small helpers every archive
// component shares: the attribute filter, the stopwatch, the chosen-entry list, Unix time and
// octal header fields, and the ARJ password shift.
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "aeCommon.h" // TDateTime

// ---------------------------------------------------------------------------------------------
// ArcStart — the one convention for where an archive begins inside its file.
//
//   ArcStart is 1-based: ArcStart - 1 is the 0-based file offset of the archive's first header
//   (its first byte). An archive that starts the file has ArcStart 1; a self-extracting
//   program whose archive follows a 20000-byte program part has ArcStart 20001. So
//   ArcStart - 1 is also the length of any prefix in front of the archive, which a writer
//   copies unchanged when it rewrites a self-extractor.
//
//   Zip family (atZip, atZipExe, atZipMV, atJar, atJarExe): ArcStart - 1 is the offset of the
//   first local header. When ZipDirFlags has bit 3 the central directory was confirmed and
//   ZipCentralOffset is the file offset of its first header; offsets stored inside the
//   directory (local-header offsets, the directory offset itself) become file offsets by
//   adding ZipOffsetBias, which is non-zero when a program was put in front of a zip without
//   adjusting them. Without bit 3 a reader walks the local headers from ArcStart - 1.
//
//   Every road of detection (start of file, fixed self-extractor offsets, program resources,
//   end of the DOS image, end-of-central-directory record, the scan) sets ArcStart by this
//   rule, and the lister, the extractors and the writers read it by this rule.
// ---------------------------------------------------------------------------------------------

// Archive types; the order is fixed (stored settings and tables index by it).
enum TArcType : uint8_t {
    atNA,
    atUnsupported,
    atFileOpenErr,
    atUnknown,
    atACE,
    atAceExe,
    atArc,
    atArcExe,
    atArj,
    atArjExe,
    atBh,
    atBhExe,
    atCab,
    atGZip,
    atHa,
    atJar,
    atJarExe,
    atLha,
    atLhaExe,
    atLzh,
    atLzhExe,
    atMsGZ,
    atPak,
    atPakExe,
    atRar,
    atRarExe,
    atTar,
    atUue,
    atZip,
    atZipExe,
    atZipMV,
    atZoo,
};
constexpr int kArcTypeCount = 32;

// Display names exactly as shown in lists, padding included ("MsGZ" ends in five spaces and a tab).
extern const std::array<std::string_view, kArcTypeCount> ArcTypeNames;
// The enumerator names ("atZip"), for logs and the harness.
extern const std::array<std::string_view, kArcTypeCount> ArcTypeIdents;
// Default extensions; writers and the application index this table.
extern const std::array<std::string_view, 20> DefaultExts;

std::string_view ArcTypeName(TArcType t);  // display name; "" for an out-of-range value
std::string_view ArcTypeIdent(TArcType t); // "atZip"; "" for an out-of-range value

// ---- Type sets (bit n stands for the type of ordinal n) ----
using TArcTypes = uint32_t;
constexpr TArcTypes ArcBit(TArcType t) {
    return TArcTypes{1} << t;
}
constexpr bool InArcTypes(TArcTypes set, TArcType t) {
    return t < kArcTypeCount && (set & ArcBit(t)) != 0;
}

constexpr TArcTypes UnknownArcTypes =
    ArcBit(atNA) | ArcBit(atUnsupported) | ArcBit(atFileOpenErr) | ArcBit(atUnknown);
// The capability tables, drawn from the format rows (archive/aeFormats.h): a row's cells say
// which of its types are extracted, written and tested, and whether an outside library reads
// them. Each reads as a TArcTypes.
struct TArcTypesView {
    TArcTypes (*Get)();
    operator TArcTypes() const { return Get(); }
};
TArcTypes RowsOutsideLibraryTypes();
TArcTypes RowsExtractableTypes();
TArcTypes RowsWritableTypes();
TArcTypes RowsTestableTypes();
// Types opened by an outside library rather than by the run drivers.
inline constexpr TArcTypesView OutsideLibraryArcTypes{&RowsOutsideLibraryTypes};
inline constexpr TArcTypesView ExtractableArcTypes{&RowsExtractableTypes};
inline constexpr TArcTypesView WritableArcTypes{&RowsWritableTypes};
inline constexpr TArcTypesView TestableArcTypes{&RowsTestableTypes};
constexpr TArcTypes ZipFamilyArcTypes =
    ArcBit(atZip) | ArcBit(atZipExe) | ArcBit(atZipMV) | ArcBit(atJar) | ArcBit(atJarExe);

// ---------------------------------------------------------------------------------------------
// Reading the bytes of an archive for detection: a file descriptor or a memory block.
// ---------------------------------------------------------------------------------------------
class TByteSource {
public:
    virtual ~TByteSource() = default;
    virtual int64_t Size() const = 0;
    // Up to `count` bytes at `offset`; fewer at the end, 0 past it or on an error. Never throws.
    virtual int64_t ReadAt(int64_t offset, void* buffer, int64_t count) const = 0;
};

class TFdSource final : public TByteSource {
public:
    explicit TFdSource(int fd); // the descriptor stays the caller's
    int64_t Size() const override { return size_; }
    int64_t ReadAt(int64_t offset, void* buffer, int64_t count) const override;

private:
    int fd_;
    int64_t size_;
};

class TMemorySource final : public TByteSource {
public:
    explicit TMemorySource(std::span<const uint8_t> data) : data_(data) {}
    int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
    int64_t ReadAt(int64_t offset, void* buffer, int64_t count) const override;

private:
    std::span<const uint8_t> data_;
};

// ---------------------------------------------------------------------------------------------
// Archive type detection
// ---------------------------------------------------------------------------------------------

// ZipDirFlags bits.
enum : uint32_t {
    zdEndRecord = 0x01,     // end-of-central-directory record found
    zdCentralHeader = 0x08, // the first central header is valid
    zdLocalHeader = 0x10,   // its local header is valid, or a probe found a local header
};

// What detection needs to know about the drive the archive lies on.
struct TDetectDrive {
    bool Removable = false;     // a removable drive: zips there may be spanned sets
    bool HasDiskNumber = false; // the disk in it carries a spanned-set disk number
};

// The answer of a detection and the zip records as read.
struct TDetectResult {
    TArcType ArcType = atNA;
    int64_t ArcStart = 1; // see the ArcStart convention above
    int64_t ArchiveSize = 0;
    uint32_t ZipDirFlags = 0;
    uint16_t FirstWord = 0;       // the file's first two bytes, little-endian
    int64_t ZipCentralOffset = 0; // file offset of the first central header (with zdCentralHeader)
    int64_t ZipOffsetBias = 0;    // added to offsets stored in the central directory
    int64_t ZipEndOffset = -1;    // file offset of the end-of-central-directory record, -1 when none
    std::array<uint8_t, 22> ZipEndRecord{};
    std::array<uint8_t, 46> ZipCentralHeader{};
    std::array<uint8_t, 30> ZipLocalHeader{};
};

// One detection over a byte source. Every step reads through bounds-checked calls and never
// throws; the steps are public so that components can run them one by one. Detection knows
// no format itself: the signatures, scan marks, steps and name rules are the format rows'
// (archive/aeFormats.h), and the steps of one format (the zip directory's search, the uue
// "begin" line, the tar checksum, ...) are its module's functions over this detector.
class TArcDetector : public TDetectResult {
public:
    TArcDetector(const TByteSource& src, std::string_view fileName, TDetectDrive drive = {},
                 int zipCmntBufSize = 0);

    // Runs every road in order and leaves the answer in the fields.
    TArcType DetectArcType();

    // Mode 1: the signature starts the file; mode 0: it stands inside a program file; other
    // modes give atNA for every signature the two modes do not answer alike. The signatures
    // are the format rows', tried by rank.
    TArcType CheckSignature(uint32_t signature, int mode);
    // Looks for an archive inside a program from offset `from` on; 1-based ArcStart or 0.
    int64_t ScanForEmbeddedArchive(TArcType& type, int64_t from = 17000);
    // The decimal offsets held in string resources 1..4 of a PE program.
    bool FindByResourceOffsets();
    // The archive appended at the end of the DOS image; true when that ended detection.
    bool FindAtDosImageEnd();

    // For the formats' steps: the drive, the file's name, the bytes read from its start
    // (empty when a step runs alone) and the zeros in front of the start signature.
    const TDetectDrive& Drive() const { return drive_; }
    std::string_view FileName() const { return fileName_; }
    int ZipCmntBufSize() const { return zipCmntBufSize_; }
    const TByteSource& Source() const { return *src_; }
    std::span<const uint8_t> Head() const { return head_; }
    size_t LeadingZeros() const { return leadingZeros_; }
    // Exactly count bytes at offset, inside the file; false otherwise.
    bool ReadAt(int64_t offset, void* buf, int64_t count) const;
    bool DwordAt(int64_t offset, uint32_t& v) const;

private:
    void runRoad(bool program);
    TArcType modePick(int mode, TArcType inProgram, TArcType atStart) const;

    const TByteSource* src_;
    std::string fileName_;
    TDetectDrive drive_;
    int zipCmntBufSize_;
    std::vector<uint8_t> head_;
    size_t leadingZeros_ = 0;
};

// Detection of a file by name for callers without a component. A file that cannot be opened
// gives atFileOpenErr. Never throws.
TDetectResult DetectFile(const std::string& path, TDetectDrive drive = {}, int zipCmntBufSize = 32000);
// Detection of bytes in memory (`fileName` only lends its extension).
TDetectResult DetectBuffer(std::span<const uint8_t> data, std::string_view fileName = {},
                           TDetectDrive drive = {}, int zipCmntBufSize = 32000);

// ---------------------------------------------------------------------------------------------
// File attribute filter (what a writer takes from the folders it adds)
// ---------------------------------------------------------------------------------------------
class TaeFileAttr {
public:
    int ftFileAttr() const { return ftFileAttr_; }
    bool ftArchive() const { return ftArchive_; }
    bool ftHidden() const { return ftHidden_; }
    bool ftReadOnly() const { return ftReadOnly_; }
    bool ftSysFile() const { return ftSysFile_; }
    bool ftCompressed() const { return true; }
    bool ftVolumeID() const { return ftVolumeID_; }
    bool ftDirectory() const { return ftDirectory_; }
    bool ftTemporary() const { return false; }
    bool ftAnyFile() const { return ftAnyFile_; }
    bool ftZeroAttr() const { return ftZeroAttr_; }

    void SetftFileAttr(int value);
    void SetftArchive(bool value);
    void SetftHidden(bool value);
    void SetftReadOnly(bool value);
    void SetftSysFile(bool value);
    void SetftVolumeID(bool value);
    void SetftDirectory(bool value);
    void SetftZeroAttr(bool value);
    void SetftAnyFile(bool value);
    void SetftCompressed(bool) {} // always set
    void SetftTemporary(bool) {}  // never set
    void Assign(const TaeFileAttr& source);

private:
    void setFlag(bool& flag, bool value);
    void synchronise();

    int ftFileAttr_ = 63;
    bool ftArchive_ = true, ftHidden_ = true, ftReadOnly_ = true, ftSysFile_ = true;
    bool ftVolumeID_ = true, ftDirectory_ = true, ftAnyFile_ = true, ftZeroAttr_ = true;
};

// ---------------------------------------------------------------------------------------------
// List of fixed-size records (an extractor's chosen entries), owning copies of them.
// ---------------------------------------------------------------------------------------------
class TaeFileList {
public:
    void Init(size_t recordSize);
    void Clear();
    bool Add(const void* record); // copies RecordSize bytes; always true
    void Done();
    size_t Count() const { return records_.size(); }
    size_t RecordSize() const { return recordSize_; }
    const void* Item(size_t i) const { return records_.at(i).data(); }
    void* Item(size_t i) { return records_.at(i).data(); }

    // Typed access for records that are plain structs.
    template <class T> bool AddRecord(const T& r) {
        static_assert(std::is_trivially_copyable_v<T>);
        if (recordSize_ != sizeof(T)) Init(sizeof(T));
        return Add(&r);
    }
    template <class T> T& Record(size_t i) {
        static_assert(std::is_trivially_copyable_v<T>);
        return *static_cast<T*>(Item(i));
    }

private:
    size_t recordSize_ = 0;
    std::vector<std::vector<uint8_t>> records_;
};

// ---------------------------------------------------------------------------------------------
// Times and header fields
// ---------------------------------------------------------------------------------------------

// Unix seconds (UTC) to a local TDateTime and back, both through the local time zone in force
// at that date (daylight saving included). 0 stands for "no date": 1980-01-01 00:01:00.
TDateTime UnixToDateTime(int64_t seconds);
int64_t DateTimeToUnix(TDateTime dateTime);

// Writes `value` in octal, right-aligned, into the first `width` bytes of `buffer` (space
// padded; with `terminate` the last byte is a zero byte and the one before it a space).
// Writes nothing outside buffer[0, width); false when the digits do not fit (the field is
// then left all spaces, so a caller can report it instead of storing a wrapped value).
bool FormatOctal(uint64_t value, size_t width, bool terminate, std::span<char> buffer);
// Every '0'..'7' is the next digit; other characters are skipped. Saturates instead of wrapping.
uint64_t ParseOctal(std::string_view text);

// The ARJ password shift: every byte minus (decode) or plus (encode) `modifier`, modulo 256.
std::string ShiftText(bool decode, std::string_view text, int modifier);

// Local calendar <-> TDateTime (no zone involved).
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
void DecodeDateTime(TDateTime dt, int& year, int& month, int& day, int& hour, int& minute, int& second);
