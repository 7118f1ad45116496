#include "archive/format/aeGzipWalk.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "archive/aeArcLister.h"
#include "archive/aeCommon.h"
#include "archive/aeFormats.h"
#include "archive/format/aeGzipHeaders.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

using aehdr::Bytes;
using aehdr::le16;
using aehdr::le32;

namespace {

// The uncompressed size of a compress (.Z) stream, found by running its LZW code stream
// with string lengths in place of strings: nothing is decoded, but the count is exact.
// Codes are LSB-first; when the code width grows, or after a clear code, the reader skips
// to the end of the current group of 8 codes, as compress itself does. Nothing for a
// stream that breaks the format.
std::optional<int64_t> CompressedLzwSize(TArcInput& in, uint64_t start) {
    Bytes h = in.Fetch(start, 3);
    if (h.size() < 3) return std::nullopt;
    const unsigned maxBits = h[2] & 0x1F;
    const bool blockMode = (h[2] & 0x80) != 0;
    if (maxBits < 9 || maxBits > 16) return std::nullopt;
    const uint32_t maxMaxCode = 1u << maxBits;
    std::vector<uint32_t> length(maxMaxCode + 1, 1);
    const uint64_t dataStart = start + 3;
    const uint64_t totalBits = (static_cast<uint64_t>(in.Size()) - dataStart) * 8;
    unsigned bits = 9;
    auto limit = [&] { return bits == maxBits ? maxMaxCode : (1u << bits) - 1; };
    uint32_t maxCode = limit(), freeEnt = blockMode ? 257 : 256;
    uint64_t pos = 0, origin = 0;
    int64_t out = 0;
    int64_t oldCode = -1;
    auto align = [&] {
        const uint64_t group = uint64_t{bits} * 8;
        pos = origin + (pos - origin + group - 1) / group * group;
        origin = pos;
    };
    while (pos + bits <= totalBits) {
        if (freeEnt > maxCode) {
            align();
            ++bits;
            maxCode = limit();
            continue;
        }
        Bytes c = in.Fetch(dataStart + pos / 8, 3);
        uint32_t window = 0;
        for (size_t i = 0; i < c.size(); ++i) window |= uint32_t{c[i]} << (8 * i);
        const uint32_t code = (window >> (pos % 8)) & ((1u << bits) - 1);
        pos += bits;
        if (oldCode < 0) {
            if (code >= 256) return std::nullopt;
            out += 1;
            oldCode = code;
            continue;
        }
        if (code == 256 && blockMode) {
            freeEnt = 256;
            align();
            bits = 9;
            maxCode = limit();
            continue;
        }
        if (code > freeEnt) return std::nullopt;
        const uint32_t produced =
            code == freeEnt ? length[static_cast<size_t>(oldCode)] + 1 : length[static_cast<size_t>(code)];
        out += produced;
        if (freeEnt < maxMaxCode) {
            length[static_cast<size_t>(freeEnt)] = length[static_cast<size_t>(oldCode)] + 1;
            ++freeEnt;
        }
        oldCode = code;
    }
    return out;
}

class TGzipWalk final : public TFormatWalk {
public:
    int64_t Step(TArcLister& L, int64_t Offset) override;
};

} // namespace

