#include "aeMain.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>

#include "aeBase.h" // TaeTimer
#include "aeFormats.h"
#include "aePe.h"
#include "common/LittleEndian.h"
#include "platform/fileio.h"

// ---------------------------------------------------------------------------------------------
// Tables
// ---------------------------------------------------------------------------------------------
const std::array<std::string_view, kArcTypeCount> ArcTypeNames = {
    "Not avail. ", "Unsupport.", "File Error", "Unknown   ", "ACE       ", "ACE SFX   ", "ARC       ",
    "ARC SFX   ",  "ARJ       ", "ARJ SFX   ", "BH        ", "BH  SFX   ", "CAB       ", "GZip      ",
    "HA        ",  "Java JAR  ", "JJAR SFX  ", "LHA       ", "LHA SFX   ", "LZH       ", "LZH SFX   ",
    "MsGZ     \t", "PAK       ", "PAK SFX   ", "RAR       ", "RAR SFX   ", "TAR       ", "UUE       ",
    "ZIP       ",  "ZIP SFX   ", "Zip MVol  ", "ZOO       ",
};

const std::array<std::string_view, kArcTypeCount> ArcTypeIdents = {
    "atNA",     "atUnsupported", "atFileOpenErr", "atUnknown", "atACE",    "atAceExe", "atArc",   "atArcExe",
    "atArj",    "atArjExe",      "atBh",          "atBhExe",   "atCab",    "atGZip",   "atHa",    "atJar",
    "atJarExe", "atLha",         "atLhaExe",      "atLzh",     "atLzhExe", "atMsGZ",   "atPak",   "atPakExe",
    "atRar",    "atRarExe",      "atTar",         "atUue",     "atZip",    "atZipExe", "atZipMV", "atZoo",
};

const std::array<std::string_view, 20> DefaultExts = {
    ".UUE", ".XXE", ".ENC", ".TAR", ".Z",   ".GZ",  ".ZIP", ".ZOO", ".LHA", ".LZH",
    ".ARC", ".ARJ", ".BH",  ".PAK", ".CAB", ".RAR", ".EXE", ".JAR", ".ACE", ".TGZ",
};

std::string_view ArcTypeName(TArcType t) {
    return t < kArcTypeCount ? ArcTypeNames[t] : std::string_view{};
}
std::string_view ArcTypeIdent(TArcType t) {
    return t < kArcTypeCount ? ArcTypeIdents[t] : std::string_view{};
}

// ---------------------------------------------------------------------------------------------
// Byte sources
// ---------------------------------------------------------------------------------------------
TFdSource::TFdSource(int fd) : fd_(fd) {
    const int64_t s = fd >= 0 ? platform::fileSize(fd) : -1;
    size_ = s < 0 ? 0 : s;
}

int64_t TFdSource::ReadAt(int64_t offset, void* buffer, int64_t count) const {
    if (fd_ < 0 || offset < 0 || count <= 0 || offset >= size_) return 0;
    const int64_t n = std::min(count, size_ - offset);
    // readAt wants the whole count; the size is known, so a short read is an error.
    return platform::readAt(fd_, offset, buffer, n) ? n : 0;
}

int64_t TMemorySource::ReadAt(int64_t offset, void* buffer, int64_t count) const {
    const int64_t size = Size();
    if (offset < 0 || count <= 0 || offset >= size) return 0;
    const int64_t n = std::min(count, size - offset);
    std::memcpy(buffer, data_.data() + offset, size_t(n));
    return n;
}

