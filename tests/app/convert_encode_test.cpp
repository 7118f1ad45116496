// The convert and encode dialogs: their decisions on a bare window state, conversions of a
// peer-made zip into every kind checked by the peers, the overwrite question, the source
// going to the trash only after success, and UU output decoded by uudecode; then each
// dialog through its widgets with a screenshot in the build folder.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/dialogs/ArcConvertUnit.h"
#include "app/core/MainCore.h"
#include "app/dialogs/UUEncodeUnit.h"
#include "platform/fileio.h"
#include "platform/trash.h"
#include "apptest.h"

using namespace apptest;
namespace fs = std::filesystem;
using platform::ModalResult;
using pvtest::q;
using pvtest::run;

namespace {

struct ConvertFixture : ::testing::Test {
    IsolatedHome home;
    ScriptedBoxes boxes;
    TMainCore core{nullptr, nullptr};
    fs::path src, arc;
    std::string zip;

    void SetUp() override {
        src = home.dir / "src";
        arc = home.dir / "arc";
        fs::create_directories(arc);
        auto big = pvtest::randomBytes(300000, 9);
        pvtest::writeFile(src / "big.bin", std::string(big.begin(), big.end()));
        pvtest::writeFile(src / "docs/readme.txt", pvtest::sampleText(70000, 4));
        pvtest::writeFile(src / "empty.txt", "");
    }
    // A zip of the three files made by the zip peer.
    void makeZip() {
        zip = (arc / "src.zip").string();
        auto r = run("zip -q -X -r " + q(zip) + " big.bin docs empty.txt", src);
        ASSERT_EQ(r.status, 0) << r.out;
    }
    TArcConvertState state(int row) {
        TArcConvertState s;
        s.KindRow = row;
        s.Source = zip;
        s.Target = (arc / "out" / (std::string("src") + kConvertKinds[row].ext)).string();
        s.OkEnabled = true;
        return s;
    }
    std::string boxTexts() const {
        std::string all;
        for (auto& b : boxes.shown) all += "[" + b.caption + "] " + b.text + "\n";
        return all;
    }
    fs::path trashed(const std::string& name) const {
        return fs::path(platform::homeTrashDir()) / "files" / name;
    }
};

} // namespace

TEST(ConvertTarget, KindRowsChangeTheExtension) {
    struct Case {
        const char* target;
        int row;
        const char* want;
    } cases[] = {
        {"/a/x.tar.gz", 5, "/a/x.zip"},     {"/a/x.TAR.GZ", 0, "/a/x.bh"}, {"/a/x.zip", 3, "/a/x.lha"},
        {"/a/x.zip", 2, "/a/x.tar.gz"},     {"/a/x", 4, "/a/x.tar"},       {"/a.b/x", 1, "/a.b/x.cab"},
        {"/a/x.tar.gz.old", 5, "/a/x.zip"}, // the double extension goes wherever it stands
    };
    for (const Case& c : cases) {
        TArcConvertState s;
        s.Source = "/a/src.arj";
        s.Target = c.target;
        s.KindClick(c.row);
        EXPECT_EQ(s.Target, c.want) << c.target << " row " << c.row;
        EXPECT_EQ(s.KindRow, c.row);
    }
    // Without a source the target is left alone.
    TArcConvertState s;
    s.Target = "/a/x.zip";
    s.KindClick(0);
    EXPECT_EQ(s.Target, "/a/x.zip");
}

