// The engine's file layer, name helpers, wildcard matcher, DOS dates and header readers.
#include "archive/aeCommon.h"

#include "archive/aeMsgs.h"
#include "common/Wildcard.h"
#include "platform/codepage.h"
#include "common/DosTime.h"
#include "platform/dosdate.h"
#include "platform/fileio.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <cstring>
#include <ctime>
#include <map>
#include <unordered_map>

namespace {

void report(TErrorSink* sink, const std::string& name, int code) {
    if (sink) sink->ReportError(name, std::string(), "0", code);
}

platform::OpenMode modeFor(uint32_t access, uint32_t disposition) {
    const bool write = (access & faccWrite) != 0;
    const bool read = (access & faccRead) != 0;
    switch (disposition) {
    case fdCreateNew:
        return read ? platform::OpenMode::CreateNewReadWrite : platform::OpenMode::CreateNew;
    case fdCreateAlways:
        return read ? platform::OpenMode::CreateReadWrite : platform::OpenMode::Create;
    case fdOpenAlways:
        return platform::OpenMode::OpenAlways;
    case fdTruncateExisting:
        return platform::OpenMode::ReadWrite; // truncated after opening
    default:
        break;
    }
    if (write) return platform::OpenMode::ReadWrite;
    return read ? platform::OpenMode::Read : platform::OpenMode::Query;
}

// ---- dates ----

constexpr int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}
constexpr int64_t kDateTimeEpochDays = daysFromCivil(1899, 12, 30); // days 1970-01-01 minus this

void civilFromDays(int64_t z, int& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
}

using pvcommon::packDos;

uint32_t dosFromTm(const std::tm& t) {
    return packDos(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
}

} // namespace

// ---------------------------------------------------------------- file I/O layer

int OpenFileHandle(TErrorSink* Component, const std::string& Name, uint32_t Access, uint32_t /*Attributes*/,
                   uint32_t Disposition, uint32_t /*Share*/) {
    const int fd = platform::openFile(Name, modeFor(Access, Disposition));
    if (fd < 0) {
        report(Component, Name, kMsgOpenError);
        return INVALID_HANDLE_VALUE;
    }
    if (Disposition == fdTruncateExisting && !platform::truncateFile(fd, 0)) {
        platform::closeFile(fd);
        report(Component, Name, kMsgOpenError);
        return INVALID_HANDLE_VALUE;
    }
    return fd;
}

int OpenForQuery(TErrorSink* Component, const std::string& Name) {
    return OpenFileHandle(Component, Name, faccNone, 0, fdOpenExisting, 0);
}

int CreateOutputFile(TErrorSink* Component, const std::string& Name, bool Replace) {
    return OpenFileHandle(Component, Name, faccWrite, 0, Replace ? fdCreateAlways : fdCreateNew, 0);
}

int OpenForRead(TErrorSink* Component, const std::string& Name) {
    return OpenFileHandle(Component, Name, faccRead, 0, fdOpenExisting, 0);
}

bool CloseFileHandle(int Handle) {
    return platform::closeFile(Handle);
}

int64_t ReadFileHandle(int Handle, void* Buffer, int64_t Count) {
    return platform::readFile(Handle, Buffer, Count);
}

int64_t WriteFileHandle(int Handle, const void* Buffer, int64_t Count) {
    return platform::writeFile(Handle, Buffer, Count);
}

int64_t FilePosition(int Handle) {
    return platform::filePosition(Handle);
}

bool SeekFileHandle(int Handle, int64_t Distance, int Method) {
    if (Method < FILE_BEGIN || Method > FILE_END) return false;
    return platform::seekFile(Handle, Distance, static_cast<platform::SeekFrom>(Method)) >= 0;
}

int64_t FileSize64(int Handle) {
    return platform::fileSize(Handle);
}

int64_t FileSize32(int Handle) {
    return std::max<int64_t>(0, platform::fileSize(Handle));
}

