#include "archive/format/aeHaWalk.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/aeArcLister.h"
#include "archive/aeCommon.h"
#include "archive/aeFormats.h"
#include "archive/format/aeHaHeaders.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

using aehdr::Bytes;
using aehdr::le16;
using aehdr::le32;

namespace {

class THaWalk final : public TFormatWalk {
public:
    int64_t Prepare(TArcLister& L, int64_t Start) override;
    int64_t Step(TArcLister& L, int64_t Offset) override;

private:
    int FLeft = 0; // entries the archive header promises and the walk has not read yet
};

} // namespace

int64_t THaWalk::Prepare(TArcLister& L, int64_t start) {
    Bytes b = L.In().Fetch(static_cast<uint64_t>(start), aehdr::kHaArchiveHeaderSize);
    if (b.size() < aehdr::kHaArchiveHeaderSize || le16(b.data()) != aehdr::kHaSig)
        L.Corrupt(kMsgBadFileHeader);
    FLeft = le16(b.data() + 2);
    return start + static_cast<int64_t>(aehdr::kHaArchiveHeaderSize);
}

int64_t THaWalk::Step(TArcLister& L, int64_t offset) {
    if (FLeft <= 0) return -1;
    --FLeft;
    Bytes b = L.In().Fetch(static_cast<uint64_t>(offset), aehdr::HaHeader::kFixedSize + 4096);
    auto h = aehdr::parseHaHeader(b);
    if (!h) L.Corrupt(b.size() < aehdr::HaHeader::kFixedSize + 3 ? kMsgReadError : kMsgBadFileHeader);
    std::string path = h->path;
    std::replace(path.begin(), path.end(), '\xFF', '/');
    if (!path.empty() && path.back() != '/') path.push_back('/');
    TArcLister::Entry e;
    e.Name = L.DecodeName(path + h->name);
    e.Packed = h->packedSize;
    e.Unpacked = h->size;
    e.Crc = h->crc32;
    e.Method = h->method;
    e.VerMade = e.VerNeeded = h->version;
    e.Date = UnixToDateTime(h->time);
    e.Offset = offset;
    L.Report(e, TArcLister::Filter::SpecOrBlankDir, h->method == aehdr::kHaMethodDir);
    const int64_t next = offset + static_cast<int64_t>(h->headerLength) + h->packedSize;
    if (next > L.ArchiveSize) L.Corrupt(kMsgReadError);
    return next;
}

std::unique_ptr<TFormatWalk> NewHaWalk(TArcType) {
    return std::make_unique<THaWalk>();
}

std::string HaMethods(const TZipCommon&, int Code, uint32_t) {
    return PickMethodName(Code, {{0, "Cpy"}, {1, "Asc"}, {2, "HSC"}, {14, "Dir"}, {15, "Special"}}, "");
}
