// The delete, self-extractor, password and spanning dialogs: what each button decides on a
// bare window state (tables of cases), then each dialog through its real widgets with a
// screenshot in the build folder.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "app/dialogs/DelUnit.h"
#include "app/dialogs/ExeOpt.h"
#include "app/core/MainCore.h"
#include "app/dialogs/PWord1Unit.h"
#include "app/dialogs/UserSpanUnit.h"
#include "apptest.h"

using namespace apptest;
namespace fs = std::filesystem;

namespace {

struct DialogFixture : ::testing::Test {
    IsolatedHome home;
    ScriptedBoxes boxes;
    TMainCore core{nullptr, nullptr};

    void shot(QWidget& w, const char* name) {
        const fs::path out = fs::path(PV_BUILD_DIR) / name;
        EXPECT_TRUE(w.grab().save(QString::fromStdString(out.string()))) << out;
    }
    // Runs `step` once the dialog is up (modal), then lets exec return.
    template <class F> static void whenShown(QDialog& d, F step) {
        QTimer::singleShot(0, &d, [&d, step] {
            if (!d.isVisible()) return;
            step();
        });
    }
};

} // namespace

// ---------------------------------------------------------------- password

TEST_F(DialogFixture, PasswordSetModeComparesBothEntriesExactly) {
    struct Case {
        const char* first;
        const char* second;
        bool accepted;
    } cases[] = {
        {"Secret", "Secret", true}, {"Secret", "Other", false}, {"Secret", "secret", false}, {"", "", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.first) + "/" + c.second);
        core.FAskPassword = false;
        core.FUsePassword = false;
        core.FArchivePassword = "old";
        boxes.shown.clear();
        TPWordState s;
        s.FormShow(core);
        EXPECT_EQ(s.Caption, "Set password");
        EXPECT_EQ(s.FirstEntry, 1);
        s.Text = c.first;
        EXPECT_FALSE(s.OkClick(core));
        EXPECT_EQ(s.Caption, "Reenter password");
        EXPECT_TRUE(s.HintVisible);
        EXPECT_EQ(s.Hint, "Please reenter the same password to validate it.");
        EXPECT_EQ(s.Text, "");
        s.Text = c.second;
        EXPECT_EQ(s.OkClick(core), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(core.FArchivePassword, c.second);
            EXPECT_TRUE(core.FUsePassword);
            EXPECT_EQ(s.FirstEntry, 1);
            EXPECT_FALSE(s.HintVisible);
            EXPECT_EQ(s.Caption, "Set password");
            EXPECT_TRUE(boxes.shown.empty());
        } else {
            EXPECT_EQ(core.FArchivePassword, "old");
            EXPECT_FALSE(core.FUsePassword);
            ASSERT_EQ(boxes.shown.size(), 1u);
            EXPECT_EQ(boxes.shown[0].text, "The password you typed is not the same as before");
            EXPECT_EQ(s.FirstEntry, 0); // still the second entry
        }
    }
}

TEST_F(DialogFixture, PasswordCancelAfterTheFirstEntryRestartsAndAskModeStoresTheText) {
    TPWordState s;
    s.FormShow(core);
    s.Text = "first";
    s.OkClick(core);
    s.CancelClick(core);
    EXPECT_EQ(s.FirstEntry, 1);
    EXPECT_FALSE(s.HintVisible);
    EXPECT_FALSE(core.FCancelled); // set mode: nothing to give up
    s.FormShow(core);
    EXPECT_EQ(s.Caption, "Set password");
    s.Text = "again";
    EXPECT_FALSE(s.OkClick(core)); // the first entry once more
    s.CancelClick(core);

    core.FAskPassword = true;
    core.FArchivePassword = "kept";
    s.FormShow(core);
    EXPECT_EQ(s.Caption, "Password needed");
    EXPECT_EQ(s.Hint, "Please enter password to extract files.");
    EXPECT_TRUE(s.HintVisible);
    EXPECT_EQ(s.FirstEntry, 0);
    s.CancelClick(core);
    EXPECT_TRUE(core.FCancelled);
    EXPECT_EQ(core.FArchivePassword, "kept");
    EXPECT_EQ(s.Caption, "Set password");
    s.FormShow(core);
    s.Text = "Typed";
    EXPECT_TRUE(s.OkClick(core));
    EXPECT_FALSE(core.FCancelled);
    EXPECT_EQ(core.FArchivePassword, "Typed");
    EXPECT_FALSE(core.FUsePassword);
}