int64_t TGzipWalk::Step(TArcLister& L, int64_t offset) {
    const uint64_t start = static_cast<uint64_t>(offset);
    Bytes b = L.In().Fetch(start, TArcLister::kMaxVarHeader * 2);
    auto h = aehdr::parseGzipHeader(b);
    if (!h) {
        if (b.size() >= 2 && aehdr::isGzipFamilyMagic(le16(b.data()))) L.Corrupt(kMsgReadError);
        return -1;
    }
    TArcLister::Entry e;
    e.Method = h->method;
    e.Offset = offset;
    e.Attr = e.ExtAttr = 32;
    const int64_t size = L.ArchiveSize;
    if (h->hasFullHeader()) {
        if (static_cast<int64_t>(h->headerLength + aehdr::GzipHeader::kTrailerSize) > size - offset)
            L.Corrupt(kMsgReadError);
        Bytes t = L.In().Fetch(static_cast<uint64_t>(size - 8), 8);
        if (t.size() < 8) L.Corrupt(kMsgReadError);
        e.Crc = le32(t.data());
        e.Unpacked = le32(t.data() + 4);
        e.Packed = size - offset - static_cast<int64_t>(h->headerLength) - 8;
        std::string rawName = h->name;
        // Some writers append a name block instead of using FNAME: its length stands in the
        // last dword and a copy of the magic where the CRC would be.
        if (le32(t.data()) == 0x00008B1F) {
            const int64_t n = le32(t.data() + 4);
            if (n >= 0 && n + 16 <= e.Packed) {
                Bytes nb = L.In().Fetch(static_cast<uint64_t>(size - n - 16), static_cast<size_t>(n) + 8);
                if (nb.size() == static_cast<size_t>(n) + 8) {
                    e.Crc = le32(nb.data());
                    e.Unpacked = le32(nb.data() + 4);
                    rawName =
                        aehdr::toString(nb.subspan(8, std::min<size_t>(static_cast<size_t>(n), n & 0xFF)));
                    e.Packed -= n + 8;
                }
            }
        }
        e.Encrypted = (h->flags & aehdr::kGzipFlagEncrypted) != 0;
        // MTIME 0 means "no time stored" (a stream compressed from a pipe): the file's own date.
        e.Date = h->mtime != 0 ? UnixToDateTime(h->mtime) : L.ArchiveFileDate();
        if (!rawName.empty()) e.Name = L.DecodeName(rawName);
    } else {
        const int64_t dataSize = size - offset;
        if (h->magic == aehdr::kPackMagic) {
            // pack stores the original size big-endian after the magic.
            e.Unpacked = (int64_t{b[2]} << 24) | (int64_t{b[3]} << 16) | (int64_t{b[4]} << 8) | b[5];
            e.Packed = dataSize;
        } else if (h->magic == aehdr::kCompressMagic) {
            e.Packed = dataSize;
            e.Unpacked = CompressedLzwSize(L.In(), start).value_or(dataSize);
        } else {
            e.Packed = e.Unpacked = std::max<int64_t>(0, dataSize - 10);
        }
        e.Date = h->magic == aehdr::kCompressMagic ? L.ArchiveFileDate() : UnixToDateTime(h->mtime);
    }
    if (e.Name.empty()) {
        // The archive's own name without its compression suffix, as gzip itself names it.
        std::string base = std::filesystem::path(L.ArchiveFile()).filename().string();
        const size_t dot = base.find_last_of('.');
        std::string ext = dot == std::string::npos ? std::string() : base.substr(dot);
        for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext == ".tgz" || ext == ".taz")
            base = base.substr(0, dot) + ".tar";
        else if (dot != std::string::npos && dot > 0)
            base = base.substr(0, dot);
        e.Name = base;
    }
    // The entry carries the compressed file's own attributes ("normal" stands for none).
    uint32_t attr = platform::fileAttributes(L.ArchiveFile());
    if (attr == platform::kInvalidAttributes) attr = 32;
    e.ExtAttr = attr == platform::faNormal ? 0 : attr;
    // A gzip file is one entry: it is always counted, whatever FileSpec says.
    L.Report(e, TArcLister::Filter::None, false);
    return -1;
}

std::unique_ptr<TFormatWalk> NewGzipWalk(TArcType) {
    return std::make_unique<TGzipWalk>();
}

std::string GzipMethods(const TZipCommon& C, int Code, uint32_t) {
    if (Code == 0) return "Stored";
    if (Code == 8) return "Deflate";
    if (Code == 144) return "LzwMAGIC";
    if (C.FirstWord == 0x1E1F) return "PackMAGIC";
    if (C.FirstWord == 0xA01F) return "LzhMAGIC";
    return kUnsupportedMethod;
}
