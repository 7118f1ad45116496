#include "archive/format/aeArjWalk.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/aeArcLister.h"
#include "archive/aeCommon.h"
#include "archive/aeFormats.h"
#include "archive/format/aeArjHeaders.h"
#include "platform/codepage.h"
#include "platform/fileio.h"
#include "common/LittleEndian.h"

using aehdr::Bytes;
using aehdr::le16;
using aehdr::le32;

namespace {

class TArjWalk final : public TFormatWalk {
public:
    int64_t Prepare(TArcLister& L, int64_t Start) override;
    int64_t Step(TArcLister& L, int64_t Offset) override;

private:
    bool FVolumeArchive = false;
};

} // namespace

int64_t TArjWalk::Prepare(TArcLister& L, int64_t start) {
    auto main =
        aehdr::parseArjHeader(L.In().Fetch(static_cast<uint64_t>(start), TArcLister::kMaxVarHeader + 2700));
    if (!main) L.Corrupt(kMsgBadFileHeader);
    FVolumeArchive = (main->flags & aehdr::kArjFlagVolume) != 0;
    L.ArchiveComment = platform::decodeArchiveName(main->comment);
    return start + static_cast<int64_t>(main->totalLength);
}

int64_t TArjWalk::Step(TArcLister& L, int64_t offset) {
    Bytes b = L.In().Fetch(static_cast<uint64_t>(offset), 4);
    if (b.size() < 4) {
        if (b.empty()) return -1;
        L.Corrupt(kMsgReadError);
    }
    if (le16(b.data()) != aehdr::kArjMagic) L.Corrupt(kMsgBadFileHeader);
    if (le16(b.data() + 2) == 0) return -1; // the end header
    auto h =
        aehdr::parseArjHeader(L.In().Fetch(static_cast<uint64_t>(offset), TArcLister::kMaxVarHeader + 2700));
    if (!h) L.Corrupt(b.size() < 4 ? kMsgReadError : kMsgBadFileHeader);
    TArcLister::Entry e;
    e.Name = L.DecodeName(h->name);
    e.Packed = h->packedSize;
    e.Unpacked = h->size;
    e.Crc = h->crc32;
    e.Method = h->method;
    // ARJ for Unix (and NeXT) stores the modification time as Unix seconds, not as a DOS
    // date-time; read as DOS it would land decades off.
    e.Date = (h->hostOs == aehdr::kArjHostUnix || h->hostOs == aehdr::kArjHostNext)
                 ? UnixToDateTime(h->dosDateTime)
                 : L.DosDateToDateTime(h->dosDateTime);
    e.Attr = e.ExtAttr = h->accessMode;
    e.VerMade = h->versionMadeBy;
    e.VerNeeded = h->versionNeeded;
    e.Encrypted = (h->flags & aehdr::kArjFlagGarbled) != 0;
    e.TypeByte = h->fileType;
    e.Comment = platform::decodeArchiveName(h->comment);
    e.Offset = offset;
    const bool continuedFromPrevious = (h->flags & aehdr::kArjFlagExtFile) != 0;
    int64_t next = offset + static_cast<int64_t>(h->totalLength) + h->packedSize;
    uint8_t flags = h->flags;
    // A file continued in the next volume: follow the volumes, adding each part's sizes.
    while ((flags & aehdr::kArjFlagVolume) && !L.Cancel()) {
        if (!L.NextVolume()) return -1;
        auto vm = aehdr::parseArjHeader(L.In().Fetch(0, TArcLister::kMaxVarHeader + 2700));
        if (!vm) L.Corrupt(kMsgBadFileHeader);
        const int64_t at = static_cast<int64_t>(vm->totalLength);
        auto part =
            aehdr::parseArjHeader(L.In().Fetch(static_cast<uint64_t>(at), TArcLister::kMaxVarHeader + 2700));
        if (!part) L.Corrupt(kMsgBadFileHeader);
        e.Packed += part->packedSize;
        e.Unpacked += part->size;
        e.Name = L.DecodeName(part->name);
        e.Crc = part->crc32;
        flags = part->flags;
        next = at + static_cast<int64_t>(part->totalLength) + part->packedSize;
    }
    const bool isDir = h->fileType == aehdr::kArjTypeDir;
    if (FVolumeArchive && continuedFromPrevious) {
        FireEvent(L.OnReadFile, L, e.Name); // the rest of an entry of an earlier volume
    } else {
        L.Report(e, TArcLister::Filter::SpecOrBlankDir, isDir);
    }
    if (next > L.ArchiveSize) L.Corrupt(kMsgReadError);
    return next;
}

std::unique_ptr<TFormatWalk> NewArjWalk(TArcType) {
    return std::make_unique<TArjWalk>();
}

std::string ArjMethods(const TZipCommon& C, int Code, uint32_t) {
    return PickMethodName(Code,
                          {{0, "Stored"}, {1, "Most"}, {2, "2nd Most"}, {3, "2nd Fast"}, {4, "Fastest"}},
                          C.EntryTypeByte == 3 ? "Dir" : kUnsupportedMethod);
}

int64_t ArjScanProbe(TArcDetector&, const uint8_t* At, int64_t Have, int64_t Pos) {
    if (Have >= 4 && pvcommon::GetLE16(At) == aehdr::kArjMagic && pvcommon::GetLE16(At + 2) != 0)
        return Pos + 1;
    return 0;
}

int ArjImageEndGap(const uint8_t* Tail) {
    return pvcommon::GetLE16(Tail + 2) == aehdr::kArjMagic ? 2 : 0;
}
