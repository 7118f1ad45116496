// The tool bar button: where its glyph, text and arrow go (a table over the widget-free
// layout), its looks grabbed pixel by pixel, hot tracking through the window system's mouse,
// groups, the combo's two parts and plain drop-downs, the menu that a press on its own button
// closes without reopening, and the shared glyph images.
#include <QAction>
#include <QDialog>
#include <QMenu>
#include <QTimer>
#include <QTest>
#include <gtest/gtest.h>

#include "controls/TBPvCtls.h"
#include "controltest.h"

using namespace ctltest;

TEST(ButtonContent, Layouts) {
    struct Case {
        const char* name;
        QRect r;
        QSize glyph;
        QSize text;
        TButtonLayout layout;
        int margin, spacing, arrow;
        QPoint offset;
        QPoint wantGlyph;
        QPoint wantText;
        QPoint wantArrow;
    };
    const Case cases[] = {
        {"left, centred",
         {0, 0, 60, 22},
         {16, 16},
         {20, 13},
         blGlyphLeft,
         -1,
         4,
         0,
         {},
         {10, 3},
         {30, 5},
         {51, 9}},
        {"glyph only",
         {0, 0, 21, 20},
         {16, 16},
         {0, 0},
         blGlyphLeft,
         -1,
         4,
         0,
         {},
         {3, 2},
         {19, 10},
         {20, 8}},
        {"top", {0, 0, 40, 40}, {16, 16}, {20, 13}, blGlyphTop, -1, 4, 0, {}, {12, 4}, {10, 24}, {29, 10}},
        {"spread evenly",
         {0, 0, 60, 22},
         {16, 16},
         {20, 13},
         blGlyphLeft,
         -1,
         -1,
         0,
         {},
         {8, 3},
         {32, 5},
         {53, 9}},
        {"right with an arrow",
         {0, 0, 60, 22},
         {16, 16},
         {20, 13},
         blGlyphRight,
         2,
         -1,
         9,
         {},
         {33, 3},
         {7, 5},
         {50, 9}},
        {"down and inside a border",
         {2, 2, 60, 22},
         {16, 16},
         {20, 13},
         blGlyphLeft,
         -1,
         4,
         0,
         {1, 1},
         {13, 6},
         {33, 8},
         {54, 12}},
        {"no glyph: top uses the left rule",
         {0, 0, 60, 22},
         {0, 0},
         {20, 13},
         blGlyphTop,
         -1,
         4,
         0,
         {},
         {20, 11},
         {20, 5},
         {41, 10}},
        {"a fixed margin",
         {0, 0, 60, 22},
         {16, 16},
         {20, 13},
         blGlyphBottom,
         3,
         2,
         0,
         {},
         {22, 3},
         {20, -12},
         {39, 9}},
    };
    for (const Case& c : cases) {
        TButtonContentParams p;
        p.Client = c.r;
        p.GlyphSize = c.glyph;
        p.HasText = !c.text.isEmpty();
        p.Layout = c.layout;
        p.Margin = c.margin;
        p.Spacing = c.spacing;
        p.ArrowWidth = c.arrow;
        p.Offset = c.offset;
        const QSize t = c.text;
        p.MeasureText = [t](int) { return t; };
        const TButtonContentLayout l = LayOutButtonContent(p);
        EXPECT_EQ(l.Glyph, c.wantGlyph) << c.name;
        EXPECT_EQ(l.Text.topLeft(), c.wantText) << c.name;
        EXPECT_EQ(l.Arrow, c.wantArrow) << c.name;
    }
    // Word wrap: the width offered to the text leaves room for the glyph, spacing and margins.
    int offered = -1;
    TButtonContentParams p;
    p.Client = QRect(0, 0, 80, 40);
    p.GlyphSize = QSize(16, 16);
    p.WordWrap = true;
    p.MeasureText = [&](int w) {
        offered = w;
        return QSize(10, 10);
    };
    LayOutButtonContent(p);
    EXPECT_EQ(offered, 80 - (16 + 4) - 2 * 4);
}

