#include "aePe.h"

#include "common/LittleEndian.h"

#include <array>

namespace {

constexpr uint32_t kRtString = 6; // resource type of string tables
constexpr int kMaxSections = 96;  // the loader's own limit
constexpr uint32_t kMaxDirEntries = 4096;

struct PeImage {
    const TByteSource& src;
    int64_t sectionTable = 0;
    int sections = 0;

    bool read(int64_t off, void* buf, int64_t n) const {
        return off >= 0 && n >= 0 && off <= src.Size() && n <= src.Size() - off &&
               src.ReadAt(off, buf, n) == n;
    }
    bool u16(int64_t off, uint16_t& v) const {
        uint8_t b[2];
        if (!read(off, b, 2)) return false;
        v = pvcommon::GetLE16(b);
        return true;
    }
    bool u32(int64_t off, uint32_t& v) const {
        uint8_t b[4];
        if (!read(off, b, 4)) return false;
        v = pvcommon::GetLE32(b);
        return true;
    }

    // Section table entry (40 bytes): name[8], VirtualSize@8, VirtualAddress@12,
    // SizeOfRawData@16, PointerToRawData@20, ...
    std::optional<int64_t> rvaToOffset(uint32_t rva, uint32_t need) const {
        for (int i = 0; i < sections; ++i) {
            const int64_t e = sectionTable + 40LL * i;
            uint32_t vsize, va, rawSize, rawPtr;
            if (!u32(e + 8, vsize) || !u32(e + 12, va) || !u32(e + 16, rawSize) || !u32(e + 20, rawPtr))
                return std::nullopt;
            const uint64_t span = vsize > rawSize ? vsize : rawSize;
            if (rva < va || uint64_t{rva} - va >= span) continue;
            const uint64_t delta = uint64_t{rva} - va;
            if (delta + need > rawSize) return std::nullopt; // not backed by file data
            return int64_t(rawPtr) + int64_t(delta);
        }
        return std::nullopt;
    }
};

// Resource directory (16 bytes): ..., NumberOfNamedEntries@12, NumberOfIdEntries@14, then
// 8-byte entries (Name or Id, OffsetToData; the high bit of OffsetToData marks a subdirectory).
// Offsets are relative to the resource section. `id` < 0 takes the first entry.
std::optional<uint32_t> findEntry(const PeImage& pe, int64_t rsrc, uint32_t rsrcSize, uint32_t dirOff,
                                  int64_t id, bool wantDir) {
    uint16_t named, ids;
    if (uint64_t{dirOff} + 16 > rsrcSize) return std::nullopt;
    if (!pe.u16(rsrc + dirOff + 12, named) || !pe.u16(rsrc + dirOff + 14, ids)) return std::nullopt;
    const uint32_t total = uint32_t{named} + ids;
    if (total > kMaxDirEntries) return std::nullopt;
    for (uint32_t i = 0; i < total; ++i) {
        const uint64_t e = uint64_t{dirOff} + 16 + 8ull * i;
        if (e + 8 > rsrcSize) return std::nullopt;
        uint32_t name, data;
        if (!pe.u32(rsrc + int64_t(e), name) || !pe.u32(rsrc + int64_t(e) + 4, data)) return std::nullopt;
        const bool isDir = (data & 0x80000000u) != 0;
        if (id >= 0 && ((name & 0x80000000u) != 0 || name != uint64_t(id))) continue;
        if (isDir != wantDir) return std::nullopt;
        return data & 0x7FFFFFFFu;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::u16string> PeStringResource(const TByteSource& src, uint32_t id) {
    PeImage pe{src};
    uint16_t mz;
    uint32_t lfanew, sig;
    if (!pe.u16(0, mz) || mz != 0x5A4D || !pe.u32(0x3C, lfanew) || !pe.u32(lfanew, sig) || sig != 0x00004550)
        return std::nullopt;
    // COFF header at lfanew+4: Machine, NumberOfSections@2, ..., SizeOfOptionalHeader@16.
    const int64_t coff = int64_t(lfanew) + 4;
    uint16_t nsec, optSize, magic;
    if (!pe.u16(coff + 2, nsec) || !pe.u16(coff + 16, optSize) || nsec == 0 || nsec > kMaxSections)
        return std::nullopt;
    const int64_t opt = coff + 20;
    if (!pe.u16(opt, magic)) return std::nullopt;
    // Data directories follow the optional header's fixed part: 96 bytes for PE32, 112 for PE32+.
    int64_t dirs;
    uint32_t ndirs;
    if (magic == 0x10B)
        dirs = 96;
    else if (magic == 0x20B)
        dirs = 112;
    else
        return std::nullopt;
    if (!pe.u32(opt + dirs - 4, ndirs) || ndirs < 3 || dirs + 8 * 3 > optSize) return std::nullopt;
    uint32_t rsrcRva, rsrcSize;
    if (!pe.u32(opt + dirs + 16, rsrcRva) || !pe.u32(opt + dirs + 20, rsrcSize) || rsrcRva == 0 ||
        rsrcSize < 16)
        return std::nullopt;
    pe.sectionTable = opt + optSize;
    pe.sections = nsec;
    const auto rsrc = pe.rvaToOffset(rsrcRva, 16);
    if (!rsrc) return std::nullopt;
    // Only the part of the resource section that the file really holds is walked.
    const int64_t avail = src.Size() - *rsrc;
    if (avail < int64_t(rsrcSize)) rsrcSize = uint32_t(avail);

    // Strings live in blocks of 16: string n is entry n % 16 of block n / 16 + 1.
    const auto typeDir = findEntry(pe, *rsrc, rsrcSize, 0, kRtString, true);
    if (!typeDir) return std::nullopt;
    const auto nameDir = findEntry(pe, *rsrc, rsrcSize, *typeDir, id / 16 + 1, true);
    if (!nameDir) return std::nullopt;
    const auto dataEntry = findEntry(pe, *rsrc, rsrcSize, *nameDir, -1, false);
    if (!dataEntry || uint64_t{*dataEntry} + 16 > rsrcSize) return std::nullopt;
    // Data entry: OffsetToData (an RVA), Size, CodePage, Reserved.
    uint32_t dataRva, dataSize;
    if (!pe.u32(*rsrc + *dataEntry, dataRva) || !pe.u32(*rsrc + *dataEntry + 4, dataSize))
        return std::nullopt;
    const auto data = pe.rvaToOffset(dataRva, dataSize);
    if (!data) return std::nullopt;

    // The block: 16 strings, each a 16-bit length and that many UTF-16 units.
    int64_t pos = *data;
    const int64_t end = *data + int64_t(dataSize);
    for (uint32_t i = 0; i < 16; ++i) {
        uint16_t len;
        if (pos + 2 > end || !pe.u16(pos, len)) return std::nullopt;
        pos += 2;
        if (pos + 2LL * len > end) return std::nullopt;
        if (i == id % 16) {
            std::u16string s(len, u'\0');
            for (uint16_t k = 0; k < len; ++k) {
                uint16_t c;
                if (!pe.u16(pos + 2LL * k, c)) return std::nullopt;
                s[k] = char16_t(c);
            }
            return s;
        }
        pos += 2LL * len;
    }
    return std::nullopt;
}
