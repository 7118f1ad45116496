// The main window's core on scripted back ends: what opening, listing, sorting, selecting
// and creating do to the fields, rows, captions and status texts.
#include "app/core/MainCore.h"
#include "app/core/ListFormat.h"

#include <algorithm>
#include <fstream>

#include "coretest.h"

using namespace apptest;
namespace fs = std::filesystem;

namespace {

struct CoreFixture : ::testing::Test {
    CoreHome home;
    ScriptedBoxes boxes;
    FakeZip* zip = nullptr;
    FakeLister* lister = nullptr;
    std::unique_ptr<TMainCore> core;

    void SetUp() override {
        auto z = std::make_unique<FakeZip>();
        auto l = std::make_unique<FakeLister>();
        zip = z.get();
        lister = l.get();
        core = std::make_unique<TMainCore>(std::move(z), std::move(l));
        fs::create_directories(home.dir / "bin");
        core->FormCreate((home.dir / "bin" / "parvex").string());
    }
    // An (empty) file standing for an archive; the fake back ends give its content.
    std::string file(const std::string& name) {
        auto p = home.dir / "arc" / name;
        pvtest::writeFile(p, "x");
        return p.string();
    }
    std::vector<std::string> captions() const {
        std::vector<std::string> v;
        for (auto& r : core->Rows) v.push_back(r.Caption);
        return v;
    }
};

} // namespace

TEST_F(CoreFixture, ListerRowsTotalsCaptionAndHistory) {
    lister->entries = {
        entry("docs/Read Me.TXT", 1234567, 234567, EncodeListDate(2026, 1, 2, 3, 4, 0), 0xab, 0x21),
        entry("b.bin", 0, 0, EncodeListDate(2025, 6, 7, 8, 9, 0), 0, 0x20)};
    lister->info.CrcDigits = 4; // an lzh archive
    std::string path = file("pack.lzh");
    core->OpenArchive(path);

    EXPECT_EQ(core->FHandlerKind, 2);
    EXPECT_TRUE(core->FArchiveOpen);
    EXPECT_EQ(core->FArchiveFile, path);
    EXPECT_EQ(core->FArchiveName, "pack.lzh");
    EXPECT_EQ(core->Caption, "Parvex 2000 - pack.lzh");
    ASSERT_EQ(core->Rows.size(), 2u);
    const TListRow& r = core->Rows[0];
    EXPECT_EQ(r.Caption, "Read Me.TXT"); // other formats keep the stored case
    EXPECT_EQ(r.StoredName, "docs/Read Me.TXT");
    // Dates as zip rows show them: one format for every archive.
    EXPECT_EQ(r.SubItems, (std::array<std::string, 7>{"1.234.567", "234.567", "81% ", "02.01.2026  03:04",
                                                      "docs/", "00ab", "AR"}));
    EXPECT_EQ(core->Rows[1].SubItems[2], "0% ");
    ASSERT_EQ(core->StatusPanels.size(), 3u);
    EXPECT_EQ(core->StatusPanels[0], path);
    EXPECT_EQ(core->StatusPanels[2], "Total 2 files, 1206 KB [229 KB]");
    EXPECT_EQ(core->FArchiveSize, 1234567);
    EXPECT_EQ(core->FOpenHistory[1], path);
    EXPECT_TRUE(core->IsEnabled(cmd::Extract));
    EXPECT_TRUE(core->IsEnabled(cmd::Add));      // writable type
    EXPECT_FALSE(core->IsEnabled(cmd::Comment)); // zip-only

    // History: newest first, five kept, a path already present stays where it is.
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i) paths.push_back(file("h" + std::to_string(i) + ".tar"));
    for (auto& p : paths) core->OpenArchive(p);
    EXPECT_EQ(core->FOpenHistory[1], paths[4]);
    EXPECT_EQ(core->FOpenHistory[5], paths[0]); // pack.lzh dropped out
    core->OpenArchive(paths[2]);
    EXPECT_EQ(core->FOpenHistory[1], paths[4]);
    EXPECT_EQ(core->FOpenHistory[3], paths[2]);
    TIniFile ini(home.settingsFile());
    EXPECT_EQ(ini.ReadString("History", "Open1", ""), paths[4]);

    core->CloseArchive();
    EXPECT_EQ(core->Caption, "Parvex 2000");
    EXPECT_EQ(core->StatusPanels, (std::vector<std::string>{"Ready"}));
    EXPECT_TRUE(core->Rows.empty());
    EXPECT_FALSE(core->IsEnabled(cmd::Extract));
    EXPECT_TRUE(lister->file.empty());
}

