#include "app/core/IniFile.h"
#include "platform/fileio.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

bool sameText(const std::string& a, const std::string& b) {
    return lower(a) == lower(b);
}

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return s.substr(b, e - b);
}

} // namespace

TIniFile::TIniFile(std::string fileName) : FFileName(std::move(fileName)) {
    Reload();
}

void TIniFile::Reload() {
    FLines.clear();
    std::ifstream in(FFileName, std::ios::binary);
    if (!in) return;
    std::string text;
    std::string current;
    while (std::getline(in, text)) {
        if (!text.empty() && text.back() == '\r') text.pop_back();
        Line line{text, {}, {}, {}};
        std::string t = trim(text);
        if (t.size() >= 2 && t.front() == '[') {
            size_t close = t.find(']');
            if (close != std::string::npos) line.section = trim(t.substr(1, close - 1));
            if (line.section.empty()) line.section.assign(1, ' '); // "[]" still starts a (nameless) section
        } else if (!t.empty() && t[0] != ';' && t.find('=') != std::string::npos) {
            size_t eq = t.find('=');
            line.key = trim(t.substr(0, eq));
            line.value = trim(t.substr(eq + 1));
        }
        FLines.push_back(std::move(line));
    }
}

int TIniFile::FindSection(const std::string& section) const {
    for (size_t i = 0; i < FLines.size(); ++i)
        if (!FLines[i].section.empty() && sameText(FLines[i].section, section)) return int(i);
    return -1;
}

int TIniFile::SectionEnd(int sectionLine) const {
    size_t i = size_t(sectionLine) + 1;
    while (i < FLines.size() && FLines[i].section.empty()) ++i;
    return int(i);
}

int TIniFile::FindKey(int sectionLine, const std::string& key) const {
    if (sectionLine < 0) return -1;
    int end = SectionEnd(sectionLine);
    for (int i = sectionLine + 1; i < end; ++i)
        if (!FLines[i].key.empty() && sameText(FLines[i].key, key)) return i;
    return -1;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
    int k = FindKey(FindSection(section), key);
    if (k < 0) return def;
    std::string v = FLines[k].value;
    // Profile reads drop one pair of surrounding quotes.
    if (v.size() >= 2 && ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\'')))
        v = v.substr(1, v.size() - 2);
    return v;
}

long long TIniFile::ReadInteger(const std::string& section, const std::string& key, long long def) const {
    std::string v = ReadString(section, key, "");
    if (v.empty()) return def;
    long long n = 0;
    const char* b = v.data();
    if (*b == '+') ++b;
    auto [p, ec] = std::from_chars(b, v.data() + v.size(), n);
    if (ec != std::errc() || p != v.data() + v.size()) return def;
    return n;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    int s = FindSection(section);
    if (s < 0) {
        if (!FLines.empty() && !trim(FLines.back().text).empty()) FLines.push_back({"", {}, {}, {}});
        FLines.push_back({"[" + section + "]", section, {}, {}});
        s = int(FLines.size()) - 1;
    }
    int k = FindKey(s, key);
    if (k >= 0) {
        FLines[k].text = FLines[k].key + "=" + value;
        FLines[k].value = value;
    } else {
        // After the section's last non-blank line, so a blank separator stays in place.
        int at = SectionEnd(s);
        while (at > s + 1 && trim(FLines[at - 1].text).empty()) --at;
        FLines.insert(FLines.begin() + at, Line{key + "=" + value, {}, key, value});
    }
    return Save();
}

bool TIniFile::WriteInteger(const std::string& section, const std::string& key, long long value) {
    return WriteString(section, key, std::to_string(value));
}

bool TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    return WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::SectionExists(const std::string& section) const {
    return FindSection(section) >= 0;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
    return FindKey(FindSection(section), key) >= 0;
}

std::vector<std::string> TIniFile::ReadSection(const std::string& section) const {
    std::vector<std::string> keys;
    int s = FindSection(section);
    if (s < 0) return keys;
    int end = SectionEnd(s);
    for (int i = s + 1; i < end; ++i)
        if (!FLines[i].key.empty()) keys.push_back(FLines[i].key);
    return keys;
}

std::vector<std::string> TIniFile::ReadSections() const {
    std::vector<std::string> names;
    for (const Line& l : FLines)
        if (!l.section.empty()) names.push_back(l.section);
    return names;
}

bool TIniFile::DeleteKey(const std::string& section, const std::string& key) {
    int k = FindKey(FindSection(section), key);
    if (k < 0) return true;
    FLines.erase(FLines.begin() + k);
    return Save();
}

bool TIniFile::EraseSection(const std::string& section) {
    int s = FindSection(section);
    if (s < 0) return true;
    FLines.erase(FLines.begin() + s, FLines.begin() + SectionEnd(s));
    return Save();
}

// Written to a temporary file beside the target and renamed over it, so that a crash
// or a full disk never leaves half a settings file behind.
bool TIniFile::Save() const {
    std::error_code ec;
    fs::path target(FFileName);
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    std::string tmpl = FFileName + ".XXXXXX";
    int fd = mkstemp(tmpl.data());
    if (fd < 0) return false;
    std::string data;
    for (const Line& l : FLines) data += l.text + "\n";
    bool ok = true;
    size_t done = 0;
    while (ok && done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            ok = false;
        else
            done += size_t(n);
    }
    if (::close(fd) != 0) ok = false;
    if (ok && std::rename(tmpl.c_str(), FFileName.c_str()) != 0) ok = false;
    if (!ok) ::unlink(tmpl.c_str());
    return ok;
}

std::string pvConfigFolder() {
    std::string dir = platform::xdgConfigHome() + "/parvex/";
    std::error_code ec;
    fs::create_directories(dir, ec);
    return dir;
}

std::string pvRegistryFile() {
    return pvConfigFolder() + "registry.ini";
}