TEST_F(DialogFixture, PasswordDialogThroughItsWidgets) {
    TPWordForm form(core);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(form.PWLabel->text(), "Password:");
    EXPECT_EQ(form.Mask->text(), "Mask password");
    EXPECT_TRUE(form.Mask->isChecked());
    EXPECT_EQ(form.PWord->echoMode(), QLineEdit::Password);
    EXPECT_EQ(form.OkBtn->text(), "&OK");
    EXPECT_EQ(form.CancelBtn->text(), "&Cancel");

    // Set mode: typed twice, Enter as OK.
    bool shotTaken = false;
    whenShown(form, [&] {
        EXPECT_EQ(form.windowTitle(), "Set password");
        QTest::keyClicks(form.PWord, "Abc123");
        form.Mask->click();
        EXPECT_EQ(form.PWord->echoMode(), QLineEdit::Normal);
        form.Mask->click();
        EXPECT_EQ(form.PWord->echoMode(), QLineEdit::Password);
        QTest::keyClick(form.PWord, Qt::Key_Return);
        EXPECT_EQ(form.windowTitle(), "Reenter password");
        EXPECT_TRUE(form.PWHint->isVisible());
        EXPECT_EQ(form.PWord->text(), "");
        QTest::keyClicks(form.PWord, "Abc123");
        shot(form, "PWordForm.png");
        shotTaken = true;
        QTest::keyClick(form.PWord, Qt::Key_Return);
    });
    core.FAskPassword = false;
    form.ShowModal();
    EXPECT_TRUE(shotTaken);
    EXPECT_EQ(core.FArchivePassword, "Abc123");
    EXPECT_TRUE(core.FUsePassword);

    // Ask mode, reused: Cancel gives up.
    core.FAskPassword = true;
    whenShown(form, [&] {
        EXPECT_EQ(form.windowTitle(), "Password needed");
        EXPECT_TRUE(form.PWHint->isVisible());
        EXPECT_EQ(form.PWord->text(), "");
        QTest::mouseClick(form.CancelBtn, Qt::LeftButton);
    });
    form.ShowModal();
    EXPECT_TRUE(core.FCancelled);
    EXPECT_EQ(core.FArchivePassword, "Abc123");
    whenShown(form, [&] {
        QTest::keyClicks(form.PWord, "zz");
        QTest::mouseClick(form.OkBtn, Qt::LeftButton);
    });
    form.ShowModal();
    EXPECT_FALSE(core.FCancelled);
    EXPECT_EQ(core.FArchivePassword, "zz");
}

// ---------------------------------------------------------------- span

