// Getting files out of the open archive: ExtractCore and the roads that end in it (the
// extract dialog, the history, "Extract to", multi-extraction, Install, Open and View),
// and the handlers of the components' extraction events.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

#include "app/core/Launcher.h"
#include "app/core/ListFormat.h"
#include "app/core/MainCore.h"
#include "zipdll/ZipFront.h"
#include "archive/aeBase.h"
#include "archive/aeMsgs.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"
#include "common/PathParts.h"
#include "common/SafePath.h"

using pvcommon::FileNamePart;
using pvcommon::FolderPart;
using pvcommon::WithoutExtension;

namespace fs = std::filesystem;

namespace {

constexpr const char* kSuccessText = "file(s) successfully extracted !";

std::string lowerExtension(const std::string& name) {
    std::string n = FileNamePart(name);
    size_t dot = n.find_last_of('.');
    if (dot == std::string::npos) return {};
    std::string ext = n.substr(dot);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return ext;
}

// The file's modification time as a TDateTime (0 when it cannot be read).
double fileDate(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    std::tm tm{};
    time_t t = st.st_mtime;
    if (!localtime_r(&t, &tm)) return 0;
    return EncodeListDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::string dateTimeToStr(double dt) {
    return dt == 0 ? std::string() : DisplayDateTime(dt);
}

int percent(int64_t done, int64_t total) {
    if (total <= 0) return 100;
    int64_t p = RoundEven(double(done) / double(total) * 100.0) + 1;
    return int(std::clamp<int64_t>(p, 0, 100));
}

void makeFolders(const std::string& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec); // a failure shows in the extraction's own error
}

// A new folder of its own below `parent`: "<parent><prefix>XXXXXX/", "" when it cannot be made.
std::string makeUniqueFolder(const std::string& parent, const std::string& prefix) {
    if (parent.empty()) return {};
    std::string tmpl = parent + prefix + "XXXXXX";
    if (!::mkdtemp(tmpl.data())) return {};
    return tmpl + "/";
}

} // namespace

// ---------------------------------------------------------------- the private temp folder

std::string TMainCore::PrivateTempFolder() {
    if (FPrivateTemp.empty() || !platform::dirExists(FPrivateTemp))
        FPrivateTemp = makeUniqueFolder(AppendSlash(FWorkTempFolder), "parvex-");
    return FPrivateTemp;
}

void TMainCore::RemovePrivateTemp() {
    if (FPrivateTemp.empty()) return;
    std::error_code ec;
    fs::remove_all(FPrivateTemp, ec);
    FPrivateTemp.clear();
}

bool TMainCore::ExtractAllTo(const std::string& folder) {
    return ExtractCore(false, false, folder, false, true);
}

// ---------------------------------------------------------------- ExtractCore

std::vector<std::string> TMainCore::SelectedStoredNames() const {
    std::vector<std::string> names;
    for (const TListRow& r : Rows)
        if (r.Selected) names.push_back(r.StoredName);
    return names;
}

const TListRow* TMainCore::FirstSelectedRow() const {
    for (const TListRow& r : Rows)
        if (r.Selected) return &r;
    return nullptr;
}

bool TMainCore::ExtractCore(bool selectedOnly, bool dirNames, const std::string& folder, bool skipOlder,
                            bool overwrite) {
    return ExtractNames(selectedOnly ? SelectedStoredNames() : std::vector<std::string>{}, !selectedOnly,
                        dirNames, folder, skipOlder, overwrite);
}

bool TMainCore::ExtractNames(const std::vector<std::string>& names, bool all, bool dirNames,
                             const std::string& folder, bool skipOlder, bool overwrite) {
    if (FHandlerKind == hkZipFront) {
        if (!FZip || FZip->Count() == 0) {
            platform::messageBox("Error", "No files to extract", platform::MsgType::Error, platform::mbOK);
            return false;
        }
        // Every entry: no names at all, which the component takes as every entry.
        return RunZipExtract(all ? std::vector<std::string>{} : names, dirNames, folder, skipOlder, overwrite,
                             false);
    }
    if (FHandlerKind == hkLister) return RunEngineExtract(names, all, dirNames, folder, overwrite);
    return false;
}

