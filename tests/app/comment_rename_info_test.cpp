// The comment, rename and properties dialogs over the real zip front-end: a comment set
// through the dialog shows in `unzip -z`, a renamed entry in `unzip -l` with its data
// intact, refused names never reach the archive; the properties' ratio and gauge.
#include <QDateTime>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "app/dialogs/ArchiveInfoUnit.h"
#include "app/core/ListFormat.h"
#include "app/dialogs/CommentUnit.h"
#include "app/dialogs/ItemRenameUnit.h"
#include "app/core/MainCore.h"
#include "controls/RarBar.h"
#include "apptest.h"

using namespace apptest;
namespace fs = std::filesystem;
using pvtest::q;
using pvtest::run;

namespace {

struct ZipDialogFixture : ::testing::Test {
    IsolatedHome home;
    ScriptedBoxes boxes;
    std::unique_ptr<TMainCore> core;
    std::string zip;
    std::string big;

    void SetUp() override {
        core = std::make_unique<TMainCore>(CreateLiveZip(), CreateLiveLister());
        core->FormCreate((pvtest::binDir() / "parvex").string());
        if (!pvtest::havePeer("zip")) return;
        const fs::path src = home.dir / "src";
        big = pvtest::sampleText(200000, 8);
        pvtest::writeFile(src / "dir/big.txt", big);
        pvtest::writeFile(src / "dir/other.txt", "other");
        pvtest::writeFile(src / "top.txt", "top");
        zip = (home.dir / "t.zip").string();
        auto r = run("zip -q -X -r " + q(zip) + " dir top.txt", src);
        ASSERT_EQ(r.status, 0) << r.out;
        core->OpenArchive(zip);
        ASSERT_TRUE(core->FArchiveOpen);
    }
    void select(const std::string& stored) {
        for (size_t i = 0; i < core->Rows.size(); ++i)
            core->ZipListSelectItem(int(i), core->Rows[i].StoredName == stored);
    }
    void shot(QWidget& w, const char* name) {
        w.grab().save(QString::fromStdString((fs::path(PV_BUILD_DIR) / name).string()));
    }
};

} // namespace

