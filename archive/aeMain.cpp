#include "aeMain.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>

#include "aeFormats.h"
#include "aePe.h"
#include "common/LittleEndian.h"
#include "common/ZipLayout.h"
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
constexpr int64_t kScanLookahead = 8; // bytes a scan test looks past its position

std::string upperExt(std::string_view name) {
    const size_t slash = name.find_last_of("/\\");
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    std::string e(name.substr(dot));
    for (char& c : e) c = char(std::toupper(static_cast<unsigned char>(c)));
    return e;
}

} // namespace

TArcDetector::TArcDetector(const TByteSource& src, std::string_view fileName, TDetectDrive drive,
                           int zipCmntBufSize)
    : src_(&src), fileName_(fileName), drive_(drive), zipCmntBufSize_(zipCmntBufSize) {
    ArchiveSize = src.Size();
}

bool TArcDetector::readAt(int64_t offset, void* buf, int64_t count) const {
    if (offset < 0 || count < 0 || offset > ArchiveSize || count > ArchiveSize - offset) return false;
    return src_->ReadAt(offset, buf, count) == count;
}

bool TArcDetector::dwordAt(int64_t offset, uint32_t& v) const {
    uint8_t b[4];
    if (!readAt(offset, b, 4)) return false;
    v = pvcommon::GetLE32(b);
    return true;
}

TArcType TArcDetector::modePick(int mode, TArcType inProgram, TArcType atStart) const {
    if (mode == 0) return inProgram;
    if (mode == 1) return atStart;
    return inProgram == atStart ? inProgram : atNA;
}

TArcType TArcDetector::CheckSignature(uint32_t s, int mode) {
    for (const TSignature* g : SignaturesByRank())
        if ((s & g->Mask) == g->Value)
            return g->Decide ? g->Decide(*this, mode) : modePick(mode, g->InProgram, g->AtStart);
    return atUnknown;
}

// End-of-central-directory record (22 bytes): signature, disk numbers (2+2), entries on this
// disk (2), entries (2), directory size@12 (4), directory offset@16 (4), comment length@20.
// Central header (46 bytes): ..., local-header offset@42. Local header: 30 bytes.
int64_t TArcDetector::FindEndOfCentralDir() {
    const int64_t size = ArchiveSize;
    int64_t w = int64_t(zipCmntBufSize_) + 23;
    if (size < w) w = zipCmntBufSize_ == 0 ? 23 : (size < 32769 ? size - 1 : 32768);
    ZipDirFlags = 0;
    ZipEndOffset = -1;
    if (w >= size || w < 22) return 0;
    std::vector<uint8_t> buf(static_cast<size_t>(w));
    const int64_t got = src_->ReadAt(size - w, buf.data(), w);
    if (got < 22) return 0;
    int64_t at = -1;
    for (int64_t i = got - 22; i >= 0; --i)
        if (pvcommon::GetLE32(&buf[size_t(i)]) == pvcommon::zip::kEndSig) {
            at = size - w + i;
            break;
        }
    if (at < 0 || !readAt(at, ZipEndRecord.data(), 22) ||
        pvcommon::GetLE32(ZipEndRecord.data()) != pvcommon::zip::kEndSig)
        return 0;
    ZipDirFlags |= zdEndRecord;
    ZipEndOffset = at;

    // The directory is where the record says, or — when a program was put in front of the zip
    // without fixing its offsets — right before the record; the difference is the bias.
    const uint32_t dirSize = pvcommon::GetLE32(&ZipEndRecord[12]);
    const uint32_t dirOffset = pvcommon::GetLE32(&ZipEndRecord[16]);
    const int64_t candidates[2] = {int64_t(dirOffset), at - int64_t(dirSize)};
    for (int64_t cd : candidates) {
        if (cd < 0 || !readAt(cd, ZipCentralHeader.data(), 46) ||
            pvcommon::GetLE32(ZipCentralHeader.data()) != pvcommon::zip::kCentralSig)
            continue;
        ZipDirFlags |= zdCentralHeader;
        ZipCentralOffset = cd;
        ZipOffsetBias = cd - int64_t(dirOffset);
        const int64_t local = int64_t(pvcommon::GetLE32(&ZipCentralHeader[42])) + ZipOffsetBias;
        if (local >= 0 && readAt(local, ZipLocalHeader.data(), 30) &&
            pvcommon::GetLE32(ZipLocalHeader.data()) == pvcommon::zip::kLocalSig) {
            ZipDirFlags |= zdLocalHeader;
            return local + 1;
        }
        return 0;
    }
    return 0;
}