TEST_F(ConvertFixture, ShowProposesTheOpenArchiveAndRefusesBadSources) {
    core.FArchiveOpen = true;
    core.FArchiveFile = "/data/tools.zip";
    TArcConvertState s;
    s.FormShow(core);
    EXPECT_EQ(s.Source, "/data/tools.zip");
    EXPECT_EQ(s.Target, "/data/tools.bh");
    TUUEncodeState u;
    u.FormShow(core);
    EXPECT_EQ(u.Target, "/data/tools.uue");

    const fs::path junk = arc / "junk.zip";
    pvtest::writeFile(junk, "this is no archive at all");
    const fs::path same = arc / "same.zip";
    pvtest::writeFile(same, "x");
    fs::create_symlink(same, arc / "link.zip");
    struct Case {
        std::string source, target, box;
    } cases[] = {
        {(arc / "missing.zip").string(), (arc / "out.bh").string(), "The source archive does not exist !"},
        {junk.string(), (arc / "out.bh").string(), "The source archive is not valid !"},
        {same.string(), same.string(), "The target is the source archive itself !"},
        {same.string(), (arc / "link.zip").string(), "The target is the source archive itself !"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source + " -> " + c.target);
        boxes.shown.clear();
        TArcConvertState cs;
        cs.Source = c.source;
        cs.Target = c.target;
        cs.OkEnabled = true;
        EXPECT_FALSE(cs.OkClick(core));
        ASSERT_EQ(boxes.shown.size(), 1u) << boxTexts();
        EXPECT_EQ(boxes.shown[0].caption, "Error");
        EXPECT_EQ(boxes.shown[0].text, c.box + "\n\rProcess canceled.");
        EXPECT_FALSE(cs.OkEnabled);
        EXPECT_FALSE(fs::exists(arc / "out.bh"));
        cs.TargetEdited(c.target); // editing the target again enables OK
        EXPECT_TRUE(cs.OkEnabled);
        // The encoder refuses the same sources (an invalid one only for the engine's archives).
        if (c.box.find("not valid") != std::string::npos) core.FHandlerKind = hkLister;
        boxes.shown.clear();
        TUUEncodeState us;
        us.Source = c.source;
        us.Target = c.target == (arc / "out.bh").string() ? (arc / "out.uue").string() : c.target;
        EXPECT_FALSE(us.OkClick(core));
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, c.box + "\n\rProcess canceled.");
        EXPECT_FALSE(fs::exists(arc / "out.uue"));
        EXPECT_EQ(pvtest::readFile(same), "x");
        core.FHandlerKind = hkNone;
    }
}

TEST_F(ConvertFixture, EveryKindIsReadByItsPeer) {
    PV_REQUIRE_PEER("zip");
    makeZip();
    struct Case {
        int row;
        const char* peer;
        const char* check; // %s: the target
    } cases[] = {
        {0, "", ""}, // bh: no peer reads it; our own lister below
        {1, "cabextract", "cabextract -t %s"},
        {2, "tar", "tar -tzf %s"},
        {3, "lhasa", "lhasa t %s"},
        {4, "tar", "tar -tf %s"},
        {5, "unzip", "unzip -t %s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(kConvertKinds[c.row].text);
        boxes.shown.clear();
        TArcConvertState s = state(c.row);
        ASSERT_TRUE(s.OkClick(core)) << boxTexts();
        ASSERT_EQ(boxes.shown.size(), 1u) << boxTexts();
        EXPECT_EQ(boxes.shown[0].caption, "Information");
        EXPECT_EQ(boxes.shown[0].text, "The archive was succesfully converted.");
        EXPECT_EQ(s.Panel0, "Removing tempfile...");
        std::string cmd = c.check;
        if (cmd.empty()) {
            auto r = run(q(pvtest::aetool().string()) + " list " + q(s.Target));
            EXPECT_EQ(r.status, 0) << r.out;
            EXPECT_NE(r.out.find("big.bin"), std::string::npos) << r.out;
            continue;
        }
        if (!pvtest::havePeer(c.peer)) {
            std::printf("not checked: peer tool '%s' is not installed\n", c.peer);
            continue;
        }
        cmd.replace(cmd.find("%s"), 2, q(s.Target));
        auto r = run(cmd + " 2>&1");
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("readme.txt"), std::string::npos) << r.out;
    }
    EXPECT_TRUE(fs::exists(zip)); // no "Delete source file": the source stays
}