// ---------------------------------------------------------------------------------------------
// Detection
// ---------------------------------------------------------------------------------------------
namespace {

constexpr int64_t kHeadBytes = 32767; // bytes read from the start of the file
constexpr int64_t kScanBlock = 32768; // embedded-archive scan block
constexpr int kScanBlocks = 6;
constexpr int64_t kScanLookahead = 8;        // bytes a scan test looks past its position
constexpr uint16_t kDosProgramMark = 0x5A4D; // "MZ"

std::string upperExt(std::string_view name) {
    const size_t slash = name.find_last_of("/\\");
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    std::string e(name.substr(dot));
    for (char& c : e) c = char(std::toupper(static_cast<unsigned char>(c)));
    return e;
}

// Detection's own roads, between the formats' steps.
bool resourcesStep(TArcDetector& D) {
    return D.FindByResourceOffsets();
}
bool imageEndStep(TArcDetector& D) {
    return D.FindAtDosImageEnd();
}
bool scanStep(TArcDetector& D) {
    TArcType t;
    const int64_t s = D.ScanForEmbeddedArchive(t, 17000);
    D.ArcType = t;
    if (s != 0) D.ArcStart = s;
    return true;
}
bool answeredStep(TArcDetector& D) {
    return D.ArcType != atUnknown;
}

// The two roads, each the formats' steps and detection's own by order.
const std::vector<TDetectStep>& road(bool program) {
    static const std::array<std::vector<TDetectStep>, 2> roads = [] {
        std::array<std::vector<TDetectStep>, 2> r;
        const TDetectStep own[] = {{doProgramResources, resourcesStep},
                                   {doProgramImageEnd, imageEndStep},
                                   {doProgramScan, scanStep},
                                   {doPlainAnswered, answeredStep}};
        for (const TDetectStep& s : own) r[s.Order < doPlainFirst].push_back(s);
        for (const TFormatRow& f : Formats())
            for (const TDetectStep& s : f.DetectSteps) r[s.Order < doPlainFirst].push_back(s);
        for (auto& v : r)
            std::stable_sort(v.begin(), v.end(),
                             [](const TDetectStep& a, const TDetectStep& b) { return a.Order < b.Order; });
        return r;
    }();
    return roads[program ? 1 : 0];
}

} // namespace

TArcDetector::TArcDetector(const TByteSource& src, std::string_view fileName, TDetectDrive drive,
                           int zipCmntBufSize)
    : src_(&src), fileName_(fileName), drive_(drive), zipCmntBufSize_(zipCmntBufSize) {
    ArchiveSize = src.Size();
}

bool TArcDetector::ReadAt(int64_t offset, void* buf, int64_t count) const {
    if (offset < 0 || count < 0 || offset > ArchiveSize || count > ArchiveSize - offset) return false;
    return src_->ReadAt(offset, buf, count) == count;
}

bool TArcDetector::DwordAt(int64_t offset, uint32_t& v) const {
    uint8_t b[4];
    if (!ReadAt(offset, b, 4)) return false;
    v = pvcommon::GetLE32(b);
    return true;
}

TArcType TArcDetector::modePick(int mode, TArcType inProgram, TArcType atStart) const {
    if (mode == 0) return inProgram;
    if (mode == 1) return atStart;
    return inProgram == atStart ? inProgram : atNA;
}

TArcType TArcDetector::CheckSignature(uint32_t s, int mode) {
    const TSignature* g = MatchSignature(s);
    if (!g) return atUnknown;
    return g->Decide ? g->Decide(*this, mode) : modePick(mode, g->InProgram, g->AtStart);
}

int64_t TArcDetector::ScanForEmbeddedArchive(TArcType& type, int64_t from) {
    type = atUnknown;
    ArcType = atUnknown;
    const int64_t size = ArchiveSize;
    if (from < 0 || from >= size) return 0;
    // Each block is read with a few bytes of the next one, so that a signature that starts in
    // the last bytes of a block is still seen whole.
    std::vector<uint8_t> buf(kScanBlock + kScanLookahead);
    const auto& marks = ScanMarksByFirstByte();
    // Whether a mark starts with a byte: most bytes start none, and are passed eight at a time.
    static const std::array<uint8_t, 256> starts = [&marks] {
        std::array<uint8_t, 256> a{};
        for (size_t c = 0; c < a.size(); ++c) a[c] = marks[c].empty() ? 0 : 1;
        return a;
    }();
    for (int b = 0; b < kScanBlocks; ++b) {
        const int64_t base = from + b * kScanBlock;
        const int64_t got = src_->ReadAt(base, buf.data(), int64_t(buf.size()));
        if (got <= 0) return 0;
        const int64_t positions = std::min(got, kScanBlock);
        const uint8_t* p = buf.data();
        for (int64_t i = 0; i < positions; ++i) {
            while (i + 8 <= positions &&
                   !(starts[p[i]] | starts[p[i + 1]] | starts[p[i + 2]] | starts[p[i + 3]] |
                     starts[p[i + 4]] | starts[p[i + 5]] | starts[p[i + 6]] | starts[p[i + 7]]))
                i += 8;
            if (i >= positions) break;
            for (const TScanMark* m : marks[p[i]])
                if (const int64_t start = m->Probe(*this, p + i, got - i, base + i); start != 0) {
                    type = m->Type;
                    return start;
                }
        }
        if (got < int64_t(buf.size())) return 0; // the end of the file was in this block
    }
    return 0;
}

