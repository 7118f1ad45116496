// Writing into the open archive from the window: adding and deleting through the real zip
// front-end (with the library stand-ins) checked by the peers, through a scripted packer for
// the engine's writers; self-extractor conversion both ways, renaming an entry and the
// archive, moving the archive to the trash.
#include <map>

#include "app/core/MainCore.h"
#include "coretest.h"

using namespace apptest;
namespace fs = std::filesystem;
using pvtest::q;
using pvtest::run;

namespace {

struct Boxes {
    std::vector<std::string> texts;
    platform::ModalResult answer = platform::ModalResult::Yes;
    platform::ScopedUiHooks hooks;
    Boxes() : hooks(make(this)) {}
    static platform::UiHooks make(Boxes* s) {
        platform::UiHooks h;
        h.messageBox = [s](const std::string&, const std::string& t, platform::MsgType, unsigned b) {
            s->texts.push_back(t);
            if (b & platform::mbYes) return s->answer;
            return platform::ModalResult::Ok;
        };
        h.askText = [](const std::string&, const std::string&, std::string&, bool) { return false; };
        return h;
    }
    bool said(const std::string& part) const {
        for (auto& t : texts)
            if (t.find(part) != std::string::npos) return true;
        return false;
    }
};

// A zip backend that records the add and delete requests and does nothing else.
class RecordingZip : public FakeZip {
public:
    std::vector<AddRequest> adds;
    std::vector<std::vector<std::string>> deletes;
    int Add(const AddRequest& r) override {
        adds.push_back(r);
        return int(r.specs.size());
    }
    int Delete(const std::vector<std::string>& s) override {
        deletes.push_back(s);
        return int(s.size());
    }
};

// A packer that records what the window sets.
struct PackerLog {
    int kind = 0;
    std::string archive, defaultDir, password;
    std::vector<std::string> specs, excludes;
    int method = -1, deflate = -1, dirNames = -1, sw = -1;
    bool recurse = false;
    int runs = 0;
};

class ScriptedPacker : public TPackerBackend {
public:
    ScriptedPacker(int kind, PackerLog& log) : log_(log) { log_ = PackerLog{}, log_.kind = kind; }
    int Kind() const override { return log_.kind; }
    void SetArchiveFile(const std::string& p) override { log_.archive = p; }
    void SetFileSpec(const std::vector<std::string>& s) override { log_.specs = s; }
    void SetExcludeSpec(const std::vector<std::string>& s) override { log_.excludes = s; }
    void SetDefaultDir(const std::string& d) override { log_.defaultDir = d; }
    void SetCompressMethod(int m) override { log_.method = m; }
    void SetDeflateType(int t) override { log_.deflate = t; }
    void SetPassword(const std::string& p) override { log_.password = p; }
    void SetRecurseDirs(bool on) override { log_.recurse = on; }
    void SetStoredDirNames(int m) override { log_.dirNames = m; }
    void SetSwitch(int s) override { log_.sw = s; }
    int Compress() override {
        ++log_.runs;
        pvtest::writeFile(log_.archive, "packed");
        return int(log_.specs.size());
    }
    int64_t TotalPackedSize() const override { return 0; }
    int64_t TotalUnpackedSize() const override { return 0; }
    void SetCancel(bool) override {}

private:
    PackerLog& log_;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        if (nl > start) out.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    std::sort(out.begin(), out.end());
    return out;
}

struct WriteFixture : ::testing::Test {
    CoreHome home;
    std::unique_ptr<Boxes> boxes;
    std::unique_ptr<TMainCore> core;
    fs::path src;

    void SetUp() override {
        boxes = std::make_unique<Boxes>();
        core = std::make_unique<TMainCore>(CreateLiveZip(), CreateLiveLister());
        core->FormCreate((pvtest::binDir() / "parvex").string());
        src = home.dir / "src";
        pvtest::writeFile(src / "x" / "1.txt", "one\n");
        pvtest::writeFile(src / "y" / "2.txt", pvtest::sampleText(90000, 2));
        auto big = pvtest::randomBytes(300000, 4);
        pvtest::writeFile(src / "tree" / "big.bin", std::string(big.begin(), big.end()));
        pvtest::writeFile(src / "tree" / "sub" / "c.txt", "c\n");
    }
    void TearDown() override {
        core.reset();
        boxes.reset();
    }
    std::string names(const fs::path& zip) { return run("unzip -Z1 " + q(zip.string())).out; }
    void expectTests(const fs::path& zip) {
        auto r = run("unzip -tq " + q(zip.string()));
        EXPECT_EQ(r.status, 0) << r.out;
        if (pvtest::havePeer("7zz")) {
            auto s = run("7zz t " + q(zip.string()));
            EXPECT_EQ(s.status, 0) << s.out;
        }
    }
    fs::path newZip(const std::string& name) {
        fs::path p = home.dir / "arc" / name;
        fs::create_directories(p.parent_path());
        core->CreateArchive(p.string(), 1);
        return p;
    }
};

} // namespace

