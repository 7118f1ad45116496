#include "archive/format/aeArcHeaders.h"

#include <algorithm>
#include <cstring>

namespace aehdr {

std::optional<ArcHeader> parseArcHeader(Bytes in) {
    if (in.size() < 2 || in[0] != kArcMark) return std::nullopt;
    ArcHeader h;
    h.type = in[1];
    if (h.type == kArcEnd || h.type == kArcFolderEnd) {
        h.headerLength = 2;
        return h;
    }
    const std::size_t size = h.type == 1 ? ArcHeader::kOldSize : ArcHeader::kSize;
    if (in.size() < size) return std::nullopt;
    LeReader r{in, 2};
    h.name = fixedString(r.bytes(13));
    h.packedSize = r.u32();
    h.dosDateTime = dateThenTime(r);
    h.crc16 = r.u16();
    h.size = h.type == 1 ? h.packedSize : r.u32();
    h.headerLength = size;
    return h;
}

} // namespace aehdr