int64_t TArcDetector::FindZipCentral() {
    ArcType = atUnknown;
    FindEndOfCentralDir();
    if ((ZipDirFlags & zdCentralHeader) && ZipCentralOffset > 0) {
        const int64_t local = int64_t(pvcommon::GetLE32(&ZipCentralHeader[42])) + ZipOffsetBias;
        return std::clamp<int64_t>(local, 0, ArchiveSize - 1) + 1;
    }
    if (ArchiveSize > 25000) {
        std::vector<uint8_t> buf(kScanBlock);
        const int64_t got = src_->ReadAt(25000, buf.data(), kScanBlock);
        for (int64_t i = 0; i + 4 <= got; ++i)
            if (pvcommon::GetLE32(&buf[size_t(i)]) == pvcommon::zip::kLocalSig) {
                ZipDirFlags = zdLocalHeader;
                return 25000 + i + 1;
            }
    }
    return 0;
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
    for (int b = 0; b < kScanBlocks; ++b) {
        const int64_t base = from + b * kScanBlock;
        const int64_t got = src_->ReadAt(base, buf.data(), int64_t(buf.size()));
        if (got <= 0) return 0;
        const int64_t positions = std::min(got, kScanBlock);
        for (int64_t i = 0; i < positions; ++i) {
            const uint8_t* q = &buf[size_t(i)];
            for (const TScanMark* m : marks[*q])
                if (const int64_t start = m->Probe(*this, q, got - i, base + i); start != 0) {
                    type = m->Type;
                    return start;
                }
        }
        if (got < int64_t(buf.size())) return 0; // the end of the file was in this block
    }
    return 0;
}

bool TArcDetector::FindUueBegin() {
    const int64_t n = std::min<int64_t>(ArchiveSize, 5000);
    std::vector<uint8_t> buf(static_cast<size_t>(n));
    const int64_t got = src_->ReadAt(0, buf.data(), n);
    for (int64_t i = 0; i + 6 <= got; ++i) {
        if (i > 0 && buf[size_t(i - 1)] != '\n') continue;
        if (std::memcmp(&buf[size_t(i)], "begin ", 6) == 0) {
            ArcStart = 1;
            return true;
        }
    }
    return false;
}

// Tar header (512 bytes): name@0, ..., checksum@148 (8 octal characters), type flag@156.
bool TArcDetector::IsTarHeader() {
    if (ArchiveSize <= 512) return false;
    uint8_t h[512];
    if (!readAt(0, h, 512)) return false;
    if (h[156] == 'V') { // a volume header: the first member follows it
        ArcStart = 513;
        if (1025 >= ArchiveSize || !readAt(512, h, 512)) {
            ArcStart = 1;
            return false;
        }
    }
    const uint64_t stored = ParseOctal(std::string_view(reinterpret_cast<const char*>(h + 148), 8));
    uint64_t sum = 0;
    for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? 32u : h[i];
    if (sum == stored) return true;
    ArcStart = 1;
    return false;
}

bool TArcDetector::FindZipAtFixedOffsets() {
    ArcType = atNA;
    // Where the self-extractor stubs of common zip tools end.
    struct Spot {
        int64_t offset, minSize;
        bool localFlag;
    };
    static constexpr Spot spots[] = {{7612, 7617, true}, {15770, 15775, true}, {25661, 25666, false}};
    for (const Spot& s : spots) {
        uint32_t v;
        if (ArchiveSize >= s.minSize && dwordAt(s.offset, v) && v == pvcommon::zip::kLocalSig) {
            ArcType = atZipExe;
            ArcStart = s.offset + 1;
            if (s.localFlag) ZipDirFlags |= zdLocalHeader;
            return true;
        }
    }
    return false;
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
        if (!dwordAt(offset, sig)) return false;
        const TArcType t = CheckSignature(sig, 0);
        if (t != atUnknown) {
            ArcType = t;
            ArcStart = offset + 1;
            ZipDirFlags = zdLocalHeader;
            return true;
        }
    }
    return false;
}

