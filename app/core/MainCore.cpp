#include "app/core/MainCore.h"

#include <algorithm>
#include <utility>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/core/Launcher.h"
#include "app/core/ListFormat.h"
#include "archive/aeMsgs.h"
#include "zipdll/ZipMsgs.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"
#include "common/PathParts.h"

using pvcommon::ExtensionOf;
using pvcommon::FileNamePart;
using pvcommon::FolderPart;
using pvcommon::LowerAscii;
using pvcommon::UpperAscii;

namespace fs = std::filesystem;

namespace {

// A file of that name in `folder`, whatever the case of its letters.
bool fileExistsNoCase(const std::string& folder, const std::string& name) {
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return false;
    bool found = false;
    std::string want = LowerAscii(name);
    while (dirent* e = ::readdir(d)) {
        if (LowerAscii(e->d_name) == want &&
            platform::fileExists((folder.empty() || folder.back() == '/' ? folder : folder + "/") +
                                 e->d_name)) {
            found = true;
            break;
        }
    }
    ::closedir(d);
    return found;
}

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    std::string h = home && *home ? home : "/";
    if (h.back() != '/') h += '/';
    return h;
}

bool flag(const TIniFile& ini, const char* section, const char* key, const char* def) {
    return ini.ReadString(section, key, def) == "1";
}

} // namespace

TMainCore::TMainCore(std::unique_ptr<TZipBackend> zip, std::unique_ptr<TListerBackend> lister)
    : FZip(std::move(zip)), FLister(std::move(lister)) {
    if (FZip) BindComponentEvents(*FZip);
    ExtractorFactory = [](int arcType) { return CreateLiveExtractor(arcType); };
    PackerFactory = [](int packerKind) { return CreateLivePacker(packerKind); };
    if (FLister) BindComponentEvents(*FLister);
    EnableItems({.disableAll = true});
}

TMainCore::~TMainCore() {
    // The back ends must not call into a half-destroyed window.
    if (FZip) {
        FZip->OnDirUpdate = nullptr;
        FZip->OnMessage = nullptr;
        FZip->OnProgress = nullptr;
        FZip->OnExtractOverwrite = nullptr;
        FZip->OnPasswordError = nullptr;
        FZip->OnCRC32Error = nullptr;
        FZip->OnFileWritten = nullptr;
    }
    FCurrentUnpacker.reset();
    if (FLister) {
        FLister->OnActivate = nullptr;
        FLister->OnRead = nullptr;
        FLister->OnTotals = nullptr;
        FLister->OnDeactivate = nullptr;
        FLister->OnError = nullptr;
        FLister->OnNextVolume = nullptr;
    }
}

std::string TMainCore::AppendSlash(const std::string& path) {
    if (path.empty() || path.back() == '/') return path;
    return path + "/";
}

// ---------------------------------------------------------------- start-up and settings

void TMainCore::FormCreate(const std::string& programPath) {
    FMultiExtRunning = FListBusy = FAskPassword = false;
    FHandlerKind = hkNone;
    FProgramFolder = AppendSlash(FolderPart(programPath));

    // The registry value that tells the desktop integration where the program lives.
    FRegistry = std::make_unique<TIniFile>(pvRegistryFile());
    FRegistry->WriteString(kRegistryAppKey, "App", programPath);

    FIni = std::make_unique<TIniFile>(pvConfigFolder() + "pvsettings.ini");
    LoadSettings();
    LoadHistory();

    FSpecialExtractRunning = false;
    FSortDescending = false;
    FSelectedSize = 0;
    FAddFiles.clear();
    FExcludeSpecs.clear();
    FPacker = TPackerId::None;
    FTestRunning = false;
    ExtIconCache.clear();

    // Temp folder: the configured one when it exists, else the system's.
    const char* tmp = std::getenv("TMPDIR");
    FWorkTempFolder = AppendSlash(tmp && *tmp ? tmp : "/tmp");
    if (AppendSlash(FTempFolder) != FWorkTempFolder) {
        if (platform::dirExists(FTempFolder))
            FWorkTempFolder = AppendSlash(FTempFolder);
        else
            FTempFolder = FWorkTempFolder;
    }
    if (!platform::dirExists(FExtractFolder)) FExtractFolder = homeFolder();
    if (!platform::dirExists(FOpenFolder)) FOpenFolder = homeFolder();

    // The zip libraries: beside the program when both are there, else in the program's
    // library folder (where an installed program keeps its private libraries).
    std::error_code ec;
    fs::path libDir = fs::weakly_canonical(fs::path(FProgramFolder) / ".." / "lib" / "parvex", ec);
    FSystemFolder = AppendSlash(libDir.empty() ? FProgramFolder + "../lib/parvex" : libDir.string());
    if (fileExistsNoCase(FProgramFolder, "zipdll.dll") && fileExistsNoCase(FProgramFolder, "unzdll.dll"))
        FDllFolder = FProgramFolder;
    else
        FDllFolder = FSystemFolder;
    if (FZip) {
        FZip->SetDLLDirectory(FDllFolder);
        FZip->LoadZipDll();
        FZip->LoadUnzDll();
    }
    ItemsChanged();
    StatusChanged();
    CaptionChanged();
}

