// The freedesktop trash (version 1.0 of its layout), in POSIX only so that the engine can use
// it for deletions the user can undo. Files on the home file system go to the home trash
// ($XDG_DATA_HOME/Trash); files elsewhere to $topdir/.Trash/$uid or $topdir/.Trash-$uid.
#pragma once
#include <string>

namespace platform {

// Moves a file, symlink or folder to the trash under a name that does not collide with an
// earlier one. False (and `error` set) when it cannot; the item then stays where it was.
bool moveToTrash(const std::string& path, std::string* error = nullptr);

// The home trash folder ($XDG_DATA_HOME/Trash, default ~/.local/share/Trash).
std::string homeTrashDir();

} // namespace platform
