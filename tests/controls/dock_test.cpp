// The dock: its arrangement as a function over bar records (cases and a check against a
// row-by-row walk), rows at offsets, then real docks with tool windows on a form, the error
// texts, and the library's services (hooks, sorting, work areas).
#include <QMainWindow>
#include <QScreen>
#include <QTest>
#include <climits>
#include <gtest/gtest.h>
#include <random>

#include "controls/TBPv.h"
#include "controltest.h"

using ctltest::app;

namespace {

TDockBarRecord bar(int row, int pos, int w, int h = 22, bool full = false, bool shown = true) {
    TDockBarRecord b;
    b.DockRow = row;
    b.DockPos = pos;
    b.Width = w;
    b.Height = h;
    b.RowSize = h;
    b.FullSize = full;
    b.Shown = shown;
    return b;
}

// The arrangement as first described: walking every row one by one (small rows only).
TDockLayoutResult walkRows(std::vector<TDockBarRecord>& bars, const TDockLayoutParams& prm) {
    TDockLayoutResult res;
    const bool horz = prm.Orientation != doVert;
    bool any = false;
    for (auto& b : bars) any |= b.Shown;
    if (!any) {
        res.Thickness = prm.FixAlign ? 1 : 0;
        return res;
    }
    auto highest = [&] {
        int h = -1;
        for (auto& b : bars) h = std::max(h, b.DockRow);
        return h;
    };
    if (prm.LimitToOneRow)
        for (auto& b : bars) b.DockRow = 0;
    for (int j = 0; j <= highest(); ++j) {
        bool used = false;
        for (auto& b : bars) used |= b.DockRow == j;
        if (!used)
            for (auto& b : bars)
                if (b.DockRow > j) --b.DockRow;
    }
    std::stable_sort(bars.begin(), bars.end(), [](auto& a, auto& b) {
        return a.DockRow != b.DockRow ? a.DockRow < b.DockRow : a.DockPos < b.DockPos;
    });
    for (int i = 0; i <= highest(); ++i)
        for (size_t k = 0; k < bars.size(); ++k) {
            if (bars[k].DockRow != i || !bars[k].FullSize) continue;
            bool shared = false;
            for (size_t m = 0; m < bars.size(); ++m) shared |= m != k && bars[m].DockRow == i;
            if (shared)
                for (size_t m = 0; m < bars.size(); ++m)
                    if (m != k && bars[m].DockRow >= i) ++bars[m].DockRow;
        }
    std::stable_sort(bars.begin(), bars.end(), [](auto& a, auto& b) { return a.DockRow < b.DockRow; });
    std::vector<int> sizes(size_t(highest() + 1), 0);
    for (auto& b : bars)
        if (b.Shown) sizes[size_t(b.DockRow)] = std::max({sizes[size_t(b.DockRow)], b.RowSize, 8});
    auto len = [&](const TDockBarRecord& b) { return horz ? b.Width : b.Height; };
    for (int r = 0; r <= highest(); ++r) {
        int a = 0;
        for (auto& b : bars)
            if (b.DockRow == r && b.Shown) {
                if (b.FullSize) {
                    b.DockPos = 0;
                    continue;
                }
                b.DockPos = std::max(b.DockPos, a);
                a = b.DockPos + len(b);
            }
        int l = prm.AvailableLength;
        for (size_t k = bars.size(); k-- > 0;)
            if (bars[k].DockRow == r && bars[k].Shown && !bars[k].FullSize) {
                l -= len(bars[k]);
                bars[k].FittedPos = std::min(bars[k].DockPos, l);
                l = bars[k].FittedPos;
            }
        int s = 0;
        for (auto& b : bars)
            if (b.DockRow == r && b.Shown) {
                if (b.FullSize) {
                    b.FittedPos = 0;
                    continue;
                }
                b.FittedPos = std::max(b.FittedPos, s);
                s = b.FittedPos + len(b);
            }
    }
    if (prm.ClipPositions)
        for (auto& b : bars)
            if (b.Shown && !b.FullSize) b.DockPos = b.FittedPos;
    int s = 0;
    for (int r = 0; r <= highest(); ++r) {
        if (sizes[size_t(r)] == 0) continue;
        res.RowSizes[r] = sizes[size_t(r)];
        const int t = sizes[size_t(r)] + 4;
        for (auto& b : bars)
            if (b.DockRow == r && b.Shown)
                b.Bounds = horz ? QRect(b.FittedPos, s, b.FullSize ? prm.AvailableLength : b.Width, t)
                                : QRect(s, b.FittedPos, t, b.FullSize ? prm.AvailableLength : b.Height);
        s += t;
    }
    res.Thickness = s + prm.NonClientThickness;
    return res;
}

TDockLayoutParams horzDock(int length, bool clip = false) {
    TDockLayoutParams p;
    p.Orientation = doHorz;
    p.AvailableLength = length;
    p.ClipPositions = clip;
    return p;
}

} // namespace

