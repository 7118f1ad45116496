// The window's answers to the components' questions, over the real zip front-end (with the
// library stand-ins) and the engine on archives the peers make at test time: passwords asked
// and given up, a further volume located by hand, a damaged entry, the packers' progress
// window; and re-writing the open zip archive as a spanned set.
#include <map>
#include <optional>

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "app/core/MainCore.h"
#include "app/window/MainUnit.h"
#include "app/dialogs/PWord1Unit.h"
#include "app/dialogs/UserSpanUnit.h"
#include "apptest.h"

using namespace apptest;
namespace fs = std::filesystem;
using pvtest::q;
using pvtest::run;

namespace {

// Message boxes, password questions and text questions answered from scripts.
struct Script {
    struct Box {
        std::string caption, text;
    };
    std::vector<Box> boxes;
    std::vector<std::optional<std::string>> passwords; // in order; nullopt cancels; then cancel
    std::vector<std::string> passwordCaptions;
    // Text questions: the prompt and the value offered; the answer replaces the value.
    std::vector<std::pair<std::string, std::string>> asked;
    std::function<bool(const std::string& prompt, std::string& value)> text;
    platform::ScopedUiHooks hooks;

    Script() : hooks(make(this)) {}
    static platform::UiHooks make(Script* s) {
        platform::UiHooks h;
        h.messageBox = [s](const std::string& c, const std::string& t, platform::MsgType, unsigned b) {
            s->boxes.push_back({c, t});
            return (b & platform::mbOK) ? platform::ModalResult::Ok : platform::ModalResult::No;
        };
        h.askPassword = [s](const platform::PasswordQuestion& pq, std::string& value) {
            s->passwordCaptions.push_back(pq.caption);
            if (s->passwords.empty()) return false;
            auto a = s->passwords.front();
            s->passwords.erase(s->passwords.begin());
            if (!a) return false;
            value = *a;
            return true;
        };
        h.askText = [s](const std::string&, const std::string& prompt, std::string& value, bool) {
            s->asked.push_back({prompt, value});
            return s->text ? s->text(prompt, value) : false;
        };
        return h;
    }
    bool boxSays(const std::string& part) const {
        for (auto& b : boxes)
            if (b.text.find(part) != std::string::npos) return true;
        return false;
    }
};

std::map<std::string, std::string> tree(const fs::path& dir) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    if (!fs::exists(dir, ec)) return out;
    for (auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) out[fs::relative(e.path(), dir).string()] = pvtest::readFile(e.path());
    return out;
}

struct EventsFixture : ::testing::Test {
    IsolatedHome home;
    std::unique_ptr<Script> script;
    std::unique_ptr<TMainCore> core;
    fs::path src;
    std::map<std::string, std::string> files;

    void SetUp() override {
        script = std::make_unique<Script>();
        core = std::make_unique<TMainCore>(CreateLiveZip(), CreateLiveLister());
        core->FormCreate((pvtest::binDir() / "parvex").string());
        script->boxes.clear();
        src = home.dir / "src";
        auto big = pvtest::randomBytes(150000, 5);
        files = {{"a.txt", "hello\n"},
                 {"b.txt", pvtest::sampleText(70000, 3)},
                 {"big.bin", std::string(big.begin(), big.end())}};
        for (auto& [name, data] : files) pvtest::writeFile(src / name, data);
    }
    void TearDown() override {
        core.reset();
        script.reset();
    }
    std::string status() const { return core->StatusPanels.empty() ? "" : core->StatusPanels[0]; }
    // An archive of the three files: `cmd` is the peer's command up to the archive name.
    fs::path make(const std::string& cmd, const std::string& name) {
        fs::path out = home.dir / "arc" / name;
        fs::create_directories(out.parent_path());
        auto r = run(cmd + " " + q(out.string()) + " a.txt b.txt big.bin >/dev/null", src);
        EXPECT_EQ(r.status, 0) << r.out;
        return out;
    }
};

} // namespace

// ---------------------------------------------------------------- passwords

