#include "archive/format/aeUnACE.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "archive/format/aeAceHeaders.h"
#include "archive/aeMsgs.h"
#include "archive/aeUnHelpers.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

namespace {

constexpr int kMsgAceMissing = 25262;
constexpr int kMsgDiskFull = 25159;

// ---- the routines that stand in for a missing library ----
extern "C" void* NoOpen(TAceOpenArchiveData* D) {
    if (D) D->OpenResult = kAceOpenError;
    return nullptr;
}
extern "C" int NoClose(void*) {
    return kAceOk;
}
extern "C" int NoReadHeader(void*, TAceHeaderData*) {
    return kAceEndOfArchive;
}
extern "C" int NoProcess(void*, int, const char*) {
    return kAceOpenError;
}
extern "C" int NoSetPassword(void*, const char*) {
    return kAceOk;
}

// Binds every entry point to the library, or to the routine above that fails.
bool BindEntryPoints(const TOutsideLibrary& L, TAceLibrary& A) {
    bool all = true;
    all &= L.Bind("ACEOpenArchive", A.ACEOpenArchive, &NoOpen);
    all &= L.Bind("ACECloseArchive", A.ACECloseArchive, &NoClose);
    all &= L.Bind("ACEReadHeader", A.ACEReadHeader, &NoReadHeader);
    all &= L.Bind("ACEProcessFile", A.ACEProcessFile, &NoProcess);
    all &= L.Bind("ACESetPassword", A.ACESetPassword, &NoSetPassword);
    return all;
}

TOutsideLibraryCell<TAceLibrary>& Cell() {
    static TOutsideLibraryCell<TAceLibrary> c("unace.dll", &BindEntryPoints);
    return c;
}

// The library calls back here; the extractor is the one whose run it serves.
extern "C" int DataShim(const uint8_t* Data, uint32_t Size, void*) {
    return TUnOutsideLib::DataToCurrent(Data, Size);
}

extern "C" int VolumeShim(char* Name, int, void* User) {
    auto* u = static_cast<TUnACE*>(User);
    if (!u || !Name || TUnOutsideLib::Current() != u) return 0;
    return TUnOutsideLib::VolumeField(Name, kAceNameSize, [u](std::string& N) { return u->AceVolume(N); });
}

} // namespace

const TAceLibrary& AceLibrary() {
    return Cell().Api();
}

bool LoadAceLibrary() {
    return Cell().Load();
}

void UnloadAceLibrary() {
    Cell().Unload();
}

int AceResultMessage(int Code) {
    switch (Code) {
    case kAceNoMemory:
        return kMsgOutOfMemory;
    case kAceNotFound:
        return kMsgFileNotFound;
    case kAceDiskFull:
        return kMsgDiskFull;
    case kAceOpenError:
        return kMsgOpenError;
    case kAceReadError:
        return kMsgReadError;
    case kAceWriteError:
        return kMsgWriteError;
    case kAceBadCrc:
        return kMsgFailsCrc;
    case kAceBadArchive:
    case kAceNotSupported:
        return kMsgBadArcType;
    case kAceBadPassword:
        return kMsgInvalidPassword;
    case kAceUserCancel:
        return kMsgUserCanceled;
    default:
        return 0;
    }
}

TUnACE::TUnACE() = default;
TUnACE::~TUnACE() = default;

void TUnACE::CountEntries(THeaderReader& in, int64_t size, const std::string& Name) {
    aehdr::Bytes head = in.Fetch(0, 4);
    if (head.size() < 4) RaiseError(Name, "", "0", kMsgReadError);
    auto main = aehdr::parseAceMain(in.Fetch(0, 4u + aehdr::le16(head.data() + 2)));
    if (!main) RaiseError(Name, "", "0", kMsgBadArcType);
    int64_t off = static_cast<int64_t>(main->headerLength);
    while (off < size) {
        auto blk = aehdr::parseAceBlock(in.Fetch(static_cast<uint64_t>(off), aehdr::AceBlock::kBaseSize));
        if (!blk) break;
        int64_t next = off + static_cast<int64_t>(blk->totalHeaderLength());
        if (blk->type == aehdr::kAceTypeFile) {
            auto h = aehdr::parseAceFile(
                in.Fetch(static_cast<uint64_t>(off), static_cast<size_t>(blk->totalHeaderLength())));
            if (!h) break;
            next += h->packedSize;
            if (!(h->attributes & 0x10) && !(h->flags & aehdr::kAceFlagSplitBefore)) {
                TotalUnpackedSize += h->size;
                TotalPackedSize += h->packedSize;
                MaxFileDosDate = std::max(MaxFileDosDate, h->dosDateTime);
            } else if (h->flags & aehdr::kAceFlagSplitBefore) {
                TotalPackedSize += h->packedSize;
            }
        } else if (blk->flags & aehdr::kAceFlagAddSize) {
            aehdr::Bytes add = in.Fetch(static_cast<uint64_t>(off) + aehdr::AceBlock::kBaseSize, 4);
            if (add.size() < 4) break;
            next += aehdr::le32(add.data());
        }
        if (next <= off) break;
        off = next;
    }
}

bool TUnACE::AceVolume(std::string& Name) {
    // Without OnNextVolume a set ends with its first volume.
    if (!OnNextVolume) return false;
    if (!LibraryVolume(Name, 0)) return false;
    VolumeOpened(Name);
    return true;
}