TEST(AddMapping, LevelTableAndCommonRootFolderByFolder) {
    const int levels[][2] = {{0, 9}, {1, 7}, {2, 5}, {3, 3}, {4, 0}, {7, 0}, {-1, 0}};
    for (auto& l : levels) EXPECT_EQ(TMainCore::LevelFromIndex(l[0]), l[1]) << l[0];

    CoreHome home;
    Boxes boxes;
    TMainCore core(std::make_unique<FakeZip>(), std::make_unique<FakeLister>());
    struct Case {
        std::vector<std::string> files;
        std::string root;
    } cases[] = {
        {{"/a/x/1.txt", "/a/y/2.txt"}, "/a/"},
        {{"/a/x/1.txt", "/b/a/x/2.txt"}, "/"},
        {{"/a/xy/1.txt", "/a/x/2.txt"}, "/a/"}, // a shared start of a name is no folder
        {{"/a/x/1.txt", "/a/x/2.txt", "/a/x/s/3.txt"}, "/a/x/"},
        {{"/a/x/1.txt"}, "/a/x/"},
        {{"1.txt", "/a/2.txt"}, ""},
        {{}, ""},
    };
    for (auto& c : cases) {
        core.FAddFiles = c.files;
        EXPECT_EQ(core.CommonRootDir(), c.root) << (c.files.empty() ? "" : c.files.back());
    }

    const struct {
        const char *name, *mask;
        bool match;
    } masks[] = {{"a.txt", "*.txt", true}, {"a.TXT", "*.txt", true}, {"a.txt.bak", "*.txt", false},
                 {"readme", "*.*", true},  {"a.b", "?.b", true},     {"ab.b", "?.b", false},
                 {"a.txt", "a*t", true},   {"", "*", true}};
    for (auto& m : masks) {
        TListRow row;
        row.Caption = m.name;
        EXPECT_EQ(TMainCore::RowMatchesMask(row, m.mask), m.match) << m.name << " " << m.mask;
    }
}

