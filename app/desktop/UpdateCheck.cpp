#include "app/desktop/UpdateCheck.h"

#include <filesystem>
#include <vector>

#include "app/desktop/DesktopEntry.h"
#include "app/core/IniFile.h"
#include "platform/fileio.h"

namespace updatecheck {

TLinks DefaultLinks() {
    // ".invalid" never resolves: an unconfigured program asks no real server.
    TLinks l;
    l.update = "http://www.parvex.invalid/update.txt";
    l.homepage1 = "http://www.parvex.invalid/";
    l.homepage2 = "http://parvex2000.invalid/";
    l.forum = "http://www.parvex.invalid/forum/";
    l.email = "mailto:author@parvex.invalid";
    return l;
}

TLinks ReadLinks(TIniFile& ini) {
    TLinks l = DefaultLinks();
    auto read = [&ini](const char* key, std::string& value) {
        std::string v = ini.ReadString("Links", key, "");
        if (!v.empty()) value = v;
    };
    read("Update", l.update);
    read("Homepage1", l.homepage1);
    read("Homepage2", l.homepage2);
    read("Forum", l.forum);
    read("Email", l.email);
    return l;
}

TUpdateText ParseUpdateText(const std::string& body) {
    TUpdateText r;
    for (unsigned char c : body)
        if ((c < 0x20 && c != '\n' && c != '\r' && c != '\t') || c == 0x7f) return r;
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < body.size()) {
        size_t end = body.find('\n', start);
        std::string line = body.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if (lines.empty()) return r;
    std::string first = lines[0];
    // A text editor may put a byte-order mark before the number.
    if (first.rfind("\xEF\xBB\xBF", 0) == 0) first.erase(0, 3);
    const size_t b = first.find_first_not_of(" \t");
    const size_t e = first.find_last_not_of(" \t");
    if (b == std::string::npos) return r;
    first = first.substr(b, e - b + 1);
    if (first.size() > 9) return r;
    int v = 0;
    for (char c : first) {
        if (c < '0' || c > '9') return r;
        v = v * 10 + (c - '0');
    }
    r.ok = true;
    r.version = v;
    for (size_t i = 1; i < lines.size(); ++i) r.notes += lines[i] + "\n";
    return r;
}

std::string NotesFile(int version) {
    return platform::xdgConfigHome() + "/parvex/" + std::to_string(version) + ".txt";
}

bool SaveNotes(int version, const std::string& notes) {
    const std::string path = NotesFile(version);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    return WriteFileReplacing(path, notes, 0644);
}

} // namespace updatecheck