void* TUnACE::OpenLibrary() {
    const TAceLibrary& lib = AceLibrary();
    TAceOpenArchiveData od;
    od.ArcName = FFirstVolume.c_str();
    od.OpenMode = kAceOpenExtract;
    od.DataProc = &DataShim;
    od.VolumeProc = &VolumeShim;
    od.User = this;
    FMessage[0] = 0;
    od.MessageBuffer = FMessage;
    od.MessageBufferSize = sizeof FMessage;
    void* arc = lib.ACEOpenArchive(&od);
    if (!arc || od.OpenResult != kAceOk) {
        if (arc) lib.ACECloseArchive(arc);
        RaiseResult(FFirstVolume, od.OpenResult, FMessage);
    }
    return arc;
}

int TUnACE::RunLibrary(void* Arc, int Operation, const std::string& Dest) {
    FMessage[0] = 0;
    const int r = AceLibrary().ACEProcessFile(Arc, Operation, Dest.empty() ? nullptr : Dest.c_str());
    RaisePending();
    return r;
}

bool TUnACE::Reopen(void*& Arc, int Index) {
    const TAceLibrary& lib = AceLibrary();
    lib.ACECloseArchive(Arc);
    Arc = nullptr;
    FArchiveFile = FFirstVolume;
    Arc = OpenLibrary();
    TAceHeaderData h;
    for (int i = 0; i <= Index; ++i) {
        if (lib.ACEReadHeader(Arc, &h) != kAceOk) return false;
        RaisePending();
        if (i < Index && lib.ACEProcessFile(Arc, kAceSkip, nullptr) != kAceOk) return false;
    }
    return true;
}

bool TUnACE::ProcessEntry(void*& Arc, const TAceHeaderData& H, int Index) {
    std::string name =
        platform::decodeArchiveName(std::string(H.FileName, strnlen(H.FileName, kAceNameSize)));
    std::replace(name.begin(), name.end(), '\\', '/');
    const bool folder = (H.FileAttr & 0x10) != 0;
    TLibraryEntry e;
    e.Name = name;
    e.DosDate = H.FileTime;
    e.Size = static_cast<int64_t>(H.UnpSize);
    e.Attr = H.FileAttr & 0x27;
    if (e.Attr == 0) e.Attr = 32;
    e.Skip = [&] {
        BeginLibraryEntry(e.Size, true, false);
        return RunLibrary(Arc, kAceSkip, {}) == kAceOk;
    };
    if (folder || !MatchesFileSpec(name, true)) return e.Skip();
    e.Process = [&](const std::string& Dest) { return ExtractOrTest(Arc, H, Index, name, Dest); };
    return LibraryEntry(e);
}

TUnOutsideLib::TLibraryOutcome TUnACE::ExtractOrTest(void*& Arc, const TAceHeaderData& H, int Index,
                                                     const std::string& Name, const std::string& Dest) {
    const TAceLibrary& lib = AceLibrary();
    auto processOnce = [&] {
        BeginLibraryEntry(static_cast<int64_t>(H.UnpSize), false, !Dest.empty());
        return RunLibrary(Arc, Dest.empty() ? kAceTest : kAceExtract, Dest);
    };
    const bool encrypted = (H.Flags & kAceHdrPassword) != 0;
    TPasswordRun p;
    p.Ok = kAceOk;
    p.BadPassword = kAceBadPassword;
    // One try with the password at hand first: a library that cannot decrypt at all says so
    // at once, and that is reported as it is -- asking for passwords it could never use
    // would end in a wrong "Invalid password".
    p.AtHandFirst = true;
    p.Run = [&] {
        if (encrypted) lib.ACESetPassword(Arc, Password.c_str());
        return processOnce();
    };
    // The library starts the entry afresh.
    p.Restart = [&] { return Reopen(Arc, Index); };
    bool gaveUp = false; // no password opened the entry
    const int r = RunWithPasswords(Name, encrypted, p, gaveUp);
    if (r != kAceOk && r != kAceBadCrc && !gaveUp && !Cancel()) ReportResult(Name, r, FMessage);
    return {r == kAceOk, gaveUp, r == kAceUserCancel, H.FileCRC, H.FileTime};
}

void TUnACE::ExtractArchive(int&, TStream*) {
    const TAceLibrary& lib = AceLibrary();
    StartLibraryRun(lib.Missing, kMsgAceMissing);
    TCurrentScope current(this);
    DropPending();
    FFirstVolume = FArchiveFile;
    void* arc = OpenLibrary();
    struct Close {
        void*& arc;
        TUnACE& u;
        ~Close() {
            if (arc) AceLibrary().ACECloseArchive(arc);
            u.DiscardOutput(u.FOut, u.FOutStream);
        }
    } close{arc, *this};
    for (int index = 0;; ++index) {
        TAceHeaderData h;
        FMessage[0] = 0;
        const int r = lib.ACEReadHeader(arc, &h);
        RaisePending();
        if (r != kAceOk) {
            if (r != kAceEndOfArchive && !Cancel()) ReportResult(FArchiveFile, r, FMessage);
            break;
        }
        if (!ProcessEntry(arc, h, index)) break;
        if (Cancel() || !arc) break;
    }
    if (Cancel()) RaiseError(FArchiveFile, "", "0", kMsgUserCanceled);
}
