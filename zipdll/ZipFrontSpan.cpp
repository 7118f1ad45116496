// TZipFront's spanned sets: WriteSpan copies a single-file zip over several disks (numbered
// files on a fixed drive, labelled media on a removable one), ReadSpan joins a set back into
// one file; both rewrite the disk numbers and offsets of every header. Around them the disk
// prompt, the drive check and the disk writer; and FormatThread, which formats a medium on
// a thread of its own while the caller keeps the events flowing.
#include "platform/fileio.h"
#include "platform/ui_hooks.h"
#include "platform/volumes.h"
#include "zipdll/ZipFront.h"
#include "zipdll/ZipFrontIO.h"
#include "zipdll/ZipMsgs.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <new>
#include <tuple>
#include <thread>

using namespace zipfront;
using namespace zipfront::io;

namespace {

const char* const kAppTitle = "Parvex 2000";
// A prompt answered this many times without the drive becoming usable counts as a cancel:
// a default answer that never changes anything must not keep the run asking for ever.
constexpr int kMaxPrompts = 1000;

std::string three(int n) {
    char b[16];
    std::snprintf(b, sizeof b, "%03d", n);
    return b;
}

std::string spanLabel(int disk) {
    return "PKBACK# " + three(disk + 1);
}

// The message text with its "%d"-style items filled in order.
std::string fill(int id, std::initializer_list<std::string> values) {
    std::string t = ZipLoadStr(id);
    size_t from = 0;
    for (const std::string& v : values) {
        size_t p = t.find('%', from);
        if (p == std::string::npos) break;
        size_t e = p + 1;
        while (e < t.size() && (t[e] == '.' || (t[e] >= '0' && t[e] <= '9'))) ++e;
        if (e >= t.size()) break;
        t.replace(p, e - p + 1, v);
        from = p + v.size();
    }
    return t;
}

// Where the three-digit part number of a file on a fixed drive goes: before the extension.
size_t extensionAt(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    return dot == std::string::npos || (slash != std::string::npos && dot < slash) ? path.size() : dot;
}

// The label's disk number ("PKBACK# 003" gives 3), 0 when there is none.
int labelNumber(const std::string& label) {
    if (label.rfind("PKBACK# ", 0) != 0 || label.size() < 11) return 0;
    int n = 0;
    for (size_t i = 8; i < 11; ++i) {
        if (label[i] < '0' || label[i] > '9') return 0;
        n = n * 10 + (label[i] - '0');
    }
    return n;
}

std::atomic<bool> gFormatting{false};

} // namespace

// ---- The parts of a set on a fixed drive ----

namespace {

// "x.z01" for part 0 of the set whose last part is "x.zip" (".Z01" beside ".ZIP").
std::string peerPartName(const std::string& last, int n) {
    const size_t ext = extensionAt(last);
    const bool upper = ext + 1 < last.size() && last[ext + 1] == 'Z';
    char num[16];
    std::snprintf(num, sizeof num, "%02d", n + 1);
    return last.substr(0, ext) + (upper ? ".Z" : ".z") + num;
}

// The number of a numbered part ("x002.zip" gives 2), 0 when the name has none.
int partNumber(const std::string& path) {
    const size_t ext = extensionAt(path);
    if (ext < 3) return 0;
    int n = 0;
    for (size_t i = ext - 3; i < ext; ++i) {
        if (path[i] < '0' || path[i] > '9') return 0;
        n = n * 10 + (path[i] - '0');
    }
    return n;
}

} // namespace

std::string zipfront::io::setPartName(const std::string& last, int n, int lastDisk) {
    if (n == lastDisk) return last;
    if (platform::fileExists(peerPartName(last, 0)) || partNumber(last) == 0) return peerPartName(last, n);
    const size_t ext = extensionAt(last);
    return last.substr(0, ext - 3) + three(n + 1) + last.substr(ext);
}

