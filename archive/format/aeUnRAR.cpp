#include "archive/format/aeUnRAR.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <vector>

#include "archive/format/aeRarHeaders.h"
#include "archive/aeMsgs.h"
#include "archive/aeUnHelpers.h"
#include "archive/format/aeRarWalk.h"
#include "archive/format/aeUnTAR.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

namespace {

// ---- the routines that stand in for a missing library ----
extern "C" void* RarNoOpen(TRarOpenData* D) {
    if (D) D->OpenResult = kRarOpenError;
    return nullptr;
}
extern "C" int RarNoClose(void*) {
    return kRarCloseError;
}
extern "C" int RarNoReadHeader(void*, TRarHeaderData*) {
    return kRarEndArchive;
}
extern "C" int RarNoProcess(void*, int, const char*, const char*) {
    return kRarOpenError;
}
extern "C" void RarNoSetVolProc(void*, TRarChangeVolProc) {}
extern "C" void RarNoSetDataProc(void*, TRarProcessDataProc) {}
extern "C" void RarNoSetPassword(void*, const char*) {}

// Binds every entry point to the library, or to the routine above that fails.
bool BindEntryPoints(const TOutsideLibrary& L, TRarLibrary& A) {
    bool all = true;
    all &= L.Bind("RAROpenArchive", A.RAROpenArchive, &RarNoOpen);
    all &= L.Bind("RARCloseArchive", A.RARCloseArchive, &RarNoClose);
    all &= L.Bind("RARReadHeader", A.RARReadHeader, &RarNoReadHeader);
    all &= L.Bind("RARProcessFile", A.RARProcessFile, &RarNoProcess);
    all &= L.Bind("RARSetChangeVolProc", A.RARSetChangeVolProc, &RarNoSetVolProc);
    all &= L.Bind("RARSetProcessDataProc", A.RARSetProcessDataProc, &RarNoSetDataProc);
    all &= L.Bind("RARSetPassword", A.RARSetPassword, &RarNoSetPassword);
    return all;
}

TOutsideLibraryCell<TRarLibrary>& Cell() {
    static TOutsideLibraryCell<TRarLibrary> c("unrar.dll", &BindEntryPoints);
    return c;
}

// The library calls back here; the extractor is the one whose run it serves.
extern "C" int RarDataShim(uint8_t* Data, int Size) {
    return TUnOutsideLib::DataToCurrent(Data, Size);
}

extern "C" int RarVolumeShim(char* Name, int Mode) {
    TUnOutsideLib* u = TUnOutsideLib::Current();
    if (!u || !Name) return 0;
    return TUnOutsideLib::VolumeField(Name, kRarNameSize,
                                      [u, Mode](std::string& N) { return u->LibraryVolume(N, Mode); });
}

std::string FieldText(const char* Field) {
    return std::string(Field, strnlen(Field, kRarNameSize));
}

// Why a library result is what it is, for the message beside the entry's name.
std::string ResultDetail(int Code, const TRarHeaderData& H, int Errno) {
    if (Code == kRarBadData) return "its data could not be decoded";
    if ((Code == kRarWriteError || Code == kRarCreateError || Code == kRarCloseError) && Errno != 0)
        return std::strerror(Errno);
    if (Code != kRarNotSupported) return {};
    if (H.Flags & aehdr::kRarFlagPassword) return "encrypted RAR entries are not supported";
    if (H.Method != '0' && (H.UnpVer == 29 || H.UnpVer == 36))
        return "it uses a RAR filter program that is not supported";
    return "this entry's method is not supported";
}

// A Unix symbolic link: its data are the target.
bool IsRarSymlink(const TRarHeaderData& H) {
    return H.HostOS == 3 && (H.FileAttr & 0xF000) == 0xA000;
}

} // namespace

const TRarLibrary& RarLibrary() {
    return Cell().Api();
}

bool LoadRarLibrary() {
    return Cell().Load();
}

void UnloadRarLibrary() {
    Cell().Unload();
}

int RarResultMessage(int Code) {
    switch (Code) {
    case kRarEndArchive:
        return 25161;
    case kRarNoMemory:
        return kMsgOutOfMemory;
    case kRarBadData:
        return kMsgBadFileHeader;
    case kRarBadArchive:
    case kRarUnknownFormat:
        return kMsgBadArcType;
    case kRarOpenError:
        return kMsgOpenError;
    case kRarCreateError:
    case kRarWriteError:
        return kMsgWriteError;
    case kRarCloseError:
        return kMsgCloseError;
    case kRarReadError:
        return kMsgReadError;
    case kRarBrokenChain:
        return kMsgBrokenChain;
    case kRarBadPassword:
        return kMsgInvalidPassword;
    case kRarNotSupported:
        return kMsgUnsupportedMethod;
    default:
        return 0;
    }
}