void TMainCore::BeginExtractRun(const std::string& folder, bool dirNames, bool overwrite) {
    // An earlier run's "yes to all" never carries over: each run starts asking afresh,
    // unless it was asked to overwrite.
    OverwriteForm.Answer = overwrite ? oaYesToAll : oaNo;
    FRun = TExtractRun{};
    FRun.folder = AppendSlash(folder);
    FRun.dirNames = dirNames;
    StatForm.FileNames.clear();
    StatForm.Header = "Extracting...";
    FCurrentFileNo = 0;
    FSpecialExtractRunning = true;
    StatChanged();
}

bool TMainCore::RunZipExtract(const std::vector<std::string>& names, bool dirNames, const std::string& folder,
                              bool skipOlder, bool overwrite, bool test) {
    if (!test && !CheckTargetFolder(folder)) return false;
    BeginExtractRun(folder, dirNames, overwrite);
    if (!test) NoteNewPaths(names, names.empty(), folder, dirNames);
    TZipBackend::ExtractRequest request;
    request.specs = names;
    request.baseDir = folder;
    request.dirNames = dirNames;
    request.overwrite = overwrite;
    request.update = skipOlder;
    request.test = test;
    int count = 0;
    bool fatal = false;
    try {
        count = FZip->Extract(request);
    } catch (const std::exception&) {
        fatal = true;
        platform::messageBox("Error", "Error in Extract; Fatal DLL Exception in mainunit",
                             platform::MsgType::Error, platform::mbOK);
        if (FRun.firstError.empty()) FRun.firstError = "Error in Extract; Fatal DLL Exception in mainunit";
    }
    FSpecialExtractRunning = false;
    if (StatForm.Visible && !(FMultiExtRunning && FMultiExtIndex != FMultiExtCount)) {
        CloseStat();
        EnableAll();
    }
    if (FRun.cancelled) TakeBackCancelledRun();
    const bool ok = !fatal && FRun.errors == 0 && !FRun.cancelled;
    ShowExtractResult(ok, count);
    return ok;
}

bool TMainCore::RunEngineExtract(const std::vector<std::string>& names, bool all, bool dirNames,
                                 const std::string& folder, bool overwrite) {
    if (!SelectUnpacker() || !FCurrentUnpacker) {
        // Said rather than doing nothing: the type lists but has no extractor here.
        const std::string text = AeMessageString(kMsgBadArcType);
        platform::messageBox("Error", text, platform::MsgType::Error, platform::mbOK);
        if (!StatusPanels.empty()) {
            StatusPanels[0] = text;
            StatusChanged();
        }
        return false;
    }
    if (!CheckTargetFolder(folder)) return false;
    TExtractorBackend& u = *FCurrentUnpacker;
    BindComponentEvents(u);
    u.SetArchiveFile(FArchiveFile);
    u.SetExtractDir(folder);
    u.SetUseStoredDirs(dirNames);
    u.SetConfirmOverwrites(!overwrite);
    u.SetFileSpec(all || Rows.empty() ? std::vector<std::string>{"*.*"} : names);

    BeginExtractRun(folder, dirNames, overwrite);
    NoteNewPaths(names, all || Rows.empty(), folder, dirNames);
    makeFolders(folder);
    FRun.selectedOnly = !all && !Rows.empty();
    bool fatal = false;
    try {
        u.Extract();
    } catch (const std::exception& e) {
        fatal = true;
        // A run the user stopped needs no box; any other end is said in words.
        if (!FRun.cancelled)
            platform::messageBox("Error", e.what(), platform::MsgType::Error, platform::mbOK);
        if (FRun.firstError.empty()) FRun.firstError = e.what();
    }
    FSpecialExtractRunning = false;
    if (StatForm.Visible && !(FMultiExtRunning && FMultiExtIndex != FMultiExtCount)) {
        CloseStat();
        EnableAll();
    }
    if (FRun.cancelled) TakeBackCancelledRun();
    const bool ok = !fatal && FRun.errors == 0 && !FRun.cancelled;
    ShowExtractResult(ok, FRun.passed);
    return ok;
}