// ---------------------------------------------------------------- the arrangement

struct LayoutCase {
    const char* name;
    std::vector<TDockBarRecord> in;
    TDockLayoutParams prm;
    std::vector<std::pair<int, int>> rowPos; // (DockRow, DockPos) after, in the order arranged
    std::vector<QRect> bounds;               // of shown bars, same order
    int thickness;
};

TEST(DockLayout, Cases) {
    TDockLayoutParams fix = horzDock(300);
    fix.FixAlign = true;
    TDockLayoutParams vert = horzDock(200);
    vert.Orientation = doVert;
    TDockLayoutParams one = horzDock(300);
    one.LimitToOneRow = true;
    TDockLayoutParams framed = horzDock(300);
    framed.NonClientThickness = 2;
    const std::vector<LayoutCase> cases = {
        {"empty dock", {}, horzDock(300), {}, {}, 0},
        {"empty dock, fixed alignment", {}, fix, {}, {}, 1},
        {"only hidden bars", {bar(0, 0, 50, 22, false, false)}, fix, {{0, 0}}, {QRect()}, 1},
        {"one bar", {bar(0, 10, 50)}, horzDock(300), {{0, 10}}, {QRect(10, 0, 50, 26)}, 26},
        {"a thin bar's row is 8 thick",
         {bar(0, 0, 50, 3)},
         horzDock(300),
         {{0, 0}},
         {QRect(0, 0, 50, 12)},
         12},
        {"frame adds to the thickness", {bar(0, 0, 50)}, framed, {{0, 0}}, {QRect(0, 0, 50, 26)}, 28},
        {"full-size bar keeps its row, the others move on",
         {bar(0, 0, 50), bar(0, 10, 60, 30, true), bar(0, 100, 40)},
         horzDock(300),
         {{0, 0}, {1, 0}, {1, 100}},
         {QRect(0, 0, 300, 34), QRect(0, 34, 50, 26), QRect(100, 34, 40, 26)},
         60},
        {"overlap pushes along the row",
         {bar(0, 0, 100), bar(0, 50, 100)},
         horzDock(300),
         {{0, 0}, {0, 100}},
         {QRect(0, 0, 100, 26), QRect(100, 0, 100, 26)},
         26},
        {"beyond the end is shown pulled back, stored as it was",
         {bar(0, 1000, 50)},
         horzDock(300),
         {{0, 1000}},
         {QRect(250, 0, 50, 26)},
         26},
        {"beyond the end with clipping stores the pulled-back place",
         {bar(0, 1000, 50)},
         horzDock(300, true),
         {{0, 250}},
         {QRect(250, 0, 50, 26)},
         26},
        {"a row too long for the dock runs past its end",
         {bar(0, 0, 100), bar(0, 100, 100), bar(0, 200, 100)},
         horzDock(250),
         {{0, 0}, {0, 100}, {0, 200}},
         {QRect(0, 0, 100, 26), QRect(100, 0, 100, 26), QRect(200, 0, 100, 26)},
         26},
        {"rows 0 and 3 become 0 and 2",
         {bar(0, 0, 50), bar(3, 0, 50, 30)},
         horzDock(300),
         {{0, 0}, {2, 0}},
         {QRect(0, 0, 50, 26), QRect(0, 26, 50, 34)},
         60},
        {"rows 0 and 2 become 0 and 1",
         {bar(0, 0, 50), bar(2, 0, 50)},
         horzDock(300),
         {{0, 0}, {1, 0}},
         {},
         52},
        {"one row", {bar(4, 0, 50), bar(1, 0, 50)}, one, {{0, 0}, {0, 50}}, {}, 26},
        {"vertical dock",
         {bar(0, 5, 30, 80), bar(1, 0, 20, 40, true)},
         vert,
         {{0, 5}, {1, 0}},
         {QRect(0, 5, 34, 80), QRect(34, 0, 24, 200)},
         58},
        {"hidden bars keep their rows but take no room",
         {bar(0, 0, 50), bar(1, 0, 50, 40, false, false), bar(2, 0, 50)},
         horzDock(300),
         {{0, 0}, {1, 0}, {2, 0}},
         {QRect(0, 0, 50, 26), QRect(), QRect(0, 26, 50, 26)},
         52},
        {"negative rows and positions start at the first",
         {bar(-5, -40, 50)},
         horzDock(300),
         {{0, 0}},
         {QRect(0, 0, 50, 26)},
         26},
        {"the largest row and position lay out at once",
         {bar(INT_MAX, INT_MAX, 50)},
         horzDock(300),
         {{(1 << 30) - 1, INT_MAX}},
         {QRect(250, 0, 50, 26)},
         26},
        {"far rows and a position near the end of all numbers",
         {bar(INT_MAX - 1, INT_MAX - 10, 50), bar(INT_MAX, 0, 50, 22, true), bar(INT_MAX, 5, 50)},
         horzDock(300, true),
         {{(1 << 30) - 1, 250}, {(1 << 30), 0}, {(1 << 30) + 1, 5}},
         {},
         78},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<TDockBarRecord> bars = c.in;
        if (c.prm.Orientation == doVert)
            for (auto& b : bars) b.RowSize = b.Width;
        const TDockLayoutResult res = LayOutBarRecords(bars, c.prm);
        EXPECT_EQ(res.Thickness, c.thickness);
        ASSERT_EQ(bars.size(), c.rowPos.size());
        for (size_t i = 0; i < bars.size(); ++i) {
            EXPECT_EQ(bars[i].DockRow, c.rowPos[i].first) << i;
            EXPECT_EQ(bars[i].DockPos, c.rowPos[i].second) << i;
            if (i < c.bounds.size() && bars[i].Shown) {
                EXPECT_EQ(bars[i].Bounds, c.bounds[i]) << i;
            }
        }
    }
}

