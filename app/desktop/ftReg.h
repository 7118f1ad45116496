// Registration of the program as the desktop's handler of archive file types, per user and
// by the freedesktop rules: a desktop entry "parvex.desktop" in $XDG_DATA_HOME/applications
// lists the MIME types it opens, and $XDG_CONFIG_HOME/mimeapps.list names it first among the
// default applications of each associated type. Extensions the shared MIME database has no
// type for get one from our own package, $XDG_DATA_HOME/mime/packages/parvex.xml.
//
// An extension list is one string of extensions separated by "," without blanks, each with
// its leading dot (".lha,.lzh"). Elements that are empty or not "." followed by letters and
// digits are skipped. Only our own association is ever removed; every rewrite keeps the
// other lines of the file and goes through a temporary file renamed into place.
#pragma once
#include <string>
#include <vector>

namespace ftreg {

// The desktop entry's file name, as mimeapps.list refers to it.
inline constexpr const char* kDesktopId = "parvex.desktop";

// Writes the program's desktop entry (name, comment, icon, open command), keeping the MIME
// types it already lists, and installs the icon it names.
void RegisterProgId();
// Makes the program the default application of each extension's MIME type.
void AssociateExtensions(const std::string& Extensions);
// Takes the program out of the defaults of each extension's MIME type (the key of another
// program stays, so that program is the default again).
void UnassociateExtensions(const std::string& Extensions);
// True when the program is the default application of every extension of the list.
bool IsAssociated(const std::string& Extensions);

// Pieces the routines above are made of, for tests and for the dialogs that show types.
std::vector<std::string> SplitExtensions(const std::string& Extensions);
// The MIME type the shared MIME database (user's first, then the system's) gives
// "*<ext>", or "" when there is none.
std::string MimeTypeForExtension(const std::string& Ext);
// The program file the desktop entry starts; tests may point it elsewhere.
std::string ProgramFile();
void SetProgramFile(const std::string& Path);
// Folders the routines write into (from the XDG variables, read at each call).
std::string DesktopEntryPath();
std::string MimeAppsListPath();
std::string MimePackagePath();
// The program's icon in the user's hicolor icon theme, where launchers and file managers
// look up the entry's "Icon=" name (kIconName).
std::string IconPath();
inline constexpr const char* kIconName = "parvex";

} // namespace ftreg
