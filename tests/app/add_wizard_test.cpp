// The add wizard and the exclusion list: their decision tables without widgets, then the
// dialogs driven through their widgets over the real zip front-end.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QToolButton>
#include <QTest>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeWidget>

#include "app/dialogs/AddUnit.h"
#include "app/dialogs/DialogSeams.h"
#include "app/window/MainUnit.h"
#include "app/dialogs/excludeunit.h"
#include "archive/aeCompBase.h"
#include "support/env.h"
#include "controls/ShellExplorer.h"
#include "apptest.h"

using namespace apptest;
namespace fs = std::filesystem;
using pvtest::q;
using pvtest::run;

namespace {

void shot(QWidget& w, const char* name) {
    const fs::path out = fs::path(PV_BUILD_DIR) / name;
    EXPECT_TRUE(w.grab().save(QString::fromStdString(out.string()))) << out;
}

std::vector<std::string> rowsOf(QComboBox* box) {
    std::vector<std::string> out;
    for (int i = 0; i < box->count(); ++i) out.push_back(box->itemText(i).toStdString());
    return out;
}

} // namespace

// (back end, packer, action row, compression row) -> the fields the add road reads.
TEST(AddDecisions, FieldsByBackEndPackerActionAndCompression) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    TMainCore m{nullptr, nullptr};
    constexpr int kept = -7; // a field the row leaves as it was
    struct Case {
        bool zip;
        TPackerId packer;
        int action, level;
        int addAction, sw, method, deflate;
    } cases[] = {
        // zip: the action row is the add action; nothing of the packers.
        {true, TPackerId::None, 3, 0, 3, 0, kept, kept},
        {true, TPackerId::None, 1, 4, 1, 0, kept, kept},
        // BlakHole: Fuse with the effort by row; "High" is the normal effort, not the weakest.
        {false, TPackerId::Bh, 0, 0, 0, 0, cmFuse, dtDeflateX},
        {false, TPackerId::Bh, 1, 1, 1, 3, cmFuse, dtDeflateN},
        {false, TPackerId::Bh, 0, 3, 0, 0, cmFuse, dtDeflateF},
        {false, TPackerId::Bh, 0, 4, 0, 0, cmStore, kept},
        // Jar deflates (its writer has no Fuse).
        {false, TPackerId::Jar, 0, 0, 0, 0, cmDeflate, dtDeflateX},
        {false, TPackerId::Jar, 1, 2, 1, 3, cmDeflate, dtDeflateN},
        {false, TPackerId::Jar, 0, 4, 0, 0, cmStore, kept},
        // Gzip: the effort only; "None" is the fastest, gzip cannot store.
        {false, TPackerId::GZip, 0, 1, 0, 0, kept, dtDeflateN},
        {false, TPackerId::GZip, 0, 4, 0, 0, kept, dtDeflateS},
        {false, TPackerId::Lha, 1, 0, 1, 3, cmFrozen6, kept},
        {false, TPackerId::Lha, 0, 1, 0, 0, cmFrozen5, kept},
        {false, TPackerId::Lha, 0, 2, 0, 0, cmStore, kept},
        // Cabinets only add.
        {false, TPackerId::Cab, 0, 1, 0, 0, cmQuantum, kept},
        {false, TPackerId::Cab, 0, 3, 0, 0, cmStore, kept},
        {false, TPackerId::Tar, 1, 0, 1, 3, cmTarred, kept},
        {false, TPackerId::Tar, 0, 1, 0, 0, cmGzipTar, kept},
        {false, TPackerId::Tar, 0, 2, 0, 0, cmStore, kept},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.packer) << " action " << c.action << " level " << c.level);
        m.FCancelled = true;
        m.FCompressMethod = m.FDeflateType = kept;
        m.FPackerSwitch = 9;
        std::vector<std::string> rows{"/no/such/file"};
        addcore::Accept(m, c.zip, int(c.packer), c.action, c.level, rows);
        EXPECT_FALSE(m.FCancelled);
        EXPECT_EQ(m.FAddAction, c.addAction);
        EXPECT_EQ(m.FPackerSwitch, c.sw);
        EXPECT_EQ(m.FCompressMethod, c.method);
        EXPECT_EQ(m.FDeflateType, c.deflate);
        EXPECT_FALSE(m.FAddFolderWildcard);
    }

    // Folders become "folder/*.*" once; files and missing paths stay exactly as they came.
    fs::create_directories(home.dir / "x");
    pvtest::writeFile(home.dir / "f;1 a.txt", "f");
    const std::string x = (home.dir / "x").string();
    const std::string odd = (home.dir / "n\xe9.txt").string(); // not UTF-8
    std::vector<std::string> rows{x, x + "/", (home.dir / "f;1 a.txt").string(), odd};
    addcore::Accept(m, true, 0, 0, 0, rows);
    EXPECT_TRUE(m.FAddFolderWildcard);
    EXPECT_EQ(rows,
              (std::vector<std::string>{x + "/*.*", x + "/*.*", (home.dir / "f;1 a.txt").string(), odd}));

    // The rows each back end offers.
    EXPECT_EQ(addcore::ZipRows(7).levelRow, 1);
    EXPECT_EQ(addcore::ZipRows(0).levelRow, 4);
    EXPECT_EQ(addcore::ZipRows(6).levelRow, -1); // no row for another level
    EXPECT_EQ(addcore::ZipRows(9).span.size(), 4u);
    EXPECT_EQ(addcore::ZipRows(9).spanRow, 3);
    EXPECT_EQ(addcore::PackerRows(int(TPackerId::Cab)).action, std::vector<std::string>{"Add files"});
    EXPECT_EQ(addcore::PackerRows(int(TPackerId::Lha)).level,
              (std::vector<std::string>{"Maximum (slow)", "Fast", "None (archiving)"}));
    EXPECT_EQ(addcore::PackerRows(int(TPackerId::Tar)).levelRow, 0);
    EXPECT_FALSE(addcore::PackerRows(int(TPackerId::Tar)).spanEnabled);
    EXPECT_EQ(addcore::ActionCaption(2), "&Freshen");

    // Automatic spanning: on a removable drive, elsewhere the box.
    const fs::path media = home.dir / "media";
    pvtest::ScopedMedia drive(media);
    pvtest::writeFile(media / "a.zip", "z");
    pvtest::writeFile(home.dir / "b.zip", "z");
    boxes.shown.clear();
    EXPECT_TRUE(addcore::AutoSpanAllowed((media / "a.zip").string()));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(addcore::AutoSpanAllowed((home.dir / "b.zip").string()));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Disk span error");
    EXPECT_EQ(boxes.shown[0].text, addcore::kSpanText);
}

