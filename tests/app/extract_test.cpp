// Extraction and viewing from the main window's core, over the real zip front-end (with
// the library stand-ins) and the engine's extractors, on archives the peers make at test
// time. Questions and the desktop are scripted.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include <unistd.h>

#include <QAction>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

#include "app/dialogs/ExtUnit.h"
#include "app/window/MainUnit.h"
#include "app/dialogs/StatUnit.h"
#include "app/core/Launcher.h"
#include "app/core/MainCore.h"
#include "app/dialogs/MultiExtUnit.h"
#include "apptest.h"

using namespace apptest;
namespace fs = std::filesystem;
using platform::ModalResult;
using pvtest::q;
using pvtest::run;

namespace {

// Every file below `dir`, by its path relative to `dir`, with its content.
std::map<std::string, std::string> tree(const fs::path& dir) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    if (!fs::exists(dir, ec)) return out;
    for (auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) out[fs::relative(e.path(), dir).string()] = pvtest::readFile(e.path());
    return out;
}

struct Launched {
    std::string how, file, extra;
};

struct ExtractFixture : ::testing::Test {
    IsolatedHome home;
    ScriptedBoxes boxes;
    std::vector<Launched> launched;
    std::unique_ptr<ScopedLaunchHooks> launch;
    std::unique_ptr<TMainCore> core;
    fs::path src;
    std::map<std::string, std::string> files; // stored name -> content

    void SetUp() override {
        TLaunchHooks h;
        h.openFile = [this](const std::string& f) {
            launched.push_back({"open", f, pvtest::readFile(f)});
            return true;
        };
        h.openAs = [this](const std::string& f, const std::string& mime) {
            launched.push_back({"as " + mime, f, pvtest::readFile(f)});
            return true;
        };
        h.startProgram = [this](const std::string& p, const std::vector<std::string>& args,
                                const std::string&) {
            launched.push_back({"run " + p, args.empty() ? "" : args[0], ""});
            return true;
        };
        h.hasDefaultApp = [](const std::string& name) {
            return name.size() > 4 && name.substr(name.size() - 4) == ".txt";
        };
        launch = std::make_unique<ScopedLaunchHooks>(h);
        core = std::make_unique<TMainCore>(CreateLiveZip(), CreateLiveLister());
        core->FormCreate((pvtest::binDir() / "parvex").string());
        boxes.shown.clear();
        src = home.dir / "src";
        files = {{"a.txt", "hello\n"},
                 {"sub/B.TXT", pvtest::sampleText(5000, 7)},
                 {"sub/deep/c.bin", [] {
                      auto b = pvtest::randomBytes(3000, 3);
                      return std::string(b.begin(), b.end());
                  }()}};
        for (auto& [name, data] : files) pvtest::writeFile(src / name, data);
    }

    // An archive of the three files made by a peer; "" (after a failure) when it is missing.
    std::string make(const std::string& kind, const std::string& name = "") {
        struct Peer {
            const char* kind;
            const char* program;
            const char* cmd;
        } peers[] = {{"zip", "zip", "zip -q -X -r"},
                     {"zip0", "zip", "zip -q -X -r -0"}, // stored: damage shows as a CRC error
                     {"lzh", "jlha", "jlha a"},
                     {"arj", "arj", "arj a -y"}};
        for (auto& p : peers) {
            if (kind != p.kind) continue;
            if (!pvtest::havePeer(p.program)) return {};
            auto out = home.dir / "arc" / (name.empty() ? "t." + kind.substr(0, 3) : name);
            fs::create_directories(out.parent_path());
            auto r =
                run(std::string(p.cmd) + " " + q(out.string()) + " a.txt sub/B.TXT sub/deep/c.bin >/dev/null",
                    src);
            EXPECT_EQ(r.status, 0) << r.out;
            return out.string();
        }
        return {};
    }

    std::map<std::string, std::string> expected(bool dirNames) const {
        std::map<std::string, std::string> out;
        for (auto& [name, data] : files) out[dirNames ? name : fs::path(name).filename().string()] = data;
        return out;
    }

    void select(const std::vector<std::string>& captions) {
        for (size_t i = 0; i < core->Rows.size(); ++i) {
            const auto& c = core->Rows[i].Caption;
            bool want =
                std::any_of(captions.begin(), captions.end(), [&](const std::string& x) { return x == c; });
            core->ZipListSelectItem(int(i), want);
        }
    }

    std::string status() const { return core->StatusPanels.empty() ? "" : core->StatusPanels[0]; }
    std::string lastBox() const { return boxes.shown.empty() ? "" : boxes.shown.back().text; }
};

const char* const kKinds[] = {"zip", "lzh", "arj"};

} // namespace