TEST_F(EventsFixture, ZipPasswordIsAskedAndTheTypedOneUsedCancelGivesUp) {
    PV_REQUIRE_PEER("zip");
    const fs::path arc = make("zip -q -X -P Secret7", "locked.zip");
    core->OpenArchive(arc.string());
    ASSERT_EQ(core->Rows.size(), 3u);

    // Asked with the window's own dialog in ask mode; the answer opens every entry.
    script->passwords = {std::string("Secret7"), std::string("Secret7"), std::string("Secret7")};
    const fs::path out = home.dir / "out";
    EXPECT_TRUE(core->ExtractCore(false, false, out.string(), false, true)) << status();
    EXPECT_TRUE(tree(out) == files);
    ASSERT_FALSE(script->passwordCaptions.empty());
    EXPECT_EQ(script->passwordCaptions[0], "Password needed");
    EXPECT_EQ(core->FArchivePassword, "Secret7");
    EXPECT_FALSE(core->FAskPassword);

    // Cancel: no file, the failure said, and the password typed earlier is not tried.
    core->FArchivePassword = "Secret7";
    script->passwords.clear();
    script->passwordCaptions.clear();
    const fs::path none = home.dir / "none";
    EXPECT_FALSE(core->ExtractCore(false, false, none.string(), false, true));
    EXPECT_FALSE(script->passwordCaptions.empty());
    EXPECT_TRUE(tree(none).empty());
    EXPECT_EQ(status().find("successfully"), std::string::npos) << status();
    EXPECT_FALSE(status().empty());
    EXPECT_TRUE(core->FCancelled);
    EXPECT_TRUE(core->AllEnabled);
    EXPECT_FALSE(core->StatForm.Visible);
}

TEST_F(EventsFixture, ZipWrongPasswordIsReportedAndTheNewTextUsedAfterIt) {
    PV_REQUIRE_PEER("zip");
    const fs::path arc = make("zip -q -X -P right", "again.zip");
    core->OpenArchive(arc.string());
    script->passwords = {std::string("wrong"), std::string("right"), std::string("right"),
                         std::string("right"), std::string("right")};
    const fs::path out = home.dir / "out";
    // The component tries each entry as often as it is set to (once): the entry the wrong
    // text was typed for is given up and named, the next ones use the new text.
    EXPECT_FALSE(core->ExtractCore(false, false, out.string(), false, true));
    EXPECT_EQ(script->passwordCaptions.size(), 2u);
    auto want = files;
    want.erase("a.txt");
    EXPECT_TRUE(tree(out) == want);
    EXPECT_NE(status().find("a.txt"), std::string::npos) << status();
}

TEST_F(EventsFixture, ArjPasswordThroughTheExtractorsQuestion) {
    PV_REQUIRE_PEER("arj");
    const fs::path arc = make("arj a -gSecret7 -y", "locked.arj");
    core->OpenArchive(arc.string());
    ASSERT_EQ(core->FHandlerKind, 2);
    ASSERT_EQ(core->Rows.size(), 3u);

    script->passwords = {std::string("Secret7")};
    const fs::path out = home.dir / "out";
    EXPECT_TRUE(core->ExtractCore(false, false, out.string(), false, true)) << status();
    EXPECT_TRUE(tree(out) == files);
    EXPECT_EQ(script->passwordCaptions, std::vector<std::string>{"Password needed"});

    // Cancel: nothing written, the run fails and says so.
    script->passwords.clear();
    const fs::path none = home.dir / "none";
    EXPECT_FALSE(core->ExtractCore(false, false, none.string(), false, true));
    EXPECT_TRUE(tree(none).empty());
    EXPECT_EQ(status().find("successfully"), std::string::npos) << status();
    EXPECT_TRUE(core->AllEnabled);
}

// ---------------------------------------------------------------- volumes

