// Re-writing the open zip archive as a spanned set: the road the span dialog and the add
// command share.
#include <cerrno>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

#include "app/core/MainCore.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"
#include "platform/volumes.h"

namespace {

// Where a part number goes: before the extension of the file-name part.
size_t extensionAt(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    return dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1
               ? path.size()
               : dot;
}

// Moves `from` to a name beside it that no file has: "<stem>.tmp", then "<stem>~1.tmp", ...
// A hard link never replaces anything, so an existing file of that name stays untouched.
// "" when the archive could not be moved.
std::string moveAside(const std::string& from) {
    const std::string stem = from.substr(0, extensionAt(from));
    for (int n = 0; n < 1000; ++n) {
        const std::string to = stem + (n == 0 ? std::string() : "~" + std::to_string(n)) + ".tmp";
        if (::link(from.c_str(), to.c_str()) == 0) {
            if (::unlink(from.c_str()) == 0) return to;
            ::unlink(to.c_str());
            return {};
        }
        if (errno == EEXIST) continue;
        // A file system without hard links: a checked rename, the name was free a moment ago.
        if (errno == EPERM || errno == EOPNOTSUPP || errno == EXDEV) {
            if (platform::pathExists(to)) continue;
            return platform::renameFile(from, to) ? to : std::string();
        }
        return {};
    }
    return {};
}

struct Stamp {
    int64_t size = -1;
    int64_t mtimeNs = 0;
    bool operator==(const Stamp& o) const { return size == o.size && mtimeNs == o.mtimeNs; }
};

Stamp stampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return {int64_t(st.st_size), int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

} // namespace

std::string TMainCore::SpanPartName(const std::string& archive, int number) {
    std::string digits = std::to_string(number);
    if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
    const size_t ext = extensionAt(archive);
    return archive.substr(0, ext) + digits + archive.substr(ext);
}

TMainCore::TSpanResult TMainCore::GoUserSpan() {
    // One request, one rewrite: whatever happens below, no span stays pending for the next add.
    FSpanExisting = false;
    if (FHandlerKind != hkZipFront || !FZip || FArchiveFile.empty() || FSpanSizeKB <= 0) return srNotWritten;
    const std::string archive = FArchiveFile;
    const int64_t volumeBytes = int64_t(FSpanSizeKB) * 1024;
    const bool removable = platform::emulatedDriveFor(archive).has_value();

    // Parts left by an earlier set must not pass for parts of this one.
    std::map<int, Stamp> before;
    if (!removable)
        for (int n = 1; n <= 999 && platform::pathExists(SpanPartName(archive, n)); ++n)
            before[n] = stampOf(SpanPartName(archive, n));

    const std::string temp = moveAside(archive);
    if (temp.empty()) {
        platform::messageBox("Error", "Error renaming file.", platform::MsgType::Error, platform::mbOK);
        return srNotMoved;
    }
    FZip->SetMaxVolumeSize(volumeBytes);
    int result = -1;
    try {
        result = FZip->WriteSpan(temp, archive);
    } catch (const std::exception&) {
        result = -1;
    }

    std::string last;
    if (result == 0) {
        if (removable) {
            // Every disk holds the archive's own name; the last one is in the drive.
            if (platform::fileExists(archive)) last = archive;
        } else {
            for (int n = 1; n <= 999; ++n) {
                const std::string part = SpanPartName(archive, n);
                if (!platform::fileExists(part)) break;
                auto old = before.find(n);
                if (old != before.end() && old->second == stampOf(part)) break;
                last = part;
            }
        }
    }
    if (last.empty()) {
        // Nothing usable was written: the archive comes back under its own name, open (a
        // part a removable disk holds under that name gives way to it).
        platform::renameFile(temp, archive);
        CloseArchive();
        OpenArchive(archive);
        return srNotWritten;
    }
    CloseArchive();
    OpenArchive(last);
    platform::removeFile(temp);
    FSpanExisting = false;
    return srDone;
}