// Rows 0 and 3: one layout leaves 0 and 2, the next 0 and 1 (one of two neighbouring empty
// rows goes per layout).
TEST(DockLayout, EmptyRowsGoHalfAtATime) {
    std::vector<TDockBarRecord> bars = {bar(0, 0, 50), bar(3, 0, 50)};
    LayOutBarRecords(bars, horzDock(300));
    EXPECT_EQ(bars[1].DockRow, 2);
    LayOutBarRecords(bars, horzDock(300));
    EXPECT_EQ(bars[1].DockRow, 1);
    LayOutBarRecords(bars, horzDock(300));
    EXPECT_EQ(bars[1].DockRow, 1);
}

// Random docks of small rows agree with the row-by-row walk in every output.
TEST(DockLayout, AgreesWithTheRowWalk) {
    std::mt19937 rng(17);
    for (int round = 0; round < 3000; ++round) {
        const int n = int(rng() % 6);
        std::vector<TDockBarRecord> bars;
        for (int i = 0; i < n; ++i) {
            const int w = 10 + int(rng() % 120), h = 4 + int(rng() % 30);
            TDockBarRecord b =
                bar(int(rng() % 9), int(rng() % 400) - 50, w, h, rng() % 5 == 0, rng() % 6 != 0);
            b.Tag = i;
            bars.push_back(b);
        }
        TDockLayoutParams prm = horzDock(int(rng() % 320));
        if (rng() % 2) prm.Orientation = doVert;
        prm.ClipPositions = rng() % 2;
        prm.LimitToOneRow = rng() % 7 == 0;
        std::vector<TDockBarRecord> expect = bars;
        // Both sort by row and position; keys made unique so both orders are the same.
        for (auto& b : bars) b.DockPos = b.DockPos * 16 + b.Tag;
        for (auto& b : expect) b.DockPos = b.DockPos * 16 + b.Tag;
        const TDockLayoutResult want = walkRows(expect, prm);
        const TDockLayoutResult got = LayOutBarRecords(bars, prm);
        SCOPED_TRACE(round);
        ASSERT_EQ(got.Thickness, want.Thickness);
        ASSERT_EQ(got.RowSizes, want.RowSizes);
        ASSERT_EQ(bars.size(), expect.size());
        for (size_t i = 0; i < bars.size(); ++i) {
            ASSERT_EQ(bars[i].Tag, expect[i].Tag) << i;
            ASSERT_EQ(bars[i].DockRow, expect[i].DockRow) << i;
            ASSERT_EQ(bars[i].DockPos, expect[i].DockPos) << i;
            if (bars[i].Shown) {
                ASSERT_EQ(bars[i].Bounds, expect[i].Bounds) << i;
            }
        }
    }
}