TEST_F(ConvertFixture, CancelAtTheOverwriteQuestionKeepsTheOldTarget) {
    PV_REQUIRE_PEER("zip");
    makeZip();
    TArcConvertState s = state(4);
    pvtest::writeFile(s.Target, "old target");
    for (ModalResult answer : {ModalResult::Cancel, ModalResult::No}) {
        boxes.shown.clear();
        boxes.answers = {answer};
        s.DelSource = true;
        EXPECT_FALSE(s.OkClick(core));
        ASSERT_EQ(boxes.shown.size(), 1u) << boxTexts();
        EXPECT_EQ(boxes.shown[0].caption, "Question");
        EXPECT_EQ(boxes.shown[0].text, "File " + s.Target + " already exists. Overwrite it?");
        EXPECT_EQ(pvtest::readFile(s.Target), "old target");
        EXPECT_TRUE(fs::exists(zip)); // no success: the source stays where it is
        EXPECT_EQ(s.Panel0, "");      // nothing was extracted
    }
    boxes.shown.clear();
    boxes.answers = {ModalResult::Yes};
    s.DelSource = false;
    EXPECT_TRUE(s.OkClick(core)) << boxTexts();
    EXPECT_EQ(run("tar -tf " + q(s.Target) + " >/dev/null").status, 0);
}

TEST_F(ConvertFixture, SourceGoesToTheTrashOnlyAfterSuccess) {
    PV_REQUIRE_PEER("zip");
    makeZip();
    // A damaged source: the run fails, nothing is trashed, no success box.
    const std::string good = pvtest::readFile(zip);
    std::string bad = good;
    bad[bad.size() / 3] = char(bad[bad.size() / 3] ^ 0x77);
    pvtest::writeFile(zip, bad);
    TArcConvertState s = state(5);
    s.DelSource = true;
    EXPECT_FALSE(s.OkClick(core));
    EXPECT_TRUE(fs::exists(zip));
    EXPECT_FALSE(fs::exists(trashed("src.zip")));
    EXPECT_FALSE(fs::exists(s.Target));
    // The failed entry is told, once; never the success box.
    ASSERT_EQ(boxes.shown.size(), 1u) << boxTexts();
    EXPECT_EQ(boxes.shown[0].caption, "Error");
    EXPECT_EQ(boxes.shown[0].text, "1 file(s) could not be converted.\n\rProcess canceled.");

    pvtest::writeFile(zip, good);
    boxes.shown.clear();
    core.FArchiveOpen = true; // the window closes its archive first
    core.FArchiveFile = zip;
    EXPECT_TRUE(s.OkClick(core)) << boxTexts();
    EXPECT_FALSE(core.FArchiveOpen);
    EXPECT_FALSE(fs::exists(zip));
    EXPECT_TRUE(pvtest::readFile(trashed("src.zip")) == good);
    EXPECT_EQ(run("unzip -t " + q(s.Target) + " >/dev/null").status, 0);
}

// A failure the converter raises reaches the user once: through OnError, never again as a
// second box of the converter's own.
TEST_F(ConvertFixture, OneFailureShowsOneBox) {
    PV_REQUIRE_PEER("zip");
    makeZip();
    pvtest::writeFile(arc / "blocked", "a file where the target's folder should be");
    TArcConvertState s = state(5);
    s.Target = (arc / "blocked" / "out.zip").string();
    EXPECT_FALSE(s.OkClick(core));
    ASSERT_EQ(boxes.shown.size(), 1u) << boxTexts();
    EXPECT_EQ(boxes.shown[0].caption, "Error");
    EXPECT_NE(boxes.shown[0].text.find((arc / "blocked").string()), std::string::npos) << boxTexts();
    EXPECT_EQ(pvtest::readFile(arc / "blocked"), "a file where the target's folder should be");
    EXPECT_TRUE(fs::exists(zip));

    // Without an OnError handler the converter's own box is the one report.
    boxes.shown.clear();
    TArc2Arc conv;
    conv.SetArchiveFile(zip);
    conv.OutArchiveFile = s.Target;
    conv.OutArcType = kConvertKinds[5].type;
    conv.SetTempDir(core.PrivateTempFolder());
    conv.Convert();
    EXPECT_FALSE(conv.Succeeded());
    ASSERT_EQ(boxes.shown.size(), 1u) << boxTexts();
}

