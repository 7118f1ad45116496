// The check-out dialog over the real zip front-end: the archive extracted byte-exact, one
// shortcut per matching entry up to the maximum, every file accepted by
// desktop-file-validate, the group as a submenu; then the dialog through its widgets.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/dialogs/CheckoutUnit.h"
#include "app/desktop/DesktopEntry.h"
#include "app/desktop/Links.h"
#include "app/core/MainCore.h"
#include "apptest.h"
#include "common/PathParts.h"
#include <sstream>

using namespace apptest;
namespace fs = std::filesystem;
using pvtest::q;
using pvtest::run;

namespace {

struct CheckoutFixture : ::testing::Test {
    IsolatedHome home;
    ScriptedBoxes boxes;
    std::unique_ptr<TMainCore> core;
    fs::path src;
    std::map<std::string, std::string> files;

    void SetUp() override {
        core = std::make_unique<TMainCore>(CreateLiveZip(), CreateLiveLister());
        core->FormCreate((pvtest::binDir() / "parvex").string());
        src = home.dir / "src";
    }
    // tools.zip: 42 text files in two folders, and files that are no document.
    std::string makeZip() {
        for (int i = 0; i < 42; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "%s/doc%02d.txt", i % 2 ? "odd" : "even", i);
            files[name] = pvtest::sampleText(size_t(100 + i * 37), uint32_t(i));
        }
        auto bin = pvtest::randomBytes(70000, 3);
        files["bin/data.bin"] = std::string(bin.begin(), bin.end());
        files["setup.exe"] = "MZ not really";
        files["read me now.TXT"] = "spaces";
        for (auto& [n, d] : files) pvtest::writeFile(src / n, d);
        const std::string zip = (home.dir / "tools.zip").string();
        auto r = run("zip -q -X -r " + q(zip) + " .", src);
        EXPECT_EQ(r.status, 0) << r.out;
        return zip;
    }
    std::string programs() const {
        std::string p;
        GetSpecialFolderPath(CSIDL_PROGRAMS, p);
        return p;
    }
};

} // namespace

TEST(CheckoutNames, LinkNamesAndDocumentTypes) {
    struct Case {
        const char* caption;
        const char* link;
        bool doc;
    } cases[] = {{"setup.exe", "setup.lnk", true},   {"setup.txt", "setup.lnk", true},
                 {"README", "README.lnk", false},    {"a.tar.gz", "a.lnk", false},
                 {"MANUAL.DOC", "MANUAL.lnk", true}, {".hlp", ".hlp.lnk", true},
                 {"run.Com", "run.lnk", true},       {"x.exe.bak", "x.lnk", false}};
    for (const Case& c : cases) {
        EXPECT_EQ(checkoutcore::LinkName(c.caption), c.link) << c.caption;
        EXPECT_EQ(checkoutcore::IsAppOrDocument(c.caption), c.doc) << c.caption;
    }
    for (const char* bad : {"", ".", "..", "a/b", "a\nb"})
        EXPECT_FALSE(checkoutcore::ValidGroupName(bad)) << bad;
    EXPECT_TRUE(checkoutcore::ValidGroupName("My tools 2"));
}

