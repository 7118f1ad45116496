// The parts of a '/'-separated path, for every layer that splits names: the file name, the
// folder with its trailing '/', the extension, ASCII letter case (also in an ending), and the
// rule of a single name within a folder.
#pragma once
#include <string>
#include <string_view>

namespace pvcommon {

// What follows the last '/' (all of it when there is none).
inline std::string FileNamePart(std::string_view path) {
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// Up to and with the last '/'; "" when there is none.
inline std::string FolderPart(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

// The extension with its dot ("" when the file name has none; a dot in a folder name is
// not one).
inline std::string ExtensionOf(std::string_view path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    return std::string(path.substr(dot));
}

// The name without its extension; a name that only starts with a dot keeps it.
inline std::string WithoutExtension(std::string_view name) {
    const size_t dot = name.rfind('.');
    return std::string(dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot));
}

inline std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

inline std::string UpperAscii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// Whether s ends with tail, ASCII letters compared without their case (".ZIP" ends "a.zip").
inline bool EndsWithNoCase(std::string_view s, std::string_view tail) {
    if (s.size() < tail.size()) return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    const std::string_view end = s.substr(s.size() - tail.size());
    for (size_t i = 0; i < tail.size(); ++i)
        if (lower(end[i]) != lower(tail[i])) return false;
    return true;
}

// A single name within a folder, as a user may give one (a folder, an entry, a medium, a
// menu group): not empty, not "." or "..", and no '/' or NUL. Places with further rules of
// their own (more characters refused) add them to this one.
inline bool IsSingleName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

} // namespace pvcommon
