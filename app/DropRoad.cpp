// Files dropped on the window: one archive may be opened, anything else is added to an
// archive that the file-drop dialog chooses.
#include <algorithm>

#include "app/MainCore.h"
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
    return AddCore(action, choice.span, FArchivePassword, choice.forceDOS, false, choice.fullPaths, true,
                   choice.recurse, level);
}
