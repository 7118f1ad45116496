#include "archive/aeArcToArc.h"

#include "archive/aeCompBase.h"
#include "archive/aeExtractors.h"
#include "archive/aeFormats.h"
#include "archive/aeUnBase.h"
#include "archive/aeZipCheck.h"
#include "common/PathParts.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

// Input types the converter has no extractor for, although some of them are listed.
constexpr TArcTypes kRefusedInputs = ArcBit(atAceExe) | ArcBit(atHa) | ArcBit(atJarExe) | ArcBit(atMsGZ);

struct TWriterRow {
    TOutArcType Out;
    TArcType Type;
    TCompressMethod Method;
};

constexpr TWriterRow kWriters[] = {
    {tyBh, atBh, cmFuse},      {tyCab, atCab, cmMsZip},  {tyLzh, atLzh, cmFrozen6},
    {tyZip, atZip, cmDeflate}, {tyTar, atTar, cmTarred}, {tyGzipTar, atTar, cmGzipTar},
    {tyJar, atJar, cmDeflate},
};

// The output's name while it is written: its own. The tar writer keeps a name ending in
// ".tgz" or ".tar.gz" as it is, so a gzip-compressed tar is written under one, and the tar
// inside is named after the output.
std::string WorkName(const std::string& Output, TOutArcType Type) {
    std::string name = ExtractFileNamePart(Output);
    if (name.empty()) name = "out";
    if (Type != tyGzipTar || pvcommon::EndsWithNoCase(name, ".tgz") ||
        pvcommon::EndsWithNoCase(name, ".tar.gz"))
        return name;
    return name + (pvcommon::EndsWithNoCase(name, ".tar") ? ".gz" : ".tar.gz");
}

const TWriterRow& RowOf(TOutArcType Type) {
    for (const TWriterRow& r : kWriters)
        if (r.Out == Type) return r;
    return kWriters[0];
}

} // namespace

TArc2Arc::TArc2Arc() {
    // Read-only, hidden, system and archive files: everything the input held.
    FileAttribute.SetftFileAttr(0x27);
}

TArc2Arc::~TArc2Arc() = default;

std::unique_ptr<TUnBase> TArc2Arc::NewExtractor(TArcType Type) {
    if (InArcTypes(kRefusedInputs, Type) || !IsArcTypeKnown(Type)) return nullptr;
    std::unique_ptr<TUnBase> e = CreateExtractor(Type);
    if (e && InArcTypes(ZipFamilyArcTypes, Type)) e->SetZipCmntBufSize(32000);
    return e;
}

std::unique_ptr<TCompBase> TArc2Arc::NewWriter(TOutArcType Type) {
    const TWriterRow& row = RowOf(Type);
    std::unique_ptr<TCompBase> w = CreateWriter(row.Type);
    if (w) w->SetCompressMethod(row.Method);
    return w;
}

TArcType TArc2Arc::WriterArcType(TOutArcType Type) {
    return RowOf(Type).Type;
}

void TArc2Arc::SetCancel(bool Value) {
    FAbort = Value;
    TZipCommon* current = CurrentComponent();
    if (current && current != this)
        current->SetCancel(true); // whatever was given: the running phase stops
    else
        TZipCommon::SetCancel(Value);
}

void TArc2Arc::Adopt(TZipCommon& Child) {
    if (Child.Cancel()) FAbort = true;
}

void TArc2Arc::Convert() {
    FWriterType = atNA;
    FSucceeded = false;
    if (FArchiveFile.empty() || !IsArcTypeKnown(FArcType)) return;
    TRunSpec spec;
    spec.OpenArchive = false;
    spec.RequireArchive = false;
    // Every failure reaches the user once: one raised through OnError (the last code reported
    // is the code raised) has been reported there; any other goes to OnError now. With no
    // OnError at all, the box below is the one report.
    int lastReported = -1;
    const TOnError listener = OnError;
    OnError = [&lastReported, &listener](TZipCommon& Sender, const std::string& FN, const std::string& MsgEx,
                                         const std::string& VolumeID, int ECode) {
        lastReported = ECode;
        if (listener) listener(Sender, FN, MsgEx, VolumeID, ECode);
    };
    struct Restore {
        TOnError& event;
        const TOnError& listener;
        ~Restore() { event = listener; }
    } restore{OnError, listener};
    auto report = [&](const std::string& text, int code) {
        if (listener)
            listener(*this, FArchiveFile, text, "0", code);
        else
            platform::messageBox("", text, platform::MsgType::Error, platform::mbOK);
    };
    try {
        RunOperation(spec, [this](int&) { Run(); });
    } catch (const E_RAISE& e) {
        if (lastReported != e.ECode || !listener) report(e.what(), e.ECode);
    } catch (const std::exception& e) {
        report(e.what(), 0);
    }
    if (FAbort) TZipCommon::SetCancel(true);
}

