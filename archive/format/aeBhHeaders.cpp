#include "archive/format/aeBhHeaders.h"

#include <algorithm>
#include <cstring>

namespace aehdr {

std::optional<BhHeader> parseBhHeader(Bytes in) {
    LeReader r{in};
    if (r.u32() != kBhSig) return std::nullopt;
    BhHeader h;
    h.headerLength = r.u16();
    r.skip(1);
    h.versionMadeBy = r.u8();
    h.versionNeeded = r.u8();
    h.flags = r.u8();
    h.method = r.u8();
    h.dosDateTime = r.u32();
    h.packedSize = r.u32();
    h.size = r.u32();
    h.crc32 = r.u32();
    h.attributes = r.u16();
    r.skip(4);
    h.nameLength = r.u16();
    h.commentLength = r.u16();
    if (!r.ok() || h.headerLength == 0) return std::nullopt;
    return h;
}

} // namespace aehdr
