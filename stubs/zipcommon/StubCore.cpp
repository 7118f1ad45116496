#include "stubs/zipcommon/StubCore.h"

#include "platform/codepage.h"
#include "common/ZipDirectory.h"
#include "platform/fileio.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

namespace zipstub {

// ---- Callback ----

namespace {
int32_t clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}
} // namespace

Reporter::Reporter(TZipCallback cb, void* handle, void* caller) : cb_(cb) {
    rec_.Handle = handle;
    rec_.Caller = caller;
    rec_.Version = 160;
}

int32_t Reporter::call(int32_t action, int32_t a1, int32_t a2, std::string_view text, bool mayCancel) {
    if (!cb_) return 0;
    rec_.ActionCode = action;
    rec_.Arg1 = a1;
    rec_.Arg2 = a2;
    std::memset(rec_.Text, 0, sizeof(rec_.Text));
    if (!text.empty()) std::memcpy(rec_.Text, text.data(), std::min(text.size(), sizeof(rec_.Text) - 1));
    int32_t r = cb_(&rec_);
    if (r == -1 && mayCancel) throw StubCancel{};
    return r;
}

void Reporter::start(int64_t totalSize) {
    if (started_) return;
    started_ = true;
    call(zcaTotalSize, 0, clamp32(totalSize), {}, true);
}

void Reporter::totalFiles(int64_t n) {
    call(zcaTotalFiles, 0, clamp32(n), {}, true);
}
void Reporter::newFile(const std::string& name, int64_t size) {
    call(zcaNewFile, 0, clamp32(size), name, true);
}
void Reporter::progress(int64_t bytes) {
    call(zcaProgress, 0, clamp32(bytes), {}, true);
}
void Reporter::info(const std::string& text) {
    call(zcaMessage, 0, 0, text, true);
}

void Reporter::error(int32_t code, const std::string& text) noexcept {
    if (!started_) {
        started_ = true;
        call(zcaTotalSize, 0, 0, {}, false);
    }
    call(zcaMessage, code, 0, text, false);
}

void Reporter::end() noexcept {
    if (!started_) {
        started_ = true;
        call(zcaTotalSize, 0, 0, {}, false);
    }
    call(zcaEndOfBatch, 0, 0, {}, false);
}

std::optional<std::string> Reporter::askPassword(const std::string& forFile, bool adding, int32_t& repeat) {
    call(zcaPassword, adding ? 1 : 0, repeat, forFile, true);
    repeat = rec_.Arg2;
    if (rec_.Arg1 != 1) return std::nullopt;
    rec_.Text[sizeof(rec_.Text) - 1] = 0;
    std::string pw(rec_.Text);
    if (pw.empty()) return std::nullopt;
    return pw;
}

int32_t Reporter::crcError(const std::string& name, uint32_t found, uint32_t expected) {
    call(zcaCrcError, static_cast<int32_t>(found), static_cast<int32_t>(expected), name, true);
    return rec_.Arg1;
}

bool Reporter::overwrite(const std::string& name, bool diskFileOlder, bool deflt) {
    call(zcaOverwrite, diskFileOlder ? 1 : 0, deflt ? 1 : 0, name, true);
    return (rec_.Arg2 & 0xFF) != 0;
}

void Reporter::skipped(const std::string& name, UnZipSkipTypes type, int32_t code) {
    call(zcaSkipped, code, type, name, true);
}

void Reporter::writtenTo(const std::string& path, bool replaced) {
    const bool fits = path.size() < sizeof(rec_.Text);
    call(zcaWrittenTo, replaced ? 1 : 0, fits ? 0 : 1, fits ? std::string_view(path) : std::string_view(),
         true);
}

std::string Reporter::newName(const std::string& name) {
    call(zcaNewName, 0, 0, name, true);
    if (rec_.Arg1 != 1) return name;
    rec_.Text[sizeof(rec_.Text) - 1] = 0;
    std::string n(rec_.Text);
    return n.empty() ? name : n;
}

// ---- Names ----

std::string CentralRec::displayName() const {
    std::string n = platform::decodeArchiveName(name, (flags & 0x800) != 0);
    std::replace(n.begin(), n.end(), '\\', '/');
    return n;
}

std::string dirName(const std::string& path) {
    auto s = path.rfind('/');
    if (s == std::string::npos) return ".";
    return s == 0 ? "/" : path.substr(0, s);
}

std::string baseName(const std::string& path) {
    auto s = path.rfind('/');
    return s == std::string::npos ? path : path.substr(s + 1);
}

// ---- Times ----

// ---- Reading ----

void readExact(int fd, int64_t pos, void* buf, int64_t n) {
    if (n > 0 && !platform::readAt(fd, pos, buf, n))
        throw StubError(kErrRead, "Unexpected end of the zip file");
}