std::string zipfront::io::findLastPart(const std::string& part) {
    const size_t ext = extensionAt(part);
    const std::string suffix = part.substr(ext);
    // A peer's split part: ".z" and two or more digits; the last part is the ".zip" beside it.
    if (suffix.size() >= 4 && (suffix[1] == 'z' || suffix[1] == 'Z') &&
        std::all_of(suffix.begin() + 2, suffix.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        for (const char* zip : {".zip", ".ZIP"})
            if (platform::fileExists(part.substr(0, ext) + zip)) return part.substr(0, ext) + zip;
        return {};
    }
    const int first = partNumber(part);
    if (first == 0) return {};
    std::string last;
    for (int n = first + 1; n <= 999; ++n) {
        const std::string next = part.substr(0, ext - 3) + three(n) + suffix;
        if (!platform::fileExists(next)) break;
        last = next;
    }
    return last;
}

// ---- Formatting ----

int FormatThread::Run(const std::string& drive, const std::string& label, bool confirmErase) {
    if (gFormatting.exchange(true)) return -1; // one disk at a time; the running one goes on
    struct Clear {
        ~Clear() { gFormatting = false; }
    } clear;
    auto d = platform::emulatedDriveFor(drive);
    if (!d || d->kind != platform::DriveKind::Removable) return -1;
    if (confirmErase &&
        platform::messageBox(
            kAppTitle, "Formatting will erase ALL data on the disk in drive " + d->root + ".",
            platform::MsgType::Warning, platform::mbYes | platform::mbCancel) != platform::ModalResult::Yes)
        return -2;
    std::atomic<int> result{-3};
    std::thread worker([&] { result = platform::formatMedium(d->root, label) ? 0 : -1; });
    // The caller's events are let through at least once, however quickly the disk is done.
    for (;;) {
        platform::processMessages();
        if (result != -3) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    worker.join();
    return result;
}

bool FormatThread::Running() {
    return gFormatting;
}

// ---- The disk machinery ----

class ZipSpanner {
public:
    ZipSpanner(TZipFront& z, const std::string& path) : z_(z), path_(path) {
        folder_ = folderOf(path);
        if (auto d = platform::emulatedDriveFor(path))
            root_ = d->root;
        else
            root_ = folder_;
    }

    bool removable() const { return kind_ == platform::DriveKind::Removable; }
    int disk() const { return disk_; }

    // ---- Drive check and prompt ----

    bool checkDrive() {
        kind_ = platform::driveKind(root_);
        platform::VolumeInfo info;
        const bool infoOk = platform::volumeInformation(root_, info);
        z_.FVolumeName = infoOk ? info.label : std::string();
        platform::VolumeSpace sp;
        z_.FFreeBytes = z_.FTotalBytes = 0;
        if (platform::volumeFreeSpace(root_, sp)) {
            z_.FFreeBytes = sp.freeBytes;
            z_.FTotalBytes = sp.totalBytes;
        }
        z_.FDrive = root_;
        if (kind_ == platform::DriveKind::NoRootDir) throw EZipFront(DS_DriveNoMount, root_);
        bool ready = infoOk && z_.FTotalBytes > 0;
        if (!infoOk && removable() && z_.AddOptions.has(AddDiskSpanErase)) {
            auto m = platform::insertedMedium(root_);
            ready = m && !m->formatted; // an unformatted disk is formatted before use
        }
        return ready;
    }

    // Asks for disk disk_ until the drive is ready (and, when newDisk_, once at least).
    void prompt(bool writing) {
        platform::processMessages();
        bool ready = checkDrive();
        while (!ready || newDisk_) {
            if (!removable()) {
                newDisk_ = false;
                if (!ready) throw EZipFront(DS_DriveNoMount, root_);
                break;
            }
            if (z_.Unattended) throw EZipFront(DS_NoUnattSpan);
            if (++prompts_ > kMaxPrompts) throw EZipFront(DS_Canceled, false);
            std::string text;
            platform::MsgType icon = platform::MsgType::Confirmation;
            if (disk_ < 0) {
                text = ZipLoadStr(DS_InsertDisk);
                icon = platform::MsgType::Error;
            } else if (writing) {
                int64_t cap = z_.FTotalBytes;
                if (z_.MaxVolumeSize > 0 && (cap <= 0 || cap > z_.MaxVolumeSize)) cap = z_.MaxVolumeSize;
                if (cap > 0) {
                    const int64_t expected =
                        std::max<int64_t>(disk_, (archiveSize_ + z_.KeepFreeOnDisk1 + 4) / cap);
                    text = fill(DS_InsertVolume, {std::to_string(disk_ + 1), std::to_string(expected + 1)});
                } else {
                    text = fill(DS_InsertAVolume, {std::to_string(disk_ + 1)});
                }
            } else {
                text = fill(DS_InsertVolume, {std::to_string(disk_ + 1), std::to_string(diskCount_ + 1)});
            }
            text += fill(DS_InDrive, {root_});
            bool abort = false;
            if (auto h = z_.OnGetNextDisk) {
                h(z_, disk_ + 1, diskCount_ + 1, root_, abort);
            } else {
                abort = platform::messageBox(kAppTitle, text, icon, platform::mbOK | platform::mbCancel) !=
                        platform::ModalResult::Ok;
            }
            newDisk_ = false;
            if (abort) throw EZipFront(DS_Canceled, false);
            ready = checkDrive();
        }
    }

    // ---- Reading a set ----

    std::string readName(int n) const {
        if (removable()) return path_;
        return setPartName(lastPath_.empty() ? path_ : lastPath_, n, diskCount_);
    }

    // The last disk: the one with the end record. On a fixed drive every part is there, so
    // one chosen by another part of its set leads to the last.
    void openLast() {
        disk_ = -1;
        newDisk_ = false;
        lastPath_ = path_;
        for (;;) {
            prompt(false);
            in_.reset(platform::openFile(path_, platform::OpenMode::Read));
            if (in_.fd >= 0 && z_.FindEndRecord(in_.fd, false)) break;
            if (!removable()) {
                if (in_.fd < 0) throw EZipFront(DS_NoInFile);
                const std::string last = findLastPart(path_);
                if (!last.empty()) {
                    in_.reset(platform::openFile(last, platform::OpenMode::Read));
                    if (in_.fd >= 0 && z_.FindEndRecord(in_.fd, false)) {
                        lastPath_ = last;
                        break;
                    }
                }
                const size_t ext = extensionAt(path_);
                const std::string digits = ext >= 3 ? path_.substr(ext - 3, 3) : std::string();
                if (digits == "001") throw EZipFront(DS_FirstInSet);
                int n = 0;
                for (char c : digits) n = (c >= '0' && c <= '9') ? n * 10 + (c - '0') : -1000;
                if (n > 0) throw EZipFront(DS_NotLastInSet, n);
                throw EZipFront(DS_NoValidZip);
            }
            newDisk_ = true;
        }
        diskCount_ = z_.FDiskNr;
        disk_ = diskCount_;
        partSize_ = platform::fileSize(in_.fd);
    }

    // Disk n, opened for reading at `pos`.
    void openDisk(int n, int64_t pos) {
        if (n < 0 || n > diskCount_) throw EZipFront(DS_NoInFile); // never a part beyond the set
        if (n != disk_ || in_.fd < 0) {
            in_.reset();
            disk_ = n;
            newDisk_ = false; // the disk in the drive may be the right one already
            for (;;) {
                prompt(false);
                const std::string name = readName(n);
                if (removable() && labelNumber(z_.FVolumeName) != n + 1) {
                    newDisk_ = true;
                    continue;
                }
                in_.reset(name.empty() ? -1 : platform::openFile(name, platform::OpenMode::Read));
                if (in_.fd >= 0) break;
                if (!removable()) throw EZipFront(DS_NoInFile);
                z_.ShowZipMessage(DS_NoInFile);
                newDisk_ = true;
            }
            partSize_ = platform::fileSize(in_.fd);
        }
        if (pos < 0 || pos > partSize_) throw EZipFront(DS_FailedSeek);
        readPos_ = pos;
    }

    // Reads n bytes, going on with the next disk at a disk's end (never past the last).
    void read(void* buf, int64_t n, int err) {
        auto* p = static_cast<uint8_t*>(buf);
        while (n > 0) {
            const int64_t here = std::min(n, partSize_ - readPos_);
            if (here > 0) {
                if (!platform::readAt(in_.fd, readPos_, p, here)) throw EZipFront(err);
                p += here;
                n -= here;
                readPos_ += here;
                continue;
            }
            if (disk_ >= diskCount_) throw EZipFront(err);
            openDisk(disk_ + 1, 0);
        }
    }

    void copyTo(int out, int64_t n, int err) {
        std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(n, 1), 1 << 16)));
        while (n > 0) {
            const int64_t k = std::min<int64_t>(n, static_cast<int64_t>(buf.size()));
            read(buf.data(), k, err);
            if (platform::writeFile(out, buf.data(), k) != k) throw EZipFront(DS_NoWrite);
            n -= k;
            if (z_.Cancel) throw EZipFront(DS_Canceled, false);
        }
    }

    // ---- Writing a set ----

    void setArchive(int64_t size, int64_t date) {
        archiveSize_ = size;
        inDate_ = date;
    }

    std::string writeName() const {
        if (removable()) return path_;
        const size_t ext = extensionAt(path_);
        return path_.substr(0, ext) + three(disk_ + 1) + path_.substr(ext);
    }

    // Makes sure the current disk has room for `minRoom` bytes together (opening the next
    // disk as needed).
    void ensureRoom(int64_t minRoom) {
        pumpEvents();
        if (z_.Cancel) throw EZipFront(DS_Canceled, false);
        for (;;) {
            if (out_.fd < 0) openNextOut(minRoom);
            if (minRoom > 0 && freeBytes_ < minRoom) {
                if (written_ == 0) throw EZipFront(DS_NoDiskSpace); // not even an empty disk holds it
                closeOut();
                continue;
            }
            return;
        }
    }

    // Writes a block; with `minRoom` > 0 the block lands on one disk whole.
    void write(const void* data, int64_t len, int64_t minRoom) {
        const auto* p = static_cast<const uint8_t*>(data);
        ensureRoom(minRoom > 0 ? minRoom : 1);
        while (len > 0) {
            if (out_.fd < 0 || freeBytes_ <= 0) {
                if (out_.fd >= 0) closeOut();
                ensureRoom(1);
            }
            const int64_t n = std::min(freeBytes_, len);
            if (platform::writeFile(out_.fd, p, n) != n) throw EZipFront(DS_NoWrite);
            if (copyProgress) z_.Progress(ptProgress, {}, n);
            freeBytes_ -= n;
            written_ += n;
            p += n;
            len -= n;
        }
    }

    void closeOut() {
        if (out_.fd < 0) return;
        out_.reset();
        if (inDate_ > 0) platform::setFileTimes(outName_, inDate_, inDate_);
        ++disk_;
        newDisk_ = true;
        written_ = 0;
    }

    // The parts of a fixed drive take their names.
    bool commitParts() {
        closeOut();
        const int mode = platform::newFileMode();
        for (auto& p : pending_) {
            platform::setFileMode(p.temp, mode);
            if (!platform::renameFile(p.temp, p.final)) return false;
            p.temp.clear();
        }
        return true;
    }

    ~ZipSpanner() {
        out_.reset();
        for (auto& p : pending_)
            if (!p.temp.empty()) platform::removeFile(p.temp);
    }

    int64_t written() const { return written_; }
    // The set's last part (on a fixed drive, the file that holds it) and its number.
    void setLast(const std::string& lastPath, int last) {
        lastPath_ = lastPath;
        diskCount_ = last;
    }

    // The `size` bytes of a directory that starts at `offset` of disk `disk`, read across
    // the disks that follow; the buffer grows only as the bytes come.
    std::vector<uint8_t> readDirectory(int disk, int64_t offset, int64_t size) {
        openDisk(disk, offset);
        std::vector<uint8_t> dir;
        for (int64_t left = size; left > 0;) {
            const int64_t n = std::min<int64_t>(left, 1 << 16);
            const size_t at = dir.size();
            dir.resize(at + static_cast<size_t>(n));
            read(dir.data() + at, n, DS_CEHBadRead);
            left -= n;
        }
        return dir;
    }
    bool copyProgress = false;
    int entriesHere = 0; // central headers on the current disk

