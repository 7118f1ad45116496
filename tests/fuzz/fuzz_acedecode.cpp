// The ACE 1.0 LZ77 decoder of the unace.dll stand-in on arbitrary bytes: byte 0 bit 0 makes
// the input two files of a solid archive (the second reusing the first's window and recent
// distances), bytes 1-3 the declared size of each, the rest the packed stream (split in two
// halves for two files). Bad tables, codes no table has, distances before the start and
// streams that end early must end in TAceDataError -- never a crash, a hang or an overrun.
#include "stubs/unace/AceLz77.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const bool solid = data[0] & 1;
    const std::size_t declared = std::min<std::size_t>(data[1] | data[2] << 8 | data[3] << 16, 4u << 20);
    const std::uint8_t* stream = data + 4;
    const std::size_t n = size - 4;
    const std::size_t half = solid ? n / 2 : n;
    static acestub::TAceLz77 lz;
    std::vector<std::uint8_t> out(65536);
    auto decodeFile = [&](const std::uint8_t* p, std::size_t len, bool keep) {
        std::size_t at = 0;
        lz.BeginFile(
            [&](std::uint8_t* b, std::size_t want) {
                const std::size_t take = std::min(want, len - at);
                std::memcpy(b, p + at, take);
                at += take;
                return take;
            },
            keep);
        try {
            for (std::size_t left = declared; left;) {
                const std::size_t chunk = std::min(left, out.size());
                lz.Read(out.data(), chunk);
                left -= chunk;
            }
        } catch (const acestub::TAceDataError&) {
            return false;
        }
        return true;
    };
    if (decodeFile(stream, half, false) && solid) decodeFile(stream + half, n - half, true);
    return 0;
}
