// Tool windows and tool bars: the frame numbers and hit codes as tables, the change of parent
// with its events, and the loops driven through the window system's mouse and keys: drags that
// dock, float, switch with Ctrl, cancel with Esc or refuse to float; the close box; resizing
// with snapping; the tool bar's layout as tables.
#include <QTest>
#include <climits>
#include <gtest/gtest.h>

#include "controls/TBPvTlbr.h"
#include "controltest.h"

using namespace ctltest;

namespace {

// A form with four docks and a bar of `buttons` 23 x 22 controls on the top dock.
struct BarForm {
    bool ready = (app(), true);
    QWidget form;
    TDockPv* top;
    TDockPv* bottom;
    TDockPv* left;
    TDockPv* right;
    TToolbarPv* bar;
    std::vector<QWidget*> buttons;
    explicit BarForm(int count = 3, QPoint at = QPoint(100, 100)) {
        form.setGeometry(QRect(at, QSize(600, 400)));
        top = new TDockPv(&form, dpTop);
        bottom = new TDockPv(&form, dpBottom);
        left = new TDockPv(&form, dpLeft);
        right = new TDockPv(&form, dpRight);
        bar = new TToolbarPv(&form);
        bar->setObjectName("bar");
        for (int i = 0; i < count; ++i) {
            auto* b = new QWidget(bar);
            b->resize(23, 22);
            buttons.push_back(b);
        }
        bar->SetDockedTo(top);
        form.show();
        form.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    }
    // Mouse actions as the window system delivers them, at global points.
    QWindow* win() { return bar->window()->windowHandle(); }
    QPoint in(QPoint global) { return win()->mapFromGlobal(global); }
    void press(QPoint local) {
        QTest::mousePress(win(), Qt::LeftButton, {}, bar->mapTo(bar->window(), local));
    }
    void move(QPoint global) { QTest::mouseMove(win(), in(global)); }
    void release(QPoint global) { QTest::mouseRelease(win(), Qt::LeftButton, {}, in(global)); }
    QPoint leftDockPoint() { return left->mapToGlobal(QPoint(0, 200)); }
    QPoint middle() { return form.mapToGlobal(QPoint(300, 250)); }
};

int capH() {
    return ToolCaptionHeight();
}

} // namespace

