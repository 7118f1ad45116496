// POSIX file I/O behind the engine's file layer. Everything retries on EINTR and loops
// over short transfers, so callers see a short read only at the end of a file.
#include "platform/fileio.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace platform {

namespace {

int openFlags(OpenMode mode) {
    switch (mode) {
    case OpenMode::Read:
    case OpenMode::Query:
        return O_RDONLY;
    case OpenMode::ReadWrite:
        return O_RDWR;
    case OpenMode::Create:
        return O_WRONLY | O_CREAT | O_TRUNC;
    case OpenMode::CreateNew:
        return O_WRONLY | O_CREAT | O_EXCL;
    case OpenMode::OpenAlways:
        return O_RDWR | O_CREAT;
    case OpenMode::CreateReadWrite:
        return O_RDWR | O_CREAT | O_TRUNC;
    case OpenMode::CreateNewReadWrite:
        return O_RDWR | O_CREAT | O_EXCL;
    }
    return O_RDONLY;
}

// A chunk that fits ssize_t on every platform.
constexpr int64_t kMaxChunk = int64_t{1} << 30;

int64_t birthTime(int fd, const char* path, const struct stat& st) {
#ifdef STATX_BTIME
    struct statx sx {};
    const int r =
        path ? statx(AT_FDCWD, path, 0, STATX_BTIME, &sx) : statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &sx);
    if (r == 0 && (sx.stx_mask & STATX_BTIME)) return sx.stx_btime.tv_sec;
#else
    (void)fd;
    (void)path;
#endif
    return st.st_ctime;
}

FileTimes timesOf(int fd, const char* path, const struct stat& st) {
    FileTimes t;
    t.lastWrite = st.st_mtime;
    t.lastAccess = st.st_atime;
    t.creation = birthTime(fd, path, st);
    return t;
}

bool startsWithDot(const std::string& path) {
    auto slash = path.find_last_of('/');
    std::string_view name =
        slash == std::string::npos ? std::string_view(path) : std::string_view(path).substr(slash + 1);
    return !name.empty() && name[0] == '.' && name != "." && name != "..";
}

uint32_t attrsFromStat(const struct stat& st, bool hidden) {
    uint32_t a = 0;
    if (S_ISDIR(st.st_mode))
        a |= faDirectory;
    else
        a |= faArchive;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) a |= faReadOnly;
    if (hidden) a |= faHidden;
    return a;
}

std::string dirOrTemp(const std::string& dir) {
    std::string d = dir.empty() ? systemTempDir() : dir;
    if (d.empty() || d.back() != '/') d += '/';
    return d;
}

} // namespace

