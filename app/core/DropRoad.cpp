// Files dropped on the window: one archive may be opened, anything else is added to an
// archive that the file-drop dialog chooses.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "app/core/MainCore.h"
#include "common/PathParts.h"
#include "platform/ui_hooks.h"

bool TMainCore::IsArchiveExt(const std::string& name) {
    static const char* const exts[] = {".ace", ".arc", ".arj", ".bh",  ".cab", ".gz",  ".lha", ".lzh", ".jar",
                                       ".pak", ".pk3", ".rar", ".tar", ".uue", ".xxe", ".z",   ".zip"};
    const std::string ext = pvcommon::LowerAscii(pvcommon::ExtensionOf(name));
    return std::any_of(std::begin(exts), std::end(exts), [&](const char* e) { return ext == e; });
}

void TMainCore::DropFiles(const std::vector<std::string>& names) {
    FShellFiles.clear();
    for (const std::string& name : names) {
        if (names.size() == 1 && IsArchiveExt(name) &&
            platform::messageBox("Question", "The file you dragged is an archive, do you want to open it ?",
                                 platform::MsgType::Confirmation,
                                 platform::mbYes | platform::mbNo) == platform::ModalResult::Yes) {
            OpenArchive(name);
            return;
        }
        FShellFiles.push_back(name);
    }
    AddDroppedFiles();
}

bool TMainCore::AddDroppedFiles() {
    struct Empty {
        std::vector<std::string>& files;
        ~Empty() { files.clear(); }
    } empty{FShellFiles};
    FCancelled = false;
    const TFileDropChoice choice = ShowFileDropForm();
    if (!choice.accepted || FCancelled) return false;
    if (FShellFiles.empty()) {
        platform::messageBox("Error", "No files selected", platform::MsgType::Error, platform::mbOK);
        return false;
    }
    int action = 0, level = 0;
    if (FHandlerKind == hkZipFront) {
        action = FAddAction >= 0 && FAddAction <= 2 ? FAddAction : 3;
        level = LevelFromIndex(choice.levelIndex);
    }
    if (!FUsePassword) FArchivePassword.clear();
    FAddFiles = FShellFiles;
    return AddCore({.action = action,
                    .span = choice.span,
                    .password = FArchivePassword,
                    .forceDOS = choice.forceDOS,
                    .fullPaths = choice.fullPaths,
                    .level = level});
}

TMainCore::TFileDropChoice TMainCore::ShowFileDropForm() {
    TFileDropChoice choice;
    if (FShellFiles.empty()) {
        choice.accepted = true; // the caller says that nothing was selected
        return choice;
    }
    const std::string& first = FShellFiles.front();
    const std::string target = FArchiveOpen
                                   ? FArchiveFile
                                   : pvcommon::FolderPart(first) +
                                         pvcommon::WithoutExtension(pvcommon::FileNamePart(first)) + ".zip";
    const std::string text = "Add the dropped files to " + target + " ?";
    if (platform::messageBox("Question", text, platform::MsgType::Confirmation,
                             platform::mbYes | platform::mbNo) != platform::ModalResult::Yes) {
        FCancelled = true;
        return choice;
    }
    if (!FArchiveOpen) {
        FHandlerKind = hkZipFront;
        CreateArchive(target, 1);
    }
    choice.accepted = FArchiveOpen;
    choice.levelIndex = 1;
    choice.recurse = true;
    return choice;
}

// ---------------------------------------------------------------- dragging rows out

std::vector<std::string> TMainCore::BeginDragOut() {
    FDragFolder.clear();
    std::vector<std::string> files;
    if (!FArchiveOpen || SelectedCount() == 0) return files;
    // A folder of its own per drag: what was dragged before is never offered again, and
    // nothing of another drag is overwritten.
    std::string pattern = AppendSlash(PrivateTempFolder()) + "drag-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data())) return files;
    FDragFolder = AppendSlash(buf.data());
    for (const TListRow& row : Rows) {
        if (!row.Selected) continue;
        std::string path;
        if (!row.Path.empty() && FOptZipDirs) {
            std::string first = row.Path.substr(0, row.Path.find('/'));
            if (first.empty() || first == "." || first == "..") continue;
            path = FDragFolder + first;
        } else {
            const std::string name = pvcommon::FileNamePart(row.StoredName);
            if (name.empty() || name == "." || name == "..") continue;
            path = FDragFolder + name;
        }
        if (std::find(files.begin(), files.end(), path) == files.end()) files.push_back(path);
    }
    return files;
}

bool TMainCore::dsMainDragDrop() {
    if (FDragFolder.empty() || !FArchiveOpen) return false;
    if (FHandlerKind == hkLister && !SelectUnpacker()) return false;
    return ExtractCore(true, FOptZipDirs, FDragFolder, FOptUpdate, FOptOverwrite);
}