TEST(ToolWindowFrame, NonClientSizes) {
    struct Case {
        TDockOrientation o;
        bool drag;
        TDragHandleStyle style;
        bool close;
        QMargins want;
    };
    const Case cases[] = {
        {doHorz, true, dhDouble, false, QMargins(11, 2, 2, 2)},
        {doHorz, true, dhSingle, false, QMargins(8, 2, 2, 2)},
        {doHorz, true, dhNone, false, QMargins(2, 2, 2, 2)},
        {doHorz, true, dhNone, true, QMargins(16, 2, 2, 2)},
        {doVert, true, dhDouble, false, QMargins(2, 11, 2, 2)},
        {doVert, true, dhSingle, true, QMargins(2, 16, 2, 2)},
        {doVert, false, dhDouble, true, QMargins(2, 2, 2, 2)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DockedNonClient(c.o, c.drag, c.style, c.close), c.want) << c.o << c.style << c.close;
    EXPECT_EQ(FloatingNonClient(true, true, 14), QMargins(4, 18, 4, 4));
    EXPECT_EQ(FloatingNonClient(false, true, 14), QMargins(3, 17, 3, 3));
    EXPECT_EQ(FloatingNonClient(false, false, 14), QMargins(3, 3, 3, 3));
    EXPECT_EQ(DockedCloseRect(doHorz, 100), QRect(3, 2, 11, 11));
    EXPECT_EQ(DockedCloseRect(doVert, 100), QRect(91, 3, 11, 11));
}

TEST(ToolWindowFrame, HitTesting) {
    TFloatingFrame f;
    f.Window = QSize(100, 60);
    f.CaptionHeight = 14;
    // Frame 4; caption (4, 4, 92 - 13, 13); close box 13 wide at its right end.
    EXPECT_EQ(FloatingCaptionRect(f), QRect(4, 4, 79, 13));
    EXPECT_EQ(FloatingCloseRect(f), QRect(83, 4, 13, 13));
    struct Case {
        QPoint p;
        bool corners;
        int want;
    };
    const Case cases[] = {
        {{50, 40}, true, HTCLIENT},  {{10, 8}, true, HTCLIENT},       {{88, 8}, true, HTCLOSE},
        {{1, 30}, true, HTLEFT},     {{98, 30}, true, HTRIGHT},       {{96, 30}, true, HTRIGHT},
        {{50, 1}, true, HTTOP},      {{50, 58}, true, HTBOTTOM},      {{1, 1}, true, HTTOPLEFT},
        {{1, 15}, true, HTTOPLEFT},  {{98, 58}, true, HTBOTTOMRIGHT}, {{1, 58}, true, HTBOTTOMLEFT},
        {{98, 1}, true, HTTOPRIGHT}, {{1, 1}, false, HTTOP},          {{1, 58}, false, HTBOTTOM},
        {{1, 30}, false, HTLEFT},    {{98, 58}, false, HTBOTTOM},     {{200, 10}, false, HTNOWHERE},
    };
    for (const Case& c : cases) {
        f.ResizeFromCorners = c.corners;
        EXPECT_EQ(FloatingHitTest(f, c.p), c.want) << c.p.x() << "," << c.p.y() << " corners " << c.corners;
    }
    // A fixed frame has no sizing bands.
    f.Sizable = false;
    EXPECT_EQ(FloatingHitTest(f, QPoint(1, 30)), HTNOWHERE);
    f.CloseButton = false;
    EXPECT_EQ(FloatingCloseRect(f), QRect());
    EXPECT_EQ(FloatingHitTest(f, QPoint(90, 8)), HTCLIENT);
}

TEST(ToolWindowFrame, CaptionEllipsisAndPullBack) {
    auto measure = [](const QString& s) { return int(s.size()) * 6; };
    EXPECT_EQ(EllipsizedCaption("Toolbar", 42, measure), "Toolbar");
    EXPECT_EQ(EllipsizedCaption("Toolbar", 41, measure), "Too...");
    // Never below 4 characters, however narrow.
    EXPECT_EQ(EllipsizedCaption("Toolbar", 1, measure), "T...");
    EXPECT_EQ(EllipsizedCaption("", 0, measure), "");

    const QRect work(0, 0, 1024, 768);
    struct Case {
        QRect r;
        bool always;
        QRect want;
    };
    const Case cases[] = {
        {{2000, 100, 100, 50}, false, {924, 100, 100, 50}},
        {{-500, -300, 100, 50}, false, {0, 0, 100, 50}},
        {{1000, 700, 100, 100}, false, {1000, 700, 100, 100}}, // partly on: stays
        {{1000, 700, 100, 100}, true, {924, 668, 100, 100}},
        {{-10, 10, 2000, 50}, true, {0, 10, 2000, 50}}, // wider than the area: the left wins
    };
    for (const Case& c : cases) EXPECT_EQ(PulledBackRect(c.r, work, c.always), c.want) << c.r.x();
    // A drag frame beyond the area comes back to the shrunk area; its top stays near the top.
    EXPECT_EQ(ClampFloatingDragRect(QRect(-300, 100, 100, 40), work, 4, 18).right(), 8);
    EXPECT_EQ(ClampFloatingDragRect(QRect(1100, 100, 100, 40), work, 4, 18).left(), 1015);
    EXPECT_EQ(ClampFloatingDragRect(QRect(100, -30, 100, 40), work, 4, 18).top(), -14);
    EXPECT_EQ(ClampFloatingDragRect(QRect(100, 900, 100, 40), work, 4, 18).top(), 759);
}

TEST(ToolWindowFrame, DockUnderTheCursor) {
    // The bar keeps the grab point scaled: grabbed at its middle, a bar twice as long is
    // centred on the cursor too.
    EXPECT_EQ(ScaledDragRect({100, 100}, {50, 10}, {101, 21}, {201, 21}), QRect(0, 90, 201, 21));
    EXPECT_EQ(ScaledDragRect({100, 100}, {0, 0}, {1, 1}, {50, 20}), QRect(100, 100, 50, 20));
    const QRect top(0, 0, 600, 30);
    const QSize s(82, 26);
    auto over = [&](QPoint c, QRect dock, bool vert) {
        return CursorOverDock(c, dock, vert, {5, 10}, s, ScaledDragRect(c, {5, 10}, s, s));
    };
    EXPECT_TRUE(over({300, 15}, top, false));
    EXPECT_TRUE(over({300, 35}, top, false)); // gy = 8 below the dock still counts
    EXPECT_FALSE(over({300, 40}, top, false));
    EXPECT_FALSE(over({300, -15}, top, false));
    // An empty dock is widened across its thickness.
    EXPECT_TRUE(over({0, 200}, QRect(0, 30, 0, 370), true));
    EXPECT_FALSE(over({40, 200}, QRect(0, 30, 0, 370), true));
    EXPECT_FALSE(over({0, 20}, QRect(0, 30, 0, 370), true)); // above a vertical dock
}

TEST(ToolWindow, ParentChangesAndTheirEvents) {
    BarForm f;
    std::vector<std::string> heard;
    f.bar->OnDockChanging = [&](TCustomToolWindowPv*) { heard.push_back("changing"); };
    f.bar->OnDockChangingEx = [&](TCustomToolWindowPv*, TDockPv* d) {
        heard.push_back(std::string("changingEx ") + (d ? d->objectName().toStdString() : "nil"));
    };
    f.bar->OnDockChangingHidden = [&](TCustomToolWindowPv*, TDockPv*) { heard.push_back("hidden"); };
    f.bar->OnRecreating = [&](TCustomToolWindowPv*) { heard.push_back("recreating"); };
    f.bar->OnRecreated = [&](TCustomToolWindowPv*) { heard.push_back("recreated"); };
    f.bar->OnDockChanged = [&](TCustomToolWindowPv*) { heard.push_back("changed"); };
    f.bar->OnMove = [&](TCustomToolWindowPv*) { heard.push_back("move"); };
    f.left->setObjectName("left");

    // The dock it is on: nothing happens.
    f.bar->SetDockedTo(f.top);
    EXPECT_TRUE(heard.empty());
    EXPECT_EQ(f.bar->LastDock(), f.top);

    f.bar->SetDockedTo(f.left);
    EXPECT_EQ(heard, (std::vector<std::string>{"changing", "changingEx left", "recreating", "hidden", "move",
                                               "recreated", "changed"}));
    EXPECT_EQ(f.bar->DockedTo(), f.left);
    EXPECT_EQ(f.bar->LastDock(), f.left);
    // Laid out for the vertical dock: 23 wide buttons one under the other, the grip on top.
    EXPECT_EQ(f.bar->size(), QSize(27, 79));
    EXPECT_EQ(f.buttons[1]->geometry(), QRect(2, 33, 23, 22));
    EXPECT_TRUE(f.top->BarList().empty());

    heard.clear();
    f.bar->SetFloatingPosition(QPoint(300, 200));
    f.bar->SetDockedTo(nullptr);
    EXPECT_EQ(heard.at(1), "changingEx nil");
    TFloatingWindowParent* fp = f.bar->FloatingParent();
    ASSERT_NE(fp, nullptr);
    EXPECT_TRUE(fp->objectName().startsWith("TBPvFloatingWindowParent_"));
    EXPECT_EQ(fp->ParentForm(), &f.form);
    EXPECT_TRUE(fp->isVisible());
    EXPECT_EQ(fp->geometry().topLeft(), QPoint(300, 200));
    // One line with margins 4, 2, 4, 1 inside the floating frame and caption.
    EXPECT_EQ(f.bar->size(), QSize(4 + 77 + 4, capH() + 4 + 25 + 4));
    EXPECT_EQ(f.buttons[0]->geometry().topLeft(), QPoint(4 + 4, capH() + 4 + 2));
    EXPECT_EQ(TCustomToolWindowPv::FloatingList().size(), 1u);
    // Floating, it stays in its last dock's bar list, hidden there.
    EXPECT_EQ(f.left->BarList().size(), 1u);
    EXPECT_TRUE(f.left->VisibleBarList().empty());

    // Hidden by the application going inactive, shown again when it comes back.
    f.bar->SetDockedTo(f.top);
    EXPECT_TRUE(TCustomToolWindowPv::FloatingList().empty());
    EXPECT_EQ(f.bar->parentWidget(), f.top);
    try {
        f.bar->SetParent(f.buttons[0]);
        FAIL() << "no error";
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "A tool window can only be placed on a TDockPv or directly on the form");
    }
    EXPECT_EQ(f.bar->DockedTo(), f.top);
}

