// The zip container's record signatures and fixed record sizes, for every layer that reads
// or writes zip files (the engine, the zip front-end, the stand-ins, the self-extractor).
#pragma once
#include "common/LittleEndian.h"

#include <cstdint>

namespace pvcommon::zip {

constexpr uint32_t kLocalSig = 0x04034b50;      // "PK\3\4": local header
constexpr uint32_t kCentralSig = 0x02014b50;    // "PK\1\2": central-directory record
constexpr uint32_t kEndSig = 0x06054b50;        // "PK\5\6": end of central directory
constexpr uint32_t kDescriptorSig = 0x08074b50; // "PK\7\8": data descriptor, and a spanned set's mark
constexpr uint32_t kEnd64Sig = 0x06064b50;      // zip64 end of central directory
constexpr uint32_t kEnd64LocatorSig = 0x07064b50;

constexpr uint32_t kLocalSize = 30;   // fixed part of a local header
constexpr uint32_t kCentralSize = 46; // fixed part of a central-directory record
constexpr uint32_t kEndSize = 22;     // end record without its comment
constexpr uint32_t kMaxEndComment = 0xFFFF;

} // namespace pvcommon::zip
