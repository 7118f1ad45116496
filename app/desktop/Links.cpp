#include "app/desktop/Links.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include "app/desktop/DesktopEntry.h"
#include "common/PathParts.h"
#include "app/core/IniFile.h"
#include "common/Wildcard.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

namespace {

std::string withSlash(std::string p) {
    if (p.empty() || p.back() != '/') p += '/';
    return p;
}

// XDG_DESKTOP_DIR from user-dirs.dirs: a quoted value where "$HOME" may open the path.
std::string desktopFromUserDirs(const std::string& home) {
    std::ifstream in(platform::xdgConfigHome() + "/user-dirs.dirs");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("XDG_DESKTOP_DIR=", 0) != 0) continue;
        std::string v = line.substr(16);
        if (v.size() < 2 || v.front() != '"' || v.back() != '"') return "";
        v = v.substr(1, v.size() - 2);
        if (v.rfind("$HOME", 0) == 0) v = home + v.substr(5);
        return v.empty() || v[0] != '/' ? "" : v;
    }
    return "";
}

} // namespace

bool GetSpecialFolderPath(int csidl, std::string& path) {
    const std::string home = platform::homeDir();
    if (csidl == CSIDL_PROGRAMS) {
        path = withSlash(platform::xdgDataHome() + "/applications");
        return true;
    }
    if (csidl == CSIDL_DESKTOPDIRECTORY) {
        std::string d = desktopFromUserDirs(home);
        path = withSlash(d.empty() ? home + "/Desktop" : d);
        return true;
    }
    return false;
}

bool CreateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) == 0) return true;
    struct stat st {};
    return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ShortcutFileName(const std::string& linkPath) {
    const std::string lnk = ".lnk";
    if (linkPath.size() >= lnk.size()) {
        if (pvcommon::LowerAscii(linkPath.substr(linkPath.size() - lnk.size())) == lnk)
            return linkPath.substr(0, linkPath.size() - lnk.size()) + ".desktop";
    }
    return linkPath;
}

bool CreateShortcut(const std::string& target, const std::string& linkPath, const std::string& description) {
    // A name or target with a line break would end the entry's line: refuse it rather than
    // write a file whose meaning someone else chose.
    for (const std::string* s : {&target, &description})
        for (char c : *s)
            if (static_cast<unsigned char>(c) < 0x20) return false;
    std::string text = "[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=" +
                       DesktopString(description) +
                       "\n"
                       "Exec=xdg-open " +
                       DesktopExecArgument(target, true) +
                       "\n"
                       "Terminal=false\n";
    return WriteFileReplacing(ShortcutFileName(linkPath), text, 0755);
}

std::string DesktopLinkPath(const std::string& archiveName) {
    std::string desktop;
    GetSpecialFolderPath(CSIDL_DESKTOPDIRECTORY, desktop);
    return desktop + pvcommon::WithoutExtension(archiveName) + ".desktop";
}

std::string FileUrl(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            url += char(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

bool IsLinkTo(const std::string& linkPath, const std::string& target) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(linkPath, ec))) return false;
    TIniFile f(linkPath);
    return f.ReadString("Desktop Entry", "Type", "") == "Link" &&
           f.ReadString("Desktop Entry", "URL", "") == FileUrl(target);
}

bool CreateDesktopLink(const std::string& target, const std::string& linkPath, const std::string& name) {
    if (target.empty() || target[0] != '/') return false;
    std::error_code ec;
    std::filesystem::create_directories(pvcommon::FolderPart(linkPath), ec);
    // Desktop entries are UTF-8; a file name in another encoding is shown as code page 437.
    const std::string shown = platform::isValidUtf8(name) ? name : platform::cp437ToUtf8(name);
    const std::string text = "[Desktop Entry]\n"
                             "Type=Link\n"
                             "Name=" +
                             DesktopString(shown) +
                             "\n"
                             "URL=" +
                             FileUrl(target) +
                             "\n"
                             "Icon=package-x-generic\n";
    return WriteFileReplacing(linkPath, text, 0755);
}

bool MatchWildcard(const std::string& name, const std::string& mask) {
    return pvcommon::MaskMatch(mask, name);
}
