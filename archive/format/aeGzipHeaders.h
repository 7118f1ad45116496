// GZip (RFC 1952) and the other single-stream formats that share its first byte.
//   0 magic (2) | 2 method (1) | 3 flags (1; 1 text, 2 header CRC, 4 extra, 8 name, 16 comment,
//   32 encrypted) | 4 MTIME (4, Unix seconds) | 8 extra flags (1) | 9 OS (1)
//   then (4) extra length (2) + extra, (8) name\0, (16) comment\0, (2) CRC-16 (2)
//   trailer: CRC-32 (4), size mod 2^32 (4)
// (The conventions every layout follows: archive/aeHeaders.h.)
#pragma once
#include "archive/aeHeaders.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace aehdr {

constexpr std::uint16_t kGzipMagic = 0x8B1F, kGzipOldMagic = 0x9E1F, kCompressMagic = 0x9D1F,
                        kPackMagic = 0x1E1F, kLzhMagic = 0xA01F;
constexpr std::uint8_t kGzipFlagHeaderCrc = 0x02, kGzipFlagExtra = 0x04, kGzipFlagName = 0x08,
                       kGzipFlagComment = 0x10, kGzipFlagEncrypted = 0x20;
inline bool isGzipFamilyMagic(std::uint16_t m) {
    return m == kGzipMagic || m == kGzipOldMagic || m == kCompressMagic || m == kPackMagic || m == kLzhMagic;
}
struct GzipHeader {
    static constexpr std::size_t kFixedSize = 10;
    static constexpr std::size_t kTrailerSize = 8;
    std::uint16_t magic = 0;
    std::uint8_t method = 0, flags = 0, extraFlags = 0, os = 0;
    std::uint32_t mtime = 0;
    std::string name, comment;    // raw, present with their flags
    std::size_t headerLength = 0; // bytes up to the compressed data (gzip magics only)
    bool hasFullHeader() const { return magic == kGzipMagic || magic == kGzipOldMagic; }
};
// For the gzip magics the optional fields are read too (and must fit in `in`); for the
// others only the fixed 10 bytes are taken as they stand.
std::optional<GzipHeader> parseGzipHeader(Bytes in);

} // namespace aehdr