TUnRAR::TUnRAR() = default;
TUnRAR::~TUnRAR() = default;

void TUnRAR::CountEntries(THeaderReader& in, int64_t size, const std::string& Name) {
    const TRarMarker marker = FindRarMarker(in.Fetcher(), size);
    if (marker.Rar5) RaiseError(Name, kRar5NotSupported, "0", kMsgBadArcType);
    const int64_t at = marker.At;
    if (at < 0) RaiseError(Name, "", "0", kMsgBadArcType);
    aehdr::Bytes mb = in.Fetch(static_cast<uint64_t>(at + 7), aehdr::kRarMainHeaderSize);
    if (mb.size() < aehdr::kRarMainHeaderSize) RaiseError(Name, "", "0", kMsgReadError);
    auto main = aehdr::parseRarBlock(mb);
    if (!main || main->type != aehdr::kRarTypeMain) RaiseError(Name, "", "0", kMsgBadFileHeader);
    // A larger archive header is passed over.
    int64_t off = at + 7 + std::max<int64_t>(main->headerSize, aehdr::kRarMainHeaderSize);
    while (off < size) {
        auto blk = aehdr::parseRarBlock(in.Fetch(static_cast<uint64_t>(off), 11));
        if (!blk || blk->type == aehdr::kRarTypeEnd) break;
        const int64_t next = off + static_cast<int64_t>(blk->totalLength());
        if (blk->type == aehdr::kRarTypeFile && !(blk->flags & aehdr::kRarFlagSkip)) {
            auto h = aehdr::parseRarFileHeader(in.Fetch(static_cast<uint64_t>(off), blk->headerSize));
            if (!h) break;
            const bool folder =
                (h->flags & 0x00E0) == 0x00E0 ||
                (h->hostOs == 3 ? (h->attributes & 0xF000) == 0x4000 : (h->attributes & 0x10) != 0);
            if (!folder && !(h->flags & aehdr::kRarFlagSplitBefore)) {
                // Sizes come from the archive: totals saturate rather than overflow.
                auto add = [](int64_t& total, uint64_t v) {
                    const uint64_t room = static_cast<uint64_t>(INT64_MAX - total);
                    total += static_cast<int64_t>(std::min(v, room));
                };
                add(TotalUnpackedSize, h->size);
                add(TotalPackedSize, h->packedSize);
                MaxFileDosDate = std::max(MaxFileDosDate, h->dosDateTime);
            }
        }
        if (next <= off) break;
        off = next;
    }
}

int TUnRAR::RunLibrary(void* Arc, int Operation, const std::string& Dest) {
    const std::string folder = ExtractDirPart(Dest);
    errno = 0;
    const int r = RarLibrary().RARProcessFile(Arc, Operation, Dest.empty() ? nullptr : folder.c_str(),
                                              Dest.empty() ? nullptr : Dest.c_str());
    FLibraryErrno = errno;
    RaisePending();
    return r;
}

bool TUnRAR::ProcessEntry(void* Arc, const TRarHeaderData& H) {
    std::string name =
        platform::decodeArchiveName(FieldText(H.FileName), (H.Flags & aehdr::kRarFlagUnicode) != 0);
    std::replace(name.begin(), name.end(), '\\', '/');
    const bool unixHost = H.HostOS == 3;
    const bool folder = (H.Flags & 0x00E0) == 0x00E0 ||
                        (unixHost ? (H.FileAttr & 0xF000) == 0x4000 : (H.FileAttr & 0x10) != 0);
    TLibraryEntry e;
    e.Name = name;
    e.DosDate = H.FileTime;
    // The size as the header gives it, kept within what the counters can take.
    e.Size = static_cast<int64_t>(std::min<uint64_t>(H.UnpSize, INT64_MAX / 4));
    // Unix mode bits mean nothing as attributes here: a file ends as 32, a folder as 16.
    e.Attr = unixHost ? (folder ? 16u : 32u) : (H.FileAttr & 0x27);
    if (e.Attr == 0) e.Attr = 32;
    e.Skip = [&] {
        BeginLibraryEntry(e.Size, true, false);
        const int r = RunLibrary(Arc, kRarSkip, {});
        return r == 0 || r == kRarEndArchive;
    };
    if (!MatchesFileSpec(name, true)) return e.Skip();
    if (folder) {
        // Made even when empty; nothing of it goes through the library.
        if (auto path = OutputPathFor(name + "/"))
            MakeEntryFolder(*this, *path);
        else
            ReportError(name, "", "0", kMsgInvalidName);
        return e.Skip();
    }
    if (IsRarSymlink(H)) return ProcessLink(Arc, H, name, e);
    e.Process = [&](const std::string& Dest) { return ExtractOrTest(Arc, H, name, e.Size, Dest); };
    return LibraryEntry(e);
}