TEST_F(EventsFixture, ArjVolumeRenamedIsLocatedByHand) {
    PV_REQUIRE_PEER("arj");
    const fs::path arc = make("arj a -v60K -y", "set.arj");
    ASSERT_TRUE(fs::exists(home.dir / "arc" / "set.a01"));
    const fs::path moved = home.dir / "elsewhere" / "second part";
    fs::create_directories(moved.parent_path());
    fs::rename(home.dir / "arc" / "set.a01", moved);

    // The first answer names a file that is not there: asked again, never guessed. The
    // parts after the moved one are named after it, so they are pointed at too.
    int asks = 0;
    script->text = [&](const std::string& prompt, std::string& value) {
        if (prompt.find("(ID: 1)") == std::string::npos) {
            value = (home.dir / "arc" / ("set.a0" + prompt.substr(prompt.find("(ID: ") + 5, 1))).string();
            return true;
        }
        value = ++asks == 1 ? (home.dir / "nowhere.a01").string() : moved.string();
        return true;
    };
    core->OpenArchive(arc.string());
    ASSERT_EQ(core->Rows.size(), 3u) << status();
    asks = 0;
    script->asked.clear();
    const fs::path out = home.dir / "out";
    EXPECT_TRUE(core->ExtractCore(false, false, out.string(), false, true)) << status();
    EXPECT_TRUE(tree(out) == files);
    ASSERT_GE(script->asked.size(), 2u);
    EXPECT_EQ(script->asked[0].first, "Insert next disk or locate the file: set.a01 (ID: 1)");
    EXPECT_EQ(fs::path(script->asked[0].second).filename(), "set.a01");
    EXPECT_EQ(script->asked[1].second, (home.dir / "nowhere.a01").string());
}

// ---------------------------------------------------------------- damaged entries

TEST_F(EventsFixture, ZipEntryWithADamagedCrcIsNotWrittenAndNamed) {
    PV_REQUIRE_PEER("zip");
    const fs::path arc = make("zip -q -X -0", "bad.zip");
    std::string z = pvtest::readFile(arc);
    // b.txt is stored: one flipped byte in its data fails only its CRC.
    const size_t at = z.find("b.txt");
    ASSERT_NE(at, std::string::npos);
    z[at + 5 + 1000] ^= 0x55;
    pvtest::writeFile(arc, z);
    core->OpenArchive(arc.string());
    const fs::path out = home.dir / "out";
    EXPECT_FALSE(core->ExtractCore(false, false, out.string(), false, true));
    auto got = tree(out);
    EXPECT_EQ(got.count("b.txt"), 0u);
    EXPECT_EQ(got["a.txt"], files["a.txt"]);
    EXPECT_EQ(got["big.bin"], files["big.bin"]);
    EXPECT_NE(status().find("b.txt"), std::string::npos) << status();
    EXPECT_TRUE(script->boxSays("b.txt"));
}

// ---------------------------------------------------------------- packers

namespace {

class FakePacker : public TPackerBackend {
public:
    explicit FakePacker(int kind) : kind_(kind) {}
    int Kind() const override { return kind_; }
    void SetArchiveFile(const std::string&) override {}
    void SetFileSpec(const std::vector<std::string>&) override {}
    void SetExcludeSpec(const std::vector<std::string>&) override {}
    void SetDefaultDir(const std::string&) override {}
    void SetCompressMethod(int) override {}
    void SetDeflateType(int) override {}
    void SetPassword(const std::string&) override {}
    void SetRecurseDirs(bool) override {}
    void SetStoredDirNames(int) override {}
    void SetSwitch(int) override {}
    int Compress() override { return 0; }
    int64_t TotalPackedSize() const override { return 0; }
    int64_t TotalUnpackedSize() const override { return 0; }
    void SetCancel(bool) override {}

private:
    int kind_;
};

} // namespace

