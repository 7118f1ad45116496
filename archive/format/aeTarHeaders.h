// TAR (POSIX ustar, GNU and pax), 512-byte blocks:
//   0 name (100) | 100 mode (8) | 108 uid (8) | 116 gid (8) | 124 size (12) | 136 mtime (12)
//   148 checksum (8) | 156 typeflag (1) | 157 link name (100) | 257 magic "ustar" (6)
//   263 version (2) | 265 user (32) | 297 group (32) | 329 devmajor (8) | 337 devminor (8)
//   345 prefix (155, ustar)
// Numbers are octal text, or (GNU) big-endian binary when the first byte has bit 7 set.
// (The conventions every layout follows: archive/aeHeaders.h.)
#pragma once
#include "archive/aeHeaders.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace aehdr {

constexpr std::size_t kTarBlock = 512;
struct TarHeader {
    std::string name, linkName, prefix; // raw
    std::uint64_t size = 0;
    std::int64_t mtime = 0;
    std::uint32_t mode = 0, checksum = 0;
    char typeflag = 0;
    bool ustar = false;
    bool checksumOk = false;
};
std::optional<std::uint64_t> parseTarNumber(Bytes field);
// Parses one 512-byte block. Nothing for an all-zero block or a short span.
std::optional<TarHeader> parseTarHeader(Bytes block);
bool isZeroBlock(Bytes block);
// One member with its long name resolved: GNU 'L'/'K' records and pax 'x' records before
// it are read and folded in; `next` is the offset of the following header.
struct TarEntry {
    TarHeader header;
    std::string name;               // the full stored name, raw
    std::string linkName;           // the full link target, raw (GNU 'K' or pax "linkpath")
    std::uint64_t headerOffset = 0; // the member's own header (after any name records)
    std::uint64_t dataOffset = 0;
    std::uint64_t next = 0;
    std::optional<std::int64_t> paxMtime;
    bool paxSparse = false; // pax "GNU.sparse." records: the data is a map and pieces, not the file
};
enum class TarRead { Entry, End, Corrupt };
TarRead readTarEntry(const Fetch& fetch, std::uint64_t offset, std::uint64_t archiveSize, TarEntry& out);

} // namespace aehdr