TEST(ExcludeSpecForm, OkWritesTheRowsInOrderCancelNothing) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    TMainCore m{nullptr, nullptr};
    m.FExcludeSpecs = {"*.o", "*.tmp"};
    {
        TExcludeSpecForm f(m);
        EXPECT_EQ(f.windowTitle(), "Exclude from Adding");
        EXPECT_EQ(f.Specs(), m.FExcludeSpecs);
        f.edExSpec->setText("*.TMP"); // a listed mask in other letters
        f.btnAdd->click();
        EXPECT_EQ(f.lbExSpec->count(), 2);
        f.edExSpec->setText("");
        f.btnAdd->click();
        EXPECT_EQ(f.lbExSpec->count(), 2);
        f.edExSpec->setText("*.bak");
        QTest::keyClick(f.edExSpec, Qt::Key_Return);
        EXPECT_TRUE(f.edExSpec->text().isEmpty());
        f.lbExSpec->item(0)->setSelected(true);
        f.btnDel->click();
        QTimer::singleShot(0, &f, [&f] { f.btnCancel->click(); });
        f.exec();
    }
    EXPECT_EQ(m.FExcludeSpecs, (std::vector<std::string>{"*.o", "*.tmp"})); // Cancel: as it was
    {
        TExcludeSpecForm f(m);
        f.lbExSpec->item(0)->setSelected(true);
        f.btnDel->click();
        f.edExSpec->setText("*.bak");
        f.btnAdd->click();
        shot(f, "ExcludeSpecForm.png");
        QTimer::singleShot(0, &f, [&f] { f.btnOk->click(); });
        f.exec();
    }
    EXPECT_EQ(m.FExcludeSpecs, (std::vector<std::string>{"*.tmp", "*.bak"}));

    // Load: blank lines skipped, CR/LF ends, binary bytes kept without harm; save and read back.
    const fs::path list = home.dir / "ex.txt";
    pvtest::writeFile(list, std::string("*.a\r\n\n  \n*.b\n\xff\xfe\x01z\n*.c\0tail\n", 28));
    TExcludeSpecForm f(m);
    ASSERT_TRUE(f.LoadFrom(list.string()));
    EXPECT_EQ(f.Specs(), (std::vector<std::string>{"*.a", "*.b", "\xff\xfe\x01z", "*.c"}));
    ASSERT_TRUE(f.SaveTo((home.dir / "out.txt").string()));
    TExcludeSpecForm g(m);
    ASSERT_TRUE(g.LoadFrom((home.dir / "out.txt").string()));
    EXPECT_EQ(g.Specs(), f.Specs());
    EXPECT_FALSE(g.LoadFrom((home.dir / "missing.txt").string()));
    EXPECT_EQ(g.Specs(), f.Specs());
}

