#include "archive/format/aeArcWalk.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/aeArcLister.h"
#include "archive/aeCommon.h"
#include "archive/aeFormats.h"
#include "archive/format/aeArcHeaders.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

using aehdr::Bytes;
using aehdr::le16;
using aehdr::le32;

namespace {

class TArcWalk final : public TFormatWalk {
public:
    int64_t Step(TArcLister& L, int64_t Offset) override;

private:
    std::vector<std::string> FFolders; // the folders the walk is in
};

} // namespace

int64_t TArcWalk::Step(TArcLister& L, int64_t offset) {
    Bytes b = L.In().Fetch(static_cast<uint64_t>(offset), aehdr::ArcHeader::kSize);
    if (b.empty()) return -1; // archives cut after their last entry
    auto h = aehdr::parseArcHeader(b);
    if (!h) L.Corrupt(b.size() < 2 || b[0] == aehdr::kArcMark ? kMsgReadError : kMsgBadFileHeader);
    if (h->type == aehdr::kArcEnd) return -1;
    if (h->type == aehdr::kArcFolderEnd) {
        if (!FFolders.empty()) FFolders.pop_back();
        return offset + 2;
    }
    std::string prefix;
    for (const auto& f : FFolders) prefix += f + "/";
    TArcLister::Entry e;
    e.Packed = h->packedSize;
    e.Unpacked = h->size;
    e.Crc = h->crc16;
    e.Method = h->type;
    e.TypeByte = h->type;
    e.Date = L.DosDateToDateTime(h->dosDateTime);
    e.Offset = offset;
    if (h->type == aehdr::kArcFolder) {
        // A folder record: its "data" is the folder's own entries, which follow at once.
        if (FFolders.size() >= 256) L.Corrupt(kMsgBadFileHeader);
        FFolders.push_back(L.DecodeName(h->name));
        e.Name = prefix + FFolders.back() + "/";
        e.Packed = e.Unpacked = 0;
        e.Attr = e.ExtAttr = 16;
        L.Report(e, TArcLister::Filter::SpecOrBlankDir, true);
        return offset + static_cast<int64_t>(h->headerLength);
    }
    e.Name = prefix + L.DecodeName(h->name);
    L.Report(e, TArcLister::Filter::SpecOrBlankDir, false);
    const int64_t next = offset + static_cast<int64_t>(h->headerLength) + h->packedSize;
    if (next > L.ArchiveSize) L.Corrupt(kMsgReadError);
    return next;
}

std::unique_ptr<TFormatWalk> NewArcWalk(TArcType) {
    return std::make_unique<TArcWalk>();
}

std::string ArcMethods(const TZipCommon& C, int Code, uint32_t) {
    return PickMethodName(Code,
                          {{1, "Stored"},
                           {2, "Stored"},
                           {3, "Packed"},
                           {4, "Squeezed"},
                           {5, "crunched"},
                           {6, "crunched"},
                           {7, "crunched"},
                           {8, "Crunched"},
                           {9, "Squashed"},
                           {10, "Pack10"},
                           {11, "Pack11"},
                           {12, "Pack12"}},
                          C.EntryTypeByte == 30 ? "Dir" : kUnsupportedMethod);
}

std::string PakMethods(const TZipCommon&, int Code, uint32_t) {
    return PickMethodName(Code,
                          {{1, "Stored"},
                           {2, "Stored"},
                           {3, "RLE"},
                           {4, "Squeezed"},
                           {5, "FIXEDLEN"},
                           {6, "FIXEDLEN"},
                           {7, "FIXEDLEN"},
                           {8, "VARIBLE"},
                           {9, "VARIBLE"},
                           {10, "Crushed"},
                           {11, "Distill"}},
                          kUnsupportedMethod);
}

std::vector<int> ArcFamilyMethods(TArcType Type) {
    if (Type == atPak) return {10, 11};
    std::vector<int> v;
    for (int m = 1; m <= 9; ++m) v.push_back(m);
    for (int m = 20; m <= aehdr::kArcFolderEnd; ++m) v.push_back(m);
    return v;
}

bool ArcHeaderStep(TArcDetector& D) {
    if (D.ArcType != atArc && D.ArcType != atPak) return false;
    const auto at = static_cast<int64_t>(D.LeadingZeros());
    uint8_t b[aehdr::ArcHeader::kSize];
    const int method = D.ReadAt(at, b, 2) ? b[1] : -1;
    bool plausible = false;
    if (method == aehdr::kArcFolderEnd) {
        // Closes a folder: only another header can follow.
        plausible = D.ReadAt(at + 2, b, 1) && b[0] == aehdr::kArcMark;
    } else if (method > 0) {
        const int64_t length = method == 1 ? aehdr::ArcHeader::kOldSize : aehdr::ArcHeader::kSize;
        if (D.ReadAt(at, b, length)) {
            const auto h = aehdr::parseArcHeader(Bytes(b, b + length));
            const uint8_t* name = b + 2;
            const uint8_t* end = std::find(name, name + 13, 0);
            plausible = h && end != name + 13 && end != name &&
                        std::none_of(name, end, [](uint8_t c) { return c < 0x20; }) &&
                        static_cast<int64_t>(h->packedSize) <= D.ArchiveSize - at - length;
        }
    }
    if (plausible)
        D.ArcStart = at + 1;
    else
        D.ArcType = atUnknown;
    return false; // a mark further in may still tell otherwise
}

TArcType ArcFixedSfxSignature(TArcDetector& D, int) {
    D.ArcStart = 7717;
    return atArcExe;
}
