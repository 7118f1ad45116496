#include "archive/format/aeHaHeaders.h"

#include <algorithm>
#include <cstring>

namespace aehdr {

std::optional<HaHeader> parseHaHeader(Bytes in) {
    LeReader r{in};
    HaHeader h;
    const std::uint8_t vm = r.u8();
    h.version = static_cast<std::uint8_t>(vm >> 4);
    h.method = static_cast<std::uint8_t>(vm & 0x0F);
    h.packedSize = r.u32();
    h.size = r.u32();
    h.crc32 = r.u32();
    h.time = r.u32();
    h.path = toString(r.zstring());
    h.name = toString(r.zstring());
    h.machineInfoLength = r.u8();
    r.skip(h.machineInfoLength);
    if (!r.ok()) return std::nullopt;
    h.headerLength = r.pos();
    return h;
}

} // namespace aehdr
