// Writing into the open archive: adding and deleting through the zip front-end or the
// engine's packers, and the archive commands that change entries or the archive file.
#include <algorithm>
#include <cctype>
#include <cerrno>

#include "app/core/MainCore.h"
#include "archive/aeMsgs.h"
#include "platform/fileio.h"
#include "platform/rename.h"
#include "platform/trash.h"
#include "platform/ui_hooks.h"
#include "common/PathParts.h"
#include "common/Wildcard.h"

using pvcommon::FileNamePart;
using pvcommon::FolderPart;

namespace {

std::string withExtension(const std::string& path, const std::string& ext) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ext;
    return path.substr(0, dot) + ext;
}

bool isFolder(const std::string& path) {
    return !path.empty() && platform::pathExists(path) && !platform::fileExists(path);
}

// The folder a line stands for: the line itself, or the folder of "folder/*.*" as the add
// dialogs write a chosen folder; "" for a file or a mask.
std::string folderOf(const std::string& line) {
    if (isFolder(line)) return line;
    static const std::string all = "/*.*";
    if (line.size() > all.size() && line.compare(line.size() - all.size(), all.size(), all) == 0) {
        const std::string folder = line.substr(0, line.size() - all.size() + 1);
        if (isFolder(folder)) return folder;
    }
    return {};
}

void errorBox(const std::string& text) {
    platform::messageBox("Error", text, platform::MsgType::Error, platform::mbOK);
}

// A name an entry may be given in its folder: no separator, no "..", not empty.
bool validEntryName(const std::string& name) {
    return pvcommon::IsSingleName(name) && name.find('\\') == std::string::npos;
}

} // namespace

int TMainCore::LevelFromIndex(int index) {
    switch (index) {
    case 0:
        return 9;
    case 1:
        return 7;
    case 2:
        return 5;
    case 3:
        return 3;
    default:
        return 0;
    }
}

std::string TMainCore::CommonRootDir() const {
    if (FAddFiles.empty()) return {};
    // Folder by folder: a shared run of letters that ends inside a folder name is no
    // common folder.
    std::string common = FolderPart(FAddFiles.front());
    for (size_t i = 1; i < FAddFiles.size() && !common.empty(); ++i) {
        const std::string folder = FolderPart(FAddFiles[i]);
        size_t keep = 0;
        for (size_t k = 0; k < common.size() && k < folder.size() && common[k] == folder[k]; ++k)
            if (common[k] == '/') keep = k + 1;
        common.resize(keep);
    }
    return common;
}

bool TMainCore::RowMatchesMask(const TListRow& row, const std::string& mask) {
    return pvcommon::MaskMatch(mask, row.Caption);
}