TEST_F(DialogFixture, SpanShowStatesAndOkValues) {
    struct Show {
        int stored;
        TUserSpanState::TSize checked;
        bool userEnabled;
        const char* userText;
    } shows[] = {{0, TUserSpanState::sz1440, false, "500"},
                 {720, TUserSpanState::sz720, false, "500"},
                 {1410, TUserSpanState::szUser, true, "1410"},
                 {1430, TUserSpanState::sz1440, false, "500"},
                 {777, TUserSpanState::szUser, true, "777"}};
    for (const Show& c : shows) {
        SCOPED_TRACE(c.stored);
        TUserSpanState s;
        s.Cancelled = 0;
        core.FSpanSizeKB = c.stored;
        s.FormShow(core);
        EXPECT_EQ(s.Checked, c.checked);
        EXPECT_EQ(s.UserSizeEnabled, c.userEnabled);
        EXPECT_EQ(s.UserSize, c.userText);
        EXPECT_EQ(s.Cancelled, 1);
    }

    struct Ok {
        TUserSpanState::TSize choice;
        const char* text;
        int stored; // 0: refused
    } oks[] = {{TUserSpanState::sz720, "x", 720},      {TUserSpanState::sz1440, "x", 1410},
               {TUserSpanState::szUser, "2000", 2000}, {TUserSpanState::szUser, " 64 ", 64},
               {TUserSpanState::szUser, "abc", 0},     {TUserSpanState::szUser, "0", 0},
               {TUserSpanState::szUser, "-5", 0},      {TUserSpanState::szUser, "", 0},
               {TUserSpanState::szUser, "1.5", 0},     {TUserSpanState::szUser, "99999999999", 0}};
    for (const Ok& c : oks) {
        SCOPED_TRACE(c.text);
        boxes.shown.clear();
        core.FSpanSizeKB = 5;
        core.FSpanExisting = false;
        TUserSpanState s;
        s.FormShow(core);
        s.Choose(c.choice);
        s.UserSize = c.text;
        const bool closed = s.OkClick(core);
        EXPECT_EQ(closed, c.stored != 0);
        if (c.stored) {
            EXPECT_EQ(core.FSpanSizeKB, c.stored);
            EXPECT_TRUE(core.FSpanExisting);
            EXPECT_EQ(s.Cancelled, 0);
        } else {
            EXPECT_EQ(core.FSpanSizeKB, 5);
            EXPECT_EQ(s.Cancelled, 1);
            ASSERT_EQ(boxes.shown.size(), 1u);
            EXPECT_EQ(boxes.shown[0].caption, "Error");
            EXPECT_EQ(boxes.shown[0].text, "Not an integer value, try again");
        }
    }
}

TEST_F(DialogFixture, SpanDialogThroughItsWidgets) {
    TUserSpanForm form(core);
    EXPECT_EQ(form.windowTitle(), "Spanning options");
    EXPECT_EQ(form.gbSize->title(), "File size:");
    EXPECT_EQ(form.rb720Kb->text(), "720 Kb (DD-Disk)");
    EXPECT_EQ(form.rb1440Kb->text(), "1430 Kb (HD-Disk)");
    EXPECT_EQ(form.rbUserSize->text(), "User defined size");
    EXPECT_EQ(form.lbKb->text(), "Kb");
    core.FSpanSizeKB = 0;
    whenShown(form, [&] {
        EXPECT_TRUE(form.rb1440Kb->isChecked());
        EXPECT_FALSE(form.oeUserSize->isEnabled());
        form.rbUserSize->click();
        EXPECT_TRUE(form.oeUserSize->isEnabled());
        form.oeUserSize->clear();
        QTest::keyClicks(form.oeUserSize, "abc");
        QTest::mouseClick(form.OkBtn, Qt::LeftButton);
        EXPECT_TRUE(form.isVisible()); // refused, still open
        form.oeUserSize->clear();
        QTest::keyClicks(form.oeUserSize, "1200");
        shot(form, "UserSpanForm.png");
        QTest::mouseClick(form.OkBtn, Qt::LeftButton);
    });
    form.ShowModal(0);
    EXPECT_EQ(form.State().Cancelled, 0);
    EXPECT_EQ(core.FSpanSizeKB, 1200);
    EXPECT_TRUE(core.FSpanExisting);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Not an integer value, try again");

    // Reused: shows what was stored; the frame's close counts as cancel.
    whenShown(form, [&] {
        EXPECT_TRUE(form.rbUserSize->isChecked());
        EXPECT_EQ(form.oeUserSize->text(), "1200");
        form.rb720Kb->click();
        EXPECT_FALSE(form.oeUserSize->isEnabled());
        form.close();
    });
    form.ShowModal(0);
    EXPECT_EQ(form.State().Cancelled, 1);
    EXPECT_EQ(core.FSpanSizeKB, 1200);
}

// ---------------------------------------------------------------- delete