TEST_F(ExtractFixture, AllAndSelectedRowsWithAndWithoutFoldersByteForByte) {
    for (const char* kind : kKinds) {
        SCOPED_TRACE(kind);
        std::string arc = make(kind);
        if (arc.empty()) {
            ADD_FAILURE() << "peer for " << kind << " missing";
            continue;
        }
        core->OpenArchive(arc);
        ASSERT_TRUE(core->FArchiveOpen);
        const fs::path out = home.dir / (std::string("out-") + kind);

        EXPECT_TRUE(core->ExtractCore(false, true, (out / "all").string(), false, false));
        EXPECT_EQ(tree(out / "all"), expected(true));
        EXPECT_EQ(status(), "3 file(s) successfully extracted !");

        EXPECT_TRUE(core->ExtractCore(false, false, (out / "flat").string(), false, false));
        EXPECT_EQ(tree(out / "flat"), expected(false));

        // Sorted rows: the stored names decide, not the positions or the shown captions.
        core->ZipListColumnClick(1);
        select({kind == std::string("zip") ? "B.txt" : "B.TXT", "c.bin"});
        ASSERT_EQ(core->SelectedCount(), 2);
        EXPECT_TRUE(core->ExtractCore(true, true, (out / "sel").string(), false, false));
        auto want = expected(true);
        want.erase("a.txt");
        EXPECT_EQ(tree(out / "sel"), want);
        EXPECT_EQ(status(), "2 file(s) successfully extracted !");
        EXPECT_TRUE(core->ExtractCore(true, false, (out / "selflat").string(), false, false));
        EXPECT_EQ(tree(out / "selflat"),
                  (std::map<std::string, std::string>{{"B.TXT", files["sub/B.TXT"]},
                                                      {"c.bin", files["sub/deep/c.bin"]}}));
        EXPECT_TRUE(boxes.shown.empty()) << lastBox();
        EXPECT_FALSE(core->StatForm.Visible);
        EXPECT_TRUE(core->AllEnabled);
    }
}

TEST_F(ExtractFixture, OverwriteOnOffAndTheQuestion) {
    for (const char* kind : kKinds) {
        SCOPED_TRACE(kind);
        std::string arc = make(kind);
        if (arc.empty()) {
            ADD_FAILURE() << "peer for " << kind << " missing";
            continue;
        }
        core->OpenArchive(arc);
        const fs::path out = home.dir / (std::string("ow-") + kind);
        const fs::path a = out / "a.txt", b = out / "sub" / "B.TXT";
        auto reset = [&] {
            fs::remove_all(out);
            pvtest::writeFile(a, "old a");
            pvtest::writeFile(b, "old b");
            boxes.shown.clear();
        };

        // Overwrite off, "No" then "Yes": the first file is kept, the second replaced.
        reset();
        boxes.answers = {ModalResult::No, ModalResult::Yes};
        EXPECT_TRUE(core->ExtractCore(false, true, out.string(), false, false));
        ASSERT_EQ(boxes.shown.size(), 2u);
        EXPECT_EQ(boxes.shown[0].caption, "Confirm file overwrite");
        EXPECT_NE(boxes.shown[0].text.find("Replace file:"), std::string::npos);
        EXPECT_EQ(pvtest::readFile(out / "sub/deep/c.bin"), files["sub/deep/c.bin"]);
        const bool aFirst = boxes.shown[0].text.find("a.txt") != std::string::npos;
        EXPECT_EQ(pvtest::readFile(a), aFirst ? "old a" : files["a.txt"]);
        EXPECT_EQ(pvtest::readFile(b), aFirst ? files["sub/B.TXT"] : "old b");

        // "No to all": nothing replaced, asked once.
        reset();
        boxes.answers = {ModalResult::NoToAll};
        EXPECT_TRUE(core->ExtractCore(false, true, out.string(), false, false));
        EXPECT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(pvtest::readFile(a), "old a");
        EXPECT_EQ(pvtest::readFile(b), "old b");

        // "Yes to all" of that run is not remembered by the next one: it asks again.
        reset();
        boxes.answers = {ModalResult::YesToAll};
        EXPECT_TRUE(core->ExtractCore(false, true, out.string(), false, false));
        EXPECT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(tree(out), expected(true));
        reset();
        boxes.answers = {ModalResult::No, ModalResult::No};
        EXPECT_TRUE(core->ExtractCore(false, true, out.string(), false, false));
        EXPECT_EQ(boxes.shown.size(), 2u);
        EXPECT_EQ(pvtest::readFile(a), "old a");

        // Overwrite on: replaced without a question.
        reset();
        EXPECT_TRUE(core->ExtractCore(false, true, out.string(), false, true));
        EXPECT_TRUE(boxes.shown.empty()) << lastBox();
        EXPECT_EQ(tree(out), expected(true));

        // An earlier View (which overwrites in its own folder) does not make a later
        // extraction overwrite without asking.
        select({"a.txt"});
        core->mmiViewClick();
        reset();
        boxes.answers = {ModalResult::No, ModalResult::No};
        core->ExtractCore(false, true, out.string(), false, false);
        EXPECT_EQ(boxes.shown.size(), 2u);
        EXPECT_EQ(pvtest::readFile(a), "old a");

        // Cancel stops the run; the window is usable again.
        reset();
        boxes.answers = {ModalResult::Cancel};
        EXPECT_FALSE(core->ExtractCore(false, true, out.string(), false, false));
        EXPECT_EQ(pvtest::readFile(a), "old a");
        EXPECT_EQ(pvtest::readFile(b), "old b");
        EXPECT_EQ(status().find("successfully"), std::string::npos) << status();
        EXPECT_TRUE(core->AllEnabled);
        EXPECT_FALSE(core->StatForm.Visible);
    }
}

