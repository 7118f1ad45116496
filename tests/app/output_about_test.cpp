// The test window over the real zip front-end and the engine's tester, on archives the
// peers make with one damaged entry; the about box with its banner and the favourites
// window through their widgets, with screenshots in the build folder.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "app/dialogs/AboutUnit.h"
#include "app/dialogs/FavouriteUnit.h"
#include "app/core/MainCore.h"
#include "app/dialogs/OutputUnit.h"
#include "controls/Banner.h"
#include "apptest.h"

using namespace apptest;
namespace fs = std::filesystem;
using pvtest::q;
using pvtest::run;

namespace {

struct TestWindowFixture : ::testing::Test {
    IsolatedHome home;
    ScriptedBoxes boxes;
    std::unique_ptr<TMainCore> core;
    fs::path src;

    void SetUp() override {
        core = std::make_unique<TMainCore>(CreateLiveZip(), CreateLiveLister());
        core->FormCreate((pvtest::binDir() / "parvex").string());
        src = home.dir / "src";
        auto big = pvtest::randomBytes(40000, 5);
        pvtest::writeFile(src / "big.bin", std::string(big.begin(), big.end()));
        pvtest::writeFile(src / "a.txt", pvtest::sampleText(3000, 2));
    }

    // An archive of the two files made by `cmd`; with `damage`, one byte in the middle of
    // the big entry's data is flipped.
    std::string make(const std::string& cmd, const std::string& name, bool damage) {
        const fs::path out = home.dir / "arc" / name;
        fs::create_directories(out.parent_path());
        auto r = run(cmd + " " + q(out.string()) + " big.bin a.txt >/dev/null", src);
        EXPECT_EQ(r.status, 0) << r.out;
        if (damage) {
            auto bytes = pvtest::readBytes(out);
            bytes[bytes.size() / 2] ^= 0x5A;
            pvtest::writeBytes(out, bytes);
        }
        return out.string();
    }

    std::vector<std::string> test(int& errors) {
        boxes.shown.clear();
        return outputcore::TestArchive(*core, errors);
    }
};

} // namespace

TEST_F(TestWindowFixture, DamagedEntryIsCountedForZipAndEngineArchives) {
    struct Case {
        const char* peer;
        const char* cmd;
        const char* name;
    } cases[] = {
        {"zip", "zip -q -X -0", "t.zip"}, {"zip", "zip -q -X", "d.zip"}, {"jlha", "jlha a", "t.lzh"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!pvtest::havePeer(c.peer)) {
            std::printf("skipped %s: peer tool '%s' is not installed\n", c.name, c.peer);
            continue;
        }
        for (bool damage : {false, true}) {
            core->OpenArchive(make(c.cmd, std::string(damage ? "bad_" : "good_") + c.name, damage));
            ASSERT_TRUE(core->FArchiveOpen);
            int errors = -1;
            auto lines = test(errors);
            ASSERT_GE(lines.size(), 8u);
            EXPECT_EQ(lines[0], std::string(38, '*'));
            EXPECT_EQ(lines[1], "Testing archive: " + core->FArchiveName);
            EXPECT_EQ(lines[lines.size() - 3], std::string(39, '*'));
            EXPECT_EQ(lines[lines.size() - 2], "Archive tested.");
            if (damage) {
                EXPECT_GE(errors, 1);
                EXPECT_EQ(lines.back(), std::to_string(errors) + " error(s) or warning(s) were detected");
            } else {
                EXPECT_EQ(errors, 0);
                EXPECT_EQ(lines.back(), "No errors detected, archive is valid.");
            }
            EXPECT_FALSE(core->FTestRunning);
            core->CloseArchive();
        }
    }
}

