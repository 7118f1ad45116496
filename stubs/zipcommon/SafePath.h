// Entry names made safe for writing below a target folder.
#pragma once
#include <optional>
#include <string>

namespace zipstub {

// The relative path an entry may be written to: split on '/' and '\\', a drive prefix and
// leading separators dropped, "." and empty parts dropped. Null when a part is "..", the
// name holds a zero byte, or nothing is left.
std::optional<std::string> safeRelativePath(const std::string& name);

// Creates the folders of `rel` below `base` one by one, refusing to pass through a symlink
// or a file. False when a folder cannot be made.
bool makeSafeParents(const std::string& base, const std::string& rel, std::string& why);

} // namespace zipstub
