#include "platform/rename.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool renameNoReplace(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty()) {
        errno = EINVAL;
        return false;
    }
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
#endif
    if (::link(from.c_str(), to.c_str()) == 0) {
        if (::unlink(from.c_str()) == 0) return true;
        const int e = errno;
        ::unlink(to.c_str());
        errno = e;
        return false;
    }
    if (errno == EEXIST) return false;
    // A folder cannot be linked: the checked rename is all there is for it.
    struct stat st {};
    if (::stat(from.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        struct stat other {};
        if (::lstat(to.c_str(), &other) == 0) {
            errno = EEXIST;
            return false;
        }
        return ::rename(from.c_str(), to.c_str()) == 0;
    }
    return false;
}

} // namespace platform