uint32_t FileDosDate(int Handle, int Which) {
    const auto t = platform::fileTimes(Handle);
    if (!t) return 0;
    const int64_t secs = Which == 0 ? t->creation : Which == 2 ? t->lastAccess : t->lastWrite;
    const auto tt = static_cast<std::time_t>(secs);
    std::tm tm{};
    if (!gmtime_r(&tt, &tm)) return 0;
    return dosFromTm(tm);
}

uint32_t FileTimeToDosLocal(int64_t UnixTime) {
    return pvcommon::unixToDosLocal(UnixTime);
}

uint32_t UnixTimeToDosLocal(int64_t UnixTime) {
    return FileTimeToDosLocal(UnixTime);
}

int64_t DosLocalToUnixTime(uint32_t DosDate) {
    return platform::dosToUnixLocal(DosDate);
}

bool FileCrc32(int Handle, uint32_t& Crc, TErrorSink* Component, const std::string& Name, int64_t Size) {
    constexpr int64_t kBlock = 100000;
    Crc = 0xFFFFFFFFu;
    bool ok = SeekFileHandle(Handle, 0, FILE_BEGIN);
    if (ok) {
        std::vector<uint8_t> buf(
            static_cast<size_t>(Size < 0 ? kBlock : std::clamp<int64_t>(Size, 1, kBlock)));
        for (int64_t left = Size; Size < 0 || left > 0;) {
            const int64_t want = Size < 0 ? kBlock : std::min(left, kBlock);
            const int64_t n = platform::readFile(Handle, buf.data(), want);
            if (n < 0 || (Size >= 0 && n != want)) {
                ok = false;
                break;
            }
            Crc32Update(buf.data(), static_cast<size_t>(n), Crc);
            left -= n;
            if (n < want) break;
        }
    }
    SeekFileHandle(Handle, 0, FILE_BEGIN);
    if (!ok) {
        // A failed read must not pass for a checksum: 0xFFFFFFFF is also the register of an
        // empty file.
        Crc = 0xFFFFFFFFu;
        report(Component, Name, kMsgReadError);
    }
    return ok;
}

// ---------------------------------------------------------------- names and paths

std::string AppendDirTail(const std::string& Dir) {
    if (Dir.empty() || Dir.back() == '/') return Dir;
    return Dir + '/';
}

std::string RemoveDirTail(const std::string& Dir) {
    if (!Dir.empty() && Dir.back() == '/') return Dir.substr(0, Dir.size() - 1);
    return Dir;
}