bool TArcDetector::FindByResourceOffsets() {
    for (uint32_t id = 1; id <= 4; ++id) {
        const auto text = PeStringResource(*src_, id);
        if (!text || text->empty()) return false;
        int64_t offset = 0;
        // At most five characters count, as the stubs store them.
        for (size_t i = 0; i < text->size() && i < 5; ++i) {
            const char16_t c = (*text)[i];
            if (c < u'0' || c > u'9') return false;
            offset = offset * 10 + (c - u'0');
        }
        if (offset >= ArchiveSize) return false;
        uint32_t sig;
        if (!DwordAt(offset, sig)) return false;
        const TArcType t = CheckSignature(sig, 0);
        if (t != atUnknown) {
            ArcType = t;
            ArcStart = offset + 1;
            const TFormatRow* f = FindFormat(t);
            ZipDirFlags = f ? f->ResourceDirFlags : 0;
            return true;
        }
    }
    return false;
}

// DOS header: bytes in the last page@2, pages@4 (512 bytes each, the last one partly used).
bool TArcDetector::FindAtDosImageEnd() {
    uint8_t hdr[6];
    if (!ReadAt(0, hdr, 6)) return false;
    const int64_t pages = pvcommon::GetLE16(hdr + 4), lastBytes = pvcommon::GetLE16(hdr + 2);
    const int64_t e = (pages - 1) * 512 + lastBytes;
    if (e <= 0 || e + 4 >= ArchiveSize) return false;
    uint8_t b[4];
    if (!ReadAt(e, b, 4)) {
        ArcType = atFileOpenErr;
        return true;
    }
    int64_t start = e;
    for (const TFormatRow& f : Formats())
        if (const int gap = f.ImageEndGap ? f.ImageEndGap(b) : 0; gap != 0) {
            start += gap;
            break;
        }
    ArcStart = start + 1;
    uint32_t sig;
    if (start + 4 > ArchiveSize || !DwordAt(start, sig)) return false;
    if (const TSignature* g = MatchSignature(sig); g && !g->AtImageEnd) return false;
    const TArcType t = CheckSignature(sig, 0);
    if (UnknownArcTypes & ArcBit(t)) return false;
    ArcType = t;
    return true;
}

void TArcDetector::runRoad(bool program) {
    for (const TDetectStep& s : road(program))
        if (s.Run(*this)) return;
}

TArcType TArcDetector::DetectArcType() {
    ArcType = atFileOpenErr;
    ArcStart = 1;
    ArchiveSize = src_->Size();
    ZipDirFlags = 0;
    head_.clear();
    leadingZeros_ = 0;
    if (ArchiveSize < 20) return ArcType;
    head_.resize(static_cast<size_t>(std::min(ArchiveSize, kHeadBytes)));
    const int64_t got = src_->ReadAt(0, head_.data(), int64_t(head_.size()));
    if (got < 20) {
        head_.clear();
        return ArcType;
    }
    head_.resize(size_t(got));
    FirstWord = pvcommon::GetLE16(head_.data());
    if (FirstWord == kDosProgramMark) { // a program, perhaps with an archive inside
        ArcType = atUnknown;
        runRoad(true);
    } else {
        while (leadingZeros_ < head_.size() && head_[leadingZeros_] == 0) ++leadingZeros_;
        const uint32_t sig = leadingZeros_ + 4 <= head_.size() ? pvcommon::GetLE32(&head_[leadingZeros_]) : 0;
        ArcType = CheckSignature(sig, 1);
        runRoad(false);
    }
    if (UnknownArcTypes & ArcBit(ArcType)) ArcStart = 1;
    const std::string ext = upperExt(fileName_);
    for (const TFormatRow& f : Formats())
        for (const TNameRule& n : f.NameRules)
            if (ArcType == n.From && ext == n.Extension) ArcType = n.To;
    return ArcType;
}

TDetectResult DetectBuffer(std::span<const uint8_t> data, std::string_view fileName, TDetectDrive drive,
                           int zipCmntBufSize) {
    TMemorySource src(data);
    TArcDetector d(src, fileName, drive, zipCmntBufSize);
    d.DetectArcType();
    return d;
}

