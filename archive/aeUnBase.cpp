#include "archive/aeUnBase.h"

#include "archive/aeDiskMan.h"
#include "archive/aeFormats.h"
#include "archive/aeEntryIo.h"
#include "platform/fileio.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <new>
#include <vector>

namespace {

constexpr int64_t kCopyBlock = 32768;

} // namespace

TUnBase::TUnBase() {
    RestoreFileAttr = true;
    AsciiTranslation = false;
    DateAttribute = daFileDate;
    FileList = std::make_unique<TaeFileList>();
}

TUnBase::~TUnBase() {
    DropPending();
}

ae::EntryWorkspace& TUnBase::Workspace() {
    if (!FWorkspace) FWorkspace = std::make_unique<ae::EntryWorkspace>();
    return *FWorkspace;
}

void TUnBase::ExtractArchive(int&, TStream*) {}

void TUnBase::ExtractChosen(const std::function<void()>& Scan, const std::function<bool(size_t)>& Entry) {
    try {
        Scan();
        BytesLeft = TotalPackedSize;
        for (size_t i = 0; i < FileList->Count() && !Cancel(); ++i)
            if (!Entry(i)) break;
    } catch (const std::bad_alloc&) {
        RaiseError(FArchiveFile, "", "0", kMsgOutOfMemory);
    }
}

void TUnBase::SeekData(int Handle, int64_t Data, int64_t Packed) {
    if (platform::seekFile(Handle, Data) != Data || (Packed >= 0 && Data + Packed > ArchiveSize))
        RaiseError(FArchiveFile, "", "0", kMsgReadError);
}

int TUnBase::Extract() {
    return Run(0);
}
int TUnBase::Test() {
    return Run(7);
}

int TUnBase::Run(uint8_t Mode) {
    ReadMode = 0;
    WriteMode = Mode;
    if (CpuType == cpt80486) CpuType = cptAuto;
    const std::string savedArchive = FArchiveFile;
    // Volume changes may replace ArchiveFile during the run; it is set back however the
    // run ends, and no temporary output outlives it.
    struct Restore {
        TUnBase& u;
        const std::string& name;
        ~Restore() {
            u.DropPending();
            u.FWorkspace.reset();
            u.FArchiveFile = name;
        }
    } restore{*this, savedArchive};

    TRunSpec spec;
    spec.Handles = ExtractableArcTypes;
    RunOperation(spec, [&](int& handle) {
        Password.clear();
        FileName.clear();
        ScanEnd = ArchiveSize;
        MaxFileDosDate = 0;
        FileList->Clear();
        FSafeFolders.clear();
        FAbsentTarget.clear();
        FRunFileMode = platform::newFileMode();
        if (WriteMode == 0 || WriteMode == 2 || WriteMode == 3) {
            if (FExtractDir.empty()) SetExtractDir({});
            const std::string dir = FExtractDir.empty() ? platform::currentDir() : FExtractDir;
            if (DiskManager) {
                DiskManager->SetDrive(dir);
                OutputDriveType = DiskManager->DriveType;
            }
        }
        ExtractArchive(handle, nullptr);
        FileList->Clear();
    });
    return FileCount;
}

TBeginResult TUnBase::BeginFile(std::string& StoredName, bool& Exists, TDateTime EntryDate) {
    Timer.Pause();
    struct Resume {
        TaeTimer& t;
        ~Resume() { t.Resume(); }
    } resume{Timer};
    if (OnProgress) ReportProgress(0, 0, TotalPackedSize);

    Exists = false;
    if (!BuildOutputName(StoredName)) {
        // A refused name is this entry's failure (reported by BuildOutputName), not the run's:
        // it is counted as a failed entry and the run goes on with the next one.
        if (Cancel()) return TBeginResult::brCancel;
        if (!StoredName.empty()) FireEvent(OnEnd, *this, StoredName, false);
        return TBeginResult::brSkip;
    }
    // Only a run that writes files cares about what is already there.
    Exists = WritesFiles() && platform::pathExists(FileName);
    FAbsentTarget = WritesFiles() && !Exists ? FileName : std::string();

    TOverwriteMode decision = OverwriteMode;
    if (ConfirmOverwrites && Exists) {
        if (OnFileExists) {
            FireEvent(OnFileExists, *this, FileName, EntryDate, OverwriteMode);
            decision = OverwriteMode;
        } else {
            decision = omSkip;
        }
    }
    if (Cancel()) return TBeginResult::brCancel;
    if (Exists && decision != omOverwrite) return TBeginResult::brSkip;

    ++FileCount;
    std::string name = WritesFiles() ? FileName : StoredName;
    bool extract = true;
    FireEvent(OnBegin, *this, name, FileCount, extract);
    if (extract && WritesFiles()) FireEvent(OnRenameCompressedFile, *this, name);
    if (Cancel()) return TBeginResult::brCancel;
    if (!extract) return TBeginResult::brSkip;
    if (WritesFiles()) {
        FileName = std::move(name);
    } else {
        // Nothing is written under the output path: what is said about this entry names it.
        StoredName = name;
        FileName = std::move(name);
    }
    return TBeginResult::brExtract;
}

