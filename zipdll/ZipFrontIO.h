// Helpers the zip front-end's file-rewriting operations share (self-extractors, spanned
// sets, renaming): little-endian fields, handles closed on every way out, a new output file
// beside its target that replaces the target only once it is complete, and block copies.
#pragma once
#include "common/LittleEndian.h"
#include "common/PathParts.h"
#include "common/Pump.h"
#include "common/ZipDirectory.h"
#include "common/ZipLayout.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"
#include "zipdll/ZipFront.h"
#include "zipdll/ZipMsgs.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zipfront::io {

using pvcommon::EndsWithNoCase;
using pvcommon::GetLE16;
using pvcommon::GetLE32;
using pvcommon::PutLE16;
using pvcommon::PutLE32;
using pvcommon::zip::kCentralSig;
using pvcommon::zip::kEndSig;
using pvcommon::zip::kLocalSig;
constexpr uint32_t kSpanSig = pvcommon::zip::kDescriptorSig; // a spanned set's first four bytes

// The folder part of a path ("." when there is none).
inline std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

struct FileHandle {
    int fd = platform::kInvalidHandle;
    FileHandle() = default;
    explicit FileHandle(int f) : fd(f) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { reset(); }
    void reset(int f = platform::kInvalidHandle) {
        if (fd >= 0) platform::closeFile(fd);
        fd = f;
    }
};

// A new file in the folder of `target`, without a name where the file system allows (so
// that a killed process leaves nothing); commit() puts it over the target, and it is
// removed when that never happens.
class OutputFile {
public:
    OutputFile(const std::string& target, const std::string& prefix) : target_(target) {
        const std::string folder = folderOf(target);
        file_.create(folder.empty() ? "." : folder, "." + prefix, ".tmp");
    }
    bool ok() const { return file_.isOpen(); }
    int fd() const { return file_.fd(); }
    // `mode` < 0: what a new file gets (0666 less the umask). `unixTime` > 0 sets its date.
    bool commit(int mode, int64_t unixTime = 0) {
        if (mode < 0) mode = platform::newFileMode();
        if (!platform::syncFile(file_.fd())) return false;
        platform::setFileMode(file_.fd(), mode);
        if (unixTime > 0) platform::setFileTimes(file_.fd(), unixTime, unixTime);
        return file_.commit(target_);
    }

private:
    std::string target_;
    platform::PendingFile file_;
};

// Lets pending events through, at most about 30 times a second however often it is
// called (the format wait calls platform::processMessages itself).
inline void pumpEvents() {
    static thread_local pvcommon::PumpThrottle throttle;
    if (throttle.Due()) platform::processMessages();
}

// Copies `len` bytes at `pos` of `in` to the end of `out` in blocks, letting pending
// events through after each. With `raise` a failure throws (11008 reading, 11010 writing);
// without it the answer is false.
inline bool copyRange(int in, int64_t pos, int64_t len, int out, bool raise = true) {
    std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(len, 1), 1 << 16)));
    while (len > 0) {
        const int64_t n = std::min<int64_t>(len, static_cast<int64_t>(buf.size()));
        if (!platform::readAt(in, pos, buf.data(), n)) {
            if (raise) throw EZipFront(DS_FailedSeek);
            return false;
        }
        if (platform::writeFile(out, buf.data(), n) != n) {
            if (raise) throw EZipFront(DS_NoWrite);
            return false;
        }
        pos += n;
        len -= n;
        pumpEvents();
    }
    return true;
}

// ---- The central directory, read through the shared zip walk ----

// A file read through a window of its bytes, as the shared walk wants it: up to `count`
// bytes at `offset`, fewer at the end of the file (or at `limit`, when one is given).
class FileFetch {
public:
    explicit FileFetch(int fd, int64_t limit = -1);
    pvcommon::zip::Fetch fetch() {
        return [this](uint64_t offset, size_t count) { return read(offset, count); };
    }

private:
    pvcommon::Bytes read(uint64_t offset, size_t count);
    int fd_;
    uint64_t limit_ = 0, start_ = 0;
    std::vector<uint8_t> window_;
};

// The bytes of a directory read into memory (from the parts of a set), `base` being the
// offset of their first byte.
pvcommon::zip::Fetch memoryFetch(const std::vector<uint8_t>& bytes, uint64_t base);

// Hands each of `count` central records from `start` on, with its bytes as stored, to
// `each`. A record cut short raises 11013 (its fixed part) or 11017 (its name, extra field
// or comment); anything else standing where a record should raises 11015.
using CentralVisit = std::function<void(const pvcommon::zip::ZipCentralRecord& r, pvcommon::Bytes raw)>;
void walkCentral(const pvcommon::zip::Fetch& in, uint64_t start, uint64_t count, const CentralVisit& each);

// The front-end writes no zip64 records: an archive whose directory needs them (more than
// 65,535 entries, or beyond 4 GiB) is refused before anything is written.
[[noreturn]] void refuseZip64();

// ---- The parts of a set on a fixed drive ----

// The file of part `n` (from 0) of a set whose last part, number `lastDisk`, is `last`: the
// peers' "x.z01", "x.z02", ... beside "x.zip" when the first of them is there, else our
// numbered "x001.zip", "x002.zip", ...
std::string setPartName(const std::string& last, int n, int lastDisk);
// The last part of a set on a fixed drive, found from another of its parts: "x.zip" beside
// "x.z01", or the highest of the numbered parts "x001.zip", "x002.zip", ... that are there.
// Empty when `part` names no part of a set, or is the last part itself.
std::string findLastPart(const std::string& part);

} // namespace zipfront::io
