// The Qt main window over the core: start-up defaults, settings written at exit and read
// at the next start, what the widgets show, and a screenshot for checking the look.
#include "app/window/MainUnit.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMenu>
#include <QScreen>
#include <QStatusBar>
#include <QTreeView>

#include "app/core/ListFormat.h"
#include "app/window/LocaleDate.h"
#include "controls/TBPvCtls.h"
#include "apptest.h"

using namespace apptest;
namespace fs = std::filesystem;

namespace {

std::unique_ptr<TMainForm> makeForm(const IsolatedHome& home, FakeLister** lister = nullptr,
                                    std::vector<std::string> params = {}) {
    auto l = std::make_unique<FakeLister>();
    if (lister) *lister = l.get();
    fs::create_directories(home.dir / "bin");
    return std::make_unique<TMainForm>(std::make_unique<FakeZip>(), std::move(l),
                                       (home.dir / "bin" / "parvex").string(), std::move(params));
}

QString cell(QTreeView* v, int row, int col) {
    return v->model()->index(row, col).data().toString();
}

} // namespace

TEST(MainWindow, FirstStartDefaultsAndSettingsReadBackAtTheNextStart) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    {
        auto form = makeForm(home);
        form->show();
        app().processEvents();
        EXPECT_EQ(form->windowTitle(), "Parvex 2000");
        EXPECT_EQ(form->width(), 593);
        EXPECT_EQ(form->height(), 471);
        EXPECT_EQ(form->pos(), QPoint(100, 100));
        for (int c = 0; c < 8; ++c) EXPECT_FALSE(form->ZipList()->isColumnHidden(c)) << c;
        for (QAction* a : form->OpenHistoryMenu()->actions()) EXPECT_FALSE(a->isVisible());
        EXPECT_EQ(form->StatusPanel(0)->text(), "Welcome to Parvex 2000");
        EXPECT_FALSE(form->ActionsFor(cmd::Extract).front()->isEnabled());

        form->resize(700, 520);
        form->move(40, 60);
        form->FGridLines = true;
        form->FOptTest = false;
        form->FMailHost = "smtp.example.org";
        form->FCheckNewVersion = false;
        form->FOpenHistory[1] = "/some/where.zip";
        form->WriteEDir();
        app().processEvents();
    } // shut-down writes the settings

    TIniFile ini(home.settingsFile());
    EXPECT_EQ(ini.ReadString("AppOpt", "Width", ""), "700");
    EXPECT_EQ(ini.ReadString("Visual", "GridLines", ""), "1");
    EXPECT_EQ(ini.ReadString("Settings", "optTest", ""), "0");
    EXPECT_EQ(ini.ReadString("Update", "CheckNewVersion", ""), "0");
    // Keys written by other dialogs survive the writes at exit.
    TIniFile(home.settingsFile()).WriteString("ZipList", "CRC", "0");
    TIniFile(home.settingsFile()).WriteString("Settings", "Packrate", "3");

    auto form = makeForm(home);
    form->show();
    app().processEvents();
    EXPECT_EQ(form->width(), 700);
    EXPECT_EQ(form->height(), 520);
    EXPECT_EQ(form->pos(), QPoint(40, 60));
    EXPECT_TRUE(form->FGridLines);
    EXPECT_FALSE(form->FOptTest);
    EXPECT_EQ(form->FMailHost, "smtp.example.org");
    EXPECT_FALSE(form->FCheckNewVersion);
    EXPECT_EQ(form->FPackRate, 3);
    EXPECT_TRUE(form->ZipList()->isColumnHidden(6)); // CRC
    EXPECT_FALSE(form->ZipList()->isColumnHidden(5));
    QAction* item1 = form->OpenHistoryMenu()->actions().at(0);
    EXPECT_TRUE(item1->isVisible());
    EXPECT_EQ(item1->text(), "/some/where.zip");
}