namespace {
struct ButtonForm {
    bool ready = (app(), true);
    QWidget form;
    std::vector<TToolbarButtonPv*> b;
    QWidget* empty;
    explicit ButtonForm(int count = 3) {
        form.setGeometry(100, 100, 300, 100);
        for (int i = 0; i < count; ++i) {
            auto* x = new TToolbarButtonPv(&form);
            x->move(10 + 30 * i, 10);
            b.push_back(x);
        }
        empty = new QWidget(&form);
        empty->setGeometry(10, 60, 50, 30);
        form.show();
        form.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
        hover(empty);
    }
    QWindow* win() { return form.windowHandle(); }
    void click(QWidget* w, QPoint at = QPoint(-1, -1)) {
        if (at.x() < 0) at = QPoint(w->width() / 2, w->height() / 2);
        QTest::mouseClick(win(), Qt::LeftButton, {}, w->mapTo(&form, at));
    }
    QImage shot(QWidget* w) { return w->grab().toImage(); }
};

QPixmap solidGlyph(int w, int h, QColor c, QColor bottomLeft = Qt::magenta) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    if (w > 0 && h > 0) img.setPixel(0, h - 1, bottomLeft.rgb());
    return QPixmap::fromImage(img);
}
} // namespace

TEST(ToolbarButton, HoverAndLooks) {
    ButtonForm f;
    TToolbarButtonPv* b = f.b[0];
    std::vector<std::string> heard;
    b->OnMouseEnter = [&](TToolbarButtonPv*) { heard.push_back("enter"); };
    b->OnMouseExit = [&](TToolbarButtonPv*) { heard.push_back("exit"); };
    EXPECT_EQ(b->size(), QSize(23, 22));
    // Flat at rest: no border.
    QImage img = f.shot(b);
    EXPECT_EQ(px(img, 0, 0), kFace);
    EXPECT_EQ(px(img, 22, 21), kFace);
    hover(b);
    EXPECT_EQ(TToolbarButtonPv::HotButton(), b);
    EXPECT_EQ(b->State(), bsHot);
    img = f.shot(b);
    EXPECT_EQ(px(img, 0, 0), kHighlight);
    EXPECT_EQ(px(img, 22, 21), kShadow);
    hover(f.b[1]);
    EXPECT_EQ(TToolbarButtonPv::HotButton(), f.b[1]);
    EXPECT_EQ(b->State(), bsUp);
    EXPECT_EQ(heard, (std::vector<std::string>{"enter", "exit"}));
    hover(f.empty);
    EXPECT_EQ(TToolbarButtonPv::HotButton(), nullptr);

    // Standard look: raised, then sunken while held.
    b->SetFlat(false);
    img = f.shot(b);
    EXPECT_EQ(px(img, 0, 0), kHighlight);
    EXPECT_EQ(px(img, 22, 21), kDkShadow);
    QTest::mousePress(f.win(), Qt::LeftButton, {}, b->mapTo(&f.form, QPoint(5, 5)));
    EXPECT_EQ(b->State(), bsDown);
    img = f.shot(b);
    EXPECT_EQ(px(img, 0, 0), kShadow);
    EXPECT_EQ(px(img, 1, 1), kDkShadow);
    EXPECT_EQ(px(img, 22, 21), kHighlight);
    // Moved off while held: up; released there: no click.
    int clicks = 0;
    b->OnClick = [&](TToolbarButtonPv*) { ++clicks; };
    QTest::mouseMove(f.win(), QPoint(200, 80));
    EXPECT_EQ(b->State(), bsUp);
    QTest::mouseRelease(f.win(), Qt::LeftButton, {}, QPoint(200, 80));
    EXPECT_EQ(clicks, 0);

    // Down in a group, highlighted: the dither pattern inside the sunken edge.
    b->SetGroupIndex(1);
    b->SetDown(true);
    EXPECT_EQ(b->State(), bsExclusive);
    img = f.shot(b);
    EXPECT_EQ(px(img, 2, 2), kHighlight);
    EXPECT_EQ(px(img, 3, 2), kFace);
    b->SetHighlightWhenDown(false);
    EXPECT_EQ(px(f.shot(b), 2, 2), kFace);

    // Disabled: a generated glyph embossed in highlight and shadow; text in both too.
    auto* d = f.b[2];
    d->SetGlyph(solidGlyph(8, 8, Qt::black, Qt::white));
    d->SetDisplayMode(dmGlyphOnly);
    d->setEnabled(false);
    EXPECT_EQ(d->State(), bsDisabled);
    img = f.shot(d);
    const QPoint g = d->ContentLayout().Glyph;
    EXPECT_EQ(px(img, g.x() + 2, g.y() + 2), kShadow);
    EXPECT_EQ(px(img, g.x() + 8, g.y() + 8), kHighlight); // one pixel beyond: the highlight copy
    EXPECT_EQ(px(img, g.x(), g.y() + 7), kFace);          // the transparent (white) corner
    ASSERT_TRUE(f.form.grab().save(QString::fromStdString(shotPath("toolbar_buttons.png"))));
}