// Rows 22 and 30 thick (26 and 34 with their gaps), the highest row 1.
TEST(DockLayout, RowsAtOffsetsAtTheirBorders) {
    const std::map<int, int> sizes = {{0, 22}, {1, 30}};
    struct RowCase {
        int offset, row;
    };
    for (auto [offset, row] :
         std::vector<RowCase>{{-1, 0}, {0, 0}, {25, 0}, {26, 1}, {59, 1}, {60, 2}, {INT_MAX, 2}})
        EXPECT_EQ(RowAtOffsetOf(sizes, 1, offset), row) << offset;
    struct DropCase {
        int offset, row;
        bool newRow;
    };
    const std::vector<DropCase> drops = {{INT_MIN, 0, true}, {-3, 0, true}, {4, 0, true},  {5, 0, false},
                                         {20, 0, false},     {21, 1, true}, {30, 1, true}, {31, 1, false},
                                         {54, 1, false},     {55, 2, true}, {64, 2, true}, {65, 2, false},
                                         {INT_MAX, 2, false}};
    for (const DropCase& d : drops) {
        bool newRow = !d.newRow;
        EXPECT_EQ(DropRowAtOffsetOf(sizes, 1, d.offset, newRow), d.row) << d.offset;
        EXPECT_EQ(newRow, d.newRow) << d.offset;
    }
    // Empty rows between are skipped; no rows at all: the row past the last is row 0.
    bool newRow = false;
    EXPECT_EQ(DropRowAtOffsetOf({{0, 22}, {5, 8}}, 5, 30, newRow), 5);
    EXPECT_TRUE(newRow);
    EXPECT_EQ(DropRowAtOffsetOf({}, -1, 100, newRow), 0);
    EXPECT_FALSE(newRow);
    EXPECT_EQ(RowAtOffsetOf({}, -1, 0), 0);
}

// ---------------------------------------------------------------- real docks

namespace {
class TestBar : public TCustomToolWindowPv {
public:
    // `w` x `h` is what the bar needs; the dock makes it as thick as its row.
    TestBar(QWidget* dock, int w, int h, int row = 0, int pos = -1)
        : TCustomToolWindowPv(nullptr), FNeed(w, h) {
        resize(w, h);
        SetDockRow(row);
        SetDockPos(pos);
        setParent(dock);
        show();
    }
    int RowSize(TDockOrientation o) const override { return o == doVert ? FNeed.width() : FNeed.height(); }
    QSize FNeed;
};

struct Form {
    bool ready = (app(), true);
    QWidget form;
    TDockPv* top;
    TDockPv* bottom;
    TDockPv* left;
    Form() {
        app();
        form.resize(400, 300);
        top = new TDockPv(&form, dpTop);
        bottom = new TDockPv(&form, dpBottom);
        left = new TDockPv(&form, dpLeft);
        form.show();
        app().processEvents();
    }
};
} // namespace

TEST(Dock, EmptyDockThickness) {
    Form f;
    EXPECT_EQ(f.top->height(), 0);
    EXPECT_EQ(f.left->width(), 0);
    f.top->SetFixAlign(true);
    EXPECT_EQ(f.top->height(), 1);
    EXPECT_EQ(f.top->width(), 400);
    EXPECT_EQ(QString(f.top->Version()), "ToolbarPv version 1.76");
}

