#include "archive/format/aeUnZIP.h"
#include "archive/aeMsgs.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <new>
#include <span>

#include "archive/aeDiskMan.h"
#include "archive/aeHeaders.h"
#include "archive/aeEntryIo.h"
#include "archive/aeUnHelpers.h"
#include "archive/format/aeUnTAR.h"
#include "archive/format/aeZipDecode.h"
#include "archive/format/aeZipWalk.h"
#include "platform/codepage.h"
#include "platform/fileio.h"
#include "platform/volumes.h"

namespace {

constexpr int kMaxDiskRequests = 64; // a user who keeps inserting the wrong disk is asked again

using pvcommon::GetLE32;

// The methods DecodeZipEntry knows; the name of any other for the message.
bool MethodSupported(uint16_t m) {
    return m <= 6 || m == 8;
}
std::string MethodText(uint16_t m) {
    switch (m) {
    case 9:
        return "Deflate64, method 9";
    case 12:
        return "bzip2, method 12";
    case 14:
        return "LZMA, method 14";
    case 93:
        return "Zstandard, method 93";
    case 95:
        return "XZ, method 95";
    case 98:
        return "PPMd, method 98";
    case 99:
        return "AES encryption, method 99";
    default:
        return "method " + std::to_string(m);
    }
}
const char* const kZip64Text = "Zip64 entry";

bool IsFolderName(const std::string& name) {
    return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

} // namespace

// One read brings in the local headers and the data of many small entries that follow one
// another, where reading each header, seeking to its data and reading them would cost three
// calls per entry. Reads a whole window only while the entries come in the order they lie
// in the file; otherwise each read takes what one entry needs.
class TUnZIP::TReadAhead {
public:
    static constexpr std::size_t kWindow = std::size_t{1} << 18;
    // Entries whose packed data are no larger are decoded from the window.
    static constexpr std::size_t kMaxInWindow = kWindow / 2;

    explicit TReadAhead(int Handle) : FHandle{Handle} {}