TEST(ToolbarButton, GroupsAndClicks) {
    ButtonForm f;
    for (auto* x : f.b) x->SetGroupIndex(3);
    f.click(f.b[0]);
    EXPECT_TRUE(f.b[0]->Down());
    f.click(f.b[1]);
    EXPECT_TRUE(f.b[1]->Down());
    EXPECT_FALSE(f.b[0]->Down());
    EXPECT_EQ(f.b[0]->State(), bsUp);
    // Pressing the down one again does nothing...
    f.click(f.b[1]);
    EXPECT_TRUE(f.b[1]->Down());
    // ...unless the group allows all up.
    f.b[1]->SetAllowAllUp(true);
    EXPECT_TRUE(f.b[2]->AllowAllUp());
    f.click(f.b[1]);
    EXPECT_FALSE(f.b[1]->Down());
    // Without a group Down stays False.
    f.b[2]->SetGroupIndex(0);
    f.b[2]->SetDown(true);
    EXPECT_FALSE(f.b[2]->Down());

    // Default and Cancel answer Enter and Esc; the modal result reaches the dialog.
    QDialog dlg;
    auto* ok = new TToolbarButtonPv(&dlg);
    ok->Default = true;
    ok->ModalResult = 1;
    int clicks = 0;
    ok->OnClick = [&](TToolbarButtonPv*) { ++clicks; };
    dlg.show();
    QTest::keyClick(ok, Qt::Key_Return);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(dlg.result(), 1);

    // An action: its check state is Down, its text the caption; a click triggers it.
    QAction act("Sort");
    act.setCheckable(true);
    int triggered = 0;
    QObject::connect(&act, &QAction::triggered, [&] { ++triggered; });
    f.b[0]->SetAction(&act);
    EXPECT_EQ(f.b[0]->Caption(), "Sort");
    act.setChecked(true);
    f.b[0]->SetGroupIndex(3);
    act.setChecked(false);
    act.setChecked(true);
    EXPECT_TRUE(f.b[0]->Down());
    act.setEnabled(false);
    EXPECT_FALSE(f.b[0]->isEnabled());
    act.setEnabled(true);
    f.b[0]->SetGroupIndex(0);
    f.click(f.b[0]);
    EXPECT_EQ(triggered, 1);
}

TEST(ToolbarButton, DropDownsAndCombos) {
    ButtonForm f(2);
    QMenu menu;
    menu.addAction("one");
    std::vector<std::string> heard;
    auto listen = [&](TToolbarButtonPv* b) {
        b->OnClick = [&](TToolbarButtonPv*) { heard.push_back("click"); };
        b->OnDropdown = [&](TToolbarButtonPv*, bool& show, bool&) {
            heard.push_back("dropdown");
            show = false;
        };
    };
    TToolbarButtonPv* combo = f.b[0];
    listen(combo);
    combo->SetDropdownMenu(&menu);
    combo->SetDropdownCombo(true);
    EXPECT_EQ(combo->width(), 23 + 9 + 2);
    combo->SetDropdownArrowWidth(3);
    EXPECT_EQ(combo->DropdownArrowWidth(), 7);
    EXPECT_EQ(combo->width(), 23 + 7 + 2);
    // The main part clicks like a button; the arrow part drops the menu without a click.
    f.click(combo, QPoint(5, 10));
    EXPECT_EQ(heard, std::vector<std::string>{"click"});
    heard.clear();
    f.click(combo, QPoint(combo->width() - 3, 10));
    EXPECT_EQ(heard, std::vector<std::string>{"dropdown"});
    combo->SetDropdownCombo(false);
    EXPECT_EQ(combo->width(), 23);

    // A plain drop-down clicks first.
    TToolbarButtonPv* plain = f.b[1];
    listen(plain);
    plain->SetDropdownAlways(true);
    heard.clear();
    f.click(plain);
    EXPECT_EQ(heard, (std::vector<std::string>{"click", "dropdown"}));
}

