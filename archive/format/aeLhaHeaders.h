// LHA / LZH. Levels 0 and 1:
//   0 header size S (1, the header is S + 2 bytes) | 1 checksum (1) | 2 method "-lhN-" (5)
//   7 packed size (4) | 11 size (4) | 15 DOS date-time (4) | 19 attribute (1) | 20 level (1)
//   21 name length N (1) | 22 name | CRC-16 (2) | level 1: OS id (1), first extended size (2)
//   (level 1 counts the extended headers in the packed size)
// Level 2:
//   0 total header size (2) | 2 method (5) | 7 packed size (4) | 11 size (4)
//   15 Unix time (4) | 19 reserved (1) | 20 level (1) | 21 CRC-16 (2) | 23 OS id (1)
//   24 first extended size (2)
// Extended header: size (2, counting type, data and the next size), type (1), data, and
// the next extended header's size (2). Types: 0 header CRC, 1 name, 2 folder (0xFF
// separators), 0x40 DOS attribute, 0x54 Unix time.
// (The conventions every layout follows: archive/aeHeaders.h.)
#pragma once
#include "archive/aeHeaders.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace aehdr {

struct LhaHeader {
    std::uint8_t level = 0;
    std::string method;           // "-lh5-" etc.
    std::uint64_t packedSize = 0; // data only (extended headers of level 1 taken out)
    std::uint32_t size = 0;
    std::uint32_t timeStamp = 0;           // DOS date-time for levels 0 and 1, Unix seconds for level 2
    std::optional<std::uint32_t> unixTime; // extended header 0x54
    std::uint8_t attribute = 0, osId = 0;
    std::uint16_t crc16 = 0;
    std::string name, folder;       // raw; folder with '/' separators
    std::uint64_t headerLength = 0; // header start to the data
};
// Reads one header at `offset` through `fetch`. Returns nothing at the end marker (a zero
// byte) or when the header is short or inconsistent.
std::optional<LhaHeader> readLhaHeader(const Fetch& fetch, std::uint64_t offset);

} // namespace aehdr
