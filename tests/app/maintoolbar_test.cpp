// The main window's docking toolbar: docked at the top on the first start, its dock or
// floating position written at shut-down and restored at the next start, bad placements,
// the close box and "Show &Toolbar", the popup's switches, hot images, and screenshots.
#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QScreen>
#include <QTest>

#include "app/window/MainUnit.h"
#include "apptest.h"
#include "controls/TBPvCtls.h"
#include "controls/TBPvTlbr.h"

using namespace apptest;
namespace fs = std::filesystem;

namespace {

std::unique_ptr<TMainForm> startForm(const IsolatedHome& home) {
    fs::create_directories(home.dir / "bin");
    auto form = std::make_unique<TMainForm>(std::make_unique<FakeZip>(), std::make_unique<FakeLister>(),
                                            (home.dir / "bin" / "parvex").string());
    form->show();
    form->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    return form;
}

QAction* popupItem(TMainForm& f, const QString& text) {
    for (QAction* a : f.ToolbarPopup()->actions())
        if (a->text() == text) return a;
    return nullptr;
}

} // namespace

TEST(MainToolbar, FirstStartDockedTopAndEachPlacementRoundTrips) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    {
        auto f = startForm(home);
        TToolbarPv* bar = f->Toolbar();
        EXPECT_EQ(bar->DockedTo(), f->Dock(dpTop));
        EXPECT_TRUE(bar->isVisible());
        EXPECT_TRUE(f->ShowToolbarAction()->isChecked());
        ASSERT_EQ(f->ToolbarButtons().size(), 8u);
        EXPECT_FALSE(IsVisibleProp(f->tbSetup)); // until an archive holds an installer
        EXPECT_EQ(f->tbSep2->SizeHorz(), f->SetupSeparatorWidth);
        EXPECT_TRUE(f->tbOpen->DropdownCombo());
        EXPECT_EQ(f->tbOpen->DropdownMenu(), f->OpenHistoryMenu());
        EXPECT_EQ(f->tbExt->DropdownMenu(), f->ExtHistoryMenu());
        EXPECT_EQ(f->tbNew->Caption(), "New");
        EXPECT_GT(f->Dock(dpTop)->height(), 40);
    }
    EXPECT_EQ(TIniFile(home.settingsFile()).ReadString("Toolbar", "Docked", "?"), "pvDockTop");

    struct Case {
        const char* item;
        TDockPosition dock;
        const char* name;
    };
    const Case cases[] = {{"Align Left", dpLeft, "pvDockLeft"},
                          {"Align Bottom", dpBottom, "pvDockBottom"},
                          {"Align Right", dpRight, "pvDockRight"},
                          {"Align Top", dpTop, "pvDockTop"}};
    for (const Case& c : cases) {
        {
            auto f = startForm(home);
            popupItem(*f, c.item)->trigger();
            EXPECT_EQ(f->Toolbar()->DockedTo(), f->Dock(c.dock)) << c.item;
            EXPECT_TRUE(popupItem(*f, c.item)->isChecked());
        }
        EXPECT_EQ(TIniFile(home.settingsFile()).ReadString("Toolbar", "Docked", "?"), c.name);
        auto f = startForm(home);
        EXPECT_EQ(f->Toolbar()->DockedTo(), f->Dock(c.dock)) << c.name;
        EXPECT_TRUE(f->Toolbar()->isVisible());
    }

    // Floating: the position is kept.
    {
        auto f = startForm(home);
        f->Toolbar()->SetFloatingPosition(QPoint(150, 160));
        f->Toolbar()->SetDockedTo(nullptr);
    }
    TIniFile ini(home.settingsFile());
    EXPECT_EQ(ini.ReadString("Toolbar", "Docked", "?"), "");
    EXPECT_EQ(ini.ReadString("Toolbar", "Left", ""), "150");
    EXPECT_EQ(ini.ReadString("Toolbar", "Top", ""), "160");
    auto f = startForm(home);
    EXPECT_FALSE(f->Toolbar()->Docked());
    ASSERT_NE(f->Toolbar()->FloatingParent(), nullptr);
    EXPECT_TRUE(f->Toolbar()->FloatingParent()->isVisible());
    EXPECT_EQ(f->Toolbar()->FloatingParent()->pos(), QPoint(150, 160));
}

// The mouse on the real window, as the window system delivers it: the docks sit in the
// panel around the list, not on the form itself.
struct MouseOnBar {
    TToolbarPv* bar;
    QWindow* win() const { return bar->window()->windowHandle(); }
    QPoint in(QPoint global) const { return win()->mapFromGlobal(global); }
    // The grip: the left end of a horizontal bar, the top end of a vertical one.
    QPoint grip() const {
        const bool vert = bar->DockedTo() && bar->DockedTo()->Orientation() == doVert;
        return vert ? QPoint(bar->width() / 2, 3) : QPoint(3, bar->height() / 2);
    }
    void press(QPoint local) {
        QTest::mousePress(win(), Qt::LeftButton, {}, bar->mapTo(bar->window(), local));
    }
    void drag(QPoint local, QPoint global) {
        press(local);
        const QPoint start = bar->mapToGlobal(local);
        QTest::mouseMove(win(), in((start + global) / 2));
        QTest::mouseMove(win(), in(global));
        QTest::mouseRelease(win(), Qt::LeftButton, {}, in(global));
    }
    void click(QPoint local) {
        press(local);
        QTest::mouseRelease(win(), Qt::LeftButton, {}, bar->mapTo(bar->window(), local));
    }
};