void TArc2Arc::Run() {
    FAbort = false;
    ProgressSink = [this](uint8_t f, uint8_t a) { DoProgress(f, a); };
    struct Finally {
        TArc2Arc& c;
        ~Finally() { c.CleanUp(); }
    } finally{*this};

    if (!CheckOutput()) return;
    const std::string folder = ExtractDirPart(OutArchiveFile);
    // What a killed conversion left beside the output or among the temporary files goes now.
    platform::removeStaleTemporaries(TempDir());
    platform::removeStaleTemporaries(folder.empty() ? "." : folder);
    if (!folder.empty() && !platform::makeDirs(folder)) RaiseError(folder, "", "0", kMsgCannotCreateDir);

    if (!ExtractPhase() || FAbort || FPhaseFailed) return;
    if (!CompressPhase() || FAbort || FPhaseFailed) return;
    IntegrityPass();
    if (FAbort || FPhaseFailed) return;
    // The new output takes the old one's place only now that it is complete and tested.
    if (FWorkFile != OutArchiveFile && !platform::renameFile(FWorkFile, OutArchiveFile))
        RaiseError(OutArchiveFile, "", "0", kMsgWriteError);
    FSucceeded = true;
}

// The checks on an existing output; false when the run ends here.
bool TArc2Arc::CheckOutput() {
    if (!platform::pathExists(OutArchiveFile)) return true;
    // The same file under any name (a link, another spelling) is refused, also for adding.
    if (platform::sameFile(FArchiveFile, OutArchiveFile))
        RaiseError(OutArchiveFile, "", "0", kMsgSameInputOutput);
    if (OutArcMethod != amCreateNew) return true;
    if (ConfirmOverwrites && (WriteMode == 0 || WriteMode == 2)) {
        if (!OnFileExists) return false;
        TDateTime date = 0;
        if (const auto t = platform::fileTimes(OutArchiveFile)) date = UnixToDateTime(t->lastWrite);
        FireEvent(OnFileExists, *this, OutArchiveFile, date, OverwriteMode);
    }
    // The old output stays until the new one replaces it.
    return !FAbort && OverwriteMode != omSkip;
}

