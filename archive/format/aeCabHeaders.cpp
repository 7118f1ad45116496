#include "archive/format/aeCabHeaders.h"

#include <algorithm>
#include <cstring>

namespace aehdr {

std::optional<CabHeader> parseCabHeader(Bytes in) {
    LeReader r{in};
    if (r.u32() != kCabSig) return std::nullopt;
    CabHeader h;
    r.skip(4);
    h.cabinetSize = r.u32();
    r.skip(4);
    h.firstFileOffset = r.u32();
    r.skip(4);
    h.versionMinor = r.u8();
    h.versionMajor = r.u8();
    h.folderCount = r.u16();
    h.fileCount = r.u16();
    h.flags = r.u16();
    h.setId = r.u16();
    h.cabinetIndex = r.u16();
    if (h.flags & kCabFlagReserve) {
        h.headerReserve = r.u16();
        h.folderReserve = r.u8();
        h.dataReserve = r.u8();
        r.skip(h.headerReserve);
    }
    if (h.flags & kCabFlagPrev) {
        h.prevCabinet = toString(r.zstring());
        h.prevDisk = toString(r.zstring());
    }
    if (h.flags & kCabFlagNext) {
        h.nextCabinet = toString(r.zstring());
        h.nextDisk = toString(r.zstring());
    }
    if (!r.ok()) return std::nullopt;
    h.folderTableOffset = r.pos();
    return h;
}

std::optional<CabFolder> parseCabFolder(Bytes in) {
    LeReader r{in};
    CabFolder f;
    f.firstDataOffset = r.u32();
    f.dataBlocks = r.u16();
    f.compression = r.u16();
    if (!r.ok()) return std::nullopt;
    return f;
}

std::optional<CabFile> parseCabFile(Bytes in) {
    LeReader r{in};
    CabFile f;
    f.size = r.u32();
    f.folderOffset = r.u32();
    f.folderIndex = r.u16();
    f.dosDateTime = dateThenTime(r);
    f.attributes = r.u16();
    f.name = toString(r.zstring());
    if (!r.ok()) return std::nullopt;
    f.recordLength = r.pos();
    return f;
}

} // namespace aehdr
