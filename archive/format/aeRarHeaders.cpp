#include "archive/format/aeRarHeaders.h"

#include <algorithm>
#include <cstring>

namespace aehdr {

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

} // namespace aehdr