TEST(Dock, BarsOnRealDocks) {
    Form f;
    std::vector<std::pair<bool, TCustomToolWindowPv*>> events;
    f.top->OnInsertRemoveBar = [&](TDockPv*, bool in, TCustomToolWindowPv* b) { events.push_back({in, b}); };
    auto* a = new TestBar(f.top, 120, 22, 0, 0);
    auto* full = new TestBar(f.top, 80, 26, 0, 30);
    full->SetFullSize(true);
    // The full-size bar keeps row 0 across the dock; the other goes to the next row.
    EXPECT_EQ(full->DockRow(), 0);
    EXPECT_EQ(a->DockRow(), 1);
    EXPECT_EQ(full->geometry(), QRect(0, 0, 400, 30));
    EXPECT_EQ(a->geometry(), QRect(0, 30, 120, 26));
    EXPECT_EQ(f.top->height(), 56);
    EXPECT_EQ(f.top->RowAtOffset(29), 0);
    EXPECT_EQ(f.top->RowAtOffset(30), 1);
    EXPECT_EQ(f.top->BarCountInRow(1, nullptr), 1);
    EXPECT_EQ(f.top->BarCountInRow(1, a), 0);
    EXPECT_EQ(f.top->GetRowSize(1, nullptr), 22);
    EXPECT_EQ(f.top->GetRowSize(7, a), 22);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(events[0].first);

    // Hidden: it leaves the visible list and the dock closes up.
    full->hide();
    EXPECT_EQ(events.size(), 3u);
    EXPECT_FALSE(events.back().first);
    EXPECT_EQ(f.top->VisibleBarList().size(), 1u);
    EXPECT_EQ(f.top->height(), 26);
    EXPECT_EQ(a->geometry(), QRect(0, 0, 120, 26));
    delete full;
    EXPECT_EQ(f.top->BarList().size(), 1u);
    EXPECT_EQ(f.top->HighestRow(), 1);

    // Beyond the end: shown pulled back, stored as set until a layout clips.
    a->SetDockPos(1000);
    EXPECT_EQ(a->x(), 280);
    EXPECT_EQ(a->DockPos(), 1000);
    f.top->LayOutBars(true);
    EXPECT_EQ(a->DockPos(), 280);

    // Rows after an insert: everything from the row on moves down one.
    f.top->InsertRowBefore(0);
    EXPECT_EQ(a->DockRow(), 1);
    EXPECT_EQ(f.top->HighestRow(), 1);

    // Layout waits while disabled.
    f.top->DisableLayout();
    a->SetDockPos(0);
    EXPECT_EQ(a->x(), 280);
    f.top->EnableLayout();
    EXPECT_EQ(a->x(), 0);
    EXPECT_TRUE(f.top->HasVisibleBars());
}

TEST(Dock, RowsCloseUpAndAnyNumbersLayOutAtOnce) {
    Form f;
    auto* a = new TestBar(f.top, 100, 22, 0, 0);
    auto* b = new TestBar(f.top, 100, 22, 3, 0);
    // Rows 0 and 3: 0 and 2 after one layout, 0 and 1 after the next.
    EXPECT_EQ(b->DockRow(), 2);
    f.top->LayOutBars(false);
    EXPECT_EQ(b->DockRow(), 1);
    EXPECT_EQ(b->geometry(), QRect(0, 26, 100, 26));
    EXPECT_EQ(f.top->height(), 52);
    // The largest and smallest numbers: no walk over empty rows, no overflow.
    b->SetDockRow(INT_MAX);
    b->SetDockPos(INT_MAX);
    a->SetDockRow(INT_MIN);
    a->SetDockPos(INT_MIN);
    EXPECT_EQ(a->DockRow(), 0);
    EXPECT_EQ(a->DockPos(), 0);
    EXPECT_EQ(b->DockPos(), INT_MAX);
    EXPECT_EQ(b->geometry(), QRect(300, 26, 100, 26));
    EXPECT_EQ(f.top->height(), 52);
    f.top->InsertRowBefore(0);
    EXPECT_LE(b->DockRow(), INT_MAX);
    f.top->LayOutBars(true);
    EXPECT_EQ(b->DockPos(), 300);
    bool newRow = false;
    EXPECT_EQ(f.top->DropRowAtOffset(INT_MAX, newRow), f.top->HighestRow() + 1);
}

