#include "archive/aeOutsideLib.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "archive/aeMsgs.h"
#include "archive/aeUnHelpers.h"
#include "platform/dynlib.h"
#include "platform/fileio.h"

namespace {

TUnOutsideLib* gCurrent = nullptr;
std::exception_ptr gPending; // thrown inside a callback, raised again after the library returns

} // namespace

// ---- the library ----

TOutsideLibrary::TOutsideLibrary(std::string FileName)
    : FFileName(std::move(FileName)), FLib(std::make_unique<platform::DynLib>()) {}

TOutsideLibrary::~TOutsideLibrary() = default;

bool TOutsideLibrary::Load() {
    // A library that cannot be opened is simply absent: the loader shows nothing (what the
    // error mode does for a library load elsewhere is the default here).
    FLoaded = FLib->load(FFileName);
    return FLoaded;
}

void TOutsideLibrary::Unload() {
    FLib->unload();
    FLoaded = false;
}

void* TOutsideLibrary::Symbol(const char* Name) const {
    return FLoaded ? FLib->symbol(Name) : nullptr;
}

// ---- the extractor base ----

TUnOutsideLib::TUnOutsideLib() = default;

TUnOutsideLib::~TUnOutsideLib() {
    DropLibraryOutput();
    if (gCurrent == this) gCurrent = nullptr;
}

TUnOutsideLib* TUnOutsideLib::Current() {
    return gCurrent;
}

void TUnOutsideLib::KeepPending(std::exception_ptr E) {
    gPending = std::move(E);
}

void TUnOutsideLib::RaisePending() {
    if (!gPending) return;
    std::exception_ptr p = gPending;
    gPending = nullptr;
    std::rethrow_exception(p);
}

void TUnOutsideLib::DropPending() {
    gPending = nullptr;
}

TUnOutsideLib::TCurrentScope::TCurrentScope(TUnOutsideLib* U) : Saved(gCurrent) {
    gCurrent = U;
    U->FFirstData = true;
}

TUnOutsideLib::TCurrentScope::~TCurrentScope() {
    if (gCurrent) gCurrent->DropLibraryOutput();
    gCurrent = Saved;
}

void TUnOutsideLib::BeginLibraryEntry(int64_t Size, bool Skipped, bool LibraryWrites) {
    FEntrySize = std::max<int64_t>(0, Size);
    FEntryDone = 0;
    FEntrySkipped = Skipped;
    FLibraryWrites = LibraryWrites;
    Ctx().Crc32Value = 0xFFFFFFFF;
}

int TUnOutsideLib::LibraryData(const uint8_t* Data, int64_t Size) {
    if (FFirstData) {
        FFirstData = false;
        SetRunTotals();
    }
    if (Size <= 0) return Cancel() ? 0 : 1;
    if (FCapture) {
        if (static_cast<uint64_t>(Size) > FCaptureMax - FCapture->size()) return 0;
        FCapture->append(reinterpret_cast<const char*>(Data), static_cast<size_t>(Size));
        return 1;
    }
    if (FEntrySkipped) {
        // Data the library decodes only to pass over them (a solid archive).
        TotalUnpackedSize = std::max<int64_t>(0, TotalUnpackedSize - Size);
        return 1;
    }
    // Every byte handed back goes into the check exactly once: here, or in a test run in
    // the tester's routine.
    if (WriteMode >= 4)
        TestBlock(Data, Size, 32);
    else
        UpdateCrc(32, Data, Size);
    if (Cancel()) return 0;
    FEntryDone += Size;
    BytesLeft = std::max<int64_t>(0, BytesLeft - Size);
    ReportProgress(FEntryDone, FEntrySize, TotalUnpackedSize);
    if (!FLibraryWrites && WriteMode < 4) {
        try {
            // The check value is already kept: the writer only writes.
            WriteBlock(FOut, Data, 0, Size, 32, FOutStream.get());
        } catch (const E_RAISE& e) {
            ReportError(FileName, "", "0", e.ECode);
            return 0;
        }
    }
    return Cancel() ? 0 : 1;
}