bool TMainCore::AddCore(const TAddRequest& request) {
    const int action = request.action;
    std::string password = request.password;
    struct Empty {
        std::vector<std::string>& files;
        ~Empty() { files.clear(); }
    } empty{FAddFiles};
    if (FAddFiles.empty()) return false;
    if (FHandlerKind == hkZipFront) {
        if (!FZip || FArchiveFile.empty() || FZip->ZipFileName().empty()) {
            errorBox("Error - open ZIP file first");
            return false;
        }
        TZipBackend::AddRequest r;
        r.level = request.level;
        r.update = action == 1;
        r.freshen = action == 2;
        r.move = action == 3;
        r.diskSpan = request.span == 1;
        r.diskSpanErase = request.span == 2;
        if (request.relPaths) {
            if (FAddFiles.size() == 1 && !folderOf(FAddFiles.front()).empty()) {
                r.rootDir = folderOf(FAddFiles.front());
                if (r.rootDir.back() != '/') r.rootDir += '/';
                FAddFiles.front() = "*.*";
                r.dirNames = r.recurse = true;
            } else {
                r.rootDir = CommonRootDir();
                for (const std::string& line : FAddFiles)
                    if (!folderOf(line).empty()) r.dirNames = r.recurse = true;
            }
        }
        if (!password.empty()) {
            if (password.size() > 255) password.resize(255);
            r.encrypt = true;
            r.password = password;
        }
        r.hidden = request.hidden;
        r.forceDOS = request.forceDOS;
        r.specs = FAddFiles;
        r.excludeSpecs = FExcludeSpecs;
        EnsureStatusPanels();
        SetPanel(0, "Adding...");
        FSpecialExtractRunning = false;
        StatForm.Header = "Adding...";
        StatChanged();
        FWriteCancelled = false;
        int added = 0;
        try {
            added = FZip->Add(r);
        } catch (const std::exception&) {
            errorBox("Error in Extract; Fatal DLL Exception in mainunit");
            added = 0;
        }
        if (StatForm.Visible) CloseStat();
        if (!AllEnabled) EnableAll();
        // A first add makes the archive; its rows come with the front-end's re-listing.
        if (added > 0) {
            FArchiveOpen = true;
            EnableItems(
                {.created = true, .opened = true, .zipTools = true, .archiveItems = true, .writable = true});
        }
        ShowWriteResult(added, "files(s) added");
        if (FSpanExisting && added > 0 && !FWriteCancelled) GoUserSpan();
        return added > 0;
    }
    if (FHandlerKind != hkLister) return false;
    if (FPacker == TPackerId::None && !SelectPacker()) return false;
    const int kind = int(FPacker);
    std::unique_ptr<TPackerBackend> packer = PackerFactory ? PackerFactory(kind) : nullptr;
    if (!packer) {
        errorBox("Compression not supported for this archive");
        return false;
    }
    BindComponentEvents(*packer);
    packer->SetArchiveFile(FArchiveFile);
    packer->SetRecurseDirs(FAddFolderWildcard);
    packer->SetCompressMethod(FCompressMethod);
    if (FPacker != TPackerId::Cab && FPacker != TPackerId::Lha && FPacker != TPackerId::Tar)
        packer->SetDeflateType(FDeflateType);
    int dirNames = TPackerBackend::pdNone;
    if (request.relPaths) dirNames = TPackerBackend::pdRelative;
    if (request.fullPaths) dirNames = TPackerBackend::pdAbsoluteNoDrv;
    packer->SetStoredDirNames(dirNames);
    packer->SetSwitch(action == 3 ? TPackerBackend::psMove : TPackerBackend::psAdd);
    packer->SetPassword(password);
    packer->SetFileSpec(FAddFiles);
    packer->SetExcludeSpec(FExcludeSpecs);
    packer->SetDefaultDir(FolderPart(FAddFiles.front()));
    const int added = RunPacker(*packer, "Adding...");
    if (platform::fileExists(FArchiveFile)) OpenWithLister(FArchiveFile);
    ShowWriteResult(added, "files(s) added");
    return added > 0;
}

void TMainCore::ShowWriteResult(int count, const char* doneText) {
    EnsureStatusPanels();
    SetPanel(0, FWriteCancelled ? AeMessageString(kMsgUserCanceled) : std::to_string(count) + " " + doneText);
}

int TMainCore::RunPacker(TPackerBackend& packer, const char* header) {
    // The progress window is up for the whole run, so that its Cancel reaches the packer.
    FRunningPacker = &packer;
    FWriteCancelled = false;
    SetPanel(0, header);
    struct Done {
        TPackerBackend*& running;
        ~Done() { running = nullptr; }
    } done{FRunningPacker};
    StatForm.Header = header;
    StatForm.Gauge1 = StatForm.Gauge2 = 0;
    DisableAll();
    ShowStat();
    const int depth = FListUpdateDepth;
    int count = 0;
    try {
        count = packer.Compress();
    } catch (const std::exception&) {
        count = 0; // reported by the packer's events; the archive is as it was
    }
    // A run that stopped before its deactivation still leaves the list showing its rows.
    while (FListUpdateDepth > depth) EndListUpdate();
    if (StatForm.Visible) CloseStat();
    if (!AllEnabled) EnableAll();
    return count;
}

