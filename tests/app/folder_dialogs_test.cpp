// The extract dialog, the folder picker and the new-folder dialog: what OK decides on a
// bare window state (tables), then each through its real widgets over a small private
// tree, with screenshots in the build folder.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/dialogs/DirSelUnit.h"
#include "app/dialogs/ExtUnit.h"
#include "app/core/MainCore.h"
#include "app/dialogs/NewFldrUnit.h"
#include "apptest.h"
#include "controls/DirTree.h"

using namespace apptest;
namespace fs = std::filesystem;
using platform::ModalResult;

namespace {

struct FolderDialogs : ::testing::Test {
    IsolatedHome home;
    ScriptedBoxes boxes;
    TMainCore core{nullptr, nullptr};
    std::string root;
    std::string saved = fs::current_path().string();

    void SetUp() override {
        root = (home.dir / "tree").string();
        fs::create_directories(root + "/a/b");
        pvtest::writeFile(root + "/file", "x");
        fs::current_path(root);
    }
    void TearDown() override { fs::current_path(saved); }

    void shot(QWidget& w, const char* name) {
        const fs::path out = fs::path(PV_BUILD_DIR) / name;
        EXPECT_TRUE(w.grab().save(QString::fromStdString(out.string()))) << out;
    }
    // Runs `step` on the modal dialog of type D once it is up.
    template <class D, class F> static void whenModal(F step) {
        QTimer::singleShot(0, [step] {
            if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) step(d);
        });
    }
    std::string lastBox() const { return boxes.shown.empty() ? "" : boxes.shown.back().text; }
};

struct Fields {
    std::string target;
    bool selected, dirNames, overwrite, skipOlder;
    bool operator==(const Fields&) const = default;
};

Fields fieldsOf(const TMainCore& c) {
    return {c.FExtractTarget, c.FExtSelectedOnly, c.FExtDirNames, c.FExtOverwrite, c.FExtSkipOlder};
}

} // namespace