TEST_F(TestWindowFixture, EmptyZipSaysNoFilesAndLeavesNoTestRunning) {
    const fs::path empty = home.dir / "empty.zip";
    pvtest::writeFile(empty, std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    core->OpenArchive(empty.string());
    ASSERT_EQ(core->FHandlerKind, hkZipFront);
    int errors = -1;
    auto lines = test(errors);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Error");
    EXPECT_EQ(boxes.shown[0].text, "No files to extract");
    EXPECT_EQ(lines, outputcore::HeaderLines("empty.zip"));
    EXPECT_FALSE(core->FTestRunning);
}

TEST_F(TestWindowFixture, KindWithoutTesterIsNeverCalledValid) {
    // No archive open at all: nothing was tested, so nothing is valid.
    int errors = 0;
    auto lines = test(errors);
    EXPECT_EQ(errors, 1);
    EXPECT_NE(lines.back(), "No errors detected, archive is valid.");
}

TEST_F(TestWindowFixture, WindowShowsEachRunAfreshAndEnablesClose) {
    PV_REQUIRE_PEER("zip");
    core->OpenArchive(make("zip -q -X -0", "w.zip", true));
    TOutputForm form(*core);
    EXPECT_EQ(form.windowTitle(), "Testing archive...");
    EXPECT_EQ(form.btnClose->text(), "&Close");
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QString first = form.mOutput->toPlainText();
    EXPECT_TRUE(first.contains("error(s) or warning(s) were detected")) << first.toStdString();
    EXPECT_TRUE(form.btnClose->isEnabled());
    EXPECT_GE(form.ErrorCount(), 1);
    form.Activate(); // a second run starts from an empty memo and a counter of 0
    EXPECT_EQ(form.mOutput->toPlainText(), first);
    form.grab().save(QString::fromStdString((fs::path(PV_BUILD_DIR) / "test_window.png").string()));
    QTest::mouseClick(form.btnClose, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
}

TEST(AboutBox, CreditsPageRunsTheBannerOnlyWhileShown) {
    app();
    TAboutForm about;
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_EQ(about.lProduct->text(), "Parvex 2000");
    EXPECT_EQ(about.lVersion->text(), "1.60");
    EXPECT_EQ(about.lDateCaption->text(), "Compilation date:");
    EXPECT_EQ(about.lDate->text(), "12/1/2000");
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_FALSE(about.Banner->Enabled());
    about.pcAbout->setCurrentWidget(about.tsCredits);
    EXPECT_TRUE(about.Banner->Enabled());
    for (int i = 0; i < 60; ++i) about.Banner->Tick();
    const fs::path out = fs::path(PV_BUILD_DIR) / "about_credits.png";
    EXPECT_TRUE(about.grab().save(QString::fromStdString(out.string()))) << out;
    about.pcAbout->setCurrentWidget(about.tsAbout);
    EXPECT_FALSE(about.Banner->Enabled());
    about.pcAbout->setCurrentWidget(about.tsCredits);
    QTest::mouseClick(about.btnClose, Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    EXPECT_FALSE(about.Banner->Enabled());
}

TEST(FavouriteWindow, OnlyCancelActs) {
    app();
    TFavouriteZipForm fav;
    ASSERT_EQ(fav.lvFavourites->columnCount(), 3);
    fav.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&fav));
    EXPECT_FALSE(fav.btnOpen->isEnabled());
    EXPECT_TRUE(fav.btnCancel->isEnabled());
    fav.grab().save(QString::fromStdString((fs::path(PV_BUILD_DIR) / "favourites.png").string()));
    QTest::mouseClick(fav.btnCancel, Qt::LeftButton);
    EXPECT_FALSE(fav.isVisible());
    EXPECT_EQ(fav.result(), QDialog::Rejected);
}

TEST_F(TestWindowFixture, EncodedFileIsTestedByItsExtractor) {
    PV_REQUIRE_PEER("uuencode");
    const fs::path uue = home.dir / "big.uue";
    ASSERT_EQ(run("uuencode big.bin big.bin > " + q(uue.string()), src).status, 0);
    core->OpenArchive(uue.string());
    ASSERT_EQ(core->FHandlerKind, hkLister);
    int errors = -1;
    auto lines = test(errors);
    EXPECT_EQ(errors, 0);
    EXPECT_EQ(lines.back(), "No errors detected, archive is valid.");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "  testing: big.bin   OK"), lines.end());
}