void TMainCore::AddChosen(const TAddChoice& choice) {
    if (!FArchiveOpen || FArchiveFile.empty()) {
        errorBox("Error - open ZIP file first");
        return;
    }
    if (choice.files.empty()) {
        errorBox("No files selected to extract");
        return;
    }
    int action = 0, level = 0;
    if (FHandlerKind == hkZipFront) {
        action = choice.action >= 0 && choice.action <= 3 ? choice.action : 0;
        level = LevelFromIndex(choice.level);
    } else if (FPackerSwitch == 3) {
        // "Move files" of an engine archive: the packer moves (the dialog's switch).
        action = 3;
    }
    // Only the dialog's "User defined" row spans after the add; a span size chosen for an
    // earlier add, or a span dialog that was cancelled, leaves nothing pending.
    if (FHandlerKind != hkZipFront || choice.span != 0) FSpanExisting = false;
    std::string password = FUsePassword ? FArchivePassword : std::string();
    FAddFiles.insert(FAddFiles.end(), choice.files.begin(), choice.files.end());
    AddCore({.action = action,
             .span = choice.span,
             .password = password,
             .forceDOS = choice.forceDOS,
             .fullPaths = choice.fullPaths,
             .level = level});
}

bool TMainCore::DeleteCore(bool fromPopup, const std::string& mask) {
    if (!fromPopup && FCancelled) return false;
    FAddFiles.clear();
    struct Empty {
        std::vector<std::string>& files;
        ~Empty() { files.clear(); }
    } empty{FAddFiles};
    for (const TListRow& row : Rows) {
        bool take = false;
        switch (FDeleteMode) {
        case dmSelected:
            take = row.Selected;
            break;
        case dmAll:
            take = true;
            break;
        case dmMask:
            take = RowMatchesMask(row, mask);
            break;
        default:
            break;
        }
        if (take) FAddFiles.push_back(row.StoredName);
    }
    if (FAddFiles.empty()) return false;
    if (FHandlerKind == hkZipFront) {
        if (!FZip || FZip->ZipFileName().empty()) return false;
        SetPanel(0, "Deleting...");
        StatForm.Header = "Deleting...";
        StatChanged();
        FWriteCancelled = false;
        int deleted = 0;
        try {
            deleted = FZip->Delete(FAddFiles);
        } catch (const std::exception&) {
            errorBox("Critical error deleting files");
        }
        if (StatForm.Visible) CloseStat();
        if (!AllEnabled) EnableAll();
        ShowWriteResult(deleted, "file(s) deleted");
        return deleted > 0;
    }
    if (FHandlerKind != hkLister || !SelectPacker()) return false;
    std::unique_ptr<TPackerBackend> packer = PackerFactory ? PackerFactory(int(FPacker)) : nullptr;
    if (!packer) {
        errorBox("Compression not supported for this archive");
        return false;
    }
    BindComponentEvents(*packer);
    packer->SetArchiveFile(FArchiveFile);
    packer->SetFileSpec(FAddFiles);
    packer->SetSwitch(TPackerBackend::psDelete);
    const int deleted = RunPacker(*packer, "Deleting...");
    OpenWithLister(FArchiveFile);
    ShowWriteResult(deleted, "file(s) deleted");
    return deleted > 0;
}

void TMainCore::pmiDeleteSelectedClick() {
    FDeleteMode = dmSelected;
    DeleteCore(true);
}

void TMainCore::pmiDeleteAllClick() {
    FDeleteMode = dmAll;
    DeleteCore(true);
}

