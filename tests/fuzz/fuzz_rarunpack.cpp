// RAR's decoders (1.5, 2.0 with its audio blocks, 2.9 with PPMd and filters) on arbitrary
// bytes, several entries in a row through one unpacker as a solid archive's entries go:
// nothing may crash, hang or read outside its buffers, whatever state the previous entry
// left behind.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "stubs/unrar/RarUnpack.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kHead = 5, kEntries = 3;
    if (size < kHead) return 0;
    static const std::uint8_t kVersions[] = {15, 20, 26, 29, 36};
    // One unpacker for every run: making its 4 MiB window afresh each time would cost more
    // than the decoding. Each run's first entry is not solid, so no state leads into it
    // but the window's bytes, which a distance into them may read.
    static rar::TUnpacker unpacker;
    const std::uint8_t* body = data + kHead;
    const std::size_t bodySize = size - kHead;
    for (std::size_t i = 0; i < kEntries; ++i) {
        const std::uint8_t version = kVersions[(data[0] >> (2 * i)) % sizeof(kVersions)];
        const bool solid = i > 0 && (data[1] >> i & 1);
        const std::uint64_t outSize = std::uint64_t{data[2 + i]} << 9; // up to 128 KiB
        const std::size_t from = bodySize * i / kEntries, to = bodySize * (i + 1) / kEntries;
        std::size_t at = from;
        unpacker.Unpack(
            version, solid, outSize,
            [&](std::uint8_t* buf, std::size_t count) -> std::ptrdiff_t {
                const std::size_t n = count < to - at ? count : to - at;
                std::memcpy(buf, body + at, n);
                at += n;
                return static_cast<std::ptrdiff_t>(n);
            },
            [](const std::uint8_t*, std::size_t) { return true; });
    }
    return 0;
}