std::vector<TSettingKey> TMainCore::SettingsTable() {
    using K = TSettingKey;
    // Keys written back at shut-down come first within their section, in the order they
    // are written; the others are only read.
    std::vector<TSettingKey> t = {
        {"Visual", "RowSelect", K::skFlag, "0", true, &FRowSelect},
        {"Visual", "GridLines", K::skFlag, "0", true, &FGridLines},
        {"Visual", "SingleClick", K::skFlag, "1", true, &FSingleClick},
        {"Visual", "MousePoint", K::skFlag, "1", true, &FMousePoint},
        {"Visual", "AlwaysUnder", K::skFlag, "0", true, &FAlwaysUnder},
        {"Directories", "Open", K::skFolder, "", true, &FOpenFolder},
        {"Directories", "Extract", K::skFolder, "", true, &FExtractFolder},
        // Unset, the temp folder is the system's (never the home folder itself).
        {"Directories", "Temp", K::skString, "", false, &FTempFolder},
        {"Directories", "optFavFolder", K::skFolder, "", false, &FFavFolder},
        {"Settings", "optZipDirs", K::skFlag, "1", true, &FOptZipDirs},
        {"Settings", "optOverwrite", K::skFlag, "1", true, &FOptOverwrite},
        {"Settings", "optUpdate", K::skFlag, "1", true, &FOptUpdate},
        {"Settings", "optTest", K::skFlag, "1", true, &FOptTest},
        {"Settings", "OpenLast", K::skFlag, "1", false, &FOpenLast},
        {"Settings", "ExtractLast", K::skFlag, "1", false, &FExtractLast},
        {"Settings", "DefaultTemp", K::skFlag, "1", false, &FDefaultTemp},
        {"Settings", "View", K::skInteger, "2", false, &FViewerKind},
        {"Settings", "ViewProg", K::skString, "", false, &FViewerProgram},
        {"Settings", "HexViewer", K::skString, "", false, &FHexViewer},
        {"Settings", "Packrate", K::skInteger, "7", false, &FPackRate},
        {"AppOpt", "Height", K::skInteger, "471", true, &FWindowHeight},
        {"AppOpt", "Width", K::skInteger, "593", true, &FWindowWidth},
        {"AppOpt", "Left", K::skInteger, "100", true, &FWindowLeft},
        {"AppOpt", "Top", K::skInteger, "100", true, &FWindowTop},
        {"Mail", "InternalMail", K::skFlag, "1", true, &FInternalMail},
        {"Mail", "MailHost", K::skString, "", true, &FMailHost},
        {"Mail", "MailUserID", K::skString, "", true, &FMailUserID},
        {"Mail", "MailName", K::skString, "", true, &FMailName},
        {"Mail", "MailAddress", K::skString, "", true, &FMailAddress},
        {"Toolbar", "tbVisible", K::skNumber, "1", true, &FToolbarShown},
        {"Toolbar", "sbVisible", K::skNumber, "1", true, &FStatusBarShown},
        {"Toolbar", "Docked", K::skString, "pvDockTop", false, &FToolbarDocked},
        {"Toolbar", "Left", K::skInteger, "0", false, &FToolbarLeft},
        {"Toolbar", "Top", K::skInteger, "0", false, &FToolbarTop},
        {"Update", "CheckNewVersion", K::skNumber, "1", true, &FCheckNewVersion},
    };
    static const char* const columns[7] = {"Size", "Packed", "Ratio", "Date", "CRC", "Attributes", "Path"};
    for (size_t i = 0; i < FColumnShown.size(); ++i)
        t.push_back({"ZipList", columns[i], K::skNumber, "1", false, &FColumnShown[i]});
    return t;
}

void TMainCore::LoadSettings() {
    const TIniFile& ini = *FIni;
    const std::string home = homeFolder();
    for (const TSettingKey& k : SettingsTable()) {
        switch (k.kind) {
        case TSettingKey::skFlag:
            *std::get<bool*>(k.field) = flag(ini, k.section, k.key, k.def);
            break;
        case TSettingKey::skNumber:
            *std::get<bool*>(k.field) = ini.ReadInteger(k.section, k.key, std::atoll(k.def)) != 0;
            break;
        case TSettingKey::skInteger:
            *std::get<int*>(k.field) = int(ini.ReadInteger(k.section, k.key, std::atoll(k.def)));
            break;
        case TSettingKey::skString:
            *std::get<std::string*>(k.field) = ini.ReadString(k.section, k.key, k.def);
            break;
        case TSettingKey::skFolder:
            *std::get<std::string*>(k.field) = ini.ReadString(k.section, k.key, home);
            break;
        }
    }
}

void TMainCore::LoadHistory() {
    for (int i = 1; i <= 5; ++i) {
        FOpenHistory[i] = FIni->ReadString("History", "Open" + std::to_string(i), "");
        FExtHistory[i] = FIni->ReadString("History", "Ext" + std::to_string(i), "");
    }
    HistoryChanged();
}