    // The bytes [Offset, Offset + Count) as far as the file has them. When they are not all
    // in the window, a read from Offset brings at least Count and Hint bytes, and a whole
    // window when Offset is where the last entry's record ended.
    aehdr::Bytes Fetch(int64_t Offset, std::size_t Count, std::size_t Hint = 0) {
        if (Offset < 0) return {};
        const auto at = static_cast<uint64_t>(Offset);
        if (at < FStart || at - FStart > FLength || FLength - (at - FStart) < Count) {
            std::size_t want = std::max(Count, Hint);
            if (FFirst || Offset == FNext) want = std::max(want, kWindow);
            FFirst = false;
            if (FRoom < want) {
                FBuf = std::make_unique_for_overwrite<uint8_t[]>(want);
                FRoom = want;
            }
            const int64_t got = platform::readUpToAt(FHandle, Offset, FBuf.get(), static_cast<int64_t>(want));
            FLength = got > 0 ? static_cast<std::size_t>(got) : 0;
            FStart = at;
        }
        const std::size_t from = static_cast<std::size_t>(at - FStart);
        return {FBuf.get() + from, std::min(Count, FLength - from)};
    }
    // Where the entry just handled ends: a header found there is read with a window.
    void RecordEnds(int64_t Offset) { FNext = Offset; }
    // Forgets what was read and reads no more than asked (another disk of a spanned set
    // may be in the drive, under another handle).
    void Reset(int Handle) {
        FHandle = Handle;
        FLength = 0;
        FFirst = false;
        FNext = -1;
    }

private:
    int FHandle;
    std::unique_ptr<uint8_t[]> FBuf;
    std::size_t FRoom = 0, FLength = 0;
    uint64_t FStart = 0;
    int64_t FNext = -1;
    bool FFirst = true; // the first read takes a window
};

TUnBase::TEntryStep ZipPasswordStep(TUnBase& Ex, const std::string& Name,
                                    const std::array<uint8_t, 12>& Header, uint32_t Flags, uint32_t FileTime,
                                    uint32_t Crc) {
    return Ex.PasswordStep(Name, [&](const std::string& pw) {
        uint8_t plain[12];
        return ZipCheckHeader(Ex.Ctx().Keys, Header.data(), plain, Header.size(), Flags, pw, FileTime, Crc);
    });
}

void TUnZIP::ExtractArchive(int& ArchiveHandle, TStream*) {
    // Disk changes reopen the archive on the run's own handle, so whatever handle is open
    // at the end is the one the run closes.
    int& handle = ArchiveHandle;
    FSpanned = false;
    FDisk = 0;
    try {
        int64_t start = -1;
        bool central = false;
        if (ArcType() == atZipMV) {
            if (handle >= 0) platform::closeFile(handle);
            handle = platform::openFile(FArchiveFile, platform::OpenMode::Read);
            if (handle < 0) RaiseError(FArchiveFile, "", "0", kMsgOpenError);
            if (!OpenSpanned(handle)) return;
            central = FSpanned;
            start = central ? ZipCentralOffset : ArcStart - 1;
        } else {
            const uint32_t all = zdEndRecord | zdCentralHeader | zdLocalHeader;
            if (OnCorruptZipHeader && (ZipDirFlags & all) != all) {
                bool cancel = true;
                FireEvent(OnCorruptZipHeader, *this, static_cast<uint8_t>(ZipDirFlags), cancel);
                if (cancel) return;
            }
            central = (ZipDirFlags & zdCentralHeader) != 0;
            if (!central) ZipDirFlags = zdLocalHeader;
            start = central ? ZipCentralOffset : ArcStart - 1;
        }
        FSpans.clear();
        FSpanHint = 0;
        FCentralNames.clear();
        FChosen.clear();
        if (central)
            ScanCentral(handle, start);
        else
            ScanLocal(handle, start);
        BytesLeft = TotalPackedSize;
        if (central && !KeepsChosen()) {
            ExtractChosenCentral(handle, start);
            return;
        }
        TReadAhead ahead(handle);
        for (size_t i = 0; i < FileList->Count() && !Cancel(); ++i) {
            const TZipChosen& e = FileList->Record<TZipChosen>(i);
            std::optional<TCentralRef> names;
            if (e.CentralName >= 0 && static_cast<size_t>(e.CentralName) < FCentralNames.size()) {
                const TCentralName& n = FCentralNames[static_cast<size_t>(e.CentralName)];
                names.emplace(TCentralRef{n.Name, n.Raw, n.Utf8});
            }
            if (!ExtractEntry(handle, e, ahead, names ? &*names : nullptr)) break;
        }
    } catch (const std::bad_alloc&) {
        RaiseError(FArchiveFile, "", "0", kMsgOutOfMemory);
    }
}

// ---- spanned sets ----

// A spanned set: every disk holds the same file name, its label says its number. The
// directory is read from the disk with the end record (OnGetZipLastDisk); the entries are
// then read from the first disk on (OnGetZipFirstDisk), the decoders asking for each next
// disk. False when the run ends here (the user cancelled, or an event is missing).
bool TUnZIP::OpenSpanned(int& Handle) {
    RefreshArchiveDrive();
    const bool removable = DiskManager && DiskManager->DriveType == DRIVE_REMOVABLE;
    if (!removable) {
        // Parts on a fixed drive: the directory, when detection found it, is read in place.
        FSpanned = (ZipDirFlags & zdCentralHeader) != 0;
        return true;
    }
    FDisk = std::max(0, DiskManager->DiskNumber - 1);
    SetZipCmntBufSize(32000);
    if (!OnGetZipLastDisk) {
        ReportError(FArchiveFile, "OnGetZipLastDisk", "0", kMsgEventMissing);
        return false;
    }
    for (int asked = 0;; ++asked) {
        if (auto end = FindEnd(Handle)) {
            if (end->centralDisk != end->thisDisk) {
                FDisk = end->thisDisk;
                if (!SwitchDisk(Handle, end->centralDisk)) return false;
            }
            ZipCentralOffset = end->centralOffset;
            break;
        }
        if (asked >= kMaxDiskRequests) RaiseError(FArchiveFile, "", "0", kMsgBadFileHeader);
        bool cancel = true;
        FireEvent(OnGetZipLastDisk, *this, cancel);
        if (cancel) return false;
        ReopenArchive(Handle);
        FDisk = std::max(0, DiskManager->DiskNumber - 1);
    }
    FSpanned = true;
    return true;
}

// The end-of-central-directory record of the disk in the drive.
std::optional<aehdr::ZipEndRecord> TUnZIP::FindEnd(int Handle) {
    THeaderReader rd(Handle);
    auto end = pvcommon::zip::FindZipEnd(rd.Fetcher(), static_cast<uint64_t>(ArchiveSize));
    if (!end) return std::nullopt;
    return end->record;
}

bool TUnZIP::RequestFirstDisk(int& Handle) {
    if (!OnGetZipFirstDisk) {
        ReportError(FArchiveFile, "OnGetZipFirstDisk", "0", kMsgEventMissing);
        return false;
    }
    for (int asked = 0; asked < kMaxDiskRequests; ++asked) {
        bool cancel = true;
        FireEvent(OnGetZipFirstDisk, *this, cancel);
        if (cancel) {
            SetCancel(true);
            return false;
        }
        ReopenArchive(Handle);
        if (DiskManager->DiskNumber <= 1 && platform::fileExists(FArchiveFile)) {
            FDisk = 0;
            return true;
        }
    }
    RaiseError(FArchiveFile, "", "0", kMsgBadFileHeader);
    return false;
}

// Brings disk Disk (0-based) of a spanned set into the drive; false when the user cancels.
bool TUnZIP::SwitchDisk(int& Handle, int Disk) {
    if (!FSpanned || Disk == FDisk) return true;
    if (Disk == 0) return RequestFirstDisk(Handle);
    if (!OnGetZipNextDisk) {
        ReportError(FArchiveFile, "OnGetZipNextDisk", "0", kMsgEventMissing);
        return false;
    }
    for (int asked = 0; asked < kMaxDiskRequests; ++asked) {
        bool cancel = true;
        FireEvent(OnGetZipNextDisk, *this, std::to_string(Disk + 1), cancel);
        if (cancel) {
            SetCancel(true);
            return false;
        }
        ReopenArchive(Handle);
        if (DiskManager->DiskNumber == Disk + 1 && platform::fileExists(FArchiveFile)) {
            FDisk = Disk;
            return true;
        }
    }
    RaiseError(FArchiveFile, "", "0", kMsgBadFileHeader);
    return false;
}

// ---- the scan ----

bool TUnZIP::Choose(const TZipChosen& Entry, const std::string& Name, bool& Stop) {
    Stop = false;
    if (!MatchesFileSpec(Name, true)) return false;
    if (IsFolderName(Name)) {
        if (auto path = OutputPathFor(Name))
            MakeEntryFolder(*this, *path);
        else
            ReportError(Name, "", "0", kMsgInvalidName);
        return false;
    }
    if (!RoomFor(Entry, Name)) return false;
    TotalPackedSize += std::max<int64_t>(0, Entry.PackedSize - ((Entry.Flags & 1) ? 12 : 0));
    TotalUnpackedSize += Entry.UnpackedSize;
    MaxFileDosDate = std::max(MaxFileDosDate, Entry.DosDate);
    if (!IsWildList(FFileSpec)) Stop = true;
    return true;
}

// Removable and CD-ROM targets only: the entry must fit in the free space, counting the
// space of a file it replaces.
bool TUnZIP::RoomFor(const TZipChosen& Entry, const std::string& Name) {
    if (WriteMode != 0 && WriteMode != 2 && WriteMode != 3) return true;
    if (OutputDriveType != DRIVE_REMOVABLE && OutputDriveType != DRIVE_CDROM) return true;
    const std::string dir = ExtractDir().empty() ? platform::currentDir() : ExtractDir();
    platform::VolumeSpace space;
    if (!platform::volumeFreeSpace(dir, space)) return true; // the write itself will tell
    int64_t free = space.freeBytes;
    if (Entry.UnpackedSize < free) return true;
    const auto out = OutputPathFor(Name);
    if (out && platform::fileExists(*out)) {
        const int h = platform::openFile(*out, platform::OpenMode::Read);
        if (h < 0) {
            ReportError(*out, "", "0", kMsgOpenError);
            return false;
        }
        free += std::max<int64_t>(0, platform::fileSize(h));
        platform::closeFile(h);
        if (Entry.UnpackedSize < free) return true;
    }
    RaiseError(Name, "", "0", kMsgNoRoom);
    return false;
}

void TUnZIP::WalkCentral(int Handle, int64_t Offset, const TCentralVisit& Visit) {
    TReadAheadReader rd(Handle);
    const aehdr::Fetch fetch = rd.Fetcher();
    pvcommon::zip::ZipCentralRecord r;
    for (int32_t index = 0; !Cancel(); ++index) {
        const auto read = pvcommon::zip::ReadZipCentral(fetch, static_cast<uint64_t>(Offset), r, 0);
        if (read == pvcommon::zip::ZipCentralRead::VarShort)
            RaiseError(FArchiveFile, "", "0", kMsgBadFileHeader);
        if (read != pvcommon::zip::ZipCentralRead::Record) break;
        const aehdr::ZipCentralHeader* h = &r.header;
        bool utf8 = false;
        const std::string name = ZipCentralName(r, utf8);

        TZipChosen e;
        e.Zip64 = r.zip64;
        e.Flags = h->flags;
        e.Method = h->method;
        e.LocalOffset = static_cast<int64_t>(h->localOffset) + (FSpanned ? 0 : ZipOffsetBias);
        e.PackedSize = static_cast<int64_t>(h->packedSize);
        e.UnpackedSize = static_cast<int64_t>(h->size);
        e.Crc32 = h->crc32;
        e.DosDate = h->dosDateTime;
        e.Disk = static_cast<int>(h->diskNumber);
        e.Symlink = (h->versionMadeBy >> 8) == 3 && ((h->externalAttr >> 16) & 0170000) == 0120000;
        if ((h->versionMadeBy >> 8) == 3) e.UnixMode = static_cast<uint16_t>((h->externalAttr >> 16) & 0777);
        e.Attr = h->externalAttr & 0xFF;
        if (e.Attr == 0) e.Attr = 32;
        e.CentralName = index;
        if (!Visit(e, name, r)) break;
        Offset = static_cast<int64_t>(r.next);
    }
}

// A spanned set's entries lie on disks the user swaps: they are kept from the one read.
bool TUnZIP::KeepsChosen() const {
    return FSpanned || ArcType() == atZipMV;
}

void TUnZIP::ScanCentral(int Handle, int64_t Offset) {
    const bool keep = KeepsChosen();
    WalkCentral(
        Handle, Offset,
        [&](TZipChosen& e, const std::string& name, const pvcommon::zip::ZipCentralRecord& r) {
            // A local record takes at least its fixed header and its packed data (whose size a
            // Zip64 entry keeps elsewhere).
            FSpans.push_back({e.LocalOffset,
                              e.LocalOffset + static_cast<int64_t>(aehdr::ZipLocalHeader::kSize) +
                                  (e.Zip64 ? 0 : e.PackedSize),
                              e.Disk});
            // Folders and volume labels by their DOS attribute bits.
            const bool folderAttr = (r.header.externalAttr & 0x18) != 0;
            bool chosen = false, stop = false;
            if (!folderAttr || IsFolderName(name)) {
                if (keep) e.CentralName = static_cast<int32_t>(FCentralNames.size());
                chosen = Choose(e, name, stop);
                if (chosen && keep) {
                    FileList->AddRecord(e);
                    FCentralNames.push_back({name, r.rawName, (r.header.flags & aehdr::kZipFlagUtf8) != 0});
                }
            }
            if (!keep) FChosen.push_back(chosen);
            return !stop;
        });
    // The directory usually lists the entries in the order they lie in.
    if (!std::is_sorted(FSpans.begin(), FSpans.end())) std::sort(FSpans.begin(), FSpans.end());
    // The record reaching furthest so far: a later start before its end shares bytes with it.
    size_t widest = 0;
    for (size_t k = 1; k < FSpans.size(); ++k) {
        TZipSpan& cur = FSpans[k];
        if (FSpans[widest].Disk != cur.Disk) {
            widest = k;
            continue;
        }
        if (cur.Begin < FSpans[widest].End) cur.Shared = FSpans[widest].Shared = true;
        if (cur.End > FSpans[widest].End) widest = k;
    }
}

bool TUnZIP::Overlaps(const TZipChosen& Entry) const {
    if (FSpans.size() < 2 || Entry.CentralName < 0) return false;
    const TZipSpan key{Entry.LocalOffset, 0, Entry.Disk};
    // Entries mostly come in the order they lie in: the place after the last one found is
    // tried before a search.
    auto it = FSpans.begin() + static_cast<std::ptrdiff_t>(std::min(FSpanHint, FSpans.size()));
    if (it == FSpans.end() || *it < key || (it != FSpans.begin() && !(*(it - 1) < key)))
        it = std::lower_bound(FSpans.begin(), FSpans.end(), key);
    FSpanHint = static_cast<std::size_t>(it - FSpans.begin()) + 1;
    // Several records may start here (they all share their bytes, so all are marked).
    return it != FSpans.end() && it->Disk == Entry.Disk && it->Begin == Entry.LocalOffset && it->Shared;
}

void TUnZIP::ScanLocal(int Handle, int64_t Offset) {
    THeaderReader rd(Handle);
    if (FSpanned || ArcType() == atZipMV) {
        aehdr::Bytes b = rd.Fetch(static_cast<uint64_t>(Offset), 4);
        if (b.size() == 4 && GetLE32(b.data()) == aehdr::kZipSpanSig) Offset += 4;
    }
    namespace zip = pvcommon::zip;
    zip::ZipLocalRecord r;
    while (!Cancel()) {
        switch (zip::ReadZipLocal(rd.Fetcher(), static_cast<uint64_t>(Offset), r)) {
        case zip::ZipLocalRead::Record:
            break;
        case zip::ZipLocalRead::End:
            return;
        case zip::ZipLocalRead::Trailer:
        case zip::ZipLocalRead::Foreign:
            if (r.signature != aehdr::kZipCentralSig && r.signature != aehdr::kZipEndSig &&
                r.signature != aehdr::kZip64EndSig)
                ReportError(FArchiveFile, "", "0", kMsgBadFileHeader);
            return;
        case zip::ZipLocalRead::Short:
        case zip::ZipLocalRead::VarShort:
            RaiseError(FArchiveFile, "", "0", kMsgBadFileHeader);
        }
        const zip::ZipLocalHeader* h = &r.header;
        const std::string name = ZipStoredName(r.rawName, (h->flags & aehdr::kZipFlagUtf8) != 0);
        const auto data = static_cast<int64_t>(r.data);
        TZipChosen e;
        e.Flags = h->flags;
        e.Method = h->method;
        e.LocalOffset = Offset;
        e.PackedSize = h->packedSize;
        e.UnpackedSize = h->size;
        e.Crc32 = h->crc32;
        e.DosDate = h->dosDateTime;
        e.Attr = 32;
        e.Zip64 = h->packedSize == aehdr::kZip32Max || h->size == aehdr::kZip32Max;
        int64_t next = data + e.PackedSize;
        if ((h->flags & aehdr::kZipFlagDescriptor) && !e.Zip64 && e.PackedSize == 0) {
            // Streamed: the sizes and CRC follow the data in a descriptor.
            next = FindDescriptor(Handle, data, e);
            if (next < 0) {
                ReportError(name, "", "0", kMsgBadFileHeader);
                break;
            }
        }
        if (e.Zip64 || data + e.PackedSize > ArchiveSize) {
            if (!e.Zip64) {
                ReportError(name, "", "0", kMsgReadError);
                break;
            }
        }
        bool stop = false;
        if (Choose(e, name, stop)) FileList->AddRecord(e);
        if (stop || e.Zip64) break;
        Offset = next;
    }
}

// Looks for the data descriptor after a streamed entry's data: "PK\7\8", CRC, packed size,
// size, where the packed size is the distance from the data start (or the same without the
// signature, followed by the next header). Reads forward in blocks.
int64_t TUnZIP::FindDescriptor(int Handle, int64_t DataStart, TZipChosen& Entry) {
    THeaderReader rd(Handle);
    constexpr std::size_t kBlock = 1 << 16;
    for (int64_t pos = DataStart; pos < ArchiveSize && !Cancel(); pos += kBlock) {
        aehdr::Bytes b = rd.Fetch(static_cast<uint64_t>(pos), kBlock + 20);
        const std::size_t n = std::min<std::size_t>(b.size(), kBlock);
        for (std::size_t i = 0; i < n; ++i) {
            if (b[i] != 'P' || i + 16 > b.size()) continue;
            const uint32_t sig = GetLE32(b.data() + i);
            const int64_t at = pos + static_cast<int64_t>(i);
            if (sig == aehdr::kZipSpanSig &&
                GetLE32(b.data() + i + 8) == static_cast<uint64_t>(at - DataStart)) {
                Entry.Crc32 = GetLE32(b.data() + i + 4);
                Entry.PackedSize = at - DataStart;
                Entry.UnpackedSize = GetLE32(b.data() + i + 12);
                return at + 16;
            }
            if ((sig == aehdr::kZipLocalSig || sig == aehdr::kZipCentralSig) && at - 12 >= DataStart) {
                // A descriptor without its signature right before the next header.
                aehdr::Bytes d = rd.Fetch(static_cast<uint64_t>(at - 12), 12);
                if (d.size() == 12 && GetLE32(d.data() + 4) == static_cast<uint64_t>(at - 12 - DataStart)) {
                    Entry.Crc32 = GetLE32(d.data());
                    Entry.PackedSize = at - 12 - DataStart;
                    Entry.UnpackedSize = GetLE32(d.data() + 8);
                    return at;
                }
                b = rd.Fetch(static_cast<uint64_t>(pos), kBlock + 20);
            }
        }
    }
    return -1;
}

// ---- extraction ----

void TUnZIP::ExtractChosenCentral(int& Handle, int64_t Offset) {
    TReadAhead ahead(Handle);
    WalkCentral(Handle, Offset,
                [&](TZipChosen& e, const std::string& name, const pvcommon::zip::ZipCentralRecord& r) {
                    const auto index = static_cast<size_t>(e.CentralName);
                    if (index >= FChosen.size()) return false;
                    if (!FChosen[index]) return true;
                    const TCentralRef names{name, r.rawName, (r.header.flags & aehdr::kZipFlagUtf8) != 0};
                    return ExtractEntry(Handle, e, ahead, &names);
                });
}

bool TUnZIP::ExtractEntry(int& Handle, const TZipChosen& Entry, TReadAhead& Ahead,
                          const TCentralRef* central) {
    if (!SwitchDisk(Handle, Entry.Disk)) return false;
    // A spanned set's offsets are a disk's own, and its entries may go on on the next disk:
    // its reads go no further than one entry's header, and the data come from the handle.
    const bool spanned = FSpanned || ArcType() == atZipMV;
    if (spanned) Ahead.Reset(Handle);
    // The local header and its name in one read, and, for a small entry, its data too.
    const bool small = !spanned && Entry.PackedSize >= 0 &&
                       static_cast<uint64_t>(Entry.PackedSize) <= TReadAhead::kMaxInWindow;
    constexpr std::size_t kNameRoom = 1024;
    const std::size_t hint =
        small ? aehdr::ZipLocalHeader::kSize + kNameRoom + static_cast<std::size_t>(Entry.PackedSize)
              : kNameRoom;
    aehdr::Bytes b = Ahead.Fetch(Entry.LocalOffset, aehdr::ZipLocalHeader::kSize, hint);
    auto h = b.size() == aehdr::ZipLocalHeader::kSize && GetLE32(b.data()) == aehdr::kZipLocalSig
                 ? aehdr::parseZipLocal(b)
                 : std::nullopt;
    if (!h) {
        ReportError(FArchiveFile, "", "0", kMsgInconsistentLocal);
        BytesLeft -= Entry.PackedSize;
        return true;
    }
    aehdr::Bytes nb = Ahead.Fetch(Entry.LocalOffset + static_cast<int64_t>(aehdr::ZipLocalHeader::kSize),
                                  h->nameLength, hint);
    if (nb.size() < h->nameLength) {
        ReportError(FArchiveFile, "", "0", kMsgInconsistentLocal);
        return true;
    }
    const bool localUtf8 = (h->flags & aehdr::kZipFlagUtf8) != 0;
    const std::string_view localRaw{reinterpret_cast<const char*>(nb.data()), h->nameLength};
    // The directory's values hold -- the name listed and chosen included; a streamed
    // entry's local header has none. The two names differ only when their bytes or flags do.
    std::string localName;
    if (!central || localRaw != central->Raw || localUtf8 != central->Utf8)
        localName = ZipStoredName(aehdr::toString(nb.first(h->nameLength)), localUtf8);
    const std::string& name = central ? central->Name : localName;
    if (central && (localRaw != central->Raw || localUtf8 != central->Utf8) &&
        localName != ZipStoredName(std::string(central->Raw), central->Utf8))
        ReportError(name, "the local header names it " + localName + "; extracted as " + name, "0",
                    kMsgInconsistentLocal);
    if (Overlaps(Entry)) {
        ReportError(name, "its data overlap another entry's, not extracted", "0", kMsgBadFileHeader);
        BytesLeft -= Entry.PackedSize;
        FireEvent(OnEnd, *this, name, false);
        return true;
    }
    const int64_t data = Entry.LocalOffset + static_cast<int64_t>(aehdr::ZipLocalHeader::kSize) +
                         h->nameLength + h->extraLength;
    if (!spanned) Ahead.RecordEnds(data + std::max<int64_t>(0, Entry.PackedSize));
    // A small entry that is not encrypted and not a link is decoded from the bytes read
    // ahead, when they hold all its data; anything else is read from the handle.
    std::optional<std::span<const uint8_t>> inWindow;
    if (small && !(Entry.Flags & aehdr::kZipFlagEncrypted) && !Entry.Symlink) {
        const aehdr::Bytes packed = Ahead.Fetch(data, static_cast<std::size_t>(Entry.PackedSize), hint);
        if (packed.size() == static_cast<std::size_t>(Entry.PackedSize)) inWindow = packed;
    }
    TEntryJob job;
    job.Name = name;
    job.Date = DosDateToDateTimeSafe(h->dosDateTime);
    job.PackedSize = Entry.PackedSize;
    job.Attr = Entry.Attr;
    job.DosDate = h->dosDateTime;
    // The steps live here for the length of ExtractOne and go into the job by reference,
    // so that no entry allocates for them.
    const auto prepare = [&] {
        // Data the engine cannot decode fail with a message that says why.
        if (Entry.Zip64 || !MethodSupported(Entry.Method)) {
            ReportError(name, Entry.Zip64 ? kZip64Text : MethodText(Entry.Method), "0",
                        kMsgUnsupportedMethod);
            return TEntryStep::esFailed;
        }
        if (inWindow) return TEntryStep::esGo;
        SeekData(Handle, data);
        if (Entry.Symlink && !(Entry.Flags & aehdr::kZipFlagEncrypted))
            // A link passed over has its message already.
            return ExtractLink(Handle, Entry, data, name, FileName) ? TEntryStep::esDone
                                                                    : TEntryStep::esFailed;
        if (!(Entry.Flags & aehdr::kZipFlagEncrypted)) return TEntryStep::esGo;
        std::array<uint8_t, 12> header{};
        if (platform::readFile(Handle, header.data(), 12) != 12) {
            ReportError(name, "", "0", kMsgReadError);
            return TEntryStep::esFailed;
        }
        return ZipPasswordStep(*this, name, header, Entry.Flags, h->dosDateTime & 0xFFFF, Entry.Crc32);
    };
    job.Prepare = std::cref(prepare);
    const auto decode = [&](int out, TStream* outStream) {
        TZipDecodeEntry d;
        d.Flags = Entry.Flags;
        d.Method = Entry.Method;
        d.LocalOffset = Entry.LocalOffset;
        d.PackedSize = Entry.PackedSize;
        d.UnpackedSize = Entry.UnpackedSize;
        d.Crc32 = Entry.Crc32;
        d.Attr = Entry.Attr;
        return DecodeChecked(32, Entry.Crc32, [&] {
            return DecodeZipEntry(*this, Handle, nullptr, out, outStream, d, FileName,
                                  inWindow ? &*inWindow : nullptr);
        });
    };
    job.Decode = std::cref(decode);
    // Permission bits a Unix zip stored go with the file.
    if (Entry.UnixMode) job.Mode = Entry.UnixMode;
    job.Finished = [&](bool, const std::string&) {
        if (FSpanned && DiskManager) FDisk = std::max(0, DiskManager->DiskNumber - 1);
    };
    const TEntryResult r = ExtractOne(job);
    return r != TEntryResult::erCancelled && r != TEntryResult::erStopped;
}

bool TUnZIP::ExtractLink(int& Handle, const TZipChosen& Entry, int64_t DataStart, const std::string& Name,
                         const std::string& Output) {
    constexpr int64_t kMaxTarget = 4096;
    if (Entry.UnpackedSize > kMaxTarget || Entry.PackedSize > 2 * kMaxTarget) {
        ReportError(Name, "symbolic link target too long, not extracted", "0", kMsgInvalidName);
        return false;
    }
    if (platform::seekFile(Handle, DataStart) != DataStart) RaiseError(FArchiveFile, "", "0", kMsgReadError);
    ae::EntrySource src{*this, Handle, nullptr, Entry.PackedSize, false};
    ae::InputBuffer in{src, 4096};
    ae::VectorSink sink;
    const ae::DecodeResult r =
        ae::DecodeZipMethod(in, sink, Entry.Method, Entry.Flags, static_cast<uint64_t>(Entry.UnpackedSize));
    if (!r.ok() || Crc32Of(sink.data.data(), sink.data.size()) != Entry.Crc32) {
        ReportError(Name, "", "0", kMsgFailsCrc);
        return false;
    }
    return MakeSymlinkEntry(*this, Name, std::string(sink.data.begin(), sink.data.end()), Output);
}
