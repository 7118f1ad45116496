// A zip archive of one entry made by hand: local header, the packed data as given, one
// central directory record and the end record, nothing else (no extra fields, no
// comment). Header-only because the CRC comes from zlib.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace pvtest {

struct ZipEntryFields {
    uint16_t version = 20; // both "version needed" and "version made by"
    uint16_t flags = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0x5821; // 2024-01-01
    uint32_t crc = 0;          // 0: the CRC-32 of the plain data
};

inline std::vector<uint8_t> oneEntryZip(const std::string& name, const std::vector<uint8_t>& plain,
                                        const std::vector<uint8_t>& packed, int method,
                                        const ZipEntryFields& f = {}) {
    const auto crc =
        f.crc ? f.crc : static_cast<uint32_t>(crc32(0, plain.data(), static_cast<uInt>(plain.size())));
    std::vector<uint8_t> z;
    auto u16 = [&](unsigned v) {
        z.push_back(static_cast<uint8_t>(v));
        z.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto u32 = [&](uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    auto common = [&] { // the fields the local header and the central record share
        u16(f.version);
        u16(f.flags);
        u16(static_cast<unsigned>(method));
        u16(f.dosTime);
        u16(f.dosDate);
        u32(crc);
        u32(static_cast<uint32_t>(packed.size()));
        u32(static_cast<uint32_t>(plain.size()));
        u16(static_cast<unsigned>(name.size()));
        u16(0); // extra length
    };
    u32(0x04034b50);
    common();
    z.insert(z.end(), name.begin(), name.end());
    z.insert(z.end(), packed.begin(), packed.end());
    const auto cd = static_cast<uint32_t>(z.size());
    u32(0x02014b50);
    u16(f.version); // version made by
    common();
    u16(0); // comment length
    u16(0); // disk
    u16(0); // internal attributes
    u32(0); // external attributes
    u32(0); // local header offset
    z.insert(z.end(), name.begin(), name.end());
    const auto cdSize = static_cast<uint32_t>(z.size()) - cd;
    u32(0x06054b50);
    u16(0); // this disk
    u16(0); // disk of the directory
    u16(1); // entries here
    u16(1); // entries in all
    u32(cdSize);
    u32(cd);
    u16(0); // comment length
    return z;
}

} // namespace pvtest
