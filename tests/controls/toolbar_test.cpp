// The tool bar's layout as tables (docked rows, vertical docks, floating lines that wrap at
// separators), its possible floating sizes, the snapping resize of an eight-button bar through
// the window system's mouse, and the separator.
#include <QTest>
#include <gtest/gtest.h>

#include "controls/TBPvTlbr.h"
#include "controltest.h"

using namespace ctltest;

namespace {

TToolbarItem B(int w = 23, int h = 22) {
    TToolbarItem it;
    it.Width = w;
    it.Height = h;
    return it;
}
TToolbarItem S(bool blank = false, int horz = 6, int vert = 6) {
    TToolbarItem it;
    it.Separator = true;
    it.Blank = blank;
    it.SizeHorz = horz;
    it.SizeVert = vert;
    return it;
}

struct LayoutCase {
    const char* name;
    std::vector<TToolbarItem> items;
    TDockOrientation o;
    bool docked;
    int floatRightX;
    int thickness;
    std::vector<QRect> want;
    QSize client;
    std::vector<int> wrapAcross; // blank wraps as negative
};

} // namespace

TEST(ToolbarLayout, Cases) {
    const std::vector<LayoutCase> cases = {
        {"docked row, no wrapping whatever the edge",
         {B(), B(), S(), B()},
         doHorz,
         true,
         30,
         0,
         {{0, 0, 23, 22}, {23, 0, 23, 22}, {46, 0, 6, 22}, {52, 0, 23, 22}},
         {75, 22},
         {}},
        {"different heights are centred across the row",
         {B(23, 22), B(23, 16), S()},
         doHorz,
         true,
         0,
         26,
         {{0, 2, 23, 22}, {23, 5, 23, 16}, {46, 0, 6, 26}},
         {52, 22},
         {}},
        {"vertical dock: one under the other, separators by SizeVert",
         {B(), S(false, 6, 10), B(20, 22)},
         doVert,
         true,
         0,
         0,
         {{0, 0, 23, 22}, {0, 22, 23, 10}, {1, 32, 20, 22}},
         {23, 54},
         {}},
        {"floating without a right edge: one line inside the margins",
         {B(), B(), S(), B(), B()},
         doNoOrient,
         false,
         0,
         0,
         {{4, 2, 23, 22}, {27, 2, 23, 22}, {50, 2, 6, 22}, {56, 2, 23, 22}, {79, 2, 23, 22}},
         {106, 25},
         {}},
        {"floating wrap at a separator: the separator goes, a line is drawn",
         {B(), B(), S(), B(), B()},
         doNoOrient,
         false,
         60,
         0,
         {{4, 2, 23, 22}, {27, 2, 23, 22}, {50, 2, 0, 22}, {4, 30, 23, 22}, {27, 30, 23, 22}},
         {54, 53},
         {30}},
        {"a blank separator at the wrap leaves no line",
         {B(), B(), S(true), B(), B()},
         doNoOrient,
         false,
         60,
         0,
         {{4, 2, 23, 22}, {27, 2, 23, 22}, {50, 2, 0, 22}, {4, 30, 23, 22}, {27, 30, 23, 22}},
         {54, 53},
         {-30}},
        {"a segment too long for the line wraps inside, never narrower than a control + 8",
         {B(), B(), B()},
         doNoOrient,
         false,
         12,
         0,
         {{4, 2, 23, 22}, {4, 24, 23, 22}, {4, 46, 23, 22}},
         {31, 69},
         {}},
        {"an empty floating bar", {}, doNoOrient, false, 0, 0, {}, {16, 11}, {}},
        {"an empty docked bar", {}, doHorz, true, 0, 0, {}, {8, 8}, {}},
    };
    for (const LayoutCase& c : cases) {
        std::vector<TToolbarItem> items = c.items;
        TToolbarLayoutParams prm;
        prm.Orientation = c.o;
        prm.Docked = c.docked;
        prm.FloatRightX = c.floatRightX;
        prm.Thickness = c.thickness;
        const TToolbarLayoutResult res = LayOutToolbarItems(items, prm);
        EXPECT_EQ(res.Client, c.client) << c.name;
        ASSERT_EQ(items.size(), c.want.size()) << c.name;
        for (size_t i = 0; i < items.size(); ++i)
            EXPECT_EQ(items[i].Bounds, c.want[i]) << c.name << " #" << i;
        std::vector<int> wraps;
        for (const TToolbarWrapLine& w : res.WrapLines) wraps.push_back(w.Blank ? -w.Across : w.Across);
        EXPECT_EQ(wraps, c.wrapAcross) << c.name;
    }
    EXPECT_EQ(ToolbarRowSize({S(false, 40, 40)}, doHorz), 8);
    EXPECT_EQ(ToolbarRowSize({B(30, 12), B(20, 25)}, doVert), 30);
}

TEST(ToolbarLayout, WrapSizesOfEightButtons) {
    std::vector<TToolbarItem> eight(8, B());
    const auto sizes = ToolbarWrapSizes([&](int x) {
        std::vector<TToolbarItem> items = eight;
        TToolbarLayoutParams prm;
        prm.FloatRightX = x;
        return LayOutToolbarItems(items, prm).Client;
    });
    // One line; two lines of four (7 + 1 and the others of the same height give way to the
    // narrowest); three, four and eight lines.
    EXPECT_EQ(sizes, (std::vector<QSize>{{192, 25}, {100, 47}, {77, 69}, {54, 91}, {31, 179}}));
}