void TMainCore::SaveStatesToReg() {
    if (!FIni) return;
    TIniFile& ini = *FIni;
    for (const TSettingKey& k : SettingsTable()) {
        if (!k.saved) continue;
        switch (k.kind) {
        case TSettingKey::skFlag:
        case TSettingKey::skNumber:
            ini.WriteBool(k.section, k.key, *std::get<bool*>(k.field));
            break;
        case TSettingKey::skInteger:
            ini.WriteInteger(k.section, k.key, *std::get<int*>(k.field));
            break;
        case TSettingKey::skString:
        case TSettingKey::skFolder:
            ini.WriteString(k.section, k.key, *std::get<std::string*>(k.field));
            break;
        }
    }
}

void TMainCore::WriteEDir() {
    if (!FIni) return;
    for (int i = 1; i <= 5; ++i) {
        FIni->WriteString("History", "Open" + std::to_string(i), FOpenHistory[i]);
        FIni->WriteString("History", "Ext" + std::to_string(i), FExtHistory[i]);
    }
}

void TMainCore::FormDestroy() {
    SaveStatesToReg();
    CloseArchive(); // also deletes the files extracted for viewing
    RemovePrivateTemp();
    if (FZip) FZip->UnloadDlls();
    ExtIconCache.clear();
}

// ---------------------------------------------------------------- history

void TMainCore::AddOpenHistory(const std::string& path) {
    for (int i = 1; i <= 5; ++i)
        if (FOpenHistory[i] == path) return;
    for (int i = 5; i > 1; --i) FOpenHistory[i] = FOpenHistory[i - 1];
    FOpenHistory[1] = path;
    HistoryChanged();
}

void TMainCore::AddExtHistory(const std::string& path) {
    for (int i = 1; i <= 5; ++i)
        if (FExtHistory[i] == path) return;
    for (int i = 5; i > 1; --i) FExtHistory[i] = FExtHistory[i - 1];
    FExtHistory[1] = path;
    HistoryChanged();
}

// ---------------------------------------------------------------- status and captions

void TMainCore::SetCaptionFor(const std::string& name) {
    Caption = "Parvex 2000 - " + name;
    CaptionChanged();
}

void TMainCore::EnsureStatusPanels() {
    if (StatusPanels.size() < 2) {
        StatusPanels.push_back("");
        StatusPanels.push_back("");
    }
    StatusChanged();
}

void TMainCore::SetPanel(size_t index, const std::string& text) {
    if (index >= StatusPanels.size()) return;
    StatusPanels[index] = text;
    StatusChanged();
}

std::string TMainCore::TotalsText(int64_t count, int64_t unpacked, int64_t packed) const {
    return "Total " + std::to_string(count) + " files, " +
           std::to_string(RoundEven(double(unpacked) / 1024.0)) + " KB [" +
           std::to_string(RoundEven(double(packed) / 1024.0)) + " KB]";
}

void TMainCore::ClearInstaller() {
    FInstallerPresent = false;
    SetupShown = false;
    ItemEnabled[cmd::Install] = false;
    SetupSeparatorWidth = 142;
}

// ---------------------------------------------------------------- enabling

bool TMainCore::IsEnabled(const std::string& item) const {
    auto it = ItemEnabled.find(item);
    return it != ItemEnabled.end() && it->second;
}

void TMainCore::EnableItems(const TItemState& st) {
    static const char* const dItems[] = {
        cmd::Extract,      cmd::ExtractTo,   cmd::ExtractHere, cmd::ExtractFav,      cmd::MailArchive,
        cmd::FindFiles,    cmd::UUEncode,    cmd::Checkout,    cmd::OpenItem,        cmd::View,
        cmd::Test,         cmd::SelectAll,   cmd::DeselectAll, cmd::InvertSelection, cmd::DeleteArchive,
        cmd::CloseArchive, cmd::CopyArchive, cmd::MoveArchive, cmd::RenameArchive};
    static const char* const cItems[] = {cmd::ExeToZip, cmd::MakeExe, cmd::Comment, cmd::Rename,
                                         cmd::WriteZipSpan};
    static const char* const eItems[] = {cmd::Delete, cmd::Add};
    if (st.archiveItems) {
        for (const char* n : dItems) ItemEnabled[n] = true;
        if (st.zipTools) {
            ItemEnabled[FIsExeArchive ? cmd::ExeToZip : cmd::MakeExe] = true;
            ItemEnabled[cmd::Comment] = ItemEnabled[cmd::Test] = ItemEnabled[cmd::Rename] = true;
            ItemEnabled[cmd::WriteZipSpan] = true;
        }
    }
    if (st.writable)
        for (const char* n : eItems) ItemEnabled[n] = true;
    if (st.disableAll) {
        for (const char* n : dItems) ItemEnabled[n] = false;
        for (const char* n : cItems) ItemEnabled[n] = false;
        for (const char* n : eItems) ItemEnabled[n] = false;
        ItemEnabled[cmd::Properties] = ItemEnabled[cmd::CreateShortcut] = false;
    }
    if (st.created || st.opened) ItemEnabled[cmd::Properties] = ItemEnabled[cmd::CreateShortcut] = true;
    if (!ItemEnabled.count(cmd::Install)) ItemEnabled[cmd::Install] = false;
    ItemsChanged();
}

