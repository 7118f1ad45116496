#include "archive/format/aeAceWalk.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "archive/aeArcLister.h"
#include "archive/aeCommon.h"
#include "archive/aeFormats.h"
#include "archive/format/aeAceHeaders.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

using aehdr::Bytes;
using aehdr::le16;
using aehdr::le32;

namespace {

class TAceWalk final : public TFormatWalk {
public:
    int64_t Prepare(TArcLister& L, int64_t Start) override;
    int64_t Step(TArcLister& L, int64_t Offset) override;

private:
    int64_t FPackedSum = 0; // the packed sizes of a split entry's parts so far
    uint8_t FVersion = 0;
};

} // namespace

int64_t TAceWalk::Prepare(TArcLister& L, int64_t start) {
    Bytes b = L.In().Fetch(static_cast<uint64_t>(start), 4);
    if (b.size() < 4) L.Corrupt(kMsgReadError);
    const size_t total = 4u + le16(b.data() + 2);
    auto main = aehdr::parseAceMain(L.In().Fetch(static_cast<uint64_t>(start), total));
    if (!main) L.Corrupt(kMsgBadFileHeader);
    FVersion = main->versionMadeBy;
    FPackedSum = 0;
    return start + static_cast<int64_t>(main->headerLength);
}

int64_t TAceWalk::Step(TArcLister& L, int64_t offset) {
    Bytes b = L.In().Fetch(static_cast<uint64_t>(offset), aehdr::AceBlock::kBaseSize);
    if (b.empty()) return -1;
    auto blk = aehdr::parseAceBlock(b);
    if (!blk) L.Corrupt(kMsgReadError);
    if (blk->type != aehdr::kAceTypeFile) return -1; // recovery records and the like end the list
    auto h = aehdr::parseAceFile(
        L.In().Fetch(static_cast<uint64_t>(offset), static_cast<size_t>(blk->totalHeaderLength())));
    if (!h) L.Corrupt(kMsgReadError);
    const uint8_t version = FVersion;
    if (h->flags & aehdr::kAceFlagSplitBefore)
        FPackedSum += h->packedSize;
    else
        FPackedSum = h->packedSize;
    TArcLister::Entry e;
    e.Name = L.DecodeName(h->name);
    e.Packed = FPackedSum;
    e.Unpacked = h->size;
    e.Crc = h->crc32;
    e.Method = h->quality;
    e.Date = L.DosDateToDateTime(h->dosDateTime);
    e.Attr = h->attributes & 0xFFFF;
    e.ExtAttr = h->attributes;
    e.VerMade = e.VerNeeded = version;
    e.Encrypted = (h->flags & aehdr::kAceFlagPassword) != 0;
    e.Offset = offset;
    const int64_t next = offset + static_cast<int64_t>(h->headerLength) + h->packedSize;
    if (h->flags & aehdr::kAceFlagSplitBefore)
        FireEvent(L.OnReadFile, L, e.Name); // its first part was reported already
    else
        L.Report(e, TArcLister::Filter::Spec, false);
    if (h->flags & aehdr::kAceFlagSplitAfter) {
        if (!L.NextVolume()) return -1;
        const int64_t sum = FPackedSum;
        const int64_t first = Prepare(L, 0);
        FPackedSum = sum;
        return first;
    }
    if (next > L.ArchiveSize) L.Corrupt(kMsgReadError);
    return next;
}

std::unique_ptr<TFormatWalk> NewAceWalk(TArcType) {
    return std::make_unique<TAceWalk>();
}

std::string AceMethods(const TZipCommon&, int Code, uint32_t) {
    return PickMethodName(Code,
                          {{0, "Fastest"}, {1, "Fast"}, {2, "Normal"}, {3, "Good"}, {4, "Best"}, {5, "Lzw"}},
                          kUnsupportedMethod);
}

int64_t AceScanProbe(TArcDetector& D, const uint8_t* At, int64_t Have, int64_t Pos) {
    // The probe stands on the mark's first '*' and wants the four bytes after it.
    const int64_t at = int64_t(aehdr::kAceMarkAt);
    if (Pos + 5 < D.ArchiveSize && Have >= 5 && std::memcmp(At + 1, aehdr::kAceMark.data() + 1, 4) == 0 &&
        Pos >= at)
        return Pos - at + 1;
    return 0;
}

bool AceMarkStep(TArcDetector& D) {
    char b[aehdr::kAceMark.size()];
    if (!D.ReadAt(int64_t(aehdr::kAceMarkAt), b, int64_t(sizeof b)) ||
        std::memcmp(b, aehdr::kAceMark.data(), sizeof b) != 0)
        return false;
    D.ArcType = atACE;
    return true;
}