private:
    void openNextOut(int64_t minRoom) {
        for (;;) {
            prompt(true);
            const std::string name = writeName();
            if (removable() && z_.AddOptions.has(AddDiskSpanErase) &&
                (!z_.OnGetNextDisk || lastStatus_ == zdaErase)) {
                const int r = FormatThread::Run(root_, spanLabel(disk_), z_.ConfirmErase);
                if (r == -2) throw EZipFront(DS_Canceled, false);
                if (r != 0) throw EZipFront(DS_Canceled, true);
                checkDrive();
            }
            if (platform::pathExists(name)) {
                if (z_.Unattended) throw EZipFront(DS_NoUnattSpan);
                const int prev = labelNumber(z_.FVolumeName);
                auto times = platform::fileTimes(name);
                int status;
                std::string text;
                if (removable() && times && times->lastWrite == inDate_ && prev > 0 && prev - 1 < disk_) {
                    text = fill(DS_AskPrevFile, {std::to_string(prev)});
                    status = 4;
                } else {
                    text = fill(DS_AskDeleteFile, {name});
                    status = 8;
                }
                status |= z_.FFreeBytes == z_.FTotalBytes ? 1 : 2;
                int action = zdaOk;
                if (auto h = z_.OnStatusDisk) {
                    TZipDiskAction a = zdaOk;
                    h(z_, prev ? prev : 1, name, status, a);
                    action = a;
                } else {
                    const auto r =
                        platform::messageBox("Confirm", text, platform::MsgType::Warning,
                                             platform::mbYes | platform::mbNo | platform::mbCancel);
                    action = r == platform::ModalResult::Yes  ? zdaOk
                             : r == platform::ModalResult::No ? zdaReject
                                                              : zdaCancel;
                }
                lastStatus_ = action;
                if (action == zdaCancel) throw EZipFront(DS_Canceled, false);
                if (action == zdaReject) {
                    if (!removable()) throw EZipFront(DS_Canceled, false); // the same file again
                    newDisk_ = true;
                    continue;
                }
            }
            if (removable()) {
                out_.reset(platform::openFile(name, platform::OpenMode::Create));
                outName_ = name;
            } else {
                // Parts on a fixed drive replace earlier files of those names only when the
                // whole set is written: until then they are new files beside them.
                platform::TempFile t = platform::makeTempFile(folder_, ".span", ".tmp");
                out_.reset(t.fd);
                outName_ = t.path;
                if (t.fd >= 0) pending_.push_back({t.path, name});
            }
            if (out_.fd < 0) throw EZipFront(DS_NoOutFile);
            checkDrive();
            freeBytes_ = z_.FFreeBytes;
            if (z_.MaxVolumeSize > 0) freeBytes_ = std::min(freeBytes_, z_.MaxVolumeSize);
            if (disk_ == 0) freeBytes_ -= z_.KeepFreeOnDisk1;
            // A part never needs more free space than it may hold.
            int64_t needFree = z_.MinFreeVolumeSize;
            if (z_.MaxVolumeSize > 0)
                needFree = std::min(needFree, z_.MaxVolumeSize - (disk_ == 0 ? z_.KeepFreeOnDisk1 : 0));
            if (freeBytes_ < needFree || freeBytes_ < std::max<int64_t>(minRoom, 1)) {
                out_.reset();
                platform::removeFile(outName_);
                if (!removable()) pending_.pop_back();
                // A fixed drive has no other disk to offer, and a part that cannot hold
                // the first header would only be followed by more of the same.
                if (!removable()) throw EZipFront(DS_NoDiskSpace);
                if (z_.Unattended) throw EZipFront(DS_NoUnattSpan);
                if (auto h = z_.OnStatusDisk) {
                    TZipDiskAction a = zdaOk;
                    h(z_, disk_ + 1, name, 16, a);
                    if (a == zdaCancel) throw EZipFront(DS_Canceled, false);
                } else {
                    const auto r =
                        platform::messageBox(kAppTitle, ZipLoadStr(DS_NoDiskSpace), platform::MsgType::Error,
                                             platform::mbRetry | platform::mbCancel);
                    if (r != platform::ModalResult::Retry) throw EZipFront(DS_Canceled, false);
                }
                if (++prompts_ > kMaxPrompts) throw EZipFront(DS_Canceled, false);
                newDisk_ = true;
                continue;
            }
            if (removable() && !platform::setVolumeLabel(root_, spanLabel(disk_)))
                throw EZipFront(DS_NoVolume);
            written_ = 0;
            entriesHere = 0;
            return;
        }
    }

    TZipFront& z_;
    std::string path_, folder_, root_, outName_, lastPath_;
    platform::DriveKind kind_ = platform::DriveKind::Fixed;
    int disk_ = 0, diskCount_ = 0, prompts_ = 0, lastStatus_ = zdaOk;
    bool newDisk_ = true;
    int64_t written_ = 0, freeBytes_ = 0, archiveSize_ = 0, inDate_ = 0;
    FileHandle in_, out_;
    struct Pending {
        std::string temp, final;
    };
    std::vector<Pending> pending_;
    int64_t readPos_ = 0, partSize_ = 0;
};