TEST(AddMapping, OptionsReachTheZipFrontEnd) {
    CoreHome home;
    Boxes boxes;
    auto* zip = new RecordingZip;
    TMainCore core(std::unique_ptr<TZipBackend>(zip), std::make_unique<FakeLister>());
    core.CreateArchive((home.dir / "n.zip").string(), 1);
    fs::create_directories(home.dir / "d" / "sub");
    pvtest::writeFile(home.dir / "d" / "f.txt", "f");
    const std::string d = (home.dir / "d").string(), f = (home.dir / "d" / "f.txt").string();

    // Action and span tables, the level, the password (cut at 255), hidden and 8.3.
    struct Case {
        int action, span;
        bool update, freshen, move, diskSpan, erase;
    } cases[] = {{0, 0, false, false, false, false, false},
                 {1, 0, true, false, false, false, false},
                 {2, 1, false, true, false, true, false},
                 {3, 2, false, false, true, false, true},
                 {5, 3, false, false, false, false, false}};
    for (auto& c : cases) {
        core.FAddFiles = {f};
        core.AddCore({.action = c.action, .span = c.span, .level = 5});
        ASSERT_FALSE(zip->adds.empty());
        auto& r = zip->adds.back();
        EXPECT_EQ(r.update, c.update) << c.action;
        EXPECT_EQ(r.freshen, c.freshen) << c.action;
        EXPECT_EQ(r.move, c.move) << c.action;
        EXPECT_EQ(r.diskSpan, c.diskSpan) << c.span;
        EXPECT_EQ(r.diskSpanErase, c.erase) << c.span;
        EXPECT_EQ(r.level, 5);
        EXPECT_FALSE(r.encrypt);
        EXPECT_FALSE(r.dirNames);
        EXPECT_TRUE(core.FAddFiles.empty());
        EXPECT_EQ(core.StatusPanels[0], "1 files(s) added");
    }
    core.FAddFiles = {f};
    core.AddCore({.password = std::string(300, 'p'), .forceDOS = true, .hidden = true});
    EXPECT_TRUE(zip->adds.back().encrypt);
    EXPECT_EQ(zip->adds.back().password, std::string(255, 'p'));
    EXPECT_TRUE(zip->adds.back().hidden);
    EXPECT_TRUE(zip->adds.back().forceDOS);

    // One folder: it is the root, the line "*.*", names and recursion on.
    core.FAddFiles = {d};
    core.AddCore({});
    EXPECT_EQ(zip->adds.back().rootDir, d + "/");
    EXPECT_EQ(zip->adds.back().specs, std::vector<std::string>{"*.*"});
    EXPECT_TRUE(zip->adds.back().dirNames && zip->adds.back().recurse);
    // A folder among files: the lines unchanged, the common folder the root.
    core.FAddFiles = {f, (home.dir / "d" / "sub").string()};
    core.FExcludeSpecs = {"*.bak"};
    core.AddCore({});
    EXPECT_EQ(zip->adds.back().rootDir, d + "/");
    EXPECT_EQ(zip->adds.back().specs.size(), 2u);
    EXPECT_EQ(zip->adds.back().excludeSpecs, std::vector<std::string>{"*.bak"});
    EXPECT_TRUE(zip->adds.back().dirNames && zip->adds.back().recurse);

    // The dialog's road: the password only with its box, the level from the combo.
    core.FArchivePassword = "pw";
    core.FUsePassword = false;
    core.AddChosen({{f}, 1, 2, 0, false, true, false});
    EXPECT_FALSE(zip->adds.back().encrypt);
    EXPECT_EQ(zip->adds.back().level, 5);
    EXPECT_TRUE(zip->adds.back().update);
    core.FUsePassword = true;
    core.AddChosen({{f}, 9, 0, 0, false, true, false});
    EXPECT_TRUE(zip->adds.back().encrypt);
    EXPECT_FALSE(zip->adds.back().update); // an action out of range is 0
    const size_t before = zip->adds.size();
    core.AddChosen({{}, 0, 0, 0, false, true, false});
    EXPECT_EQ(zip->adds.size(), before);
    EXPECT_TRUE(boxes.said("No files selected to extract"));

    // Delete: selected, all, by mask, acting on the stored names.
    zip->entries = {entry("Docs/A.txt", 1, 1), entry("b.TXT", 1, 1), entry("c.bin", 1, 1)};
    core.FHandlerKind = hkZipFront;
    zip->SetZipFileName(zip->name);
    ASSERT_EQ(core.Rows.size(), 3u);
    core.FDeleteMode = 3;
    core.FCancelled = false;
    core.DeleteCore(false, "*.txt");
    std::vector<std::string> want = {"Docs/A.txt", "b.TXT"};
    std::vector<std::string> got = zip->deletes.back();
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, want);
    EXPECT_TRUE(core.FAddFiles.empty());
    core.pmiDeleteAllClick();
    EXPECT_EQ(zip->deletes.back().size(), 3u);
    core.FCancelled = true;
    const size_t dels = zip->deletes.size();
    core.DeleteCore(false, "*.*");
    EXPECT_EQ(zip->deletes.size(), dels);
}