TEST(MainWindow, ListStatusBarAndSortingThroughTheWidgets) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    FakeLister* lister = nullptr;
    auto path = (home.dir / "w.tar").string();
    pvtest::writeFile(path, "x");
    auto form = makeForm(home, &lister, {path}); // opened from the command line at first show
    lister->entries = {entry("b/big.bin", 1000, 10, EncodeListDate(2020, 1, 1, 0, 0, 0)),
                       entry("a/small.txt", 999, 900, EncodeListDate(2021, 1, 1, 0, 0, 0))};
    form->show();
    app().processEvents();
    QTreeView* v = form->ZipList();
    EXPECT_EQ(form->windowTitle(), "Parvex 2000 - w.tar");
    ASSERT_EQ(v->model()->rowCount(), 2);
    EXPECT_EQ(v->model()->headerData(7, Qt::Horizontal).toString(), "Attributs");
    EXPECT_EQ(cell(v, 0, 0), "big.bin");
    EXPECT_EQ(cell(v, 0, 1), "1,000");
    EXPECT_EQ(cell(v, 0, 3), "99% ");
    EXPECT_EQ(form->statusBar()->findChildren<QLabel*>().size(), 3);
    EXPECT_EQ(form->StatusPanel(2)->text(), "Total 2 files, 2 KB [1 KB]");
    EXPECT_TRUE(form->ActionsFor(cmd::Extract).front()->isEnabled());

    // A click on the Size header sorts up, the next one down.
    v->header()->sectionClicked(1);
    EXPECT_EQ(cell(v, 0, 1), "999");
    v->header()->sectionClicked(1);
    EXPECT_EQ(cell(v, 0, 1), "1,000");

    // Selecting through the view updates the selection totals; the selection follows
    // its rows through a sort.
    v->selectionModel()->select(v->model()->index(0, 0),
                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(form->StatusPanel(1)->text(), "1 file(s) selected, 1 KB");
    v->header()->sectionClicked(0);
    EXPECT_EQ(form->SelectedCount(), 1);
    auto sel = v->selectionModel()->selectedRows();
    ASSERT_EQ(sel.size(), 1);
    EXPECT_EQ(cell(v, sel[0].row(), 0), "big.bin");
    form->mmiSelAllClick();
    EXPECT_EQ(v->selectionModel()->selectedRows().size(), 2);
    EXPECT_EQ(form->StatusPanel(1)->text(), "2 file(s) selected, 2 KB");

    form->mmiCloseClick();
    EXPECT_EQ(form->windowTitle(), "Parvex 2000");
    EXPECT_EQ(v->model()->rowCount(), 0);
    EXPECT_EQ(form->StatusPanel(0)->text(), "Ready");
    EXPECT_EQ(form->StatusPanel(1), nullptr);
}

// Writes mainwindow.png into the build folder: the window with a real archive open.
// A window saved beyond the screen opens on it; one the screen still shows stays put.
TEST(MainWindow, SavedOffTheScreenItOpensOnIt) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    const struct {
        int left, top;
        bool kept;
    } cases[] = {{5000, 5000, false},
                 {-5000, 100, false},
                 {100, -3000, false},
                 {work.right() - 50, 80, true},
                 {-200, 50, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.left) + "," + std::to_string(c.top));
        fs::create_directories(fs::path(home.settingsFile()).parent_path());
        {
            TIniFile ini(home.settingsFile());
            ini.WriteInteger("AppOpt", "Left", c.left);
            ini.WriteInteger("AppOpt", "Top", c.top);
        }
        auto form = makeForm(home);
        form->show();
        app().processEvents();
        const QRect frame = form->frameGeometry();
        EXPECT_EQ(form->size(), QSize(593, 471));
        if (c.kept) {
            EXPECT_EQ(form->pos(), QPoint(c.left, c.top));
        } else {
            EXPECT_TRUE(work.contains(frame)) << frame.x() << "," << frame.y();
        }
    }
}