// DOS header: bytes in the last page@2, pages@4 (512 bytes each, the last one partly used).
bool TArcDetector::FindAtDosImageEnd() {
    uint8_t hdr[6];
    if (!readAt(0, hdr, 6)) return false;
    const int64_t pages = pvcommon::GetLE16(hdr + 4), lastBytes = pvcommon::GetLE16(hdr + 2);
    const int64_t e = (pages - 1) * 512 + lastBytes;
    if (e <= 0 || e + 4 >= ArchiveSize) return false;
    uint8_t b[4];
    if (!readAt(e, b, 4)) {
        ArcType = atFileOpenErr;
        return true;
    }
    int64_t start = e;
    if (pvcommon::GetLE16(b + 2) == 0xEA60) start += 2; // ARJ stubs leave two bytes before the header
    ArcStart = start + 1;
    uint32_t sig;
    if (start + 4 > ArchiveSize || !dwordAt(start, sig) || sig == pvcommon::zip::kLocalSig) return false;
    const TArcType t = CheckSignature(sig, 0);
    if (UnknownArcTypes & ArcBit(t)) return false;
    ArcType = t;
    return true;
}

bool TArcDetector::aceAt7() const {
    char b[7];
    return readAt(7, b, 7) && std::memcmp(b, "**ACE**", 7) == 0;
}

void TArcDetector::detectProgram() {
    ArcType = atUnknown;
    if (FindZipAtFixedOffsets()) return;
    if (FindByResourceOffsets()) return;
    if (FindAtDosImageEnd()) return;
    if (const int64_t s = FindEndOfCentralDir(); s != 0) {
        ArcType = atZipExe;
        ArcStart = s;
        return;
    }
    if (!(ZipDirFlags & zdEndRecord)) {
        TArcType t;
        const int64_t s = ScanForEmbeddedArchive(t, 17000);
        ArcType = t;
        if (s != 0) ArcStart = s;
    } else if (const int64_t s = FindZipCentral(); s != 0) {
        ArcType = atZipExe;
        ArcStart = s;
    }
}

void TArcDetector::detectPlain(const std::vector<uint8_t>& head) {
    size_t skip = 0;
    while (skip < head.size() && head[skip] == 0) ++skip;
    const uint32_t sig = skip + 4 <= head.size() ? pvcommon::GetLE32(&head[skip]) : 0;
    ArcType = CheckSignature(sig, 1);
    if (ArcType == atJar || ArcType == atZip || ArcType == atZipExe) {
        const uint32_t markerFlags = ZipDirFlags;
        if (const int64_t s = FindEndOfCentralDir(); s != 0) {
            ArcStart = s;
        } else {
            ArcStart = 1 + int64_t(skip);
            ZipDirFlags |= zdLocalHeader | markerFlags;
        }
        if (drive_.Removable && !(ZipDirFlags & zdEndRecord)) ArcType = atZipMV;
        return;
    }
    if (ArcType != atZipMV && aceAt7()) {
        ArcType = atACE;
        return;
    }
    if (ArcType != atUnknown) return;
    if (drive_.Removable && drive_.HasDiskNumber) {
        FindEndOfCentralDir();
        if (ZipDirFlags < zdLocalHeader) ArcType = atZipMV;
    } else if (FindUueBegin()) {
        ArcType = atUue;
    } else if (IsTarHeader()) {
        ArcType = atTar;
    } else {
        const int64_t s = FindEndOfCentralDir();
        if ((ZipDirFlags & (zdLocalHeader | zdEndRecord)) == (zdLocalHeader | zdEndRecord)) {
            ArcType = atZip;
            ArcStart = s;
        } else if (drive_.Removable && (ZipDirFlags & zdEndRecord) && !(ZipDirFlags & zdLocalHeader)) {
            ArcType = atZipMV;
        }
    }
}

TArcType TArcDetector::DetectArcType() {
    ArcType = atFileOpenErr;
    ArcStart = 1;
    ArchiveSize = src_->Size();
    ZipDirFlags = 0;
    if (ArchiveSize < 20) return ArcType;
    std::vector<uint8_t> head(static_cast<size_t>(std::min(ArchiveSize, kHeadBytes)));
    const int64_t got = src_->ReadAt(0, head.data(), int64_t(head.size()));
    if (got < 20) return ArcType;
    head.resize(size_t(got));
    FirstWord = pvcommon::GetLE16(head.data());
    if (FirstWord == 0x5A4D) // "MZ": a program, perhaps with an archive inside
        detectProgram();
    else
        detectPlain(head);
    if (UnknownArcTypes & ArcBit(ArcType)) ArcStart = 1;
    if (ArcType == atZip && upperExt(fileName_) == ".JAR") ArcType = atJar;
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
