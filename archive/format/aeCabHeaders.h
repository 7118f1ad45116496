// CAB (Microsoft cabinet)
// (The conventions every layout follows: archive/aeHeaders.h.)
#pragma once
#include "archive/aeHeaders.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace aehdr {

constexpr std::uint32_t kCabSig = 0x4643534D; // "MSCF"
constexpr std::uint16_t kCabFlagPrev = 0x0001, kCabFlagNext = 0x0002, kCabFlagReserve = 0x0004;
constexpr std::uint16_t kCabContinuedFromPrev = 0xFFFD, kCabContinuedToNext = 0xFFFE,
                        kCabContinuedPrevAndNext = 0xFFFF;
constexpr std::uint16_t kCabAttrUtf8Name = 0x80;

// Cabinet header:
//   0 "MSCF" | 4 reserved (4) | 8 cabinet size (4) | 12 reserved (4) | 16 first file offset (4)
//   20 reserved (4) | 24 minor version (1) | 25 major version (1) | 26 folder count (2)
//   28 file count (2) | 30 flags (2) | 32 set id (2) | 34 cabinet index (2)
//   36 (flag 4) header reserve size (2), folder reserve size (1), data reserve size (1), header
//      reserve; (flag 1) previous cabinet name, previous disk name; (flag 2) next cabinet name,
//      next disk name — each zero-terminated; then the folder records.
struct CabHeader {
    static constexpr std::size_t kFixedSize = 36;
    std::uint32_t cabinetSize = 0, firstFileOffset = 0;
    std::uint8_t versionMinor = 0, versionMajor = 0;
    std::uint16_t folderCount = 0, fileCount = 0, flags = 0, setId = 0, cabinetIndex = 0;
    std::uint16_t headerReserve = 0;
    std::uint8_t folderReserve = 0, dataReserve = 0;
    std::string prevCabinet, prevDisk, nextCabinet, nextDisk;
    std::size_t folderTableOffset = 0; // offset of the first folder record from the header start
};
// `in` holds the cabinet from its start (at least up to the first folder record).
std::optional<CabHeader> parseCabHeader(Bytes in);

// Folder record, 8 bytes (+ folder reserve): 0 first data block offset (4)
//   4 data block count (2) | 6 compression type (2; low 4 bits: 0 none, 1 MSZIP, 2 Quantum, 3 LZX)
struct CabFolder {
    static constexpr std::size_t kSize = 8;
    std::uint32_t firstDataOffset = 0;
    std::uint16_t dataBlocks = 0, compression = 0;
};
std::optional<CabFolder> parseCabFolder(Bytes in);

// File record, 16 bytes + zero-terminated name:
//   0 size (4) | 4 offset in the uncompressed folder (4) | 8 folder index (2) | 10 DOS date (2)
//   12 DOS time (2) | 14 attributes (2; 0x80 name is UTF-8) | 16 name
struct CabFile {
    static constexpr std::size_t kFixedSize = 16;
    std::uint32_t size = 0, folderOffset = 0;
    std::uint16_t folderIndex = 0, attributes = 0;
    std::uint32_t dosDateTime = 0;
    std::string name;             // raw
    std::size_t recordLength = 0; // fixed part + name + its zero byte
};
std::optional<CabFile> parseCabFile(Bytes in);

} // namespace aehdr