bool TUnOutsideLib::LibraryVolume(std::string& Name, int Mode) {
    if (Mode == 1) {
        VolumeOpened(Name);
        return true;
    }
    if (!OnNextVolume) return false;
    std::string name = Name;
    if (!AskNextVolume(name, VolumeNumber + 1)) return false;
    Name = name;
    FArchiveFile = name;
    return true;
}

void TUnOutsideLib::CountVolume(const std::string& Name) {
    const int fd = platform::openFile(Name, platform::OpenMode::Read);
    if (fd < 0) RaiseError(Name, "", "0", kMsgOpenError);
    struct Close {
        int fd;
        ~Close() { platform::closeFile(fd); }
    } close{fd};
    THeaderReader in(fd);
    CountEntries(in, platform::fileSize(fd), Name);
    BytesLeft = TotalUnpackedSize;
}

void TUnOutsideLib::VolumeOpened(const std::string& Name) {
    try {
        CountVolume(Name);
    } catch (const E_RAISE&) {
        // Reported; the library finds the same fault itself.
    }
}

void TUnOutsideLib::StartLibraryRun(bool Missing, int MissingMessage) {
    if (Missing) RaiseError(FArchiveFile, "", "0", MissingMessage);
    TotalPackedSize = TotalUnpackedSize = 0;
    CountVolume(FArchiveFile);
}

void TUnOutsideLib::ReportResult(const std::string& Name, int Code, const std::string& Detail,
                                 int Otherwise) {
    const int msg = ResultMessage(Code);
    ReportError(Name, Detail, "0", msg ? msg : Otherwise);
}

void TUnOutsideLib::RaiseResult(const std::string& Name, int Code, const std::string& Detail, int Otherwise) {
    const int msg = ResultMessage(Code);
    RaiseError(Name, Detail, "0", msg ? msg : Otherwise);
}

int TUnOutsideLib::RunWithPasswords(const std::string& Name, bool EntryEncrypted, const TPasswordRun& P,
                                    bool& GaveUp) {
    GaveUp = false;
    if (!EntryEncrypted || !OnGetPassword || PasswordAttempts <= 0) return P.Run();
    int r = P.BadPassword;
    bool ran = false;
    if (P.AtHandFirst) {
        r = P.Run();
        ran = true;
        if (r == P.BadPassword) Password.clear();
    }
    for (int i = 0; i < PasswordAttempts && r == P.BadPassword; ++i) {
        std::string pw = Password;
        const bool typed = pw.empty();
        if (typed) {
            if (!AskPassword(Name, pw)) break;
            if (pw.empty()) continue;
        }
        if (ran && P.Restart && !P.Restart()) break;
        Password = pw;
        r = P.Run();
        ran = true;
        if (r == P.BadPassword)
            Password.clear();
        else if (r == P.Ok && typed)
            Passwords.insert(Passwords.begin(), Password);
    }
    GaveUp = r == P.BadPassword;
    return r;
}

bool TUnOutsideLib::LibraryEntry(const TLibraryEntry& E) {
    auto lowerBytesLeft = [&] { BytesLeft = std::max<int64_t>(0, BytesLeft - E.Size); };
    Ctx().Crc32Value = 0xFFFFFFFF;
    std::string stored = E.Name;
    bool exists = false;
    switch (BeginFile(stored, exists, DosDateToDateTime(E.DosDate))) {
    case TBeginResult::brCancel:
        return false;
    case TBeginResult::brSkip:
        lowerBytesLeft();
        return E.Skip();
    case TBeginResult::brExtract:
        break;
    }
    // The library writes files itself; other modes get the data through the block writer.
    const bool libraryWrites = WriteMode == 0;
    const std::string output = FileName;
    std::string temp;
    const bool made =
        libraryWrites ? CreateLibraryOutput(output, temp) : CreateOutput(FOut, FOutStream, stored, output);
    if (!made) {
        OutputFailed(output, (WriteMode == 0 || WriteMode == 2) ? output : E.Name);
        lowerBytesLeft();
        return E.Skip();
    }
    const TLibraryOutcome o = E.Process(temp);
    bool pass = o.Decoded && CrcPasses(o.Crc32);
    if (libraryWrites)
        pass = FinishLibraryOutput(temp, output, E.Attr, o.DosDate, pass);
    else
        pass = FinishFile(FOut, FOutStream, E.Attr, o.DosDate, output, pass);
    if (Cancel() || o.Stop) return false;
    if (o.GaveUp) {
        SetFileSpec({});
        ReportError(E.Name, "", "0", kMsgInvalidPassword);
        return false;
    }
    EndEntry(output, E.Name, pass);
    return true;
}

