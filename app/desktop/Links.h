// Shell routines for shortcuts: the special folders, one folder, a shortcut, and the mask
// match users type. A shortcut is a freedesktop desktop entry that opens its target with the
// desktop's default program.
#pragma once
#include <string>

// Special folder ids the program asks for.
enum : int { CSIDL_PROGRAMS = 2, CSIDL_DESKTOPDIRECTORY = 16 };

// 2: the user's applications folder ($XDG_DATA_HOME/applications/), 16: the desktop folder
// (XDG_DESKTOP_DIR of user-dirs.dirs, else ~/Desktop/); always with a trailing '/'. An id
// without a folder leaves `path` as it was and answers false.
bool GetSpecialFolderPath(int csidl, std::string& path);
// Creates one folder (no parents); true when it was made or already is a folder.
bool CreateFolder(const std::string& path);
// Writes a desktop entry at `linkPath` (a ".lnk" name becomes ".desktop") that opens
// `target` with xdg-open; `description` is its name. The file replaces one of the same name.
bool CreateShortcut(const std::string& target, const std::string& linkPath, const std::string& description);
// The file name CreateShortcut writes for `linkPath`.
std::string ShortcutFileName(const std::string& linkPath);
// The desktop shortcut to an archive: a desktop entry of type Link whose URL is the
// archive's file URL, so the desktop opens it with the program the archive type belongs
// to. It is executable, as desktops require of launchers they trust.
//
// Where the shortcut for an archive named `archiveName` goes: the desktop folder and the
// name with its extension changed to ".desktop".
std::string DesktopLinkPath(const std::string& archiveName);
// The file URL of an absolute path ("file:///a%20b.zip").
std::string FileUrl(const std::string& path);
// True when `linkPath` is a Link entry pointing at `target` (one this program would write).
bool IsLinkTo(const std::string& linkPath, const std::string& target);
// Writes the Link entry named `name` that points at `target` to `linkPath` (a temporary
// file renamed into place; the desktop folder is made when missing). False on failure.
bool CreateDesktopLink(const std::string& target, const std::string& linkPath, const std::string& name);
// Whole-name match of `name` against `mask` with '*' and '?', ignoring letter case; "*.*"
// matches every name.
bool MatchWildcard(const std::string& name, const std::string& mask);