TEST(MainToolbar, DraggedOnTheWindowItDocksWhereItIsDropped) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    {
        auto f = startForm(home);
        f->resize(700, 500);
        QApplication::processEvents();
        MouseOnBar m{f->Toolbar()};
        // A point over each dock, on its outer edge: an empty dock has no thickness.
        auto over = [&](TDockPosition p) {
            TDockPv* d = f->Dock(p);
            switch (p) {
            case dpTop:
                return d->mapToGlobal(QPoint(d->width() / 2, 0));
            case dpBottom:
                return d->mapToGlobal(QPoint(d->width() / 2, std::max(0, d->height() - 1)));
            case dpLeft:
                return d->mapToGlobal(QPoint(0, d->height() / 2));
            default:
                return d->mapToGlobal(QPoint(std::max(0, d->width() - 1), d->height() / 2));
            }
        };
        for (TDockPosition p : {dpLeft, dpBottom, dpRight, dpTop, dpRight, dpLeft, dpBottom}) {
            const TDockPosition from = TDockPosition(m.bar->DockedTo()->Position());
            m.drag(m.grip(), over(p));
            ASSERT_NE(m.bar->DockedTo(), nullptr) << from << " -> " << p;
            EXPECT_EQ(m.bar->DockedTo(), f->Dock(p)) << from << " -> " << p;
            EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
        }

        // Within its dock: it stays there, further along (as far as the dock has room).
        TDockPv* bottom = f->Dock(dpBottom);
        const int pos = m.bar->DockPos();
        m.drag(m.grip(), m.bar->mapToGlobal(m.grip()) + QPoint(40, 0));
        EXPECT_EQ(m.bar->DockedTo(), bottom);
        EXPECT_GT(m.bar->DockPos(), pos);
        EXPECT_LE(m.bar->DockPos(), pos + 40);
        EXPECT_TRUE(bottom->rect().contains(m.bar->geometry()));

        // A plain click on the grip, or in the gap a separator leaves, changes nothing.
        for (QPoint at : {m.grip(), f->tbSep1->geometry().center()}) {
            const QRect before = m.bar->geometry();
            m.click(at);
            EXPECT_EQ(m.bar->DockedTo(), bottom);
            EXPECT_EQ(m.bar->geometry(), before);
            EXPECT_EQ(m.bar->Loop(), TCustomToolWindowPv::lpNone);
        }
        m.drag(m.grip(), over(dpLeft));
        EXPECT_EQ(m.bar->DockedTo(), f->Dock(dpLeft));
        m.click(m.grip());
        EXPECT_EQ(m.bar->DockedTo(), f->Dock(dpLeft));
    }
    EXPECT_EQ(TIniFile(home.settingsFile()).ReadString("Toolbar", "Docked", "?"), "pvDockLeft");
    auto f = startForm(home);
    EXPECT_EQ(f->Toolbar()->DockedTo(), f->Dock(dpLeft));
}

TEST(MainToolbar, BadPlacementSettings) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    fs::create_directories(fs::path(home.settingsFile()).parent_path());
    {
        TIniFile ini(home.settingsFile());
        ini.WriteString("Toolbar", "Docked", "pvDockSomewhere");
    }
    {
        auto f = startForm(home);
        EXPECT_EQ(f->Toolbar()->DockedTo(), f->Dock(dpTop));
    }
    {
        TIniFile ini(home.settingsFile());
        ini.WriteString("Toolbar", "Docked", "");
        ini.WriteString("Toolbar", "Left", "90000");
        ini.WriteString("Toolbar", "Top", "-90000");
    }
    {
        auto f = startForm(home);
        const QRect r = f->Toolbar()->BoundsRect();
        const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_EQ(r.right(), work.right());
        EXPECT_EQ(r.top(), work.top());
    }
    {
        TIniFile ini(home.settingsFile());
        ini.WriteString("Toolbar", "Docked", "");
        ini.WriteString("Toolbar", "Left", "abc");
        ini.WriteString("Toolbar", "Top", "12");
    }
    auto f = startForm(home);
    EXPECT_EQ(f->Toolbar()->BoundsRect().topLeft(), QPoint(0, 12));
}