TEST_F(EventsFixture, PackerRunsBracketTheProgressWindowAndAnswerAsTheirTableSays) {
    struct Case {
        int kind;
        bool fileExists, password, cabinet;
    } cases[] = {{1, false, true, false}, {2, false, false, true},  {3, true, false, false},
                 {4, true, true, false},  {5, false, false, false}, {6, true, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        FakePacker p(c.kind);
        core->BindComponentEvents(p);
        EXPECT_EQ(bool(p.OnFileExists), c.fileExists);
        EXPECT_EQ(bool(p.OnGetPassword), c.password);
        EXPECT_EQ(bool(p.OnGetNextCabinet), c.cabinet);
        EXPECT_FALSE(p.OnRenameCompressedFile);
        ASSERT_TRUE(p.OnActivate && p.OnDeactivate && p.OnBegin && p.OnProgress && p.OnError);
        p.OnActivate();
        p.OnBegin("folder/file.txt");
        p.OnProgress(40, 20);
        if (c.kind == 5) {
            // Its own road: the window comes up at once.
            EXPECT_TRUE(core->StatForm.Visible);
        }
        EXPECT_FALSE(core->AllEnabled);
        EXPECT_EQ(core->StatForm.Current, "file.txt");
        EXPECT_EQ(core->StatForm.Gauge1, 40);
        EXPECT_EQ(core->StatForm.Gauge2, 20);
        p.OnDeactivate();
        EXPECT_FALSE(core->StatForm.Visible);
        EXPECT_TRUE(core->AllEnabled);
        if (c.password) {
            script->passwords = {std::string("pw")};
            std::string pw;
            bool again = true;
            p.OnGetPassword("x", pw, again);
            EXPECT_EQ(pw, "pw");
            EXPECT_FALSE(again);
        }
    }
    // The bh packer's errors are said in words; the others' are the run's.
    FakePacker bh(1);
    core->BindComponentEvents(bh);
    script->boxes.clear();
    bh.OnError("a.txt", 25110, "Bad file header");
    ASSERT_EQ(script->boxes.size(), 1u);
    EXPECT_EQ(script->boxes[0].text, "a.txt  -  Bad file header");
}

TEST_F(EventsFixture, LivePackersExistForTheWritersTheEngineHas) {
    for (int kind : {3, 4, 6}) {
        auto p = CreateLivePacker(kind);
        ASSERT_TRUE(p) << kind;
        EXPECT_EQ(p->Kind(), kind);
    }
    for (int kind : {0, 1, 2, 5}) EXPECT_FALSE(CreateLivePacker(kind)) << kind;

    // A tar written through the packer, with the window's answers bound.
    auto p = core->PackerFactory(6);
    ASSERT_TRUE(p);
    core->BindComponentEvents(*p);
    const fs::path tar = home.dir / "t.tar";
    p->SetArchiveFile(tar.string());
    p->SetFileSpec({(src / "a.txt").string(), (src / "b.txt").string()});
    p->SetStoredDirNames(TPackerBackend::pdNone);
    EXPECT_EQ(p->Compress(), 2);
    EXPECT_TRUE(core->AllEnabled);
    EXPECT_FALSE(core->StatForm.Visible);
    if (pvtest::havePeer("tar")) {
        auto r = run("tar -tf " + q(tar.string()));
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find("a.txt"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("b.txt"), std::string::npos) << r.out;
    }
}

// ---------------------------------------------------------------- spanning

namespace {

// The real zip front-end with a WriteSpan that can be made to fail.
class FailingSpanZip : public TZipBackend {
public:
    explicit FailingSpanZip(std::unique_ptr<TZipBackend> z) : z_(std::move(z)) {
        z_->OnDirUpdate = [this] {
            if (OnDirUpdate) OnDirUpdate();
        };
        z_->OnMessage = [this](int c, const std::string& m) {
            if (OnMessage) OnMessage(c, m);
        };
        z_->OnProgress = [this](int t, const std::string& n, int64_t s) {
            if (OnProgress) OnProgress(t, n, s);
        };
        z_->OnExtractOverwrite = [this](const std::string& f, bool o, bool& d) {
            if (OnExtractOverwrite) OnExtractOverwrite(f, o, d);
        };
    }
    bool fail = false;
    int writes = 0;
    void SetZipFileName(const std::string& p) override { z_->SetZipFileName(p); }
    std::string ZipFileName() const override { return z_->ZipFileName(); }
    int Count() const override { return z_->Count(); }
    TListEntry Entry(int i) const override { return z_->Entry(i); }
    int ErrCode() const override { return z_->ErrCode(); }
    void SetDLLDirectory(const std::string& d) override { z_->SetDLLDirectory(d); }
    void LoadZipDll() override { z_->LoadZipDll(); }
    void LoadUnzDll() override { z_->LoadUnzDll(); }
    void UnloadDlls() override { z_->UnloadDlls(); }
    void SetAddCompLevel(int l) override { z_->SetAddCompLevel(l); }
    void SetMaxVolumeSize(int64_t b) override { z_->SetMaxVolumeSize(b); }
    int64_t ArchiveSize() const override { return z_->ArchiveSize(); }
    int WriteSpan(const std::string& in, const std::string& out) override {
        ++writes;
        if (fail) {
            // As a full disk would: a first part is left behind.
            pvtest::writeFile(TMainCore::SpanPartName(out, 1), "partial");
            return -1;
        }
        return z_->WriteSpan(in, out);
    }
    int Extract(const ExtractRequest& r) override { return z_->Extract(r); }
    void SetCancel(bool on) override { z_->SetCancel(on); }

private:
    std::unique_ptr<TZipBackend> z_;
};

} // namespace

TEST(SpanPartName, NumberBeforeTheExtension) {
    EXPECT_EQ(TMainCore::SpanPartName("/a/b.zip", 2), "/a/b002.zip");
    EXPECT_EQ(TMainCore::SpanPartName("/a/b.c/name", 4), "/a/b.c/name004");
    EXPECT_EQ(TMainCore::SpanPartName("/a/b.zip", 1234), "/a/b1234.zip");
}

TEST_F(EventsFixture, SpanExistingArchiveOpensItsLastPartAndAFailureLeavesItInPlace) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("unzip");
    // Two volumes' worth of incompressible data at 720 KB.
    auto data = pvtest::randomBytes(2 * 720 * 1024 - 400, 11);
    pvtest::writeFile(src / "two.bin", std::string(data.begin(), data.end()));
    fs::path arc = home.dir / "arc" / "span.zip";
    fs::create_directories(arc.parent_path());
    ASSERT_EQ(run("zip -q -X -0 " + q(arc.string()) + " two.bin a.txt", src).status, 0);
    const std::string original = pvtest::readFile(arc);

    auto* zip = new FailingSpanZip(CreateLiveZip());
    core = std::make_unique<TMainCore>(std::unique_ptr<TZipBackend>(zip), CreateLiveLister());
    core->FormCreate((pvtest::binDir() / "parvex").string());

    // A file already named as the temporary one is never overwritten.
    pvtest::writeFile(home.dir / "arc" / "span.tmp", "someone's");

    // Failure: the archive is back under its name, open, and nothing else is lost.
    core->OpenArchive(arc.string());
    ASSERT_EQ(core->FHandlerKind, 1);
    core->FSpanSizeKB = 720;
    zip->fail = true;
    EXPECT_EQ(core->GoUserSpan(), TMainCore::srNotWritten);
    EXPECT_TRUE(pvtest::readFile(arc) == original);
    EXPECT_TRUE(core->FArchiveOpen);
    EXPECT_EQ(core->FArchiveFile, arc.string());
    EXPECT_EQ(core->Rows.size(), 2u);
    EXPECT_EQ(pvtest::readFile(home.dir / "arc" / "span.tmp"), "someone's");
    EXPECT_FALSE(fs::exists(home.dir / "arc" / "span~1.tmp"));

    // Success: the parts exist and the window shows the last one.
    fs::remove(TMainCore::SpanPartName(arc.string(), 1));
    zip->fail = false;
    EXPECT_EQ(core->GoUserSpan(), TMainCore::srDone);
    int parts = 0;
    while (fs::exists(TMainCore::SpanPartName(arc.string(), parts + 1))) ++parts;
    EXPECT_GE(parts, 2);
    EXPECT_EQ(core->FArchiveFile, TMainCore::SpanPartName(arc.string(), parts));
    EXPECT_TRUE(core->FArchiveOpen);
    EXPECT_EQ(core->Rows.size(), 2u);
    EXPECT_FALSE(core->FSpanExisting);
    EXPECT_FALSE(fs::exists(arc));
    EXPECT_FALSE(fs::exists(home.dir / "arc" / "span~1.tmp"));
    EXPECT_EQ(pvtest::readFile(home.dir / "arc" / "span.tmp"), "someone's");
    // The set reads back whole.
    const fs::path out = home.dir / "out";
    EXPECT_TRUE(core->ExtractCore(false, false, out.string(), false, true)) << core->StatusPanels[0];
    EXPECT_TRUE(pvtest::readFile(out / "two.bin") == std::string(data.begin(), data.end()));
}