namespace {

// A local record takes at least its 30-byte header and its packed data; an entry whose
// record starts inside another's (or at the same place) shares its data.
void markOverlaps(ZipDir& d) {
    std::vector<size_t> order(d.entries.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return d.entries[a].localPos < d.entries[b].localPos; });
    // The record reaching furthest so far: a later start before its end shares bytes with it.
    size_t widest = 0;
    int64_t widestEnd = -1;
    for (size_t k = 0; k < order.size(); ++k) {
        CentralRec& cur = d.entries[order[k]];
        if (k > 0 && cur.localPos < widestEnd) cur.overlaps = d.entries[widest].overlaps = true;
        const int64_t end = cur.localPos + 30 + static_cast<int64_t>(cur.csize);
        if (end > widestEnd) {
            widestEnd = end;
            widest = order[k];
        }
    }
}

} // namespace

// The end record and the central records are read by the shared zip walk
// (common/ZipDirectory.h); bytes appended after the zip are allowed.
ZipDir readZipDir(int fd) {
    namespace zip = pvcommon::zip;
    ZipDir d;
    d.fileSize = platform::fileSize(fd);
    if (d.fileSize < 0) throw StubError(kErrRead, "Cannot read the size of the zip file");
    if (d.fileSize < 22) throw StubError(kErrFormat, "This is not a zip file (too short)");
    std::vector<uint8_t> window;
    const zip::Fetch fromFile = [&](uint64_t offset, size_t count) {
        window.resize(count);
        readExact(fd, static_cast<int64_t>(offset), window.data(), static_cast<int64_t>(count));
        return pvcommon::Bytes(window);
    };
    const auto found =
        zip::FindZipEnd(fromFile, static_cast<uint64_t>(d.fileSize), zip::kMaxEndComment, true);
    if (!found) throw StubError(kErrFormat, "This is not a zip file (no end of central directory)");
    // A zip of more than 65,535 entries keeps its count in the zip64 end record.
    const auto er = zip::ResolveZipEnd(fromFile, *found);
    if (!er) throw StubError(kErrFormat, "The zip64 end of central directory is damaged");
    const auto endPos = static_cast<int64_t>(er->directoryEnd);
    if (er->thisDisk != 0 || er->centralDisk != 0)
        throw StubError(kErrSpanned, "This is a disk of a spanned archive; join the set first");
    if (er->beyond32()) throw StubError(kErrFormat, "Zip64 archives over 4 GiB are not supported");
    const auto cdSize = static_cast<int64_t>(er->centralSize),
               cdOffset = static_cast<int64_t>(er->centralOffset);
    if (cdSize > endPos) throw StubError(kErrFormat, "The central directory size exceeds the file");
    d.cdPos = endPos - cdSize;
    d.cdSize = cdSize;
    if (d.cdPos < cdOffset) throw StubError(kErrFormat, "The central directory offset is wrong");
    d.shift = d.cdPos - cdOffset;
    d.comment = found->comment;

    std::vector<uint8_t> cd(static_cast<size_t>(d.cdSize));
    readExact(fd, d.cdPos, cd.data(), d.cdSize);
    // The walk reads the directory in memory: a record cut by its end is cut by the walk.
    const zip::Fetch fromDir = [&](uint64_t offset, size_t count) {
        if (offset >= cd.size()) return pvcommon::Bytes{};
        return pvcommon::Bytes(cd).subspan(static_cast<size_t>(offset),
                                           std::min<size_t>(count, cd.size() - offset));
    };
    uint64_t at = 0;
    d.zipStart = d.cdPos;
    zip::ZipCentralRecord r;
    for (uint64_t i = 0; i < er->entries; ++i) {
        switch (zip::ReadZipCentral(fromDir, at, r)) {
        case zip::ZipCentralRead::Record:
            break;
        case zip::ZipCentralRead::Short:
            throw StubError(kErrFormat, "Central directory is truncated");
        case zip::ZipCentralRead::VarShort:
            throw StubError(kErrFormat, "Central header runs past the directory");
        default:
            throw StubError(kErrFormat, "A central header signature is wrong");
        }
        if (r.zip64) throw StubError(kErrFormat, "Zip64 entries are not supported");
        const zip::ZipCentralHeader& h = r.header;
        CentralRec e;
        e.raw.assign(cd.begin() + static_cast<std::ptrdiff_t>(at),
                     cd.begin() + static_cast<std::ptrdiff_t>(r.next));
        e.madeBy = h.versionMadeBy;
        e.needed = h.versionNeeded;
        e.flags = h.flags;
        e.method = h.method;
        e.time = static_cast<uint16_t>(h.dosDateTime & 0xFFFF);
        e.date = static_cast<uint16_t>(h.dosDateTime >> 16);
        e.crc = h.crc32;
        e.csize = static_cast<uint32_t>(h.packedSize);
        e.usize = static_cast<uint32_t>(h.size);
        e.extAttr = h.externalAttr;
        e.localOffset = static_cast<uint32_t>(h.localOffset);
        e.name = r.rawName;
        e.localPos = static_cast<int64_t>(e.localOffset) + d.shift;
        if (e.localPos + 30 > d.cdPos) throw StubError(kErrFormat, "A local header offset is wrong");
        d.zipStart = std::min(d.zipStart, e.localPos);
        at = r.next;
        d.entries.push_back(std::move(e));
    }
    markOverlaps(d);
    return d;
}