TEST_F(CoreFixture, ZipRowsLowerCaseTheShownNameOnlyAndFindTheInstaller) {
    zip->entries = {entry("SRC/README.TXT", 10, 5), entry("Setup.EXE", 300, 200), entry("x.Doc", 2048, 1024)};
    std::string path = file("Bundle.zip");
    core->OpenArchive(path);
    EXPECT_EQ(core->FHandlerKind, 1);
    EXPECT_FALSE(core->FIsExeArchive);
    EXPECT_EQ(zip->name, path);
    EXPECT_EQ(captions(), (std::vector<std::string>{"Readme.txt", "Setup.exe", "x.doc"}));
    EXPECT_EQ(core->Rows[0].StoredName, "SRC/README.TXT");
    EXPECT_EQ(core->Rows[0].SubItems[4], "SRC/");
    EXPECT_EQ(core->Rows[0].SubItems[5], "1234abcd");
    EXPECT_TRUE(core->FInstallerPresent);
    EXPECT_EQ(core->FInstallerRow, 1);
    EXPECT_TRUE(core->SetupShown);
    EXPECT_TRUE(core->IsEnabled(cmd::MakeExe));
    EXPECT_EQ(core->StatusPanels[2], "Total 3 files, 2 KB [1 KB]");
    EXPECT_EQ(core->Caption, "Parvex 2000 - Bundle.zip");

    core->OpenArchive(file("x.exe"));
    EXPECT_EQ(core->FHandlerKind, 1);
    EXPECT_TRUE(core->FIsExeArchive);
    EXPECT_TRUE(core->IsEnabled(cmd::ExeToZip));
    EXPECT_FALSE(core->IsEnabled(cmd::MakeExe));

    core->OpenArchive(file("Backup.ZIP.old"));
    EXPECT_EQ(core->FHandlerKind, 2);
    EXPECT_TRUE(zip->name.empty()); // the zip component let go of the previous archive
}

TEST_F(CoreFixture, EveryColumnSortsBothWaysOnRawValues) {
    // Sizes 1000 and 999 show as "1.000" and "999": text order would put them wrongly.
    lister->entries = {entry("b/c.txt", 1000, 10, 45002.0), entry("a/B.txt", 999, 900, 45001.0),
                       entry("c/a.txt", 5000, 4000, 45003.0), entry("a.txt", 20, 20, 45000.0)};
    core->OpenArchive(file("s.tar"));
    struct Case {
        int column;
        std::vector<std::string> ascending; // stored names
    } cases[] = {
        {0, {"a.txt", "c/a.txt", "a/B.txt", "b/c.txt"}}, // name, case ignored; ties by stored name
        {1, {"a.txt", "a/B.txt", "b/c.txt", "c/a.txt"}}, // size
        {2, {"b/c.txt", "a.txt", "a/B.txt", "c/a.txt"}}, // packed
        {3, {"a.txt", "a/B.txt", "c/a.txt", "b/c.txt"}}, // ratio 0, 10, 20, 99
        {4, {"a.txt", "a/B.txt", "b/c.txt", "c/a.txt"}}, // date
        {5, {"a.txt", "a/B.txt", "b/c.txt", "c/a.txt"}}, // path "" < "a/" < "b/" < "c/"
    };
    auto names = [&] {
        std::vector<std::string> v;
        for (auto& r : core->Rows) v.push_back(r.StoredName);
        return v;
    };
    for (auto& c : cases) {
        core->FSortDescending = false;
        core->ZipListColumnClick(c.column);
        EXPECT_EQ(names(), c.ascending) << "column " << c.column;
        EXPECT_EQ(core->CheckedSortItem, c.column);
        EXPECT_TRUE(core->FSortDescending); // the next click reverses
        core->ZipListColumnClick(c.column);
        auto desc = c.ascending;
        std::reverse(desc.begin(), desc.end());
        EXPECT_EQ(names(), desc) << "column " << c.column << " descending";
    }
    // The sort items act as a click on their column, direction flip included.
    core->FSortDescending = false;
    core->SortItemClick(1);
    EXPECT_EQ(names().front(), "a.txt");
    core->SortItemClick(1);
    EXPECT_EQ(names().front(), "c/a.txt");
    // CRC and attributes leave the order alone and check no sort item.
    auto before = names();
    core->ZipListColumnClick(6);
    EXPECT_EQ(names(), before);
    EXPECT_EQ(core->CheckedSortItem, -1);
}