TEST_F(EventsFixture, SpanWhenTheArchiveCannotBeMovedSaysSoAndKeepsItOpen) {
    PV_REQUIRE_PEER("zip");
    fs::path arc = make("zip -q -X", "fixed.zip");
    core->OpenArchive(arc.string());
    core->FSpanSizeKB = 720;
    // The archive vanished behind the window's back: nothing to move.
    const fs::path hidden = home.dir / "hidden.zip";
    fs::rename(arc, hidden);
    script->boxes.clear();
    EXPECT_EQ(core->GoUserSpan(), TMainCore::srNotMoved);
    ASSERT_EQ(script->boxes.size(), 1u);
    EXPECT_EQ(script->boxes[0].caption, "Error");
    EXPECT_EQ(script->boxes[0].text, "Error renaming file.");
    EXPECT_TRUE(core->FArchiveOpen);
    EXPECT_EQ(core->FArchiveFile, arc.string());
}

// ---------------------------------------------------------------- the progress window's span

namespace {

// Notes every change of the progress window and of DisableAll/EnableAll, in order.
class RecordingCore : public TMainCore {
public:
    using TMainCore::TMainCore;
    struct Step {
        bool visible;
        std::string caption;
        bool allEnabled;
    };
    std::vector<Step> steps;

protected:
    void StatChanged() override { note(); }
    void ItemsChanged() override { note(); }

private:
    void note() {
        Step s{StatForm.Visible, StatForm.Caption, AllEnabled};
        if (steps.empty() || steps.back().visible != s.visible || steps.back().caption != s.caption ||
            steps.back().allEnabled != s.allEnabled)
            steps.push_back(s);
    }
};

} // namespace