TEST_F(ExtractFixture, ViewHandsAPrivateCopyToTheDesktopAndExitDeletesIt) {
    for (const char* kind : kKinds) {
        SCOPED_TRACE(kind);
        std::string arc = make(kind);
        if (arc.empty()) {
            ADD_FAILURE() << "peer for " << kind << " missing";
            continue;
        }
        core->OpenArchive(arc);
        launched.clear();
        select({"c.bin"});
        core->mmiViewClick(); // the text viewer: the desktop's default for text/plain
        ASSERT_EQ(launched.size(), 1u);
        EXPECT_EQ(launched[0].how, "as text/plain");
        EXPECT_EQ(launched[0].extra, files["sub/deep/c.bin"]);
        EXPECT_EQ(fs::path(launched[0].file).filename(), "c.bin");
        const std::string priv = core->PrivateTempFolder();
        EXPECT_EQ(launched[0].file.compare(0, priv.size(), priv), 0) << launched[0].file;
        EXPECT_EQ(fs::status(priv).permissions() & fs::perms::others_all, fs::perms::none);
        ASSERT_EQ(core->ViewList.size(), 1u);
        EXPECT_EQ(core->ViewList[0], launched[0].file);

        // Open: a registered type goes to its default application, another to the hex viewer.
        select({"a.txt"});
        core->ZipListDblClick();
        ASSERT_EQ(launched.size(), 2u);
        EXPECT_EQ(launched[1].how, "open");
        EXPECT_EQ(launched[1].extra, files["a.txt"]);
        select({"c.bin"});
        core->ZipListDblClick();
        ASSERT_EQ(launched.size(), 3u);
        EXPECT_EQ(launched[2].how, "run " + core->FProgramFolder + "hexedit");
        // The same entry twice: two copies side by side, neither overwritten under the other.
        EXPECT_NE(launched[2].file, launched[0].file);
        EXPECT_EQ(pvtest::readFile(launched[0].file), files["sub/deep/c.bin"]);

        // A viewer program of the settings.
        core->FViewerKind = 3;
        core->FViewerProgram = (home.dir / "viewer").string();
        pvtest::writeFile(core->FViewerProgram, "#!/bin/sh\n");
        core->mmiViewClick();
        ASSERT_EQ(launched.size(), 4u);
        EXPECT_EQ(launched[3].how, "run " + core->FViewerProgram);
        core->FViewerKind = 2;
        EXPECT_EQ(core->ViewList.size(), 4u);
        EXPECT_TRUE(boxes.shown.empty()) << lastBox();
    }
    std::vector<std::string> copies = core->ViewList;
    std::string priv = core->PrivateTempFolder();
    core->FormDestroy();
    for (auto& f : copies) EXPECT_FALSE(fs::exists(f)) << f;
    EXPECT_FALSE(fs::exists(priv));
    launched.clear();
}

// Open and View extract every selected row, and hand on the one asked for.
TEST_F(ExtractFixture, ViewAndOpenBringOutEverySelectedRow) {
    for (const char* kind : kKinds) {
        SCOPED_TRACE(kind);
        std::string arc = make(kind);
        if (arc.empty()) {
            ADD_FAILURE() << "peer for " << kind << " missing";
            continue;
        }
        core->OpenArchive(arc);
        core->ViewList.clear();
        launched.clear();
        select({"a.txt", "c.bin"});
        ASSERT_EQ(core->SelectedCount(), 2);
        core->mmiViewClick();
        ASSERT_EQ(launched.size(), 1u);
        ASSERT_EQ(core->ViewList.size(), 2u);
        std::map<std::string, std::string> copies;
        for (auto& f : core->ViewList) copies[fs::path(f).filename().string()] = pvtest::readFile(f);
        EXPECT_EQ(copies, (std::map<std::string, std::string>{{"a.txt", files["a.txt"]},
                                                              {"c.bin", files["sub/deep/c.bin"]}}));
        EXPECT_TRUE(launched[0].file == core->ViewList[0] || launched[0].file == core->ViewList[1]);

        core->ZipListDblClick();
        ASSERT_EQ(launched.size(), 2u);
        EXPECT_EQ(core->ViewList.size(), 4u);
        EXPECT_TRUE(boxes.shown.empty()) << lastBox();
        core->CloseArchive();
    }
}