// No folder between ExtractDir and the file may be a symlink: an earlier entry (or
// anyone) could otherwise point the output somewhere else.
bool TUnBase::SafeFolders(const std::string& OutputPath) {
    const std::string base = AppendDirTail(FExtractDir);
    if (base.empty() || OutputPath.compare(0, base.size(), base) != 0)
        return !platform::isSymlink(ExtractDirPart(OutputPath));
    for (size_t pos = OutputPath.find('/', base.size()); pos != std::string::npos;
         pos = OutputPath.find('/', pos + 1))
        if (platform::isSymlink(OutputPath.substr(0, pos))) return false;
    return true;
}

bool TUnBase::PrepareOutputPath(const std::string& OutputPath) {
    FOutputError.clear();
    if (OutputPath.empty() || OutputPath.back() == '/') {
        FOutputError = "no file name";
        return false;
    }
    const char* const symlinkText = "a folder on the way is a symbolic link";
    const std::string dir = ExtractDirPart(OutputPath);
    if (dir.empty() || !FSafeFolders.contains(dir)) {
        if (!SafeFolders(OutputPath)) {
            ReportError(OutputPath, "", "0", kMsgInvalidName);
            FOutputError = symlinkText;
            return false;
        }
        try {
            if (!dir.empty()) CreateDirPath(dir);
        } catch (const std::exception&) {
            FOutputError = "its folder cannot be created";
            return false;
        }
        // Checked again: a link could have been put in while the folders were made.
        if (!SafeFolders(OutputPath)) {
            FOutputError = symlinkText;
            return false;
        }
        if (!dir.empty() && platform::dirExists(dir)) FSafeFolders.insert(dir);
    }
    // BeginFile found nothing there a moment ago; anything that came since is refused when
    // the file is put in place.
    if (OutputPath != FAbsentTarget && platform::dirExists(OutputPath)) {
        FOutputError = "a folder stands where the file goes";
        return false;
    }
    return true;
}

int64_t TUnBase::OutputFileTime(uint32_t DosDate) const {
    uint32_t dos = DosDate;
    if (DateAttribute == daSysDate) dos = UnixTimeToDosLocal(static_cast<int64_t>(std::time(nullptr)));
    if (DateAttribute == daMaxFileDate && MaxFileDosDate) dos = MaxFileDosDate;
    if (FLastDosTime < 0 || dos != FLastDos) {
        FLastDosTime = DosLocalToUnixTime(dos);
        FLastDos = dos;
    }
    return FLastDosTime;
}

bool TUnBase::CreateOutput(int& Handle, std::unique_ptr<TStream>& Stream, const std::string& StoredName,
                           const std::string& OutputPath) {
    Handle = -1;
    FOutputError.clear();
    // An empty path, or a folder's (ending in '/'): there is no file to write.
    if (OutputPath.empty() || OutputPath.back() == '/') {
        FOutputError = "no file name";
        return false;
    }
    switch (WriteMode) {
    case 0:
    case 2: {
        DropPending();
        if (!PrepareOutputPath(OutputPath)) return false;
        const std::string dir = ExtractDirPart(OutputPath);
        platform::PendingFile file;
        if (!file.create(dir.empty() ? "." : dir, "." + ExtractFileNamePart(OutputPath) + ".", ".part")) {
            FOutputError = std::strerror(errno);
            return false;
        }
        FPending.emplace(Pending{std::move(file), OutputPath});
        if (WriteMode == 0) {
            // The extractor's handle is a second descriptor: closing it (and checking that
            // close) leaves the file itself open until it is put in place.
            Handle = FPending->fd = ::fcntl(FPending->file.fd(), F_DUPFD_CLOEXEC, 0);
            if (Handle < 0) {
                FOutputError = std::strerror(errno);
                DropPending();
                return false;
            }
            return true;
        }
        auto fs = std::make_unique<TFileStream>(FPending->file.reopenPath(), 1);
        if (!fs->Valid()) {
            FOutputError = std::strerror(errno);
            DropPending();
            return false;
        }
        Stream = std::move(fs);
        return true;
    }
    case 1:
        (void)StoredName;
        return StreamA != nullptr;
    case 3:
        return StreamB != nullptr;
    case 4:
        return false;
    default:
        return true; // test run: nothing is created
    }
}