void TMainCore::DisableAll() {
    AllEnabled = false;
    ItemsChanged();
}

void TMainCore::EnableAll() {
    AllEnabled = true;
    ItemsChanged();
}

void TMainCore::InitExtraMenus() {
    // The caption names the folder the command extracts to ("x.tar.gz" -> "x.tar/").
    ExtractToCaption = "Extract to " + ExtractToFolder();
    ExtractHereCaption = "Extract to " + FolderPart(FArchiveFile);
    ItemsChanged();
}

// ---------------------------------------------------------------- open, create, close

void TMainCore::OpenArchive(const std::string& path) {
    const std::string ext = LowerAscii(ExtensionOf(path));
    FIsExeArchive = ext == ".exe";
    FHandlerKind = (ext == ".zip" || ext == ".exe") ? hkZipFront : hkLister;
    FPacker = TPackerId::None;
    ClearInstaller();

    if (FArchiveOpen) CloseArchive();

    // A name that is no file cannot be listed: say so and leave the window as it is,
    // rather than showing an empty "archive" and putting it into the history.
    if (!path.empty() && !platform::fileExists(path)) {
        std::string why;
        if (FHandlerKind == hkZipFront)
            why = platform::dirExists(path) ? "Zip file could not be opened" : "Input file does not exist";
        else
            why = platform::dirExists(path) ? "Error opening file" : "File not found";
        platform::messageBox("Error", path + "  -  " + why, platform::MsgType::Error, platform::mbOK);
        FHandlerKind = hkNone;
        ItemsChanged();
        return;
    }

    std::error_code ec;
    if (!path.empty())
        fs::current_path(fs::path(path).parent_path().empty() ? "." : fs::path(path).parent_path(), ec);
    EnsureStatusPanels();

    if (FHandlerKind == hkZipFront) {
        if (path.empty()) {
            CloseArchive();
            return;
        }
        FOpeningZip = true;
        FInvalidZipSeen = false;
        if (FZip) FZip->SetZipFileName(path);
        FOpeningZip = false;
        EnableItems({.opened = true, .zipTools = true, .archiveItems = true, .writable = true});
    } else {
        OpenWithLister(path);
    }
    FArchiveFile = path;
    FArchiveOpen = true;
    FArchiveName = FileNamePart(path);
    SetCaptionFor(FArchiveName);
    SetPanel(0, path);
    FOpenFolder = FolderPart(path);
    FArchiveDrive = path.substr(0, 1);

    AddOpenHistory(path);
    WriteEDir();
    InitExtraMenus();

    // Asked once the archive is open, not from inside the directory read, so that "Yes"
    // closes an archive that is fully open rather than one half-way through opening.
    if (FInvalidZipSeen) {
        FInvalidZipSeen = false;
        AskFixInvalidZip();
        return;
    }

    if (FHandlerKind == hkLister && FLister && FLister->TypeInfo().Uue) {
        auto answer = platform::messageBox(
            "Question",
            "This is an encoded archive. \n\rDo you want to extract it to the temp foler and open it?",
            platform::MsgType::Confirmation, platform::mbYes | platform::mbNo);
        if (answer == platform::ModalResult::Yes && !FLister->ArchiveFile().empty() && SelectUnpacker() &&
            !Rows.empty()) {
            // Into a folder of this run's own, never a shared one with overwrite.
            std::string folder = PrivateTempFolder();
            if (folder.empty() || !ExtractAllTo(folder)) return;
            std::string inner = ExtensionOf(Rows.front().StoredName);
            std::string base = FileNamePart(path);
            size_t dot = base.find_last_of('.');
            if (dot != std::string::npos) base.erase(dot);
            CloseArchive();
            OpenArchive(folder + base + inner);
        }
    }
}

void TMainCore::OpenWithLister(const std::string& path) {
    BeginListUpdate();
    FListErrorCode = 0;
    FListErrorText.clear();
    bool ok = true;
    if (FLister) {
        FLister->SetFileSpec("*.*");
        if (!path.empty()) {
            FLister->SetArchiveFile(path);
            const int depth = FListUpdateDepth;
            ok = FLister->Activate();
            // A run that failed before or without its deactivation still leaves the
            // list and the commands usable.
            while (FListUpdateDepth > depth) EndListUpdate();
            // A multi-extraction keeps everything disabled while its progress window stays.
            if (!AllEnabled && !(FMultiExtRunning && StatForm.Visible)) EnableAll();
        }
    } else if (!path.empty()) {
        ok = false;
        RememberListError(kMsgUnknownType, "Unknown file type");
    }
    bool writable = FLister && FLister->TypeInfo().Writable;
    EnableItems({.opened = true, .archiveItems = true, .writable = writable});
    ShowTotals();
    EndListUpdate();
    RowsChanged();
    // A listing that ended in an error would otherwise look like an empty archive.
    if (!ok && !path.empty()) {
        std::string text = FListErrorText.empty() ? std::string("Unknown file type") : FListErrorText;
        platform::messageBox("Error", path + "  -  " + text, platform::MsgType::Error, platform::mbOK);
    }
}

