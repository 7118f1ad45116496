// The one rule by which a stored entry name becomes a path below a target folder, and the
// safe creation of the folders on the way.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace pvcommon {

// Split on '/' and '\'; a drive prefix ("C:") and leading separators go; empty and "."
// components go; a ".." component refuses the whole name (std::nullopt). The result is
// '/'-separated, never absolute, never climbing; it may be empty (a name of separators only).
std::optional<std::string> SafeRelativePath(std::string_view stored);

// Creates the folders of the '/'-separated relative path `rel` (all but its last part)
// below `base` one by one, refusing to pass through a symbolic link or a file. False, with
// the reason in `why`, when a folder cannot be made.
bool MakeSafeParents(const std::string& base, const std::string& rel, std::string& why);

} // namespace pvcommon