namespace {
struct FloatingBar {
    bool ready = (app(), true);
    QWidget form;
    TDockPv* top;
    TToolbarPv* bar;
    FloatingBar() {
        form.setGeometry(100, 100, 600, 400);
        top = new TDockPv(&form, dpTop);
        bar = new TToolbarPv(&form);
        for (int i = 0; i < 8; ++i) (new QWidget(bar))->resize(23, 22);
        bar->SetFloatingPosition(QPoint(200, 200));
        bar->SetDockedTo(nullptr);
        form.show();
        form.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    }
    QWindow* win() { return bar->window()->windowHandle(); }
};
} // namespace

TEST(Toolbar, SnappingResizeOfEightButtons) {
    FloatingBar f;
    const int cap = ToolCaptionHeight();
    const QSize one(192 + 8, 25 + cap + 8);
    ASSERT_EQ(f.bar->size(), one);
    QWindow* w = f.win();
    const QPoint edge(one.width() - 2, one.height() / 2);
    EXPECT_EQ(f.bar->HitTest(edge), HTRIGHT);
    // The right edge pulled to 120: the largest size that fits, two lines of four.
    QTest::mousePress(w, Qt::LeftButton, {}, edge);
    ASSERT_NE(f.bar->Snap(), nullptr);
    EXPECT_EQ(f.bar->Snap()->Sizes.front(), one);
    QTest::mouseMove(w, edge + QPoint(120 - one.width(), 0));
    const QSize two(100 + 8, 47 + cap + 8);
    EXPECT_EQ(f.bar->OutlineRect(), QRect(QPoint(200, 200), two));
    // A few pixels back: within the snap distance the size holds.
    QTest::mouseMove(w, edge + QPoint(110 - one.width(), 0));
    EXPECT_EQ(f.bar->OutlineRect().size(), two);
    QTest::mouseRelease(w, Qt::LeftButton, {}, edge + QPoint(110 - one.width(), 0));
    EXPECT_EQ(f.bar->size(), two);
    EXPECT_EQ(f.bar->FloatingParent()->geometry(), QRect(QPoint(200, 200), two));
    EXPECT_EQ(f.bar->FloatRightX(), 100);
    ASSERT_EQ(f.bar->WrapLines().size(), 0u); // wrapped inside a segment: no separator line

    // The bottom edge pushed down beyond the snap distance: the next taller size, three lines.
    const QPoint bottom(30, two.height() - 2);
    EXPECT_EQ(f.bar->HitTest(bottom), HTBOTTOM);
    QTest::mousePress(w, Qt::LeftButton, {}, bottom);
    QTest::mouseMove(w, bottom + QPoint(0, 20));
    EXPECT_EQ(f.bar->OutlineRect().size(), QSize(77 + 8, 69 + cap + 8));
    // Esc: the bar keeps its size.
    QTest::keyClick(f.bar, Qt::Key_Escape);
    EXPECT_EQ(f.bar->size(), two);
    EXPECT_EQ(f.bar->Snap(), nullptr);
    QTest::mouseRelease(w, Qt::LeftButton, {}, bottom + QPoint(0, 20));
    EXPECT_EQ(f.bar->FloatRightX(), 100);

    // Position data round trip.
    std::map<QString, int> store;
    f.bar->setObjectName("pvToolbar");
    f.bar->WritePositionData(
        [&](const QString& n, const QString& v, int value, void*) {
            store[n + "." + v] = value;
            return value;
        },
        nullptr);
    EXPECT_EQ(store["pvToolbar.FloatRightX"], 100);
}

TEST(Toolbar, SeparatorsAndPairs) {
    FloatingBar f;
    try {
        TToolbarSepPv bad(&f.form);
        FAIL() << "no error";
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "TToolbarSepPv can only be placed on a TToolbarPv");
    }
    TToolbarSepPv loose; // no parent is allowed
    auto* sep = new TToolbarSepPv(f.bar);
    f.bar->SetOrderIndex(sep, 4);
    const int cap = ToolCaptionHeight();
    EXPECT_EQ(f.bar->size(), QSize(192 + 6 + 8, 25 + cap + 8));
    EXPECT_EQ(sep->geometry(), QRect(4 + 4 + 92, cap + 4 + 2, 6, 22));
    sep->SetSizeHorz(0); // at least 1
    EXPECT_EQ(sep->SizeHorz(), 1);
    EXPECT_EQ(f.bar->width(), 192 + 1 + 8);
    sep->SetSizeHorz(10);
    EXPECT_EQ(sep->width(), 10);

    // A press on a separator drags the bar; Esc leaves it.
    QTest::mousePress(f.win(), Qt::LeftButton, {}, sep->mapTo(f.bar, QPoint(3, 5)));
    EXPECT_EQ(f.bar->Loop(), TCustomToolWindowPv::lpDrag);
    QTest::keyClick(f.bar, Qt::Key_Escape);
    EXPECT_EQ(f.bar->Loop(), TCustomToolWindowPv::lpNone);

    // A pair: the first control shows only on vertical docks.
    auto* vert = new QWidget(f.bar);
    vert->resize(40, 22);
    auto* other = f.bar->OrderList()[0];
    f.bar->AddOrientationPair(vert, other);
    EXPECT_TRUE(vert->isHidden());
    EXPECT_FALSE(other->isHidden());
    auto* left = new TDockPv(&f.form, dpLeft);
    f.bar->SetDockedTo(left);
    EXPECT_FALSE(vert->isHidden());
    EXPECT_TRUE(other->isHidden());
    EXPECT_EQ(f.bar->RowSize(doVert), 40);
    EXPECT_EQ(f.bar->width(), 44);
}
