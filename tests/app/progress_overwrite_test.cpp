// The progress window and the overwrite question as real windows: the question answered by
// each of its buttons inside its modal run, closed without an answer, asked through the main
// window's zip road; the progress window's look, its texts and its Cancel; screenshots.
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/window/MainUnit.h"
#include "app/dialogs/OverwriteUnit.h"
#include "app/dialogs/StatUnit.h"
#include "apptest.h"
#include "controls/ExtProgressBar.h"
#include "controls/Win2KButton.h"

using namespace apptest;
namespace fs = std::filesystem;

namespace {

// Runs `act` on the overwrite dialog once it is up in its modal run.
void whenAsked(std::function<void(TOverwriteForm*)> act) {
    QTimer::singleShot(0, [act] {
        auto* dlg = qobject_cast<TOverwriteForm*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        act(dlg);
    });
}

} // namespace

TEST(OverwriteQuestion, EachButtonAndClosing) {
    IsolatedHome home;
    struct Case {
        const char* button;
        TOverwriteAnswer answer;
        bool cancelled;
    };
    const Case cases[] = {{"&Yes", oaYes, false},
                          {"Y&es to all", oaYesToAll, false},
                          {"&No", oaNo, false},
                          {"N&o to all", oaNoToAll, false},
                          {"&Cancel", oaCancel, true}};
    TOverwriteState state;
    bool cancelled = false;
    TOverwriteForm dlg(state, cancelled);
    EXPECT_EQ(dlg.windowTitle(), "Confirm file overwrite");
    EXPECT_EQ(state.Answer, oaNo);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        // Start from the opposite, so each field is seen to change.
        state.Answer = c.answer == oaNo ? oaYes : oaNo;
        cancelled = !c.cancelled;
        whenAsked([&](TOverwriteForm* d) {
            for (TWin2KButton* b : {d->btnYes, d->btnYestoall, d->btnNo, d->btnNotoall, d->btnCancel})
                if (b->text() == c.button) b->click();
        });
        EXPECT_EQ(dlg.Ask(), c.answer);
        EXPECT_EQ(state.Answer, c.answer);
        EXPECT_EQ(cancelled, c.cancelled);
        EXPECT_FALSE(dlg.isVisible());
    }
    // Closed by its frame (or Escape): the answer and FCancelled stay as they were.
    for (bool wasCancelled : {false, true})
        for (TOverwriteAnswer before : {oaNo, oaYesToAll, oaCancel}) {
            state.Answer = before;
            cancelled = wasCancelled;
            whenAsked([](TOverwriteForm* d) { d->close(); });
            EXPECT_EQ(dlg.Ask(), before);
            EXPECT_EQ(cancelled, wasCancelled);
            whenAsked([](TOverwriteForm* d) { d->reject(); });
            EXPECT_EQ(dlg.Ask(), before);
            EXPECT_EQ(cancelled, wasCancelled);
        }
}

TEST(OverwriteQuestion, NamesShownAsTypedAndTheWindowKeepsItsSize) {
    IsolatedHome home;
    TOverwriteState state;
    bool cancelled = false;
    TOverwriteForm dlg(state, cancelled);
    const QSize size = dlg.size();
    state.ReplaceFileText = "/home/u/<b>x</b>\n\r01.02.2026 10:11:12";
    state.ReplaceWithFileText = std::string(4000, 'n') + "\n\r01.02.2026 10:11";
    QString shownFile, shownWith;
    QSize shownSize;
    whenAsked([&](TOverwriteForm* d) {
        shownFile = d->lReplaceFile->text();
        shownWith = d->lReplaceWithFile->text();
        EXPECT_EQ(d->lReplaceFile->textFormat(), Qt::PlainText);
        EXPECT_EQ(d->lReplaceWithFile->textFormat(), Qt::PlainText);
        EXPECT_EQ(d->lRelpace->text(), "Replace file:");
        EXPECT_EQ(d->lReplaceWith->text(), "with file:");
        EXPECT_FALSE(d->imgQuestion->pixmap().isNull());
        shownSize = d->size();
        const auto out = fs::path(PV_BUILD_DIR) / "overwrite_question.png";
        state.ReplaceWithFileText = "archive/docs/readme.txt\n\r01.02.2026 10:11";
        d->lReplaceWithFile->setText("archive/docs/readme.txt\n01.02.2026 10:11");
        EXPECT_TRUE(d->grab().save(QString::fromStdString(out.string())));
        d->btnNo->click();
    });
    dlg.Ask();
    EXPECT_EQ(shownFile, "/home/u/<b>x</b>\n01.02.2026 10:11:12");
    EXPECT_EQ(shownWith, QString(4000, 'n') + "\n01.02.2026 10:11");
    EXPECT_EQ(shownSize, size);
    EXPECT_EQ(dlg.size(), size);
}