TEST_F(EventsFixture, ProgressWindowStaysBetweenTheArchivesOfAMultiExtraction) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("arj");
    const fs::path zip = make("zip -q -X", "one.zip");
    const fs::path arj = make("arj a -y", "two.arj");
    const fs::path zip2 = make("zip -q -X", "three.zip");
    auto* rec = new RecordingCore(CreateLiveZip(), CreateLiveLister());
    core.reset(rec);
    core->FormCreate((pvtest::binDir() / "parvex").string());
    core->FMultiExtMode = 1;
    core->FMultiExtFolder = (home.dir / "multi").string();
    core->FMultiExtOverwrite = true;
    rec->steps.clear();
    core->MultiExtract({zip.string(), arj.string(), zip2.string()});
    for (const char* stem : {"one", "two", "three"})
        EXPECT_TRUE(tree(home.dir / "multi" / stem) == files) << stem;

    // One showing from the first run to the end, with everything disabled meanwhile; the
    // caption counts the archives.
    std::vector<std::string> captions;
    int shows = 0;
    bool wasVisible = false;
    for (const auto& s : rec->steps) {
        if (s.visible && !wasVisible) ++shows;
        if (s.visible) {
            EXPECT_FALSE(s.allEnabled) << s.caption;
            if (captions.empty() || captions.back() != s.caption) captions.push_back(s.caption);
        }
        wasVisible = s.visible;
    }
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(captions, (std::vector<std::string>{"Status... (File 1 of 3)", "Status... (File 2 of 3)",
                                                  "Status... (File 3 of 3)"}));
    EXPECT_FALSE(core->StatForm.Visible);
    EXPECT_TRUE(core->AllEnabled);
}

TEST_F(EventsFixture, ZipProgressOfAnEmptyFileFillsItsBar) {
    core->pvZipFrontProgress(4, "", 100);
    EXPECT_TRUE(core->StatForm.Visible);
    EXPECT_FALSE(core->AllEnabled);
    core->pvZipFrontProgress(0, "dir/empty.txt", 0);
    EXPECT_EQ(core->StatForm.Current, "empty.txt");
    core->pvZipFrontProgress(1, "", 0);
    EXPECT_EQ(core->StatForm.Gauge1, 100);
    core->pvZipFrontProgress(0, "dir/half.bin", 100);
    core->pvZipFrontProgress(1, "", 50);
    EXPECT_EQ(core->StatForm.Gauge1, 51);
    EXPECT_EQ(core->StatForm.Gauge2, 51);
    core->pvZipFrontProgress(2, "", 0);
    EXPECT_FALSE(core->StatForm.Visible);
    EXPECT_TRUE(core->AllEnabled);
    EXPECT_EQ(core->FCurrentFileNo, 0);
}