void TMainCore::CloseLister() {
    if (FLister) FLister->SetArchiveFile("");
}

void TMainCore::ShowTotals() {
    if (FHandlerKind != hkLister) return;
    FArchivePacked = FLister ? FLister->TotalPackedSize() : 0;
    FArchiveSize = FLister ? FLister->TotalUnpackedSize() : 0;
    if (!FArchiveFile.empty()) {
        FArchiveName = FileNamePart(FArchiveFile);
        SetCaptionFor(FArchiveName);
        SetPanel(0, FArchiveFile);
    }
    SetPanel(2, TotalsText(int64_t(Rows.size()), FArchiveSize, FArchivePacked));
}

void TMainCore::CreateArchive(std::string path, int archiveKind) {
    CloseArchive();
    EnsureStatusPanels();
    if (FHandlerKind == hkZipFront || archiveKind == 1) {
        FHandlerKind = hkZipFront;
        FPacker = TPackerId::None; // a zip archive has no packer
        if (LowerAscii(path).find(".zip") == std::string::npos) path += ".zip";
        if (FZip) FZip->SetZipFileName(path);
        FArchiveFile = path;
        FArchiveOpen = true;
        EnableItems({.created = true, .zipTools = true, .archiveItems = true, .writable = true});
    } else {
        struct KindInfo {
            const char* ext;
            int packerKind;
        };
        static const KindInfo kinds[8] = {{"", 0},     {".zip", 0}, {".bh", 1},  {".cab", 2},
                                          {".lha", 5}, {".jar", 4}, {".tar", 6}, {".gz", 3}};
        FPacker = TPackerId::None;
        FHandlerKind = hkLister;
        if (archiveKind >= 2 && archiveKind <= 7) {
            FPacker = TPackerId(kinds[archiveKind].packerKind);
            if (LowerAscii(path).find(kinds[archiveKind].ext) == std::string::npos)
                path += kinds[archiveKind].ext;
        }
        FArchiveFile = path;
        FArchiveOpen = true;
        EnableItems({.created = true, .archiveItems = true, .writable = true});
    }
    FOpenFolder = FolderPart(path);
    FArchiveDrive = path.substr(0, 1);
    FArchiveName = UpperAscii(FileNamePart(path));
    SetCaptionFor(FArchiveName);
    InitExtraMenus();
    SetPanel(0, path);
}

void TMainCore::CloseArchive() {
    FListBusy = true;
    for (const std::string& f : ViewList) ::unlink(f.c_str());
    ViewList.clear();
    if (StatusPanels.size() > 2) StatusPanels.resize(1);
    // Both back ends are emptied: the handler kind may already name the next archive's.
    if (FZip && !FZip->ZipFileName().empty()) FZip->SetZipFileName("");
    if (FLister && !FLister->ArchiveFile().empty()) CloseLister();
    ReplaceLaterOrRestore();
    FArchiveFile.clear();
    FArchiveOpen = false;
    BeginListUpdate();
    GridDel();
    EndListUpdate();
    EnableItems({.disableAll = true});
    ClearInstaller();
    StatusPanels[0] = "Ready";
    StatusChanged();
    Caption = "Parvex 2000";
    CaptionChanged();
    RowsChanged();
    FListBusy = false;
}

void TMainCore::ReplaceLaterOrRestore() {
    if (FReplacedBackup.empty()) return;
    if (platform::pathExists(FReplacedFile))
        ::unlink(FReplacedBackup.c_str()); // the new archive took its place
    else
        std::rename(FReplacedBackup.c_str(), FReplacedFile.c_str());
    FReplacedBackup.clear();
    FReplacedFile.clear();
}

bool TMainCore::SelectPacker() {
    FPacker = TPackerId::None;
    const int kind = FLister && !FLister->ArchiveFile().empty() ? FLister->TypeInfo().PackerKind : 0;
    if (kind != 0) {
        FPacker = TPackerId(kind);
        return true;
    }
    platform::messageBox("Error", "Compression not supported for this archive", platform::MsgType::Error,
                         platform::mbOK);
    return false;
}

bool TMainCore::SelectUnpacker() {
    FCurrentUnpacker.reset();
    if (!FLister || FLister->ArchiveFile().empty() || !ExtractorFactory) return false;
    FCurrentUnpacker = ExtractorFactory(FLister->TypeInfo().ArcType);
    return FCurrentUnpacker != nullptr;
}

// ---------------------------------------------------------------- commands

void TMainCore::OpenChosenFile(const std::string& path) {
    if (platform::fileExists(path))
        OpenArchive(path);
    else
        platform::messageBox("Parvex 2000", "This Archive doesn't exist. Do you want to create it now ?",
                             platform::MsgType::Information, platform::mbOK);
}