bool TUnBase::CopyStored(int Source, TStream* SourceStream, int Dest, TStream* DestStream, int64_t Count,
                         const std::string& Name, bool Decrypt, int CrcMode) {
    std::vector<uint8_t> buf(static_cast<size_t>(std::min(Count, kCopyBlock)) + 1);
    const bool decrypt = Decrypt && FormatOf(FArcType).Cipher != ecNone;
    int64_t remaining = Count;
    while (remaining > 0) {
        const int64_t want = std::min(remaining, kCopyBlock);
        const int64_t got = ReadBlock(Source, SourceStream, want, 0, decrypt, buf.data());
        if (got <= 0) {
            ReportError(Name, "", "0", kMsgReadError);
            return false;
        }
        if (WriteMode >= 4)
            TestBlock(buf.data(), got, CrcMode); // a test run passes no data to WriteBlock
        else
            WriteBlock(Dest, buf.data(), 1, got, CrcMode, DestStream);
        remaining -= got;
        BytesLeft -= got;
        ReportProgress(Count - remaining, Count, TotalPackedSize);
        if (Cancel()) return false;
    }
    return true;
}

void TUnBase::ShortWrite(int Err) {
    // A write that wrote nothing without an error is a full device all the same.
    RaiseError(FileName, std::strerror(Err ? Err : ENOSPC), "0", kMsgWriteError);
    throw E_RAISE(kMsgWriteError); // only if an override of RaiseError returned
}

void TUnBase::TestBlock(const uint8_t* Buffer, int64_t Count, int CrcMode) {
    if (Count <= 0) return;
    if (TestWriteProc)
        // Not decrypted here, so the routine leaves the block as it is.
        TestWriteProc(Count, CrcMode, false, const_cast<uint8_t*>(Buffer));
    else
        UpdateCrc(CrcMode, Buffer, Count);
}

bool TUnBase::FinishFile(int& Handle, std::unique_ptr<TStream>& Stream, uint32_t Attr, uint32_t DosDate,
                         const std::string& Name, bool Passed, int Mode) {
    if (!WritesFiles() || !FPending) {
        Handle = -1;
        Stream.reset();
        return Passed;
    }
    FPending->fd = -1; // closed just below
    if (!CloseOutput(Handle, Stream)) {
        ReportError(Name, "", "0", kMsgCloseError);
        Passed = false;
    }
    Pending p = std::move(*FPending);
    FPending.reset();
    if (!Passed || Cancel()) {
        p.file.discard();
        return false;
    }
    const int fd = p.file.fd();
    // A mode the archive stored goes with the file as it is (read-only follows from it too);
    // otherwise the file gets what any new file gets under the umask.
    const bool stored = Mode >= 0 && WriteMode == 0 && RestoreFileAttr;
    platform::setFileMode(fd, stored ? Mode : FRunFileMode >= 0 ? FRunFileMode : platform::newFileMode());
    if (WriteMode == 0) {
        const int64_t t = OutputFileTime(DosDate);
        if (t >= 0) platform::setFileTimes(fd, t, t); // errors ignored, as a date is not the data
    }
    // Put in place, replacing whatever is at the target -- a file (read-only or not) or a
    // symlink, which is replaced and never followed.
    if (!p.file.commit(p.target)) {
        ReportError(Name, std::strerror(errno), "0", kMsgWriteError);
        return false;
    }
    if (WriteMode == 0 && RestoreFileAttr && Attr != 32 && !stored)
        platform::setFileAttributes(p.target, Attr);
    return true;
}

