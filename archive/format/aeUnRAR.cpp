#include "archive/format/aeUnRAR.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <vector>

#include "archive/aeHeaders.h"
#include "archive/aeMsgs.h"
#include "archive/aeUnHelpers.h"
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
std::string ResultDetail(int Code, uint32_t Flags) {
    if (Code == kRarNotSupported)
        return (Flags & aehdr::kRarFlagPassword) ? "encrypted entries are not supported"
                                                 : "this entry's method is not supported";
    return {};
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

void TUnRAR::CountVolume(const std::string& Name) {
    const int fd = platform::openFile(Name, platform::OpenMode::Read);
    if (fd < 0) RaiseError(Name, "", "0", kMsgOpenError);
    struct Close {
        int fd;
        ~Close() { platform::closeFile(fd); }
    } close{fd};
    THeaderReader in(fd);
    const int64_t size = platform::fileSize(fd);
    // The marker block: at the start, or after a self-extracting program.
    int64_t at = -1;
    constexpr int64_t kWindow = 65536;
    for (int64_t pos = 0; pos < size && at < 0 && pos < (int64_t{8} << 20); pos += kWindow - 6) {
        aehdr::Bytes b = in.Fetch(static_cast<uint64_t>(pos), kWindow);
        for (size_t i = 0; i + 7 <= b.size(); ++i)
            if (std::memcmp(b.data() + i, aehdr::kRarMarker, 7) == 0) {
                at = pos + static_cast<int64_t>(i);
                break;
            }
    }
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
                ++FCounted;
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
    BytesLeft = TotalUnpackedSize;
}

void TUnRAR::VolumeOpened(const std::string& Name) {
    try {
        CountVolume(Name);
    } catch (const E_RAISE&) {
        // Reported; the library finds the same fault itself.
    }
}

int TUnRAR::RunLibrary(void* Arc, int Operation, const std::string& Dest) {
    const std::string folder = ExtractDirPart(Dest);
    const int r = RarLibrary().RARProcessFile(Arc, Operation, Dest.empty() ? nullptr : folder.c_str(),
                                              Dest.empty() ? nullptr : Dest.c_str());
    RaisePending();
    return r;
}

bool TUnRAR::ProcessEntry(void* Arc, const TRarHeaderData& H) {
    const TRarLibrary& lib = RarLibrary();
    std::string name =
        platform::decodeArchiveName(FieldText(H.FileName), (H.Flags & aehdr::kRarFlagUnicode) != 0);
    std::replace(name.begin(), name.end(), '\\', '/');
    const bool unixHost = H.HostOS == 3;
    const bool folder = (H.Flags & 0x00E0) == 0x00E0 ||
                        (unixHost ? (H.FileAttr & 0xF000) == 0x4000 : (H.FileAttr & 0x10) != 0);
    // Unix mode bits mean nothing as attributes here: a file ends as 32, a folder as 16.
    uint32_t attr = unixHost ? (folder ? 16u : 32u) : (H.FileAttr & 0x27);
    if (attr == 0) attr = 32;
    const bool writesFiles = WriteMode == 0;

    auto skip = [&] {
        BeginLibraryEntry(static_cast<int64_t>(std::min<uint64_t>(H.UnpSize, INT64_MAX / 4)), true, false);
        const int r = RunLibrary(Arc, kRarSkip, {});
        return r == 0 || r == kRarEndArchive;
    };
    if (folder || !MatchesFileSpec(name, true)) return skip();

    // The size as the header gives it, kept within what the counters can take.
    const int64_t size = static_cast<int64_t>(std::min<uint64_t>(H.UnpSize, INT64_MAX / 4));
    auto lowerBytesLeft = [&] { BytesLeft = std::max<int64_t>(0, BytesLeft - size); };
    Ctx().Crc32Value = 0xFFFFFFFF;
    std::string stored = name;
    bool exists = false;
    switch (BeginFile(stored, exists, DosDateToDateTime(H.FileTime))) {
    case TBeginResult::brCancel:
        return false;
    case TBeginResult::brSkip:
        lowerBytesLeft();
        return skip();
    case TBeginResult::brExtract:
        break;
    }
    const std::string output = FileName;
    const std::string fn = (WriteMode == 0 || WriteMode == 2) ? output : name;
    std::string temp;
    const bool made =
        writesFiles ? CreateLibraryOutput(output, temp) : CreateOutput(FOut, FOutStream, stored, output);
    if (!made) {
        OutputFailed(output, fn);
        lowerBytesLeft();
        return skip();
    }

    auto processOnce = [&] {
        BeginLibraryEntry(size, false, writesFiles);
        return RunLibrary(Arc, writesFiles ? kRarExtract : kRarTest, writesFiles ? temp : std::string{});
    };
    int r = 0;
    bool gaveUp = false; // no password opened the entry
    if ((H.Flags & aehdr::kRarFlagPassword) && OnGetPassword && PasswordAttempts > 0) {
        r = kRarBadPassword;
        for (int i = 0; i < PasswordAttempts && r == kRarBadPassword; ++i) {
            bool typed = false;
            if (Password.empty()) {
                bool tryAgain = true;
                std::string answer;
                Timer.Pause();
                FireEvent(OnGetPassword, *this, name, answer, tryAgain);
                Timer.Resume();
                if (!tryAgain || Cancel()) break;
                if (answer.empty()) continue;
                Password = answer;
                typed = true;
            }
            lib.RARSetPassword(Arc, Password.c_str());
            r = processOnce();
            if (r == kRarBadPassword)
                Password.clear();
            else if (r == 0 && typed)
                Passwords.insert(Passwords.begin(), Password);
        }
        gaveUp = r == kRarBadPassword;
    } else {
        if (H.Flags & aehdr::kRarFlagPassword) lib.RARSetPassword(Arc, Password.c_str());
        r = processOnce();
    }

    bool pass = r == 0 && CrcPasses(H.FileCRC);
    if (r != 0 && !gaveUp && !Cancel()) {
        const int msg = RarResultMessage(r);
        ReportError(name, ResultDetail(r, H.Flags), "0", msg ? msg : kMsgReadError);
    }
    if (writesFiles)
        pass = FinishLibraryOutput(temp, output, attr, H.FileTime, pass);
    else
        pass = FinishFile(FOut, FOutStream, attr, H.FileTime, output, pass);
    if (Cancel()) return false;
    if (gaveUp) {
        // No password opened it: nothing more is extracted.
        SetFileSpec({});
        ReportError(name, "", "0", kMsgInvalidPassword);
        return false;
    }
    EndEntry(output, name, pass);
    return true;
}

void TUnRAR::ExtractArchive(int&, TStream*) {
    const TRarLibrary& lib = RarLibrary();
    if (lib.Missing) RaiseError(FArchiveFile, "", "0", 25260);
    FCounted = 0;
    TotalPackedSize = TotalUnpackedSize = 0;
    CountVolume(FArchiveFile);

    TCurrentScope current(this);
    DropPending();
    TRarOpenData od;
    const std::string first = FArchiveFile;
    od.ArcName = first.c_str();
    od.OpenMode = kRarOpenExtract;
    void* arc = lib.RAROpenArchive(&od);
    if (!arc || od.OpenResult != 0) {
        if (arc) lib.RARCloseArchive(arc);
        const int msg = RarResultMessage(static_cast<int>(od.OpenResult));
        RaiseError(first, "", "0", msg ? msg : kMsgOpenError);
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
            if (r != kRarEndArchive && !Cancel()) {
                const int msg = RarResultMessage(r);
                ReportError(FArchiveFile, "", "0", msg ? msg : kMsgReadError);
            }
            break;
        }
        if (!ProcessEntry(arc, h)) break;
        if (Cancel()) break;
    }
    if (Cancel()) RaiseError(FArchiveFile, "", "0", kMsgUserCanceled);
}