// Local header: signature (4), needed (2), flags (2), method (2), time (2), date (2),
// CRC (4), packed (4), size (4), name length (2), extra length (2); name; extra; data;
// with flag bit 3 a descriptor: [signature] CRC, packed, size.
LocalSpan localSpan(int fd, const ZipDir& dir, const CentralRec& e) {
    uint8_t h[30];
    readExact(fd, e.localPos, h, 30);
    if (GetLE32(h) != kLocalSig) throw StubError(kErrFormat, "A local header signature is wrong");
    LocalSpan s;
    s.header = e.localPos;
    s.data = e.localPos + 30 + GetLE16(h + 26) + GetLE16(h + 28);
    s.dataEnd = s.data + e.csize;
    if (s.dataEnd > dir.cdPos) throw StubError(kErrFormat, "Entry data runs into the central directory");
    s.end = s.dataEnd;
    if (GetLE16(h + 6) & 8) {
        uint8_t dd[4] = {};
        if (s.dataEnd + 4 <= dir.cdPos) readExact(fd, s.dataEnd, dd, 4);
        s.end += GetLE32(dd) == kDescriptorSig ? 16 : 12;
        if (s.end > dir.cdPos)
            throw StubError(kErrFormat, "A data descriptor runs into the central directory");
    }
    return s;
}

// ---- Writing ----

void ZipOut::write(const void* p, size_t n) {
    if (n && platform::writeFile(fd_, p, static_cast<int64_t>(n)) != static_cast<int64_t>(n))
        throw StubError(kErrWrite, "Write error in the output file");
    pos_ += static_cast<int64_t>(n);
}

void ZipOut::copyFrom(int in, int64_t from, int64_t len) {
    std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(len, 1 << 16)));
    while (len > 0) {
        int64_t n = std::min<int64_t>(len, static_cast<int64_t>(buf.size()));
        readExact(in, from, buf.data(), n);
        write(buf.data(), static_cast<size_t>(n));
        from += n;
        len -= n;
    }
}

void ZipOut::patch(int64_t at, const void* p, size_t n) {
    const int64_t keep = pos_;
    if (platform::seekFile(fd_, at) != at ||
        platform::writeFile(fd_, p, static_cast<int64_t>(n)) != static_cast<int64_t>(n) ||
        platform::seekFile(fd_, keep) != keep)
        throw StubError(kErrWrite, "Write error in the output file");
}

void ZipOut::rewind(int64_t at) {
    if (!platform::truncateFile(fd_, at) || platform::seekFile(fd_, at) != at)
        throw StubError(kErrWrite, "Write error in the output file");
    pos_ = at;
}

void ZipOut::addCentral(std::vector<uint8_t> raw, int64_t localOffset) {
    if (localOffset > 0xFFFFFFFE)
        throw StubError(kErrTooBig, "The archive would exceed 4 GB (zip64 is not supported)");
    PutLE16(raw.data() + 34, 0); // disk number start
    PutLE32(raw.data() + 42, static_cast<uint32_t>(localOffset));
    central_.push_back(std::move(raw));
}

void ZipOut::finish(const std::string& comment) {
    if (central_.size() > 0xFFFE) throw StubError(kErrTooBig, "Too many entries (zip64 is not supported)");
    const int64_t cdStart = pos_;
    for (auto& r : central_) write(r.data(), r.size());
    const int64_t cdSize = pos_ - cdStart;
    if (cdStart > 0xFFFFFFFE || cdSize > 0xFFFFFFFE)
        throw StubError(kErrTooBig, "The archive would exceed 4 GB (zip64 is not supported)");
    uint8_t e[22] = {};
    PutLE32(e, kEndSig);
    PutLE16(e + 8, static_cast<uint32_t>(central_.size()));
    PutLE16(e + 10, static_cast<uint32_t>(central_.size()));
    PutLE32(e + 12, static_cast<uint32_t>(cdSize));
    PutLE32(e + 16, static_cast<uint32_t>(cdStart));
    const size_t clen = std::min<size_t>(comment.size(), 0xFFFF);
    PutLE16(e + 20, static_cast<uint32_t>(clen));
    write(e, 22);
    write(comment.data(), clen);
}

TempOutput::TempOutput(const std::string& target) : target_(target) {
    if (!file_.create(dirName(target), ".zipst", ".tmp"))
        throw StubError(kErrCreate, "Temporary file could not be created in " + dirName(target) + ": " +
                                        std::strerror(errno));
}

void TempOutput::commit(int mode) {
    if (!platform::syncFile(file_.fd())) {
        file_.discard();
        throw StubError(kErrWrite, "Write error in the output file");
    }
    if (mode < 0) mode = platform::newFileMode();
    platform::setFileMode(file_.fd(), mode);
    if (!file_.commit(target_))
        throw StubError(kErrWrite, "Cannot replace " + target_ + ": " + std::strerror(errno));
}

} // namespace zipstub