// The central directory of the current archive when it starts on an earlier disk of a set:
// read from that disk on, as far as the end record says.
std::vector<uint8_t> TZipFront::ReadSpannedCentral() {
    ZipSpanner sp(*this, FZipFileName);
    sp.setLast(FSetLast, FDiskNr);
    if (FCentralDiskNr > FDiskNr) throw EZipFront(DS_EOCBadRead);
    return sp.readDirectory(FCentralDiskNr, FCentralOffsetStored, FCentralSize);
}

// ---- WriteSpan ----

namespace {
struct SpanRow {
    int disk = 0;
    int64_t offset = 0;
};
} // namespace

int TZipFront::WriteSpan(const std::string& inFile, const std::string& outFile) {
    int result = 0;
    FZipBusy = true;
    ZipSpanner sp(*this, outFile);
    FileHandle in;
    try {
        if (!platform::fileExists(inFile)) throw EZipFront(DS_NoInFile);
        in.reset(platform::openFile(inFile, platform::OpenMode::Read));
        if (in.fd < 0) throw EZipFront(DS_FileOpen);
        const std::string savedLabel = FVolumeName;
        FVolumeName.clear(); // the input's own drive says nothing about a set
        FindEndRecord(in.fd, true);
        FVolumeName = savedLabel;
        if (FDiskNr != 0 || FCentralDiskNr != 0) throw EZipFront(DS_NoValidZip);
        if (FZip64End) refuseZip64();
        const int64_t cdStart = FDirEnd - FCentralSize;
        if (cdStart < 0 || FCentralOffsetStored > cdStart) throw EZipFront(DS_NoValidZip);
        const int64_t shift = cdStart - FCentralOffsetStored; // bytes in front of the zip data
        const int64_t commentLen = FLogicalSize - FEOCOffset - 22;
        const auto times = platform::fileTimes(in.fd);
        sp.setArchive(FLogicalSize, times ? times->lastWrite : 0);

        // The directory, read first: it says where each entry's data ends.
        struct Src {
            int64_t local;
            int64_t csize;
        };
        std::vector<Src> src;
        int64_t largest = 22 + commentLen;
        FileFetch file(in.fd, FEOCOffset);
        walkCentral(file.fetch(), static_cast<uint64_t>(cdStart), FTotalEntries,
                    [&](const pvcommon::zip::ZipCentralRecord& r, pvcommon::Bytes raw) {
                        if (r.zip64) refuseZip64();
                        const int64_t local = static_cast<int64_t>(r.header.localOffset) + shift;
                        if (local < 0 || local + 30 > cdStart) throw EZipFront(DS_LOHBadRead);
                        src.push_back({local, static_cast<int64_t>(r.header.packedSize)});
                        uint8_t lh[30];
                        if (!platform::readAt(in.fd, local, lh, 30)) throw EZipFront(DS_LOHBadRead);
                        largest = std::max({largest, static_cast<int64_t>(raw.size()),
                                            30 + int64_t{GetLE16(lh + 26)} + GetLE16(lh + 28)});
                    });
        // A header that no part of the largest size can hold: stop before writing anything.
        if (MaxVolumeSize > 0 && largest > MaxVolumeSize) throw EZipFront(DS_NoDiskSpace);
        std::sort(src.begin(), src.end(), [](const Src& a, const Src& b) { return a.local < b.local; });
        for (size_t i = 1; i < src.size(); ++i)
            if (src[i].local == src[i - 1].local) throw EZipFront(DS_LOHNotFound);

        uint8_t sig[4];
        PutLE32(sig, kSpanSig);
        sp.write(sig, 4, 0);
        sp.copyProgress = true;
        Progress(ptTotalFiles, {}, static_cast<int64_t>(FTotalEntries));
        Progress(ptTotalSize, {}, FLogicalSize);
        std::map<int64_t, SpanRow> rows; // by the entry's old local-header offset
        for (size_t i = 0; i < src.size(); ++i) {
            const int64_t at = src[i].local;
            const int64_t limit = i + 1 < src.size() ? src[i + 1].local : cdStart;
            uint8_t h[30];
            if (!platform::readAt(in.fd, at, h, 30)) throw EZipFront(DS_LOHBadRead);
            if (GetLE32(h) != kLocalSig) throw EZipFront(DS_LOHWrongSig);
            const int64_t nameLen = GetLE16(h + 26), extraLen = GetLE16(h + 28);
            std::vector<uint8_t> head(static_cast<size_t>(30 + nameLen + extraLen));
            std::memcpy(head.data(), h, 30);
            if (!platform::readAt(in.fd, at + 30, head.data() + 30, nameLen)) throw EZipFront(DS_LONameLen);
            if (!platform::readAt(in.fd, at + 30 + nameLen, head.data() + 30 + nameLen, extraLen))
                throw EZipFront(DS_LOExtraLen);
            const std::string name(reinterpret_cast<const char*>(head.data() + 30),
                                   static_cast<size_t>(nameLen));
            int64_t dataAt = at + 30 + nameLen + extraLen;
            const int64_t csize = src[i].csize;
            if (dataAt + csize > limit) throw EZipFront(DS_ZipData);
            int64_t desc = 0;
            if (GetLE16(h + 6) & 8) {
                uint8_t d[4];
                if (!platform::readAt(in.fd, dataAt + csize, d, 4)) throw EZipFront(DS_DataDesc);
                desc = GetLE32(d) == kSpanSig ? 16 : 12;
                if (dataAt + csize + desc > limit) throw EZipFront(DS_DataDesc);
            }
            if (auto hnd = OnMessage) hnd(*this, 0, ZipLoadStr(GE_CopyFile) + name);
            Progress(ptNewFile, name, csize + nameLen + extraLen + 30 + (desc ? 16 : 0));
            sp.ensureRoom(static_cast<int64_t>(head.size()));
            rows[at] = {sp.disk(), sp.written()};
            sp.write(head.data(), static_cast<int64_t>(head.size()), static_cast<int64_t>(head.size()));
            std::vector<uint8_t> buf(1 << 16);
            for (int64_t left = csize + desc; left > 0;) {
                const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buf.size()));
                if (!platform::readAt(in.fd, dataAt, buf.data(), n)) throw EZipFront(DS_ZipData);
                sp.write(buf.data(), n, 0);
                dataAt += n;
                left -= n;
            }
        }
        sp.copyProgress = false;
        if (auto hnd = OnMessage) hnd(*this, 0, ZipLoadStr(GE_CopyFile) + ZipLoadStr(DS_CopyCentral));
        Progress(ptNewFile, ZipLoadStr(DS_CopyCentral), FCentralSize + commentLen + 22);
        int cdDisk = -1;
        int64_t cdOffset = 0, cdSize = 0;
        int onLast = 0;
        std::vector<uint8_t> rec;
        walkCentral(file.fetch(), static_cast<uint64_t>(cdStart), FTotalEntries,
                    [&](const pvcommon::zip::ZipCentralRecord& r, pvcommon::Bytes raw) {
                        rec.assign(raw.begin(), raw.end());
                        const auto len = static_cast<int64_t>(rec.size());
                        auto row = rows.find(static_cast<int64_t>(r.header.localOffset) + shift);
                        if (row == rows.end()) throw EZipFront(DS_LOHNotFound);
                        PutLE16(rec.data() + 34, static_cast<uint32_t>(row->second.disk));
                        PutLE32(rec.data() + 42, static_cast<uint32_t>(row->second.offset));
                        const int before = sp.disk();
                        sp.ensureRoom(len);
                        if (sp.disk() != before) onLast = 0;
                        if (cdDisk < 0) {
                            cdDisk = sp.disk();
                            cdOffset = sp.written();
                        }
                        sp.write(rec.data(), len, len);
                        ++onLast;
                        cdSize += len;
                    });
        std::vector<uint8_t> end(static_cast<size_t>(22 + commentLen));
        if (!platform::readAt(in.fd, FEOCOffset, end.data(), 22)) throw EZipFront(DS_EOCBadRead);
        if (!platform::readAt(in.fd, FEOCOffset + 22, end.data() + 22, commentLen))
            throw EZipFront(DS_ECommentLen);
        const int before = sp.disk();
        sp.ensureRoom(static_cast<int64_t>(end.size()));
        if (sp.disk() != before) onLast = 0;
        if (cdDisk < 0) {
            cdDisk = sp.disk();
            cdOffset = sp.written();
        }
        if (sp.disk() > 0xFFFF || cdOffset > 0xFFFFFFFFll || cdSize > 0xFFFFFFFFll)
            throw EZipFront(DS_EOCBadWrite);
        PutLE16(end.data() + 4, static_cast<uint32_t>(sp.disk()));
        PutLE16(end.data() + 6, static_cast<uint32_t>(cdDisk));
        PutLE16(end.data() + 8, static_cast<uint32_t>(onLast));
        PutLE32(end.data() + 12, static_cast<uint32_t>(cdSize));
        PutLE32(end.data() + 16, static_cast<uint32_t>(cdOffset));
        sp.write(end.data(), static_cast<int64_t>(end.size()), static_cast<int64_t>(end.size()));
        if (!sp.commitParts()) throw EZipFront(DS_NoWrite);
    } catch (...) {
        result = ReportRunFailure();
    }
    Progress(ptEndOfBatch, {}, 0);
    sp.closeOut();
    FZipBusy = false;
    return result;
}

