// Builders shared by the detection tests: hand-made headers, DOS stubs and a minimal PE
// program with a string table.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "archive/aeCommon.h"
#include "support/testutil.h"

namespace detecttest {

using Bytes = std::vector<uint8_t>;

inline Bytes bytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}
inline void put16(Bytes& b, size_t at, uint16_t v) {
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8);
}
inline void put32(Bytes& b, size_t at, uint32_t v) {
    if (b.size() < at + 4) b.resize(at + 4);
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A DOS program of `size` bytes whose header says its image ends at `imageEnd` (0: a header
// whose image size is 0, so that the end-of-image road finds nothing). The rest is zeros.
inline Bytes dosStub(size_t size, size_t imageEnd = 0) {
    Bytes b(size, 0);
    b[0] = 'M', b[1] = 'Z';
    if (imageEnd) {
        put16(b, 2, uint16_t(imageEnd % 512));     // bytes in the last page
        put16(b, 4, uint16_t(imageEnd / 512 + 1)); // pages
    }
    return b;
}

// A PE program of `size` bytes (at least 0x400) whose string table holds `strings`
// (string ids 0..15, in block 1).
inline Bytes peWithStrings(size_t size, const std::vector<std::u16string>& strings) {
    Bytes b(size, 0);
    b[0] = 'M', b[1] = 'Z';
    put32(b, 0x3C, 0x80); // e_lfanew
    put32(b, 0x80, 0x00004550);
    const size_t coff = 0x84;
    put16(b, coff, 0x14C);     // i386
    put16(b, coff + 2, 1);     // one section
    put16(b, coff + 16, 0xE0); // optional header size
    const size_t opt = coff + 20;
    put16(b, opt, 0x10B);   // PE32
    put32(b, opt + 92, 16); // data directories
    const uint32_t rsrcRva = 0x1000, rsrcFile = 0x200;
    // The resource tree: type 6 (strings) -> block 1 -> language 0x409 -> data entry.
    Bytes r(0x60, 0);
    put16(r, 0x0E, 1);          // root: one id entry
    put32(r, 0x10, 6);          // RT_STRING
    put32(r, 0x14, 0x80000018); // -> subdirectory at 0x18
    put16(r, 0x18 + 0x0E, 1);
    put32(r, 0x18 + 0x10, 1); // block 1: strings 0..15
    put32(r, 0x18 + 0x14, 0x80000030);
    put16(r, 0x30 + 0x0E, 1);
    put32(r, 0x30 + 0x10, 0x409);
    put32(r, 0x30 + 0x14, 0x48); // -> data entry at 0x48
    Bytes table;
    for (size_t i = 0; i < 16; ++i) {
        const std::u16string s = i < strings.size() ? strings[i] : u"";
        const size_t at = table.size();
        put16(table, at, uint16_t(s.size()));
        for (size_t k = 0; k < s.size(); ++k) put16(table, at + 2 + 2 * k, uint16_t(s[k]));
    }
    put32(r, 0x48, rsrcRva + 0x60);
    put32(r, 0x4C, uint32_t(table.size()));
    r = r + table;
    put32(b, opt + 96 + 16, rsrcRva);
    put32(b, opt + 96 + 20, uint32_t(r.size()));
    const size_t sec = opt + 0xE0;
    std::copy_n(".rsrc", 5, b.begin() + long(sec));
    put32(b, sec + 8, uint32_t(r.size()));
    put32(b, sec + 12, rsrcRva);
    put32(b, sec + 16, uint32_t(r.size()));
    put32(b, sec + 20, rsrcFile);
    std::copy(r.begin(), r.end(), b.begin() + rsrcFile);
    return b;
}

// Hand-made headers of the formats no installed tool writes (padded past the 20-byte minimum).
inline Bytes zooHeader() {
    Bytes b = bytes("ZOO 2.10 Archive.\x1a");
    b.resize(20);
    put32(b, 20, 0xFDC4A7DC);
    b.resize(64);
    return b;
}
inline Bytes haHeader() {
    Bytes b = bytes("HA");
    put16(b, 2, 1);
    b.resize(40, 0);
    return b;
}
inline Bytes bhHeader() {
    Bytes b;
    put32(b, 0, 0x07054842);
    b.resize(60, 0);
    return b;
}
inline Bytes pakHeader() {
    Bytes b = {0x1A, 0x0A};
    const std::string n = "A.TXT";
    b.insert(b.end(), n.begin(), n.end());
    b.resize(40, 0);
    return b;
}
inline Bytes rarHeader() {
    Bytes b = bytes(std::string("Rar!\x1a\x07\x00", 7));
    b.resize(40, 0);
    return b;
}
inline Bytes aceHeader() {
    Bytes b = {0x3C, 0x9A, 0x1F, 0x00, 0x00, 0x00, 0x90};
    const std::string sig = "**ACE**";
    b.insert(b.end(), sig.begin(), sig.end());
    b.resize(48, 0);
    return b;
}
inline Bytes msgzHeader() {
    Bytes b;
    put32(b, 0, 0x8C655D13);
    b.resize(40, 0);
    return b;
}
inline Bytes lzhHeader() { // a level-0 header of a stored entry "a" holding "x"
    Bytes b = {24, 0};
    const std::string m = "-lh0-";
    b.insert(b.end(), m.begin(), m.end());
    b.resize(40, 0);
    return b;
}

// A zip of one stored entry. Offsets inside it are stored relative to `base` (the length of a
// prefix that will stand in front of it when adjusted, 0 when not).
inline Bytes storedZip(const std::string& name, const std::string& data, uint32_t base = 0) {
    const uint32_t crc = Crc32Of(data.data(), data.size());
    Bytes z;
    // Local header: signature, version, flags, method, time, date, crc, sizes, name and extra length.
    put32(z, 0, 0x04034B50);
    put16(z, 4, 10);
    put32(z, 14, crc);
    put32(z, 18, uint32_t(data.size()));
    put32(z, 22, uint32_t(data.size()));
    put16(z, 26, uint16_t(name.size()));
    z.resize(30);
    z = z + bytes(name) + bytes(data);
    const uint32_t cdOffset = uint32_t(z.size());
    Bytes c;
    put32(c, 0, 0x02014B50);
    put16(c, 4, 20);
    put16(c, 6, 10);
    put32(c, 16, crc);
    put32(c, 20, uint32_t(data.size()));
    put32(c, 24, uint32_t(data.size()));
    put16(c, 28, uint16_t(name.size()));
    put32(c, 42, base); // local header offset
    c.resize(46);
    c = c + bytes(name);
    Bytes e;
    put32(e, 0, 0x06054B50);
    put16(e, 8, 1);
    put16(e, 10, 1);
    put32(e, 12, uint32_t(c.size()));
    put32(e, 16, base + cdOffset);
    put16(e, 20, 0);
    return z + c + e;
}

} // namespace detecttest