// The main window asks with its dialog; after "yes to all" or "no to all" its zip road asks
// no more in that run, and a new run asks again.
TEST(OverwriteQuestion, ZipRoadOfTheWindowAsksOncePerRunAfterToAll) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    fs::create_directories(home.dir / "bin");
    TMainForm form(std::make_unique<FakeZip>(), std::make_unique<FakeLister>(),
                   (home.dir / "bin" / "parvex").string());
    form.show();
    ASSERT_NE(form.OverwriteWindow(), nullptr);
    for (auto [button, overwrite] : {std::pair{"Y&es to all", true}, std::pair{"N&o to all", false}}) {
        SCOPED_TRACE(button);
        form.OverwriteForm.Answer = oaNo; // as each run starts
        int shown = 0;
        whenAsked([&, button = QString(button)](TOverwriteForm* d) {
            ++shown;
            for (TWin2KButton* b : {d->btnYestoall, d->btnNotoall})
                if (b->text() == button) b->click();
        });
        for (int i = 0; i < 3; ++i) {
            bool doOverwrite = !overwrite;
            form.pvZipFrontExtractOverwrite("file" + std::to_string(i) + ".txt", false, doOverwrite);
            EXPECT_EQ(doOverwrite, overwrite) << i;
        }
        EXPECT_EQ(shown, 1);
        EXPECT_FALSE(form.FCancelled);
    }
    // Cancel: FCancelled set; no message box was ever shown.
    form.OverwriteForm.Answer = oaNo;
    whenAsked([](TOverwriteForm* d) { d->btnCancel->click(); });
    bool doOverwrite = true;
    form.pvZipFrontExtractOverwrite("x.txt", false, doOverwrite);
    EXPECT_FALSE(doOverwrite);
    EXPECT_TRUE(form.FCancelled);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(ProgressWindow, LookTextsAndCancel) {
    IsolatedHome home;
    QWidget main;
    main.setGeometry(100, 80, 600, 400);
    main.show();
    TStatForm stat(&main);
    EXPECT_EQ(stat.windowTitle(), "Status...");
    EXPECT_EQ(stat.lHeader->text(), "Extracting...");
    EXPECT_EQ(stat.lCurrent->text(), "Current file :");
    EXPECT_EQ(stat.lEntireProgress->text(), "Entire progress :");
    EXPECT_EQ(stat.CancelBtn->text(), "&Cancel");
    EXPECT_TRUE(stat.CancelBtn->font().bold());
    EXPECT_EQ(stat.lHeader->font().family(), "Tahoma");
    EXPECT_EQ(stat.lHeader->font().pixelSize(), 13);
    EXPECT_TRUE(stat.lHeader->font().bold());
    EXPECT_EQ(stat.pHeader->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_FALSE(stat.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(stat.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(stat.isModal());
    EXPECT_EQ(stat.DRGauge1->maximum(), 100);
    EXPECT_EQ(stat.DRGauge2->minimum(), 0);

    const QSize size = stat.size();
    TStatState s;
    s.Visible = true;
    s.Caption = "Status... (File 2 of 3)";
    s.Header = "Adding...";
    s.Current = "<b>x</b>" + std::string(4000, 'y');
    s.Gauge1 = 40;
    s.Gauge2 = 75;
    stat.Sync(s);
    QApplication::processEvents();
    EXPECT_TRUE(stat.isVisible());
    EXPECT_FALSE(stat.btnMinimize->isVisible());
    EXPECT_EQ(stat.windowTitle(), "Status... (File 2 of 3)");
    EXPECT_EQ(stat.lCurrent->textFormat(), Qt::PlainText);
    EXPECT_EQ(stat.lCurrent->text().left(8), "<b>x</b>");
    EXPECT_EQ(stat.size(), size);
    EXPECT_EQ(stat.geometry().center(), main.geometry().center());
    EXPECT_EQ(stat.DRGauge1->value(), 40);
    EXPECT_EQ(stat.DRGauge2->value(), 75);
    // Escape does not close it; Cancel is handed to the owner.
    static_cast<QDialog&>(stat).reject();
    EXPECT_TRUE(stat.isVisible());
    int cancels = 0;
    stat.OnCancel = [&] { ++cancels; };
    stat.CancelBtn->click();
    EXPECT_EQ(cancels, 1);

    s.Current = "docs/readme.txt";
    stat.Sync(s);
    QApplication::processEvents();
    const auto out = fs::path(PV_BUILD_DIR) / "progress_window.png";
    EXPECT_TRUE(stat.grab().save(QString::fromStdString(out.string())));
    s.Visible = false;
    stat.Sync(s);
    EXPECT_FALSE(stat.isVisible());
}