std::string SlashToBackslash(const std::string& Name) {
    std::string s = Name;
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

std::string BackslashToSlash(const std::string& Name) {
    std::string s = Name;
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

std::string OemToAnsiName(const std::string& Name) {
    if (Name.empty()) return Name;
    return BackslashToSlash(platform::decodeArchiveName(Name));
}

std::string AnsiToOemName(const std::string& Name) {
    return BackslashToSlash(platform::utf8ToCp437(Name, '_'));
}

bool DirExists(const std::string& Name) {
    return platform::dirExists(Name);
}

bool FileOrDirExists(const std::string& Name) {
    return platform::pathExists(Name);
}

bool IsPlainFile(const std::string& Name) {
    const uint32_t a = platform::fileAttributes(Name);
    if (a == platform::kInvalidAttributes) return false;
    return (a & (platform::faReadOnly | platform::faHidden | platform::faSysFile | platform::faVolumeID |
                 platform::faDirectory | platform::faSymLink)) == 0;
}

bool IsUncPath(const std::string& Name) {
    return Name.size() > 2 && (Name.compare(0, 2, "\\\\") == 0 || Name.compare(0, 2, "//") == 0);
}

size_t BaseNameLength(const std::string& Name) {
    const size_t dot = Name.find('.');
    return dot == std::string::npos ? Name.size() : dot;
}

size_t LastCharPtr(const std::string& Name) {
    if (Name.empty()) return std::string::npos;
    size_t i = Name.size() - 1;
    // Step back over UTF-8 continuation bytes, at most three, to the character's first byte.
    for (int k = 0; k < 3 && i > 0 && (static_cast<uint8_t>(Name[i]) & 0xC0) == 0x80; ++k) --i;
    return i;
}

void CreateDirPath(const std::string& Dir) {
    if (Dir.empty()) throw std::runtime_error(AeMessageString(kMsgCannotCreateDir));
    std::string d = Dir;
    if (d.size() > 1 && d.back() == '/') d.pop_back();
    if (d == "/" || platform::dirExists(d)) return;
    const size_t slash = d.find_last_of('/');
    if (slash != std::string::npos) {
        const std::string parent = slash == 0 ? std::string("/") : d.substr(0, slash);
        if (parent != d) CreateDirPath(parent);
    }
    platform::makeDir(d); // failure is reported by the caller's later open
}

std::string SystemTempDir() {
    return platform::systemTempDir();
}

std::string SplitAt(std::string& Source, const std::string& Separator) {
    const size_t p = Separator.empty() ? std::string::npos : Source.find(Separator);
    if (p == std::string::npos) {
        std::string all = std::move(Source);
        Source.clear();
        return all;
    }
    std::string head = Source.substr(0, p);
    Source.erase(0, p + Separator.size());
    return head;
}

std::string ExtractFileNamePart(const std::string& Name) {
    const size_t p = Name.find_last_of("/\\");
    return p == std::string::npos ? Name : Name.substr(p + 1);
}

std::string ExtractDirPart(const std::string& Name) {
    const size_t p = Name.find_last_of("/\\");
    return p == std::string::npos ? std::string() : Name.substr(0, p + 1);
}

void NormaliseSpecList(std::vector<std::string>& List) {
    std::vector<std::string> out;
    out.reserve(List.size());
    for (const auto& entry : List) {
        std::string name = ExtractFileNamePart(BackslashToSlash(entry));
        if (!name.empty()) out.push_back(std::move(name));
    }
    List = std::move(out);
}

// ---------------------------------------------------------------- matching and numbers

bool WildcardMatch(const std::string& Pattern, const std::string& Name, bool NamesOnly) {
    return pvcommon::WildcardMatch(Pattern, Name, NamesOnly);
}

int Percent(int64_t A, int64_t B) {
    if (B == 0) return 0;
    const __int128 num = static_cast<__int128>(A) * 100;
    if ((num < 0) != (B < 0) && num != 0) return 0;
    const __int128 a = num < 0 ? -num : num, b = B < 0 ? -static_cast<__int128>(B) : B;
    const __int128 q = (2 * a + b) / (2 * b); // rounded half up
    return q > 100 ? 100 : static_cast<int>(q);
}

bool IsAllDigits(std::string_view S) {
    return std::all_of(S.begin(), S.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsGzipMagic(uint16_t Word) {
    return Word == 0x1E1F || Word == 0x8B1F || Word == 0x9D1F || Word == 0x9E1F || Word == 0xA01F;
}

// ---------------------------------------------------------------- header string readers

bool ReadZString(int Handle, int64_t& Offset, std::string& S, TErrorSink* Component) {
    S.clear();
    char buf[256];
    int64_t n = -1;
    if (Offset >= 0 && SeekFileHandle(Handle, Offset, FILE_BEGIN))
        n = platform::readFile(Handle, buf, sizeof buf);
    const char* end = n > 0 ? static_cast<const char*>(std::memchr(buf, 0, static_cast<size_t>(n))) : nullptr;
    if (!end) {
        report(Component, std::string(), kMsgReadError);
        return false;
    }
    S.assign(buf, static_cast<size_t>(end - buf));
    Offset += static_cast<int64_t>(S.size()) + 1;
    return true;
}

bool ReadFixedString(int Handle, int64_t& Offset, int Count, std::string& S, TErrorSink* Component) {
    S.clear();
    if (Count < 0 || Count > 255 || Offset < 0) {
        report(Component, std::string(), kMsgReadError);
        return false;
    }
    std::string buf(static_cast<size_t>(Count), '\0');
    if (Count > 0 && (!SeekFileHandle(Handle, Offset, FILE_BEGIN) ||
                      platform::readFile(Handle, buf.data(), Count) != Count)) {
        report(Component, std::string(), kMsgReadError);
        return false;
    }
    std::replace(buf.begin(), buf.end(), '\0', ' ');
    S = std::move(buf);
    Offset += Count;
    return true;
}

// ---------------------------------------------------------------- DOS dates

TDateTime DosDateToDateTimeSafe(uint32_t DosDate) {
    // An invalid value reads as 1980-01-01 00:00 (kDosEpochDateTime), by the one rule.
    const platform::DosFields f = platform::dosFields(DosDate);
    const int64_t days = daysFromCivil(f.year, static_cast<unsigned>(f.month), static_cast<unsigned>(f.day)) -
                         kDateTimeEpochDays;
    return static_cast<double>(days) + (f.hour * 3600.0 + f.minute * 60.0 + f.second) / 86400.0;
}

uint32_t DateTimeToDosDateTime(TDateTime Value) {
    if (!std::isfinite(Value)) return packDos(1980, 1, 1, 0, 0, 0);
    // Half a millisecond up so that values made by the conversion above come back exactly.
    const double whole = std::floor(Value);
    int64_t days = static_cast<int64_t>(whole);
    auto ms = static_cast<int64_t>(std::llround((Value - whole) * 86400000.0));
    if (ms >= 86400000) ++days, ms -= 86400000;
    int y;
    unsigned m, d;
    civilFromDays(days + kDateTimeEpochDays, y, m, d);
    const auto secs = static_cast<int>(ms / 1000);
    return packDos(y, static_cast<int>(m), static_cast<int>(d), secs / 3600, secs / 60 % 60, secs % 60);
}

// ---------------------------------------------------------------- DOS-style search

namespace {
constexpr uint32_t kExcludable =
    platform::faHidden | platform::faSysFile | platform::faVolumeID | platform::faDirectory;

int fillNext(TSearchRecDos& r) {
    while (r.Next < r.Names.size()) {
        const std::string& name = r.Names[r.Next++];
        const std::string full = r.Folder + name;
        const uint32_t attrs = platform::fileAttributes(full);
        if (attrs == platform::kInvalidAttributes) continue; // vanished meanwhile
        if (attrs & r.ExcludeAttr) continue;
        const auto times = platform::fileTimes(full);
        r.Name = name;
        r.Attr = attrs;
        r.Size = (attrs & platform::faDirectory) ? 0 : std::max<int64_t>(0, platform::fileSize(full));
        r.Time = times ? FileTimeToDosLocal(times->lastWrite) : 0;
        return 0;
    }
    return ERROR_NO_MORE_FILES;
}
} // namespace

int FindFirstDos(const std::string& Mask, uint32_t Attributes, TSearchRecDos& Record) {
    Record = TSearchRecDos{};
    Record.ExcludeAttr = ~Attributes & kExcludable;
    Record.Folder = ExtractDirPart(BackslashToSlash(Mask));
    Record.Pattern = ExtractFileNamePart(BackslashToSlash(Mask));
    const auto entries = platform::listDir(Record.Folder.empty() ? std::string(".") : Record.Folder);
    if (!entries) return ERROR_PATH_NOT_FOUND;
    for (const auto& e : *entries)
        if (WildcardMatch(Record.Pattern, e.name, false)) Record.Names.push_back(e.name);
    std::sort(Record.Names.begin(), Record.Names.end());
    Record.Open = true;
    const int r = fillNext(Record);
    if (r != 0) {
        FindCloseDos(Record);
        return ERROR_FILE_NOT_FOUND;
    }
    return 0;
}

int FindNextDos(TSearchRecDos& Record) {
    if (!Record.Open) return ERROR_NO_MORE_FILES;
    return fillNext(Record);
}

void FindCloseDos(TSearchRecDos& Record) {
    Record.Open = false;
    Record.Names.clear();
    Record.Next = 0;
}
