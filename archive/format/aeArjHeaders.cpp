#include "archive/format/aeArjHeaders.h"

#include <algorithm>
#include <cstring>

namespace aehdr {

std::optional<ArjHeader> parseArjHeader(Bytes in) {
    LeReader r{in};
    if (r.u16() != kArjMagic) return std::nullopt;
    ArjHeader h;
    h.basicSize = r.u16();
    if (!r.ok() || h.basicSize == 0 || h.basicSize > kArjMaxBasicHeader) return std::nullopt;
    Bytes basic = r.bytes(h.basicSize);
    r.skip(4); // header CRC-32
    if (!r.ok()) return std::nullopt;
    LeReader b{basic};
    h.firstHeaderSize = b.u8();
    h.versionMadeBy = b.u8();
    h.versionNeeded = b.u8();
    h.hostOs = b.u8();
    h.flags = b.u8();
    h.method = b.u8();
    h.fileType = b.u8();
    b.skip(1);
    h.dosDateTime = b.u32();
    h.packedSize = b.u32();
    h.size = b.u32();
    h.crc32 = b.u32();
    b.skip(2);
    h.accessMode = b.u16();
    if (!b.ok() || h.firstHeaderSize > h.basicSize) return std::nullopt;
    LeReader names{basic, h.firstHeaderSize};
    h.name = toString(names.zstring());
    h.comment = toString(names.zstring());
    if (!names.ok()) return std::nullopt;
    // Extended headers: size, data, CRC-32; a zero size ends them. Each step consumes at
    // least two bytes of the span, so the loop ends.
    for (;;) {
        const std::uint16_t extSize = r.u16();
        if (!r.ok()) return std::nullopt;
        if (extSize == 0) break;
        r.skip(std::size_t{extSize} + 4);
    }
    h.totalLength = r.pos();
    return h;
}

} // namespace aehdr
