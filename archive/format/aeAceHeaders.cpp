#include "archive/format/aeAceHeaders.h"

#include <algorithm>
#include <cstring>

namespace aehdr {

std::optional<AceBlock> parseAceBlock(Bytes in) {
    LeReader r{in};
    AceBlock b;
    b.crc = r.u16();
    b.headerSize = r.u16();
    b.type = r.u8();
    b.flags = r.u16();
    if (!r.ok() || b.headerSize < 3) return std::nullopt;
    return b;
}

std::optional<AceMainHeader> parseAceMain(Bytes in) {
    auto b = parseAceBlock(in);
    if (!b || b->type != kAceTypeMain || in.size() < b->totalHeaderLength()) return std::nullopt;
    LeReader r{in.first(b->totalHeaderLength()), kAceMarkAt};
    Bytes sig = r.bytes(kAceMark.size());
    if (!r.ok() || std::memcmp(sig.data(), kAceMark.data(), kAceMark.size()) != 0) return std::nullopt;
    AceMainHeader m;
    m.flags = b->flags;
    m.versionExtract = r.u8();
    m.versionMadeBy = r.u8();
    m.host = r.u8();
    m.volumeNumber = r.u8();
    if (!r.ok()) return std::nullopt;
    m.headerLength = b->totalHeaderLength();
    return m;
}

std::optional<AceFileHeader> parseAceFile(Bytes in) {
    auto b = parseAceBlock(in);
    if (!b || b->type != kAceTypeFile || in.size() < b->totalHeaderLength()) return std::nullopt;
    LeReader r{in.first(b->totalHeaderLength()), 7};
    AceFileHeader f;
    f.flags = b->flags;
    f.packedSize = r.u32();
    f.size = r.u32();
    f.dosDateTime = r.u32();
    f.attributes = r.u32();
    f.crc32 = r.u32();
    f.compressionType = r.u8();
    f.quality = r.u8();
    r.skip(4);
    f.name = toString(r.bytes(r.u16()));
    if (!r.ok()) return std::nullopt;
    f.headerLength = b->totalHeaderLength();
    return f;
}

} // namespace aehdr
