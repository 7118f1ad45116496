#include "archive/format/aeLhaWalk.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/aeArcLister.h"
#include "archive/aeCommon.h"
#include "archive/aeFormats.h"
#include "archive/format/aeLhaHeaders.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

using aehdr::Bytes;
using aehdr::le16;
using aehdr::le32;

namespace {

class TLhaWalk final : public TFormatWalk {
public:
    int64_t Prepare(TArcLister& L, int64_t Start) override;
    int64_t Step(TArcLister& L, int64_t Offset) override;
};

} // namespace

// Some self-extractors leave a zero byte where a 128-byte gap precedes the archive.
int64_t TLhaWalk::Prepare(TArcLister& L, int64_t start) {
    Bytes b = L.In().Fetch(static_cast<uint64_t>(start), 22);
    if (!b.empty() && b[0] == 0 && !aehdr::readLhaHeader(L.In().Fetcher(), static_cast<uint64_t>(start)))
        return start + 128;
    return start;
}

int64_t TLhaWalk::Step(TArcLister& L, int64_t offset) {
    Bytes b = L.In().Fetch(static_cast<uint64_t>(offset), 22);
    if (b.empty()) return -1; // archives without an end marker
    auto h = aehdr::readLhaHeader(L.In().Fetcher(), static_cast<uint64_t>(offset));
    if (!h) {
        if (b[0] == 0) return -1; // the end marker
        L.Corrupt(b.size() < 22 ? kMsgReadError : kMsgBadFileHeader);
    }
    std::string raw = h->folder + h->name;
    std::replace(raw.begin(), raw.end(), '\xFF', '/');
    TArcLister::Entry e;
    e.Name = L.DecodeName(raw);
    e.Packed = static_cast<int64_t>(h->packedSize);
    e.Unpacked = h->size;
    // Level 2 stores Unix time whatever OS wrote it; levels 0 and 1 a DOS time, unless a
    // Unix time extension gives the exact one.
    if (h->level == 2)
        e.Date = UnixToDateTime(h->timeStamp);
    else if (h->unixTime)
        e.Date = UnixToDateTime(*h->unixTime);
    else
        e.Date = L.DosDateToDateTime(h->timeStamp);
    e.Crc = h->crc16;
    e.Method = static_cast<uint8_t>(h->method[3]);
    e.Attr = 32;
    e.ExtAttr = h->attribute;
    e.Offset = offset;
    const bool isDir = h->method == "-lhd-";
    L.Report(e, TArcLister::Filter::SpecOrBlankDir, isDir);
    const int64_t next = offset + static_cast<int64_t>(h->headerLength + h->packedSize);
    if (next > L.ArchiveSize) L.Corrupt(kMsgReadError);
    return next;
}

std::unique_ptr<TFormatWalk> NewLhaWalk(TArcType) {
    return std::make_unique<TLhaWalk>();
}

std::string LhaMethods(const TZipCommon&, int Code, uint32_t) {
    // LHA keeps its method as a digit character.
    const int digit = Code >= '0' && Code <= '9' ? Code - '0' : Code;
    if (digit == 0) return "Stored";
    if (digit >= 1 && digit <= 6) return "Frozen-" + std::to_string(digit);
    return kUnsupportedMethod;
}

bool LhaHeaderStep(TArcDetector& D) {
    if (D.ArcType == atLha) return false;
    // Level 0 and 1: size S and checksum bytes, "-lhN-" ... level at 20; the checksum is the
    // byte sum of the S bytes after the first two.
    uint8_t b[2 + 255];
    if (!D.ReadAt(0, b, 22) || b[2] != '-' || b[3] != 'l' || b[6] != '-' || (b[20] != 0 && b[20] != 1))
        return false;
    const int64_t total = int64_t{b[0]} + 2;
    if (total < 24 || !D.ReadAt(0, b, total)) return false;
    uint8_t sum = 0;
    for (int64_t i = 2; i < total; ++i) sum = static_cast<uint8_t>(sum + b[i]);
    if (sum != b[1]) return false;
    D.ArcType = atLha;
    return true;
}

int64_t LhaScanProbe(TArcDetector& D, const uint8_t* At, int64_t Have, int64_t Pos) {
    if (Pos + 5 < D.ArchiveSize && Have >= 5 && At[1] == 'l' && At[2] == 'h' && At[4] == '-' && Pos >= 2)
        return Pos - 1;
    return 0;
}
