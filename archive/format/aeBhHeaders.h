// BH (BlakHole), 37 bytes + name:
//   0 sig 0x07054842 | 4 header length incl. name (2, non-zero for an entry) | 6 37 (1)
//   7 version made by (1) | 8 version needed (1) | 9 flags (1; bit 0 encrypted, bits 1-2 deflate
//   option) | 10 method (1; 0 stored, 1 fused, 2/8 deflate) | 11 DOS date-time (4)
//   15 packed size (4) | 19 size (4) | 23 CRC-32 (4) | 27 attributes (2) | 29 zero (4)
//   33 name length (2) | 35 comment length (2) | 37 name ('/' separators)
// (The conventions every layout follows: archive/aeHeaders.h.)
#pragma once
#include "archive/aeHeaders.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace aehdr {

constexpr std::uint32_t kBhSig = 0x07054842;
struct BhHeader {
    static constexpr std::size_t kSize = 37;
    std::uint16_t headerLength = 0;
    std::uint8_t versionMadeBy = 0, versionNeeded = 0, flags = 0, method = 0;
    std::uint32_t dosDateTime = 0, packedSize = 0, size = 0, crc32 = 0;
    std::uint16_t attributes = 0, nameLength = 0, commentLength = 0;
};
std::optional<BhHeader> parseBhHeader(Bytes in);

} // namespace aehdr
