#include "archive/format/aeTarHeaders.h"

#include <algorithm>
#include <cstring>

namespace aehdr {

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
