// PendingFile: outputs that show up under their name only when complete, and that a killed
// process leaves nothing of. See platform/fileio.h.
#include "platform/fileio.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <iterator>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// ---- named stand-ins removed on a terminating signal ----
// A fixed table that the handler can walk without locks or allocation: a slot is taken
// (state 1) while its path is copied in, and only a slot in state 2 is removed.
// Initialised at compile time (zero pages the program never touches until a slot is used),
// not by a loop over half a megabyte at every start.
constexpr int kSlots = 128;
struct Slot {
    std::atomic<int> state{0};
    bool tree = false; // a folder, removed with everything in it
    char path[PATH_MAX]{};
};
constinit Slot gSlots[kSlots];
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
struct sigaction gPrevious[std::size(kSignals)];

// The entries getdents64 gives (the kernel's layout).
struct LinuxDirent64 {
    uint64_t ino;
    int64_t off;
    unsigned short reclen;
    unsigned char type;
    char name[1];
};

// Removes the folder `name` under the open folder `parent` with everything in it, using only
// calls that are safe in a signal handler (no allocation, no stdio). Links are removed as
// links, never followed.
void RemoveTreeAt(int parent, const char* name, int depth) {
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    alignas(8) char buf[2048];
    // Entries removed while the folder is read may hide others: read again from the start
    // until a pass removes nothing.
    for (int pass = 0; pass < 64; ++pass) {
        bool removed = false;
        ::lseek(fd, 0, SEEK_SET);
        for (;;) {
            const long n = ::syscall(SYS_getdents64, fd, buf, sizeof buf);
            if (n <= 0) break;
            for (long at = 0; at < n;) {
                const auto* e = reinterpret_cast<const LinuxDirent64*>(buf + at);
                at += e->reclen;
                if (e->name[0] == '.' && (e->name[1] == 0 || (e->name[1] == '.' && e->name[2] == 0)))
                    continue;
                if (::unlinkat(fd, e->name, 0) == 0) {
                    removed = true;
                } else if ((errno == EISDIR || errno == EPERM) && depth < 32) {
                    RemoveTreeAt(fd, e->name, depth + 1);
                    removed = true;
                }
            }
        }
        if (!removed) break;
    }
    ::close(fd);
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

extern "C" void RemovePendingOnSignal(int sig) {
    const int saved = errno;
    for (Slot& s : gSlots) {
        if (s.state.load() != 2) continue;
        if (s.tree)
            RemoveTreeAt(AT_FDCWD, s.path, 0);
        else
            ::unlink(s.path);
    }
    // The disposition the program had before takes over: its own handler, or the default,
    // which ends the process by this signal.
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        if (kSignals[i] == sig) ::sigaction(sig, &gPrevious[i], nullptr);
    errno = saved;
    ::raise(sig);
}

void InstallHandlers() {
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        struct sigaction current {};
        if (::sigaction(kSignals[i], nullptr, &current) != 0) continue;
        gPrevious[i] = current;
        // A signal the program ignores stays ignored: it ends nothing.
        if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN) continue;
        struct sigaction sa {};
        sa.sa_handler = RemovePendingOnSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(kSignals[i], &sa, nullptr);
    }
}

void EnsureHandlers() {
    static std::once_flag once;
    std::call_once(once, InstallHandlers);
}

// Holds the terminating signals back while a named file is made and put on the list, so
// that there is no moment where it exists but is not listed; one that came meanwhile is
// delivered when they are let through again, and finds the file listed.
class SignalsHeld {
public:
    SignalsHeld() {
        EnsureHandlers();
        sigset_t set;
        sigemptyset(&set);
        for (const int sig : kSignals) sigaddset(&set, sig);
        ::pthread_sigmask(SIG_BLOCK, &set, &old_);
    }
    ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t old_;
};

int RegisterPath(const std::string& given, bool tree = false) {
    EnsureHandlers();
    // The handler must find it whatever the current folder is by then.
    const std::string path = given.empty() || given[0] == '/' ? given : currentDir() + "/" + given;
    if (path.size() >= PATH_MAX) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = 0;
        if (!gSlots[i].state.compare_exchange_strong(expected, 1)) continue;
        gSlots[i].tree = tree;
        std::memcpy(gSlots[i].path, path.c_str(), path.size() + 1);
        gSlots[i].state.store(2);
        return i;
    }
    return -1; // a full table: the file is still removed on every ordinary way out
}

void UnregisterPath(int slot) {
    if (slot >= 0 && slot < kSlots) gSlots[slot].state.store(0);
}

// ---- files without a name ----

std::atomic<bool> gUnnamedAllowed{true};

bool ProcFdUsable() {
    static const bool usable = ::access("/proc/self/fd", X_OK) == 0;
    return usable;
}