// Two entries of one name in different folders: the question shows the entry that is
// about to be written, with and without the stored folders.
TEST_F(ExtractFixture, TheOverwriteQuestionNamesTheEntryByItsStoredName) {
    const fs::path twin = home.dir / "twin";
    pvtest::writeFile(twin / "one" / "readme.txt", "first\n");
    pvtest::writeFile(twin / "two" / "readme.txt", "second, longer\n");
    struct Peer {
        const char *kind, *program, *cmd;
    } peers[] = {{"zip", "zip", "zip -q -X"}, {"lzh", "jlha", "jlha a"}, {"arj", "arj", "arj a -y"}};
    // The text after "with file:", up to its line break.
    auto with = [](const std::string& text) {
        const std::string key = "with file:\n";
        size_t at = text.find(key);
        if (at == std::string::npos) return std::string();
        at += key.size();
        return text.substr(at, text.find('\n', at) - at);
    };
    for (auto& p : peers) {
        SCOPED_TRACE(p.kind);
        if (!pvtest::havePeer(p.program)) {
            ADD_FAILURE() << p.program << " missing";
            continue;
        }
        const fs::path arc = home.dir / "arc" / (std::string("twin.") + p.kind);
        fs::create_directories(arc.parent_path());
        ASSERT_EQ(
            run(std::string(p.cmd) + " " + q(arc.string()) + " one/readme.txt two/readme.txt >/dev/null",
                twin)
                .status,
            0);
        core->OpenArchive(arc.string());
        ASSERT_EQ(core->Rows.size(), 2u);

        const fs::path out = home.dir / (std::string("twin-out-") + p.kind);
        pvtest::writeFile(out / "two" / "readme.txt", "old");
        boxes.shown.clear();
        boxes.answers = {ModalResult::No};
        EXPECT_TRUE(core->ExtractCore(false, true, out.string(), false, false));
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(with(boxes.shown[0].text), "two/readme.txt") << boxes.shown[0].text;
        EXPECT_EQ(pvtest::readFile(out / "two" / "readme.txt"), "old");

        // Without folders both write one file: first one's entry is asked about, then two's.
        const fs::path flat = home.dir / (std::string("twin-flat-") + p.kind);
        pvtest::writeFile(flat / "readme.txt", "old");
        boxes.shown.clear();
        boxes.answers = {ModalResult::Yes, ModalResult::No};
        EXPECT_TRUE(core->ExtractCore(false, false, flat.string(), false, false));
        ASSERT_EQ(boxes.shown.size(), 2u);
        EXPECT_EQ(with(boxes.shown[0].text), "one/readme.txt") << boxes.shown[0].text;
        EXPECT_EQ(with(boxes.shown[1].text), "two/readme.txt") << boxes.shown[1].text;
        EXPECT_EQ(pvtest::readFile(flat / "readme.txt"), "first\n");
        core->CloseArchive();
    }
}

namespace {

// Flips one byte in the middle of the data of the zip entry `name`.
void corruptZipEntry(const fs::path& zip, const std::string& name) {
    std::string z = pvtest::readFile(zip);
    size_t pos = 0;
    for (;;) {
        pos = z.find(std::string("PK\3\4"), pos);
        ASSERT_NE(pos, std::string::npos) << name;
        auto u16 = [&](size_t at) { return size_t(uint8_t(z[at])) | size_t(uint8_t(z[at + 1])) << 8; };
        size_t nameLen = u16(pos + 26), extraLen = u16(pos + 28);
        size_t packed = u16(pos + 18) | u16(pos + 20) << 16;
        if (z.compare(pos + 30, nameLen, name) == 0) {
            z[pos + 30 + nameLen + extraLen + packed / 2] ^= 0x55;
            pvtest::writeFile(zip, z);
            return;
        }
        pos += 4;
    }
}

} // namespace

