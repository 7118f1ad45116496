#include "archive/format/aeMsgzHeaders.h"

#include <algorithm>
#include <cstring>

namespace aehdr {

std::optional<MsgzEntry> parseMsgzEntry(Bytes in) {
    LeReader r{in};
    MsgzEntry e;
    e.folderIndex = r.u16();
    e.size = r.u32();
    e.packedSize = r.u32();
    e.dataOffset = r.u32();
    e.dosDateTime = r.u32();
    e.attributes = r.u32();
    e.recordSize = r.u32();
    r.skip(2);
    e.nameLength = r.u8();
    if (!r.ok()) return std::nullopt;
    return e;
}

} // namespace aehdr
