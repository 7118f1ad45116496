#include "app/desktop/DesktopEntry.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const char* kReserved = " \t\n\"'\\><~|&;$*?#()`";
}

std::string DesktopString(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string DesktopExecArgument(const std::string& arg, bool alwaysQuote) {
    const bool quote = alwaysQuote || arg.empty() || arg.find_first_of(kReserved) != std::string::npos;
    std::string word = quote ? "\"" : "";
    for (char c : arg) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) word += '\\';
        if (c == '%') word += '%';
        word += c;
    }
    if (quote) word += '"';
    return DesktopString(word);
}

std::optional<std::vector<std::string>> ParseDesktopExec(const std::string& value) {
    // First the string escapes.
    std::string s;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            s += value[i];
            continue;
        }
        char e = value[++i];
        if (e == 's')
            s += ' ';
        else if (e == 'n')
            s += '\n';
        else if (e == 't')
            s += '\t';
        else if (e == 'r')
            s += '\r';
        else if (e == '\\')
            s += '\\';
        else
            return std::nullopt;
    }
    // Then the quoting rule.
    std::vector<std::string> words;
    std::string cur;
    bool inWord = false;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == ' ') {
            if (inWord) words.push_back(cur);
            cur.clear();
            inWord = false;
        } else if (c == '"') {
            inWord = true;
            for (++i;; ++i) {
                if (i >= s.size()) return std::nullopt;
                if (s[i] == '"') break;
                if (s[i] == '\\') {
                    if (i + 1 >= s.size()) return std::nullopt;
                    char e = s[++i];
                    if (e != '"' && e != '`' && e != '$' && e != '\\') return std::nullopt;
                    cur += e;
                } else if (s[i] == '%' && i + 1 < s.size() && s[i + 1] == '%') {
                    cur += '%';
                    ++i;
                } else {
                    cur += s[i];
                }
            }
        } else if (c == '%' && i + 1 < s.size() && s[i + 1] == '%') {
            cur += '%';
            ++i;
            inWord = true;
        } else if (std::string(kReserved).find(c) != std::string::npos) {
            return std::nullopt;
        } else {
            cur += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(cur);
    return words;
}

bool WriteFileReplacing(const std::string& path, const std::string& text, mode_t mode) {
    std::string tmp = path + ".XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, mode) == 0;
    size_t done = 0;
    while (ok && done < text.size()) {
        ssize_t w = ::write(fd, text.data() + done, text.size() - done);
        if (w <= 0)
            ok = false;
        else
            done += static_cast<size_t>(w);
    }
    ok = ::close(fd) == 0 && ok;
    if (ok && std::rename(tmp.c_str(), path.c_str()) == 0) return true;
    ::unlink(tmp.c_str());
    return false;
}