TEST_F(CheckoutFixture, ChecksOutAZipWithAGroupOfAtMostTheMaximum) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("desktop-file-validate");
    core->OpenArchive(makeZip());
    ASSERT_TRUE(core->FArchiveOpen);
    // Rows whose names climb out, or that no desktop entry can carry, get no shortcut.
    for (const char* hostile : {"../evil.txt", "odd/../../up.txt", "line\nbreak.txt"}) {
        TListRow r;
        r.Caption = pvcommon::FileNamePart(hostile);
        r.StoredName = hostile;
        core->Rows.insert(core->Rows.begin(), r);
    }
    TCheckoutState s;
    s.FormShow(*core);
    EXPECT_EQ(s.GroupName, "tools");
    EXPECT_EQ(s.Folder, home.home + "/tools");
    ASSERT_TRUE(s.OkClick(*core));
    for (auto& [n, d] : files) EXPECT_TRUE(pvtest::readFile(fs::path(s.Folder) / n) == d) << n;

    // The first 40 matching rows, in list order; the hostile ones were passed over.
    std::vector<std::string> want;
    for (const TListRow& r : core->Rows) {
        if (want.size() == 40) break;
        if (!checkoutcore::IsAppOrDocument(r.Caption) || r.StoredName.find("..") != std::string::npos ||
            r.StoredName.find('\n') != std::string::npos)
            continue;
        want.push_back(programs() + "tools/" + ShortcutFileName(checkoutcore::LinkName(r.Caption)));
    }
    EXPECT_EQ(s.Written.size(), 39u); // the row with a line break counted, as any failed shortcut
    for (const std::string& w : s.Written) EXPECT_NE(std::find(want.begin(), want.end(), w), want.end()) << w;
    EXPECT_FALSE(fs::exists(home.dir / "evil.txt"));

    std::string all;
    for (const std::string& w : s.Written) all += " " + q(w);
    all += " " + q(checkoutcore::DirectoryFile("tools"));
    auto v = run("desktop-file-validate" + all + " 2>&1");
    EXPECT_EQ(v.status, 0) << v.out;
    EXPECT_EQ(v.out, "");
    // Each shortcut opens its own extracted file.
    const std::string one = programs() + "tools/read me now.desktop";
    ASSERT_TRUE(fs::exists(one));
    std::string exec;
    for (std::istringstream in(pvtest::readFile(one)); std::getline(in, exec);)
        if (exec.rfind("Exec=", 0) == 0) break;
    auto words = ParseDesktopExec(exec.substr(5));
    ASSERT_TRUE(words);
    EXPECT_EQ(*words, (std::vector<std::string>{"xdg-open", s.Folder + "/read me now.TXT"}));
    const std::string menu = pvtest::readFile(checkoutcore::MergedMenuFile("tools"));
    EXPECT_NE(menu.find("<Filename>tools-read me now.desktop</Filename>"), std::string::npos) << menu;
    EXPECT_NE(menu.find("<Directory>parvex-tools.directory</Directory>"), std::string::npos);
    if (pvtest::havePeer("xmllint")) {
        EXPECT_EQ(run("xmllint --noout " + q(checkoutcore::MergedMenuFile("tools"))).status, 0);
    }
}

TEST_F(CheckoutFixture, BadFolderCountAndFailedExtraction) {
    PV_REQUIRE_PEER("zip");
    core->OpenArchive(makeZip());
    // A file where the folder should be: the box, the dialog stays, nothing made.
    pvtest::writeFile(home.dir / "blocked", "x");
    TCheckoutState s;
    s.FormShow(*core);
    s.Folder = (home.dir / "blocked" / "tools").string();
    EXPECT_FALSE(s.OkClick(*core));
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back().caption, "Error");
    EXPECT_FALSE(fs::exists(programs() + "tools"));

    // A count that is no number: extraction and group, no shortcut.
    boxes.shown.clear();
    s.FormShow(*core);
    s.IconCount = "4o";
    EXPECT_TRUE(s.OkClick(*core));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "You entered a wrong char!");
    EXPECT_TRUE(s.Written.empty());
    EXPECT_TRUE(fs::is_directory(programs() + "tools"));
    EXPECT_TRUE(fs::exists(fs::path(s.Folder) / "setup.exe"));

    // A failed extraction (the archive went away) makes no group.
    fs::remove(core->FArchiveFile);
    boxes.shown.clear();
    s.GroupName = "second";
    s.IconCount = "40";
    s.Folder = (home.dir / "elsewhere").string();
    EXPECT_FALSE(s.OkClick(*core));
    EXPECT_FALSE(fs::exists(programs() + "second"));
}

TEST_F(CheckoutFixture, DialogThroughItsWidgets) {
    PV_REQUIRE_PEER("zip");
    core->OpenArchive(makeZip());
    TCheckoutForm form(*core);
    EXPECT_EQ(form.windowTitle(), "Checkout archive");
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.oeGroupName->text(), "tools");
    EXPECT_EQ(form.oeIconCount->text(), "40");
    EXPECT_TRUE(form.cbOnlyApps->isChecked());
    form.oeIconCount->setText("3");
    form.cbOnlyApps->setChecked(false);
    form.grab().save(QString::fromStdString((fs::path(PV_BUILD_DIR) / "checkout_dialog.png").string()));
    QTest::mouseClick(form.btnOk, Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.State.Written.size(), 3u);
}
