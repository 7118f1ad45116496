// Entry data through zlib (raw deflate) and the traditional cipher, in blocks.
#pragma once
#include "archive/codec/aeCrypt.h"

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace zipstub {

// Receives decoded bytes; answers false to stop.
using Sink = std::function<void(const uint8_t* p, size_t n)>;

// Streams `packed` bytes from `fd` at `pos`, decrypting with `keys` when given, and
// decodes them by `method` (0 stored, 8 deflated) into `out`. Returns the CRC-32 of the
// output; throws StubError on a damaged stream.
uint32_t decodeEntry(int fd, int64_t pos, int64_t packed, uint16_t method, TZipKeys* keys, int64_t expectSize,
                     const Sink& out, const std::function<void(int64_t)>& progress);

// Compresses a file into `write` (raw deflate at `level`, or stored at level 0),
// encrypting with `keys` when given. Returns the number of bytes written.
int64_t encodeFile(int fd, int level, TZipKeys* keys,
                   const std::function<void(const uint8_t*, size_t)>& write,
                   const std::function<void(int64_t)>& progress);

// CRC-32 and size of a whole file.
bool fileCrc(int fd, uint32_t& crc, int64_t& size);

} // namespace zipstub
