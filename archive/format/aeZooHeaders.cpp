#include "archive/format/aeZooHeaders.h"

#include <algorithm>
#include <cstring>

namespace aehdr {

std::optional<ZooArchiveHeader> parseZooArchive(Bytes in) {
    LeReader r{in, 20};
    if (r.u32() != kZooTag) return std::nullopt;
    ZooArchiveHeader h;
    h.firstEntry = r.u32();
    h.firstEntryNeg = r.u32();
    r.skip(3);
    h.commentOffset = r.u32();
    h.commentLength = r.u16();
    if (!r.ok()) return std::nullopt;
    return h;
}

std::optional<ZooEntry> parseZooEntry(Bytes in) {
    LeReader r{in};
    if (r.u32() != kZooTag) return std::nullopt;
    ZooEntry e;
    e.type = r.u8();
    e.method = r.u8();
    e.next = r.u32();
    e.dataOffset = r.u32();
    e.dosDateTime = dateThenTime(r);
    e.crc16 = r.u16();
    e.size = r.u32();
    e.packedSize = r.u32();
    e.versionMajor = r.u8();
    e.versionMinor = r.u8();
    e.deleted = r.u8();
    r.skip(1);
    e.commentOffset = r.u32();
    e.commentLength = r.u16();
    e.shortName = fixedString(r.bytes(13));
    r.skip(2 + 1 + 2); // variable part length, time zone, entry CRC
    const std::uint8_t longLength = r.u8();
    const std::uint8_t folderLength = r.u8();
    if (!r.ok()) return std::nullopt;
    if (e.type == 2) {
        e.longName = fixedString(r.bytes(longLength));
        e.folder = fixedString(r.bytes(folderLength));
        if (!r.ok()) return std::nullopt;
    }
    return e;
}

} // namespace aehdr
