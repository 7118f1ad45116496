#include "platform/dynlib.h"

#include <dirent.h>
#include <dlfcn.h>
#include <strings.h>
#include <unistd.h>

#include <climits>

namespace platform {

std::string programDir() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) return ".";
    std::string p(buf, static_cast<size_t>(n));
    auto slash = p.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : p.substr(0, slash));
}

std::string programLibDir() {
    return programDir() + "/../lib";
}

std::string findFileNoCase(const std::string& folder, const std::string& fileName) {
    if (folder.empty() || fileName.empty() || fileName.find('/') != std::string::npos) return {};
    std::string base = folder.back() == '/' ? folder : folder + "/";
    if (access((base + fileName).c_str(), F_OK) == 0) return base + fileName;
    DIR* d = opendir(folder.c_str());
    if (!d) return {};
    std::string found;
    while (dirent* e = readdir(d)) {
        if (strcasecmp(e->d_name, fileName.c_str()) == 0) {
            found = base + e->d_name;
            break;
        }
    }
    closedir(d);
    return found;
}

std::vector<std::string> librarySearchPath(const std::string& firstDir) {
    std::vector<std::string> dirs;
    if (!firstDir.empty()) dirs.push_back(firstDir);
    dirs.push_back(programDir());
    dirs.push_back(programLibDir());
    return dirs;
}

bool DynLib::load(const std::string& fileName, const std::string& firstDir) {
    unload();
    error_.clear();
    for (const auto& dir : librarySearchPath(firstDir)) {
        std::string p = findFileNoCase(dir, fileName);
        if (p.empty()) continue;
        handle_ = dlopen(p.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_) {
            path_ = p;
            return true;
        }
        const char* why = dlerror();
        error_ = why ? why : ("cannot load " + p);
        return false;
    }
    error_ = fileName + " not found";
    return false;
}

void DynLib::unload() {
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
    path_.clear();
}

void* DynLib::symbol(const char* name) const {
    return handle_ ? dlsym(handle_, name) : nullptr;
}

} // namespace platform