TEST_F(ExtractFixture, ACorruptEntryReportsItsErrorAndLeavesTheRestIntact) {
    for (const char* kind : {"zip", "zip0", "lzh", "arj"}) {
        SCOPED_TRACE(kind);
        std::string arc = make(kind);
        if (arc.empty()) {
            ADD_FAILURE() << "peer for " << kind << " missing";
            continue;
        }
        if (std::string(kind).rfind("zip", 0) == 0) {
            corruptZipEntry(arc, "sub/B.TXT");
        } else {
            // B.TXT is the middle entry: flip a byte inside its packed data, found after
            // its name in the header.
            core->OpenArchive(arc);
            int64_t packed = 0;
            for (auto& r : core->Rows)
                if (r.Caption == "B.TXT") packed = r.Packed;
            ASSERT_GT(packed, 100);
            core->CloseArchive();
            std::string data = pvtest::readFile(arc);
            size_t at = data.find("B.TXT");
            ASSERT_NE(at, std::string::npos);
            // The header ends well within 64 bytes of the name; the data is much longer.
            data[at + 64 + size_t(packed) / 2] ^= 0x55;
            pvtest::writeFile(arc, data);
        }
        core->OpenArchive(arc);
        ASSERT_EQ(core->Rows.size() >= 3, true);
        const size_t rows = core->Rows.size();
        const fs::path out = home.dir / (std::string("bad-") + kind);
        pvtest::writeFile(out / "sub" / "B.TXT", "mine");
        EXPECT_FALSE(core->ExtractCore(false, true, out.string(), false, true));
        EXPECT_EQ(status().find("successfully"), std::string::npos) << status();
        EXPECT_FALSE(status().empty());
        EXPECT_NE(status().find("B.TXT"), std::string::npos) << status(); // names the entry
        auto got = tree(out);
        // The earlier entry is out whole; the damaged one never replaced the file there.
        EXPECT_EQ(got["a.txt"], files["a.txt"]);
        EXPECT_EQ(got["sub/B.TXT"], "mine");
        EXPECT_EQ(got.count("sub/deep/c.bin") ? got["sub/deep/c.bin"] : files["sub/deep/c.bin"],
                  files["sub/deep/c.bin"]);
        // The window goes on: the same archive still lists and extracts its good entries.
        EXPECT_EQ(core->Rows.size(), rows);
        EXPECT_TRUE(core->AllEnabled);
        EXPECT_FALSE(core->StatForm.Visible);
        select({"a.txt"});
        EXPECT_TRUE(core->ExtractCore(true, false, (out / "again").string(), false, false));
        EXPECT_EQ(tree(out / "again"), (std::map<std::string, std::string>{{"a.txt", files["a.txt"]}}));
        EXPECT_EQ(status(), "1 file(s) successfully extracted !");
        boxes.shown.clear();
    }
}

TEST_F(ExtractFixture, InstallExtractsPrivatelyAndOpensTheChosenRowOnlyAfterConsent) {
    PV_REQUIRE_PEER("zip");
    pvtest::writeFile(src / "setup.exe", "MZ installer");
    pvtest::writeFile(src / "data" / "z.dat", "payload");
    auto arc = home.dir / "arc" / "Product.zip";
    fs::create_directories(arc.parent_path());
    ASSERT_EQ(run("zip -q -X -r " + q(arc.string()) + " a.txt data setup.exe", src).status, 0);
    core->OpenArchive(arc.string());
    ASSERT_TRUE(core->FInstallerPresent);
    // Sorting moves the installer's row; Install follows it.
    core->ZipListColumnClick(0);
    core->ZipListColumnClick(0);
    ASSERT_EQ(core->Rows[size_t(core->FInstallerRow)].StoredName, "setup.exe");

    boxes.answers = {ModalResult::No};
    core->tbSetuplClick();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_NE(boxes.shown[0].text.find("setup.exe"), std::string::npos);
    EXPECT_TRUE(launched.empty()); // never run without consent

    boxes.answers = {ModalResult::Yes};
    core->tbSetuplClick();
    ASSERT_EQ(launched.size(), 1u);
    EXPECT_EQ(launched[0].how, "open");
    EXPECT_EQ(launched[0].extra, "MZ installer");
    const fs::path folder = fs::path(launched[0].file).parent_path();
    EXPECT_EQ(launched[0].file.compare(0, core->PrivateTempFolder().size(), core->PrivateTempFolder()), 0);
    // The files beside it as packed.
    EXPECT_EQ(pvtest::readFile(folder / "data" / "z.dat"), "payload");
}

