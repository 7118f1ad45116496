// The copy and move dialog over the real zip front-end: no existing file is replaced, a
// folder that is no folder is refused, a move keeps the history's other entries, a failed
// move opens the original again; then the dialog through its widgets.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/dialogs/CopyMoveUnit.h"
#include "app/core/MainCore.h"
#include "apptest.h"

using namespace apptest;
namespace fs = std::filesystem;

namespace {

struct CopyMoveFixture : ::testing::Test {
    IsolatedHome home;
    ScriptedBoxes boxes;
    std::unique_ptr<TMainCore> core;
    fs::path from, to;
    std::string zip, content;

    void SetUp() override {
        core = std::make_unique<TMainCore>(CreateLiveZip(), CreateLiveLister());
        core->FormCreate((pvtest::binDir() / "parvex").string());
        from = home.dir / "from";
        to = home.dir / "to";
        fs::create_directories(from);
        fs::create_directories(to);
        if (!pvtest::havePeer("zip")) return;
        pvtest::writeFile(home.dir / "src/a.txt", pvtest::sampleText(5000, 1));
        zip = (from / "t.zip").string();
        ASSERT_EQ(pvtest::run("zip -q -X " + pvtest::q(zip) + " a.txt", home.dir / "src").status, 0);
        content = pvtest::readFile(zip);
        core->OpenArchive(zip);
        ASSERT_TRUE(core->FArchiveOpen);
    }
};

} // namespace

TEST(CopyMoveTexts, LabelFollowsTheMode) {
    EXPECT_EQ(copymovecore::ToLabelText(0, "a.zip"), "Copy Archive a.zip to:");
    EXPECT_EQ(copymovecore::ToLabelText(1, "a.zip"), "Move Archive a.zip to:");
}

TEST_F(CopyMoveFixture, RefusalsLeaveBothFilesIntact) {
    PV_REQUIRE_PEER("zip");
    pvtest::writeFile(to / "t.zip", "someone else's file");
    pvtest::writeFile(home.dir / "notafolder", "x");
    struct Case {
        std::string folder;
        const char* box;
    } cases[] = {
        {to.string(), "A file named t.zip already exists in "},
        {from.string(), "The archive is already in the folder "},
        {(home.dir / "notafolder").string(), "The folder "},
        {(home.dir / "notafolder" / "sub").string(), "The folder "},
    };
    for (int mode : {0, 1})
        for (const Case& c : cases) {
            SCOPED_TRACE(c.folder + " mode " + std::to_string(mode));
            boxes.shown.clear();
            EXPECT_FALSE(copymovecore::Run(*core, mode, c.folder));
            ASSERT_EQ(boxes.shown.size(), 1u);
            EXPECT_EQ(boxes.shown[0].caption, "Error");
            EXPECT_EQ(boxes.shown[0].text.rfind(c.box, 0), 0u) << boxes.shown[0].text;
            EXPECT_TRUE(pvtest::readFile(zip) == content);
            EXPECT_EQ(pvtest::readFile(to / "t.zip"), "someone else's file");
            EXPECT_EQ(pvtest::readFile(home.dir / "notafolder"), "x");
            EXPECT_TRUE(core->FArchiveOpen);
            EXPECT_EQ(core->FArchiveFile, zip);
        }
}

TEST_F(CopyMoveFixture, CopyThenMoveKeepingTheOtherHistoryEntries) {
    PV_REQUIRE_PEER("zip");
    const fs::path copyTo = home.dir / "copies";
    fs::create_directories(copyTo);
    ASSERT_TRUE(copymovecore::Run(*core, 0, copyTo.string()));
    EXPECT_TRUE(pvtest::readFile(copyTo / "t.zip") == content);
    EXPECT_EQ(core->FArchiveFile, zip); // a copy leaves the open archive where it is

    core->FOpenHistory = {"", "/x/one.zip", zip, "/x/T.ZIP", "/x/four.zip", ""};
    const auto before = core->FOpenHistory;
    ASSERT_TRUE(copymovecore::Run(*core, 1, to.string()));
    EXPECT_FALSE(fs::exists(zip));
    EXPECT_TRUE(pvtest::readFile(to / "t.zip") == content);
    EXPECT_EQ(core->FArchiveFile, (to / "t.zip").string());
    EXPECT_TRUE(core->FArchiveOpen);
    auto want = before;
    want[2] = (to / "t.zip").string(); // entries compare exactly: "/x/T.ZIP" stays
    EXPECT_EQ(core->FOpenHistory, want);
    EXPECT_EQ(core->Settings()->ReadString("History", "Open2", ""), want[2]);
}

TEST_F(CopyMoveFixture, FailedMoveReopensTheOriginal) {
    PV_REQUIRE_PEER("zip");
    core->FOpenHistory = {"", zip, "/x/two.zip", "", "", ""};
    const auto before = core->FOpenHistory;
    // /proc is a folder nobody can create a file in, root included.
    EXPECT_FALSE(copymovecore::Run(*core, 1, "/proc"));
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back().text.rfind("The archive could not be moved.", 0), 0u)
        << boxes.shown.back().text;
    EXPECT_TRUE(pvtest::readFile(zip) == content);
    EXPECT_TRUE(core->FArchiveOpen);
    EXPECT_EQ(core->FArchiveFile, zip);
    EXPECT_EQ(core->FOpenHistory, before);
}

TEST_F(CopyMoveFixture, AcrossFileSystemsTheMoveCopiesFirst) {
    // /dev/shm is its own file system on most machines; the move must work either way.
    if (!fs::is_directory("/dev/shm")) GTEST_SKIP() << "no /dev/shm";
    pvtest::writeFile(home.dir / "big.bin", pvtest::sampleText(300000, 3));
    const std::string dest = "/dev/shm/pvtest-move-" + std::to_string(::getpid()) + ".bin";
    ::unlink(dest.c_str());
    EXPECT_EQ(copymovecore::MoveNoReplace((home.dir / "big.bin").string(), dest), "");
    EXPECT_FALSE(fs::exists(home.dir / "big.bin"));
    EXPECT_TRUE(pvtest::readFile(dest) == pvtest::sampleText(300000, 3));
    pvtest::writeFile(home.dir / "again.bin", "new");
    EXPECT_NE(copymovecore::MoveNoReplace((home.dir / "again.bin").string(), dest), "");
    EXPECT_EQ(pvtest::readFile(home.dir / "again.bin"), "new");
    ::unlink(dest.c_str());
}

TEST_F(CopyMoveFixture, DialogThroughItsWidgets) {
    PV_REQUIRE_PEER("zip");
    TCopyMoveForm form(*core);
    EXPECT_EQ(form.windowTitle(), "Copy & Move Archive");
    form.Mode = 1;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.ToLabel->text(), "Move Archive t.zip to:");
    EXPECT_EQ(form.OK->text(), "Move");
    EXPECT_TRUE(form.rbMove->isChecked());
    QTest::mouseClick(form.rbCopy, Qt::LeftButton);
    EXPECT_EQ(form.Mode, 0);
    EXPECT_EQ(form.OK->text(), "Copy");
    EXPECT_EQ(form.ToLabel->text(), "Copy Archive t.zip to:");
    form.MoveTo->setText(QString::fromStdString(to.string()));
    form.grab().save(QString::fromStdString((fs::path(PV_BUILD_DIR) / "copymove_dialog.png").string()));
    QTest::mouseClick(form.OK, Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_TRUE(pvtest::readFile(to / "t.zip") == content);
}