int openFile(const std::string& path, OpenMode mode) {
    if (path.empty()) {
        errno = ENOENT;
        return kInvalidHandle;
    }
    int fd;
    // Without blocking: opening a named pipe waits for a writer (or reader) that may never
    // come. What is opened is checked below, and only a plain file stays open.
    do fd = ::open(path.c_str(), openFlags(mode) | O_CLOEXEC | O_NONBLOCK, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return kInvalidHandle;
    struct stat st {};
    const bool statted = ::fstat(fd, &st) == 0;
    if (!statted || !S_ISREG(st.st_mode)) {
        // A folder opens read-only on Linux, and a pipe, socket or device would be read or
        // written as a stream that never ends or blocks: none of them is a file here.
        const int e = !statted ? errno : S_ISDIR(st.st_mode) ? EISDIR : ENOTSUP;
        ::close(fd);
        errno = e;
        return kInvalidHandle;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

bool closeFile(int fd) {
    if (fd < 0) return false;
    // close() must not be retried on EINTR on Linux: the descriptor is gone either way.
    return ::close(fd) == 0 || errno == EINTR;
}

int64_t readFile(int fd, void* buf, int64_t count) {
    if (fd < 0 || count < 0) return -1;
    auto* p = static_cast<char*>(buf);
    int64_t done = 0;
    while (done < count) {
        const auto want = static_cast<size_t>(std::min(count - done, kMaxChunk));
        const ssize_t n = ::read(fd, p + done, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += n;
    }
    return done;
}

int64_t writeFile(int fd, const void* buf, int64_t count) {
    if (fd < 0 || count < 0) return -1;
    auto* p = static_cast<const char*>(buf);
    int64_t done = 0;
    while (done < count) {
        const auto want = static_cast<size_t>(std::min(count - done, kMaxChunk));
        const ssize_t n = ::write(fd, p + done, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (n == 0) break;
        done += n;
    }
    return done;
}

int64_t readUpToAt(int fd, int64_t offset, void* buf, int64_t count) {
    if (fd < 0 || offset < 0 || count < 0) return -1;
    auto* p = static_cast<char*>(buf);
    int64_t done = 0;
    while (done < count) {
        const auto want = static_cast<size_t>(std::min(count - done, kMaxChunk));
        const ssize_t n = ::pread(fd, p + done, want, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += n;
    }
    return done;
}

bool readAt(int fd, int64_t offset, void* buf, int64_t count) {
    if (fd < 0 || offset < 0 || count < 0) return false;
    auto* p = static_cast<char*>(buf);
    int64_t done = 0;
    while (done < count) {
        const auto want = static_cast<size_t>(std::min(count - done, kMaxChunk));
        const ssize_t n = ::pread(fd, p + done, want, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        done += n;
    }
    return true;
}

int64_t seekFile(int fd, int64_t distance, SeekFrom from) {
    if (fd < 0) return -1;
    const off_t r = ::lseek(fd, static_cast<off_t>(distance), static_cast<int>(from));
    return r < 0 ? -1 : static_cast<int64_t>(r);
}

int64_t filePosition(int fd) {
    return seekFile(fd, 0, SeekFrom::Current);
}

int64_t fileSize(int fd) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

int64_t fileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool truncateFile(int fd, int64_t size) {
    return fd >= 0 && size >= 0 && ::ftruncate(fd, size) == 0;
}
bool syncFile(int fd) {
    return fd >= 0 && ::fsync(fd) == 0;
}

std::optional<std::vector<uint8_t>> readWholeFile(const std::string& path) {
    const int fd = openFile(path, OpenMode::Read);
    if (fd < 0) return std::nullopt;
    std::vector<uint8_t> data;
    uint8_t chunk[65536];
    for (;;) {
        const int64_t n = readFile(fd, chunk, sizeof chunk);
        if (n < 0) {
            closeFile(fd);
            return std::nullopt;
        }
        data.insert(data.end(), chunk, chunk + n);
        if (n < static_cast<int64_t>(sizeof chunk)) break;
    }
    closeFile(fd);
    return data;
}

bool writeWholeFile(const std::string& path, const void* data, size_t size) {
    const int fd = openFile(path, OpenMode::Create);
    if (fd < 0) return false;
    const bool ok = writeFile(fd, data, static_cast<int64_t>(size)) == static_cast<int64_t>(size);
    return closeFile(fd) && ok;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool dirExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool pathExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

bool isSymlink(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool makeDir(const std::string& path) {
    if (path.empty()) return false;
    if (::mkdir(path.c_str(), 0777) == 0) return true;
    return errno == EEXIST && dirExists(path);
}

bool makeDirs(const std::string& path) {
    if (path.empty()) return false;
    if (dirExists(path)) return true;
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    const auto slash = p.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        if (!makeDirs(p.substr(0, slash))) return false;
    }
    return makeDir(p);
}

bool removeFile(const std::string& path) {
    return !path.empty() && ::unlink(path.c_str()) == 0;
}
bool removeDir(const std::string& path) {
    return !path.empty() && ::rmdir(path.c_str()) == 0;
}
bool renameFile(const std::string& from, const std::string& to) {
    return !from.empty() && !to.empty() && ::rename(from.c_str(), to.c_str()) == 0;
}

std::string currentDir() {
    std::string buf(PATH_MAX, '\0');
    if (!::getcwd(buf.data(), buf.size())) return {};
    buf.resize(std::strlen(buf.c_str()));
    return buf;
}

std::string homeDir() {
    if (const char* h = std::getenv("HOME"); h && *h) return h;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

namespace {
std::string xdgDir(const char* var, const char* fallback) {
    const char* v = std::getenv(var);
    return v && v[0] == '/' ? std::string(v) : homeDir() + fallback;
}
} // namespace

std::string xdgDataHome() {
    return xdgDir("XDG_DATA_HOME", "/.local/share");
}
std::string xdgConfigHome() {
    return xdgDir("XDG_CONFIG_HOME", "/.config");
}

std::optional<FileTimes> fileTimes(int fd) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) return std::nullopt;
    return timesOf(fd, nullptr, st);
}

std::optional<FileTimes> fileTimes(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
    return timesOf(-1, path.c_str(), st);
}

bool setFileTimes(const std::string& path, int64_t lastWrite, int64_t lastAccess) {
    timespec ts[2] = {{static_cast<time_t>(lastAccess), 0}, {static_cast<time_t>(lastWrite), 0}};
    return !path.empty() && ::utimensat(AT_FDCWD, path.c_str(), ts, 0) == 0;
}

bool setFileTimes(int fd, int64_t lastWrite, int64_t lastAccess) {
    timespec ts[2] = {{static_cast<time_t>(lastAccess), 0}, {static_cast<time_t>(lastWrite), 0}};
    return fd >= 0 && ::futimens(fd, ts) == 0;
}

uint32_t fileAttributes(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) return kInvalidAttributes;
    const bool hidden = startsWithDot(path);
    if (S_ISLNK(st.st_mode)) {
        struct stat target {};
        if (::stat(path.c_str(), &target) == 0) return attrsFromStat(target, hidden) | faSymLink;
        return faSymLink | faArchive | (hidden ? faHidden : 0u);
    }
    return attrsFromStat(st, hidden);
}

bool setFileAttributes(const std::string& path, uint32_t attrs) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
    mode_t mode = st.st_mode & 07777;
    if (attrs & faReadOnly) {
        mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
    } else if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        // Give write permission back the way the umask would have given it.
        const auto allowed = static_cast<mode_t>(newFileMode(S_IWGRP | S_IWOTH));
        mode |= static_cast<mode_t>(S_IWUSR | (allowed & ((mode & 044) >> 1)));
    }
    return ::chmod(path.c_str(), mode) == 0;
}

int fileMode(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return -1;
    return static_cast<int>(st.st_mode & 07777);
}

bool setFileMode(const std::string& path, int mode) {
    return !path.empty() && ::chmod(path.c_str(), static_cast<mode_t>(mode & 07777)) == 0;
}

bool setFileMode(int fd, int mode) {
    return fd >= 0 && ::fchmod(fd, static_cast<mode_t>(mode & 07777)) == 0;
}

int newFileMode(int requested) {
    // The umask can only be read by setting it; it is put back at once.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return requested & 07777 & ~static_cast<int>(mask);
}

std::string systemTempDir() {
    const char* t = std::getenv("TMPDIR");
    std::string dir = (t && *t && dirExists(t)) ? std::string(t) : std::string("/tmp");
    if (dir.back() != '/') dir += '/';
    return dir;
}

std::string tempNameStem(const std::string& prefix) {
    return prefix + std::to_string(::getpid()) + "-XXXXXX";
}

TempFile makeTempFile(const std::string& dir, const std::string& prefix, const std::string& suffix) {
    std::string templ = dirOrTemp(dir) + tempNameStem(prefix) + suffix;
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    const int fd = ::mkostemps(buf.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
    if (fd < 0) return {};
    return TempFile{std::string(buf.data()), fd};
}

std::string makeTempDir(const std::string& dir, const std::string& prefix) {
    std::string templ = dirOrTemp(dir) + tempNameStem(prefix);
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data())) return {};
    return std::string(buf.data());
}

namespace {

// Empties the open folder `fd` (which it closes), depth first; true when it is empty.
bool emptyFolderAt(int fd, int depth) {
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return false;
    }
    bool ok = true;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    for (const std::string& name : names) {
        if (::unlinkat(fd, name.c_str(), 0) == 0) continue;
        if (errno != EISDIR && errno != EPERM) {
            ok = ok && errno == ENOENT;
            continue;
        }
        // A folder: opened without following a link, emptied, then removed.
        const int sub =
            depth < 256 ? ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1;
        if (sub < 0 || !emptyFolderAt(sub, depth + 1) || ::unlinkat(fd, name.c_str(), AT_REMOVEDIR) != 0)
            ok = false;
    }
    ::closedir(d);
    return ok;
}

} // namespace

bool removeTree(const std::string& dir) {
    if (dir.empty()) return false;
    std::string path = dir;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    const bool emptied = emptyFolderAt(fd, 0);
    return ::rmdir(path.c_str()) == 0 && emptied;
}

namespace {

// The process id in a temporary's name "<prefix><pid>-XXXXXX<suffix>" made by tempNameStem, for
// the prefixes this program uses ("pv...", ".pv...", "ae"); 0 for any other name.
pid_t ownerOfTemporary(const std::string& name) {
    size_t i = name[0] == '.' ? 1 : 0;
    if (name.compare(i, 2, "pv") != 0 && name.compare(i, 2, "ae") != 0) return 0;
    while (i < name.size() && name[i] >= 'a' && name[i] <= 'z') ++i;
    const size_t digits = i;
    pid_t pid = 0;
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && i - digits < 10; ++i)
        pid = pid * 10 + (name[i] - '0');
    if (i == digits || i + 7 > name.size() || name[i] != '-') return 0;
    for (size_t k = i + 1; k < i + 7; ++k)
        if (!std::isalnum(static_cast<unsigned char>(name[k]))) return 0;
    if (i + 7 < name.size() && name[i + 7] != '.') return 0;
    return pid;
}

} // namespace

void removeStaleTemporaries(const std::string& dir) {
    const std::string folder = dir.empty() ? std::string(".") : dir;
    DIR* d = ::opendir(folder.c_str());
    if (!d) return;
    std::vector<std::string> stale;
    while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        const pid_t pid = ownerOfTemporary(name);
        // Only what a process of ours left that is no longer there: one that runs keeps its
        // temporaries, and another user's are none of our business.
        if (pid <= 0 || pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
        struct stat st {};
        if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_uid != ::geteuid())
            continue;
        stale.push_back(name);
    }
    ::closedir(d);
    const std::string base = folder.back() == '/' ? folder : folder + "/";
    for (const std::string& name : stale)
        if (!removeFile(base + name)) removeTree(base + name);
}

bool isSpecialFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa = {}, sb = {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::optional<std::vector<DirEntry>> listDir(const std::string& dir) {
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return std::nullopt;
    std::vector<DirEntry> out;
    const std::string base = dir.empty() ? std::string() : (dir.back() == '/' ? dir : dir + '/');
    while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        const std::string full = base + name;
        DirEntry de;
        de.name = name;
        de.attrs = fileAttributes(full);
        if (de.attrs == kInvalidAttributes) continue; // vanished meanwhile
        struct stat st {};
        if (::stat(full.c_str(), &st) == 0) {
            de.size = S_ISDIR(st.st_mode) ? 0 : static_cast<int64_t>(st.st_size);
            de.lastWrite = st.st_mtime;
            de.mode = static_cast<int>(st.st_mode & 07777);
        }
        out.push_back(std::move(de));
    }
    ::closedir(d);
    return out;
}

} // namespace platform
