// The text rules of freedesktop desktop entries, shared by everything that writes or reads
// them (file-type registration, shortcuts, Send To): the escapes of a string value, the
// quoting of an Exec argument, and reading an Exec line back into its argument list.
#pragma once
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// A string value: backslash, newline, tab and carriage return escaped.
std::string DesktopString(const std::string& s);
// One Exec argument. Quoted when it holds a reserved character (or always, with
// `alwaysQuote`); inside quotes '"', '`', '$' and '\' are escaped; '%' is doubled; the
// string escapes apply on top. Simple readers (xdg-mime's generic mode) take the first word
// as it stands, so a program path is best left unquoted when it needs no quotes.
std::string DesktopExecArgument(const std::string& arg, bool alwaysQuote = false);
// An Exec value as stored in the file, back to its words: string escapes undone, quotes and
// their escapes resolved, "%%" made "%". Field codes (%f, %u ...) stay as words of their own.
// Nothing when the value breaks the rules (an open quote, a reserved character unquoted, an
// unknown escape inside quotes).
std::optional<std::vector<std::string>> ParseDesktopExec(const std::string& value);
// Writes `text` to a temporary file beside `path` and renames it into place.
bool WriteFileReplacing(const std::string& path, const std::string& text, mode_t mode = 0644);