TEST(AddMapping, PackerPropertiesAndDeleteSwitch) {
    CoreHome home;
    Boxes boxes;
    auto* lister = new FakeLister;
    TMainCore core(std::make_unique<FakeZip>(), std::unique_ptr<TListerBackend>(lister));
    PackerLog log;
    core.PackerFactory = [&log](int kind) -> std::unique_ptr<TPackerBackend> {
        if (kind == 1) return nullptr; // no writer for this kind yet
        return std::make_unique<ScriptedPacker>(kind, log);
    };
    pvtest::writeFile(home.dir / "in" / "a.txt", "a");
    const std::string a = (home.dir / "in" / "a.txt").string();
    struct Case {
        int archiveKind, packerKind;
        bool deflate;
    } cases[] = {{6, 6, false}, {5, 4, true}, {7, 3, true}, {4, 5, false}, {3, 2, false}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.archiveKind);
        const std::string arc = (home.dir / ("n" + std::to_string(c.archiveKind))).string();
        core.NewArchiveChosen(arc, c.archiveKind);
        ASSERT_EQ(core.FHandlerKind, 2);
        core.FCompressMethod = 2;
        core.FDeflateType = 1;
        core.FAddFolderWildcard = true;
        core.FExcludeSpecs = {"*.o"};
        const int activations = lister->activations;
        core.FAddFiles = {a};
        core.AddCore({.action = 3, .password = "pw", .fullPaths = true, .level = 0});
        EXPECT_EQ(log.kind, c.packerKind);
        EXPECT_EQ(log.archive, core.FArchiveFile);
        EXPECT_EQ(log.method, 2);
        EXPECT_EQ(log.deflate, c.deflate ? 1 : -1);
        EXPECT_TRUE(log.recurse);
        EXPECT_EQ(log.dirNames, TPackerBackend::pdAbsoluteNoDrv);
        EXPECT_EQ(log.sw, TPackerBackend::psMove);
        EXPECT_EQ(log.password, "pw");
        EXPECT_EQ(log.specs, std::vector<std::string>{a});
        EXPECT_EQ(log.excludes, std::vector<std::string>{"*.o"});
        EXPECT_EQ(log.defaultDir, (home.dir / "in").string() + "/");
        EXPECT_GT(lister->activations, activations); // re-listed
        EXPECT_TRUE(core.FAddFiles.empty());
        core.FAddFiles = {a};
        core.AddCore({.level = 0});
        EXPECT_EQ(log.dirNames, TPackerBackend::pdRelative);
        EXPECT_EQ(log.sw, TPackerBackend::psAdd);
    }
    // A packer the engine does not have yet says so.
    core.NewArchiveChosen((home.dir / "n.bh").string(), 2);
    core.FAddFiles = {a};
    boxes.texts.clear();
    EXPECT_FALSE(core.AddCore({.level = 0}));
    EXPECT_TRUE(boxes.said("Compression not supported for this archive"));

    // Delete on an opened tar: the lister's packer, the swDelete switch, a re-listing.
    lister->entries = {entry("a.txt", 1, 1), entry("b.txt", 1, 1)};
    pvtest::writeFile(home.dir / "t.tar", "x");
    core.OpenArchive((home.dir / "t.tar").string());
    ASSERT_EQ(core.FHandlerKind, 2);
    ASSERT_EQ(core.Rows.size(), 2u);
    const int activations = lister->activations;
    core.FDeleteMode = 3;
    core.FCancelled = false;
    core.DeleteCore(false, "b.*");
    EXPECT_EQ(log.kind, 6);
    EXPECT_EQ(log.sw, TPackerBackend::psDelete);
    EXPECT_EQ(log.specs, std::vector<std::string>{"b.txt"});
    EXPECT_GT(lister->activations, activations);
}

TEST_F(WriteFixture, AddFilesAndFoldersToNewAndOpenZip) {
    PV_REQUIRE_PEER("unzip");
    // Two files in two folders: their common folder is the root.
    fs::path zip = newZip("two.zip");
    core->FAddFiles = {(src / "x" / "1.txt").string(), (src / "y" / "2.txt").string()};
    ASSERT_TRUE(core->AddCore({})) << core->StatusPanels[0];
    expectTests(zip);
    EXPECT_EQ(core->StatusPanels[0], "2 files(s) added");
    EXPECT_EQ(core->Rows.size(), 2u);

    // One folder into the open archive: relative names, recursed.
    core->FAddFiles = {(src / "tree").string()};
    ASSERT_TRUE(core->AddCore({.level = 0}));
    expectTests(zip);
    auto got = lines(names(zip));
    EXPECT_TRUE(std::find(got.begin(), got.end(), "big.bin") != got.end()) << names(zip);
    EXPECT_TRUE(std::find(got.begin(), got.end(), "sub/c.txt") != got.end()) << names(zip);
    EXPECT_EQ(core->Rows.size(), got.size());

    // Level 9 against stored (level 0): the text file shrinks only with compression.
    fs::path z0 = newZip("stored.zip");
    core->FAddFiles = {(src / "y" / "2.txt").string()};
    ASSERT_TRUE(core->AddCore({.level = TMainCore::LevelFromIndex(4)}));
    ASSERT_EQ(core->Rows.size(), 1u);
    EXPECT_EQ(core->Rows[0].Packed, core->Rows[0].Size);
    fs::path z9 = newZip("deflated.zip");
    core->FAddFiles = {(src / "y" / "2.txt").string()};
    ASSERT_TRUE(core->AddCore({.level = TMainCore::LevelFromIndex(0)}));
    ASSERT_EQ(core->Rows.size(), 1u);
    EXPECT_LT(core->Rows[0].Packed, core->Rows[0].Size / 2);
    expectTests(z0);
    expectTests(z9);
}