bool TArc2Arc::ExtractPhase() {
    FPhaseFailed = false;
    std::unique_ptr<TUnBase> ex = NewExtractor(FArcType);
    if (!ex) RaiseError(FArchiveFile, "", "0", kMsgBadArcType);

    FPrivateDir = platform::makeTempDirRemovedOnSignal(TempDir(), "ae", FPrivateTicket);
    if (FPrivateDir.empty()) RaiseError(TempDir(), std::strerror(errno), "0", kMsgCannotCreateDir);
    const std::string base = AppendDirTail(FPrivateDir);
    ex->SetExtractDir(FPrivateDir);
    if (FAbort) return false;

    FListFile = FPrivateDir + ".lst";
    const int fd = ::open(FListFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        FListFile.clear();
        RaiseError(FPrivateDir, std::strerror(errno), "0", kMsgOpenError);
    }
    FListTicket = platform::removeOnTerminatingSignal(FListFile);
    std::string list;

    ex->SetArchiveFile(FArchiveFile);
    ex->UseStoredDirs = true;
    ex->Passwords = Passwords;
    ex->DateAttribute = daFileDate;
    ex->PasswordAttempts = PasswordAttempts;
    ex->SetFileSpec(FFileSpec.empty() ? std::vector<std::string>{"*.*"} : FFileSpec);
    ex->OnBegin = [&](TZipCommon& Sender, const std::string& FN, int Count, bool& Extract) {
        list += FN + "\n";
        const std::string relative = FN.compare(0, base.size(), base) == 0 ? FN.substr(base.size()) : FN;
        FireEvent(OnExtractBegin, Sender, relative, Count, Extract);
    };
    ex->OnEnd = [this](TZipCommon& Sender, const std::string& FN, bool Pass) {
        if (!Pass) FPhaseFailed = true;
        FireEvent(OnExtractEnd, Sender, FN, Pass);
    };
    ex->OnActivate = [this](TZipCommon& Sender) { FireEvent(OnExtractActivate, Sender); };
    ex->OnDeactivate = [this](TZipCommon& Sender) { FireEvent(OnExtractDeactivate, Sender); };
    ex->OnError = [this, &base](TZipCommon& Sender, const std::string& FN, const std::string& MsgEx,
                                const std::string& VolumeID, int ECode) {
        FPhaseFailed = true;
        // The private folder means nothing to the user: an entry is named as it is stored.
        const bool inside = FN.size() > base.size() && FN.compare(0, base.size(), base) == 0;
        FireEvent(OnError, Sender, inside ? FN.substr(base.size()) : FN, MsgEx, VolumeID, ECode);
    };
    ex->OnGetPassword = OnGetPassword;
    ex->OnNextVolume = OnNextVolume;
    ex->OnProgress = OnProgress;
    // A zip spanned over removable disks is read disk by disk, each asked for in turn.
    ex->OnGetZipFirstDisk = OnGetZipFirstDisk;
    ex->OnGetZipNextDisk = OnGetZipNextDisk;
    ex->OnGetZipLastDisk = OnGetZipLastDisk;

    struct Close {
        TArc2Arc& c;
        TUnBase& e;
        int fd;
        std::string& list;
        ~Close() {
            // Passwords typed in while extracting stay known; the list is kept for clean-up.
            c.Passwords = e.Passwords;
            const bool written = platform::writeFile(fd, list.data(), static_cast<int64_t>(list.size())) ==
                                 static_cast<int64_t>(list.size());
            if (!platform::closeFile(fd) || !written) c.FPhaseFailed = true;
        }
    } close{*this, *ex, fd, list};

    if (!IsArcTypeExtractable(ex->ArcType())) {
        ReportError(FArchiveFile, "", "0", kMsgBadArcType);
        FAbort = true;
        return false;
    }
    TChildRunScope child(Ctx());
    try {
        ex->Extract();
    } catch (...) {
        Adopt(*ex);
        throw;
    }
    Adopt(*ex);
    return true;
}

bool TArc2Arc::CompressPhase() {
    FPhaseFailed = false;
    const TWriterRow& row = RowOf(OutArcType);
    std::unique_ptr<TCompBase> w = NewWriter(OutArcType);
    if (!w) RaiseError(OutArchiveFile, "", "0", kMsgBadArcType);
    FWriterType = row.Type;

    // The writer works on a name of its own in the output's folder; adding starts from a
    // second link to the existing output, so that the old output is never changed in place.
    const std::string folder = ExtractDirPart(OutArchiveFile);
    FWorkDir = platform::makeTempDirRemovedOnSignal(folder.empty() ? "./" : AppendDirTail(folder), ".pvconv",
                                                    FWorkTicket);
    if (FWorkDir.empty()) RaiseError(OutArchiveFile, std::strerror(errno), "0", kMsgCannotCreateDir);
    FWorkFile = AppendDirTail(FWorkDir) + WorkName(OutArchiveFile, OutArcType);
    if (OutArcMethod == amAddToArc && platform::pathExists(OutArchiveFile) &&
        ::link(OutArchiveFile.c_str(), FWorkFile.c_str()) != 0)
        FWorkFile = OutArchiveFile; // no second link here: the writer's own safety holds

    w->SetArchiveFile(FWorkFile);
    w->DateAttribute = DateAttribute;
    w->RecurseDirs = true;
    w->Switch = swAdd;
    w->StoredDirNames = sdRelative;
    w->SetExcludeSpec({});
    w->SetFileSpecPaths({AppendDirTail(FPrivateDir) + "*.*"});
    w->FileAttribute.Assign(FileAttribute);
    if (!Passwords.empty()) w->Password = Passwords.front();
    w->OnBegin = OnCompressBegin;
    w->OnEnd = [this](TZipCommon& Sender, const std::string& FN, bool Pass) {
        if (!Pass) FPhaseFailed = true;
        FireEvent(OnCompressEnd, Sender, FN, Pass);
    };
    w->OnActivate = [this](TZipCommon& Sender) { FireEvent(OnCompressActivate, Sender); };
    w->OnDeactivate = [this](TZipCommon& Sender) { FireEvent(OnCompressDeactivate, Sender); };
    w->OnError = [this](TZipCommon& Sender, const std::string& FN, const std::string& MsgEx,
                        const std::string& VolumeID, int ECode) {
        FPhaseFailed = true;
        FireEvent(OnError, Sender, FN, MsgEx, VolumeID, ECode);
    };
    w->OnProgress = OnProgress;
    // Files of the input replace entries of the same name in an output added to.
    w->OnReplaceFile = [](TZipCommon&, const std::string&, const std::string&, TDateTime, TDateTime, int64_t,
                          int64_t, int, int, bool& Replace) { Replace = true; };

    TChildRunScope child(Ctx());
    try {
        w->Compress();
    } catch (...) {
        Adopt(*w);
        throw;
    }
    Adopt(*w);
    return platform::fileExists(FWorkFile);
}

