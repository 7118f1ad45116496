// The freedesktop trash. An item is renamed into "<trash>/files/<name>" after its
// "<trash>/info/<name>.trashinfo" has been created exclusively, which is how the
// freedesktop trash layout reserves a name; nothing is ever copied, so an item that cannot be
// renamed (another file system without a usable trash) stays where it is.
#include "platform/trash.h"

#include "platform/fileio.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace platform {

namespace {

bool setError(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

// Percent-encodes a path for the Path= key (RFC 2396 escaping, '/' kept).
std::string urlEscape(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::strchr("/-_.~!*'()", c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string deletionDate() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    return buf;
}

dev_t deviceOf(const std::string& path, bool follow) {
    struct stat st {};
    const int r = follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    return r == 0 ? st.st_dev : static_cast<dev_t>(-1);
}

// The mount point of the file system holding `path` (the highest ancestor on its device).
std::string topDirOf(const std::string& path) {
    const dev_t dev = deviceOf(path, false);
    fs::path p = fs::path(path).parent_path();
    while (p.has_parent_path() && p != p.root_path()) {
        const fs::path up = p.parent_path();
        if (deviceOf(up.string(), true) != dev) break;
        p = up;
    }
    return p.string();
}

bool ensureTrashDirs(const std::string& trash) {
    return makeDirs(trash + "/files") && makeDirs(trash + "/info");
}

// $topdir/.Trash/$uid when .Trash is a real, sticky folder; else $topdir/.Trash-$uid.
std::string topDirTrash(const std::string& top) {
    const std::string uid = std::to_string(::getuid());
    const std::string shared = top + "/.Trash";
    struct stat st {};
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const std::string mine = shared + "/" + uid;
        if (ensureTrashDirs(mine)) return mine;
    }
    const std::string own = top + "/.Trash-" + uid;
    if (::mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) return {};
    if (::lstat(own.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return {};
    return ensureTrashDirs(own) ? own : std::string();
}

bool trashInto(const std::string& trash, const std::string& absPath, const std::string& infoPath,
               std::string* error) {
    if (!ensureTrashDirs(trash)) return setError(error, "cannot create the trash folder " + trash);
    const std::string base = fs::path(absPath).filename().string();
    for (int n = 1; n < 10000; ++n) {
        const std::string name = n == 1 ? base : base + "." + std::to_string(n);
        const std::string info = trash + "/info/" + name + ".trashinfo";
        const int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return setError(error, std::strerror(errno));
        }
        const std::string text =
            "[Trash Info]\nPath=" + urlEscape(infoPath) + "\nDeletionDate=" + deletionDate() + "\n";
        const bool written = writeFile(fd, text.data(), static_cast<int64_t>(text.size())) ==
                             static_cast<int64_t>(text.size());
        closeFile(fd);
        const std::string target = trash + "/files/" + name;
        if (written && !pathExists(target) && ::rename(absPath.c_str(), target.c_str()) == 0) return true;
        const int err = errno;
        removeFile(info);
        if (written && pathExists(target)) continue; // a stray file without info: next name
        return setError(error, written ? std::strerror(err) : "cannot write " + info);
    }
    return setError(error, "no free name in the trash");
}

} // namespace

std::string homeTrashDir() {
    return xdgDataHome() + "/Trash";
}

bool moveToTrash(const std::string& path, std::string* error) {
    if (path.empty() || !pathExists(path)) return setError(error, "no such file: " + path);
    std::error_code ec;
    const std::string abs = fs::absolute(path, ec).lexically_normal().string();
    if (ec) return setError(error, ec.message());
    const std::string home = homeTrashDir();
    // The home trash takes everything on its own file system.
    makeDirs(home);
    const dev_t homeDev = deviceOf(fs::path(home).string(), true);
    if (homeDev != static_cast<dev_t>(-1) && homeDev == deviceOf(abs, false))
        return trashInto(home, abs, abs, error);
    const std::string top = topDirOf(abs);
    const std::string trash = topDirTrash(top);
    if (trash.empty()) return setError(error, "no usable trash on the file system of " + abs);
    std::string rel = fs::path(abs).lexically_relative(top).string();
    return trashInto(trash, abs, rel, error);
}

} // namespace platform