TEST_F(CoreFixture, SelectionTotals) {
    lister->entries = {entry("a", 2048, 1), entry("b", 1536, 1), entry("c", 100, 1)};
    core->OpenArchive(file("sel.tar"));
    core->ZipListSelectItem(0, true);
    EXPECT_EQ(core->StatusPanels[1], "1 file(s) selected, 2 KB");
    core->ZipListSelectItem(1, true);
    EXPECT_EQ(core->StatusPanels[1], "2 file(s) selected, 4 KB"); // 3584 / 1024 = 3.5, to even
    EXPECT_EQ(core->FSelectedSize, 3584);
    core->mmiInvSelClick();
    EXPECT_EQ(core->FSelectedSize, 100);
    EXPECT_EQ(core->StatusPanels[1], "1 file(s) selected, 0 KB");
    core->mmiSelAllClick();
    EXPECT_EQ(core->SelectedCount(), 3);
    core->mmiDeSelAllClick();
    EXPECT_EQ(core->FSelectedSize, 0);
}

TEST_F(CoreFixture, ImagesOnePerExtension) {
    lister->entries = {entry("a.txt", 1, 1), entry("b.TXT", 1, 1),    entry("c.txt", 1, 1),
                       entry("d.doc", 1, 1), entry("inner.gz", 1, 1), entry("run.exe", 1, 1),
                       entry("noext", 1, 1)};
    core->OpenArchive(file("img.tar"));
    EXPECT_EQ(core->SImages.size(), 5u); // .txt, .doc, .gz, .exe, none
    EXPECT_EQ(core->Rows[0].ImageIndex, core->Rows[1].ImageIndex);
    EXPECT_EQ(core->Rows[0].ImageIndex, core->Rows[2].ImageIndex);
    EXPECT_NE(core->Rows[0].ImageIndex, core->Rows[3].ImageIndex);
    EXPECT_EQ(core->SImages[size_t(core->Rows[4].ImageIndex)].kind, TImageKey::Archive);
    EXPECT_EQ(core->SImages[size_t(core->Rows[5].ImageIndex)].kind, TImageKey::Program);
    EXPECT_EQ(core->SImages[size_t(core->Rows[6].ImageIndex)].kind, TImageKey::Generic);
}

TEST_F(CoreFixture, CreateArchiveAppendsTheKindsExtensionUnlessContained) {
    struct {
        const char* name;
        int filter;
        const char* expect;
        int kind;
        int packerKind;
    } cases[] = {
        {"a.b", 6, "a.b.tar", 2, 6}, {"x.tar.gz", 6, "x.tar.gz", 2, 6},
        {"new", 1, "new.zip", 1, 0}, {"Old.ZIP.bak", 1, "Old.ZIP.bak", 1, 0},
        {"p", 2, "p.bh", 2, 1},      {"c", 3, "c.cab", 2, 2},
        {"l", 4, "l.lha", 2, 5},     {"j", 5, "j.jar", 2, 4},
    };
    for (auto& c : cases) {
        std::string base = (home.dir / "new").string() + "/";
        fs::create_directories(base);
        core->NewArchiveChosen(base + c.name, c.filter);
        EXPECT_EQ(core->FArchiveFile, base + c.expect) << c.name;
        EXPECT_EQ(core->FHandlerKind, c.kind) << c.name;
        EXPECT_EQ(static_cast<int>(core->FPacker), c.packerKind) << c.name;
        EXPECT_TRUE(core->FArchiveOpen);
        EXPECT_TRUE(core->Rows.empty());
    }
    core->NewArchiveChosen((home.dir / "new" / "Mixed.tar").string(), 6);
    EXPECT_EQ(core->Caption, "Parvex 2000 - MIXED.TAR");
    EXPECT_EQ(core->StatusPanels[0], (home.dir / "new" / "Mixed.tar").string());
}

