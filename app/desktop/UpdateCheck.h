// The update check's pieces that need no window: the addresses the Help menu and the check
// use ([Links] of the settings, defaults on names that never resolve, so nothing is
// contacted until someone configures a server), reading "update.txt" (line 1 the newest
// version without its point, 161 for 1.61; the rest release notes), and where the notes
// are kept.
#pragma once
#include <string>

class TIniFile;

namespace updatecheck {

// The running version as "update.txt" counts it (1.60).
inline constexpr int kRunningVersion = 160;

struct TLinks {
    std::string update;    // the URL of "update.txt"
    std::string homepage1; // the product's homepage
    std::string homepage2; // its second address
    std::string forum;     // the web forum
    std::string email;     // the author's "mailto:" address
};
// [Links] Update, Homepage1, Homepage2, Forum, Email; a missing or empty key gives its default.
TLinks ReadLinks(TIniFile& ini);
TLinks DefaultLinks();

struct TUpdateText {
    bool ok = false;
    int version = 0;   // line 1
    std::string notes; // lines 2 .. end, one "\n" after each
};
// Line 1 must be a decimal number of at most nine digits (blanks around it allowed); a body
// holding NUL or other control bytes (a binary file) is refused as a whole.
TUpdateText ParseUpdateText(const std::string& body);
// $XDG_CONFIG_HOME/parvex/<version>.txt
std::string NotesFile(int version);
// Writes the notes there (temporary file, then rename); false on failure.
bool SaveNotes(int version, const std::string& notes);

} // namespace updatecheck
