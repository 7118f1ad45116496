// Plain routines shared by every archive component: the file I/O layer, name and path
// helpers, the wildcard matcher, CRC-16 and CRC-32, DOS date-times, the DOS-style folder
// search and small readers for strings stored in archive headers.
//
// Conventions: handles are descriptors with -1 invalid; sizes and offsets are 64-bit;
// '/' is the path separator inside the program; strings are UTF-8. Nothing here keeps
// state: the CRC accumulators of a run live in that run's context and are passed in.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

using TDateTime = double; // days since 1899-12-30

// Receives the failures the file I/O layer reports (the archive components implement it:
// their ReportError). Every routine that takes one accepts nullptr: then nothing is reported.
class TErrorSink {
public:
    virtual void ReportError(const std::string& FN, const std::string& MsgEx, const std::string& VolumeID,
                             int ECode) = 0;

protected:
    ~TErrorSink() = default;
};

constexpr int INVALID_HANDLE_VALUE = -1;
constexpr TDateTime kDosEpochDateTime = 29221.0; // 1980-01-01 00:00, the date of any unconvertible value

// ---- File I/O layer ----

// Access and disposition of OpenFileHandle (the Windows meanings, mapped onto open(2)).
enum TFileAccess : uint32_t { faccNone = 0, faccRead = 1, faccWrite = 2, faccReadWrite = 3 };
enum TFileDisposition : uint32_t {
    fdCreateNew = 1,       // fails when the file exists
    fdCreateAlways = 2,    // created or truncated
    fdOpenExisting = 3,    // fails when missing
    fdOpenAlways = 4,      // created when missing
    fdTruncateExisting = 5 // existing file, truncated
};

// Opens Name; on failure reports (Name, "", "0", 25235 "Error opening file") to Component
// and returns -1 (no exception). Attributes and Share are accepted for the callers' sake and
// have no effect here.
int OpenFileHandle(TErrorSink* Component, const std::string& Name, uint32_t Access, uint32_t Attributes,
                   uint32_t Disposition, uint32_t Share);
int OpenForQuery(TErrorSink* Component, const std::string& Name);                   // for times and size
int CreateOutputFile(TErrorSink* Component, const std::string& Name, bool Replace); // write access
int OpenForRead(TErrorSink* Component, const std::string& Name);
bool CloseFileHandle(int Handle);

// Reads up to Count bytes: the count read (short only at end of file), -1 on a read error.
int64_t ReadFileHandle(int Handle, void* Buffer, int64_t Count);
// Writes Count bytes: the count written, short only on an error.
int64_t WriteFileHandle(int Handle, const void* Buffer, int64_t Count);

enum TSeekMethod : int { FILE_BEGIN = 0, FILE_CURRENT = 1, FILE_END = 2 };
int64_t FilePosition(int Handle); // -1 on failure
bool SeekFileHandle(int Handle, int64_t Distance, int Method = FILE_BEGIN);
int64_t FileSize64(int Handle); // -1 when it cannot be read
// The file's size; 0 when it cannot be read. (Historic name: the size is the full 64-bit one.)
int64_t FileSize32(int Handle);

// Packed DOS date-time of the creation (0), last-write (1) or last-access (2) time of the
// open file, broken down in UTC (no local-time step); 0 when the times cannot be read.
uint32_t FileDosDate(int Handle, int Which);
// Unix seconds to local time to packed DOS date-time (years before 1980 clamp to 1980-01-01,
// after 2107 to 2107-12-31 23:59:58).
uint32_t FileTimeToDosLocal(int64_t UnixTime);
uint32_t UnixTimeToDosLocal(int64_t UnixTime); // the same
// Packed DOS date-time (a local time) to Unix seconds through the local zone; an invalid value
// is 1980-01-01 00:00 local (platform/dosdate.h holds the rule); -1 only when it cannot convert.
int64_t DosLocalToUnixTime(uint32_t DosDate);