TEST_F(ExtractFixture, ShortcutsHistoryAndMultiExtraction) {
    PV_REQUIRE_PEER("zip");
    std::string zip = make("zip", "one.zip");
    std::string lzh = make("lzh", "two.lzh");
    std::string arj = make("arj", "three.arj");
    if (lzh.empty() || arj.empty()) GTEST_SKIP() << "jlha or arj missing";
    const fs::path arcDir = fs::path(zip).parent_path();

    // "Extract to <name>": a folder beside the archive named after it.
    core->OpenArchive(zip);
    core->FOptZipDirs = true;
    core->FOptOverwrite = true;
    EXPECT_EQ(core->ExtractToCaption, "Extract to " + (arcDir / "one").string() + "/");
    core->mmiFilenameClick();
    EXPECT_EQ(tree(arcDir / "one"), expected(true));
    // The favourite folder when it exists; otherwise it says so.
    core->FFavFolder = (home.dir / "fav").string();
    core->mmiFavouriteClick();
    EXPECT_EQ(lastBox(), "Directory does not exist !");
    fs::create_directories(core->FFavFolder);
    core->mmiFavouriteClick();
    EXPECT_EQ(tree(core->FFavFolder), expected(true));

    // The dialog road: a target already in the history keeps the order; a new one goes on top.
    const std::string dlg = (home.dir / "dlg").string();
    fs::create_directories(dlg);
    core->FExtHistory = {"", "/h1", "/h2", dlg, "", ""};
    core->FCancelled = false;
    core->FExtractTarget = dlg;
    core->FExtSelectedOnly = false;
    core->FExtDirNames = false;
    core->FExtOverwrite = true;
    core->FExtSkipOlder = false;
    EXPECT_TRUE(core->ExtractDialogDone());
    EXPECT_EQ(core->FExtHistory, (std::array<std::string, 6>{"", "/h1", "/h2", dlg, "", ""}));
    EXPECT_EQ(tree(dlg), expected(false));
    const std::string dlg2 = (home.dir / "dlg2").string();
    core->FExtractTarget = dlg2;
    core->FCancelled = true; // a cancelled dialog changes nothing
    EXPECT_FALSE(core->ExtractDialogDone());
    EXPECT_EQ(core->FExtHistory[1], "/h1");
    core->FCancelled = false;
    EXPECT_TRUE(core->ExtractDialogDone());
    EXPECT_EQ(core->FExtHistory, (std::array<std::string, 6>{"", dlg2, "/h1", "/h2", dlg, ""}));
    EXPECT_EQ(tree(dlg2), expected(false));
    // An extraction that fails (the target is a file) is no success ("/pvset" exits with it).
    const std::string notAFolder = (home.dir / "plain-file").string();
    pvtest::writeFile(notAFolder, "x");
    core->FExtractTarget = notAFolder;
    EXPECT_FALSE(core->ExtractDialogDone());
    EXPECT_EQ(pvtest::readFile(notAFolder), "x");
    core->FExtHistory = {"", dlg2, "/h1", "/h2", dlg, ""};
    // A history item extracts the selected rows of a zip archive there.
    select({"c.bin"});
    core->FExtHistory[4] = (home.dir / "hist").string();
    core->EItemClick(4);
    EXPECT_EQ(tree(home.dir / "hist"),
              (std::map<std::string, std::string>{{"c.bin", files["sub/deep/c.bin"]}}));
    core->CloseArchive();
    fs::remove_all(arcDir / "one");

    // Multi-extraction, mode 3: one folder per archive beside each archive.
    core->FMultiExtMode = 3;
    core->FMultiExtDirNames = true;
    core->FMultiExtOverwrite = false;
    core->FMultiExtSkipOlder = false;
    boxes.shown.clear();
    core->MultiExtract({zip, lzh, arj});
    EXPECT_TRUE(boxes.shown.empty()) << lastBox();
    EXPECT_EQ(tree(arcDir / "one"), expected(true));
    EXPECT_EQ(tree(arcDir / "two"), expected(true));
    EXPECT_EQ(tree(arcDir / "three"), expected(true));
    EXPECT_FALSE(core->FMultiExtRunning);
    EXPECT_FALSE(core->StatForm.Visible);
    EXPECT_TRUE(core->AllEnabled);

    // Mode 1: below the destination, one folder per archive.
    core->FMultiExtMode = 1;
    core->FMultiExtFolder = (home.dir / "multi").string();
    core->MultiExtract({lzh, arj});
    EXPECT_EQ(tree(home.dir / "multi" / "two"), expected(true));
    EXPECT_EQ(tree(home.dir / "multi" / "three"), expected(true));
}

TEST_F(ExtractFixture, DialogAnswersGoIntoTheWindowFields) {
    const std::string one = (home.dir / "new").string();
    const std::string two = (home.dir / "x" / "y").string();
    EXPECT_FALSE(TExtForm::Accept(*core, two, 1, true, false, false, 0, 10));
    EXPECT_EQ(lastBox(), "Can\"t create directory !");
    EXPECT_NE(core->FExtractTarget, two);
    EXPECT_TRUE(TExtForm::Accept(*core, one, 1, false, true, true, 0, 10));
    EXPECT_TRUE(fs::is_directory(one));
    EXPECT_EQ(core->FExtractTarget, one);
    EXPECT_TRUE(core->FExtSelectedOnly);
    EXPECT_FALSE(core->FExtDirNames);
    EXPECT_TRUE(core->FExtOverwrite);
    EXPECT_TRUE(core->FExtSkipOlder);
    EXPECT_FALSE(core->FCancelled);
    // Not enough room: "No" keeps the dialog open; equal figures do not ask.
    boxes.shown.clear();
    boxes.answers = {ModalResult::No};
    EXPECT_FALSE(TExtForm::Accept(*core, one, 0, true, false, false, 5, 4));
    EXPECT_EQ(lastBox(), "Not enough free disk space. Continue extracting ?");
    boxes.shown.clear();
    EXPECT_TRUE(TExtForm::Accept(*core, one, 0, true, false, false, 5, 5));
    EXPECT_TRUE(boxes.shown.empty());

    // The multi-extract dialog lists an archive once, whatever its case.
    TMultiExtForm dlg(*core);
    EXPECT_TRUE(core->FCancelled);
    dlg.AddFiles({"/a/B.zip", "/a/b.ZIP", "/a/c.lzh"});
    EXPECT_EQ(dlg.Archives(), (std::vector<std::string>{"/a/B.zip", "/a/c.lzh"}));
    TMultiExtForm::Accept(*core, (home.dir / "m" / "n").string(), 2, true, false, true, 2);
    EXPECT_TRUE(fs::is_directory(home.dir / "m" / "n"));
    EXPECT_FALSE(core->FCancelled);
    EXPECT_EQ(core->FMultiExtMode, 2);
    EXPECT_EQ(core->FMultiExtCount, 2);
}