bool TUnOutsideLib::CreateLibraryOutput(const std::string& Target, std::string& TempPath) {
    DropLibraryOutput();
    TempPath.clear();
    if (!PrepareOutputPath(Target)) return false;
    const std::string dir = ExtractDirPart(Target);
    int ticket = -1;
    platform::TempFile t = platform::makeTempFileRemovedOnSignal(
        dir.empty() ? "." : dir, "." + ExtractFileNamePart(Target) + ".", ".part", ticket);
    if (t.fd < 0) {
        FOutputError = std::strerror(errno);
        return false;
    }
    // The library opens the file by its name; this descriptor is not needed.
    platform::closeFile(t.fd);
    FLibTemp = TempPath = t.path;
    FLibTicket = ticket;
    return true;
}

bool TUnOutsideLib::FinishLibraryOutput(const std::string& TempPath, const std::string& Target, uint32_t Attr,
                                        uint32_t DosDate, bool Passed) {
    if (TempPath.empty() || TempPath != FLibTemp) return false;
    if (!Passed || Cancel()) {
        DropLibraryOutput();
        return false;
    }
    // The library's file is put in place only as a regular file of our own making.
    if (platform::isSymlink(TempPath) || !platform::fileExists(TempPath)) {
        DropLibraryOutput();
        ReportError(Target, "the library's output is missing", "0", kMsgWriteError);
        return false;
    }
    platform::setFileMode(TempPath, platform::newFileMode());
    const int64_t t = OutputFileTime(DosDate);
    if (t >= 0) platform::setFileTimes(TempPath, t, t);
    // rename replaces a file or a symbolic link at the target, never writing through it.
    if (!platform::renameFile(TempPath, Target)) {
        const std::string why = std::strerror(errno);
        DropLibraryOutput();
        ReportError(Target, why, "0", kMsgWriteError);
        return false;
    }
    FLibTemp.clear();
    if (FLibTicket >= 0) platform::forgetOnTerminatingSignal(FLibTicket);
    FLibTicket = -1;
    if (RestoreFileAttr && Attr != 32) platform::setFileAttributes(Target, Attr);
    return true;
}

void TUnOutsideLib::DropLibraryOutput() {
    if (!FLibTemp.empty()) platform::removeFile(FLibTemp);
    FLibTemp.clear();
    if (FLibTicket >= 0) platform::forgetOnTerminatingSignal(FLibTicket);
    FLibTicket = -1;
}

int TUnOutsideLib::CaptureLibraryData(std::string& Data, size_t Max, const std::function<int()>& Run) {
    Data.clear();
    FCapture = &Data;
    FCaptureMax = Max;
    struct Release {
        std::string*& p;
        ~Release() { p = nullptr; }
    } release{FCapture};
    return Run();
}

uint32_t TUnOutsideLib::EntryCrc() {
    return Ctx().Crc32Value;
}

bool TUnOutsideLib::CrcPasses(uint32_t Expected) {
    const uint32_t r = Ctx().Crc32Value;
    return r == Expected || (r ^ 0xFFFFFFFFu) == Expected;
}
