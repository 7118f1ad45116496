// ZOO: archive header, then directory entries chained by absolute offsets.
//   archive: 0 text (20) | 20 tag 0xFDC4A7DC (4) | 24 first entry offset (4)
//   28 its negation (4) | 32 major, minor version (1, 1) | 34 header type (1)
//   35 archive comment offset (4) | 39 comment length (2) | 41 version data (1)
//   entry:   0 tag (4) | 4 type (1) | 5 method (1) | 6 next entry offset (4) | 10 data offset (4)
//   14 DOS date (2) | 16 DOS time (2) | 18 CRC-16 (2) | 20 size (4) | 24 packed size (4)
//   28 major, minor version (1, 1) | 30 deleted (1) | 31 structure (1) | 32 comment offset (4)
//   36 comment length (2) | 38 name, zero-terminated (13) | 51 variable part length (2)
//   53 time zone (1) | 54 entry CRC (2) | 56 long name length (1) | 57 folder name length (1)
//   58 long name, then folder name (type 2 entries only)
// (The conventions every layout follows: archive/aeHeaders.h.)
#pragma once
#include "archive/aeHeaders.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace aehdr {

constexpr std::uint32_t kZooTag = 0xFDC4A7DC;
struct ZooArchiveHeader {
    static constexpr std::size_t kSize = 42;
    std::uint32_t firstEntry = 0, firstEntryNeg = 0, commentOffset = 0;
    std::uint16_t commentLength = 0;
    bool consistent() const { return static_cast<std::uint32_t>(firstEntry + firstEntryNeg) == 0; }
};
std::optional<ZooArchiveHeader> parseZooArchive(Bytes in);
struct ZooEntry {
    static constexpr std::size_t kFixedSize = 58;
    std::uint8_t type = 0, method = 0, versionMajor = 0, versionMinor = 0, deleted = 0;
    std::uint32_t next = 0, dataOffset = 0;
    std::uint32_t dosDateTime = 0;
    std::uint16_t crc16 = 0;
    std::uint32_t size = 0, packedSize = 0, commentOffset = 0;
    std::uint16_t commentLength = 0;
    std::string shortName, longName, folder; // raw
};
// `in` holds the 58 fixed bytes and, for type-2 entries, what follows them (names).
std::optional<ZooEntry> parseZooEntry(Bytes in);

} // namespace aehdr
