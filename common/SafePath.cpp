#include "common/SafePath.h"

#include <sys/stat.h>

#include <cctype>

namespace pvcommon {

std::optional<std::string> SafeRelativePath(std::string_view stored) {
    auto isSep = [](char c) { return c == '/' || c == '\\'; };
    std::string_view s = stored;
    // A drive prefix ("C:" with or without a separator after it) never names a place here.
    if (s.size() >= 2 && s[1] == ':' && std::isalpha(static_cast<unsigned char>(s[0]))) s.remove_prefix(2);
    std::string out;
    size_t i = 0;
    while (i <= s.size()) {
        size_t j = i;
        while (j < s.size() && !isSep(s[j])) ++j;
        const std::string_view part = s.substr(i, j - i);
        if (part == "..") return std::nullopt;
        if (!part.empty() && part != ".") {
            if (!out.empty()) out += '/';
            out += part;
        }
        i = j + 1;
    }
    return out;
}

bool MakeSafeParents(const std::string& base, const std::string& rel, std::string& why) {
    std::string path = base;
    size_t start = 0;
    for (;;) {
        const size_t slash = rel.find('/', start);
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

} // namespace pvcommon