TEST(MainToolbar, CloseBoxPopupSwitchesAndHotImages) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    auto f = startForm(home);
    TToolbarPv* bar = f->Toolbar();
    bar->SetFloatingPosition(QPoint(200, 250));
    bar->SetDockedTo(nullptr);
    TFloatingWindowParent* fp = bar->FloatingParent();
    ASSERT_TRUE(fp->isVisible());
    const QRect box = bar->CloseBoxRect();
    QTest::mouseClick(fp->windowHandle(), Qt::LeftButton, {}, box.center());
    EXPECT_FALSE(bar->Visible());
    EXPECT_FALSE(f->ShowToolbarAction()->isChecked());
    EXPECT_FALSE(f->FToolbarShown);
    // Chosen again: where it was.
    f->ShowToolbarAction()->trigger();
    EXPECT_TRUE(bar->Visible());
    EXPECT_TRUE(bar->FloatingParent()->isVisible());
    EXPECT_EQ(bar->FloatingParent()->pos(), QPoint(200, 250));
    EXPECT_TRUE(f->FToolbarShown);
    // The popup's "Show Toolbar" toggles it too.
    popupItem(*f, "Show Toolbar")->trigger();
    EXPECT_FALSE(bar->Visible());
    popupItem(*f, "Show Toolbar")->trigger();
    EXPECT_TRUE(bar->Visible());

    // Text off: glyphs only, smaller buttons, a shorter bar; flat off; tooltips off.
    const int wide = bar->width();
    popupItem(*f, "Show Text")->trigger();
    for (TToolbarButtonPv* b : f->ToolbarButtons()) EXPECT_EQ(b->DisplayMode(), dmGlyphOnly);
    EXPECT_LT(bar->width(), wide);
    popupItem(*f, "Show Text")->trigger();
    EXPECT_EQ(f->tbNew->DisplayMode(), dmBoth);
    popupItem(*f, "Flat buttons")->trigger();
    EXPECT_FALSE(f->tbNew->Flat());
    popupItem(*f, "Show tooltips")->trigger();
    EXPECT_FALSE(f->tbNew->ShowHint);

    // The button under the mouse shows the hot images.
    EXPECT_EQ(f->tbAbout->Images(), f->ilNormal);
    QTest::mouseMove(fp->windowHandle(), f->tbAbout->mapTo(fp, QPoint(10, 10)));
    EXPECT_EQ(f->tbAbout->Images(), f->ilHot);
    QTest::mouseMove(fp->windowHandle(), f->tbNew->mapTo(fp, QPoint(10, 10)));
    EXPECT_EQ(f->tbAbout->Images(), f->ilNormal);
    EXPECT_EQ(f->tbNew->Images(), f->ilHot);
}

TEST(MainToolbar, Screenshots) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    auto f = startForm(home);
    f->resize(640, 400);
    popupItem(*f, "Align Left")->trigger();
    QApplication::processEvents();
    EXPECT_GT(f->Dock(dpLeft)->width(), 40);
    auto out = fs::path(PV_BUILD_DIR) / "toolbar_docked_left.png";
    ASSERT_TRUE(f->grab().save(QString::fromStdString(out.string())));
    f->Toolbar()->SetFloatingPosition(QPoint(150, 200));
    f->Toolbar()->SetDockedTo(nullptr);
    QApplication::processEvents();
    out = fs::path(PV_BUILD_DIR) / "toolbar_floating.png";
    ASSERT_TRUE(f->Toolbar()->FloatingParent()->grab().save(QString::fromStdString(out.string())));
    EXPECT_GT(fs::file_size(out), 500u);
}

// A popup menu takes the mouse away from the toolbar without a leave: the button that was
// hot goes back to its normal image. The popup's Align items show where the bar is now,
// however it got there.
TEST(MainToolbar, HotImageEndsWithAPopupAndAlignFollowsTheDock) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    auto f = startForm(home);
    QWidget* win = f->window();
    QTest::mouseMove(win->windowHandle(), f->tbAbout->mapTo(win, QPoint(10, 10)));
    ASSERT_EQ(f->tbAbout->Images(), f->ilHot);
    // The popup opens with the cursor still on the button: under a popup nothing is hot.
    QCursor::setPos(f->tbAbout->mapToGlobal(QPoint(10, 10)));
    f->ToolbarPopup()->popup(win->mapToGlobal(QPoint(20, 60)));
    QTest::qWait(300); // the hot tracking looks every 125 ms
    EXPECT_EQ(f->tbAbout->Images(), f->ilNormal);
    f->ToolbarPopup()->close();
    QCursor::setPos(win->mapToGlobal(QPoint(win->width() / 2, win->height() - 10)));
    QTest::qWait(300);
    EXPECT_EQ(f->tbAbout->Images(), f->ilNormal);

    // Docked elsewhere without the popup (as a drag does): the checks follow on showing.
    f->Toolbar()->SetDockedTo(f->Dock(dpRight));
    f->ToolbarPopup()->popup(win->mapToGlobal(QPoint(20, 60)));
    EXPECT_TRUE(popupItem(*f, "Align Right")->isChecked());
    for (const char* other : {"Align Top", "Align Left", "Align Bottom"})
        EXPECT_FALSE(popupItem(*f, other)->isChecked()) << other;
    f->ToolbarPopup()->close();
}