// The Qt window: the extract dialog's road, View from the menu and the progress window.
TEST_F(ExtractFixture, TheWindowDrivesTheDialogAndViewThroughItsActions) {
    PV_REQUIRE_PEER("zip");
    std::string zip = make("zip");
    core.reset();
    TMainForm form(CreateLiveZip(), CreateLiveLister(), (pvtest::binDir() / "parvex").string());
    form.show();
    form.OpenArchive(zip);
    ASSERT_EQ(form.Rows.size() >= 3, true);
    const std::string out = (home.dir / "win").string();
    bool dialogSeen = false;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<TExtForm*>(QApplication::activeModalWidget());
        if (!dlg) return;
        dialogSeen = true;
        EXPECT_EQ(dlg->windowTitle(), "Extract files");
        dlg->InstDir->setText(QString::fromStdString(out));
        dlg->btnExt->click();
    });
    form.tbExtClick();
    EXPECT_TRUE(dialogSeen);
    EXPECT_EQ(tree(out), expected(true));
    EXPECT_EQ(form.FExtHistory[1], out);
    EXPECT_EQ(form.StatusPanel(0)->text().toStdString(), "3 file(s) successfully extracted !");
    EXPECT_FALSE(form.StatWindow()->isVisible());
    EXPECT_TRUE(form.ZipList()->isEnabled());

    int row = -1;
    for (size_t i = 0; i < form.Rows.size(); ++i)
        if (form.Rows[i].Caption == "a.txt") row = int(i);
    ASSERT_GE(row, 0);
    form.ZipList()->selectionModel()->select(form.ZipList()->model()->index(row, 0),
                                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    launched.clear();
    form.ActionsFor(cmd::View).front()->trigger();
    ASSERT_EQ(launched.size(), 1u);
    EXPECT_EQ(launched[0].extra, files["a.txt"]);
    EXPECT_TRUE(boxes.shown.empty()) << lastBox();
}

// Cancel in the progress window takes back what the zip run brought into being, and only that.
TEST_F(ExtractFixture, ProgressCancelRemovesOnlyTheFilesThisRunCreated) {
    PV_REQUIRE_PEER("zip");
    core->OpenArchive(make("zip"));
    bool cancelled = false;
    platform::uiHooks().processMessages = [&] {
        // While the second file begins, the first one is written.
        if (!cancelled && core->FCurrentFileNo == 2 && core->StatForm.Visible) {
            cancelled = true;
            EXPECT_FALSE(core->AllEnabled);
            core->StatCancelClick();
        }
    };
    struct Case {
        const char* label;
        bool aExists; // a.txt is there before the run
    } cases[] = {{"new", false}, {"replaced", true}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.label);
        cancelled = false;
        const fs::path out = home.dir / (std::string("cancel-") + c.label);
        if (c.aExists) pvtest::writeFile(out / "a.txt", "mine");
        EXPECT_FALSE(core->ExtractCore(false, true, out.string(), false, true));
        EXPECT_TRUE(cancelled);
        EXPECT_EQ(status().find("successfully"), std::string::npos) << status();
        EXPECT_FALSE(fs::exists(out / "sub" / "B.TXT"));
        // A file the user agreed to replace stays (with its new content); one this run
        // created is gone.
        if (c.aExists)
            EXPECT_EQ(pvtest::readFile(out / "a.txt"), files["a.txt"]);
        else
            EXPECT_FALSE(fs::exists(out / "a.txt"));
        EXPECT_FALSE(core->StatForm.Visible);
        EXPECT_TRUE(core->AllEnabled);
        EXPECT_TRUE(core->StatForm.FileNames.empty());
    }
    platform::uiHooks().processMessages = nullptr;
    // The next run is not cancelled by the last one.
    EXPECT_TRUE(core->ExtractCore(false, true, (home.dir / "after").string(), false, true));
    EXPECT_EQ(tree(home.dir / "after"), expected(true));
}

TEST_F(ExtractFixture, ATypeWithoutExtractorSaysSo) {
    std::string lzh = make("lzh");
    if (lzh.empty()) GTEST_SKIP() << "jlha missing";
    core->OpenArchive(lzh);
    core->ExtractorFactory = [](int) { return std::unique_ptr<TExtractorBackend>(); };
    const fs::path out = home.dir / "none";
    EXPECT_FALSE(core->ExtractCore(false, true, out.string(), false, false));
    EXPECT_EQ(lastBox(), "Invalid or unsupported archive type for this operation");
    EXPECT_EQ(status(), lastBox());
    EXPECT_TRUE(tree(out).empty());
    EXPECT_TRUE(core->AllEnabled);
}

namespace {

// Every folder and file below `dir` (files with their content); empty when it is missing.
std::map<std::string, std::string> listing(const fs::path& dir) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    if (!fs::exists(dir, ec)) return out;
    out["."] = "<dir>";
    for (auto& e : fs::recursive_directory_iterator(dir))
        out[fs::relative(e.path(), dir).string()] = e.is_directory() ? "<dir>" : pvtest::readFile(e.path());
    return out;
}