TEST(MainWindow, Screenshot) {
    PV_REQUIRE_PEER("zip");
    IsolatedHome home;
    ScriptedBoxes boxes;
    auto src = home.dir / "src";
    pvtest::writeFile(src / "README.TXT", pvtest::sampleText(1800, 1));
    pvtest::writeFile(src / "docs" / "manual.html", pvtest::sampleText(24000, 2));
    pvtest::writeFile(src / "docs" / "notes.txt", pvtest::sampleText(5300, 3));
    pvtest::writeBytes(src / "data" / "table.bin", pvtest::randomBytes(70000, 4));
    pvtest::writeFile(src / "src" / "main.cpp", pvtest::sampleText(12000, 5));
    pvtest::writeFile(src / "setup.exe", pvtest::sampleText(3000, 6));
    auto zipPath = (home.dir / "Sample Project.zip").string();
    auto r = pvtest::run("zip -q -r " + pvtest::q(zipPath) + " .", src);
    ASSERT_EQ(r.status, 0) << r.out;

    TMainForm form(CreateLiveZip(), CreateLiveLister(), (pvtest::binDir() / "parvex").string(), {zipPath});
    form.resize(760, 420);
    form.show();
    app().processEvents();
    form.resize(760, 420);
    ASSERT_EQ(form.ZipList()->model()->rowCount(), 6);
    form.ZipList()->selectionModel()->select(form.ZipList()->model()->index(1, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    app().processEvents();
    auto out = fs::path(PV_BUILD_DIR) / "mainwindow.png";
    ASSERT_TRUE(form.grab().save(QString::fromStdString(out.string())));
    EXPECT_GT(fs::file_size(out), 1000u);
}

TEST(MainWindow, HistoryMenuOpensAndDisableAllLocksTheWindow) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    FakeLister* lister = nullptr;
    auto form = makeForm(home, &lister);
    auto older = (home.dir / "older.tar").string(), newer = (home.dir / "newer.tar").string();
    pvtest::writeFile(older, "x");
    pvtest::writeFile(newer, "x");
    lister->entries = {entry("one.txt", 1, 1)};
    form->OpenArchive(older);
    form->OpenArchive(newer);
    QList<QAction*> items = form->OpenHistoryMenu()->actions();
    EXPECT_EQ(items.at(0)->text().toStdString(), newer);
    EXPECT_EQ(items.at(1)->text().toStdString(), older);
    EXPECT_FALSE(items.at(2)->isVisible());
    items.at(1)->trigger();
    EXPECT_EQ(form->windowTitle(), "Parvex 2000 - older.tar");
    EXPECT_EQ(items.at(0)->text().toStdString(), newer); // already listed: stays where it is

    form->DisableAll();
    EXPECT_FALSE(form->ZipList()->isEnabled());
    EXPECT_FALSE(form->menuBar()->actions().at(0)->isEnabled());
    for (TToolbarButtonPv* b : form->ToolbarButtons())
        EXPECT_FALSE(b->isEnabled()) << b->Caption().toStdString();
    form->EnableAll();
    EXPECT_TRUE(form->ZipList()->isEnabled());
    EXPECT_TRUE(form->ActionsFor(cmd::Extract).back()->isEnabled());
    EXPECT_TRUE(form->tbExt->isEnabled());
    EXPECT_TRUE(form->tbNew->isEnabled());
}

TEST(MainWindow, LargeListSortsAndSelectsAsAWhole) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    FakeLister* lister = nullptr;
    auto form = makeForm(home, &lister);
    const int n = 20000;
    for (int i = 0; i < n; ++i)
        lister->entries.push_back(
            entry("d" + std::to_string(i % 37) + "/f" + std::to_string(i) + ".txt", (i * 7919) % 100000, 1));
    auto path = (home.dir / "big.tar").string();
    pvtest::writeFile(path, "x");
    form->OpenArchive(path);
    QTreeView* v = form->ZipList();
    ASSERT_EQ(v->model()->rowCount(), n);
    v->header()->sectionClicked(1);
    for (int i = 1; i < n; ++i) ASSERT_LE(form->Rows[size_t(i - 1)].Size, form->Rows[size_t(i)].Size);
    form->mmiSelAllClick();
    EXPECT_EQ(v->selectionModel()->selectedRows().size(), n);
    int64_t total = 0;
    for (auto& e : lister->entries) total += e.UnpackedSize;
    EXPECT_EQ(form->FSelectedSize, total);
    EXPECT_EQ(form->StatusPanels[1], std::to_string(n) + " file(s) selected, " +
                                         std::to_string(RoundEven(double(total) / 1024.0)) + " KB");
    v->selectionModel()->select(v->model()->index(5, 0),
                                QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    form->mmiInvSelClick();
    EXPECT_EQ(form->SelectedCount(), 1);
    EXPECT_TRUE(form->Rows[5].Selected);
    EXPECT_EQ(v->selectionModel()->selectedRows().size(), 1);
}

// Dates and sizes read the same in every row, whatever the format (the locale's short date
// and time, its thousands separator), and an lzh archive's folder entries show their
// names. Writes mainwindow_lzh_folders.png.
TEST(MainWindow, OneFormatForEveryArchiveAndLzhFolderRows) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("jlha");
    IsolatedHome home;
    ScriptedBoxes boxes;
    const fs::path src = home.dir / "src";
    pvtest::writeFile(src / "docs" / "manual.txt", pvtest::sampleText(1234567, 1));
    pvtest::writeFile(src / "docs" / "sub" / "notes.txt", pvtest::sampleText(5300, 2));
    pvtest::writeBytes(src / "table.bin", pvtest::randomBytes(7000, 3));
    const std::string zip = (home.dir / "Project.zip").string(), lzh = (home.dir / "Project.lzh").string();
    ASSERT_EQ(pvtest::run("zip -q -r " + pvtest::q(zip) + " docs table.bin", src).status, 0);
    auto r = pvtest::run("jlha a " + pvtest::q(lzh) + " docs table.bin >/dev/null", src);
    ASSERT_EQ(r.status, 0) << r.out;

    TMainForm form(CreateLiveZip(), CreateLiveLister(), (pvtest::binDir() / "parvex").string(), {});
    form.resize(760, 360);
    form.show();
    app().processEvents();
    QTreeView* v = form.ZipList();
    for (const std::string& path : {zip, lzh}) {
        SCOPED_TRACE(path);
        form.OpenArchive(path);
        app().processEvents();
        ASSERT_TRUE(form.FArchiveOpen);
        int manual = -1;
        for (int row = 0; row < v->model()->rowCount(); ++row) {
            EXPECT_FALSE(cell(v, row, 0).isEmpty()) << row; // every row has a name
            if (cell(v, row, 0) == "manual.txt") manual = row;
        }
        ASSERT_GE(manual, 0);
        EXPECT_EQ(cell(v, manual, 1), "1,234,567");
        const TListRow* row = nullptr;
        for (const TListRow& candidate : form.Rows)
            if (candidate.Caption == "manual.txt") row = &candidate;
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(cell(v, manual, 4).toStdString(), LocaleShortDateTime(QLocale(), row->Date));
    }
    // The lzh archive's folders: "docs" at the top, "sub" in "docs/".
    auto rowOf = [&](const QString& name) {
        for (int row = 0; row < v->model()->rowCount(); ++row)
            if (cell(v, row, 0) == name) return row;
        return -1;
    };
    ASSERT_GE(rowOf("docs"), 0);
    ASSERT_GE(rowOf("sub"), 0);
    EXPECT_EQ(cell(v, rowOf("docs"), 5), "");
    EXPECT_EQ(cell(v, rowOf("sub"), 5), "docs/");
    const auto out = fs::path(PV_BUILD_DIR) / "mainwindow_lzh_folders.png";
    ASSERT_TRUE(form.grab().save(QString::fromStdString(out.string())));
}
