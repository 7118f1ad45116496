// The desktop's MIME database for file names: the icon a file type shows and the type's
// description. Lookups go by name only; the file need not exist.
#pragma once
#include <string>

// The theme icon name of the name's type ("text-plain"), "" when the name has no known
// type (the desktop would show its generic icon).
std::string pvMimeIconName(const std::string& fileName);
// The type's description ("ZIP archive"), "" when unknown.
std::string pvMimeTypeName(const std::string& fileName);
