// Deleting files the user chose, to the trash or for good.
#pragma once
#include <string>
#include <vector>

// Deletes each file of `paths` (names may hold ';'; folders are left alone and count as not
// deleted): to the freedesktop trash with `toTrash`, else removed. With `ask`, one question
// first ("No" deletes nothing). True only when every file went.
bool ShellDeleteFiles(const std::vector<std::string>& paths, bool toTrash, bool ask);