std::string ProcPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A name that is unlikely to exist yet; the callers retry on EEXIST.
std::string UniqueName(const std::string& dir, const std::string& prefix, const std::string& suffix) {
    static std::atomic<unsigned> counter{0};
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t v = (static_cast<uint64_t>(ts.tv_nsec) << 20) ^ (static_cast<uint64_t>(::getpid()) << 8) ^
                 counter.fetch_add(1) * 0x9E3779B97F4A7C15ull;
    std::string tag;
    for (int i = 0; i < 6; ++i, v /= 36) tag += digits[v % 36];
    return (dir.empty() || dir.back() == '/' ? dir : dir + "/") + prefix + tag + suffix;
}

} // namespace

int removeOnTerminatingSignal(const std::string& path) {
    return RegisterPath(path);
}

TempFile makeTempFileRemovedOnSignal(const std::string& dir, const std::string& prefix,
                                     const std::string& suffix, int& ticket) {
    SignalsHeld held;
    TempFile t = makeTempFile(dir, prefix, suffix);
    ticket = t.fd >= 0 ? RegisterPath(t.path) : -1;
    return t;
}

std::string makeTempDirRemovedOnSignal(const std::string& dir, const std::string& prefix, int& ticket) {
    SignalsHeld held;
    std::string made = makeTempDir(dir, prefix);
    ticket = made.empty() ? -1 : RegisterPath(made, true);
    return made;
}

void forgetOnTerminatingSignal(int ticket) {
    UnregisterPath(ticket);
}

void allowUnnamedPendingFiles(bool allow) {
    gUnnamedAllowed.store(allow);
}

PendingFile::~PendingFile() {
    discard();
}

PendingFile::PendingFile(PendingFile&& o) noexcept {
    *this = std::move(o);
}

PendingFile& PendingFile::operator=(PendingFile&& o) noexcept {
    if (this != &o) {
        discard();
        fd_ = o.fd_;
        anonymous_ = o.anonymous_;
        dir_ = std::move(o.dir_);
        prefix_ = std::move(o.prefix_);
        suffix_ = std::move(o.suffix_);
        path_ = std::move(o.path_);
        slot_ = o.slot_;
        o.fd_ = kInvalidHandle;
        o.slot_ = -1;
        o.path_.clear();
        o.anonymous_ = false;
    }
    return *this;
}

bool PendingFile::create(const std::string& dir, const std::string& prefix, const std::string& suffix) {
    discard();
    dir_ = dir.empty() ? std::string(".") : dir;
    prefix_ = prefix;
    suffix_ = suffix;
    if (gUnnamedAllowed.load() && ProcFdUsable()) {
        int fd;
        do fd = ::open(dir_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            fd_ = fd;
            anonymous_ = true;
            return true;
        }
        // Only a file system (or kernel) without unnamed files falls back to a name;
        // any other failure is the caller's to report.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
    }
    std::string templ = (dir_.back() == '/' ? dir_ : dir_ + "/") + tempNameStem(prefix) + suffix;
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    SignalsHeld held;
    const int fd = ::mkostemps(buf.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
    if (fd < 0) return false;
    fd_ = fd;
    anonymous_ = false;
    path_ = buf.data();
    slot_ = RegisterPath(path_);
    return true;
}

std::string PendingFile::reopenPath() const {
    if (fd_ < 0) return {};
    return anonymous_ ? ProcPath(fd_) : path_;
}

bool PendingFile::commit(const std::string& target) {
    if (fd_ < 0) {
        errno = EBADF;
        return false;
    }
    bool ok = false;
    if (anonymous_) {
        const std::string proc = ProcPath(fd_);
        if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            ok = true;
        } else if (errno == EEXIST) {
            // Something is at the target already: the file gets a name of its own beside
            // it (removed on a terminating signal like any named stand-in) and is renamed
            // over it, which replaces a file or a link and never follows one.
            for (int tries = 0; tries < 100 && !ok; ++tries) {
                const std::string name = UniqueName(FolderOf(target), prefix_, suffix_);
                const int slot = RegisterPath(name);
                if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
                    const int e = errno;
                    UnregisterPath(slot);
                    if (e == EEXIST) continue;
                    errno = e;
                    break;
                }
                if (::rename(name.c_str(), target.c_str()) == 0) {
                    ok = true;
                } else {
                    const int e = errno;
                    ::unlink(name.c_str());
                    errno = e;
                }
                UnregisterPath(slot);
                break;
            }
        }
    } else {
        ok = ::rename(path_.c_str(), target.c_str()) == 0;
        if (ok) {
            UnregisterPath(slot_);
            slot_ = -1;
            path_.clear();
        }
    }
    const int e = errno;
    if (ok) {
        ::close(fd_);
        fd_ = kInvalidHandle;
        anonymous_ = false;
    } else {
        discard();
    }
    errno = e;
    return ok;
}

void PendingFile::discard() {
    const int e = errno;
    if (fd_ >= 0) ::close(fd_);
    fd_ = kInvalidHandle;
    if (!path_.empty()) ::unlink(path_.c_str());
    UnregisterPath(slot_);
    slot_ = -1;
    path_.clear();
    anonymous_ = false;
    errno = e;
}

} // namespace platform