TEST_F(ConvertFixture, UuOutputDecodesByteExact) {
    PV_REQUIRE_PEER("uudecode");
    PV_REQUIRE_PEER("zip");
    makeZip();
    TUUEncodeState s;
    s.Source = zip;
    s.Target = (arc / "out.uue").string();
    ASSERT_TRUE(s.OkClick(core)) << boxTexts();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "The archive was succesfully encoded.");
    const fs::path dec = home.dir / "dec";
    fs::create_directories(dec);
    auto r = run("uudecode -o " + q((dec / "back.zip").string()) + " " + q(s.Target), dec);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(pvtest::readFile(dec / "back.zip") == pvtest::readFile(zip));

    // "No" at the overwrite question leaves the old text and shows no success.
    pvtest::writeFile(s.Target, "old");
    boxes.shown.clear();
    boxes.answers = {ModalResult::No};
    EXPECT_FALSE(s.OkClick(core));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Confirmation");
    EXPECT_EQ(pvtest::readFile(s.Target), "old");
}

TEST_F(ConvertFixture, ConvertDialogThroughItsWidgets) {
    PV_REQUIRE_PEER("zip");
    makeZip();
    core.FArchiveOpen = true;
    core.FArchiveFile = zip;
    TArcConvertForm form(core);
    EXPECT_EQ(form.windowTitle(), "Convert archive...");
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.oeTargetFile->text().toStdString(), ChangeFileExt(zip, ".bh"));
    EXPECT_TRUE(form.cbIntegCheck->isChecked());
    form.oeTargetFile->setText(QString::fromStdString((arc / "x.tar.gz").string()));
    QTest::mouseClick(form.rgArcType->button(5), Qt::LeftButton);
    EXPECT_EQ(form.oeTargetFile->text().toStdString(), (arc / "x.zip").string());
    // The percentage panel holds its longest text whole.
    form.lPercent->setText("100% done");
    QApplication::processEvents();
    EXPECT_GE(form.lPercent->contentsRect().width(),
              form.lPercent->fontMetrics().horizontalAdvance("100% done"));
    form.grab().save(QString::fromStdString((fs::path(PV_BUILD_DIR) / "convert_dialog.png").string()));
    form.lPercent->clear();
    QTest::mouseClick(form.btnOk, Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted) << boxTexts();
    EXPECT_EQ(run("unzip -t " + q((arc / "x.zip").string()) + " >/dev/null").status, 0);
    EXPECT_TRUE(fs::exists(zip));
}

TEST_F(ConvertFixture, EncodeDialogThroughItsWidgets) {
    PV_REQUIRE_PEER("zip");
    makeZip();
    TUUEncodeForm form(core);
    EXPECT_EQ(form.windowTitle(), "UUEncode or XXEncode archive...");
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_FALSE(form.btnOk->isEnabled());
    form.oeSourceFile->setText(QString::fromStdString(zip));
    form.oeTargetFile->setText(QString::fromStdString((arc / "enc.xxe").string()));
    EXPECT_TRUE(form.btnOk->isEnabled());
    form.cbAction->setCurrentIndex(1);
    form.grab().save(QString::fromStdString((fs::path(PV_BUILD_DIR) / "uuencode_dialog.png").string()));
    QTest::keyClick(form.oeTargetFile, Qt::Key_Return); // Enter in the target acts as OK
    EXPECT_EQ(form.result(), QDialog::Accepted) << boxTexts();
    const std::string text = pvtest::readFile(arc / "enc.xxe");
    EXPECT_EQ(text.rfind("begin ", 0), 0u) << text.substr(0, 40);
    auto r = run(q(pvtest::aetool().string()) + " list " + q((arc / "enc.xxe").string()));
    EXPECT_EQ(r.status, 0) << r.out;
}
