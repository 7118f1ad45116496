// RAR archives (the 2.x-4 block format) built byte by byte, with correct header CRCs, as no
// RAR writer exists here: stored entries (method '0'), folders, Unix entries and symbolic
// links, encrypted and solid flags, an old-style archive comment, sets of volumes whose files
// run over several of them, and the start of a RAR 5 archive.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "archive/aeCommon.h"

namespace rarfix {

constexpr uint32_t kDosTime = (uint32_t{(2024 - 1980) << 9 | 5 << 5 | 6} << 16) | (7 << 11 | 8 << 5 | 10 / 2);

struct Entry {
    std::string name;          // stored with '\' or '/' as given
    std::vector<uint8_t> data; // stored as is
    uint8_t host = 2;          // 2 Win32, 3 Unix
    uint32_t attr = 0x20;      // DOS attributes, or the Unix mode for host 3
    uint16_t flags = 0;        // extra file flags (0x04 encrypted, 0x10 solid, 0xE0 folder)
    uint8_t method = '0';
    uint8_t version = 20; // version needed to unpack (15, 20, 26, 29, 36)
    // When not empty: the packed bytes stored for the entry, data being what they unpack to.
    std::vector<uint8_t> packed = {};
    // An old-style (RAR 1.5 to 2.x) file comment, stored inside the file header.
    std::string comment = {};
};

inline void put16(std::vector<uint8_t>& b, unsigned v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void put32(std::vector<uint8_t>& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// A block: CRC (low half of the CRC-32 of everything after it), type, flags, size, body.
inline std::vector<uint8_t> block(uint8_t type, uint16_t flags, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> b = {0, 0, type};
    put16(b, flags);
    put16(b, static_cast<unsigned>(7 + body.size()));
    b.insert(b.end(), body.begin(), body.end());
    const uint32_t crc = Crc32Of(b.data() + 2, b.size() - 2);
    b[0] = static_cast<uint8_t>(crc);
    b[1] = static_cast<uint8_t>(crc >> 8);
    return b;
}

// Marker and archive header (flags: 0x01 volume, 0x08 solid, 0x10 new volume numbering).
inline std::vector<uint8_t> start(uint16_t mainFlags = 0) {
    std::vector<uint8_t> b = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00};
    const auto m = block(0x73, mainFlags, {0, 0, 0, 0, 0, 0});
    b.insert(b.end(), m.begin(), m.end());
    return b;
}

// Marker and an archive header with an old-style (RAR 1.5 to 2.x) comment embedded: the
// header's CRC covers its 13 bytes only, the comment block (stored) follows within its size.
inline std::vector<uint8_t> startWithComment(const std::string& Comment, uint16_t mainFlags = 0) {
    std::vector<uint8_t> b = start(static_cast<uint16_t>(mainFlags | 0x0002));
    std::vector<uint8_t> body;
    put16(body, static_cast<unsigned>(Comment.size()));
    body.push_back(15);  // version to unpack
    body.push_back('0'); // stored
    put16(body, Crc32Of(Comment.data(), Comment.size()) & 0xFFFF);
    body.insert(body.end(), Comment.begin(), Comment.end());
    const auto comment = block(0x75, 0, body);
    b.insert(b.end(), comment.begin(), comment.end());
    const size_t mainSize = 13 + comment.size();
    b[7 + 5] = static_cast<uint8_t>(mainSize);
    b[7 + 6] = static_cast<uint8_t>(mainSize >> 8);
    const uint32_t crc = Crc32Of(b.data() + 7 + 2, 13 - 2);
    b[7] = static_cast<uint8_t>(crc);
    b[7 + 1] = static_cast<uint8_t>(crc >> 8);
    return b;
}

// The first bytes of a RAR 5 archive: its marker and a main header (CRC, size, type 1).
inline std::vector<uint8_t> rar5Start() {
    std::vector<uint8_t> b = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x01, 0x00};
    const std::vector<uint8_t> head = {3, 1, 0, 0}; // size 3: type 1, flags 0, archive flags 0
    put32(b, Crc32Of(head.data() + 1, head.size() - 1));
    b.insert(b.end(), head.begin(), head.end());
    return b;
}

inline std::vector<uint8_t> end(uint16_t endFlags = 0) {
    return block(0x7B, static_cast<uint16_t>(0x4000 | endFlags), {});
}

// One file block with its data part; crc is what its header says.
inline std::vector<uint8_t> fileBlock(const Entry& e, uint16_t splitFlags, const uint8_t* part,
                                      size_t partSize, uint32_t crc) {
    std::vector<uint8_t> body;
    put32(body, static_cast<uint32_t>(partSize));
    put32(body, static_cast<uint32_t>(e.data.size()));
    body.push_back(e.host);
    put32(body, crc);
    put32(body, kDosTime);
    body.push_back(e.version);
    body.push_back(e.method);
    put16(body, static_cast<unsigned>(e.name.size()));
    put32(body, e.attr);
    body.insert(body.end(), e.name.begin(), e.name.end());
    if (e.comment.empty()) {
        std::vector<uint8_t> b = block(0x74, static_cast<uint16_t>(0x8000 | e.flags | splitFlags), body);
        b.insert(b.end(), part, part + partSize);
        return b;
    }
    // The comment block follows the name inside the header; the header's CRC covers the
    // header up to the end of the name only.
    const size_t named = 7 + body.size();
    std::vector<uint8_t> c;
    put16(c, static_cast<unsigned>(e.comment.size()));
    c.push_back(15);
    c.push_back('0');
    put16(c, Crc32Of(e.comment.data(), e.comment.size()) & 0xFFFF);
    c.insert(c.end(), e.comment.begin(), e.comment.end());
    const auto commentBlock = block(0x75, 0, c);
    body.insert(body.end(), commentBlock.begin(), commentBlock.end());
    std::vector<uint8_t> b = block(0x74, static_cast<uint16_t>(0x8000 | 0x08 | e.flags | splitFlags), body);
    const uint32_t headCrc = Crc32Of(b.data() + 2, named - 2);
    b[0] = static_cast<uint8_t>(headCrc);
    b[1] = static_cast<uint8_t>(headCrc >> 8);
    b.insert(b.end(), part, part + partSize);
    return b;
}

inline uint32_t crcOf(const std::vector<uint8_t>& d) {
    return Crc32Of(d.data(), d.size());
}

// A one-volume archive of stored entries, after the given start.
inline std::vector<uint8_t> archive(const std::vector<Entry>& entries, uint16_t mainFlags = 0,
                                    std::vector<uint8_t> b = {}) {
    if (b.empty()) b = start(mainFlags);
    for (const Entry& e : entries) {
        const std::vector<uint8_t>& part = e.packed.empty() ? e.data : e.packed;
        const auto f = fileBlock(e, 0, part.data(), part.size(), crcOf(e.data));
        b.insert(b.end(), f.begin(), f.end());
    }
    const auto z = end();
    b.insert(b.end(), z.begin(), z.end());
    return b;
}

// A set of volumes: each volume lists (entry, first byte, byte count) pieces in order; a
// piece that does not reach the entry's end continues in the next volume. A part's header
// holds its own packed data's CRC, the last part the whole file's.
struct Piece {
    size_t entry, from, count;
};
// A symbolic link made on Unix: its data are the target.
inline Entry symlink(const std::string& name, const std::string& target) {
    Entry e;
    e.name = name;
    e.data.assign(target.begin(), target.end());
    e.host = 3;
    e.attr = 0120777;
    return e;
}

inline std::vector<std::vector<uint8_t>> volumes(const std::vector<Entry>& entries,
                                                 const std::vector<std::vector<Piece>>& layout,
                                                 uint16_t extraMainFlags = 0) {
    std::vector<std::vector<uint8_t>> out;
    for (size_t v = 0; v < layout.size(); ++v) {
        std::vector<uint8_t> b = start(static_cast<uint16_t>(0x0001 | extraMainFlags));
        for (const Piece& p : layout[v]) {
            const Entry& e = entries[p.entry];
            const bool before = p.from > 0;
            const bool after = p.from + p.count < e.data.size();
            const uint16_t split = static_cast<uint16_t>((before ? 0x01 : 0) | (after ? 0x02 : 0));
            const uint8_t* part = e.data.data() + p.from;
            const uint32_t crc = after ? Crc32Of(part, p.count) : crcOf(e.data);
            const auto f = fileBlock(e, split, part, p.count, crc);
            b.insert(b.end(), f.begin(), f.end());
        }
        const auto z = end(v + 1 < layout.size() ? 0x0001 : 0);
        b.insert(b.end(), z.begin(), z.end());
        out.push_back(b);
    }
    return out;
}

} // namespace rarfix