// The wizard over the window: a folder chosen in lvSource reaches lvAddfiles, page two's
// options go to the add road, and the zip made passes unzip -t.
TEST(AddWizard, FolderFromTheSourceListIsAddedThroughTheWindow) {
    PV_REQUIRE_PEER("unzip");
    IsolatedHome home;
    ScriptedBoxes boxes;
    const fs::path src = home.dir / "src";
    pvtest::writeFile(src / "pick" / "a.txt", "alpha\n");
    pvtest::writeFile(src / "pick" / "sub" / "b.txt", pvtest::sampleText(40000, 3));
    pvtest::writeFile(src / "other.txt", "not chosen\n");
    TMainForm form(CreateLiveZip(), CreateLiveLister(), (pvtest::binDir() / "parvex").string());
    form.show();
    const fs::path zip = home.dir / "w.zip";
    form.CreateArchive(zip.string(), 1);
    ASSERT_TRUE(form.FArchiveOpen);
    ASSERT_TRUE(bool(DialogSeams().AddWizard)); // the wizard filled its seam
    form.FPackRate = 6;                         // no compression row matches

    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<TAddForm*>(QApplication::activeModalWidget());
        if (!dlg) return;
        seen = true;
        EXPECT_EQ(dlg->windowTitle(), "Add files");
        EXPECT_EQ(dlg->Page(), 1);
        EXPECT_EQ(dlg->lvSource->Directory(), platform::homeDir() + "/");
        dlg->lvSource->SetDirectory(src.string());
        QTreeWidgetItem* pick = nullptr;
        for (int i = 0; i < dlg->lvSource->topLevelItemCount(); ++i)
            if (dlg->lvSource->topLevelItem(i)->text(0) == "pick") pick = dlg->lvSource->topLevelItem(i);
        ASSERT_NE(pick, nullptr);
        dlg->lvSource->clearSelection();
        pick->setSelected(true);
        dlg->btnAddFiles->click();
        dlg->btnAddFiles->click(); // twice: still one row
        ASSERT_EQ(dlg->lvAddfiles->topLevelItemCount(), 1);
        EXPECT_EQ(dlg->Files(), std::vector<std::string>{(src / "pick").string()});
        shot(*dlg, "AddForm1.png");
        dlg->btnNext->click();
        EXPECT_EQ(dlg->Page(), 2);
        EXPECT_TRUE(dlg->btnBack->isEnabled());
        EXPECT_FALSE(dlg->btnNext->isEnabled());
        EXPECT_EQ(rowsOf(dlg->cbAction),
                  (std::vector<std::string>{"Add files", "Update files", "Freshen files", "Move files"}));
        EXPECT_EQ(dlg->cbCompLevel->currentIndex(), -1);
        EXPECT_EQ(dlg->cbSpan->currentIndex(), 3);
        EXPECT_TRUE(dlg->gbFolderOptions->isVisible());
        EXPECT_FALSE(dlg->gbArcListerOpt->isVisible());
        dlg->cbAction->setCurrentIndex(3);
        EXPECT_EQ(dlg->btnAdd->text(), "&Move");
        dlg->cbAction->setCurrentIndex(0);
        EXPECT_EQ(dlg->btnAdd->text(), "&Add");
        // The paired boxes act as two radio buttons.
        dlg->cbFullPath->click();
        EXPECT_TRUE(dlg->cbFullPath->isChecked());
        EXPECT_FALSE(dlg->cbRelPath->isChecked());
        dlg->cbRelPath->click();
        EXPECT_TRUE(dlg->cbRelPath->isChecked());
        EXPECT_FALSE(dlg->cbFullPath->isChecked());
        // Automatic spanning off a removable disk falls back to "No spanning".
        dlg->cbSpan->setCurrentIndex(1);
        dlg->cbSpanChange(1);
        EXPECT_EQ(dlg->cbSpan->currentIndex(), 3);
        dlg->cbCompLevel->setCurrentIndex(4); // stored
        shot(*dlg, "AddForm2.png");
        dlg->btnAdd->click();
    });
    form.ActionsFor(cmd::Add).front()->trigger();
    ASSERT_TRUE(seen);
    EXPECT_FALSE(form.FCancelled);
    EXPECT_TRUE(form.FAddFolderWildcard);
    EXPECT_EQ(form.FOpenFolder, src.string() + "/");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Disk span error");
    auto t = run("unzip -tq " + q(zip.string()));
    EXPECT_EQ(t.status, 0) << t.out;
    auto names = run("unzip -Z1 " + q(zip.string())).out;
    // One folder: the names inside it, its subfolders included.
    EXPECT_NE(names.find("a.txt"), std::string::npos) << names;
    EXPECT_NE(names.find("sub/b.txt"), std::string::npos) << names;
    EXPECT_EQ(names.find("other.txt"), std::string::npos) << names;
    EXPECT_NE(run("unzip -v " + q(zip.string())).out.find("Stored"), std::string::npos);
    EXPECT_EQ(form.Rows.size(), 2u);

    // Cancel adds nothing and leaves the archive as it was.
    const std::string before = pvtest::readFile(zip);
    QTimer::singleShot(0, [&] {
        if (auto* dlg = qobject_cast<TAddForm*>(QApplication::activeModalWidget())) {
            dlg->AddPaths({(src / "other.txt").string()});
            dlg->btnCancel->click();
        }
    });
    form.ActionsFor(cmd::Add).front()->trigger();
    EXPECT_TRUE(form.FCancelled);
    EXPECT_TRUE(pvtest::readFile(zip) == before);
}