TEST(Dock, BottomDockGrowsUpwardsAndBoundLines) {
    Form f;
    f.bottom->SetBoundLines(blTop | blBottom);
    auto* b = new TestBar(f.bottom, 100, 22);
    // Its bottom stays at the form's edge.
    EXPECT_EQ(f.bottom->geometry(), QRect(0, 300 - 28, 400, 28));
    EXPECT_EQ(b->geometry(), QRect(0, 1, 100, 26));
    new TestBar(f.bottom, 100, 22, 1);
    EXPECT_EQ(f.bottom->geometry(), QRect(0, 300 - 54, 400, 54));
    EXPECT_EQ(f.bottom->geometry().bottom(), 299);

    // The lines: shadow on top, highlight at the bottom.
    app().processEvents();
    const QImage img = f.bottom->grab().toImage();
    EXPECT_EQ(ctltest::px(img, 200, 0), ctltest::kShadow);
    EXPECT_EQ(ctltest::px(img, 200, img.height() - 1), ctltest::kHighlight);
}

TEST(Dock, VerticalDockAndPositionErrors) {
    Form f;
    auto* b = new TestBar(f.left, 24, 100, 0, 50);
    EXPECT_EQ(f.left->width(), 28);
    EXPECT_EQ(b->geometry(), QRect(0, 50, 28, 100));
    EXPECT_EQ(GetDockPositionOfControl(b), dpLeft);
    QWidget inner(b);
    EXPECT_EQ(GetDockPositionOfControl(&inner), dpLeft);
    EXPECT_EQ(GetDockPositionOfControl(&f.form), kNoDockPosition);

    // Position can change only while the dock holds nothing; the same value always.
    EXPECT_NO_THROW(f.left->SetPosition(dpLeft));
    try {
        f.left->SetPosition(dpRight);
        FAIL() << "no error";
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "Cannot change Position of a TDockPv if it already contains controls");
    }
    f.top->SetPosition(dpRight);
    EXPECT_EQ(f.top->Orientation(), doVert);

    // A dock inside a dock or a tool window.
    for (QWidget* parent : {static_cast<QWidget*>(f.left), static_cast<QWidget*>(b)}) {
        try {
            TDockPv inner2(parent);
            FAIL() << "no error";
        } catch (const EInvalidOperation& e) {
            EXPECT_STREQ(e.what(),
                         "A TDockPv control cannot be placed inside a tool window or another TDockPv");
        }
        EXPECT_THROW(f.bottom->SetParent(parent), EInvalidOperation);
    }
}

TEST(Dock, BackgroundTilesFromTheFormOrigin) {
    Form f;
    QImage tile(4, 4, QImage::Format_RGB32);
    tile.fill(Qt::red);
    tile.setPixel(0, 0, qRgb(0, 255, 0));
    tile.setPixel(0, 3, qRgb(0, 0, 255)); // bottom-left: the transparent colour
    f.left->SetBackground(QPixmap::fromImage(tile));
    new TestBar(f.left, 24, 100, 0, 50);
    f.left->move(0, 2); // a dock 2 pixels down the form: its pattern starts 2 rows in
    app().processEvents();
    QImage img = f.left->grab().toImage();
    EXPECT_EQ(ctltest::px(img, 0, 2), QColor(0, 255, 0));
    EXPECT_EQ(ctltest::px(img, 0, 1), QColor(0, 0, 255));
    f.left->SetBackgroundTransparent(true);
    img = f.left->grab().toImage();
    EXPECT_EQ(ctltest::px(img, 0, 1), ctltest::kFace);
    EXPECT_EQ(ctltest::px(img, 0, 2), QColor(0, 255, 0));
    f.left->SetColor(0x0000FF); // red in $00BBGGRR
    img = f.left->grab().toImage();
    EXPECT_EQ(ctltest::px(img, 0, 1), QColor(255, 0, 0));
}

// ---------------------------------------------------------------- services

namespace {
std::vector<std::pair<THookProcCode, QObject*>> heard;
void hookA(THookProcCode c, QObject* w, QEvent*, int) {
    heard.push_back({c, w});
}
void hookB(THookProcCode c, QObject* w, QEvent*, int) {
    heard.push_back({c, w});
}
void hookThrows(THookProcCode, QObject*, QEvent*, int) {
    throw std::runtime_error("callback failed");
}
} // namespace

