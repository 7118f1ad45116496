// Shared pieces of the tests of the main window's core: a private HOME and XDG folders
// per test, a scripted desktop, scripted message boxes, and back ends whose entries a
// test sets by hand. Nothing here needs Qt.
#pragma once
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <unistd.h>
#include <string>
#include <vector>

#include "app/core/ArchiveBackends.h"
#include "app/core/Launcher.h"
#include "platform/ui_hooks.h"
#include "support/testutil.h"

namespace apptest {

// The desktop's icon names for a few types, as its MIME database gives them; nothing is
// opened or started.
inline TLaunchHooks scriptedDesktop() {
    TLaunchHooks h;
    h.iconName = [](const std::string& fileName) -> std::string {
        static const std::map<std::string, std::string> icons = {{".txt", "text-plain"},
                                                                 {".doc", "application-msword"},
                                                                 {".gz", "application-gzip"},
                                                                 {".zip", "application-zip"},
                                                                 {".tar", "application-x-tar"},
                                                                 {".exe", "application-x-ms-dos-executable"},
                                                                 {".bin", "application-octet-stream"}};
        const auto dot = fileName.rfind('.');
        if (dot == std::string::npos) return {};
        std::string ext = fileName.substr(dot);
        for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
        auto it = icons.find(ext);
        return it == icons.end() ? std::string() : it->second;
    };
    return h;
}

// HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and TMPDIR inside one temporary folder.
struct CoreHome {
    pvtest::TempDir dir;
    ScopedLaunchHooks desktop{scriptedDesktop()};
    std::string home, config, data, tmp;
    CoreHome() {
        home = (dir / "home").string();
        config = (dir / "config").string();
        data = (dir / "data").string();
        tmp = (dir / "tmp").string();
        for (auto& p : {home, config, data, tmp}) std::filesystem::create_directories(p);
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        setenv("XDG_DATA_HOME", data.c_str(), 1);
        setenv("TMPDIR", tmp.c_str(), 1);
    }
    ~CoreHome() {
        setenv("TMPDIR", "/tmp", 1);
        // Opening an archive makes its folder the current one; leave before it goes.
        if (chdir("/") != 0) {
        }
    }
    std::string settingsFile() const { return config + "/parvex/pvsettings.ini"; }
};

// Message boxes answered from a script; every box shown is recorded.
struct ScriptedBoxes {
    struct Shown {
        std::string caption, text;
        unsigned buttons;
    };
    std::vector<Shown> shown;
    std::vector<platform::ModalResult> answers; // taken in order; then the default answer
    platform::ScopedUiHooks hooks;
    ScriptedBoxes() : hooks(make(this)) {}
    static platform::UiHooks make(ScriptedBoxes* self) {
        platform::UiHooks h;
        h.messageBox = [self](const std::string& c, const std::string& t, platform::MsgType, unsigned b) {
            self->shown.push_back({c, t, b});
            if (!self->answers.empty()) {
                auto a = self->answers.front();
                self->answers.erase(self->answers.begin());
                return a;
            }
            return (b & platform::mbOK) ? platform::ModalResult::Ok : platform::ModalResult::No;
        };
        h.askText = [](const std::string&, const std::string&, std::string&, bool) { return false; };
        return h;
    }
};

// A lister whose archive content a test gives; a name it has no content for fails as the
// engine does for a file it cannot read.
class FakeLister : public TListerBackend {
public:
    std::string file;
    std::vector<TListEntry> entries;
    TListerTypeInfo info{true, false, true, false, 8, 6, 0, "Tar"};
    bool fail = false;     // fails before reading anything
    bool breakOff = false; // fails after the first entry, without its deactivation
    int activations = 0;

    void SetArchiveFile(const std::string& path) override { file = path; }
    std::string ArchiveFile() const override { return file; }
    TListerTypeInfo TypeInfo() const override { return info; }
    void SetFileSpec(const std::string&) override {}
    bool Activate() override {
        ++activations;
        if (fail) {
            if (OnError) OnError(file, 25327, "Unknown file type");
            return false;
        }
        if (OnActivate) OnActivate();
        for (auto& e : entries) {
            if (OnRead) OnRead(e);
            if (breakOff) {
                if (OnError) OnError(file, 25110, "Bad file header");
                return false;
            }
        }
        if (OnTotals) OnTotals(int(entries.size()));
        if (OnDeactivate) OnDeactivate();
        return true;
    }
    int64_t TotalPackedSize() const override {
        int64_t s = 0;
        for (auto& e : entries) s += e.PackedSize;
        return s;
    }
    int64_t TotalUnpackedSize() const override {
        int64_t s = 0;
        for (auto& e : entries) s += e.UnpackedSize;
        return s;
    }
};

class FakeZip : public TZipBackend {
public:
    std::string name;
    std::vector<TListEntry> entries;
    std::string dllDir;
    bool loaded = false;
    void SetZipFileName(const std::string& path) override {
        name = path;
        if (OnDirUpdate) OnDirUpdate();
    }
    std::string ZipFileName() const override { return name; }
    int Count() const override { return name.empty() ? 0 : int(entries.size()); }
    TListEntry Entry(int i) const override { return entries.at(size_t(i)); }
    int ErrCode() const override { return 0; }
    void SetDLLDirectory(const std::string& d) override { dllDir = d; }
    void LoadZipDll() override { loaded = true; }
    void LoadUnzDll() override {}
    void UnloadDlls() override { loaded = false; }
    void SetAddCompLevel(int) override {}
};

inline TListEntry entry(const std::string& name, int64_t size, int64_t packed, double date = 45000.5,
                        uint32_t crc = 0x1234abcd, uint32_t attr = 0x20) {
    TListEntry e;
    e.FileName = name;
    e.UnpackedSize = size;
    e.PackedSize = packed;
    e.FileDate = date;
    e.FileCRC = crc;
    e.FileAttr = attr;
    return e;
}

} // namespace apptest
