#include "archive/format/aeZipWalk.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "archive/aeArcLister.h"
#include "archive/aeCommon.h"
#include "archive/aeFormats.h"
#include "archive/aeDiskMan.h"
#include "archive/aeHeaders.h"
#include "platform/codepage.h"
#include "common/LittleEndian.h"
#include "common/ZipLayout.h"

std::string ZipStoredName(const std::string& Raw, bool Utf8) {
    std::string name = platform::decodeArchiveName(Raw, Utf8);
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

std::string ZipCentralName(const pvcommon::zip::ZipCentralRecord& R, bool& Utf8) {
    Utf8 = (R.header.flags & pvcommon::zip::kFlagUtf8) != 0;
    if (R.header.extraLength != 0) {
        if (auto u =
                pvcommon::zip::zipUnicodePath(R.extraBytes(), Crc32Of(R.rawName.data(), R.rawName.size()))) {
            Utf8 = true;
            return ZipStoredName(*u, true);
        }
    }
    return ZipStoredName(R.rawName, Utf8);
}

using aehdr::Bytes;
using aehdr::le16;
using aehdr::le32;

namespace {

class TZipWalk final : public TFormatWalk {
public:
    int64_t Prepare(TArcLister& L, int64_t Start) override;
    int64_t Step(TArcLister& L, int64_t Offset) override;

private:
    int64_t PrepareSpanned(TArcLister& L);
    bool SwitchDisk(TArcLister& L, int Index);
    std::optional<aehdr::ZipEndRecord> FindEnd(TArcLister& L);
    int64_t StepCentral(TArcLister& L, int64_t offset);
    int64_t StepLocal(TArcLister& L, int64_t offset);

    bool FCentral = false;
    bool FSpanned = false;
    int FDisk = 0, FLastDisk = 0;            // 0-based disk numbers of a spanned set
    pvcommon::zip::ZipCentralRecord FRecord; // reused from record to record
};

} // namespace

int64_t TZipWalk::Prepare(TArcLister& L, int64_t) {
    FSpanned = false;
    if (L.ArcType() == atZipMV) return PrepareSpanned(L);
    const uint32_t all = zdEndRecord | zdCentralHeader | zdLocalHeader;
    if (L.OnCorruptZipHeader && (L.ZipDirFlags & all) != all) {
        bool cancel = true;
        FireEvent(L.OnCorruptZipHeader, L, static_cast<uint8_t>(L.ZipDirFlags), cancel);
        if (cancel) return -1;
    }
    FCentral = (L.ZipDirFlags & zdCentralHeader) != 0;
    (void)FindEnd(L);
    if (FCentral) return L.ZipCentralOffset;
    if (L.ZipDirFlags & zdLocalHeader) return L.ArcStart - 1;
    // Neither a directory nor a local header was confirmed: try the local header at the start.
    Bytes b = L.In().Fetch(static_cast<uint64_t>(L.ArcStart - 1), 4);
    if (b.size() == 4 && le32(b.data()) == aehdr::kZipLocalSig) return L.ArcStart - 1;
    if (b.size() == 4 && le32(b.data()) == aehdr::kZipEndSig) return -1; // an empty zip
    L.Corrupt(kMsgBadFileHeader);
}

// The end-of-central-directory record of the open file. Its comment becomes the archive's
// comment.
std::optional<aehdr::ZipEndRecord> TZipWalk::FindEnd(TArcLister& L) {
    auto end = pvcommon::zip::FindZipEnd(L.In().Fetcher(), static_cast<uint64_t>(L.ArchiveSize),
                                         static_cast<size_t>(L.ZipCmntBufSize()));
    if (!end) return std::nullopt;
    L.ArchiveComment = platform::decodeArchiveName(aehdr::fixedString(
        aehdr::Bytes(reinterpret_cast<const uint8_t*>(end->comment.data()), end->comment.size())));
    return end->record;
}

// A spanned set lies on removable disks that all carry the same file name; the label of
// each says its number ("PKBACK# 002"). The directory is read from the disk that holds
// the end record (asked for through OnGetZipLastDisk), and from the disks after the one
// it starts on (OnGetZipNextDisk) when it runs over a disk's end.
int64_t TZipWalk::PrepareSpanned(TArcLister& L) {
    std::optional<aehdr::ZipEndRecord> end;
    for (int asked = 0; !(end = FindEnd(L)); ++asked) {
        if (!L.OnGetZipLastDisk) L.Corrupt(kMsgBadFileHeader);
        if (asked >= TArcLister::kMaxDiskRequests) L.Corrupt(kMsgBrokenChain);
        bool cancel = true;
        FireEvent(L.OnGetZipLastDisk, L, cancel);
        if (cancel) return -1;
        L.ReopenVolume();
    }
    FSpanned = true;
    FCentral = true;
    FLastDisk = end->thisDisk;
    FDisk = end->thisDisk;
    if (end->centralDisk > end->thisDisk) L.Corrupt(kMsgBadFileHeader);
    if (end->centralDisk != end->thisDisk && !SwitchDisk(L, end->centralDisk)) return -1;
    return end->centralOffset;
}

// Asks for disk Index (0-based) until the drive holds it; false when the user cancels.
bool TZipWalk::SwitchDisk(TArcLister& L, int Index) {
    if (!L.OnGetZipNextDisk) L.Corrupt(kMsgBrokenChain);
    for (int asked = 0; asked < TArcLister::kMaxDiskRequests; ++asked) {
        bool cancel = true;
        FireEvent(L.OnGetZipNextDisk, L, std::to_string(Index + 1), cancel);
        if (cancel) {
            L.SetCancel(true);
            return false;
        }
        L.ReopenVolume();
        if (L.DiskManager && L.DiskManager->DiskNumber == Index + 1) {
            FDisk = Index;
            return true;
        }
    }
    L.Corrupt(kMsgBrokenChain);
}

int64_t TZipWalk::Step(TArcLister& L, int64_t offset) {
    return FCentral ? StepCentral(L, offset) : StepLocal(L, offset);
}

int64_t TZipWalk::StepCentral(TArcLister& L, int64_t offset) {
    if (FSpanned && offset >= L.ArchiveSize && FDisk < FLastDisk) {
        // The directory goes on at the start of the next disk.
        const int64_t size = L.ArchiveSize;
        if (!SwitchDisk(L, FDisk + 1)) return -1;
        return offset - size;
    }
    pvcommon::zip::ZipCentralRecord& r = FRecord;
    switch (pvcommon::zip::ReadZipCentral(L.In().Fetcher(), static_cast<uint64_t>(offset), r,
                                          static_cast<size_t>(L.ZipCmntBufSize()))) {
    case pvcommon::zip::ZipCentralRead::Record:
        break;
    case pvcommon::zip::ZipCentralRead::Trailer:
        return -1;
    case pvcommon::zip::ZipCentralRead::Foreign:
        L.Corrupt(kMsgBadFileHeader);
    default:
        L.Corrupt(kMsgReadError);
    }
    const aehdr::ZipCentralHeader& h = r.header;
    TArcLister::Entry e;
    bool utf8 = false;
    e.Name = ZipCentralName(r, utf8);
    e.Comment = platform::decodeArchiveName(
        aehdr::fixedString(
            aehdr::Bytes(reinterpret_cast<const uint8_t*>(r.comment.data()), r.comment.size())),
        utf8);
    e.Packed = static_cast<int64_t>(h.packedSize);
    e.Unpacked = static_cast<int64_t>(h.size);
    e.Crc = h.crc32;
    e.Method = h.method;
    e.MethodFlags = h.flags | 0x40u;
    e.Date = L.DosDateToDateTime(h.dosDateTime);
    e.Attr = h.internalAttr;
    e.ExtAttr = h.externalAttr;
    e.VerMade = static_cast<uint8_t>(h.versionMadeBy);
    e.VerNeeded = static_cast<uint8_t>(h.versionNeeded);
    e.Encrypted = (h.flags & aehdr::kZipFlagEncrypted) != 0;
    e.Offset = static_cast<int64_t>(h.localOffset) + L.ZipOffsetBias;
    const bool isDir = (h.externalAttr & 0x10) != 0 || (!e.Name.empty() && e.Name.back() == '/');
    L.ExternalAttr = e.ExtAttr; // the method name of a folder looks at it
    L.Report(e, TArcLister::Filter::SpecBlankDirUncounted, isDir);
    return static_cast<int64_t>(r.next);
}

int64_t TZipWalk::StepLocal(TArcLister& L, int64_t offset) {
    namespace zip = pvcommon::zip;
    zip::ZipLocalRecord r;
    switch (zip::ReadZipLocal(L.In().Fetcher(), static_cast<uint64_t>(offset), r)) {
    case zip::ZipLocalRead::Record:
        break;
    case zip::ZipLocalRead::End:
        if (L.FileCount == 0 && L.In().Fetch(static_cast<uint64_t>(offset), 1).empty())
            L.Corrupt(kMsgBadFileHeader);
        return -1;
    case zip::ZipLocalRead::Trailer:
    case zip::ZipLocalRead::Foreign:
        if (zip::IsTrailerSig(r.signature) && L.FileCount > 0) return -1;
        if (r.signature == aehdr::kZipEndSig) return -1; // an empty archive
        L.Corrupt(kMsgBadFileHeader);
        return -1;
    case zip::ZipLocalRead::Short:
    case zip::ZipLocalRead::VarShort:
        L.Corrupt(kMsgReadError);
        return -1;
    }
    const zip::ZipLocalHeader& h = r.header;
    TArcLister::Entry e;
    e.Name = L.DecodeName(r.rawName, (h.flags & aehdr::kZipFlagUtf8) != 0);
    e.Packed = static_cast<int64_t>(r.packedSize);
    e.Unpacked = static_cast<int64_t>(r.size);
    e.Crc = h.crc32;
    e.Method = h.method;
    e.MethodFlags = h.flags;
    e.Date = L.DosDateToDateTime(h.dosDateTime);
    e.Attr = 0;
    e.ExtAttr = 0;
    e.VerMade = e.VerNeeded = static_cast<uint8_t>(h.versionNeeded);
    e.Encrypted = (h.flags & aehdr::kZipFlagEncrypted) != 0;
    e.Offset = offset;
    const bool isDir = !e.Name.empty() && e.Name.back() == '/';
    L.Report(e, TArcLister::Filter::SpecBlankDirUncounted, isDir);
    const int64_t next = static_cast<int64_t>(r.data + r.packedSize);
    // Sizes kept in a data descriptor leave nothing to step by: without the directory the
    // rest of the archive cannot be found.
    if ((h.flags & aehdr::kZipFlagDescriptor) && r.packedSize == 0 && h.method != 0)
        L.Corrupt(kMsgBadFileHeader);
    if (next > L.ArchiveSize) L.Corrupt(kMsgReadError);
    return next;
}

std::unique_ptr<TFormatWalk> NewZipWalk(TArcType) {
    return std::make_unique<TZipWalk>();
}

std::string ZipMethods(const TZipCommon& C, int Code, uint32_t Flags) {
    if (Code == 8) return TZipCommon::GetDeflateName(Flags);
    // A folder by its DOS attribute: the central record's external attribute (Flags has
    // 0x40 when the entry was read from the central directory), else the local record's.
    return PickMethodName(Code,
                          {{0, "Stored"},
                           {1, "Shrunk"},
                           {2, "Reduce-1"},
                           {3, "Reduce-2"},
                           {4, "Reduce-3"},
                           {5, "Reduce-4"},
                           {6, "Imploded"},
                           {7, "Tokened"}},
                          ((Flags & 0x40) ? C.ExternalAttr : C.FileAttr) & 0x10 ? "Dir" : kUnsupportedMethod);
}

TArcType ZipSpanMarkerSignature(TArcDetector& D, int) {
    D.ZipDirFlags |= zdLocalHeader;
    return D.Drive().Removable ? atZipMV : atZip;
}

TArcType ZipLaterDiskSignature(TArcDetector& D, int) {
    if (!D.Drive().Removable) return atNA;
    FindEndOfCentralDir(D);
    return atZipMV;
}

int64_t ZipScanProbe(TArcDetector& D, const uint8_t* At, int64_t Have, int64_t Pos) {
    // A local header followed by this word is a self-extractor's own string, not an entry.
    if (Have < 8 || pvcommon::GetLE32(At) != pvcommon::zip::kLocalSig ||
        pvcommon::GetLE32(At + 4) == 0x003D0B74)
        return 0;
    const int64_t s = FindEndOfCentralDir(D);
    return s != 0 ? s : Pos + 1;
}

// End-of-central-directory record (22 bytes): signature, disk numbers (2+2), entries on this
// disk (2), entries (2), directory size@12 (4), directory offset@16 (4), comment length@20.
// Central header (46 bytes): ..., local-header offset@42. Local header: 30 bytes.
int64_t FindEndOfCentralDir(TArcDetector& D) {
    namespace zip = pvcommon::zip;
    const int64_t size = D.ArchiveSize;
    const int64_t cmnt = D.ZipCmntBufSize();
    int64_t w = cmnt + 23;
    if (size < w) w = cmnt == 0 ? 23 : (size < 32769 ? size - 1 : 32768);
    D.ZipDirFlags = 0;
    D.ZipEndOffset = -1;
    if (w >= size || w < 22) return 0;
    std::vector<uint8_t> buf(static_cast<size_t>(w));
    const int64_t got = D.Source().ReadAt(size - w, buf.data(), w);
    if (got < 22) return 0;
    int64_t at = -1;
    for (int64_t i = got - 22; i >= 0; --i)
        if (pvcommon::GetLE32(&buf[size_t(i)]) == zip::kEndSig) {
            at = size - w + i;
            break;
        }
    if (at < 0 || !D.ReadAt(at, D.ZipEndRecord.data(), 22) ||
        pvcommon::GetLE32(D.ZipEndRecord.data()) != zip::kEndSig)
        return 0;
    D.ZipDirFlags |= zdEndRecord;
    D.ZipEndOffset = at;

    // The directory is where the record says, or -- when a program was put in front of the zip
    // without fixing its offsets -- right before the record; the difference is the bias.
    const uint32_t dirSize = pvcommon::GetLE32(&D.ZipEndRecord[12]);
    const uint32_t dirOffset = pvcommon::GetLE32(&D.ZipEndRecord[16]);
    const int64_t candidates[2] = {int64_t(dirOffset), at - int64_t(dirSize)};
    for (int64_t cd : candidates) {
        if (cd < 0 || !D.ReadAt(cd, D.ZipCentralHeader.data(), 46) ||
            pvcommon::GetLE32(D.ZipCentralHeader.data()) != zip::kCentralSig)
            continue;
        D.ZipDirFlags |= zdCentralHeader;
        D.ZipCentralOffset = cd;
        D.ZipOffsetBias = cd - int64_t(dirOffset);
        const int64_t local = int64_t(pvcommon::GetLE32(&D.ZipCentralHeader[42])) + D.ZipOffsetBias;
        if (local >= 0 && D.ReadAt(local, D.ZipLocalHeader.data(), 30) &&
            pvcommon::GetLE32(D.ZipLocalHeader.data()) == zip::kLocalSig) {
            D.ZipDirFlags |= zdLocalHeader;
            return local + 1;
        }
        return 0;
    }
    return 0;
}

int64_t FindZipCentral(TArcDetector& D) {
    constexpr int64_t kProbeFrom = 25000, kProbeBytes = 32768;
    D.ArcType = atUnknown;
    FindEndOfCentralDir(D);
    if ((D.ZipDirFlags & zdCentralHeader) && D.ZipCentralOffset > 0) {
        const int64_t local = int64_t(pvcommon::GetLE32(&D.ZipCentralHeader[42])) + D.ZipOffsetBias;
        return std::clamp<int64_t>(local, 0, D.ArchiveSize - 1) + 1;
    }
    if (D.ArchiveSize > kProbeFrom) {
        std::vector<uint8_t> buf(kProbeBytes);
        const int64_t got = D.Source().ReadAt(kProbeFrom, buf.data(), kProbeBytes);
        for (int64_t i = 0; i + 4 <= got; ++i)
            if (pvcommon::GetLE32(&buf[size_t(i)]) == pvcommon::zip::kLocalSig) {
                D.ZipDirFlags = zdLocalHeader;
                return kProbeFrom + i + 1;
            }
    }
    return 0;
}

bool FindZipAtFixedOffsets(TArcDetector& D) {
    D.ArcType = atNA;
    struct Spot {
        int64_t offset, minSize;
        bool localFlag;
    };
    static constexpr Spot spots[] = {{7612, 7617, true}, {15770, 15775, true}, {25661, 25666, false}};
    for (const Spot& s : spots) {
        uint32_t v;
        if (D.ArchiveSize >= s.minSize && D.DwordAt(s.offset, v) && v == pvcommon::zip::kLocalSig) {
            D.ArcType = atZipExe;
            D.ArcStart = s.offset + 1;
            if (s.localFlag) D.ZipDirFlags |= zdLocalHeader;
            return true;
        }
    }
    return false;
}

bool ZipProgramDirectoryStep(TArcDetector& D) {
    if (const int64_t s = FindEndOfCentralDir(D); s != 0) {
        D.ArcType = atZipExe;
        D.ArcStart = s;
        return true;
    }
    // Without an end record the scan looks further; with one, the zip is there or nowhere.
    if (!(D.ZipDirFlags & zdEndRecord)) return false;
    if (const int64_t s = FindZipCentral(D); s != 0) {
        D.ArcType = atZipExe;
        D.ArcStart = s;
    }
    return true;
}

bool ZipAnswerStep(TArcDetector& D) {
    if (D.ArcType == atZipMV) return true; // a spanned set's marker or later disk
    if (D.ArcType != atJar && D.ArcType != atZip && D.ArcType != atZipExe) return false;
    const uint32_t markerFlags = D.ZipDirFlags;
    if (const int64_t s = FindEndOfCentralDir(D); s != 0) {
        D.ArcStart = s;
    } else {
        D.ArcStart = 1 + int64_t(D.LeadingZeros());
        D.ZipDirFlags |= zdLocalHeader | markerFlags;
    }
    if (D.Drive().Removable && !(D.ZipDirFlags & zdEndRecord)) D.ArcType = atZipMV;
    return true;
}

bool ZipSpannedDiskStep(TArcDetector& D) {
    if (!D.Drive().Removable || !D.Drive().HasDiskNumber) return false;
    FindEndOfCentralDir(D);
    if (D.ZipDirFlags < zdLocalHeader) D.ArcType = atZipMV;
    return true;
}

bool ZipEndRecordStep(TArcDetector& D) {
    const int64_t s = FindEndOfCentralDir(D);
    if ((D.ZipDirFlags & (zdLocalHeader | zdEndRecord)) == (zdLocalHeader | zdEndRecord)) {
        D.ArcType = atZip;
        D.ArcStart = s;
    } else if (D.Drive().Removable && (D.ZipDirFlags & zdEndRecord) && !(D.ZipDirFlags & zdLocalHeader)) {
        D.ArcType = atZipMV;
    }
    return true;
}