TEST_F(EventsFixture, SpanDialogOkInWriteSpanModeRewritesTheOpenZipArchive) {
    PV_REQUIRE_PEER("zip");
    const fs::path arc = make("zip -q -X -0", "disk.zip");
    const fs::path hidden = home.dir / "hidden.zip";

    // Add mode: only the size is chosen.
    core->OpenArchive(arc.string());
    TUserSpanState s;
    core->FSpanSizeKB = 0;
    s.FormShow(*core);
    s.Choose(TUserSpanState::szUser);
    s.UserSize = "100";
    EXPECT_TRUE(s.OkClick(*core));
    EXPECT_TRUE(fs::exists(arc));
    EXPECT_TRUE(core->FSpanExisting);

    // Write-span mode, the archive gone from under the window: said, and the dialog stays.
    s.WriteSpanMode = 1;
    fs::rename(arc, hidden);
    EXPECT_FALSE(s.OkClick(*core));
    EXPECT_TRUE(script->boxSays("Error renaming file."));
    fs::rename(hidden, arc);

    // Write-span mode: the set is written and its last part open.
    EXPECT_TRUE(s.OkClick(*core));
    EXPECT_FALSE(fs::exists(arc));
    EXPECT_TRUE(fs::exists(TMainCore::SpanPartName(arc.string(), 2)));
    EXPECT_EQ(fs::path(core->FArchiveFile).filename().string().substr(0, 4), "disk");
    EXPECT_NE(core->FArchiveFile, TMainCore::SpanPartName(arc.string(), 1));
    EXPECT_FALSE(core->FSpanExisting);
    EXPECT_EQ(core->Rows.size(), 3u);

    // An archive of the lister is not the zip component's to span: the dialog just closes.
    PV_REQUIRE_PEER("arj");
    const fs::path other = make("arj a -y", "other.arj");
    core->OpenArchive(other.string());
    ASSERT_EQ(core->FHandlerKind, 2);
    EXPECT_TRUE(s.OkClick(*core));
    EXPECT_TRUE(fs::exists(other));
}

TEST_F(EventsFixture, MainWindowAsksForTheZipPasswordWithItsOwnDialog) {
    PV_REQUIRE_PEER("zip");
    const fs::path arc = make("zip -q -X -P Secret7", "window.zip");
    core.reset();
    TMainForm form(CreateLiveZip(), CreateLiveLister(), (pvtest::binDir() / "parvex").string());
    form.OpenArchive(arc.string());
    ASSERT_EQ(form.Rows.size(), 3u);
    TPWordForm* dlg = form.PWordForm();
    ASSERT_NE(dlg, nullptr);
    // Answers each showing of the dialog: the text typed, then OK (or Cancel when empty).
    std::vector<QString> answers;
    std::vector<QString> titles;
    QTimer answer;
    answer.setInterval(5);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (!dlg->isVisible()) return;
        titles.push_back(dlg->windowTitle());
        const QString text = answers.empty() ? QString() : answers.front();
        if (!answers.empty()) answers.erase(answers.begin());
        if (text.isEmpty()) {
            dlg->CancelBtn->click();
        } else {
            dlg->PWord->setText(text);
            dlg->OkBtn->click();
        }
    });
    answer.start();
    answers = {"Secret7", "Secret7", "Secret7"};
    const fs::path out = home.dir / "out";
    EXPECT_TRUE(form.ExtractCore(false, false, out.string(), false, true)) << form.StatusPanels[0];
    EXPECT_TRUE(tree(out) == files);
    ASSERT_FALSE(titles.empty());
    EXPECT_EQ(titles[0], "Password needed");

    // Cancel: nothing comes out and the status bar says the run failed.
    titles.clear();
    answers.clear();
    const fs::path none = home.dir / "none";
    EXPECT_FALSE(form.ExtractCore(false, false, none.string(), false, true));
    EXPECT_FALSE(titles.empty());
    EXPECT_TRUE(tree(none).empty());
    EXPECT_EQ(form.StatusPanels[0].find("successfully"), std::string::npos);
    answer.stop();
}
