#include "archive/format/aeBhWalk.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/aeArcLister.h"
#include "archive/aeCommon.h"
#include "archive/aeFormats.h"
#include "archive/format/aeBhHeaders.h"
#include "platform/codepage.h"
#include "platform/fileio.h"
#include "common/LittleEndian.h"

using aehdr::Bytes;
using aehdr::le16;
using aehdr::le32;

namespace {

class TBhWalk final : public TFormatWalk {
public:
    int64_t Step(TArcLister& L, int64_t Offset) override;
};

} // namespace

int64_t TBhWalk::Step(TArcLister& L, int64_t offset) {
    Bytes b = L.In().Fetch(static_cast<uint64_t>(offset), aehdr::BhHeader::kSize);
    if (b.empty()) return -1;
    auto h = aehdr::parseBhHeader(b);
    if (!h) {
        if (b.size() >= 6 && le32(b.data()) == aehdr::kBhSig && le16(b.data() + 4) == 0) return -1;
        L.Corrupt(b.size() < aehdr::BhHeader::kSize ? kMsgReadError : kMsgBadFileHeader);
    }
    Bytes name = L.In().Fetch(static_cast<uint64_t>(offset) + aehdr::BhHeader::kSize, h->nameLength);
    if (name.size() < h->nameLength) L.Corrupt(kMsgReadError);
    TArcLister::Entry e;
    e.Name = L.DecodeName(aehdr::toString(name));
    e.Packed = h->packedSize;
    e.Unpacked = h->size;
    e.Crc = h->crc32;
    e.Method = h->method;
    e.MethodFlags = h->flags;
    e.Date = L.DosDateToDateTime(h->dosDateTime);
    e.Attr = e.ExtAttr = h->attributes;
    e.VerMade = h->versionMadeBy;
    e.VerNeeded = h->versionNeeded;
    e.Encrypted = (h->flags & 1) != 0;
    e.Offset = offset;
    L.Report(e, TArcLister::Filter::Spec, false);
    const int64_t next =
        offset + static_cast<int64_t>(aehdr::BhHeader::kSize + h->nameLength) + h->packedSize;
    if (next > L.ArchiveSize) L.Corrupt(kMsgReadError);
    return next;
}

std::unique_ptr<TFormatWalk> NewBhWalk(TArcType) {
    return std::make_unique<TBhWalk>();
}

std::string BhMethods(const TZipCommon&, int Code, uint32_t Flags) {
    if (Code == 8) return TZipCommon::GetDeflateName(Flags);
    return PickMethodName(Code, {{0, "Stored"}, {1, "Fused"}, {2, "Deflate"}}, kUnsupportedMethod);
}

int64_t BhScanProbe(TArcDetector&, const uint8_t* At, int64_t Have, int64_t Pos) {
    if (Have >= 8 && pvcommon::GetLE32(At) == 0x07054842 && pvcommon::GetLE32(At + 4) != 0x84C3940F)
        return Pos + 1;
    return 0;
}