// A core that presses Cancel in the progress window as the given file begins.
struct CancellingCore : TMainCore {
    using TMainCore::TMainCore;
    int at = 0;
    bool pressed = false;
    void StatChanged() override {
        if (at > 0 && !pressed && FCurrentFileNo >= at && StatForm.Visible) {
            pressed = true;
            StatCancelClick();
        }
    }
};

} // namespace

// Cancel takes back everything the run brought into being -- files and the folders made for
// them -- and nothing that was there before: the target is as it was.
TEST_F(ExtractFixture, CancelledExtractionLeavesTheTargetAsItWas) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("tar");
    const fs::path many = home.dir / "many";
    for (int i = 0; i < 40; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "d%02d/sub/f.txt", i);
        pvtest::writeFile(many / name, pvtest::sampleText(30000, unsigned(i)));
    }
    ASSERT_EQ(run("zip -q -r ../many.zip d*", many).status, 0);
    ASSERT_EQ(run("tar cf ../many.tar d*", many).status, 0);
    auto cancelling = std::make_unique<CancellingCore>(CreateLiveZip(), CreateLiveLister());
    CancellingCore& c = *cancelling;
    c.FormCreate((pvtest::binDir() / "parvex").string());
    for (const char* arc : {"many.zip", "many.tar"}) {
        c.OpenArchive((home.dir / arc).string());
        ASSERT_TRUE(c.FArchiveOpen) << arc;
        struct Target {
            const char* name;
            bool existing;
        } targets[] = {{"filled", true}, {"fresh/deeper", false}};
        for (const Target& t : targets) {
            SCOPED_TRACE(std::string(arc) + " into " + t.name);
            const fs::path out = home.dir / "out" / arc / t.name;
            if (t.existing) {
                pvtest::writeFile(out / "d00" / "mine.txt", "mine"); // a folder the archive has too
                fs::create_directories(out / "d01" / "sub");         // empty, the archive writes into it
                pvtest::writeFile(out / "keep.txt", "keep");
            }
            const auto before = listing(out);
            c.at = 25;
            c.pressed = false;
            EXPECT_FALSE(c.ExtractCore(false, true, out.string(), false, false));
            EXPECT_TRUE(c.pressed);
            EXPECT_EQ(listing(out), before);
            if (!t.existing) {
                EXPECT_FALSE(fs::exists(home.dir / "out" / arc / "fresh"));
            }
            EXPECT_TRUE(c.AllEnabled);
        }
        // Not cancelled, the same run writes everything.
        c.at = 0;
        const fs::path full = home.dir / "full" / arc;
        EXPECT_TRUE(c.ExtractCore(false, true, full.string(), false, false));
        EXPECT_EQ(listing(full).size(), 1u + 40 * 3);
        c.CloseArchive();
    }
}

// A target that cannot be written: one error box naming the folder and the reason, no
// question about free space, nothing written; the extract dialog stays for another choice.
TEST_F(ExtractFixture, AnUnwritableTargetIsNamedWithTheReason) {
    PV_REQUIRE_PEER("zip");
    core->OpenArchive(make("zip"));
    pvtest::writeFile(home.dir / "plain", "a file");
    struct Case {
        fs::path folder;
        std::string reason;
    };
    std::vector<Case> cases = {{home.dir / "plain" / "below", std::strerror(ENOTDIR)}};
    if (::geteuid() != 0) {
        fs::create_directories(home.dir / "locked");
        fs::permissions(home.dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        cases.push_back({home.dir / "locked", std::strerror(EACCES)});
        cases.push_back({home.dir / "locked" / "new", std::strerror(EACCES)});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder.string());
        const std::string want = "Cannot extract into the folder " + c.folder.string() + "/\n" + c.reason;
        boxes.shown.clear();
        EXPECT_FALSE(core->ExtractCore(false, true, c.folder.string(), false, true));
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(lastBox(), want);
        EXPECT_EQ(status(), c.folder.string() + "/: " + c.reason);
        EXPECT_TRUE(core->AllEnabled);

        // Through the dialog's OK: the same box, no free-space question, the dialog stays.
        boxes.shown.clear();
        core->FExtractTarget.clear();
        EXPECT_FALSE(TExtForm::Accept(*core, c.folder.string(), 0, true, true, false, 1e9, 1));
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(lastBox(), want);
        EXPECT_TRUE(core->FExtractTarget.empty());
    }
    if (::geteuid() != 0) fs::permissions(home.dir / "locked", fs::perms::owner_all);
    // Free space that cannot be read asks nothing.
    boxes.shown.clear();
    EXPECT_TRUE(TExtForm::Accept(*core, (home.dir / "fine").string(), 0, true, true, false, 1e9, -1));
    EXPECT_TRUE(boxes.shown.empty()) << lastBox();
}