TEST_F(CoreFixture, NewOverAnExistingFileAsksAndNeverLosesTheOldOneEarly) {
    std::string path = file("keep.tar");
    pvtest::writeFile(path, "old content");
    boxes.answers = {platform::ModalResult::No};
    core->NewArchiveChosen(path, 6);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Overwrite Archiv :\r\r" + path + "?");
    EXPECT_FALSE(core->FArchiveOpen);
    EXPECT_EQ(pvtest::readFile(path), "old content");

    boxes.answers = {platform::ModalResult::Yes};
    core->NewArchiveChosen(path, 6);
    EXPECT_TRUE(core->FArchiveOpen);
    EXPECT_FALSE(fs::exists(path)); // the name is free for the new archive
    core->CloseArchive();           // ... which never came: the old file comes back
    EXPECT_EQ(pvtest::readFile(path), "old content");

    boxes.answers = {platform::ModalResult::Yes};
    core->NewArchiveChosen(path, 6);
    pvtest::writeFile(path, "new archive");
    core->CloseArchive();
    EXPECT_EQ(pvtest::readFile(path), "new archive");
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(path).parent_path()), fs::directory_iterator()),
              1);
}

TEST_F(CoreFixture, FailuresShowAnErrorAndLeaveTheWindowUsable) {
    struct {
        std::string path;
        std::string text;
    } cases[] = {
        {(home.dir / "arc" / "missing.tar").string(), "File not found"},
        {(home.dir / "arc" / "missing.zip").string(), "Input file does not exist"},
        {home.dir.path().string() + "/folder.tar", "Error opening file"},
        {home.dir.path().string() + "/folder.zip", "Zip file could not be opened"},
    };
    fs::create_directories(home.dir / "folder.tar");
    fs::create_directories(home.dir / "folder.zip");
    for (auto& c : cases) {
        boxes.shown.clear();
        core->OpenArchive(c.path);
        ASSERT_EQ(boxes.shown.size(), 1u) << c.path;
        EXPECT_EQ(boxes.shown[0].caption, "Error");
        EXPECT_EQ(boxes.shown[0].text, c.path + "  -  " + c.text);
        EXPECT_FALSE(core->FArchiveOpen);
        EXPECT_EQ(core->Caption, "Parvex 2000");
        EXPECT_TRUE(core->FOpenHistory[1].empty());
    }
    // A file the lister cannot read: its error, an empty list, and the next open works.
    lister->fail = true;
    boxes.shown.clear();
    std::string bad = file("junk.arj");
    core->OpenArchive(bad);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, bad + "  -  Unknown file type");
    EXPECT_TRUE(core->Rows.empty());
    lister->fail = false;
    lister->entries = {entry("ok.txt", 1, 1)};
    core->OpenArchive(file("good.tar"));
    EXPECT_EQ(core->Rows.size(), 1u);
    EXPECT_EQ(core->Caption, "Parvex 2000 - good.tar");
}

TEST_F(CoreFixture, HistoryItemOfAMissingFileOffersToCreateIt) {
    std::string gone = (home.dir / "gone.x").string();
    core->FOpenHistory[1] = gone;
    boxes.answers = {platform::ModalResult::No};
    core->OpenHistoryItem(1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "This Archive doesn't exist. Do you want to create it now ?");
    EXPECT_FALSE(core->FArchiveOpen);
    boxes.answers = {platform::ModalResult::Yes};
    core->OpenHistoryItem(1);
    EXPECT_EQ(core->FArchiveFile, gone + ".bh");
}