void TArc2Arc::IntegrityPass() {
    // A format without a tester (a cabinet) is not tested, and that is no error.
    if (!IntegrityCheck || !OnIntegrityStatus || !InArcTypes(TestableArcTypes, FWriterType)) return;
    try {
        TZipCheck t;
        t.UseStoredDirs = true;
        t.SetArchiveFile(FWorkFile);
        t.Passwords = Passwords;
        t.PasswordAttempts = PasswordAttempts;
        t.SetFileSpec({"*.*"});
        t.TZipCommon::OnBegin = [this](TZipCommon& Sender, const std::string& FN, int, bool&) {
            FireEvent(OnIntegrityBegin, Sender, FN);
        };
        t.OnEnd = OnIntegrityEnd;
        t.OnActivate = OnIntegrityActivate;
        t.OnDeactivate = OnIntegrityDeactivate;
        t.OnStatus = [this](TZipCommon& Sender, const std::string& FN, bool Pass) {
            if (!Pass) FPhaseFailed = true;
            FireEvent(OnIntegrityStatus, Sender, FN, Pass);
        };
        t.OnError = [this](TZipCommon& Sender, const std::string& FN, const std::string& MsgEx,
                           const std::string& VolumeID, int ECode) {
            FPhaseFailed = true;
            FireEvent(OnError, Sender, FN, MsgEx, VolumeID, ECode);
        };
        t.OnGetPassword = OnGetPassword;
        t.OnProgress = OnProgress;
        t.OnNextVolume = OnNextVolume;
        if (!TZipCheck::Handles(t.ArcType())) {
            ReportError(FArchiveFile, "", "0", kMsgBadArcType);
            FPhaseFailed = true;
            return;
        }
        TChildRunScope child(Ctx());
        t.Run();
        Adopt(t);
    } catch (...) {
        // The pass drops its own exceptions; their errors were reported.
    }
}

void TArc2Arc::CleanUp() {
    if (!FListFile.empty()) {
        std::ifstream in(FListFile);
        for (std::string line; std::getline(in, line);)
            if (!line.empty()) FireEvent(OnRemoveTempfile, *this, line);
    }
    if (!FPrivateDir.empty()) {
        // Skipped and failed files and every folder go with the tree.
        platform::removeTree(FPrivateDir);
        FireEvent(OnRemoveTempfile, *this, AppendDirTail(FPrivateDir));
    }
    if (!FListFile.empty()) platform::removeFile(FListFile);
    if (!FWorkDir.empty()) platform::removeTree(FWorkDir); // an output not put in place
    for (int* ticket : {&FListTicket, &FPrivateTicket, &FWorkTicket}) {
        platform::forgetOnTerminatingSignal(*ticket);
        *ticket = -1;
    }
    FListFile.clear();
    FPrivateDir.clear();
    FWorkDir.clear();
    FWorkFile.clear();
}
