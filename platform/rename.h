// Renaming a file into a name that must be free.
#pragma once
#include <string>

namespace platform {

// Renames without ever replacing: fails with errno EEXIST when anything (a dangling symbolic
// link included) has the name `to`. renameat2 with RENAME_NOREPLACE where the file system
// has it, else a hard link and an unlink, so no other file can take the name in between.
bool renameNoReplace(const std::string& from, const std::string& to);

} // namespace platform