void TMainCore::NewArchiveChosen(const std::string& path, int filterIndex, bool confirmed) {
    if (path.empty()) return;
    FHandlerKind = filterIndex == 1 ? hkZipFront : hkLister;
    FNewArchiveKind = filterIndex;
    if (platform::pathExists(path)) {
        if (!confirmed &&
            platform::messageBox("Confirm", "Overwrite Archiv :\r\r" + path + "?",
                                 platform::MsgType::Confirmation,
                                 platform::mbYes | platform::mbNo) != platform::ModalResult::Yes)
            return;
        CloseArchive(); // settles an earlier replacement before this one starts
        // The old file is moved aside, not deleted: it is gone for good only once the new
        // archive has been written over its name.
        std::string tmpl = FolderPart(path) + "." + FileNamePart(path) + ".replaced-XXXXXX";
        int fd = mkstemp(tmpl.data());
        if (fd < 0 || (::close(fd), std::rename(path.c_str(), tmpl.c_str()) != 0)) {
            if (fd >= 0) ::unlink(tmpl.c_str());
            platform::messageBox("Error", path + "  -  Error opening file", platform::MsgType::Error,
                                 platform::mbOK);
            return;
        }
        CreateArchive(path, FNewArchiveKind);
        FReplacedFile = path;
        FReplacedBackup = tmpl;
        return;
    }
    CreateArchive(path, FNewArchiveKind);
}

void TMainCore::OpenHistoryItem(int index) {
    if (index < 1 || index > 5 || FOpenHistory[index].empty()) return;
    std::string name = FOpenHistory[index];
    FHandlerKind = hkLister;
    if (platform::fileExists(name)) {
        CloseArchive();
        OpenArchive(name);
        return;
    }
    auto answer = platform::messageBox("Error", "This Archive doesn't exist. Do you want to create it now ?",
                                       platform::MsgType::Information, platform::mbYes | platform::mbNo);
    if (answer == platform::ModalResult::Yes) CreateArchive(name, 2);
}

// ---------------------------------------------------------------- rows

namespace {

std::string zipCaption(const std::string& name) {
    if (name.empty()) return name;
    return name.substr(0, 1) + LowerAscii(name.substr(1));
}

TListRow makeRow(const TListEntry& e, const std::string& caption, int crcDigits) {
    TListRow r;
    r.StoredName = e.FileName;
    r.Caption = caption;
    r.Size = e.UnpackedSize;
    r.Packed = e.PackedSize;
    r.Date = e.FileDate;
    r.Path = FolderPart(e.FileName);
    // A folder entry ("docs/sub/") shows the folder's own name in the folder that holds it.
    if (caption.empty() && !r.Path.empty()) {
        const std::string folder = r.Path.substr(0, r.Path.size() - 1);
        r.Caption = FileNamePart(folder);
        r.Path = FolderPart(folder);
    }
    r.CRC = e.FileCRC;
    r.Attr = e.FileAttr;
    r.SortName = LowerAscii(r.Caption);
    r.SortPath = LowerAscii(r.Path);
    r.SubItems[0] = DisplaySize(e.UnpackedSize);
    r.SubItems[1] = DisplaySize(e.PackedSize);
    r.SubItems[2] = FormatRatio(e.PackedSize, e.UnpackedSize);
    r.SubItems[3] = DisplayDateTime(e.FileDate);
    r.SubItems[4] = r.Path;
    r.SubItems[5] = IntToHexPad(crcDigits == 4 ? (e.FileCRC & 0xFFFF) : e.FileCRC, crcDigits);
    r.SubItems[6] = FormatAttributes(e.FileAttr);
    return r;
}

} // namespace

void TMainCore::GridAdd() {
    FTotalSize = FTotalPacked = 0;
    if (!FZip) return;
    for (int i = 0; i < FZip->Count(); ++i) {
        TListEntry e = FZip->Entry(i);
        std::string name = FileNamePart(e.FileName);
        std::string lname = LowerAscii(name);
        if (lname == "install.exe" || lname == "setup.exe") {
            FInstallerPresent = true;
            SetupShown = true;
            ItemEnabled[cmd::Install] = true;
            SetupSeparatorWidth = 95;
            FInstallerRow = int(Rows.size());
        }
        TListRow r = makeRow(e, zipCaption(name), 8);
        r.Order = int(Rows.size());
        Rows.push_back(std::move(r));
        FTotalSize += e.UnpackedSize;
        FTotalPacked += e.PackedSize;
    }
    for (TListRow& r : Rows) {
        std::string ext = LowerAscii(ExtensionOf(r.Caption));
        for (auto& [cachedExt, image] : ExtIconCache)
            if (cachedExt == ext) r.ImageIndex = image;
    }
    ItemsChanged();
}

void TMainCore::GridDel() {
    BeginListUpdate();
    bool hadSelection = FSelectedCount > 0;
    Rows.clear();
    FSelectedSize = 0;
    FSelectedCount = 0;
    if (hadSelection && StatusPanels.size() > 1) StatusPanels[1] = "0 file(s) selected, 0 KB";
    SImages.clear();
    EndListUpdate();
    ImagesChanged();
    RowsChanged();
}