TEST_F(FolderDialogs, ExtractAcceptTable) {
    struct Case {
        const char* what;
        std::string target;
        int fileOpt;
        double required, free;
        std::vector<ModalResult> answers;
        bool accepted;
        std::string box; // last box shown, "" for none
    } cases[] = {
        {"one missing level is made", root + "/new", 0, 0, 10, {}, true, ""},
        {"selected files", root + "/a", 1, 0, 10, {}, true, ""},
        {"free equal to required does not ask", root + "/a", 0, 5, 5, {}, true, ""},
        {"less free space, No",
         root + "/a",
         0,
         5,
         4.99,
         {ModalResult::No},
         false,
         "Not enough free disk space. Continue extracting ?"},
        {"less free space, Yes",
         root + "/a",
         0,
         5,
         4,
         {ModalResult::Yes},
         true,
         "Not enough free disk space. Continue extracting ?"},
        // Free space that cannot be read is no shortage: the write itself will tell.
        {"unreadable drive: unknown free space does not ask", root + "/a", 0, 0, -1, {}, true, ""},
        {"two missing levels", root + "/x/y", 1, 0, 10, {}, false, "Can\"t create directory !"},
        {"empty", "", 1, 0, 10, {}, false, "Can\"t create directory !"},
        {"relative", "rel", 1, 0, 10, {}, false, "Can\"t create directory !"},
        {"a file",
         root + "/file",
         1,
         0,
         10,
         {},
         false,
         "Cannot extract into the folder " + root + "/file/\nNot a directory"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        core.FExtractTarget = "before";
        core.FExtSelectedOnly = false;
        core.FExtDirNames = core.FExtOverwrite = core.FExtSkipOlder = false;
        core.FCancelled = true;
        const Fields before = fieldsOf(core);
        boxes.shown.clear();
        boxes.answers = c.answers;
        EXPECT_EQ(TExtForm::Accept(core, c.target, c.fileOpt, true, true, false, c.required, c.free),
                  c.accepted);
        EXPECT_EQ(lastBox(), c.box);
        if (c.accepted) {
            EXPECT_FALSE(core.FCancelled);
            EXPECT_TRUE(fs::is_directory(c.target));
            EXPECT_EQ(fieldsOf(core), (Fields{c.target, c.fileOpt == 1, true, true, false}));
        } else {
            EXPECT_EQ(fieldsOf(core), before);
        }
    }
    EXPECT_FALSE(fs::exists(root + "/x"));
    EXPECT_FALSE(fs::exists(root + "/rel"));
}

TEST_F(FolderDialogs, NewFolderCreateTable) {
    fs::create_directories(root + "/exists");
    struct Case {
        std::string base, name;
        bool closes;
        std::string path, box;
    } cases[] = {
        {root, "n1", true, root + "/n1", ""},
        {root + "/", "n2", true, root + "/n2", ""},
        {root + "//", "n3", true, root + "/n3", ""},
        {root, "exists", true, root + "/exists", "Directory already exists !"},
        {root, "", false, "", "Can\"t create directory !"},
        {root, "x/y", false, "", "Can\"t create directory !"},
        {root, "/abs", false, "", "Can\"t create directory !"},
        {root, ".", false, "", "Can\"t create directory !"},
        {root, "..", false, "", "Can\"t create directory !"},
        {root + "/missing", "z", false, "", "Can\"t create directory !"},
        {root, "file", false, "", "Can\"t create directory !"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.base + " + " + c.name);
        boxes.shown.clear();
        std::string path;
        EXPECT_EQ(TNewFolderForm::Create(c.base, c.name, path), c.closes);
        EXPECT_EQ(lastBox(), c.box);
        if (c.closes) {
            EXPECT_EQ(path, c.path);
            EXPECT_TRUE(fs::is_directory(path));
        }
    }
    EXPECT_FALSE(fs::exists(root + "/x"));
    EXPECT_FALSE(fs::exists(root + "/missing"));
    EXPECT_FALSE(fs::exists(home.dir / "abs"));
}

TEST_F(FolderDialogs, ExtractDialogThroughItsWidgets) {
    core.FExtractFolder = root + "/a";
    core.FTotalSize = 3 * 1048576 + 524288;
    {
        TExtForm dlg(core);
        EXPECT_EQ(dlg.windowTitle(), "Extract files");
        EXPECT_EQ(dlg.Dir->GetSelectedPath(), root + "/a");
        EXPECT_EQ(dlg.InstDir->text().toStdString(), root + "/a");
        EXPECT_EQ(dlg.PanelText(0), "required: 3.50 MB");
        EXPECT_EQ(dlg.Timer1->interval(), 100);
        EXPECT_TRUE(dlg.ZIPDirs->isChecked());
        EXPECT_FALSE(dlg.Overwrite->isChecked());
        dlg.show();
        dlg.Timer1Timer();
        EXPECT_TRUE(dlg.PanelText(1).startsWith("free: ")) << dlg.PanelText(1).toStdString();
        EXPECT_TRUE(dlg.PanelText(1).endsWith(" MB"));

        // A click on a folder of the tree puts it in the target edit.
        dlg.Dir->OpenPath(root + "/a/b");
        EXPECT_EQ(dlg.InstDir->text().toStdString(), root + "/a/b");
        dlg.Dir->OpenPath(root + "/a");

        // New Folder: the dialog shows the base, makes the folder; tree and target follow.
        bool asked = false;
        whenModal<TNewFolderForm>([&](TNewFolderForm* f) {
            asked = true;
            EXPECT_EQ(f->windowTitle(), "Create new folder");
            EXPECT_EQ(f->AktDir->text().toStdString(), root + "/a");
            QTest::keyClicks(f->NewDir, "made");
            shot(*f, "NewFolderForm.png");
            QTest::keyClick(f->NewDir, Qt::Key_Return);
        });
        QTest::mouseClick(dlg.btnNewDir, Qt::LeftButton);
        EXPECT_TRUE(asked);
        EXPECT_TRUE(fs::is_directory(root + "/a/made"));
        EXPECT_EQ(dlg.Dir->GetSelectedPath(), root + "/a/made");
        EXPECT_EQ(dlg.InstDir->text().toStdString(), root + "/a/made");
        shot(dlg, "ExtForm.png");

        dlg.SetFileOpt(1);
        dlg.UpdateCB->setChecked(true);
        boxes.answers = {ModalResult::Yes}; // in case the disk is nearly full
        QTest::mouseClick(dlg.btnExt, Qt::LeftButton);
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    EXPECT_FALSE(core.FCancelled);
    EXPECT_EQ(core.FExtractTarget, root + "/a/made");
    EXPECT_EQ(core.FExtractFolder, root + "/a/made");
    EXPECT_TRUE(core.FExtSelectedOnly);
    EXPECT_TRUE(core.FExtDirNames);
    EXPECT_FALSE(core.FExtOverwrite);
    EXPECT_TRUE(core.FExtSkipOlder);

    // Cancel writes where the tree was left; nothing else.
    core.FExtractTarget = "kept";
    {
        TExtForm dlg(core);
        dlg.show();
        dlg.Dir->OpenPath(root + "/a/b");
        dlg.InstDir->setText(QString::fromStdString(root + "/typed"));
        QTest::mouseClick(dlg.btnCancel, Qt::LeftButton);
    }
    EXPECT_TRUE(core.FCancelled);
    EXPECT_EQ(core.FExtractFolder, root + "/a/b");
    EXPECT_EQ(core.FExtractTarget, "kept");
    EXPECT_FALSE(fs::exists(root + "/typed"));

    // A new folder cancelled changes nothing.
    {
        TExtForm dlg(core);
        dlg.show();
        whenModal<TNewFolderForm>([](TNewFolderForm* f) {
            QTest::keyClicks(f->NewDir, "never");
            QTest::mouseClick(f->CancelBtn, Qt::LeftButton);
        });
        dlg.btnNewDirClick();
        EXPECT_EQ(dlg.Dir->GetSelectedPath(), root + "/a/b");
        EXPECT_EQ(dlg.InstDir->text().toStdString(), root + "/a/b");
    }
    EXPECT_FALSE(fs::exists(root + "/a/b/never"));
}

TEST_F(FolderDialogs, FolderPickerAndItsReuse) {
    TDirSelForm picker(core);
    EXPECT_EQ(picker.windowTitle(), "Select Directory");
    EXPECT_EQ(picker.OK->text(), "&Ok");
    EXPECT_EQ(picker.Cancel->text(), "&Cancel");
    picker.DirTree1->SetInitialDirectory(root + "/a/b");
    whenModal<TDirSelForm>([&](TDirSelForm* d) {
        EXPECT_EQ(d->DirTree1->GetSelectedPath(), root + "/a/b");
        shot(*d, "DirSelForm.png");
        QTest::mouseClick(d->OK, Qt::LeftButton);
    });
    core.FCancelled = true;
    picker.exec();
    EXPECT_FALSE(core.FCancelled);
    EXPECT_EQ(picker.DirTree1->GetSelectedPath(), root + "/a/b");

    // Kept by its owner and shown again at another folder; Cancel says so.
    picker.DirTree1->SetInitialDirectory(root + "/a");
    whenModal<TDirSelForm>([](TDirSelForm* d) { QTest::mouseClick(d->Cancel, Qt::LeftButton); });
    picker.exec();
    EXPECT_TRUE(core.FCancelled);
    EXPECT_EQ(picker.DirTree1->GetSelectedPath(), root + "/a");
}
