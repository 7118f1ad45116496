// ARC and PAK, 29 bytes (25 for the old method 1, which stores no size):
//   0 0x1A | 1 type/method (0 end; 30 folder, 31 end of folder) | 2 name\0 (13)
//   15 packed size (4) | 19 DOS date (2) | 21 DOS time (2) | 23 CRC-16 (2) | 25 size (4)
// (The conventions every layout follows: archive/aeHeaders.h.)
#pragma once
#include "archive/aeHeaders.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace aehdr {

constexpr std::uint8_t kArcMark = 0x1A, kArcEnd = 0, kArcFolder = 30, kArcFolderEnd = 31;
struct ArcHeader {
    static constexpr std::size_t kSize = 29;
    static constexpr std::size_t kOldSize = 25;
    std::uint8_t type = 0;
    std::string name; // raw
    std::uint32_t packedSize = 0, size = 0, dosDateTime = 0;
    std::uint16_t crc16 = 0;
    std::size_t headerLength = 0;
};
// Nothing when the mark is missing. The end record (type 0) and the end-of-folder record
// (type 31, 2 bytes) come back with headerLength 2.
std::optional<ArcHeader> parseArcHeader(Bytes in);

} // namespace aehdr
