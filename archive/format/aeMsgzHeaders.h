// MsGZ: 255-byte archive header (folder table offset at 41), folder records, entry records.
//   folder record: 0 (2) | 2 record length L (1) | 3 (3) | 6 name (L - 6); L = 0 ends the table
//   entry record, 29 bytes + name:
//   0 folder index (2) | 2 size (4) | 6 packed size (4) | 10 data offset (4)
//   14 DOS date-time (4) | 18 attributes (4) | 22 record size (4) | 26 (2) | 28 name length (1)
// (The conventions every layout follows: archive/aeHeaders.h.)
#pragma once
#include "archive/aeHeaders.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace aehdr {

constexpr std::uint32_t kMsgzSig = 0x8C655D13;
constexpr std::size_t kMsgzArchiveHeaderSize = 255;
constexpr std::size_t kMsgzFolderTableOffsetAt = 41;
constexpr std::size_t kMsgzFolderRecordSize = 6;
struct MsgzEntry {
    static constexpr std::size_t kSize = 29;
    std::uint16_t folderIndex = 0;
    std::uint32_t size = 0, packedSize = 0, dataOffset = 0, dosDateTime = 0, attributes = 0, recordSize = 0;
    std::uint8_t nameLength = 0;
};
std::optional<MsgzEntry> parseMsgzEntry(Bytes in);

} // namespace aehdr