bool TUnRAR::ProcessLink(void* Arc, const TRarHeaderData& H, const std::string& Name,
                         const TLibraryEntry& E) {
    constexpr size_t kMaxTarget = 4096;
    bool ran = false;
    TEntryJob job;
    job.Name = Name;
    job.Date = DosDateToDateTime(H.FileTime);
    job.PackedSize = static_cast<int64_t>(std::min<uint64_t>(H.PackSize, INT64_MAX / 4));
    job.Prepare = [&] {
        ran = true;
        const std::string output = FileName;
        std::string target;
        BeginLibraryEntry(E.Size, false, false);
        const int r = CaptureLibraryData(target, kMaxTarget, [&] { return RunLibrary(Arc, kRarTest, {}); });
        if (Cancel()) return TEntryStep::esStop;
        if (r != 0) {
            ReportResult(Name, r, ResultDetail(r, H, FLibraryErrno));
            return TEntryStep::esFailed;
        }
        if (Crc32Of(target.data(), target.size()) != H.FileCRC) {
            ReportError(Name, "", "0", kMsgFailsCrc);
            return TEntryStep::esFailed;
        }
        return MakeSymlinkEntry(*this, Name, target, output) ? TEntryStep::esDone : TEntryStep::esFailed;
    };
    const TEntryResult r = ExtractOne(job);
    if (r == TEntryResult::erCancelled || r == TEntryResult::erStopped) return false;
    return ran || E.Skip();
}

TUnOutsideLib::TLibraryOutcome TUnRAR::ExtractOrTest(void* Arc, const TRarHeaderData& H,
                                                     const std::string& Name, int64_t Size,
                                                     const std::string& Dest) {
    const TRarLibrary& lib = RarLibrary();
    auto processOnce = [&] {
        BeginLibraryEntry(Size, false, !Dest.empty());
        return RunLibrary(Arc, Dest.empty() ? kRarTest : kRarExtract, Dest);
    };
    const bool encrypted = (H.Flags & aehdr::kRarFlagPassword) != 0;
    TPasswordRun p;
    p.BadPassword = kRarBadPassword;
    // A library that cannot decrypt at all says so before any password is asked for.
    p.AtHandFirst = true;
    p.Run = [&] {
        if (encrypted) lib.RARSetPassword(Arc, Password.c_str());
        return processOnce();
    };
    bool gaveUp = false; // no password opened the entry
    const int r = RunWithPasswords(Name, encrypted, p, gaveUp);
    if (r != 0 && !gaveUp && !Cancel()) ReportResult(Name, r, ResultDetail(r, H, FLibraryErrno));
    return {r == 0, gaveUp, false, H.FileCRC, H.FileTime};
}

void TUnRAR::ExtractArchive(int&, TStream*) {
    const TRarLibrary& lib = RarLibrary();
    StartLibraryRun(lib.Missing, 25260);

    TCurrentScope current(this);
    DropPending();
    TRarOpenData od;
    const std::string first = FArchiveFile;
    od.ArcName = first.c_str();
    od.OpenMode = kRarOpenExtract;
    void* arc = lib.RAROpenArchive(&od);
    if (!arc || od.OpenResult != 0) {
        if (arc) lib.RARCloseArchive(arc);
        RaiseResult(first, static_cast<int>(od.OpenResult), "");
    }
    struct Close {
        const TRarLibrary& lib;
        void* arc;
        TUnRAR& u;
        ~Close() {
            lib.RARCloseArchive(arc);
            u.DiscardOutput(u.FOut, u.FOutStream);
        }
    } close{lib, arc, *this};
    lib.RARSetProcessDataProc(arc, &RarDataShim);
    lib.RARSetChangeVolProc(arc, &RarVolumeShim);

    for (;;) {
        TRarHeaderData h{};
        const int r = lib.RARReadHeader(arc, &h);
        RaisePending();
        // A bad header of an entry made on Unix still gives its data (the library is
        // strict about fields such systems fill differently).
        if (r != 0 && !(r == kRarBadData && h.HostOS == 3)) {
            if (r != kRarEndArchive && !Cancel()) ReportResult(FArchiveFile, r, "");
            break;
        }
        if (!ProcessEntry(arc, h)) break;
        if (Cancel()) break;
    }
    if (Cancel()) RaiseError(FArchiveFile, "", "0", kMsgUserCanceled);
}