// CRC-32 of the whole file from offset 0 (not inverted: start value 0xFFFFFFFF, the caller
// inverts); the position is set back to 0 afterwards. False on a read error, which is
// reported to Component as 25236 "Error reading file or unexpected end of file". With Size
// (0 or more) exactly the first Size bytes count, and a file that holds fewer fails.
bool FileCrc32(int Handle, uint32_t& Crc, TErrorSink* Component = nullptr, const std::string& Name = {},
               int64_t Size = -1);

// ---- Names and paths ('/' is the separator) ----
std::string AppendDirTail(const std::string& Dir); // adds a trailing '/' when missing; empty stays empty
std::string RemoveDirTail(const std::string& Dir); // removes one trailing '/'
std::string SlashToBackslash(const std::string& Name);
std::string BackslashToSlash(const std::string& Name);
// An archive name (code page 437 or UTF-8 bytes) to the UTF-8 kept in memory, with '\' turned
// into '/'; empty stays empty.
std::string OemToAnsiName(const std::string& Name);
// A UTF-8 name to code page 437 (unmappable characters '_'), with '\' turned into '/'.
std::string AnsiToOemName(const std::string& Name);
bool DirExists(const std::string& Name);
bool FileOrDirExists(const std::string& Name);
// Exists and is neither read-only, hidden, a folder nor a symlink.
bool IsPlainFile(const std::string& Name);
bool IsUncPath(const std::string& Name);        // longer than 2 characters, starts with "//" or "\\"
size_t BaseNameLength(const std::string& Name); // characters before the first '.'
// The byte offset of the last character (of its first byte for a multi-byte UTF-8 character);
// npos for an empty string.
size_t LastCharPtr(const std::string& Name);
// Creates Dir and every missing parent. An empty Dir throws std::runtime_error with the text
// of 25156 "Unable to create directory"; a folder that cannot be created is left to the caller's
// later open to report.
void CreateDirPath(const std::string& Dir);
std::string SystemTempDir(); // with a trailing '/'; empty on failure
// The part of Source before the first Separator; it and the separator leave Source. No
// separator: the whole Source, which becomes empty.
std::string SplitAt(std::string& Source, const std::string& Separator);
// Normalises a FileSpec/ExcludeSpec list: '\' to '/', each entry cut to its file-name part,
// empty entries removed.
void NormaliseSpecList(std::vector<std::string>& List);
// The file-name part (after the last '/' or '\') and the folder part (up to and including it).
std::string ExtractFileNamePart(const std::string& Name);
std::string ExtractDirPart(const std::string& Name);

// ---- Matching, numbers and buffers ----
// The wildcard matcher behind FileSpec and ExcludeSpec: '?' and '*' may stand in either
// string, letters compare without ASCII case, "*.*" matches names without a dot. Runs in
// time polynomial in the lengths (no exponential backtracking).
bool WildcardMatch(const std::string& Pattern, const std::string& Name, bool NamesOnly);
int Percent(int64_t A, int64_t B); // 0..100, rounded; 0 when B is 0 or the quotient negative
inline uint32_t MinCardinal(uint32_t A, uint32_t B) {
    return A < B ? A : B;
}
inline uint32_t SwapWords(uint32_t X) {
    return (X << 16) | (X >> 16);
}
bool IsAllDigits(std::string_view S); // True for an empty string
bool IsGzipMagic(uint16_t Word);
inline void CopyBytes(void* Dest, const void* Source, size_t Count) {
    auto* d = static_cast<unsigned char*>(Dest);
    auto* s = static_cast<const unsigned char*>(Source);
    for (size_t i = 0; i < Count; ++i) d[i] = s[i];
}

// ---- Header string readers ----
// Reads the zero-terminated string at Offset (at most 255 bytes before the terminator).
// Offset advances by its length + 1. False, with S empty and Offset unchanged, on a seek or
// read error, or when no terminator stands within the 256 bytes (cut by the end of the file,
// or longer than any header allows); reported to Component as 25236.
bool ReadZString(int Handle, int64_t& Offset, std::string& S, TErrorSink* Component = nullptr);
// Reads Count bytes (0..255) at Offset into S, zero bytes replaced by spaces; Offset advances
// by Count. False, with S empty and Offset unchanged, when fewer than Count bytes can be read
// (reported as 25236).
bool ReadFixedString(int Handle, int64_t& Offset, int Count, std::string& S, TErrorSink* Component = nullptr);

