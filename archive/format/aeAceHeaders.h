// ACE: base header 0 CRC-16 (2) | 2 header size (2, bytes after this field) | 4 type (1)
//   5 flags (2; 1 an added size follows, 2 comment, 0x1000 from previous volume,
//   0x2000 to next volume, 0x4000 password)
// main (type 0): 7 "**ACE**" | 14 version to extract (1) | 15 version made by (1) | 16 host (1)
//   17 volume number (1) | 18 time (4) | 22 reserved (8) | 30 creator length (1) | creator
// file (type 1): 7 packed size (4) | 11 size (4) | 15 DOS date-time (4) | 19 attributes (4)
//   23 CRC-32 (4) | 27 compression type (1) | 28 quality (1) | 29 parameter (2)
//   31 reserved (2) | 33 name length (2) | 35 name | comment
// (The conventions every layout follows: archive/aeHeaders.h.)
#pragma once
#include "archive/aeHeaders.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace aehdr {

constexpr std::uint8_t kAceTypeMain = 0, kAceTypeFile = 1;
constexpr std::string_view kAceMark = "**ACE**"; // in the main header
constexpr std::size_t kAceMarkAt = 7;
constexpr std::uint16_t kAceFlagAddSize = 0x0001, kAceFlagComment = 0x0002, kAceFlagSplitBefore = 0x1000,
                        kAceFlagSplitAfter = 0x2000, kAceFlagPassword = 0x4000;
constexpr std::uint16_t kAceMainFlagVolume = 0x0800;
struct AceBlock {
    static constexpr std::size_t kBaseSize = 7;
    std::uint16_t crc = 0, headerSize = 0, flags = 0;
    std::uint8_t type = 0;
    std::uint64_t totalHeaderLength() const { return 4u + headerSize; }
};
std::optional<AceBlock> parseAceBlock(Bytes in);
struct AceMainHeader {
    std::uint16_t flags = 0;
    std::uint8_t versionExtract = 0, versionMadeBy = 0, host = 0, volumeNumber = 0;
    std::uint64_t headerLength = 0;
};
std::optional<AceMainHeader> parseAceMain(Bytes in); // `in` holds the whole header
struct AceFileHeader {
    static constexpr std::size_t kFixedSize = 35;
    std::uint16_t flags = 0;
    std::uint32_t packedSize = 0, size = 0, dosDateTime = 0, attributes = 0, crc32 = 0;
    std::uint8_t compressionType = 0, quality = 0;
    std::string name;
    std::uint64_t headerLength = 0; // the data follows
};
std::optional<AceFileHeader> parseAceFile(Bytes in); // `in` holds the whole header

} // namespace aehdr
