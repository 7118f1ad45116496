// RAR (versions 1.5 to 4): marker "Rar!\x1A\x07\x00", then blocks:
//   0 header CRC (2) | 2 type (1; 0x73 archive, 0x74 file, 0x7B end) | 3 flags (2; 0x8000 an
//   added size follows) | 5 header size (2) | 7 added size (4, with 0x8000)
// File header, 32 bytes + name:
//   7 packed size (4) | 11 size (4) | 15 host OS (1) | 16 CRC-32 (4) | 20 DOS date-time (4)
//   24 version (1) | 25 method (1, '0'..'5') | 26 name size (2) | 28 attributes (4)
//   32 (flag 0x100) high packed size (4), high size (4) | name (flag 0x200: OEM name \0 Unicode)
// (The conventions every layout follows: archive/aeHeaders.h.)
#pragma once
#include "archive/aeHeaders.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace aehdr {

constexpr std::uint8_t kRarMarker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
constexpr std::uint8_t kRar5Marker[8] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00};
constexpr std::uint8_t kRarTypeMain = 0x73, kRarTypeFile = 0x74, kRarTypeEnd = 0x7B;
constexpr std::uint16_t kRarFlagSplitBefore = 0x0001, kRarFlagSplitAfter = 0x0002, kRarFlagPassword = 0x0004,
                        kRarFlagLarge = 0x0100, kRarFlagUnicode = 0x0200, kRarFlagSkip = 0x4000,
                        kRarFlagLongBlock = 0x8000;
constexpr std::uint16_t kRarFlagSolid = 0x0010;   // a file's data continue the previous file's
constexpr std::uint16_t kRarFlagDirMask = 0x00E0; // all three dictionary bits: a folder
constexpr std::uint16_t kRarMainFlagVolume = 0x0001, kRarMainFlagComment = 0x0002, kRarMainFlagSolid = 0x0008,
                        kRarMainFlagNewNumbering = 0x0010, kRarMainFlagLocked = 0x0080,
                        kRarMainFlagEncryptVer = 0x0200;
constexpr std::size_t kRarMainHeaderSize = 13;
struct RarBlock {
    static constexpr std::size_t kBaseSize = 7;
    std::uint16_t crc = 0;
    std::uint8_t type = 0;
    std::uint16_t flags = 0, headerSize = 0;
    std::uint64_t addSize = 0; // data after the header
    std::uint64_t totalLength() const { return headerSize + addSize; }
};
std::optional<RarBlock> parseRarBlock(Bytes in);
struct RarFileHeader {
    static constexpr std::size_t kFixedSize = 32;
    std::uint16_t flags = 0, headerSize = 0;
    std::uint64_t packedSize = 0, size = 0;
    std::uint8_t hostOs = 0, version = 0, method = 0;
    std::uint32_t crc32 = 0, dosDateTime = 0, attributes = 0;
    std::string name;                    // raw (the OEM part when a Unicode name follows)
    std::optional<std::string> utf8Name; // decoded Unicode name (flag 0x200)
    bool isDirectory() const { return (flags & 0x00E0) == 0x00E0 || (attributes & 0x10) != 0; }
};
// `in` holds the whole header (header size bytes).
std::optional<RarFileHeader> parseRarFileHeader(Bytes in);

} // namespace aehdr