// ---- CRC ----
// CRC-16/ARC (reflected 0xA001) and CRC-32 (reflected 0xEDB88320). The caller sets the start
// value and decides whether to invert the result.
namespace aecrc_detail {
constexpr std::array<uint16_t, 256> makeCrc16Table() {
    std::array<uint16_t, 256> t{};
    for (unsigned n = 0; n < 256; ++n) {
        unsigned c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
        t[n] = static_cast<uint16_t>(c);
    }
    return t;
}
constexpr std::array<uint32_t, 256> makeCrc32Table() {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[n] = c;
    }
    return t;
}
} // namespace aecrc_detail
inline constexpr std::array<uint16_t, 256> Crc16Table = aecrc_detail::makeCrc16Table();
inline constexpr std::array<uint32_t, 256> Crc32Table = aecrc_detail::makeCrc32Table();
// One-table reference loops (one look-up per byte); Crc32Update gives the same values faster.
void Crc16UpdateReference(const void* Buffer, size_t Count, uint16_t& Crc);
void Crc32UpdateReference(const void* Buffer, size_t Count, uint32_t& Crc);
void Crc16Update(const void* Buffer, size_t Count, uint16_t& Crc);
void Crc32Update(const void* Buffer, size_t Count, uint32_t& Crc);
inline uint32_t Crc32Byte(uint8_t Byte, uint32_t Crc) {
    return Crc32Table[(Crc ^ Byte) & 0xFF] ^ (Crc >> 8);
}
inline uint16_t Crc16Byte(uint8_t Byte, uint16_t Crc) {
    return static_cast<uint16_t>(Crc16Table[(Crc ^ Byte) & 0xFF] ^ (Crc >> 8));
}
// The finished zip/gzip CRC-32 of a buffer (start 0xFFFFFFFF, inverted).
uint32_t Crc32Of(const void* Buffer, size_t Count);

// ---- DOS dates ----
// 0 -> 29221.0; otherwise the date-time as it stands (no zone step); an impossible date
// (month 13, day 0, hour 24 ...) -> 29221.0.
TDateTime DosDateToDateTimeSafe(uint32_t DosDate);
// A TDateTime to packed DOS date-time as it stands; dates before 1980 give 1980-01-01 00:00.
uint32_t DateTimeToDosDateTime(TDateTime Value);

// ---- DOS-style folder search ----
// The search of FindFirstDos/FindNextDos: Mask is "folder/pattern" with the wildcard matcher's
// rules for the pattern. Entries whose attributes meet the exclusion mask
// ((not Attributes) and (hidden | system | volume label | directory)) are skipped.
struct TSearchRecDos {
    uint32_t Time = 0; // packed DOS date-time of the last write, local time
    int64_t Size = 0;
    uint32_t Attr = 0;
    std::string Name;
    uint32_t ExcludeAttr = 0;
    // search state
    std::vector<std::string> Names;
    std::string Folder, Pattern;
    size_t Next = 0;
    bool Open = false;
};
constexpr int ERROR_FILE_NOT_FOUND = 2;
constexpr int ERROR_PATH_NOT_FOUND = 3;
constexpr int ERROR_NO_MORE_FILES = 18;
// Each returns 0 or an error code (ERROR_NO_MORE_FILES at the end, ERROR_FILE_NOT_FOUND when
// nothing matches, ERROR_PATH_NOT_FOUND for a folder that cannot be read).
int FindFirstDos(const std::string& Mask, uint32_t Attributes, TSearchRecDos& Record);
int FindNextDos(TSearchRecDos& Record);
void FindCloseDos(TSearchRecDos& Record);
