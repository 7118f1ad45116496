#include "archive/format/aeRarWalk.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "archive/aeArcLister.h"
#include "archive/aeCommon.h"
#include "archive/aeFormats.h"
#include "archive/aeHeaders.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

using aehdr::Bytes;
using aehdr::le16;
using aehdr::le32;

namespace {

class TRarWalk final : public TFormatWalk {
public:
    int64_t Prepare(TArcLister& L, int64_t Start) override;
    int64_t Step(TArcLister& L, int64_t Offset) override;

private:
    int64_t FPackedSum = 0; // the packed sizes of a split entry's parts so far
};

} // namespace

int64_t TRarWalk::Prepare(TArcLister& L, int64_t start) {
    Bytes b = L.In().Fetch(static_cast<uint64_t>(start), 8 + aehdr::kRarMainHeaderSize);
    if (b.size() < 7) L.Corrupt(kMsgReadError);
    if (std::memcmp(b.data(), aehdr::kRarMarker, 7) != 0) L.Corrupt(kMsgBadFileHeader); // also RAR 5
    auto main = aehdr::parseRarBlock(b.subspan(7));
    if (!main || main->type != aehdr::kRarTypeMain)
        L.Corrupt(b.size() < 7 + aehdr::kRarMainHeaderSize ? kMsgReadError : kMsgBadFileHeader);
    return start + 7 + main->headerSize;
}

int64_t TRarWalk::Step(TArcLister& L, int64_t offset) {
    Bytes b = L.In().Fetch(static_cast<uint64_t>(offset), 11);
    if (b.empty()) return -1;
    auto blk = aehdr::parseRarBlock(b);
    if (!blk) L.Corrupt(b.size() < 7 ? kMsgReadError : kMsgBadFileHeader);
    if (blk->type == aehdr::kRarTypeEnd) return -1;
    const int64_t next = offset + static_cast<int64_t>(blk->totalLength());
    if (blk->type != aehdr::kRarTypeFile) {
        if (next > L.ArchiveSize) L.Corrupt(kMsgReadError);
        return next;
    }
    auto h = aehdr::parseRarFileHeader(L.In().Fetch(static_cast<uint64_t>(offset), blk->headerSize));
    if (!h) L.Corrupt(kMsgBadFileHeader);
    if (h->flags & aehdr::kRarFlagSplitBefore)
        FPackedSum += static_cast<int64_t>(h->packedSize);
    else
        FPackedSum = static_cast<int64_t>(h->packedSize);
    if (h->flags & aehdr::kRarFlagSplitAfter) {
        // Reported from the volume that holds its end, with the packed sizes summed.
        if (!L.NextVolume()) return -1;
        return Prepare(L, 0);
    }
    TArcLister::Entry e;
    e.Name = h->utf8Name ? L.DecodeName(*h->utf8Name, true) : L.DecodeName(h->name);
    e.Packed = FPackedSum;
    e.Unpacked = static_cast<int64_t>(h->size);
    e.Crc = h->crc32;
    e.Method = h->method;
    e.Date = L.DosDateToDateTime(h->dosDateTime);
    e.Attr = h->attributes & 0xFFFF;
    e.ExtAttr = h->attributes;
    e.VerMade = h->version;
    e.Encrypted = (h->flags & aehdr::kRarFlagPassword) != 0;
    e.Offset = offset;
    if (!(h->flags & aehdr::kRarFlagSkip)) L.Report(e, TArcLister::Filter::SpecOrBlankDir, h->isDirectory());
    if (next > L.ArchiveSize) L.Corrupt(kMsgReadError);
    return next;
}

std::unique_ptr<TFormatWalk> NewRarWalk(TArcType) {
    return std::make_unique<TRarWalk>();
}

std::string RarMethods(const TZipCommon& C, int Code, uint32_t) {
    static const char* const names[] = {"Stored", "Fastest", "Fast", "Normal", "Good", "Best"};
    if (Code >= '0' && Code <= '5') return names[Code - '0'];
    return (C.FileAttr & 0x10) ? "Dir" : kUnsupportedMethod;
}

int64_t RarScanProbe(TArcDetector&, const uint8_t* At, int64_t Have, int64_t Pos) {
    return Have >= 4 && std::memcmp(At, "Rar!", 4) == 0 ? Pos + 1 : 0;
}
