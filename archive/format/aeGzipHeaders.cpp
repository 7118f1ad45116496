#include "archive/format/aeGzipHeaders.h"

#include <algorithm>
#include <cstring>

namespace aehdr {

std::optional<GzipHeader> parseGzipHeader(Bytes in) {
    LeReader r{in};
    GzipHeader h;
    h.magic = r.u16();
    h.method = r.u8();
    h.flags = r.u8();
    h.mtime = r.u32();
    h.extraFlags = r.u8();
    h.os = r.u8();
    if (!r.ok() || !isGzipFamilyMagic(h.magic)) return std::nullopt;
    if (h.hasFullHeader()) {
        if (h.flags & kGzipFlagExtra) r.skip(r.u16());
        if (h.flags & kGzipFlagName) h.name = toString(r.zstring());
        if (h.flags & kGzipFlagComment) h.comment = toString(r.zstring());
        if (h.flags & kGzipFlagHeaderCrc) r.skip(2);
        if (!r.ok()) return std::nullopt;
    }
    h.headerLength = r.pos();
    return h;
}

} // namespace aehdr
