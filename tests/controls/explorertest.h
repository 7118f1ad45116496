// A small folder tree for the explorer widgets' tests, with a private HOME, XDG folders
// (the home trash among them), one emulated floppy drive and the current folder inside.
#pragma once
#include <filesystem>
#include <string>
#include <unistd.h>

#include "support/testutil.h"
#include "controltest.h"
#include "platform/ui_hooks.h"

namespace ctltest {

struct ExplorerTree {
    pvtest::TempDir dir;
    std::string root, floppy, data, savedCwd;
    explicit ExplorerTree(bool withFloppy = true) {
        namespace fs = std::filesystem;
        app();
        root = (dir / "tree").string();
        data = (dir / "data").string();
        floppy = (dir / "floppy").string();
        for (const char* d : {"a/b/c", "a/b2", ".hidden/inner", "files", "empty"})
            fs::create_directories(root + "/" + d);
        pvtest::writeFile(root + "/files/x.txt", "x");
        pvtest::writeFile(root + "/files/y.txt", "y");
        fs::create_directories(data + "/Trash/files/gone");
        fs::create_directories(data + "/Trash/info");
        fs::create_directories((dir / "home").string());
        fs::create_directories((dir / "config").string());
        setenv("HOME", (dir / "home").c_str(), 1);
        setenv("XDG_DATA_HOME", data.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        if (withFloppy) {
            fs::create_directories(floppy);
            setenv("PARVEX_MEDIA", (floppy + ",label=DISK1,serial=1234ABCD").c_str(), 1);
        } else {
            unsetenv("PARVEX_MEDIA");
        }
        savedCwd = fs::current_path().string();
        fs::current_path(root);
    }
    ~ExplorerTree() {
        std::error_code ec;
        std::filesystem::current_path(savedCwd, ec);
        unsetenv("PARVEX_MEDIA");
    }
    std::string operator()(const std::string& rel) const { return rel.empty() ? root : root + "/" + rel; }
};

// Message boxes and input boxes answered from a script; every box shown is recorded.
struct Boxes {
    std::vector<std::string> shown;
    std::vector<platform::ModalResult> answers;
    std::vector<std::string> texts; // answers to askText
    platform::ScopedUiHooks hooks{make(this)};
    static platform::UiHooks make(Boxes* self) {
        platform::UiHooks h;
        h.messageBox = [self](const std::string&, const std::string& text, platform::MsgType, unsigned) {
            self->shown.push_back(text);
            if (self->answers.empty()) return platform::ModalResult::Ok;
            auto a = self->answers.front();
            self->answers.erase(self->answers.begin());
            return a;
        };
        h.askText = [self](const std::string&, const std::string&, std::string& value, bool) {
            if (self->texts.empty()) return false;
            value = self->texts.front();
            self->texts.erase(self->texts.begin());
            return true;
        };
        return h;
    }
    std::string last() const { return shown.empty() ? "" : shown.back(); }
};

} // namespace ctltest
