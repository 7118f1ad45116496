#include "archive/format/aeLhaHeaders.h"

#include <algorithm>
#include <cstring>

namespace aehdr {

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

} // namespace aehdr
