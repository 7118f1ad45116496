// ARJ: every header is "0x60 0xEA", basic header size H (2), H bytes, header CRC-32 (4),
// then extended headers (size (2), data, CRC-32 (4)) up to one of size 0.
//   (offsets from the magic) 4 first-header size F (1) | 5 archiver version (1)
//   6 minimum version (1) | 7 host OS (1) | 8 flags (1) | 9 method (1) | 10 file type (1)
//   11 reserved (1) | 12 DOS date-time (4) | 16 packed size (4) | 20 size (4) | 24 CRC-32 (4)
//   28 file-spec position (2) | 30 access mode (2) | 32 host data (2) | 4 + F name\0 comment\0
// (The conventions every layout follows: archive/aeHeaders.h.)
#pragma once
#include "archive/aeHeaders.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace aehdr {

constexpr std::uint16_t kArjMagic = 0xEA60;
constexpr std::size_t kArjMaxBasicHeader = 2600;
constexpr std::uint8_t kArjFlagGarbled = 0x01, kArjFlagVolume = 0x04, kArjFlagExtFile = 0x08,
                       kArjFlagPathSym = 0x10;
constexpr std::uint8_t kArjTypeDir = 3;
constexpr std::uint8_t kArjHostUnix = 2, kArjHostNext = 8; // these hosts store Unix times
struct ArjHeader {
    std::uint16_t basicSize = 0; // H
    std::uint8_t firstHeaderSize = 0, versionMadeBy = 0, versionNeeded = 0, hostOs = 0, flags = 0, method = 0,
                 fileType = 0;
    std::uint32_t dosDateTime = 0, packedSize = 0, size = 0, crc32 = 0;
    std::uint16_t accessMode = 0;
    std::string name, comment;   // raw
    std::size_t totalLength = 0; // magic to the end of the extended headers (the data follows)
};
// `in` starts at the magic. Returns nothing for the end-of-archive header (H = 0), a wrong
// magic, H above 2600 or a header that does not fit.
std::optional<ArjHeader> parseArjHeader(Bytes in);

} // namespace aehdr