TEST_F(ZipDialogFixture, CommentSetThroughTheDialogShowsInUnzip) {
    PV_REQUIRE_PEER("zip");
    TCommentForm form(*core);
    EXPECT_EQ(form.windowTitle(), "ZIP Comment");
    form.reComment->setPlainText(QString::fromStdString(core->ArchiveComment()));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.reComment->setPlainText("First line\nsecond line");
    shot(form, "comment_dialog.png");
    QTest::mouseClick(form.CloseBtn, Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    auto r = run("unzip -z " + q(zip));
    EXPECT_NE(r.out.find("First line\nsecond line"), std::string::npos) << r.out;
    EXPECT_EQ(run("unzip -tq " + q(zip) + " >/dev/null").status, 0);

    // A text file that cannot be read: the box, the edit keeps its text.
    boxes.shown.clear();
    form.InsertFile((home.dir / "missing.txt").string());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Error loading textfile");
    EXPECT_EQ(form.reComment->toPlainText(), "First line\nsecond line");
    pvtest::writeFile(home.dir / "c.txt", "from a file");
    form.InsertFile((home.dir / "c.txt").string());
    EXPECT_EQ(form.reComment->toPlainText(), "from a file");
}

TEST_F(ZipDialogFixture, CommentTooLongIsRefusedAndTheArchiveKept) {
    PV_REQUIRE_PEER("zip");
    const std::string before = pvtest::readFile(zip);
    TCommentForm form(*core);
    form.reComment->setPlainText(QString(70000, QChar('c')));
    boxes.shown.clear();
    EXPECT_FALSE(form.SetCommentClick());
    EXPECT_FALSE(boxes.shown.empty()); // the component's message is shown
    EXPECT_TRUE(pvtest::readFile(zip) == before);
}

TEST_F(ZipDialogFixture, RenameRefusesBadNamesAndRenamesTheEntry) {
    PV_REQUIRE_PEER("zip");
    select("dir/big.txt");
    struct Case {
        std::string name;
        bool ok;
    } cases[] = {{"", false},
                 {"a/b", false},
                 {"a\\b", false},
                 {std::string("a\0b", 3), false},
                 {".", false},
                 {"..", false},
                 {"other.txt", false},
                 {"big.txt", false},
                 {"tab\there", false},
                 {"top.txt", true}, // another folder's name is free here
                 {"renamed big.txt", true}};
    for (const Case& c : cases)
        EXPECT_EQ(renamecore::Refusal(*core, c.name).empty(), c.ok) << "'" << c.name << "'";

    const std::string before = pvtest::readFile(zip);
    TItemRenameForm form(*core);
    EXPECT_EQ(form.windowTitle(), "Rename file of this archive");
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.oeNewName->text(), "big.txt");
    form.oeNewName->setText("other.txt");
    boxes.shown.clear();
    QTest::keyClick(form.oeNewName, Qt::Key_Return);
    EXPECT_TRUE(form.isVisible()); // refused: the dialog stays
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Error");
    EXPECT_TRUE(pvtest::readFile(zip) == before);
    form.oeNewName->setText("renamed big.txt");
    shot(form, "rename_dialog.png");
    QTest::mouseClick(form.btnOk, Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(core->FCancelled);
    EXPECT_EQ(core->FNewItemName, "renamed big.txt");
    ASSERT_TRUE(core->RenameEntryCore(core->FNewItemName));
    auto l = run("unzip -l " + q(zip));
    EXPECT_NE(l.out.find("dir/renamed big.txt"), std::string::npos) << l.out;
    EXPECT_EQ(l.out.find("dir/big.txt"), std::string::npos) << l.out;
    auto p = run("unzip -p " + q(zip) + " " + q("dir/renamed big.txt"));
    EXPECT_TRUE(p.out == big);

    TItemRenameForm again(*core);
    again.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    QTest::mouseClick(again.btnCancel, Qt::LeftButton);
    EXPECT_TRUE(core->FCancelled);
}

TEST(ArchiveInfo, RatioRoundsHalvesToEvenAndTheGaugeStaysInRange) {
    struct Case {
        int64_t packed, size, ratio;
        int gauge;
    } cases[] = {
        {1000, 1000, 0, 0},
        {250, 1000, 75, 75},
        {0, 0, 0, 0},
        {5, 1000, 100, 100}, // 0.5 -> 0
        {15, 1000, 98, 98},
        {25, 1000, 98, 98},
        {1100, 1000, -10, 0},
        {0, 1000, 100, 100},
        {int64_t(1) << 40, int64_t(1) << 42, 75, 75}, // sizes beyond 32 bits
    };
    for (const Case& c : cases) {
        EXPECT_EQ(infocore::CompressionRatio(c.packed, c.size), c.ratio) << c.packed << "/" << c.size;
        EXPECT_EQ(infocore::GaugeValue(c.ratio), c.gauge);
    }
}

TEST_F(ZipDialogFixture, PropertiesShowTheOpenArchive) {
    PV_REQUIRE_PEER("zip");
    core->FTotalSize = 1000;
    core->FTotalPacked = 250;
    TArchiveInfoForm form(*core);
    EXPECT_EQ(form.windowTitle(), "Archive properties");
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    ASSERT_EQ(form.lvArcInfo->topLevelItemCount(), 7);
    auto value = [&](int row) { return form.lvArcInfo->topLevelItem(row)->text(1).toStdString(); };
    EXPECT_EQ(form.lvArcInfo->topLevelItem(0)->text(0), "Name:");
    EXPECT_EQ(value(0), "t.zip");
    EXPECT_EQ(value(1), home.dir.str() + "/");
    EXPECT_EQ(value(2), "ZIP");
    EXPECT_EQ(value(3), "1,000"); // the locale's grouping, as in the list
    EXPECT_EQ(value(4), "3");
    EXPECT_EQ(value(5), "75 %");
    // The archive's date in the list's format, shown whole.
    const QDateTime m = QFileInfo(QString::fromStdString(zip)).lastModified();
    EXPECT_EQ(value(6),
              DisplayDateTime(EncodeListDate(m.date().year(), m.date().month(), m.date().day(),
                                             m.time().hour(), m.time().minute(), m.time().second())));
    QTreeWidget* list = form.lvArcInfo;
    for (int row = 0; row < 7; ++row)
        EXPECT_LE(list->fontMetrics().horizontalAdvance(list->topLevelItem(row)->text(1)) +
                      list->columnWidth(0),
                  list->viewport()->width())
            << value(row);
    EXPECT_EQ(form.rbCompression->Progress(), 75);
    shot(form, "properties_dialog.png");
    QTest::mouseClick(form.btnClose, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
}

// The gauge keeps its size in the dialog's layout, however small the dialog is made: the
// column and the whole "100 %" show at every level.
TEST_F(ZipDialogFixture, PropertiesGaugeShowsAtEachLevel) {
    PV_REQUIRE_PEER("zip");
    const struct {
        int64_t packed;
        const char* file;
    } levels[] = {
        {1000, "properties_gauge_0.png"}, {500, "properties_gauge_50.png"}, {0, "properties_gauge_100.png"}};
    for (const auto& l : levels) {
        SCOPED_TRACE(l.file);
        core->FTotalSize = 1000;
        core->FTotalPacked = l.packed;
        TArchiveInfoForm form(*core);
        form.resize(200, 120); // smaller than its layout wants
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        TRarBar* bar = form.rbCompression;
        EXPECT_TRUE(bar->isVisible());
        EXPECT_GE(bar->height(), bar->minimumSizeHint().height());
        EXPECT_GE(bar->width(), 33 + QFontMetrics(bar->GaugeFont()).horizontalAdvance("100 %"));
        const QImage img = bar->grab().toImage();
        auto has = [&](TColor c) {
            const QRgb want = ColorToQColor(c, bar->palette()).rgb();
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    if (img.pixel(x, y) == want) return true;
            return false;
        };
        EXPECT_TRUE(has(bar->LineColor)); // the column's outline
        EXPECT_TRUE(has(bar->FontColor)); // the percentage
        EXPECT_EQ(has(bar->FilledSideColor1), l.packed < 1000);
        EXPECT_EQ(has(bar->EmptyColor1), l.packed == 1000);
        // At the size the dialog opens with, the gauge stands at its full height.
        form.resize(400, 300);
        QApplication::processEvents();
        EXPECT_EQ(bar->height(), 180);
        shot(form, l.file);
    }
}