TEST(ToolbarButton, ThePressThatClosesTheMenuNeverReopensIt) {
    ButtonForm f(2);
    QMenu menu;
    menu.addAction("one");
    TToolbarButtonPv* b = f.b[0];
    b->SetDropdownMenu(&menu);
    int shown = 0;
    b->OnDropdown = [&](TToolbarButtonPv*, bool&, bool&) { ++shown; };
    QObject::connect(&menu, &QMenu::aboutToShow, [&] {
        // The user clicks the button again while its menu is open.
        QTimer::singleShot(0, [&] {
            QTest::mouseClick(f.win(), Qt::LeftButton, {}, b->mapTo(&f.form, QPoint(10, 10)));
            // Should the press not reach the menu, it still closes.
            QTimer::singleShot(0, &menu, [&] { menu.close(); });
        });
    });
    f.click(b);
    QTest::qWait(20);
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(b->MenuShowing());
    EXPECT_EQ(b->State(), bsUp);
    // A press on another button right after still reaches it.
    int other = 0;
    f.b[1]->OnClick = [&](TToolbarButtonPv*) { ++other; };
    f.click(f.b[1]);
    EXPECT_EQ(other, 1);
}

TEST(ToolbarButton, GlyphsAndBadValues) {
    ButtonForm f(2);
    TToolbarButtonPv* b = f.b[0];
    b->SetGlyph(solidGlyph(48, 16, Qt::red));
    EXPECT_EQ(b->NumGlyphs(), 3);
    b->SetGlyph(solidGlyph(96, 16, Qt::red));
    EXPECT_EQ(b->NumGlyphs(), 1);
    b->SetNumGlyphs(0);
    EXPECT_EQ(b->NumGlyphs(), 1);
    b->SetNumGlyphs(9);
    EXPECT_EQ(b->NumGlyphs(), 5);
    b->SetMargin(-5);
    EXPECT_EQ(b->Margin(), -1);
    // Empty glyphs and indexes outside the list draw nothing and do not fail.
    b->SetGlyph(QPixmap());
    f.shot(b);
    b->SetGlyph(solidGlyph(0, 16, Qt::red));
    f.shot(b);
    TPvImageList list(16, 16);
    list.Add(solidGlyph(16, 16, Qt::blue));
    b->SetImages(&list);
    b->SetImageIndex(5);
    EXPECT_EQ(b->ContentLayout().Glyph, QPoint(12, 11)); // laid out without a glyph
    f.shot(b);
    b->SetImageIndex(0);
    b->SetDisplayMode(dmGlyphOnly);
    QImage img = f.shot(b);
    const QPoint g = b->ContentLayout().Glyph;
    EXPECT_EQ(px(img, g.x() + 5, g.y() + 5), QColor(Qt::blue));

    // Buttons with glyphs of the same size share one list of generated images.
    f.b[1]->SetImages(&list);
    f.b[1]->SetImageIndex(0);
    f.shot(f.b[1]);
    ASSERT_NE(GlyphCache(), nullptr);
    EXPECT_EQ(GlyphCache()->ListCount(), 1);
    f.b[1]->setEnabled(false);
    f.shot(f.b[1]); // the disabled image: a list one pixel larger
    EXPECT_EQ(GlyphCache()->ListCount(), 2);
    f.b[1]->SetImages(nullptr);
    EXPECT_EQ(GlyphCache()->ListCount(), 1);

    TGlyphList gl(16, 16);
    const int at = gl.Allocate();
    EXPECT_THROW(gl.AddMasked(at, QImage(8, 8, QImage::Format_RGB32), 0), EInvalidOperation);
    try {
        gl.Add(7, QImage(16, 16, QImage::Format_RGB32), QImage());
        FAIL() << "no error";
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "Bild kann nicht ersetzt werden");
    }
    EXPECT_EQ(gl.Count(), 1);
    gl.Delete(at);
    EXPECT_EQ(gl.Count(), 0);
    EXPECT_EQ(gl.Allocate(), at); // the freed slot first
}