bool TMainCore::MakeExeCore(const TExeChoice& c) {
    if (FHandlerKind != hkZipFront || !FZip || FZip->ZipFileName().empty()) {
        errorBox("Error - open ZIP file first");
        return false;
    }
    TZipBackend::SfxRequest r;
    r.overwriteMode = c.overwriteMode >= 0 && c.overwriteMode <= 2 ? c.overwriteMode : 0;
    r.askCmdLine = c.askCmdLine;
    r.askFiles = c.askFiles;
    r.hideOverwriteBox = c.hideOverwriteBox;
    r.defaultDir = c.defaultDir.empty() ? std::string("~/Temp") : c.defaultDir;
    r.commandLine = c.commandLine;
    r.caption = c.caption.empty() ? std::string("Parvex SFX") : c.caption;
    const std::string exe = withExtension(FArchiveFile, ".exe");
    if (FZip->ConvertSFX(r) != 0 || !platform::fileExists(exe)) return false;
    OpenArchive(exe);
    AddOpenHistory(exe);
    return FArchiveOpen && FArchiveFile == exe;
}

bool TMainCore::ExeToZipCore() {
    if (FHandlerKind != hkZipFront || !FZip || FZip->ZipFileName().empty()) {
        errorBox("Error - open ZIP file first");
        return false;
    }
    const std::string zip = withExtension(FArchiveFile, ".zip");
    if (FZip->ConvertZIP() != 0 || !platform::fileExists(zip)) return false;
    OpenArchive(zip);
    AddOpenHistory(zip);
    return FArchiveOpen && FArchiveFile == zip;
}

bool TMainCore::RenameEntryCore(const std::string& newName) {
    const TListRow* row = FirstSelectedRow();
    if (!row || FHandlerKind != hkZipFront || !FZip) return false;
    const std::string oldName = row->StoredName;
    const std::string folder = FolderPart(oldName);
    const std::string target = folder + newName;
    bool taken = false;
    for (const TListRow& r : Rows) taken = taken || r.StoredName == target;
    if (!validEntryName(newName) || taken || target == oldName) {
        errorBox("The entry cannot be given the name \"" + newName + "\".");
        return false;
    }
    FNewItemName = newName;
    TZipBackend::RenameItem item;
    item.source = oldName;
    item.dest = target;
    int result = -1;
    try {
        result = FZip->Rename({item});
    } catch (const std::exception&) {
        result = -1;
    }
    // The list shows what the archive now holds.
    FZip->SetZipFileName(FArchiveFile);
    return result == 0;
}

void TMainCore::aeOnRename(std::string& name) {
    name = "/" + FNewItemName;
}

std::string TMainCore::ArchiveComment() const {
    return FHandlerKind == hkZipFront && FZip ? FZip->Comment() : std::string();
}

bool TMainCore::SaveArchiveComment(const std::string& comment) {
    if (FHandlerKind != hkZipFront || !FZip || FZip->ZipFileName().empty()) return false;
    return FZip->SetComment(comment);
}

bool TMainCore::DeleteArchiveCore() {
    if (FArchiveFile.empty()) return false;
    const std::string file = FArchiveFile;
    if (platform::messageBox(
            "Confirm", "Do you really want to move \"" + FileNamePart(file) + "\" to the trash?",
            platform::MsgType::Confirmation, platform::mbYes | platform::mbNo) != platform::ModalResult::Yes)
        return false;
    std::string error;
    if (!platform::moveToTrash(file, &error)) {
        errorBox("Could not delete " + file + (error.empty() ? std::string() : "  -  " + error));
        return false;
    }
    CloseArchive();
    return true;
}

bool TMainCore::RenameArchiveCore(const std::string& newName) {
    if (FArchiveFile.empty() || !validEntryName(newName)) return false;
    const std::string from = FArchiveFile;
    const std::string to = FolderPart(from) + newName;
    if (to == from) return false;
    if (platform::pathExists(to)) {
        errorBox("A file named \"" + newName + "\" already exists.");
        return false;
    }
    CloseArchive();
    // Never replaces: a file that took the name since the check above stays as it is.
    if (!platform::renameNoReplace(from, to)) {
        errorBox(errno == EEXIST ? "A file named \"" + newName + "\" already exists."
                                 : std::string("Error renaming file."));
        OpenArchive(from);
        return false;
    }
    OpenArchive(to);
    AddOpenHistory(to);
    return true;
}