TEST_F(WriteFixture, EncryptedMoveAndFreshen) {
    PV_REQUIRE_PEER("unzip");
    fs::path zip = newZip("enc.zip");
    core->FAddFiles = {(src / "y" / "2.txt").string()};
    ASSERT_TRUE(core->AddCore({.password = "Secret9"}));
    auto r = run("unzip -p -P Secret9 " + q(zip.string()) + " 2.txt");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out == pvtest::readFile(src / "y" / "2.txt"));
    EXPECT_NE(run("unzip -p -P wrong " + q(zip.string()) + " 2.txt").status, 0);

    // Move: only the file added goes from the disk.
    fs::path moved = newZip("move.zip");
    pvtest::writeFile(src / "m" / "go.txt", "go");
    pvtest::writeFile(src / "m" / "stay.txt", "stay");
    core->FAddFiles = {(src / "m" / "go.txt").string()};
    ASSERT_TRUE(core->AddCore({.action = 3}));
    EXPECT_FALSE(fs::exists(src / "m" / "go.txt"));
    EXPECT_TRUE(fs::exists(src / "m" / "stay.txt"));
    EXPECT_EQ(lines(names(moved)), std::vector<std::string>{"go.txt"});

    // Freshen: only entries the archive has, and only when newer.
    pvtest::writeFile(src / "m" / "go.txt", "newer content");
    fs::last_write_time(src / "m" / "go.txt", fs::file_time_type::clock::now() + std::chrono::hours(1));
    core->FAddFiles = {(src / "m" / "go.txt").string(), (src / "m" / "stay.txt").string()};
    core->AddCore({.action = 2});
    EXPECT_EQ(lines(names(moved)), std::vector<std::string>{"go.txt"});
    EXPECT_EQ(run("unzip -p " + q(moved.string()) + " go.txt").out, "newer content");
    // Update adds what is missing.
    core->FAddFiles = {(src / "m" / "stay.txt").string()};
    core->AddCore({.action = 1});
    EXPECT_EQ(lines(names(moved)), (std::vector<std::string>{"go.txt", "stay.txt"}));
    expectTests(moved);
}

TEST_F(WriteFixture, DeleteSelectedAllAndMaskKeepsTheOthersRaw) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("unzip");
    pvtest::writeFile(src / "d" / "a.txt", "a\n");
    pvtest::writeFile(src / "d" / "b.TXT", pvtest::sampleText(20000, 7));
    pvtest::writeFile(src / "d" / "c.bin", "ccc");
    pvtest::writeFile(src / "d" / "d.txt.bak", "d");
    fs::path zip = home.dir / "arc" / "del.zip";
    fs::create_directories(zip.parent_path());
    ASSERT_EQ(run("zip -q -X " + q(zip.string()) + " a.txt b.TXT c.bin d.txt.bak", src / "d").status, 0);
    core->OpenArchive(zip.string());
    ASSERT_EQ(core->Rows.size(), 4u);
    auto member = [&](const std::string& n) { return run("unzip -p " + q(zip.string()) + " " + q(n)).out; };
    const std::string binBefore = member("c.bin");

    core->FDeleteMode = 3;
    core->FCancelled = false;
    core->DeleteCore(false, "*.txt");
    EXPECT_EQ(lines(names(zip)), (std::vector<std::string>{"c.bin", "d.txt.bak"}));
    EXPECT_EQ(core->Rows.size(), 2u);
    EXPECT_EQ(member("c.bin"), binBefore);
    expectTests(zip);

    for (auto& row : core->Rows) row.Selected = row.StoredName == "c.bin";
    core->pmiDeleteSelectedClick();
    EXPECT_EQ(lines(names(zip)), std::vector<std::string>{"d.txt.bak"});
    EXPECT_EQ(core->Rows.size(), 1u);

    core->pmiDeleteAllClick();
    EXPECT_TRUE(core->Rows.empty());
    EXPECT_TRUE(core->FArchiveOpen);
}

TEST_F(WriteFixture, AddWithSpanExistingOpensTheLastPart) {
    PV_REQUIRE_PEER("unzip");
    auto data = pvtest::randomBytes(1500 * 1024, 21);
    pvtest::writeFile(src / "s" / "big.bin", std::string(data.begin(), data.end()));
    fs::path zip = newZip("span.zip");
    core->FSpanExisting = true;
    core->FSpanSizeKB = 720;
    core->FAddFiles = {(src / "s" / "big.bin").string()};
    ASSERT_TRUE(core->AddCore({.level = 0}));
    int parts = 0;
    while (fs::exists(TMainCore::SpanPartName(zip.string(), parts + 1))) ++parts;
    EXPECT_EQ(parts, 3);
    EXPECT_EQ(core->FArchiveFile, TMainCore::SpanPartName(zip.string(), parts));
    EXPECT_TRUE(core->FArchiveOpen);
    EXPECT_EQ(core->Rows.size(), 1u);
    if (pvtest::havePeer("7zz") && parts == 3) {
        const fs::path set = home.dir / "set";
        fs::create_directories(set);
        fs::copy_file(TMainCore::SpanPartName(zip.string(), 1), set / "x.z01");
        fs::copy_file(TMainCore::SpanPartName(zip.string(), 2), set / "x.z02");
        fs::copy_file(TMainCore::SpanPartName(zip.string(), 3), set / "x.zip");
        auto r = run("7zz t " + q((set / "x.zip").string()));
        EXPECT_EQ(r.status, 0) << r.out;
    }
}

