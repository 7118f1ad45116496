// The file-drop dialog: what it proposes, New and Open, OK creating or opening the archive,
// and the drop road through the window into a new tar.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "app/dialogs/DialogSeams.h"
#include "app/dialogs/FileDropUnit.h"
#include "app/window/MainUnit.h"
#include "archive/aeCompBase.h"
#include "apptest.h"

using namespace apptest;
namespace fs = std::filesystem;
using pvtest::q;
using pvtest::run;

TEST(FileDrop, ProposalsNewOpenAndOk) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    TMainCore m{CreateLiveZip(), CreateLiveLister()};
    m.FormCreate((pvtest::binDir() / "parvex").string());
    pvtest::writeFile(home.dir / "in" / "a.txt", "a\n");
    pvtest::writeFile(home.dir / "in" / "b c;d.txt", "b\n");
    // One file, nothing open: a new zip beside it, named after it.
    m.FShellFiles = {(home.dir / "in" / "a.txt").string()};
    {
        TFileDropForm f(m);
        f.FormShow();
        EXPECT_EQ(f.oeFilename->text().toStdString(), (home.dir / "in" / "a.zip").string());
        EXPECT_EQ(f.NewArchive, 1);
        EXPECT_EQ(f.HandlerKind, 1);
        EXPECT_NE(f.lFileInfo->text().toStdString().find("a.txt"), std::string::npos);
        EXPECT_EQ(f.cbSpan->currentIndex(), 3);
    }
    // New over an existing file: Yes only records it; Cancel leaves the file in place.
    pvtest::writeFile(home.dir / "old.tar", "precious");
    m.FShellFiles.push_back((home.dir / "in" / "b c;d.txt").string());
    {
        TFileDropForm f(m);
        f.FormShow();
        EXPECT_EQ(f.lFileInfo->text(), "Files to add: 2");
        boxes.answers = {platform::ModalResult::Yes};
        f.NewChosen((home.dir / "old.tar").string(), 6);
        EXPECT_EQ(f.NewArchive, 1);
        EXPECT_EQ(f.ArchiveKind, 6);
        EXPECT_EQ(f.cbCompLevel->itemText(0), "Tarred");
        EXPECT_EQ(f.cbAction->count(), 2);
        f.reject();
        EXPECT_TRUE(m.FCancelled);
    }
    EXPECT_EQ(pvtest::readFile(home.dir / "old.tar"), "precious");
    // OK naming a missing archive: the box, the dialog stays.
    {
        TFileDropForm f(m);
        f.FormShow();
        boxes.shown.clear();
        f.OpenChosen((home.dir / "missing.zip").string(), 1);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, "This Archive doesn't exist. Do you want to create it now ?");
        f.NewArchive = 0;
        f.oeFilename->setText(QString::fromStdString((home.dir / "missing.zip").string()));
        EXPECT_FALSE(f.OkClick());
        EXPECT_EQ(boxes.shown.size(), 2u);
        EXPECT_FALSE(fs::exists(home.dir / "missing.zip"));
    }
    // An open tar: its kind follows the lister's type; folders are widened at OK.
    PV_REQUIRE_PEER("tar");
    ASSERT_EQ(
        run("tar -cf " + q((home.dir / "t.tar").string()) + " -C " + q((home.dir / "in").string()) + " a.txt")
            .status,
        0);
    m.OpenArchive((home.dir / "t.tar").string());
    ASSERT_EQ(m.FHandlerKind, hkLister);
    m.FShellFiles = {(home.dir / "in").string()};
    TFileDropForm f(m);
    f.FormShow();
    EXPECT_EQ(f.HandlerKind, 2);
    EXPECT_EQ(f.ArchiveKind, 6);
    EXPECT_EQ(f.NewArchive, 0);
    f.cbAction->setCurrentIndex(1);
    EXPECT_EQ(f.btnOk->text(), "&Move");
    f.cbCompLevel->setCurrentIndex(1);
    ASSERT_TRUE(f.OkClick());
    EXPECT_FALSE(m.FCancelled);
    EXPECT_EQ(m.FPackerSwitch, 3);
    EXPECT_EQ(m.FCompressMethod, cmGzipTar);
    EXPECT_TRUE(m.FAddFolderWildcard);
    EXPECT_EQ(m.FShellFiles, std::vector<std::string>{(home.dir / "in").string() + "/*.*"});
}

// The drop road through the window: a dropped file goes into a new tar that tar lists.
TEST(FileDrop, DroppedFileIntoANewTarThroughTheWindow) {
    PV_REQUIRE_PEER("tar");
    IsolatedHome home;
    ScriptedBoxes boxes;
    pvtest::writeFile(home.dir / "in" / "dropped.txt", "dropped\n");
    TMainForm form(CreateLiveZip(), CreateLiveLister(), (pvtest::binDir() / "parvex").string());
    form.show();
    ASSERT_TRUE(bool(DialogSeams().FileDrop));
    const fs::path tar = home.dir / "new.tar";
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<TFileDropForm*>(QApplication::activeModalWidget());
        if (!dlg) return;
        seen = true;
        EXPECT_EQ(dlg->windowTitle(), "Drag and Drop");
        dlg->NewChosen(tar.string(), 6);
        const fs::path out = fs::path(PV_BUILD_DIR) / "FileDropForm.png";
        EXPECT_TRUE(dlg->grab().save(QString::fromStdString(out.string())));
        dlg->btnOk->click();
    });
    form.ShowFileDrop({(home.dir / "in" / "dropped.txt").string()});
    ASSERT_TRUE(seen);
    auto r = run("tar -tf " + q(tar.string()));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("dropped.txt"), std::string::npos) << r.out;
    EXPECT_EQ(form.FArchiveFile, tar.string());
    EXPECT_EQ(form.Rows.size(), 1u);
}