TEST(ToolWindow, FloatingFollowsTheFormAndTheApplication) {
    BarForm f;
    f.bar->SetDockedTo(nullptr);
    TFloatingWindowParent* fp = f.bar->FloatingParent();
    ASSERT_TRUE(fp->isVisible());
    f.form.hide();
    EXPECT_FALSE(fp->isVisible());
    f.form.show();
    EXPECT_TRUE(fp->isVisible());
    QEvent deactivate(QEvent::ApplicationDeactivate);
    QGuiApplication::sendEvent(qApp, &deactivate);
    if (QGuiApplication::applicationState() != Qt::ApplicationActive) {
        EXPECT_FALSE(fp->isVisible());
        f.bar->SetHideWhenInactive(false);
        EXPECT_TRUE(fp->isVisible());
    }
    f.bar->hide();
    EXPECT_FALSE(fp->isVisible());
    EXPECT_FALSE(f.bar->Visible());
}

TEST(ToolWindow, DragDocksFloatsAndCancels) {
    BarForm f;
    ASSERT_EQ(f.bar->size(), QSize(82, 26));
    const QPoint grip(5, 10);

    // To the left dock.
    f.press(grip);
    EXPECT_EQ(f.bar->Loop(), TCustomToolWindowPv::lpDrag);
    QPoint at = f.leftDockPoint() + QPoint(1, 0);
    f.move(at);
    // Vertical size 27 x 79, grab point scaled.
    EXPECT_EQ(f.bar->OutlineRect(), ScaledDragRect(at, grip, {82, 26}, {27, 79}));
    EXPECT_EQ(f.bar->OutlineThickness(), 1);
    // Ctrl: the floating frame at once; released: the docked one again.
    QTest::keyPress(f.bar, Qt::Key_Control);
    const QSize floatSize(85, capH() + 4 + 25 + 4);
    EXPECT_EQ(f.bar->OutlineRect().size(), floatSize);
    EXPECT_EQ(f.bar->OutlineThickness(), 4);
    QTest::keyRelease(f.bar, Qt::Key_Control);
    EXPECT_EQ(f.bar->OutlineRect().size(), QSize(27, 79));
    f.release(at);
    EXPECT_EQ(f.bar->Loop(), TCustomToolWindowPv::lpNone);
    EXPECT_EQ(f.bar->DockedTo(), f.left);
    EXPECT_EQ(f.bar->DockRow(), 0);
    const int wantPos = at.y() - 31 - f.left->mapToGlobal(QPoint(0, 0)).y(); // 78 * 10 / 25 rounded
    EXPECT_EQ(f.bar->DockPos(), wantPos);
    EXPECT_EQ(f.bar->geometry(), QRect(0, wantPos, 27, 79));
    EXPECT_EQ(f.left->width(), 27);
    EXPECT_EQ(f.top->height(), 0);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);

    // Esc: nothing changes.
    const QRect before = f.bar->geometry();
    f.press(QPoint(10, 5));
    f.move(f.middle());
    EXPECT_FALSE(f.bar->OutlineRect().isEmpty());
    QTest::keyClick(f.bar, Qt::Key_Escape);
    EXPECT_EQ(f.bar->Loop(), TCustomToolWindowPv::lpNone);
    EXPECT_TRUE(f.bar->OutlineRect().isEmpty());
    f.release(f.middle());
    EXPECT_EQ(f.bar->DockedTo(), f.left);
    EXPECT_EQ(f.bar->geometry(), before);

    // Into the middle of the form: floats with its top-left where the frame was.
    f.press(QPoint(10, 5));
    const QPoint mid = f.middle();
    f.move(mid);
    const QRect frame = f.bar->OutlineRect();
    EXPECT_EQ(frame.size(), floatSize);
    f.release(mid);
    EXPECT_FALSE(f.bar->Docked());
    ASSERT_NE(f.bar->FloatingParent(), nullptr);
    EXPECT_EQ(f.bar->FloatingParent()->geometry(), frame);
    EXPECT_EQ(f.bar->FloatingPosition(), frame.topLeft());
    EXPECT_EQ(f.left->width(), 0);

    // A floating bar moved elsewhere; then a double click in its client area docks it back.
    f.press(QPoint(5, capH() + 6));
    const QPoint mid2 = mid + QPoint(-60, 40);
    f.move(mid2);
    f.release(mid2);
    const QPoint floatAt = mid2 - QPoint(5, capH() + 6);
    EXPECT_EQ(f.bar->FloatingParent()->geometry().topLeft(), floatAt);
    QTest::mouseDClick(f.win(), Qt::LeftButton, {}, QPoint(5, capH() + 6));
    EXPECT_EQ(f.bar->DockedTo(), f.left);
    // And a double click on the docked grip floats it where it was.
    QTest::mouseDClick(f.win(), Qt::LeftButton, {}, f.bar->mapTo(f.bar->window(), QPoint(10, 5)));
    EXPECT_FALSE(f.bar->Docked());
    EXPECT_EQ(f.bar->FloatingParent()->geometry().topLeft(), floatAt);
}