std::string TMainCore::ExtensionImageKeyName(const std::string& ext) {
    return LaunchIconName("x" + ext);
}

int TMainCore::GetExtIconIndex(const std::string& ext) {
    for (auto& [cached, image] : ExtIconCache)
        if (cached == LowerAscii(ext)) return -1;
    static const char* const archiveExts[] = {".arc", ".arj", ".ace", ".bh",  ".cab", ".gz",  ".lha",
                                              ".lzh", ".jar", ".pak", ".pk3", ".rar", ".tar", ".uue",
                                              ".uu",  ".enc", ".xxe", ".z",   ".zoo", ".zip"};
    TImageKey key;
    std::string icon = ext.empty() ? std::string() : ExtensionImageKeyName(ext);
    if (ext == ".exe")
        key.kind = TImageKey::Program;
    else if (!icon.empty()) {
        bool archive = std::any_of(std::begin(archiveExts), std::end(archiveExts),
                                   [&](const char* a) { return ext == a; });
        if (archive)
            key.kind = TImageKey::Archive;
        else {
            key.kind = TImageKey::Themed;
            key.iconName = icon;
        }
    }
    int index = int(SImages.size());
    ExtIconCache.emplace_back(LowerAscii(ext), index);
    SImages.push_back(key);
    return index;
}

void TMainCore::GetImgList() {
    ExtIconCache.clear();
    SImages.clear();
    if (FHandlerKind == hkZipFront && FZip) {
        for (int i = 0; i < FZip->Count(); ++i)
            GetExtIconIndex(LowerAscii(ExtensionOf(FZip->Entry(i).FileName)));
    } else {
        for (const TListRow& r : Rows) GetExtIconIndex(LowerAscii(ExtensionOf(r.Caption)));
    }
    ImagesChanged();
}

// ---------------------------------------------------------------- sorting

int TMainCore::CompareFiles(const TListRow& a, const TListRow& b) const {
    auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
    int r = 0;
    switch (FSortColumn) {
    case 0:
        r = a.SortName.compare(b.SortName);
        break;
    case 1:
        r = sign(a.Size, b.Size);
        break;
    case 2:
        r = sign(a.Packed, b.Packed);
        break;
    case 3:
        r = sign(RatioPercent(a.Packed, a.Size), RatioPercent(b.Packed, b.Size));
        break;
    case 4:
        r = sign(a.Date, b.Date);
        break;
    case 5:
        r = a.SortPath.compare(b.SortPath);
        break;
    default:
        return 0;
    }
    r = r < 0 ? -1 : (r > 0 ? 1 : 0);
    // Equal keys fall back to the stored name and then to the archive's order, so the
    // order is strict and the two directions are exact mirrors of each other.
    if (r == 0) r = sign(a.StoredName, b.StoredName);
    if (r == 0) r = sign(a.Order, b.Order);
    return FSortDescending ? -r : r;
}

void TMainCore::SortRows() {
    if (FSortColumn < 0 || FSortColumn > 5) return; // CRC and attributes do not sort
    // Rows keep their selection while they move, so the index the installer sits at is
    // found again afterwards.
    std::string installer =
        FInstallerRow >= 0 && FInstallerRow < int(Rows.size()) ? Rows[size_t(FInstallerRow)].StoredName : "";
    int installerOrder =
        FInstallerRow >= 0 && FInstallerRow < int(Rows.size()) ? Rows[size_t(FInstallerRow)].Order : -1;
    std::sort(Rows.begin(), Rows.end(),
              [this](const TListRow& a, const TListRow& b) { return CompareFiles(a, b) < 0; });
    if (installerOrder >= 0)
        for (size_t i = 0; i < Rows.size(); ++i)
            if (Rows[i].Order == installerOrder) FInstallerRow = int(i);
    SortChanged();
}

void TMainCore::ZipListColumnClick(int column) {
    FSortColumn = column;
    SortRows();
    CheckedSortItem = (column >= 0 && column <= 5) ? column : -1;
    FSortDescending = !FSortDescending;
    ItemsChanged();
}

void TMainCore::SortItemClick(int item) {
    ZipListColumnClick(item);
}

// ---------------------------------------------------------------- selection

int TMainCore::SelectedCount() const {
    return FSelectedCount;
}

void TMainCore::ZipListSelectItem(int row, bool selected) {
    if (FListBusy || row < 0 || row >= int(Rows.size())) return;
    TListRow& r = Rows[size_t(row)];
    if (r.Selected == selected) return;
    r.Selected = selected;
    FSelectedCount += selected ? 1 : -1;
    FSelectedSize += selected ? r.Size : -r.Size;
    if (!FSelectionBatch) UpdateSelectionPanel();
}

void TMainCore::UpdateSelectionPanel() {
    if (StatusPanels.size() > 1)
        SetPanel(1, std::to_string(FSelectedCount) + " file(s) selected, " +
                        std::to_string(RoundEven(double(FSelectedSize) / 1024.0)) + " KB");
}