TEST_F(DialogFixture, DeleteDialogModesAndMask) {
    struct Case {
        int button; // 0 selected, 1 all, 2 by mask, -1 cancel
        int mode;
        bool cancelled;
    } cases[] = {{0, 1, false}, {1, 2, false}, {2, 3, false}, {-1, 0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        TDelForm form(core);
        EXPECT_EQ(form.windowTitle(), "Delete files");
        EXPECT_EQ(form.gbSel->title(), "Files to delete");
        EXPECT_TRUE(form.rbSelFiles->isChecked());
        EXPECT_EQ(form.rbSelFiles->text(), "Selected files");
        EXPECT_EQ(form.rbAllFiles->text(), "All files");
        EXPECT_EQ(form.rbByExt->text(), "Files:");
        EXPECT_EQ(form.oeByExt->text(), "*.*");
        EXPECT_EQ(form.btnDelete->text(), "&Delete");
        EXPECT_EQ(form.btnCancel->text(), "&Cancel");
        core.FDeleteMode = 0;
        core.FCancelled = !c.cancelled;
        whenShown(form, [&] {
            if (c.button == 1) form.rbAllFiles->click();
            if (c.button == 2) {
                form.oeByExt->selectAll();
                QTest::keyClicks(form.oeByExt, "*.txt");
                EXPECT_TRUE(form.rbByExt->isChecked());
            }
            if (c.button == 2) shot(form, "DelForm.png");
            QTest::mouseClick(c.button < 0 ? form.btnCancel : form.btnDelete, Qt::LeftButton);
        });
        form.exec();
        EXPECT_EQ(core.FCancelled, c.cancelled);
        if (!c.cancelled) {
            EXPECT_EQ(core.FDeleteMode, c.mode);
        }
        if (c.button == 2) {
            EXPECT_EQ(form.oeByExt->text(), "*.txt");
        }
    }
}

// ---------------------------------------------------------------- self-extractor

TEST_F(DialogFixture, SelfExtractorDialogOkAndCancel) {
    for (bool ok : {true, false}) {
        SCOPED_TRACE(ok);
        TExeOpt form(core);
        EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
        EXPECT_EQ(form.windowTitle(), "EXE-Options");
        EXPECT_EQ(form.DefDirLabel->text(), "Destination Dir:");
        EXPECT_EQ(form.DefDirEdit->text(), "~/Temp");
        EXPECT_EQ(form.CmdLabel->text(), "Commandline");
        EXPECT_EQ(form.AppTitel->text(), "Application title:");
        EXPECT_EQ(form.AppCaption->text(), "Parvex SFX");
        EXPECT_EQ(form.OverwrModeBox->title(), "Overwritemode");
        const auto rows = form.OverwrModeBox->findChildren<QRadioButton*>();
        ASSERT_EQ(rows.size(), 3);
        EXPECT_EQ(rows[0]->text(), "Confirm");
        EXPECT_EQ(rows[1]->text(), "Overwrite");
        EXPECT_EQ(rows[2]->text(), "Don\"t overwrite");
        EXPECT_EQ(form.OverwrMode(), 0);
        EXPECT_EQ(form.GroupBox1->title(), "Options");
        EXPECT_EQ(form.AskCmdLn->text(), "Ask for comnmandline");
        EXPECT_FALSE(form.AskCmdLn->isChecked());
        EXPECT_EQ(form.AskFile->text(), "Ask for files");
        EXPECT_TRUE(form.AskFile->isChecked());
        EXPECT_EQ(form.HideBox->text(), "Hide Overwritebox");
        EXPECT_EQ(form.OKBtn->text(), "&OK");
        EXPECT_EQ(form.CancelBtn->text(), "&Cancel");
        core.FSfxAccepted = !ok;
        whenShown(form, [&] {
            EXPECT_EQ(form.focusWidget(), form.OKBtn);
            rows[2]->click();
            form.HideBox->click();
            form.CmdEdit->setText("readme.txt");
            if (ok) shot(form, "ExeOpt.png");
            QTest::mouseClick(ok ? form.OKBtn : form.CancelBtn, Qt::LeftButton);
        });
        form.exec();
        EXPECT_EQ(core.FSfxAccepted, ok);
        EXPECT_EQ(form.OverwrMode(), 2);
        EXPECT_TRUE(form.HideBox->isChecked());
        EXPECT_EQ(form.CmdEdit->text(), "readme.txt");
    }
}