TEST(Services, HookCounts) {
    app();
    RegisterHookCallback(hookA, (1u << hkActivateAppSent) | (1u << hkWindowPosChangedSent));
    EXPECT_EQ(HookUseCount(hiCallWndProc), 1);
    EXPECT_TRUE(HookInstalled(hiCallWndProc));
    EXPECT_FALSE(HookInstalled(hiCBT));
    RegisterHookCallback(hookB, 1u << hkBeforeDestroy);
    RegisterHookCallback(hookA, (1u << hkActivateAppSent) | (1u << hkWindowPosChangedSent));
    EXPECT_EQ(HookCallbackRefCount(hookA), 2);
    EXPECT_EQ(HookCallbackCount(), 2);
    EXPECT_EQ(HookUseCount(hiCallWndProc), 2);
    EXPECT_EQ(HookUseCount(hiCBT), 1);
    UnregisterHookCallback(hookA);
    EXPECT_EQ(HookCallbackRefCount(hookA), 1);
    EXPECT_EQ(HookUseCount(hiCallWndProc), 1);
    EXPECT_TRUE(HookInstalled(hiCallWndProc));
    UnregisterHookCallback(hookA);
    EXPECT_EQ(HookCallbackRefCount(hookA), 0);
    EXPECT_FALSE(HookInstalled(hiCallWndProc));
    UnregisterHookCallback(hookB);
    EXPECT_EQ(HookCallbackCount(), 0);
    EXPECT_FALSE(HookInstalled(hiCBT));
    // Registering without installing leaves the hooks alone, also when it goes.
    RegisterHookCallback(hookA, 1u << hkMouseMovePosted, true);
    EXPECT_EQ(HookUseCount(hiGetMessage), 0);
    EXPECT_FALSE(HookInstalled(hiGetMessage));
    UnregisterHookCallback(hookA);
    EXPECT_EQ(HookUseCount(hiGetMessage), 0);
    // Finalisation removes all whatever their counts.
    RegisterHookCallback(hookA, 1u << hkMouseMovePosted);
    RegisterHookCallback(hookB, 1u << hkMouseMovePosted);
    FinalizeHooks();
    EXPECT_FALSE(HookInstalled(hiGetMessage));
    EXPECT_EQ(HookUseCount(hiGetMessage), 0);
    EXPECT_EQ(HookCallbackCount(), 0);
}

TEST(Services, HooksHearWindowsAndTheMouse) {
    app();
    heard.clear();
    RegisterHookCallback(hookThrows, 1u << hkWindowPosChangedSent);
    RegisterHookCallback(hookA, (1u << hkWindowPosChangedSent) | (1u << hkBeforeDestroy) |
                                    (1u << hkMouseMovePosted));
    auto* w = new QWidget;
    w->resize(100, 80);
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    // A throwing callback is passed over; the next still hears the window.
    auto count = [&](THookProcCode c, QObject* o) {
        return std::count(heard.begin(), heard.end(), std::make_pair(c, o));
    };
    EXPECT_GE(count(hkWindowPosChangedSent, w), 1);
    ctltest::hover(w, QPoint(10, 10));
    ctltest::hover(w, QPoint(20, 20));
    EXPECT_GE(count(hkMouseMovePosted, w), 1);
    QObject* gone = w;
    delete w;
    EXPECT_EQ(count(hkBeforeDestroy, gone), 1);
    UnregisterHookCallback(hookA);
    UnregisterHookCallback(hookThrows);
    const size_t before = heard.size();
    QWidget w2;
    w2.show();
    app().processEvents();
    EXPECT_EQ(heard.size(), before);
}

namespace {
std::vector<int> states;
void hookState(THookProcCode c, QObject*, QEvent*, int state) {
    if (c == hkActivateAppSent) states.push_back(state);
}
} // namespace

TEST(Services, HookHearsTheApplicationGoActiveAndInactive) {
    app();
    states.clear();
    RegisterHookCallback(hookState, 1u << hkActivateAppSent);
    // What the window system tells the application when its windows gain or lose activity.
    QEvent activate(QEvent::ApplicationActivate), deactivate(QEvent::ApplicationDeactivate);
    QCoreApplication::sendEvent(qApp, &deactivate);
    QCoreApplication::sendEvent(qApp, &activate);
    UnregisterHookCallback(hookState);
    QCoreApplication::sendEvent(qApp, &deactivate);
    EXPECT_EQ(states, (std::vector<int>{Qt::ApplicationInactive, Qt::ApplicationActive}));
}