TEST(ToolWindow, CannotFloatShowsTheForbiddenCursor) {
    BarForm f;
    f.bar->DockMode = dmCannotFloat;
    std::vector<TDockPv*> asked;
    f.left->OnRequestDock = [&](TDockPv* d, TCustomToolWindowPv*, bool& accept) {
        asked.push_back(d);
        accept = false;
    };
    const QRect before = f.bar->geometry();
    f.press(QPoint(5, 10));
    f.move(f.middle());
    EXPECT_EQ(f.bar->cursor().shape(), Qt::ForbiddenCursor);
    EXPECT_TRUE(f.bar->OutlineRect().isEmpty());
    // A dock that refuses counts as no dock.
    f.move(f.leftDockPoint());
    EXPECT_EQ(asked, std::vector<TDockPv*>{f.left});
    EXPECT_EQ(f.bar->cursor().shape(), Qt::ForbiddenCursor);
    f.release(f.leftDockPoint());
    EXPECT_EQ(f.bar->DockedTo(), f.top);
    EXPECT_EQ(f.bar->geometry(), before);
    EXPECT_NE(f.bar->cursor().shape(), Qt::ForbiddenCursor);
}

TEST(ToolWindow, CloseBox) {
    BarForm f;
    f.bar->SetFloatingPosition(QPoint(300, 200));
    f.bar->SetDockedTo(nullptr);
    std::vector<std::string> heard;
    bool allow = false;
    f.bar->OnCloseQuery = [&](TCustomToolWindowPv*, bool& can) {
        heard.push_back("query");
        can = allow;
    };
    f.bar->OnClose = [&](TCustomToolWindowPv*) { heard.push_back("close"); };
    const QRect box = f.bar->CloseBoxRect();
    ASSERT_FALSE(box.isEmpty());
    EXPECT_EQ(f.bar->HitTest(box.center()), HTCLOSE);
    QWindow* w = f.win();
    // Pressed, moved off the box and released there: nothing.
    QTest::mousePress(w, Qt::LeftButton, {}, box.center());
    EXPECT_TRUE(f.bar->ClosePressed());
    QTest::mouseMove(w, QPoint(10, 30));
    EXPECT_FALSE(f.bar->ClosePressed());
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(10, 30));
    EXPECT_TRUE(heard.empty());
    // Refused by the query, then allowed.
    QTest::mouseClick(w, Qt::LeftButton, {}, box.center());
    EXPECT_EQ(heard, std::vector<std::string>{"query"});
    EXPECT_TRUE(f.bar->Visible());
    allow = true;
    QTest::mouseClick(w, Qt::LeftButton, {}, box.center());
    EXPECT_EQ(heard, (std::vector<std::string>{"query", "query", "close"}));
    EXPECT_FALSE(f.bar->Visible());
    EXPECT_FALSE(f.bar->FloatingParent()->isVisible());
    // Shown again: where it was.
    f.bar->show();
    EXPECT_TRUE(f.bar->FloatingParent()->isVisible());
    EXPECT_EQ(f.bar->FloatingParent()->pos(), QPoint(300, 200));

    // The docked close box beside the grip.
    f.bar->SetDockedTo(f.top);
    f.bar->SetCloseButtonWhenDocked(true);
    EXPECT_EQ(f.bar->contentsMargins().left(), 16);
    EXPECT_EQ(f.bar->HitTest(QPoint(8, 7)), HTCLOSE);
    heard.clear();
    QTest::mouseClick(f.win(), Qt::LeftButton, {}, f.bar->mapTo(f.bar->window(), QPoint(8, 7)));
    EXPECT_EQ(heard, (std::vector<std::string>{"query", "close"}));
    EXPECT_FALSE(f.bar->Visible());
    EXPECT_TRUE(f.top->VisibleBarList().empty());
}