TEST_F(CoreFixture, EncodedArchiveAsksBeforeExtracting) {
    lister->info.Uue = true;
    lister->entries = {entry("inner.zip", 10, 10)};
    boxes.answers = {platform::ModalResult::No};
    core->OpenArchive(file("mail.uue"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Question");
    EXPECT_EQ(boxes.shown[0].text,
              "This is an encoded archive. \n\rDo you want to extract it to the temp foler and open it?");
    EXPECT_EQ(core->Caption, "Parvex 2000 - mail.uue");
}

TEST_F(CoreFixture, StartUpFoldersAndZipLibraries) {
    // Fresh start: the folders fall back to the home folder, the temp folder to $TMPDIR.
    EXPECT_EQ(core->FOpenFolder, home.home + "/");
    EXPECT_EQ(core->FWorkTempFolder, home.tmp + "/");
    EXPECT_EQ(core->FTempFolder, home.tmp + "/");
    EXPECT_EQ(zip->dllDir, core->FSystemFolder); // no libraries beside the program
    EXPECT_TRUE(zip->loaded);
    TIniFile reg(pvRegistryFile());
    EXPECT_EQ(reg.ReadString(kRegistryAppKey, "App", ""), (home.dir / "bin" / "parvex").string());

    // Both libraries beside the program, whatever the case of their names; a configured
    // temp folder that exists is used.
    pvtest::writeFile(home.dir / "bin" / "ZIPDLL.DLL", "");
    pvtest::writeFile(home.dir / "bin" / "unzdll.dll", "");
    fs::create_directories(home.dir / "mytemp");
    TIniFile(home.settingsFile()).WriteString("Directories", "Temp", (home.dir / "mytemp").string());
    TIniFile(home.settingsFile()).WriteString("Directories", "Open", (home.dir / "nowhere").string());
    FakeZip* z2 = nullptr;
    auto zp = std::make_unique<FakeZip>();
    z2 = zp.get();
    TMainCore second(std::move(zp), std::make_unique<FakeLister>());
    second.FormCreate((home.dir / "bin" / "parvex").string());
    EXPECT_EQ(z2->dllDir, (home.dir / "bin").string() + "/");
    EXPECT_EQ(second.FWorkTempFolder, (home.dir / "mytemp").string() + "/");
    EXPECT_EQ(second.FOpenFolder, home.home + "/");

    // Only one of the two beside the program: both come from the library folder.
    fs::remove(home.dir / "bin" / "unzdll.dll");
    auto zp3 = std::make_unique<FakeZip>();
    FakeZip* z3 = zp3.get();
    TMainCore third(std::move(zp3), std::make_unique<FakeLister>());
    third.FormCreate((home.dir / "bin" / "parvex").string());
    EXPECT_EQ(z3->dllDir, third.FSystemFolder);
}

TEST_F(CoreFixture, PackerByTheListedType) {
    core->OpenArchive(file("p.tar"));
    EXPECT_TRUE(core->SelectPacker());
    EXPECT_EQ(core->FPacker, TPackerId::Tar);
    lister->info.PackerKind = 0; // e.g. an arj archive
    lister->info.Writable = false;
    core->OpenArchive(file("p.arj"));
    EXPECT_FALSE(core->IsEnabled(cmd::Add));
    EXPECT_FALSE(core->SelectPacker());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Compression not supported for this archive");
    EXPECT_EQ(boxes.shown[0].caption, "Error");
}

TEST_F(CoreFixture, AListingThatBreaksOffKeepsItsRowsAndTheWindowUsable) {
    lister->entries = {entry("first.txt", 10, 5), entry("second.txt", 10, 5)};
    lister->breakOff = true;
    std::string path = file("broken.lzh");
    core->OpenArchive(path);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, path + "  -  Bad file header");
    ASSERT_EQ(core->Rows.size(), 1u);
    EXPECT_EQ(core->Rows[0].Caption, "first.txt");
    EXPECT_TRUE(core->AllEnabled);
    EXPECT_EQ(core->Caption, "Parvex 2000 - broken.lzh");
}