TEST_F(WriteFixture, MakeExeThenExeToZipAndRenames) {
    PV_REQUIRE_PEER("unzip");
    fs::path zip = newZip("self.zip");
    core->FAddFiles = {(src / "x" / "1.txt").string(), (src / "y" / "2.txt").string()};
    ASSERT_TRUE(core->AddCore({}));
    const std::string original = pvtest::readFile(zip);

    ASSERT_TRUE(core->MakeExeCore({})) << (boxes->texts.empty() ? "" : boxes->texts.back());
    const fs::path exe = home.dir / "arc" / "self.exe";
    EXPECT_EQ(core->FArchiveFile, exe.string());
    EXPECT_EQ(core->FOpenHistory[1], exe.string());
    EXPECT_NE(core->Caption.find("self.exe"), std::string::npos) << core->Caption;
    EXPECT_EQ(run("unzip -tq " + q(exe.string())).status, 0);
    const fs::path out = home.dir / "sfxout";
    auto r = run(q(exe.string()) + " -d " + q(out.string()) + " </dev/null");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(pvtest::readFile(out / "1.txt"), "one\n");

    fs::remove(zip);
    ASSERT_TRUE(core->ExeToZipCore());
    EXPECT_EQ(core->FArchiveFile, zip.string());
    EXPECT_TRUE(pvtest::readFile(zip) == original);

    // Rename one entry among look-alikes: only it changes.
    fs::path ren = home.dir / "arc" / "ren.zip";
    pvtest::writeFile(src / "r" / "docs" / "a.txt", "A");
    pvtest::writeFile(src / "r" / "docs" / "a.txt.bak", "B");
    pvtest::writeFile(src / "r" / "data.txt", "D");
    PV_REQUIRE_PEER("zip");
    ASSERT_EQ(run("zip -q -X " + q(ren.string()) + " docs/a.txt data.txt docs/a.txt.bak", src / "r").status,
              0);
    core->OpenArchive(ren.string());
    for (auto& row : core->Rows) row.Selected = row.StoredName == "docs/a.txt";
    const std::string before = pvtest::readFile(ren);
    for (const char* bad : {"", "x/y", "x\\y", "..", "a.txt.bak"}) {
        for (auto& row : core->Rows) row.Selected = row.StoredName == "docs/a.txt";
        EXPECT_FALSE(core->RenameEntryCore(bad)) << bad;
        EXPECT_TRUE(pvtest::readFile(ren) == before) << bad;
    }
    for (auto& row : core->Rows) row.Selected = row.StoredName == "docs/a.txt";
    ASSERT_TRUE(core->RenameEntryCore("b.txt"));
    EXPECT_EQ(lines(names(ren)), (std::vector<std::string>{"data.txt", "docs/a.txt.bak", "docs/b.txt"}));
    EXPECT_EQ(run("unzip -p " + q(ren.string()) + " docs/b.txt").out, "A");
    expectTests(ren);

    // Renaming the archive: an existing name is refused, a free one reopens it.
    pvtest::writeFile(home.dir / "arc" / "taken.zip", "t");
    EXPECT_FALSE(core->RenameArchiveCore("taken.zip"));
    EXPECT_EQ(pvtest::readFile(home.dir / "arc" / "taken.zip"), "t");
    EXPECT_EQ(core->FArchiveFile, ren.string());
    ASSERT_TRUE(core->RenameArchiveCore("renamed.zip"));
    EXPECT_FALSE(fs::exists(ren));
    EXPECT_EQ(core->FArchiveFile, (home.dir / "arc" / "renamed.zip").string());
    EXPECT_EQ(core->Rows.size(), 3u);

    // To the trash: declined keeps it, confirmed moves it and closes.
    boxes->answer = platform::ModalResult::No;
    EXPECT_FALSE(core->DeleteArchiveCore());
    EXPECT_TRUE(fs::exists(home.dir / "arc" / "renamed.zip"));
    boxes->answer = platform::ModalResult::Yes;
    EXPECT_TRUE(core->DeleteArchiveCore());
    EXPECT_FALSE(fs::exists(home.dir / "arc" / "renamed.zip"));
    EXPECT_FALSE(core->FArchiveOpen);
    EXPECT_TRUE(fs::exists(fs::path(home.data) / "Trash" / "files" / "renamed.zip"));
}