void TMainCore::ApplySelection(const std::vector<bool>& wanted) {
    FSelectionBatch = true;
    for (size_t i = 0; i < Rows.size() && i < wanted.size(); ++i) ZipListSelectItem(int(i), wanted[i]);
    FSelectionBatch = false;
    UpdateSelectionPanel();
}

void TMainCore::mmiSelAllClick() {
    ApplySelection(std::vector<bool>(Rows.size(), true));
}

void TMainCore::mmiDeSelAllClick() {
    ApplySelection(std::vector<bool>(Rows.size(), false));
}

void TMainCore::mmiInvSelClick() {
    std::vector<bool> wanted(Rows.size());
    for (size_t i = 0; i < Rows.size(); ++i) wanted[i] = !Rows[i].Selected;
    ApplySelection(wanted);
}

// ---------------------------------------------------------------- component events

void TMainCore::pvZipFrontDirUpdate() {
    if (FMultiExtRunning || FListBusy) return;
    BeginListUpdate();
    GridDel();
    bool hasName = FZip && !FZip->ZipFileName().empty();
    if (hasName && FHandlerKind == hkZipFront && FZip->Count() > 0) {
        GetImgList();
        GridAdd();
    }
    EndListUpdate();
    FArchivePacked = FTotalPacked;
    FArchiveSize = FTotalSize;
    if (hasName) SetPanel(2, TotalsText(FZip->Count(), FTotalSize, FTotalPacked));
    RowsChanged();
}

void TMainCore::pvZipFrontMessage(int errCode, const std::string& message) {
    int code = errCode != 0 ? errCode : (FZip ? FZip->ErrCode() : 0);
    if (FTestRunning) {
        TestOutput.push_back(message);
        if (errCode != 0) ++TestErrorCount;
    }
    // An error of a running extraction ends up in the status bar when the run is over.
    if (FSpecialExtractRunning && code != 0) {
        ++FRun.errors;
        if (FRun.firstError.empty()) FRun.firstError = message;
    }
    // The libraries' own messages reach no box: a run without a window says them, all but
    // the skip of an entry whose password it could not give (said once for the run).
    if (errCode != 0 && !std::exchange(FBatchPasswordRefused, false)) BatchSay(message);
    if (code != zipfront::DS_NoValidZip) return;
    if (FOpeningZip)
        FInvalidZipSeen = true;
    else
        AskFixInvalidZip();
}

void TMainCore::AskFixInvalidZip() {
    if (FCommandLineMode) {
        BatchSay(FArchiveFile + "  -  This archive is invalid.");
        CloseArchive();
        return;
    }
    auto answer =
        platform::messageBox("Error", "This archive is invalid. Do you want Parvex trying to fix it ?",
                             platform::MsgType::Error, platform::mbYes | platform::mbNo);
    if (answer == platform::ModalResult::Yes) CloseArchive();
}

void TMainCore::pvArcListerActivate() {
    BeginListUpdate();
    // The lister lets window messages through while it reads; nothing may start another
    // archive operation until it is done (its deactivation enables everything again).
    DisableAll();
    if (FMultiExtRunning) {
        if (StatForm.Visible) {
            StatForm.Caption = "Status... (File " + std::to_string(FMultiExtIndex) + " of " +
                               std::to_string(FMultiExtCount) + ")";
            StatChanged();
        }
    } else if (!FRunningPacker) {
        GridDel();
        SetPanel(0, "Reading archive information...");
    }
    // A packer writing into the open archive keeps its rows in the list while it runs (the
    // window paints them whenever messages go through); they are read again after the run.
}

void TMainCore::pvArcListerRead(const TListEntry& e) {
    if (FMultiExtRunning) return;
    TListerTypeInfo info = FLister ? FLister->TypeInfo() : TListerTypeInfo{};
    TListRow r = makeRow(e, FileNamePart(e.FileName), info.Cabinet ? 0 : info.CrcDigits);
    r.Order = int(Rows.size());
    Rows.push_back(std::move(r));
}

void TMainCore::pvArcListerTotals(int) {
    GetImgList();
    for (TListRow& r : Rows) {
        std::string ext = LowerAscii(ExtensionOf(r.Caption));
        for (auto& [cachedExt, image] : ExtIconCache)
            if (cachedExt == ext) r.ImageIndex = image;
    }
    ShowTotals();
}

void TMainCore::pvArcListerDeactivate() {
    // A packer's run ends here too: its progress window goes, unless a multi-extraction
    // keeps it for the archives still to come.
    const bool keep = FMultiExtRunning && FMultiExtIndex != FMultiExtCount;
    if (StatForm.Visible && !keep) {
        StatForm.Gauge1 = StatForm.Gauge2 = 0;
        StatForm.Visible = false;
        StatChanged();
    }
    if (!(keep && StatForm.Visible)) EnableAll();
    EndListUpdate();
}

void TMainCore::RememberListError(int code, const std::string& text) {
    if (FListErrorCode != 0) return;
    FListErrorCode = code;
    FListErrorText = text;
}

void TMainCore::pvError(const std::string&, int code, const std::string& text) {
    RememberListError(code, text);
}