// Page one as the user meets it: the folder combo names the folder the list shows, "List"
// leaves the names alone, Enter in the mask filters without pressing any button, and the
// select-all label takes its key instead of showing the "&".
TEST(AddWizard, FolderComboListViewAndEnterInTheMask) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    const fs::path h = home.home; // the folder the source list starts in
    pvtest::writeFile(h / "a.txt", "alpha\n");
    pvtest::writeFile(h / "b.bin", "beta\n");
    pvtest::writeFile(h / "docs" / "c.txt", "gamma\n");
    TMainCore core{nullptr, nullptr};
    TAddForm dlg(core);
    dlg.FormShow();
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(dlg.lvSource->Directory(), platform::homeDir() + "/");
    EXPECT_EQ(dlg.lsTree->text().toStdString(), fs::path(platform::homeDir()).filename().string());
    EXPECT_EQ(dlg.lSelAll->buddy(), dlg.btnSelsrc);
    EXPECT_FALSE(dlg.btnSelsrc->toolTip().contains('&'));

    dlg.List->click();
    EXPECT_TRUE(dlg.List->isChecked());
    for (QTreeWidget* view : {static_cast<QTreeWidget*>(dlg.lvSource), dlg.lvAddfiles}) {
        EXPECT_FALSE(view->header()->isVisible());
        EXPECT_FALSE(view->isColumnHidden(0));
        for (int c = 1; c < view->columnCount(); ++c) EXPECT_TRUE(view->isColumnHidden(c)) << c;
    }
    dlg.AddPaths({(h / "a.txt").string()});
    QApplication::processEvents();
    shot(dlg, "AddForm_List.png");
    dlg.Report->click();
    for (QTreeWidget* view : {static_cast<QTreeWidget*>(dlg.lvSource), dlg.lvAddfiles}) {
        EXPECT_TRUE(view->header()->isVisible());
        for (int c = 0; c < view->columnCount(); ++c) EXPECT_FALSE(view->isColumnHidden(c)) << c;
    }

    dlg.lvSource->clearSelection();
    dlg.Mask->setFocus();
    dlg.Mask->selectAll();
    QTest::keyClicks(dlg.Mask, "*.txt");
    QTest::keyClick(dlg.Mask, Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(dlg.lvSource->selectedItems().isEmpty());
    std::vector<std::string> names;
    for (int i = 0; i < dlg.lvSource->topLevelItemCount(); ++i)
        names.push_back(dlg.lvSource->topLevelItem(i)->text(0).toStdString());
    EXPECT_NE(std::find(names.begin(), names.end(), "a.txt"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "b.bin"), names.end());
    EXPECT_EQ(dlg.lvAddfiles->topLevelItemCount(), 1);
}