TEST(Services, SortPointerList) {
    int v[] = {5, 3, 9, 1, 5, 7, 2, 8, 0, 6, 4};
    std::vector<void*> list;
    for (int& x : v) list.push_back(&x);
    int calls = 0;
    SortPointerList(
        list,
        [](const void* a, const void* b, void* extra) {
            ++*static_cast<int*>(extra);
            return *static_cast<const int*>(a) - *static_cast<const int*>(b);
        },
        &calls);
    for (size_t i = 1; i < list.size(); ++i)
        EXPECT_LE(*static_cast<int*>(list[i - 1]), *static_cast<int*>(list[i]));
    EXPECT_GT(calls, 0);
    // 0 and 1 items: untouched, never compared.
    std::vector<void*> one = {&v[0]};
    calls = 0;
    SortPointerList(
        one, [](const void*, const void*, void* e) { return ++*static_cast<int*>(e); }, &calls);
    EXPECT_EQ(calls, 0);
}

TEST(Services, FormsAndWindows) {
    app();
    QWidget form;
    form.setObjectName("Form1");
    auto* child = new QWidget(&form);
    child->setObjectName("Panel1");
    auto* grandChild = new QWidget(child);
    EXPECT_EQ(OwningFormOf(grandChild), &form);
    EXPECT_EQ(RequireOwningForm(child), &form);
    EXPECT_EQ(MDIParentOf(&form), &form);
    QWidget alone;
    alone.setObjectName("Edit1");
    EXPECT_EQ(OwningFormOf(&alone), nullptr);
    try {
        RequireOwningForm(&alone);
        FAIL() << "no error";
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "Element 'Edit1' hat kein übergeordnetes Fenster");
    }
    QWidget onTop(nullptr, Qt::WindowStaysOnTopHint);
    onTop.show();
    EXPECT_EQ(FindTopLevelWindowExcept(nullptr), &onTop);
    form.show();
    EXPECT_EQ(FindTopLevelWindowExcept(nullptr), &form);
    EXPECT_EQ(FindTopLevelWindowExcept(&form), &onTop);
    form.setEnabled(false);
    EXPECT_EQ(FindTopLevelWindowExcept(nullptr), &onTop);
    EXPECT_GT(ToolCaptionHeight(), 0);
    FlushPaintMessages();
}

TEST(Services, ScreenOfARect) {
    const std::vector<QRect> screens = {QRect(0, 0, 1024, 768), QRect(1024, 0, 800, 600)};
    struct Case {
        QRect r;
        int screen;
    };
    const std::vector<Case> cases = {
        {QRect(10, 10, 100, 100), 0},
        {QRect(1000, 10, 100, 100), 1}, // more on the right one
        {QRect(974, 10, 100, 100), 0},  // an even split goes to the first
        {QRect(-500, 100, 50, 50), 0},  // off every screen: the nearest
        {QRect(5000, 100, 50, 50), 1},
        {QRect(1100, 700, 10, 10), 0}, // below the smaller screen: nearer the tall one
        {QRect(1500, 620, 10, 10), 1},
        {QRect(INT_MIN / 2, INT_MIN / 2, 10, 10), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScreenIndexOfRect(screens, c.r), c.screen) << c.r.x() << "," << c.r.y();
    EXPECT_EQ(ScreenIndexOfRect({}, QRect(0, 0, 1, 1)), -1);
}

TEST(TwoScreens, WorkAreas) {
    app();
    if (QGuiApplication::screens().size() < 2)
        GTEST_SKIP() << "one screen; run with the two-screen configuration";
    EXPECT_EQ(GetDesktopWorkArea(), QRect(0, 0, 1024, 768));
    EXPECT_EQ(GetWorkAreaOfRect(QRect(1000, 10, 100, 100)), QRect(1024, 0, 800, 600));
    EXPECT_EQ(GetWorkAreaOfRect(QRect(10, 10, 100, 100)), QRect(0, 0, 1024, 768));
    EXPECT_EQ(GetWorkAreaOfPoint(QPoint(5000, 10)), QRect(1024, 0, 800, 600));
    EXPECT_EQ(GetWorkAreaOfPoint(QPoint(-40, 300)), QRect(0, 0, 1024, 768));
    // A window placed on the right screen is there: nothing moves it.
    QWidget w;
    w.setGeometry(1100, 50, 200, 100);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(w.screen()->geometry(), QRect(1024, 0, 800, 600));
    EXPECT_EQ(GetWorkAreaOfRect(w.frameGeometry()), QRect(1024, 0, 800, 600));
}