// Cancel in the progress window and a failing run leave the archive byte for byte as it was,
// open and listed: zip through the front-end, tar through the engine's packer.
TEST_F(WriteFixture, CancelledOrFailedAddAndDeleteKeepTheArchive) {
    PV_REQUIRE_PEER("unzip");
    auto big = pvtest::randomBytes(1 << 20, 9);
    for (int i = 0; i < 12; ++i)
        pvtest::writeFile(src / "many" / ("f" + std::to_string(i) + ".bin"),
                          std::string(big.begin(), big.end()));
    struct Kind {
        const char* name;
        int archiveKind;
    } kinds[] = {{"c.zip", 1}, {"c.tar", 6}};
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.name);
        fs::path arc = home.dir / "arc" / k.name;
        fs::create_directories(arc.parent_path());
        core->CreateArchive(arc.string(), k.archiveKind);
        core->FAddFiles = {(src / "x" / "1.txt").string(), (src / "y" / "2.txt").string()};
        ASSERT_TRUE(core->AddCore({.span = 3}));
        EXPECT_EQ(core->StatusPanels[0], "2 files(s) added");
        const std::string before = pvtest::readFile(arc);
        const size_t rows = core->Rows.size();
        ASSERT_EQ(rows, 2u);

        // Cancel while the add runs.
        int pumps = 0;
        // Cancel once the run is into its second file.
        platform::uiHooks().processMessages = [&] {
            if (core->StatForm.Visible && core->FCurrentFileNo >= 2 && pumps++ == 0) core->StatCancelClick();
        };
        core->FAddFiles = {(src / "many").string()};
        core->AddCore({.span = 3});
        EXPECT_GE(pumps, 1);
        EXPECT_EQ(core->StatusPanels[0], "User canceled"); // not "0 files(s) added"
        EXPECT_TRUE(pvtest::readFile(arc) == before);
        EXPECT_TRUE(core->FArchiveOpen);
        EXPECT_EQ(core->Rows.size(), rows);
        EXPECT_TRUE(core->AllEnabled);

        // Cancel while a delete runs.
        pumps = 0;
        platform::uiHooks().processMessages = [&] {
            if (core->StatForm.Visible && pumps++ == 0) core->StatCancelClick();
        };
        core->FDeleteMode = dmAll;
        core->pmiDeleteAllClick();
        EXPECT_EQ(core->StatusPanels[0], "User canceled");
        EXPECT_TRUE(pvtest::readFile(arc) == before);
        EXPECT_EQ(core->Rows.size(), rows);
        platform::uiHooks().processMessages = nullptr;

        // A file that vanished before the run.
        core->FAddFiles = {(src / "gone.txt").string()};
        EXPECT_FALSE(core->AddCore({.span = 3}));
        EXPECT_TRUE(pvtest::readFile(arc) == before);
        EXPECT_TRUE(core->FArchiveOpen);
        EXPECT_EQ(core->Rows.size(), rows);
    }
}

// The status bar tells what the last command did: an extraction's count does not stay up
// after a delete.
TEST_F(WriteFixture, EachCommandSaysItsOwnResult) {
    struct Kind {
        const char* name;
        int archiveKind;
    } kinds[] = {{"s.zip", 1}, {"s.tar", 6}};
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.name);
        const fs::path arc = home.dir / "st" / k.name;
        fs::create_directories(arc.parent_path());
        core->CreateArchive(arc.string(), k.archiveKind);
        core->FAddFiles = {(src / "x" / "1.txt").string(), (src / "y" / "2.txt").string()};
        ASSERT_TRUE(core->AddCore({.span = 3}));
        EXPECT_EQ(core->StatusPanels[0], "2 files(s) added");
        ASSERT_TRUE(core->ExtractCore(false, true, (home.dir / "st" / "out").string(), false, true));
        EXPECT_EQ(core->StatusPanels[0], "2 file(s) successfully extracted !");
        for (size_t i = 0; i < core->Rows.size(); ++i) core->ZipListSelectItem(int(i), i == 0);
        core->pmiDeleteSelectedClick();
        EXPECT_EQ(core->Rows.size(), 1u);
        EXPECT_EQ(core->StatusPanels[0], "1 file(s) deleted");
    }
}

