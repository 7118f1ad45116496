// HA: "HA" + file count (2), then per file:
//   0 version (high nibble) and method (low nibble) | 1 packed size (4) | 5 size (4)
//   9 CRC-32 (4) | 13 time (4, Unix seconds) | 17 path\0 (0xFF separators) | name\0
//   machine-info length (1) | machine info | packed data
// (The conventions every layout follows: archive/aeHeaders.h.)
#pragma once
#include "archive/aeHeaders.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace aehdr {

constexpr std::uint16_t kHaSig = 0x4148; // "HA"
constexpr std::size_t kHaArchiveHeaderSize = 4;
constexpr std::uint8_t kHaMethodDir = 14;
struct HaHeader {
    static constexpr std::size_t kFixedSize = 17;
    std::uint8_t version = 0, method = 0;
    std::uint32_t packedSize = 0, size = 0, crc32 = 0, time = 0;
    std::string path, name; // raw; path with 0xFF separators
    std::uint8_t machineInfoLength = 0;
    std::size_t headerLength = 0; // up to the packed data
};
std::optional<HaHeader> parseHaHeader(Bytes in);

} // namespace aehdr