TUnBase::TEntryResult TUnBase::ExtractOne(const TEntryJob& Job, bool* Passed) {
    if (Passed) *Passed = false;
    std::string stored = Job.Name;
    bool exists = false;
    switch (BeginFile(stored, exists, Job.Date)) {
    case TBeginResult::brCancel:
        return TEntryResult::erCancelled;
    case TBeginResult::brSkip:
        BytesLeft -= Job.PackedSize;
        return TEntryResult::erSkipped;
    case TBeginResult::brExtract:
        break;
    }
    const std::string output = FileName;
    if (Job.Prepare) {
        const TEntryStep step = Job.Prepare();
        if (step == TEntryStep::esDone) {
            if (Passed) *Passed = true;
            if (Cancel()) return TEntryResult::erCancelled;
            EndEntry(output, Job.Name, true);
            return TEntryResult::erDone;
        }
        if (step != TEntryStep::esGo) {
            BytesLeft -= Job.PackedSize;
            EndEntry(output, Job.Name, false, false);
            return step == TEntryStep::esStop ? TEntryResult::erStopped : TEntryResult::erFailed;
        }
    }
    int out = -1;
    std::unique_ptr<TStream> outStream;
    if (!CreateOutput(out, outStream, stored, output)) {
        OutputFailed(output, WritesFiles() ? output : Job.Name);
        BytesLeft -= Job.PackedSize;
        return TEntryResult::erOutputFailed;
    }
    bool pass = false;
    try {
        pass = Job.Decode(out, outStream.get());
    } catch (const E_RAISE&) {
        pass = false; // already reported; the run goes on with the next entry
    }
    pass = FinishFile(out, outStream, Job.Attr, Job.DosDate, output, pass, Job.Mode);
    if (Job.Finished) Job.Finished(pass, output);
    if (Passed) *Passed = pass;
    if (Cancel()) return TEntryResult::erCancelled;
    EndEntry(output, Job.Name, pass);
    return TEntryResult::erDone;
}

void TUnBase::EndEntry(const std::string& Output, const std::string& Name, bool Passed, bool Decoded) {
    const std::string& fn = WritesFiles() ? Output : Name;
    if (OnEnd)
        FireEvent(OnEnd, *this, fn, Passed);
    else if (!Passed && Decoded)
        ReportError(fn, "", "0", kMsgFailsCrc);
}

TUnBase::TEntryStep TUnBase::PasswordStep(const std::string& Name,
                                          const std::function<bool(const std::string&)>& Accepts) {
    switch (SettlePassword(Name, Accepts)) {
    case TPasswordResult::prAccepted:
        return TEntryStep::esGo;
    case TPasswordResult::prNoEvent:
        return TEntryStep::esFailed;
    case TPasswordResult::prFailed:
        break;
    }
    ReportError(Name, "", "0", kMsgPasswordFailed);
    return TEntryStep::esStop;
}

TUnBase::TPasswordResult TUnBase::SettlePassword(const std::string& Name,
                                                 const std::function<bool(const std::string&)>& Accepts) {
    auto tryOne = [&](const std::string& pw) { return !pw.empty() && Accepts(pw); };
    if (tryOne(Password)) return TPasswordResult::prAccepted;
    for (const std::string& pw : Passwords) {
        if (tryOne(pw)) {
            Password = pw;
            return TPasswordResult::prAccepted;
        }
    }
    if (!OnGetPassword) {
        ReportError(Name, "OnGetPassword", "0", kMsgEventMissing);
        return TPasswordResult::prNoEvent;
    }
    for (int i = 0; i < std::max(1, PasswordAttempts); ++i) {
        std::string answer;
        if (!AskPassword(Name, answer)) break;
        if (tryOne(answer)) {
            Password = answer;
            Passwords.insert(Passwords.begin(), answer);
            return TPasswordResult::prAccepted;
        }
        Password.clear();
        ReportError(Name, "", "0", kMsgInvalidPassword);
    }
    return TPasswordResult::prFailed;
}

bool TUnBase::AskPassword(const std::string& Name, std::string& Answer) {
    bool tryAgain = true;
    Answer.clear();
    Timer.Pause();
    FireEvent(OnGetPassword, *this, Name, Answer, tryAgain);
    Timer.Resume();
    return tryAgain && !Cancel();
}

void TUnBase::OutputFailed(const std::string& Output, const std::string& FN) {
    ReportError(Output, FOutputError, "0", kMsgOpenError);
    FireEvent(OnEnd, *this, FN, false);
}

void TUnBase::DiscardOutput(int& Handle, std::unique_ptr<TStream>& Stream) {
    if (Handle >= 0) platform::closeFile(Handle);
    if (FPending && FPending->fd == Handle) FPending->fd = -1;
    Handle = -1;
    Stream.reset();
    DropPending();
}

// An output that was neither finished nor discarded (an exception, or an extractor that
// moved on): its handle is closed and its temporary file removed.
void TUnBase::DropPending() {
    if (!FPending) return;
    if (FPending->fd >= 0) platform::closeFile(FPending->fd);
    FPending->file.discard();
    FPending.reset();
}