// Adding to a tar or a jar keeps the archive's rows in the list while the packer runs (the
// window paints them whenever it lets messages through), shows the new ones after, and the
// old ones after a cancelled add; the list's update brackets are balanced at the end.
TEST_F(WriteFixture, ListKeepsItsRowsWhileAPackerAdds) {
    auto big = pvtest::randomBytes(1 << 20, 3);
    for (int i = 0; i < 6; ++i)
        pvtest::writeFile(src / "many" / ("f" + std::to_string(i) + ".bin"),
                          std::string(big.begin(), big.end()));
    struct Kind {
        const char* name;
        int archiveKind;
    } kinds[] = {{"k.tar", 6}, {"k.jar", 5}};
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.name);
        fs::path arc = home.dir / "arc" / k.name;
        fs::create_directories(arc.parent_path());
        core->CreateArchive(arc.string(), k.archiveKind);
        core->FAddFiles = {(src / "x" / "1.txt").string(), (src / "y" / "2.txt").string()};
        ASSERT_TRUE(core->AddCore({.span = 3}));
        ASSERT_EQ(core->Rows.size(), 2u);

        // An add that runs to its end: the two rows stay visible throughout, then three.
        std::vector<size_t> seen;
        platform::uiHooks().processMessages = [&] {
            if (core->StatForm.Visible) seen.push_back(core->Rows.size());
        };
        core->FAddFiles = {(src / "tree" / "big.bin").string()};
        ASSERT_TRUE(core->AddCore({.span = 3}));
        ASSERT_FALSE(seen.empty());
        for (size_t n : seen) ASSERT_EQ(n, 2u);
        EXPECT_EQ(core->Rows.size(), 3u);
        EXPECT_EQ(core->ListUpdateDepth(), 0);

        // A cancelled add: the rows never go, and the archive is as it was.
        const std::string before = pvtest::readFile(arc);
        seen.clear();
        int pumps = 0;
        platform::uiHooks().processMessages = [&] {
            if (!core->StatForm.Visible) return;
            seen.push_back(core->Rows.size());
            if (core->FCurrentFileNo >= 2 && pumps++ == 0) core->StatCancelClick();
        };
        core->FAddFiles = {(src / "many").string()};
        core->AddCore({.span = 3});
        platform::uiHooks().processMessages = nullptr;
        EXPECT_GE(pumps, 1);
        for (size_t n : seen) ASSERT_EQ(n, 3u);
        EXPECT_EQ(core->Rows.size(), 3u);
        EXPECT_TRUE(pvtest::readFile(arc) == before);
        EXPECT_EQ(core->ListUpdateDepth(), 0);
    }
}

// "Move files" of an engine archive moves (the dialog's switch reaches the packer); a span
// request that was not taken up stays out of the next add.
TEST_F(WriteFixture, MoveIntoATarAndNoSpanLeftPending) {
    PV_REQUIRE_PEER("tar");
    fs::path tar = home.dir / "arc" / "m.tar";
    fs::create_directories(tar.parent_path());
    core->CreateArchive(tar.string(), 6);
    ASSERT_EQ(core->FHandlerKind, hkLister);
    pvtest::writeFile(src / "mv" / "gone.txt", "moved\n");
    pvtest::writeFile(src / "mv" / "stays.txt", "kept\n");
    core->FPackerSwitch = 3;
    TMainCore::TAddChoice c;
    c.files = {(src / "mv" / "gone.txt").string()};
    core->AddChosen(c);
    EXPECT_FALSE(fs::exists(src / "mv" / "gone.txt"));
    EXPECT_TRUE(fs::exists(src / "mv" / "stays.txt"));
    EXPECT_EQ(run("tar -xOf " + q(tar.string()) + " gone.txt").out, "moved\n");
    ASSERT_EQ(core->Rows.size(), 1u);

    PV_REQUIRE_PEER("unzip");
    fs::path zip = newZip("nospan.zip");
    core->FSpanExisting = true; // an earlier span dialog's answer
    core->FSpanSizeKB = 720;
    auto data = pvtest::randomBytes(1500 * 1024, 5);
    pvtest::writeFile(src / "s" / "big.bin", std::string(data.begin(), data.end()));
    TMainCore::TAddChoice z;
    z.files = {(src / "s" / "big.bin").string()};
    z.span = 3; // "No spanning"
    core->AddChosen(z);
    EXPECT_FALSE(core->FSpanExisting);
    EXPECT_EQ(core->FArchiveFile, zip.string());
    EXPECT_FALSE(fs::exists(TMainCore::SpanPartName(zip.string(), 1)));
    expectTests(zip);
}