// ---- ReadSpan ----

int TZipFront::ReadSpan(const std::string& inFile, std::string& outFile) {
    int result = 0;
    FUnzBusy = true;
    ZipSpanner sp(*this, inFile);
    // The joined file: a named one is written beside its target and renamed into place at
    // the end; without a name, a new temporary file is the output.
    std::string target;
    std::unique_ptr<OutputFile> named;
    FileHandle tempOut;
    int out = -1;
    bool tempMade = false;
    try {
        const bool onlyFolder = outFile.empty() || outFile.back() == '/' || platform::dirExists(outFile);
        if (onlyFolder) {
            const std::string savedTemp = TempDir;
            if (!outFile.empty()) TempDir = outFile;
            target = MakeTempFileName();
            TempDir = savedTemp;
            if (target.empty()) throw EZipFront(DS_NoTempFile);
            tempMade = true;
            tempOut.reset(platform::openFile(target, platform::OpenMode::Create));
            out = tempOut.fd;
        } else {
            target = outFile.substr(0, extensionAt(outFile)) + ".zip";
            named = std::make_unique<OutputFile>(target, "join");
            out = named->ok() ? named->fd() : -1;
        }
        if (out < 0) throw EZipFront(DS_NoOutFile);
        sp.openLast();
        const int64_t commentLen = FLogicalSize - FEOCOffset - 22;
        std::vector<uint8_t> end(static_cast<size_t>(22 + commentLen));
        const int lastDisk = sp.disk();
        {
            // The end record and comment, from the last disk.
            sp.openDisk(lastDisk, FEOCOffset);
            sp.read(end.data(), static_cast<int64_t>(end.size()), DS_ECommentLen);
        }
        const auto times = platform::fileTimes(platform::fileExists(inFile) ? inFile : std::string());
        const int64_t inDate = times ? times->lastWrite : 0;
        if (FZip64End) refuseZip64();
        const auto total = static_cast<uint32_t>(FTotalEntries);
        if (FCentralDiskNr > lastDisk) throw EZipFront(DS_EOCBadRead);
        struct Row {
            std::vector<uint8_t> central;
            int disk;
            int64_t local, csize, newOffset = 0;
        };
        std::vector<Row> rows;
        int64_t totalSize = 0;
        const std::vector<uint8_t> dir = sp.readDirectory(FCentralDiskNr, FCentralOffsetStored, FCentralSize);
        walkCentral(memoryFetch(dir, 0), 0, total,
                    [&](const pvcommon::zip::ZipCentralRecord& r, pvcommon::Bytes raw) {
                        if (r.zip64) refuseZip64();
                        Row row;
                        row.central.assign(raw.begin(), raw.end());
                        row.disk = static_cast<int>(r.header.diskNumber);
                        row.local = static_cast<int64_t>(r.header.localOffset);
                        row.csize = static_cast<int64_t>(r.header.packedSize);
                        if (row.disk > lastDisk) throw EZipFront(DS_LOHNotFound);
                        totalSize += static_cast<int64_t>(r.header.variableLength()) + row.csize;
                        rows.push_back(std::move(row));
                    });
        std::vector<size_t> order(rows.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return std::tie(rows[a].disk, rows[a].local) < std::tie(rows[b].disk, rows[b].local);
        });
        for (size_t i = 1; i < order.size(); ++i)
            if (rows[order[i]].disk == rows[order[i - 1]].disk &&
                rows[order[i]].local == rows[order[i - 1]].local)
                throw EZipFront(DS_LOHNotFound);
        sp.openDisk(0, 0);
        sp.copyProgress = true;
        Progress(ptTotalFiles, {}, total);
        Progress(ptTotalSize, {}, totalSize);
        uint8_t sig[4];
        sp.read(sig, 4, DS_EXTWrongSig);
        if (GetLE32(sig) != kSpanSig) throw EZipFront(DS_EXTWrongSig);
        int64_t outPos = 0;
        for (size_t idx : order) {
            Row& r = rows[idx];
            sp.openDisk(r.disk, r.local);
            uint8_t h[30];
            sp.read(h, 30, DS_LOHBadRead);
            if (GetLE32(h) != kLocalSig) throw EZipFront(DS_LOHWrongSig);
            const int64_t nameLen = GetLE16(h + 26), extraLen = GetLE16(h + 28);
            std::string name(static_cast<size_t>(nameLen), '\0');
            sp.read(name.data(), nameLen, DS_LONameLen);
            r.newOffset = outPos;
            if (auto hnd = OnMessage) hnd(*this, 0, ZipLoadStr(GE_CopyFile) + name);
            const int64_t csize = GetLE32(h + 18) ? GetLE32(h + 18) : r.csize;
            Progress(ptNewFile, name, csize + nameLen + extraLen + 30);
            if (platform::writeFile(out, h, 30) != 30 ||
                platform::writeFile(out, name.data(), nameLen) != nameLen)
                throw EZipFront(DS_LOHBadWrite);
            sp.copyTo(out, extraLen, DS_LOExtraLen);
            sp.copyTo(out, csize, DS_ZipData);
            outPos += 30 + nameLen + extraLen + csize;
            if (GetLE16(h + 6) & 8) {
                uint8_t d[16];
                sp.read(d, 12, DS_DataDesc);
                int64_t n = 12;
                if (GetLE32(d) == kSpanSig) {
                    sp.read(d + 12, 4, DS_DataDesc);
                    n = 16;
                }
                if (platform::writeFile(out, d, n) != n) throw EZipFront(DS_DataDesc);
                outPos += n;
            }
            Progress(ptProgress, {}, csize);
        }
        sp.copyProgress = false;
        const int64_t cdOffset = outPos;
        int64_t cdSize = 0;
        for (Row& r : rows) {
            PutLE16(r.central.data() + 34, 0);
            if (r.newOffset > 0xFFFFFFFFll) throw EZipFront(DS_CEHBadWrite);
            PutLE32(r.central.data() + 42, static_cast<uint32_t>(r.newOffset));
            const auto len = static_cast<int64_t>(r.central.size());
            if (platform::writeFile(out, r.central.data(), len) != len) throw EZipFront(DS_CEHBadWrite);
            cdSize += len;
        }
        if (cdOffset > 0xFFFFFFFFll || cdSize > 0xFFFFFFFFll) throw EZipFront(DS_EOCBadWrite);
        PutLE16(end.data() + 4, 0);
        PutLE16(end.data() + 6, 0);
        PutLE16(end.data() + 8, total);
        PutLE16(end.data() + 10, total);
        PutLE32(end.data() + 12, static_cast<uint32_t>(cdSize));
        PutLE32(end.data() + 16, static_cast<uint32_t>(cdOffset));
        const auto endLen = static_cast<int64_t>(end.size());
        if (platform::writeFile(out, end.data(), endLen) != endLen) throw EZipFront(DS_EOCBadWrite);
        if (named) {
            if (!named->commit(-1, inDate)) throw EZipFront(DS_NoWrite);
        } else {
            tempOut.reset();
            if (inDate > 0) platform::setFileTimes(target, inDate, inDate);
        }
        outFile = target;
    } catch (...) {
        result = ReportRunFailure();
    }
    Progress(ptEndOfBatch, {}, 0);
    if (result != 0) {
        tempOut.reset();
        if (tempMade) platform::removeFile(target);
        outFile.clear();
    }
    FUnzBusy = false;
    return result;
}