TDetectResult DetectFile(const std::string& path, TDetectDrive drive, int zipCmntBufSize) {
    const int fd = platform::openFile(path, platform::OpenMode::Read);
    if (fd < 0) {
        TDetectResult r;
        r.ArcType = atFileOpenErr;
        return r;
    }
    TFdSource src(fd);
    TArcDetector d(src, path, drive, zipCmntBufSize);
    d.DetectArcType();
    platform::closeFile(fd);
    return d;
}

// ---------------------------------------------------------------------------------------------
// TaeFileAttr
// ---------------------------------------------------------------------------------------------
void TaeFileAttr::synchronise() {
    if (ftAnyFile_)
        ftFileAttr_ = 63;
    else
        ftFileAttr_ = (ftArchive_ ? 32 : 0) | (ftHidden_ ? 2 : 0) | (ftReadOnly_ ? 1 : 0) |
                      (ftSysFile_ ? 4 : 0) | (ftDirectory_ ? 16 : 0) | (ftVolumeID_ ? 8 : 0);
    ftArchive_ = ftFileAttr_ & 32;
    ftHidden_ = ftFileAttr_ & 2;
    ftReadOnly_ = ftFileAttr_ & 1;
    ftSysFile_ = ftFileAttr_ & 4;
    ftDirectory_ = ftFileAttr_ & 16;
    ftVolumeID_ = ftFileAttr_ & 8;
    if (ftAnyFile_) ftZeroAttr_ = true;
}

void TaeFileAttr::SetftFileAttr(int value) {
    ftAnyFile_ = value == 0 || (value & 0x3F) == 0x3F || (value & 0x80) != 0;
    if (!ftAnyFile_) {
        ftArchive_ = value & 32;
        ftHidden_ = value & 2;
        ftReadOnly_ = value & 1;
        ftSysFile_ = value & 4;
        ftDirectory_ = value & 16;
        ftVolumeID_ = value & 8;
    }
    synchronise();
}

void TaeFileAttr::setFlag(bool& flag, bool value) {
    flag = value;
    const bool all = ftArchive_ && ftHidden_ && ftReadOnly_ && ftSysFile_ && ftVolumeID_ && ftZeroAttr_;
    const bool none =
        !ftArchive_ && !ftHidden_ && !ftReadOnly_ && !ftSysFile_ && !ftVolumeID_ && !ftZeroAttr_;
    if (all || none)
        ftAnyFile_ = true;
    else if (!value)
        ftAnyFile_ = false;
    synchronise();
}

void TaeFileAttr::SetftArchive(bool v) {
    setFlag(ftArchive_, v);
}
void TaeFileAttr::SetftHidden(bool v) {
    setFlag(ftHidden_, v);
}
void TaeFileAttr::SetftReadOnly(bool v) {
    setFlag(ftReadOnly_, v);
}
void TaeFileAttr::SetftSysFile(bool v) {
    setFlag(ftSysFile_, v);
}
void TaeFileAttr::SetftVolumeID(bool v) {
    setFlag(ftVolumeID_, v);
}
void TaeFileAttr::SetftDirectory(bool v) {
    setFlag(ftDirectory_, v);
}
void TaeFileAttr::SetftZeroAttr(bool v) {
    setFlag(ftZeroAttr_, v);
}
void TaeFileAttr::SetftAnyFile(bool v) {
    ftAnyFile_ = v;
    synchronise();
}

void TaeFileAttr::Assign(const TaeFileAttr& s) {
    ftArchive_ = s.ftArchive_;
    ftHidden_ = s.ftHidden_;
    ftReadOnly_ = s.ftReadOnly_;
    ftSysFile_ = s.ftSysFile_;
    ftDirectory_ = s.ftDirectory_;
    ftVolumeID_ = s.ftVolumeID_;
    ftZeroAttr_ = s.ftZeroAttr_;
    ftAnyFile_ = s.ftAnyFile_;
    ftFileAttr_ = s.ftFileAttr_;
}

// ---------------------------------------------------------------------------------------------
// TaeTimer
// ---------------------------------------------------------------------------------------------
TaeTimer::TaeTimer()
    : Now([] {
          using namespace std::chrono;
          // +1 so that a start at the clock's zero is still "started".
          return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() + 1;
      }) {}

void TaeTimer::Start() {
    Elapsed = 0;
    pause_ = 0;
    start_ = Now();
}

void TaeTimer::Stop() {
    if (start_ == 0) return;
    Elapsed = float(Now() - start_) / 1000.0f;
    start_ = 0;
    pause_ = 0;
}

void TaeTimer::Pause() {
    if (start_ != 0) pause_ = Now();
}