void TMainCore::ShowExtractResult(bool ok, int count) {
    if (StatusPanels.empty()) StatusPanels.push_back("");
    if (ok)
        StatusPanels[0] = std::to_string(count) + " " + kSuccessText;
    else
        StatusPanels[0] = !FRun.firstError.empty() ? FRun.firstError
                          : FRun.cancelled         ? AeMessageString(kMsgUserCanceled)
                                                   : std::string("Extraction failed");
    StatusChanged();
    // A run without a window that said nothing of its problems yet says the first one.
    if (!ok && FBatchSaid.empty()) BatchSay(StatusPanels[0]);
}

std::string TMainCore::FolderWriteProblem(const std::string& folder) {
    if (folder.empty()) return {};
    // The nearest existing folder on the way decides: the run makes the rest below it.
    std::string at = folder;
    while (at.size() > 1 && at.back() == '/') at.pop_back();
    struct stat st {};
    while (::stat(at.c_str(), &st) != 0) {
        if (errno != ENOENT) return std::strerror(errno);
        const size_t slash = at.find_last_of('/');
        if (slash == std::string::npos) return {}; // relative: the current folder's business
        at = slash == 0 ? "/" : at.substr(0, slash);
    }
    if (!S_ISDIR(st.st_mode)) return std::strerror(ENOTDIR);
    if (::access(at.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
    return {};
}

bool TMainCore::CheckTargetFolder(const std::string& folder) {
    const std::string why = FolderWriteProblem(folder);
    if (why.empty()) return true;
    const std::string text = "Cannot extract into the folder " + AppendSlash(folder) + "\n" + why;
    platform::messageBox("Error", text, platform::MsgType::Error, platform::mbOK);
    EnsureStatusPanels();
    StatusPanels[0] = AppendSlash(folder) + ": " + why;
    StatusChanged();
    return false;
}

void TMainCore::NoteNewPaths(const std::vector<std::string>& names, bool all, const std::string& folder,
                             bool dirNames) {
    auto missing = [](const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
    };
    std::set<std::string> folders, files;
    // The target and the missing folders above it.
    for (std::string at = AppendSlash(folder); at.size() > 1 && missing(at);) {
        folders.insert(at);
        at.pop_back();
        at = FolderPart(at);
    }
    auto note = [&](const std::string& stored) {
        const auto rel = pvcommon::SafeRelativePath(stored);
        if (!rel || rel->empty()) return;
        const bool isFolder = stored.back() == '/' || stored.back() == '\\';
        if (dirNames) {
            // Every folder on the way, and the entry itself when it is one.
            for (size_t slash = rel->find('/'); slash != std::string::npos; slash = rel->find('/', slash + 1))
                folders.insert(FRun.folder + rel->substr(0, slash) + "/");
            if (isFolder) folders.insert(FRun.folder + *rel + "/");
        }
        if (!isFolder) files.insert(FRun.folder + (dirNames ? *rel : FileNamePart(*rel)));
    };
    if (all)
        for (const TListRow& r : Rows) note(r.StoredName);
    else
        for (const std::string& n : names) note(n);
    FRun.newFolders.clear();
    FRun.newFiles.clear();
    for (const std::string& f : folders)
        if (missing(f)) FRun.newFolders.push_back(f);
    for (const std::string& f : files)
        if (missing(f)) FRun.newFiles.push_back(f);
}

void TMainCore::TakeBackCancelledRun() {
    for (const std::string& f : FRun.newFiles) {
        struct stat st {};
        if (::lstat(f.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) ::unlink(f.c_str());
    }
    // Deepest first; a folder that holds anything stays.
    std::vector<std::string> folders = FRun.newFolders;
    std::sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) {
        return std::count(a.begin(), a.end(), '/') > std::count(b.begin(), b.end(), '/');
    });
    for (const std::string& f : folders) ::rmdir(f.c_str());
    FRun.newFiles.clear();
    FRun.newFolders.clear();
}

// ---------------------------------------------------------------- the progress window

void TMainCore::ShowStat() {
    StatForm.Visible = true;
    StatForm.Caption = "Status...";
    if (FMultiExtRunning)
        StatForm.Caption = "Status... (File " + std::to_string(FMultiExtIndex) + " of " +
                           std::to_string(FMultiExtCount) + ")";
    StatChanged();
}

void TMainCore::CloseStat() {
    StatForm.Visible = false;
    StatChanged();
}

void TMainCore::StatCancelClick() {
    FWriteCancelled = true;
    if (!StatForm.FileNames.empty() && FSpecialExtractRunning) {
        for (auto it = StatForm.FileNames.rbegin(); it != StatForm.FileNames.rend(); ++it)
            ::unlink(it->c_str());
        StatForm.FileNames.clear();
    }
    if (FHandlerKind == hkZipFront && FZip) {
        if (FSpecialExtractRunning) FRun.cancelled = true;
        FZip->SetCancel(true);
    }
    // The engine's run stops too, rather than going on behind a closed window.
    if (FHandlerKind == hkLister && FSpecialExtractRunning && FCurrentUnpacker) {
        FRun.cancelled = true;
        FCurrentUnpacker->SetCancel(true);
    }
    // ... and so does a packer writing the archive (it keeps the archive as it was).
    if (FRunningPacker) FRunningPacker->SetCancel(true);
    EnableAll();
    CloseStat();
}

// ---------------------------------------------------------------- zip front-end events

void TMainCore::pvZipFrontFileWritten(const std::string& path, bool replaced) {
    // Only files this run brought into being are taken back by Cancel.
    if (FSpecialExtractRunning && !replaced) StatForm.FileNames.push_back(path);
}

void TMainCore::pvZipFrontProgress(int type, const std::string& name, int64_t size) {
    if (FTestRunning) return;
    switch (type) {
    case ptNewFile: {
        StatForm.Current = FileNamePart(name);
        StatForm.Gauge1 = 0;
        FCurrentFileSize = size;
        FCurrentFileDone = 0;
        ++FCurrentFileNo;
        break;
    }
    case ptProgress:
        FCurrentFileDone += size;
        FBatchDone += size;
        StatForm.Gauge1 = percent(FCurrentFileDone, FCurrentFileSize);
        if (FBatchSize != 0) StatForm.Gauge2 = percent(FBatchDone, FBatchSize);
        break;
    case ptEndOfBatch:
        StatForm.Gauge1 = StatForm.Gauge2 = 0;
        if (!(FMultiExtRunning && FMultiExtIndex != FMultiExtCount)) {
            CloseStat();
            EnableAll();
        }
        FCurrentFileNo = 0;
        break;
    case ptTotalSize:
        StatForm.Gauge2 = 0;
        FBatchSize = size;
        FBatchDone = 0;
        if (!StatForm.Visible) {
            DisableAll();
            ShowStat();
        } else if (FMultiExtRunning) {
            ShowStat(); // the caption names the archive
        }
        break;
    default:
        break;
    }
    // No pumping here: the component lets pending events through after this returns, at
    // most about 30 times a second for the frequent progress calls.
    StatChanged();
}

void TMainCore::pvZipFrontExtractOverwrite(const std::string& forFile, bool, bool& doOverwrite) {
    if (OverwriteForm.Answer == oaYesToAll) {
        doOverwrite = true;
        return;
    }
    if (OverwriteForm.Answer == oaNoToAll) {
        doOverwrite = false;
        return;
    }
    const auto rel = SafeRelativePath(forFile);
    const std::string existing =
        FRun.folder + (rel ? (FRun.dirNames ? *rel : FileNamePart(*rel)) : FileNamePart(forFile));
    OverwriteForm.ReplaceFileText = existing + "\n\r" + dateTimeToStr(fileDate(existing));
    // The row is found by its stored name: the list may be sorted or only partly chosen.
    std::string with = forFile;
    for (const TListRow& r : Rows)
        if (r.StoredName == forFile) {
            with = r.Path + r.Caption + "\n\r" + r.SubItems[3];
            break;
        }
    OverwriteForm.ReplaceWithFileText = with;
    switch (AskOverwrite()) {
    case oaYes:
    case oaYesToAll:
        doOverwrite = true;
        break;
    case oaNo:
    case oaNoToAll:
        doOverwrite = false;
        break;
    case oaCancel:
        doOverwrite = false;
        FRun.cancelled = true;
        if (FZip) FZip->SetCancel(true);
        break;
    }
}

// ---------------------------------------------------------------- extractor events

void TMainCore::aeUnActivate() {
    FCurrentFileNo = 0;
    StatForm.Gauge1 = StatForm.Gauge2 = 0;
    if (!StatForm.Visible) {
        DisableAll();
        ShowStat();
    } else if (FMultiExtRunning) {
        ShowStat(); // the caption names the archive
    }
    StatChanged();
}

void TMainCore::aeBegin(const std::string& name) {
    ++FCurrentFileNo;
    // Entries that share an output file are told apart by how many reached it before.
    if (!FRun.dirNames) {
        const std::string key = fs::path(name).lexically_normal().string();
        if (key == FRun.asked)
            FRun.asked.clear(); // the entry just asked about
        else
            ++FRun.reached[key];
    }
    StatForm.Current = FileNamePart(name);
    StatChanged();
}

void TMainCore::aeUnProgress(int byFile, int byArchive) {
    StatForm.Header = "Extracting...";
    StatForm.Gauge1 = std::clamp(byFile, 0, 100);
    StatForm.Gauge2 = std::clamp(byArchive, 0, 100);
    StatChanged();
}

// Entries are matched through their stored names, never their captions: two entries
// named readme.txt in different folders are different rows. Without stored folders both
// write the same file, one after the other in archive order, so the n-th entry to reach
// a file is the n-th such row.
const TListRow* TMainCore::RowForOutput(const std::string& path) {
    const std::string key = fs::path(path).lexically_normal().string();
    const int seen = FRun.reached[key]++;
    FRun.asked = key;
    std::vector<const TListRow*> candidates;
    for (const TListRow& r : Rows) {
        if (FRun.selectedOnly && !r.Selected) continue;
        const auto rel = SafeRelativePath(r.StoredName);
        if (!rel || rel->empty()) continue;
        const std::string out = FRun.folder + (FRun.dirNames ? *rel : FileNamePart(*rel));
        if (fs::path(out).lexically_normal().string() == key) candidates.push_back(&r);
    }
    if (candidates.empty()) return nullptr;
    std::sort(candidates.begin(), candidates.end(),
              [](const TListRow* a, const TListRow* b) { return a->Order < b->Order; });
    return candidates[std::min<size_t>(size_t(seen), candidates.size() - 1)];
}

void TMainCore::aeUnFileExists(const std::string& name, double date, bool& overwrite) {
    OverwriteForm.ReplaceFileText = name + "\n\r" + dateTimeToStr(date == 0 ? fileDate(name) : date);
    std::string with = FileNamePart(name);
    if (const TListRow* r = RowForOutput(name)) with = r->Path + r->Caption + "\n\r" + r->SubItems[3];
    OverwriteForm.ReplaceWithFileText = with;
    switch (AskOverwrite()) {
    case oaYes:
        overwrite = true;
        break;
    case oaYesToAll:
        overwrite = true;
        if (FCurrentUnpacker) FCurrentUnpacker->SetConfirmOverwrites(false);
        break;
    case oaNo:
        overwrite = false;
        break;
    case oaNoToAll:
        overwrite = false;
        if (FCurrentUnpacker) FCurrentUnpacker->SetConfirmOverwrites(false);
        break;
    case oaCancel:
        overwrite = false;
        FRun.cancelled = true;
        if (FCurrentUnpacker) FCurrentUnpacker->SetCancel(true);
        EnableAll();
        CloseStat();
        break;
    }
}

void TMainCore::aeUnEnd(const std::string& name, bool passed) {
    if (passed) {
        ++FRun.passed;
        return;
    }
    aeError(name, 0, "File fails CRC check");
}

void TMainCore::aeError(const std::string& name, int, const std::string& text) {
    ++FRun.errors;
    if (FRun.firstError.empty()) FRun.firstError = name.empty() ? text : FileNamePart(name) + "  -  " + text;
}

void TMainCore::aeUnDeactivate() {
    if (FCurrentUnpacker) FCurrentUnpacker->SetConfirmOverwrites(true);
    if (!(FMultiExtRunning && FMultiExtIndex != FMultiExtCount)) {
        CloseStat();
        EnableAll();
    }
}

// ---------------------------------------------------------------- the roads

bool TMainCore::ExtractDialogDone() {
    if (FCancelled || FExtractTarget.empty()) return false;
    AddExtHistory(FExtractTarget);
    WriteEDir();
    if (FHandlerKind == hkZipFront ||
        (FHandlerKind == hkLister && ArcLister() && !ArcLister()->ArchiveFile().empty()))
        return ExtractCore(FExtSelectedOnly, FExtDirNames, FExtractTarget, FExtSkipOlder, FExtOverwrite);
    return false;
}

void TMainCore::EItemClick(int index) {
    if (FHandlerKind != hkZipFront || index < 1 || index > 5 || FExtHistory[size_t(index)].empty()) return;
    if (!FZip || FZip->Count() == 0) {
        platform::messageBox("Error", "No files to extract", platform::MsgType::Error, platform::mbOK);
        return;
    }
    RunZipExtract(SelectedStoredNames(), FExtDirNames, FExtHistory[size_t(index)], FExtSkipOlder,
                  FExtOverwrite, FExtTest);
}

void TMainCore::mmiFilenameClick() {
    if (!FArchiveOpen) return;
    // The run makes the folder (with its parents), and takes it back when cancelled.
    ExtractCore(false, FOptZipDirs, ExtractToFolder(), FOptUpdate, FOptOverwrite);
}

std::string TMainCore::ExtractToFolder() const {
    if (FArchiveFile.empty()) return {};
    return FolderPart(FArchiveFile) + WithoutExtension(FileNamePart(FArchiveFile)) + "/";
}

void TMainCore::mmiExtSameDirClick() {
    if (!FArchiveOpen) return;
    ExtractCore(false, FOptZipDirs, FolderPart(FArchiveFile), FOptUpdate, FOptOverwrite);
}

void TMainCore::mmiFavouriteClick() {
    if (!FArchiveOpen) return;
    if (platform::dirExists(FFavFolder)) {
        ExtractCore(false, FOptZipDirs, FFavFolder, FOptUpdate, FOptOverwrite);
        return;
    }
    platform::messageBox("Question", "Directory does not exist !", platform::MsgType::Confirmation,
                         platform::mbYes | platform::mbNo);
}

void TMainCore::MultiExtract(const std::vector<std::string>& archives) {
    FMultiExtRunning = true;
    FMultiExtCount = int(archives.size());
    std::string failed;
    for (size_t i = 0; i < archives.size(); ++i) {
        const std::string& path = archives[i];
        OpenArchive(path);
        FMultiExtIndex = int(i) + 1;
        if (!FArchiveOpen) continue;
        const std::string stem = WithoutExtension(FileNamePart(path));
        std::string folder = FMultiExtFolder;
        switch (FMultiExtMode) {
        case meSubFolder: // the run makes the folder
            folder = AppendSlash(FMultiExtFolder) + stem + "/";
            break;
        case meBesideArchive:
            folder = FolderPart(path);
            break;
        case meFolderBeside:
            folder = FolderPart(path) + stem + "/";
            break;
        default:
            break;
        }
        if (!ExtractCore(false, FMultiExtDirNames, folder, FMultiExtSkipOlder, FMultiExtOverwrite) &&
            failed.empty())
            failed = path + "  -  " + StatusPanels[0];
        CloseArchive();
    }
    FMultiExtRunning = false;
    if (StatForm.Visible) {
        CloseStat();
        EnableAll();
    }
    // The last archive's close says "Ready"; a failure on the way must not vanish behind it.
    if (!failed.empty()) {
        StatusPanels[0] = failed;
        StatusChanged();
    }
}

void TMainCore::tbSetuplClick() {
    if (!FInstallerPresent || FInstallerRow < 0 || FInstallerRow >= int(Rows.size())) return;
    // The row as it stands now: sorting moves rows, the stored name stays.
    const std::string stored = Rows[size_t(FInstallerRow)].StoredName;
    const auto rel = SafeRelativePath(stored);
    if (!rel || rel->empty()) return;
    std::string name = FArchiveName.size() > 4 ? FArchiveName.substr(0, FArchiveName.size() - 4) : "setup";
    const std::string base = PrivateTempFolder();
    const std::string folder = makeUniqueFolder(base, name + "-");
    if (folder.empty()) return;
    // With the stored folders, so the installer finds the files beside it as packed.
    if (!ExtractCore(false, true, folder, false, true)) return;
    const std::string installer = folder + *rel;
    if (!platform::fileExists(installer)) return;
    auto answer =
        platform::messageBox("Install", "Start the installer \"" + stored + "\" of " + FArchiveName + " ?",
                             platform::MsgType::Confirmation, platform::mbYes | platform::mbNo);
    if (answer != platform::ModalResult::Yes) return;
    LaunchOpenFile(installer);
}

std::string TMainCore::ViewCopy(const TListRow& row) {
    const std::string base = PrivateTempFolder();
    const std::string folder = makeUniqueFolder(base, "view-");
    if (folder.empty()) return {};
    // Every selected row comes out, each in its stored folder so that two entries of the
    // same name never write over one another; the row asked for is the one handed on.
    std::vector<std::string> names = SelectedStoredNames();
    if (std::find(names.begin(), names.end(), row.StoredName) == names.end()) names.push_back(row.StoredName);
    if (!ExtractNames(names, false, true, folder, false, true)) return {};
    std::string file;
    for (const std::string& name : names) {
        const auto rel = SafeRelativePath(name);
        if (!rel || rel->empty() || !platform::fileExists(folder + *rel)) continue;
        ViewList.push_back(folder + *rel);
        if (name == row.StoredName) file = folder + *rel;
    }
    return file;
}

void TMainCore::ZipListClick() {
    if (FSingleClick) ZipListDblClick();
}

void TMainCore::ZipListDblClick() {
    const TListRow* row = FirstSelectedRow();
    if (!row) return;
    if (FHandlerKind == hkLister && (!ArcLister() || ArcLister()->ArchiveFile().empty() || !SelectUnpacker()))
        return;
    const std::string ext = lowerExtension(row->Caption);
    const std::string file = ViewCopy(*row);
    if (file.empty()) return;
    if (IsExtRegistered(ext)) {
        LaunchOpenFile(file);
        return;
    }
    // Where the desktop itself would say that the program is missing, so do we.
    const std::string hex = HexViewerProgram();
    if (!LaunchProgram(hex, {file}, FProgramFolder))
        platform::messageBox("Error", "Cannot start " + hex, platform::MsgType::Error, platform::mbOK);
}

void TMainCore::mmiViewClick() {
    const TListRow* row = FirstSelectedRow();
    if (!row) return;
    const std::string file = ViewCopy(*row);
    if (file.empty()) return;
    if (FViewerKind == vkProgram) {
        if (platform::fileExists(FViewerProgram))
            LaunchProgram(FViewerProgram, {file}, FolderPart(FViewerProgram));
        return;
    }
    ViewWithNotepad(file);
}

void TMainCore::ViewWithNotepad(const std::string& file) {
    // Without a default text application the file's own default is the next best.
    if (!LaunchOpenAs(file, "text/plain")) LaunchOpenFile(file);
}

bool TMainCore::IsExtRegistered(const std::string& ext) const {
    if (ext.empty() || ext == ".") return false;
    return LaunchHasDefaultApp("x" + ext);
}

std::string TMainCore::HexViewerProgram() const {
    return FHexViewer.empty() ? FProgramFolder + "hexedit" : FHexViewer;
}
