// A small bounds-checked reader for the string resources of a PE program (Windows .exe), used
// to find the archive offsets that some self-extractors keep in their string table.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "aeMain.h"

// The string resource `id` (RT_STRING, the first language present) of the PE image in `src`,
// as UTF-16 code units. std::nullopt when the image is not PE, has no such string or any
// structure on the way is out of bounds. Never throws; reads only through `src`.
std::optional<std::u16string> PeStringResource(const TByteSource& src, uint32_t id);
