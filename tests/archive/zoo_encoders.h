// ZOO archives built field by field for the tests (no zoo program is at hand), and a small
// LZW encoder for method 1. Every archive made here is first checked by an independent
// reader.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "arc_encoders.h" // crc16

namespace zooenc {

using Bytes = std::vector<std::uint8_t>;

// Method 1: a clear code first, codes of 9 to 13 bits least significant bit first, the
// width following the decoder's table; a full table is cleared; code 257 ends the data.
inline Bytes lzw(const Bytes& in) {
    Bytes out;
    std::uint32_t cur = 0;
    unsigned have = 0;
    unsigned nBits = 9, limit = 512, decFree = 258, encFree = 258;
    bool afterClear = true;
    std::map<std::pair<unsigned, unsigned>, unsigned> dict;
    auto put = [&](unsigned code) {
        cur |= code << have;
        have += nBits;
        while (have >= 8) {
            out.push_back(static_cast<std::uint8_t>(cur));
            cur >>= 8;
            have -= 8;
        }
    };
    auto emit = [&](unsigned code) { // a data code, and what the decoder does after it
        put(code);
        if (afterClear) {
            afterClear = false;
            return;
        }
        if (decFree < 8192 && ++decFree >= limit && nBits < 13) {
            ++nBits;
            limit <<= 1;
        }
    };
    auto clear = [&] {
        put(256);
        nBits = 9;
        limit = 512;
        decFree = encFree = 258;
        afterClear = true;
        dict.clear();
    };
    clear();
    if (!in.empty()) {
        unsigned w = in[0];
        for (std::size_t i = 1; i < in.size(); ++i) {
            auto it = dict.find({w, in[i]});
            if (it != dict.end()) {
                w = it->second;
                continue;
            }
            emit(w);
            if (encFree < 8192)
                dict[{w, in[i]}] = encFree++;
            else
                clear();
            w = in[i];
        }
        emit(w);
    }
    put(257);
    if (have) out.push_back(static_cast<std::uint8_t>(cur));
    return out;
}

struct Entry {
    std::string name;     // short name (at most 12 characters)
    std::string longName; // empty: none
    std::string folder;   // empty: none
    int method = 0;
    Bytes data;   // the file
    Bytes packed; // its stored form
    bool deleted = false;
};

constexpr std::uint32_t kTag = 0xFDC4A7DC;
constexpr std::uint16_t kDosDate = (46 << 9) | (6 << 5) | 15, kDosTime = (12 << 11) | (30 << 5);

inline void put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// One directory entry (56 fixed bytes and its variable part), its CRC over itself.
inline Bytes dirEntry(const Entry& e, std::uint32_t next, std::uint32_t dataOffset) {
    const std::size_t var = 2 + e.longName.size() + e.folder.size() + 8;
    Bytes d(56 + var, 0);
    put32(d, 0, kTag);
    d[4] = 2;
    d[5] = static_cast<std::uint8_t>(e.method);
    put32(d, 6, next);
    put32(d, 10, dataOffset);
    put16(d, 14, kDosDate);
    put16(d, 16, kDosTime);
    put16(d, 18, arcenc::crc16(e.data));
    put32(d, 20, static_cast<std::uint32_t>(e.data.size()));
    put32(d, 24, static_cast<std::uint32_t>(e.packed.size()));
    d[28] = 2;
    d[29] = e.method == 2 ? 1 : 0;
    d[30] = e.deleted ? 1 : 0;
    for (std::size_t i = 0; i < e.name.size() && i < 12; ++i)
        d[38 + i] = static_cast<std::uint8_t>(e.name[i]);
    put16(d, 51, static_cast<std::uint32_t>(var));
    d[53] = 127; // time zone unknown
    d[56] = static_cast<std::uint8_t>(e.longName.size());
    d[57] = static_cast<std::uint8_t>(e.folder.size());
    std::size_t at = 58;
    for (char c : e.longName) d[at++] = static_cast<std::uint8_t>(c);
    for (char c : e.folder) d[at++] = static_cast<std::uint8_t>(c);
    put16(d, 54, arcenc::crc16(d));
    return d;
}

// The archive: header, then each entry's directory entry followed by its data, then the
// entry that closes the chain. `check` replaces the negated first-entry offset.
inline Bytes archive(const std::vector<Entry>& entries, std::int64_t check = -1) {
    constexpr std::uint32_t kFirst = 42;
    Bytes out(kFirst, 0);
    const std::string text = "ZOO 2.10 Archive.\x1a";
    std::copy(text.begin(), text.end(), out.begin());
    put32(out, 20, kTag);
    put32(out, 24, kFirst);
    put32(out, 28,
          check < 0 ? static_cast<std::uint32_t>(-static_cast<std::int32_t>(kFirst))
                    : static_cast<std::uint32_t>(check));
    out[32] = 2;
    out[33] = 0;
    out[34] = 1;
    out[41] = 1;
    for (const Entry& e : entries) {
        const std::size_t here = out.size();
        const std::size_t dirLen = 56 + 2 + e.longName.size() + e.folder.size() + 8;
        const auto data = static_cast<std::uint32_t>(here + dirLen);
        const auto next = static_cast<std::uint32_t>(data + e.packed.size());
        const Bytes d = dirEntry(e, next, data);
        out.insert(out.end(), d.begin(), d.end());
        out.insert(out.end(), e.packed.begin(), e.packed.end());
    }
    Entry end;
    const Bytes d = dirEntry(end, 0, 0);
    out.insert(out.end(), d.begin(), d.end());
    return out;
}

} // namespace zooenc
