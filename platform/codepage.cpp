// Code page 437 <-> UTF-8. One table serves every format; the lower half is ASCII.
#include "platform/codepage.h"

#include <algorithm>
#include <array>
#include <utility>

namespace platform {

namespace {

// Unicode code points of the bytes 0x80-0xFF in code page 437 (the IBM PC character set).
constexpr std::array<char16_t, 128> kHigh = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0, // F8
};

// The reverse table, sorted by code point, built once from kHigh.
struct Reverse {
    std::array<std::pair<char16_t, uint8_t>, 128> map{};
    constexpr Reverse() {
        for (size_t i = 0; i < 128; ++i) map[i] = {kHigh[i], static_cast<uint8_t>(0x80 + i)};
        std::sort(map.begin(), map.end());
    }
};
constexpr Reverse kReverse{};

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one UTF-8 character at s[i]; its length, or 0 for an invalid sequence (overlong
// forms, surrogates and values above U+10FFFF are invalid).
size_t decodeUtf8(std::string_view s, size_t i, char32_t& cp) {
    const auto b0 = static_cast<uint8_t>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t len;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0)
        len = 2, cp = b0 & 0x1Fu, min = 0x80;
    else if ((b0 & 0xF0) == 0xE0)
        len = 3, cp = b0 & 0x0Fu, min = 0x800;
    else if ((b0 & 0xF8) == 0xF0)
        len = 4, cp = b0 & 0x07u, min = 0x10000;
    else
        return 0;
    if (s.size() - i < len) return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<uint8_t>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

} // namespace

char32_t cp437ToUnicode(uint8_t b) {
    return b < 0x80 ? char32_t{b} : char32_t{kHigh[b - 0x80]};
}

bool unicodeToCp437(char32_t cp, uint8_t& out) {
    if (cp < 0x80) {
        out = static_cast<uint8_t>(cp);
        return true;
    }
    if (cp > 0xFFFF) return false;
    const auto& m = kReverse.map;
    auto it =
        std::lower_bound(m.begin(), m.end(), std::pair<char16_t, uint8_t>{static_cast<char16_t>(cp), 0});
    if (it == m.end() || it->first != cp) return false;
    out = it->second;
    return true;
}

std::string cp437ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    for (char c : bytes) appendUtf8(out, cp437ToUnicode(static_cast<uint8_t>(c)));
    return out;
}

std::string utf8ToCp437(std::string_view utf8, char replacement, bool* lossless) {
    std::string out;
    out.reserve(utf8.size());
    bool all = true;
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp;
        size_t len = decodeUtf8(utf8, i, cp);
        uint8_t b;
        if (len == 0) {
            len = 1; // an invalid byte stands for one unmappable character
            out += replacement;
            all = false;
        } else if (unicodeToCp437(cp, b)) {
            out += static_cast<char>(b);
        } else {
            out += replacement;
            all = false;
        }
        i += len;
    }
    if (lossless) *lossless = all;
    return out;
}

bool isValidUtf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        char32_t cp;
        const size_t len = decodeUtf8(bytes, i, cp);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

bool isAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; });
}

bool fitsCp437(std::string_view utf8) {
    bool lossless = false;
    (void)utf8ToCp437(utf8, '_', &lossless);
    return lossless;
}

std::string decodeArchiveName(std::string_view raw, bool flaggedUtf8) {
    if (isAscii(raw)) return std::string(raw);
    if (isValidUtf8(raw)) return std::string(raw);
    // Flagged as UTF-8 but invalid: the flag lies; code page 437 still gives every byte a
    // character, so nothing is lost or unprintable.
    (void)flaggedUtf8;
    return cp437ToUtf8(raw);
}

namespace {

// A name that is no valid UTF-8 keeps its bytes; it reads back as code page 437.
EncodedName rawBytes(std::string_view name) {
    EncodedName e{std::string(name), false, false};
    e.exact = e.readBack() == name;
    return e;
}

} // namespace

EncodedName encodeArchiveName(std::string_view utf8, bool formatCarriesUtf8) {
    if (isAscii(utf8)) return {std::string(utf8), false, true};
    if (formatCarriesUtf8) {
        if (!isValidUtf8(utf8)) return rawBytes(utf8);
        return {std::string(utf8), true, true};
    }
    bool lossless = false;
    std::string oem = utf8ToCp437(utf8, '_', &lossless);
    EncodedName e{std::move(oem), false, false};
    e.exact = lossless && e.readBack() == utf8;
    return e;
}

EncodedName encodeUnflaggedName(std::string_view utf8) {
    if (isAscii(utf8)) return {std::string(utf8), false, true};
    if (!isValidUtf8(utf8)) return rawBytes(utf8);
    EncodedName oem = encodeArchiveName(utf8, false);
    // Code page 437 bytes that happen to be valid UTF-8 would read back as something else.
    if (oem.exact) return oem;
    return {std::string(utf8), true, true};
}

} // namespace platform