void TaeTimer::Resume() {
    if (start_ != 0 && pause_ != 0) {
        start_ += Now() - pause_;
        pause_ = 0;
    }
}

// ---------------------------------------------------------------------------------------------
// TaeFileList
// ---------------------------------------------------------------------------------------------
void TaeFileList::Init(size_t recordSize) {
    recordSize_ = recordSize;
    records_.clear();
}
void TaeFileList::Clear() {
    records_.clear();
}
bool TaeFileList::Add(const void* record) {
    const auto* p = static_cast<const uint8_t*>(record);
    records_.emplace_back(p, p + recordSize_);
    return true;
}
void TaeFileList::Done() {
    records_.clear();
    records_.shrink_to_fit();
}

// ---------------------------------------------------------------------------------------------
// Times
// ---------------------------------------------------------------------------------------------
namespace {

// Days from 1970-01-01 for a proleptic Gregorian date (Howard Hinnant's days_from_civil).
int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int64_t& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

constexpr int64_t kUnixEpochDays = 25569; // 1970-01-01 as TDateTime

} // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second) {
    const int64_t days = daysFromCivil(year, month, day) + kUnixEpochDays;
    return double(days) + (hour * 3600 + minute * 60 + second) / 86400.0;
}

void DecodeDateTime(TDateTime dt, int& year, int& month, int& day, int& hour, int& minute, int& second) {
    // Round to the second first, so that 0.99999 of a day is not 23:59:59 of the wrong day.
    const double totalSec = std::round(dt * 86400.0);
    int64_t days = int64_t(std::floor(totalSec / 86400.0));
    int64_t secs = int64_t(totalSec) - days * 86400;
    int64_t y;
    civilFromDays(days - kUnixEpochDays, y, month, day);
    year = int(y);
    hour = int(secs / 3600);
    minute = int(secs / 60 % 60);
    second = int(secs % 60);
}

TDateTime UnixToDateTime(int64_t seconds) {
    if (seconds == 0) return EncodeDateTime(1980, 1, 1, 0, 1, 0);
    const time_t t = static_cast<time_t>(seconds);
    struct tm lt {};
    if (!localtime_r(&t, &lt)) return EncodeDateTime(1980, 1, 1, 0, 1, 0);
    return EncodeDateTime(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min,
                          std::min(lt.tm_sec, 59));
}

int64_t DateTimeToUnix(TDateTime dateTime) {
    int y, mo, d, h, mi, s;
    DecodeDateTime(dateTime, y, mo, d, h, mi, s);
    struct tm lt {};
    lt.tm_year = y - 1900;
    lt.tm_mon = mo - 1;
    lt.tm_mday = d;
    lt.tm_hour = h;
    lt.tm_min = mi;
    lt.tm_sec = s;
    lt.tm_isdst = -1; // let the zone rules of that date decide
    const time_t t = mktime(&lt);
    if (t == time_t(-1)) {
        // Out of the C library's range: take the date as UTC rather than fail.
        return (daysFromCivil(y, mo, d)) * 86400 + h * 3600 + mi * 60 + s;
    }
    return int64_t(t);
}

bool FormatOctal(uint64_t value, size_t width, bool terminate, std::span<char> buffer) {
    width = std::min(width, buffer.size());
    std::fill_n(buffer.begin(), width, ' ');
    size_t end = width; // digits go right-aligned before `end`
    if (terminate) {
        if (width < 2) return false;
        buffer[width - 1] = '\0';
        end = width - 2;
    }
    size_t pos = end;
    do {
        if (pos == 0) { // the digits do not fit: leave the field blank
            std::fill_n(buffer.begin(), end, ' ');
            return false;
        }
        buffer[--pos] = char('0' + (value & 7));
        value >>= 3;
    } while (value != 0);
    return true;
}

uint64_t ParseOctal(std::string_view text) {
    uint64_t r = 0;
    for (char c : text) {
        if (c < '0' || c > '7') continue;
        if (r > (UINT64_MAX >> 3)) return UINT64_MAX;
        r = r * 8 + uint64_t(c - '0');
    }
    return r;
}

std::string ShiftText(bool decode, std::string_view text, int modifier) {
    std::string r(text);
    for (char& c : r) {
        const int v = static_cast<unsigned char>(c) + (decode ? -modifier : modifier);
        c = static_cast<char>(((v % 256) + 256) % 256);
    }
    return r;
}
