// TZipFront's calls into ZIPDLL.DLL and UNZDLL.DLL: loading, the parameter records, the
// callback, and the operations built on them.
#include "common/PathParts.h"
#include "platform/dynlib.h"
#include "platform/fileio.h"
#include "platform/trash.h"
#include "platform/ui_hooks.h"
#include "zipdll/ZipFront.h"
#include "zipdll/ZipMsgs.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <random>

using namespace zipfront;

namespace {

// One library and its two entry points, shared by every instance of the component.
struct LibSlot {
    platform::DynLib lib;
    void* exec = nullptr;
    DllVersionFn version = nullptr;
};
LibSlot& zipSlot() {
    static LibSlot s;
    return s;
}
LibSlot& unzSlot() {
    static LibSlot s;
    return s;
}

// Owns the texts and arrays a parameter record points to, for the length of one call.
class RecordTexts {
public:
    char* keep(const std::string& s) {
        texts_.emplace_back(s.begin(), s.end());
        texts_.back().push_back('\0');
        return texts_.back().data();
    }
    char* keepOrNull(const std::string& s) { return s.empty() ? nullptr : keep(s); }

private:
    std::deque<std::vector<char>> texts_;
};

// Clears a flag on every way out.
class BusyGuard {
public:
    explicit BusyGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyGuard() { flag_ = false; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    bool& flag_;
};

int32_t flag(bool on) {
    return on ? -1 : 0;
}

// The libraries read the archive after the component has changed the current folder,
// so they get its full path.
std::string absolutePath(const std::string& p) {
    if (p.empty() || p[0] == '/') return p;
    return platform::currentDir() + "/" + p;
}

// Text of the callback record: up to the first zero, trailing blanks and control
// characters removed, '\\' turned into the program's separator.
std::string callbackText(const char* area, size_t size) {
    std::string t(area, strnlen(area, size));
    while (!t.empty() && static_cast<unsigned char>(t.back()) <= ' ') t.pop_back();
    std::replace(t.begin(), t.end(), '\\', '/');
    return t;
}

void putText(TZipCallbackRec& rec, const std::string& s, size_t max) {
    std::memset(rec.Text, 0, sizeof(rec.Text));
    std::memcpy(rec.Text, s.data(), std::min({s.size(), max, sizeof(rec.Text) - 1}));
}

// A filler password for old libraries, which would otherwise ask for one.
std::string fillerPassword() {
    std::random_device rd;
    std::string s(80, ' ');
    for (auto& c : s) c = static_cast<char>('!' + rd() % 94);
    return s;
}

} // namespace

// ---- Callback ----

int32_t TZipFront::ZCallback(TZipCallbackRec* rec) {
    if (!rec || !rec->Caller) return 0;
    return static_cast<TZipFront*>(rec->Caller)->HandleCallback(*rec);
}

void TZipFront::Progress(ProgressType t, const std::string& name, int64_t size) {
    if (auto h = OnProgress) h(*this, t, name, size);
}

int32_t TZipFront::HandleCallback(TZipCallbackRec& rec) {
    const std::string text = callbackText(rec.Text, sizeof(rec.Text));
    switch (rec.ActionCode) {
    case zcaNewFile:
        Progress(ptNewFile, text, rec.Arg2);
        break;
    case zcaProgress:
        Progress(ptProgress, {}, rec.Arg2);
        break;
    case zcaEndOfBatch:
        Progress(ptEndOfBatch, {}, 0);
        break;
    case zcaMessage:
        Message = text;
        if (rec.Arg1 != 0) {
            ErrCode = rec.Arg1 & 0xFF;
            FullErrCode = rec.Arg1;
        }
        if (auto h = OnMessage) h(*this, rec.Arg1, text);
        break;
    case zcaTotalFiles:
        Progress(ptTotalFiles, {}, rec.Arg2);
        break;
    case zcaTotalSize:
        FTotalSize = rec.Arg2;
        Progress(ptTotalSize, {}, FTotalSize);
        break;
    case zcaNewName:
        if (auto h = OnSetNewName) {
            std::string name = text;
            bool changed = false;
            h(*this, name, changed);
            if (changed) putText(rec, name, 511);
            rec.Arg1 = changed ? 1 : 0;
        }
        break;
    case zcaPassword: {
        std::string pw;
        uint32_t repeat = static_cast<uint32_t>(std::max(rec.Arg2, 0));
        if (auto h = OnPasswordError)
            h(*this, pw, text, repeat);
        else
            pw = (rec.Arg1 & 1) ? GetAddPassword() : GetExtrPassword();
        if (!pw.empty()) {
            putText(rec, pw, 80);
            rec.Arg1 = 1;
        } else {
            repeat = 0;
            rec.Arg1 = 0;
        }
        rec.Arg2 = static_cast<int32_t>(std::min<uint32_t>(repeat, 15));
        break;
    }
    case zcaCrcError:
        if (auto h = OnCRC32Error) {
            bool doExtract = true;
            h(*this, text, static_cast<uint32_t>(rec.Arg1), static_cast<uint32_t>(rec.Arg2), doExtract);
            rec.Arg1 = doExtract ? 1 : 0;
        } else {
            rec.Arg1 = 2;
        }
        break;
    case zcaOverwrite:
        if (auto h = OnExtractOverwrite) {
            bool doOverwrite = (rec.Arg2 & 0xFF) != 0;
            h(*this, text, (rec.Arg1 & 1) != 0, doOverwrite);
            rec.Arg2 = doOverwrite ? 1 : 0;
        }
        break;
    case zcaSkipped:
        if (rec.Arg1 != 0) {
            ErrCode = rec.Arg1 & 0xFF;
            FullErrCode = rec.Arg1;
        }
        if (auto h = OnExtractSkipped) h(*this, text, static_cast<UnZipSkipTypes>(rec.Arg2 & 0xFF), rec.Arg1);
        break;
    case zcaWrittenTo:
        // A path too long for the record's text is not passed on: nobody could act on it.
        if (rec.Arg2 == 0 && !text.empty())
            if (auto h = OnFileWritten) h(*this, text, rec.Arg1 == 1);
        break;
    case zcaFileComment:
        if (auto h = OnFileComment) {
            // The library puts the entry's current comment in the second half of the text area.
            const char* cur = rec.Text + 256;
            std::string comment(cur, strnlen(cur, sizeof(rec.Text) - 256));
            bool changed = false;
            h(*this, text, comment, changed);
            if (changed && !comment.empty())
                putText(rec, comment, 511);
            else
                std::memset(rec.Text, 0, sizeof(rec.Text));
            rec.Arg1 = changed ? 1 : 0;
            rec.Arg2 = static_cast<int32_t>(std::min<size_t>(comment.size(), 511));
        }
        break;
    default:
        break;
    }
    const bool cancel = Cancel;
    // Pending events get through about 30 times a second, however often the library calls.
    if (rec.ActionCode != zcaProgress) FLastPump.Reset(); // every other call pumps at once
    if (FLastPump.Due()) platform::processMessages();
    return cancel ? -1 : 0;
}

// ---- Loading ----

namespace {
bool loadLib(TZipFront& z, LibSlot& slot, const char* file, const char* execName, const char* verName,
             int msgLoaded, int msgNoExec, int msgNoVer, int msgNotFound) {
    if (slot.lib.loaded()) return true;
    try {
        if (!slot.lib.load(file, z.DLLDirectory())) {
            const bool missing = slot.lib.error().find("not found") != std::string::npos;
            z.ShowZipMessage(msgNotFound, missing ? std::string() : "\n" + slot.lib.error());
            return false;
        }
        if (z.Trace) z.ShowZipMessage(msgLoaded);
        slot.exec = slot.lib.symbol(execName);
        slot.version = reinterpret_cast<DllVersionFn>(slot.lib.symbol(verName));
        if (!slot.exec || !slot.version) {
            z.ShowZipMessage(!slot.exec ? msgNoExec : msgNoVer);
            slot.lib.unload();
            slot.exec = nullptr;
            slot.version = nullptr;
            return false;
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
} // namespace

bool TZipFront::LoadZipDll() {
    return loadLib(*this, zipSlot(), "ZIPDLL.DLL", "ZipDllExec", "GetZipDllVersion", LZ_ZipDllLoaded,
                   LZ_NoZipDllExec, LZ_NoZipDllVers, LZ_NoZipDll);
}

bool TZipFront::LoadUnzDll() {
    return loadLib(*this, unzSlot(), "UNZDLL.DLL", "UnzDllExec", "GetUnzDllVersion", LU_UnzDllLoaded,
                   LU_NoUnzDllExec, LU_NoUnzDllVers, LU_NoUnzDll);
}

void TZipFront::UnloadZipDll() {
    zipSlot().lib.unload();
    zipSlot().exec = nullptr;
    zipSlot().version = nullptr;
}

void TZipFront::UnloadUnzDll() {
    unzSlot().lib.unload();
    unzSlot().exec = nullptr;
    unzSlot().version = nullptr;
}

int TZipFront::ZipDllVersion() {
    const bool here = !zipSlot().lib.loaded();
    if (!LoadZipDll()) return 0;
    const int v = zipSlot().version();
    if (here) UnloadZipDll();
    return v;
}

int TZipFront::UnzDllVersion() {
    const bool here = !unzSlot().lib.loaded();
    if (!LoadUnzDll()) return 0;
    const int v = unzSlot().version();
    if (here) UnloadUnzDll();
    return v;
}

// ---- Parameter records ----

namespace {

// Fills the fields shared by TZipParams and its old form (offsets 0 to 127).
template <class R>
void fillZipCommon(R& r, TZipFront& z, RecordTexts& texts, bool deleting, const std::string& archive) {
    const AddOpts& o = z.AddOptions;
    r.Handle = z.Unattended ? nullptr : z.OwnerWindow();
    r.Caller = &z;
    r.Version = 160;
    r.Callback = &TZipFront::ZCallback;
    r.fTraceEnabled = flag(z.Trace);
    r.Password = texts.keepOrNull(z.Password.substr(0, 81));
    r.Suffix = texts.keepOrNull(StoreSuffixList(z.AddStoreSuffixes));
    r.fEncrypt = deleting ? 0 : flag(o.has(AddEncrypt));
    r.fSystem = flag(o.has(AddHiddenFiles));
    r.fVolume = flag(o.has(AddVolume));
    r.fNoDirEntries = flag(!o.has(AddSeparateDirs));
    r.fVerbose = flag(z.Verbose || z.Trace);
    r.fQuiet = -1;
    r.fLevel = z.AddCompLevel;
    r.fJunkDir = deleting ? 0 : flag(!o.has(AddDirNames));
    r.fRecurse = deleting ? 0 : (o.has(AddRecurseDirs) ? 65535 : 0);
    r.fGrow = deleting ? 0 : -1;
    r.fForce = flag(o.has(AddForceDOS));
    r.fMove = deleting ? 0 : flag(o.has(AddMove));
    r.fDeleteEntries = deleting ? -1 : 0;
    r.fUpdate = deleting ? 0 : flag(o.has(AddUpdate));
    r.fFreshen = deleting ? 0 : flag(o.has(AddFreshen) && !o.has(AddUpdate));
    r.fLatestTime = flag(o.has(AddZipTime));
    r.argc = static_cast<int32_t>(z.FSpecArgs.size());
    r.pZipFN = texts.keep(archive);
}

} // namespace

// Runs ZIPDLL.DLL for adding or deleting; the file-spec list of the record per version.
static int32_t runZipDll(TZipFront& z, void* exec, int version, bool deleting, const std::string& archive,
                         const std::string& tempDir, const std::string& rootDir, const std::string& comment) {
    RecordTexts texts;
    auto fn = reinterpret_cast<ZipDllExecFn>(exec);
    if (version > 150) {
        auto rec = std::make_unique<TZipParams>();
        fillZipCommon(*rec, z, texts, deleting, archive);
        if (!tempDir.empty()) rec->fTempPath = texts.keep(tempDir);
        if (version > 159) {
            if (!comment.empty()) rec->fArchComment = texts.keep(comment);
            rec->fArchiveFilesOnly = z.AddOptions.has(AddArchiveOnly) ? 1 : 0;
            rec->fResetArchiveBit = z.AddOptions.has(AddResetArchive) ? 1 : 0;
        }
        std::vector<TZipSpecRec> specs(z.FSpecArgs.size());
        for (size_t i = 0; i < specs.size(); ++i) {
            if (deleting) {
                specs[i].FileSpec = texts.keep(z.FSpecArgs[i]);
                specs[i].Literal = z.FSpecArgsLiteral ? 1 : 0;
                continue;
            }
            TAddSpec s = ParseAddSpec(z.FSpecArgs[i], z.Password.substr(0, 81), rec->fEncrypt, rec->fRecurse);
            specs[i].FileSpec = texts.keep(s.Spec);
            specs[i].Password = s.Password ? texts.keep(*s.Password) : nullptr;
            specs[i].Encrypt = s.Encrypt;
            specs[i].Recurse = s.Recurse;
            specs[i].RootDir = texts.keepOrNull(rootDir);
        }
        rec->fFDS = specs.data();
        std::vector<char*> excl;
        if (version > 159) {
            for (auto& x : z.FSpecArgsExcl) excl.push_back(texts.keep(x));
            rec->fTotExFileSpecs = static_cast<int32_t>(excl.size());
            rec->fExFiles = excl.empty() ? nullptr : excl.data();
        }
        rec->fSeven = 7;
        return fn(rec.get());
    }
    auto rec = std::make_unique<TZipParams150>();
    fillZipCommon(*rec, z, texts, deleting, archive);
    const size_t n = std::min<size_t>(z.FSpecArgs.size(), kOldSpecSlots);
    rec->argc = static_cast<int32_t>(n);
    for (size_t i = 0; i < n; ++i) rec->FNV[i] = texts.keep(z.FSpecArgs[i]);
    rec->fSeven = 7;
    // The old library takes the same leading fields; its record simply continues differently.
    return fn(reinterpret_cast<TZipParams*>(rec.get()));
}

// ---- Add and delete ----

void TZipFront::Add() {
    SuccessCnt = 0;
    if (FSpecArgs.empty()) return ShowZipMessage(AD_NothingToZip);
    if (FZipFileName.empty()) return ShowZipMessage(GE_NoZipSpecified);
    if (Unattended && AddOptions.has(AddEncrypt) && Password.empty()) return ShowZipMessage(AD_UnattPassword);
    const bool span = AddOptions.has(AddDiskSpan) || AddOptions.has(AddDiskSpanErase);
    std::string target = absolutePath(FZipFileName);
    if (span) {
        if (AddOptions.has(AddFreshen) || AddOptions.has(AddUpdate))
            return ShowZipMessage(AD_NoFreshenUpdate);
        if (pvcommon::EndsWithNoCase(FZipFileName, ".exe")) return ShowZipMessage(11041);
    }
    if (FZipBusy) return;
    if (span) {
        target = MakeTempFileName();
        if (target.empty()) return ShowZipMessage(DS_NoTempFile);
        if (Verbose)
            if (auto h = OnMessage) h(*this, 0, "Temporary zipfile: " + target);
    }
    if (pvcommon::EndsWithNoCase(FZipFileName, ".exe") && SFXOffset == 0 &&
        !platform::pathExists(FZipFileName)) {
        const int r = ConvertSFX(true);
        if (r != 0) return ShowExceptionError(EZipFront(AD_AutoSFXWrong, r));
    }
    const bool loadedHere = !zipSlot().lib.loaded();
    struct Finish {
        TZipFront& z;
        bool loadedHere;
        std::string spanTemp;
        ~Finish() {
            z.FSpecArgs.clear();
            z.FSpecArgsLiteral = false;
            z.FSpecArgsExcl.clear();
            if (!spanTemp.empty()) platform::removeFile(spanTemp);
            if (loadedHere) z.UnloadZipDll();
            z.Cancel = false;
        }
    } finish{*this, loadedHere, span ? target : std::string()};
    {
        BusyGuard busy(FZipBusy);
        Cancel = false;
        if (!LoadZipDll()) return;
        try {
            const int version = zipSlot().version();
            SuccessCnt =
                runZipDll(*this, zipSlot().exec, version, false, target, TempDir, FRootDir, FZipComment);
            if (span && SuccessCnt > 0 && WriteSpan(target, FZipFileName) != 0) SuccessCnt = 0;
        } catch (const std::exception&) {
            ShowZipMessage(GE_FatalZip);
        }
    }
    if (SuccessCnt > 0) List();
}

void TZipFront::Delete() {
    SuccessCnt = 0;
    if (FSpecArgs.empty()) return ShowZipMessage(DL_NothingToDel);
    if (FZipFileName.empty() || !platform::fileExists(FZipFileName)) return ShowZipMessage(GE_NoZipSpecified);
    if (FZipBusy) return;
    const bool loadedHere = !zipSlot().lib.loaded();
    struct Finish {
        TZipFront& z;
        bool loadedHere;
        ~Finish() {
            z.FSpecArgs.clear();
            z.FSpecArgsLiteral = false;
            z.FSpecArgsExcl.clear();
            if (loadedHere) z.UnloadZipDll();
            z.Cancel = false;
        }
    } finish{*this, loadedHere};
    {
        BusyGuard busy(FZipBusy);
        Cancel = false;
        if (!LoadZipDll()) return;
        try {
            const int version = zipSlot().version();
            SuccessCnt = runZipDll(*this, zipSlot().exec, version, true, absolutePath(FZipFileName), TempDir,
                                   {}, FZipComment);
        } catch (const std::exception&) {
            ShowZipMessage(GE_FatalZip);
        }
    }
    if (SuccessCnt > 0) List();
}

// ---- Extract and test ----

static int32_t runUnzDll(TZipFront& z, void* exec, int version, const std::string& archive,
                         const std::string& targetDir) {
    RecordTexts texts;
    auto fn = reinterpret_cast<UnzDllExecFn>(exec);
    const ExtrOpts& o = z.ExtrOptions;
    std::string password = z.Password;
    if (version < 160 && z.Unattended && z.AddOptions.has(AddEncrypt) && password.empty())
        password = fillerPassword();
    auto fill = [&](auto& r) {
        r.Handle = z.Unattended ? nullptr : z.OwnerWindow();
        r.Caller = &z;
        r.Version = 160;
        r.Callback = &TZipFront::ZCallback;
        r.fTraceEnabled = flag(z.Trace);
        r.fPassword = texts.keep(password);
        r.fTest = flag(o.has(ExtrTest));
        r.fQuiet = -1;
        r.fVerboseEnabled = flag(z.Verbose || z.Trace);
        r.fUpdate = flag(o.has(ExtrUpdate));
        r.fFreshen = flag(o.has(ExtrFreshen) && !o.has(ExtrUpdate));
        r.fDirectories = flag(o.has(ExtrDirNames));
        r.fOverwrite = flag(o.has(ExtrOverWrite));
        r.fArgc = static_cast<int32_t>(z.FSpecArgs.size());
        r.pZipFN = texts.keep(archive);
        r.fSeven = 7;
    };
    if (version > 151) {
        auto rec = std::make_unique<TUnzParams>();
        fill(*rec);
        std::vector<TUnzSpecRec> specs(z.FSpecArgs.size());
        for (size_t i = 0; i < specs.size(); ++i) {
            specs[i].FileSpec = texts.keep(z.FSpecArgs[i]);
            specs[i].Literal = z.FSpecArgsLiteral ? 1 : 0;
        }
        rec->fUFDS = specs.empty() ? nullptr : specs.data();
        if (version >= 160) {
            rec->fPwdReqCount = static_cast<int32_t>(z.PasswordReqCount());
            rec->fExtractDir = texts.keepOrNull(targetDir);
        }
        return fn(rec.get());
    }
    auto rec = std::make_unique<TUnzParams151>();
    fill(*rec);
    const size_t n = std::min<size_t>(z.FSpecArgs.size(), kOldSpecSlots);
    rec->fArgc = static_cast<int32_t>(n);
    for (size_t i = 0; i < n; ++i) rec->FNV[i] = texts.keep(z.FSpecArgs[i]);
    return fn(reinterpret_cast<TUnzParams*>(rec.get()));
}

void TZipFront::Extract() {
    SuccessCnt = 0;
    const uint32_t savedReq = FPasswordReqCount;
    if (FZipFileName.empty() || !platform::fileExists(FZipFileName)) return ShowZipMessage(GE_NoZipSpecified);
    if (FUnzBusy) return;
    const bool loadedHere = !unzSlot().lib.loaded();
    struct Finish {
        TZipFront& z;
        bool loadedHere;
        uint32_t savedReq;
        std::string joined;
        ~Finish() {
            z.FSpecArgs.clear();
            z.FSpecArgsLiteral = false;
            z.FPasswordReqCount = savedReq;
            if (!joined.empty()) platform::removeFile(joined);
            if (loadedHere) z.UnloadUnzDll();
            z.Cancel = false;
        }
    } finish{*this, loadedHere, savedReq, {}};
    if (Unattended && Password.empty() && !OnPasswordError) {
        FPasswordReqCount = 0;
        ShowZipMessage(EX_UnAttPassword);
    }
    BusyGuard busy(FUnzBusy);
    Cancel = false;
    if (!LoadUnzDll()) return;
    std::string archive = absolutePath(FZipFileName);
    if (FTotalDisks > 0) {
        std::string joined = TempDir;
        if (ReadSpan(FZipFileName, joined) != 0) return;
        finish.joined = archive = absolutePath(joined);
    }
    // A target folder that is missing is made, and one that cannot be made stops the run:
    // extracting into whatever folder happens to be current would be wrong.
    std::string target;
    if (!ExtrBaseDir.empty()) {
        if (!platform::makeDirs(ExtrBaseDir) || !platform::dirExists(ExtrBaseDir))
            return ShowZipMessage(EX_FatalUnZip, "\nCannot use the folder " + ExtrBaseDir);
        target = absolutePath(ExtrBaseDir);
    }
    const int version = unzSlot().version();
    // Libraries from 160 on take the target folder in their record. An older one writes
    // into the current folder: it is entered for the run and left again before returning.
    std::string back;
    if (version < 160 && !target.empty()) {
        back = platform::currentDir();
        if (chdir(target.c_str()) != 0)
            return ShowZipMessage(EX_FatalUnZip, "\nCannot use the folder " + target);
    }
    struct Back {
        const std::string& dir;
        ~Back() {
            if (!dir.empty()) (void)!chdir(dir.c_str());
        }
    } leave{back};
    try {
        SuccessCnt = runUnzDll(*this, unzSlot().exec, version, archive, target);
    } catch (const std::exception&) {
        ShowZipMessage(EX_FatalUnZip);
    }
}

// ---- Temporary names ----

std::string TZipFront::MakeTempFileName() {
    std::string dir;
    if (!TempDir.empty()) {
        if (TempDir.back() != '/') TempDir += '/';
        dir = TempDir;
    }
    // The reserved file stays until the caller writes over it: the name is never freed
    // for someone else to take in between.
    platform::TempFile t = platform::makeTempFile(dir, "zip", ".zip");
    if (t.fd < 0) return {};
    platform::closeFile(t.fd);
    return t.path;
}

int TZipFront::EraseFile(const std::string& name) {
    const std::string path = name.find('/') == std::string::npos ? platform::currentDir() + "/" + name : name;
    if (!platform::pathExists(path)) return -1;
    if (HowToDelete == htdAllowUndo) return platform::moveToTrash(path) ? 0 : 1;
    return platform::removeFile(path) ? 0 : 1;
}

// ---- Password questions ----

// The password window: the edit's text when OK was pressed, else empty.
bool TZipFront::PasswordDlgRun(const std::string& caption, const std::string& prompt, std::string& text) {
    platform::PasswordQuestion q;
    q.caption = caption;
    q.prompt = prompt;
    q.okText = ZipLoadStr(PW_Ok);
    q.cancelText = ZipLoadStr(PW_Cancel);
    q.maxLength = 80;
    text.clear();
    if (platform::askPassword(q, text)) return true;
    text.clear();
    return false;
}

std::string TZipFront::GetAddPassword() {
    if (Unattended) {
        ShowZipMessage(PW_UnatAddPWMiss);
        return {};
    }
    std::string first, second;
    if (!PasswordDlgRun(ZipLoadStr(PW_Caption), ZipLoadStr(PW_MessageEnter), first) || first.empty())
        return {};
    if (!PasswordDlgRun(ZipLoadStr(PW_Caption), ZipLoadStr(PW_MessageConfirm), second) || second.empty())
        return {};
    if (first != second) {
        ShowZipMessage(GE_WrongPassword);
        return {};
    }
    return second;
}

std::string TZipFront::GetExtrPassword() {
    if (Unattended) {
        ShowZipMessage(PW_UnatExtPWMiss);
        return {};
    }
    std::string pw;
    PasswordDlgRun(ZipLoadStr(PW_Caption), ZipLoadStr(PW_MessageEnter), pw);
    return pw;
}
