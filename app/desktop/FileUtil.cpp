#include "app/desktop/FileUtil.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/trash.h"
#include "platform/ui_hooks.h"

bool ShellDeleteFiles(const std::vector<std::string>& paths, bool toTrash, bool ask) {
    if (paths.empty()) return true;
    if (ask) {
        std::string text =
            paths.size() == 1 ? "\"" + paths.front() + "\"" : std::to_string(paths.size()) + " files";
        text = (toTrash ? "Move " + text + " to the trash?" : "Delete " + text + " for good?");
        if (platform::messageBox("Confirm File Delete", text, platform::MsgType::Confirmation,
                                 platform::mbYes | platform::mbNo) != platform::ModalResult::Yes)
            return false;
    }
    bool all = true;
    for (const auto& p : paths) {
        struct stat st {};
        // lstat: a symlink is deleted as the link, never its target.
        if (::lstat(p.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
            all = false;
            continue;
        }
        if (!(toTrash ? platform::moveToTrash(p) : ::unlink(p.c_str()) == 0)) all = false;
    }
    return all;
}
