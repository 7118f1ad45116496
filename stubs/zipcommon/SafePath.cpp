#include "stubs/zipcommon/SafePath.h"

#include <sys/stat.h>

#include <cctype>
#include <vector>

namespace zipstub {

std::optional<std::string> safeRelativePath(const std::string& name) {
    if (name.find('\0') != std::string::npos) return std::nullopt; // the system would cut the name there
    std::vector<std::string> parts;
    std::string cur;
    auto flush = [&]() -> bool {
        if (cur == "..") return false;
        if (!cur.empty() && cur != ".") parts.push_back(cur);
        cur.clear();
        return true;
    };
    size_t i = 0;
    if (name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':') i = 2;
    for (; i < name.size(); ++i) {
        char c = name[i];
        if (c == '/' || c == '\\') {
            if (!flush()) return std::nullopt;
        } else {
            cur += c;
        }
    }
    if (!flush() || parts.empty()) return std::nullopt;
    std::string out;
    for (auto& p : parts) out += (out.empty() ? "" : "/") + p;
    return out;
}

bool makeSafeParents(const std::string& base, const std::string& rel, std::string& why) {
    std::string path = base;
    size_t start = 0;
    for (;;) {
        size_t slash = rel.find('/', start);
        if (slash == std::string::npos) return true;
        path += "/" + rel.substr(start, slash - start);
        struct stat st {};
        if (lstat(path.c_str(), &st) == 0) {
            if (S_ISLNK(st.st_mode)) {
                why = "refusing to write through the symbolic link " + path;
                return false;
            }
            if (!S_ISDIR(st.st_mode)) {
                why = path + " exists and is not a folder";
                return false;
            }
        } else if (mkdir(path.c_str(), 0777) != 0) {
            why = "cannot create the folder " + path;
            return false;
        }
        start = slash + 1;
    }
}

} // namespace zipstub
