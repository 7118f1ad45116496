#include "archive/format/aeZooWalk.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/aeArcLister.h"
#include "archive/aeCommon.h"
#include "archive/aeFormats.h"
#include "archive/format/aeZooHeaders.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

using aehdr::Bytes;
using aehdr::le16;
using aehdr::le32;

namespace {

class TZooWalk final : public TFormatWalk {
public:
    int64_t Prepare(TArcLister& L, int64_t Start) override;
    int64_t Step(TArcLister& L, int64_t Offset) override;
};

} // namespace

int64_t TZooWalk::Prepare(TArcLister& L, int64_t start) {
    auto h =
        aehdr::parseZooArchive(L.In().Fetch(static_cast<uint64_t>(start), aehdr::ZooArchiveHeader::kSize));
    if (!h) L.Corrupt(kMsgBadFileHeader);
    if (!h->consistent()) L.Corrupt(kMsgBadFileHeader);
    if (h->commentLength > 0) {
        Bytes c = L.In().Fetch(h->commentOffset, h->commentLength);
        L.ArchiveComment = platform::decodeArchiveName(aehdr::fixedString(c));
    }
    return h->firstEntry;
}

int64_t TZooWalk::Step(TArcLister& L, int64_t offset) {
    Bytes b = L.In().Fetch(static_cast<uint64_t>(offset), aehdr::ZooEntry::kFixedSize + 512);
    auto z = aehdr::parseZooEntry(b);
    if (!z) L.Corrupt(b.size() < aehdr::ZooEntry::kFixedSize ? kMsgReadError : kMsgBadFileHeader);
    if (z->next == 0) return -1; // the closing entry of the chain
    TArcLister::Entry e;
    std::string folder = z->folder;
    std::replace(folder.begin(), folder.end(), '\\', '/');
    if (!folder.empty() && folder.back() != '/') folder.push_back('/');
    e.Name = L.DecodeName(folder + (z->longName.empty() ? z->shortName : z->longName));
    e.Packed = z->packedSize;
    e.Unpacked = z->size;
    e.Crc = z->crc16;
    e.Method = z->method;
    e.Date = L.DosDateToDateTime(z->dosDateTime);
    e.VerMade = z->versionMajor;
    e.VerNeeded = z->versionMinor;
    e.Offset = offset;
    if (z->commentLength > 0)
        e.Comment =
            platform::decodeArchiveName(aehdr::fixedString(L.In().Fetch(z->commentOffset, z->commentLength)));
    if (!z->deleted) L.Report(e, TArcLister::Filter::Spec, false);
    if (z->next > static_cast<uint64_t>(L.ArchiveSize)) L.Corrupt(kMsgReadError);
    return z->next;
}

std::unique_ptr<TFormatWalk> NewZooWalk(TArcType) {
    return std::make_unique<TZooWalk>();
}

std::string ZooMethods(const TZipCommon&, int Code, uint32_t) {
    return PickMethodName(Code, {{0, "Stored"}, {1, "Fastest"}, {2, "Greatest"}}, kUnsupportedMethod);
}