TEST(TwoScreens, FloatingBarsArePulledBack) {
    app();
    if (QGuiApplication::screens().size() < 2)
        GTEST_SKIP() << "one screen; run with the two-screen configuration";
    BarForm f(3, QPoint(1100, 50));
    // Dragged beyond the right screen's edge: the frame stays within reach on that screen.
    f.press(QPoint(5, 10));
    f.move(QPoint(3000, 300));
    const QRect frame = f.bar->OutlineRect();
    EXPECT_LE(frame.left(), 1024 + 800 - 8);
    EXPECT_GE(frame.right(), 1024 + 800 - 8);
    f.release(QPoint(3000, 300));
    EXPECT_FALSE(f.bar->Docked());
    // A floating position off every screen: back onto the nearest, the right one.
    f.bar->SetFloatingPosition(QPoint(2500, 900));
    f.bar->MoveOnScreen(true);
    const QRect r = f.bar->BoundsRect();
    EXPECT_EQ(r.right(), 1024 + 800 - 1);
    EXPECT_EQ(r.bottom(), 599);
    // Partly on a screen: stays unless asked always.
    f.bar->SetFloatingPosition(QPoint(1000, 100));
    f.bar->MoveOnScreen(true);
    EXPECT_EQ(f.bar->BoundsRect().topLeft(), QPoint(1000, 100));
}
