#include "archive/aeHeaders.h"

#include <algorithm>
#include <cstring>

namespace aehdr {

std::string fixedString(Bytes b) {
    const void* z = b.empty() ? nullptr : std::memchr(b.data(), 0, b.size());
    const std::size_t n =
        z ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(z) - b.data()) : b.size();
    return std::string(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
}

namespace {

// A DOS date and a DOS time stored date first (the one value as zip stores it: time low).
std::uint32_t dateThenTime(LeReader& r) {
    const std::uint16_t date = r.u16();
    const std::uint16_t time = r.u16();
    return (std::uint32_t{date} << 16) | time;
}

} // namespace

// ----------------------------------------------------------------------------- CAB

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

// ----------------------------------------------------------------------------- BH

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

// ----------------------------------------------------------------------------- MsGZ

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

// ----------------------------------------------------------------------------- GZip

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

// ----------------------------------------------------------------------------- HA

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

// ----------------------------------------------------------------------------- ZOO

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

// ----------------------------------------------------------------------------- ARJ

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

// ----------------------------------------------------------------------------- LHA

namespace {

bool isLhaMethod(const std::uint8_t* m) {
    return m[0] == '-' && m[4] == '-' && m[1] == 'l';
}

std::string lhaFolder(Bytes data) {
    std::string s;
    s.reserve(data.size() + 1);
    for (std::uint8_t c : data) {
        if (c == 0) break;
        s.push_back(c == 0xFF || c == '\\' ? '/' : static_cast<char>(c));
    }
    while (!s.empty() && s.front() == '/') s.erase(s.begin());
    if (!s.empty() && s.back() != '/') s.push_back('/');
    return s;
}

void applyLhaExtended(std::uint8_t type, Bytes data, LhaHeader& h) {
    switch (type) {
    case 0x01:
        h.name = fixedString(data);
        break;
    case 0x02:
        h.folder = lhaFolder(data);
        break;
    case 0x40:
        if (data.size() >= 1) h.attribute = data[0];
        break;
    case 0x54:
        if (data.size() >= 4) h.unixTime = le32(data.data());
        break;
    default:
        break;
    }
}

// Walks a chain of extended headers stored in `fetch` from `pos`, the first of size `size`.
// Returns the bytes they take, or nothing when one is malformed or the chain passes `limit`.
std::optional<std::uint64_t> walkLhaExtended(const Fetch& fetch, std::uint64_t pos, std::uint16_t size,
                                             std::uint64_t limit, LhaHeader& h) {
    std::uint64_t total = 0;
    while (size != 0) {
        if (size < 3 || total + size > limit) return std::nullopt;
        Bytes e = fetch(pos + total, size);
        if (e.size() < size) return std::nullopt;
        const std::uint16_t next = le16(e.data() + size - 2);
        applyLhaExtended(e[0], e.subspan(1, size - 3u), h);
        total += size;
        size = next;
    }
    return total;
}

} // namespace

std::optional<LhaHeader> readLhaHeader(const Fetch& fetch, std::uint64_t offset) {
    Bytes b = fetch(offset, 24);
    if (b.size() < 22) return std::nullopt;
    // A level-2 header whose size is a multiple of 256 starts with a zero byte, like the end
    // marker; its method and level tell them apart.
    if (b[0] == 0 && !(b[1] != 0 && b[20] == 2 && isLhaMethod(b.data() + 2))) return std::nullopt;
    if (!isLhaMethod(b.data() + 2)) return std::nullopt;
    LhaHeader h;
    h.level = b[20];
    h.method = std::string(b.begin() + 2, b.begin() + 7);
    h.packedSize = le32(b.data() + 7);
    h.size = le32(b.data() + 11);
    h.timeStamp = le32(b.data() + 15);
    h.attribute = b[19];

    if (h.level == 0 || h.level == 1) {
        const std::size_t total = std::size_t{b[0]} + 2;
        Bytes hb = fetch(offset, total);
        if (hb.size() < total || total < 24) return std::nullopt;
        const std::size_t nameLength = hb[21];
        if (22 + nameLength + 2 > total) return std::nullopt;
        h.name = std::string(hb.begin() + 22, hb.begin() + 22 + static_cast<std::ptrdiff_t>(nameLength));
        h.crc16 = le16(hb.data() + 22 + nameLength);
        std::size_t pos = 24 + nameLength;
        if (h.level == 0) {
            // Optional extended area: OS id 'U', minor version, Unix time (4), mode, uid, gid.
            if (pos < total) h.osId = hb[pos];
            if (h.osId == 'U' && pos + 6 <= total) h.unixTime = le32(hb.data() + pos + 2);
            h.headerLength = total;
            return h;
        }
        if (pos + 3 > total) return std::nullopt;
        h.osId = hb[pos];
        const std::uint16_t firstExt = le16(hb.data() + total - 2);
        // Level 1 counts its extended headers in the packed size, which bounds the chain.
        auto ext = walkLhaExtended(fetch, offset + total, firstExt, h.packedSize, h);
        if (!ext) return std::nullopt;
        h.packedSize -= *ext;
        h.headerLength = total + *ext;
        return h;
    }
    if (h.level == 2) {
        b = fetch(offset, 26);
        if (b.size() < 26) return std::nullopt;
        const std::size_t total = le16(b.data());
        if (total < 26) return std::nullopt;
        h.crc16 = le16(b.data() + 21);
        h.osId = b[23];
        const std::uint16_t firstExt = le16(b.data() + 24);
        auto ext = walkLhaExtended(fetch, offset + 26, firstExt, total - 26, h);
        if (!ext) return std::nullopt;
        h.headerLength = total;
        return h;
    }
    return std::nullopt;
}

// ----------------------------------------------------------------------------- RAR

std::optional<RarBlock> parseRarBlock(Bytes in) {
    LeReader r{in};
    RarBlock b;
    b.crc = r.u16();
    b.type = r.u8();
    b.flags = r.u16();
    b.headerSize = r.u16();
    if (b.flags & kRarFlagLongBlock) b.addSize = r.u32();
    if (!r.ok() || b.headerSize < RarBlock::kBaseSize) return std::nullopt;
    if ((b.flags & kRarFlagLongBlock) && b.headerSize < RarBlock::kBaseSize + 4) return std::nullopt;
    return b;
}

namespace {

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD; // a lone surrogate half
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// The compact Unicode name of RAR 3: a high byte, then 2-bit opcodes that take a byte as
// a character, a byte plus the high byte, a full 16-bit character, or a run copied from
// the OEM name (optionally with a correction added).
std::optional<std::string> decodeRarUnicode(Bytes oem, Bytes enc) {
    constexpr std::size_t kMaxChars = 2048;
    std::u16string out;
    std::size_t pos = 0;
    auto next = [&](std::uint8_t& v) {
        if (pos >= enc.size()) return false;
        v = enc[pos++];
        return true;
    };
    std::uint8_t high = 0;
    if (!next(high)) return std::nullopt;
    std::uint8_t flags = 0;
    int flagBits = 0;
    while (pos < enc.size() && out.size() < kMaxChars) {
        if (flagBits == 0) {
            if (!next(flags)) break;
            flagBits = 8;
        }
        std::uint8_t a = 0, c = 0;
        switch (flags >> 6) {
        case 0:
            if (!next(a)) return std::nullopt;
            out.push_back(a);
            break;
        case 1:
            if (!next(a)) return std::nullopt;
            out.push_back(static_cast<char16_t>(a | (high << 8)));
            break;
        case 2:
            if (!next(a) || !next(c)) return std::nullopt;
            out.push_back(static_cast<char16_t>(a | (c << 8)));
            break;
        default: {
            std::uint8_t length = 0;
            if (!next(length)) return std::nullopt;
            std::uint8_t correction = 0;
            const bool corrected = (length & 0x80) != 0;
            if (corrected && !next(correction)) return std::nullopt;
            for (int n = (length & 0x7F) + 2; n > 0 && out.size() < kMaxChars; --n) {
                const std::size_t i = out.size();
                const std::uint8_t base = i < oem.size() ? oem[i] : 0;
                out.push_back(corrected ? static_cast<char16_t>(((base + correction) & 0xFF) | (high << 8))
                                        : static_cast<char16_t>(base));
            }
            break;
        }
        }
        flags = static_cast<std::uint8_t>(flags << 2);
        flagBits -= 2;
    }
    std::string utf8;
    for (std::size_t i = 0; i < out.size(); ++i) {
        std::uint32_t cp = out[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < out.size() && out[i + 1] >= 0xDC00 &&
            out[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (out[i + 1] - 0xDC00u);
            ++i;
            utf8.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            utf8.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
            continue;
        }
        if (cp == 0) break;
        appendUtf8(utf8, cp);
    }
    return utf8;
}

} // namespace

std::optional<RarFileHeader> parseRarFileHeader(Bytes in) {
    LeReader r{in};
    RarFileHeader h;
    r.skip(2);
    if (r.u8() != kRarTypeFile) return std::nullopt;
    h.flags = r.u16();
    h.headerSize = r.u16();
    h.packedSize = r.u32();
    h.size = r.u32();
    h.hostOs = r.u8();
    h.crc32 = r.u32();
    h.dosDateTime = r.u32();
    h.version = r.u8();
    h.method = r.u8();
    const std::uint16_t nameSize = r.u16();
    h.attributes = r.u32();
    if (h.flags & kRarFlagLarge) {
        h.packedSize |= std::uint64_t{r.u32()} << 32;
        h.size |= std::uint64_t{r.u32()} << 32;
    }
    Bytes name = r.bytes(nameSize);
    if (!r.ok() || h.headerSize > in.size() || r.pos() > h.headerSize) return std::nullopt;
    const auto* z = static_cast<const std::uint8_t*>(std::memchr(name.data(), 0, name.size()));
    if (z == nullptr) {
        h.name = toString(name);
    } else {
        const std::size_t oemLength = static_cast<std::size_t>(z - name.data());
        h.name = toString(name.first(oemLength));
        if (h.flags & kRarFlagUnicode)
            h.utf8Name = decodeRarUnicode(name.first(oemLength), name.subspan(oemLength + 1));
    }
    if ((h.flags & kRarFlagUnicode) && z == nullptr) h.utf8Name = h.name; // stored as UTF-8 already
    return h;
}

// ----------------------------------------------------------------------------- ARC / PAK

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

// ----------------------------------------------------------------------------- ACE

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

// ----------------------------------------------------------------------------- TAR

std::optional<std::uint64_t> parseTarNumber(Bytes field) {
    if (field.empty()) return std::nullopt;
    if (field[0] & 0x80) {
        // GNU base-256: big-endian, bit 7 of the first byte is the marker; negative values
        // (0xFF first) mean nothing here.
        if (field[0] == 0xFF) return std::nullopt;
        std::uint64_t v = field[0] & 0x7F;
        for (std::size_t i = 1; i < field.size(); ++i) {
            if (v >> 55) return std::nullopt;
            v = (v << 8) | field[i];
        }
        return v;
    }
    std::size_t i = 0;
    while (i < field.size() && (field[i] == ' ' || field[i] == 0)) ++i;
    std::uint64_t v = 0;
    bool any = false;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '7'; ++i) {
        if (v >> 60) return std::nullopt;
        v = v * 8 + (field[i] - '0');
        any = true;
    }
    for (; i < field.size(); ++i)
        if (field[i] != ' ' && field[i] != 0) return std::nullopt;
    return any ? v : 0;
}

bool isZeroBlock(Bytes block) {
    return std::all_of(block.begin(), block.end(), [](std::uint8_t c) { return c == 0; });
}

std::optional<TarHeader> parseTarHeader(Bytes block) {
    if (block.size() < kTarBlock || isZeroBlock(block.first(kTarBlock))) return std::nullopt;
    const std::uint8_t* p = block.data();
    TarHeader h;
    h.name = fixedString(block.subspan(0, 100));
    h.linkName = fixedString(block.subspan(157, 100));
    auto mode = parseTarNumber(block.subspan(100, 8));
    auto size = parseTarNumber(block.subspan(124, 12));
    auto mtime = parseTarNumber(block.subspan(136, 12));
    auto checksum = parseTarNumber(block.subspan(148, 8));
    if (!size || !checksum) return std::nullopt;
    h.mode = mode ? static_cast<std::uint32_t>(*mode) : 0;
    h.size = *size;
    h.mtime = mtime ? static_cast<std::int64_t>(*mtime) : 0;
    h.checksum = static_cast<std::uint32_t>(*checksum);
    h.typeflag = static_cast<char>(p[156]);
    // POSIX ustar has "ustar\0" and a name prefix; GNU's "ustar  \0" keeps other fields there.
    h.ustar = std::memcmp(p + 257, "ustar\0", 6) == 0;
    if (h.ustar) h.prefix = fixedString(block.subspan(345, 155));
    std::uint32_t unsignedSum = 0;
    std::int32_t signedSum = 0;
    for (std::size_t i = 0; i < kTarBlock; ++i) {
        const std::uint8_t c = (i >= 148 && i < 156) ? ' ' : p[i];
        unsignedSum += c;
        signedSum += static_cast<std::int8_t>(c);
    }
    h.checksumOk = unsignedSum == h.checksum || static_cast<std::uint32_t>(signedSum) == h.checksum;
    return h;
}

namespace {

constexpr std::uint64_t kTarMaxNameRecord = 1 << 20; // a long name or pax record set we read whole
constexpr int kTarMaxMetaRecords = 64;

std::uint64_t roundUpBlock(std::uint64_t n) {
    return (n + kTarBlock - 1) / kTarBlock * kTarBlock;
}

// pax records: "<length> <key>=<value>\n", the length counting the whole record.
void parsePax(std::string_view data, TarEntry& e, std::optional<std::string>& path,
              std::optional<std::string>& linkPath) {
    while (!data.empty()) {
        std::size_t i = 0, len = 0;
        while (i < data.size() && data[i] >= '0' && data[i] <= '9' && len < data.size())
            len = len * 10 + static_cast<std::size_t>(data[i++] - '0');
        if (i == 0 || i >= data.size() || data[i] != ' ' || len <= i + 1 || len > data.size()) return;
        std::string_view record = data.substr(i + 1, len - i - 1);
        if (!record.empty() && record.back() == '\n') record.remove_suffix(1);
        const std::size_t eq = record.find('=');
        if (eq != std::string_view::npos) {
            const std::string_view key = record.substr(0, eq), value = record.substr(eq + 1);
            if (key == "path") path = std::string(value);
            if (key == "linkpath") linkPath = std::string(value);
            if (key.substr(0, 11) == "GNU.sparse.") e.paxSparse = true;
            if (key == "mtime") {
                std::int64_t t = 0;
                std::size_t k = 0;
                for (; k < value.size() && value[k] >= '0' && value[k] <= '9' && t < (INT64_MAX / 10 - 9);
                     ++k)
                    t = t * 10 + (value[k] - '0');
                if (k > 0) e.paxMtime = t;
            }
        }
        data.remove_prefix(len);
    }
}

} // namespace

TarRead readTarEntry(const Fetch& fetch, std::uint64_t offset, std::uint64_t archiveSize, TarEntry& out) {
    std::optional<std::string> longName, longLink, paxPath, paxLink;
    out = TarEntry{};
    std::uint64_t pos = offset;
    for (int meta = 0; meta <= kTarMaxMetaRecords; ++meta) {
        if (pos >= archiveSize) return TarRead::End;
        Bytes blk = fetch(pos, kTarBlock);
        if (blk.size() < kTarBlock) return isZeroBlock(blk) ? TarRead::End : TarRead::Corrupt;
        if (isZeroBlock(blk)) return TarRead::End;
        auto h = parseTarHeader(blk);
        if (!h || !h->checksumOk) return TarRead::Corrupt;
        const std::uint64_t dataPos = pos + kTarBlock;
        if (h->size > archiveSize) return TarRead::Corrupt;
        const std::uint64_t next = dataPos + roundUpBlock(h->size);
        const char t = h->typeflag;
        if (t == 'L' || t == 'K' || t == 'x' || t == 'g') {
            if (t != 'g' && h->size <= kTarMaxNameRecord) {
                Bytes data = fetch(dataPos, static_cast<std::size_t>(h->size));
                if (data.size() < h->size) return TarRead::Corrupt;
                if (t == 'L') longName = fixedString(data);
                if (t == 'K') longLink = fixedString(data);
                if (t == 'x')
                    parsePax(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), out,
                             paxPath, paxLink);
            }
            pos = next;
            continue;
        }
        out.header = std::move(*h);
        if (paxPath)
            out.name = *paxPath;
        else if (longName)
            out.name = *longName;
        else if (out.header.ustar && !out.header.prefix.empty())
            out.name = out.header.prefix + "/" + out.header.name;
        else
            out.name = out.header.name;
        out.linkName = paxLink ? *paxLink : longLink ? *longLink : out.header.linkName;
        out.headerOffset = pos;
        out.dataOffset = dataPos;
        out.next = next;
        return TarRead::Entry;
    }
    return TarRead::Corrupt;
}

} // namespace aehdr
