// The flat button and the two flat edits, grabbed idle, under the mouse and focused: which
// palette colour lies at each pixel of their frames. Also the gauges and the link label.
#include <QDesktopServices>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QTest>
#include <QUrl>
#include <QVBoxLayout>
#include <climits>
#include <gtest/gtest.h>

#include "controls/ExtProgressBar.h"
#include "controls/OfficeEdit.h"
#include "controls/RarBar.h"
#include "controls/TBPvCtls.h"
#include "controls/URLLabel.h"
#include "controls/Win2KButton.h"
#include "controltest.h"

using namespace ctltest;

namespace {

// A window with the three flat controls and a plain edit that takes the focus elsewhere.
struct FlatForm {
    bool ready = (app(), true);
    QWidget form;
    TWin2KButton* button;
    TOfficeEdit* office;
    TEditPv* edit1;
    TEditPv* edit2;
    QLineEdit* plain;
    QWidget* empty; // a place for the mouse over nothing
    FlatForm() {
        auto* l = new QVBoxLayout(&form);
        button = new TWin2KButton("&Cancel", &form);
        button->setFixedSize(75, 25);
        office = new TOfficeEdit(&form);
        office->setFixedWidth(120);
        edit1 = new TEditPv(&form);
        edit1->setFixedWidth(120);
        edit2 = new TEditPv(&form);
        edit2->setFixedWidth(120);
        plain = new QLineEdit(&form);
        empty = new QWidget(&form);
        empty->setFixedSize(50, 30);
        for (QWidget* w :
             {static_cast<QWidget*>(button), static_cast<QWidget*>(office), static_cast<QWidget*>(edit1),
              static_cast<QWidget*>(edit2), static_cast<QWidget*>(plain), empty})
            l->addWidget(w);
        form.show();
        form.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
        focus(plain);
        hover(empty);
    }
    void focus(QWidget* w) {
        w->setFocus();
        app().processEvents();
    }
    void hover(QWidget* w) { ctltest::hover(w); }
};

QImage shot(QWidget* w) {
    return w->grab().toImage();
}

// The frame of an edit at its left edge and top edge, three pixels deep, at mid-height and
// mid-width: {x=0, x=1, x=2} and {y=0, y=1, y=2}; and the right and bottom edges {x=W-1, x=W-2}.
struct EditFrame {
    QColor left[3], top[3], right[2], bottom[2];
};
EditFrame frameOf(QWidget* w) {
    const QImage img = shot(w);
    const int mx = img.width() / 2, my = img.height() / 2;
    EditFrame f;
    for (int i = 0; i < 3; ++i) {
        f.left[i] = px(img, i, my);
        f.top[i] = px(img, mx, i);
    }
    for (int i = 0; i < 2; ++i) {
        f.right[i] = px(img, img.width() - 1 - i, my);
        f.bottom[i] = px(img, mx, img.height() - 1 - i);
    }
    return f;
}

void expectIdle(QWidget* w) {
    const EditFrame f = frameOf(w);
    EXPECT_EQ(f.left[0], kFace);
    EXPECT_EQ(f.left[1], kFace);
    EXPECT_EQ(f.left[2], kWindow);
    EXPECT_EQ(f.top[0], kFace);
    EXPECT_EQ(f.top[1], kFace);
    EXPECT_EQ(f.top[2], kWindow);
    EXPECT_EQ(f.right[0], kFace);
    EXPECT_EQ(f.bottom[1], kFace);
}

// Sunken: shadow outside top-left, highlight outside bottom-right, the light inner edge
// bottom-right, `inner` the inner line top-left, the window colour inside.
void expectSunken(QWidget* w, const QColor& inner) {
    const EditFrame f = frameOf(w);
    EXPECT_EQ(f.left[0], kShadow);
    EXPECT_EQ(f.top[0], kShadow);
    EXPECT_EQ(f.left[1], inner);
    EXPECT_EQ(f.top[1], inner);
    EXPECT_EQ(f.left[2], kWindow);
    EXPECT_EQ(f.top[2], kWindow);
    EXPECT_EQ(f.right[0], kHighlight);
    EXPECT_EQ(f.bottom[0], kHighlight);
    EXPECT_EQ(f.right[1], kLight);
    EXPECT_EQ(f.bottom[1], kLight);
}

} // namespace

TEST(FlatButton, IdleHotAndFocused) {
    app();
    QImage want;
    {
        // The same button drawn by the standard look in the focused state, for comparison.
        QWidget holder;
        auto* b = new QPushButton("&Cancel", &holder);
        b->setStyle(FlatBaseStyle());
        b->setFixedSize(75, 25);
        holder.show();
        holder.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&holder));
        b->setFocus();
        app().processEvents();
        want = b->grab().toImage();
    }
    FlatForm f;
    const int w = 75, h = 25, mx = w / 2, my = h / 2;
    ASSERT_FALSE(f.button->hasFocus());
    QImage img = shot(f.button);
    // Idle: a shadow line right and bottom, the face colour inside them and over the inner
    // highlight top and left.
    EXPECT_EQ(px(img, w - 1, my), kShadow);
    EXPECT_EQ(px(img, mx, h - 1), kShadow);
    EXPECT_EQ(px(img, w - 2, my), kFace);
    EXPECT_EQ(px(img, mx, h - 2), kFace);
    EXPECT_EQ(px(img, mx, h - 3), kFace);
    EXPECT_EQ(px(img, mx, 1), kFace);
    EXPECT_EQ(px(img, 1, my), kFace);

    f.hover(f.button);
    EXPECT_TRUE(f.button->MouseInside());
    img = shot(f.button);
    EXPECT_EQ(px(img, w - 1, my), QColor(Qt::black));
    EXPECT_EQ(px(img, mx, h - 1), QColor(Qt::black));
    EXPECT_EQ(px(img, w - 2, my), kShadow);
    EXPECT_EQ(px(img, mx, h - 2), kShadow);
    EXPECT_EQ(px(img, mx, 1), kFace);

    // Focused, with the mouse over it: the standard focused look, less its inner highlight.
    f.focus(f.button);
    ASSERT_TRUE(f.button->hasFocus());
    img = shot(f.button);
    ASSERT_EQ(img.size(), want.size());
    int differ = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool innerLine = (y == 1 && x >= 1 && x < w - 1) || (x == 1 && y >= 2);
            const QColor expect = innerLine ? kFace : px(want, x, y);
            if (px(img, x, y) != expect) ++differ;
        }
    EXPECT_EQ(differ, 0);

    f.focus(f.plain);
    f.hover(f.empty);
    EXPECT_FALSE(f.button->MouseInside());
    EXPECT_EQ(px(shot(f.button), w - 1, my), kShadow);
}

TEST(FlatEdits, OfficeEditLooks) {
    FlatForm f;
    EXPECT_EQ(f.office->height(), 21);
    expectIdle(f.office);
    f.hover(f.office);
    expectSunken(f.office, kBtnText); // a black inner line top and left
    f.hover(f.empty);
    expectIdle(f.office);
    f.focus(f.office);
    expectSunken(f.office, kBtnText);
}

TEST(FlatEdits, EditPvLooksAndTheFlatEditClasses) {
    FlatForm f;
    EXPECT_EQ(f.edit1->height(), QFontMetrics(f.edit1->font()).height() + 6);
    EXPECT_EQ(QString(f.edit1->Version()), "ToolbarPv version 1.76");
    expectIdle(f.edit1);
    // Under the mouse while a plain edit has the focus: sunken, a face-coloured inner line.
    f.hover(f.edit1);
    expectSunken(f.edit1, kFace);
    // Under the mouse while another flat edit has the focus: idle.
    f.focus(f.edit2);
    f.hover(f.empty);
    f.hover(f.edit1);
    EXPECT_TRUE(f.edit1->MouseInside());
    expectIdle(f.edit1);
    expectSunken(f.edit2, kFace);
    // Focused itself: sunken.
    f.focus(f.edit1);
    expectSunken(f.edit1, kFace);
    // Disabled: idle, on the face colour.
    f.edit2->setEnabled(false);
    f.hover(f.edit2);
    expectIdle(f.edit2);
    EXPECT_EQ(px(shot(f.edit2), 10, f.edit2->height() / 2), kFace);
    f.edit2->setEnabled(true);
    EXPECT_EQ(px(shot(f.edit2), 10, f.edit2->height() / 2), kWindow);
    // A bigger font makes it taller.
    QFont big = f.edit1->font();
    big.setPixelSize(30);
    f.edit1->setFont(big);
    EXPECT_EQ(f.edit1->height(), QFontMetrics(big).height() + 6);
}

TEST(FlatEdits, ClassListFollowsTheInstances) {
    app();
    auto listed = [] {
        for (const QMetaObject* m : FlatEditClasses())
            if (m == &TEditPv::staticMetaObject) return true;
        return false;
    };
    EXPECT_FALSE(listed());
    {
        TEditPv a, b;
        EXPECT_TRUE(listed());
        EXPECT_TRUE(IsFlatEditClassInstance(&a));
        QLineEdit plain;
        EXPECT_FALSE(IsFlatEditClassInstance(&plain));
    }
    EXPECT_FALSE(listed());
}

TEST(FlatControls, Screenshot) {
    FlatForm f;
    f.office->setText("Office edit");
    f.edit1->setText("Flat edit");
    f.focus(f.edit2);
    f.hover(f.button);
    ASSERT_TRUE(f.form.grab().save(QString::fromStdString(shotPath("flat_controls.png"))));
}

// ---------------------------------------------------------------- gauges

TEST(RarBar, Levels) {
    struct Case {
        int progress, min, max, height, fill, percent;
    };
    const std::vector<Case> cases = {
        {50, 0, 100, 180, 80, 50},
        {0, 0, 100, 180, 0, 0},
        {100, 0, 100, 180, 160, 100},
        {150, 0, 100, 180, 160, 150}, // above Max: full, the percentage shows above 100
        {-20, 0, 100, 180, 0, -20},
        {7, 7, 7, 180, 0, 0}, // Min = Max
        {50, 100, 0, 180, 80, 50},
        {150, 100, 0, 180, 0, -50}, // Max < Min
        {50, 0, 100, 19, 0, 50},
        {50, 0, 100, 0, 0, 0},
        {50, 0, 100, -5, 0, 0},
        {1, 0, 6, 23, 0, 17},
        {5, 0, 6, 23, 2, 83}, // ties go to the even neighbour
        {1, 0, 8, 180, 20, 12},
        {3, 0, 8, 180, 60, 38},
        {INT_MAX, INT_MIN, INT_MAX, 180, 160, 100},
        {INT_MIN, INT_MIN, INT_MAX, 180, 0, 0},
    };
    for (const Case& c : cases) {
        const TRarBarLevel l = RarBarLevel(c.progress, c.min, c.max, c.height);
        EXPECT_EQ(l.Fill, c.fill) << c.progress << " " << c.min << ".." << c.max << " h" << c.height;
        EXPECT_EQ(l.Percent, c.percent) << c.progress << " " << c.min << ".." << c.max << " h" << c.height;
    }
}

TEST(RarBar, Pictures) {
    app();
    TRarBar bar;
    // 60 x 180, wider when the bold "100 %" would not fit beside the column.
    EXPECT_EQ(bar.size(), bar.sizeHint());
    EXPECT_EQ(bar.height(), 180);
    EXPECT_EQ(bar.width(), std::max(60, 33 + QFontMetrics(bar.GaugeFont()).horizontalAdvance("100 %") + 2));
    auto rgb = [](TColor c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); };
    // Empty: the faces in the empty colours; the background in the face colour.
    bar.SetMin(5);
    bar.SetMax(5);
    QImage img = bar.Render();
    EXPECT_EQ(px(img, 7, 90), rgb(bar.EmptyColor1));
    EXPECT_EQ(px(img, 23, 90), rgb(bar.EmptyColor2));
    EXPECT_EQ(px(img, 50, 2), kFace);
    // Full: the filled side colours low down and up top; the percentage in its colour.
    bar.SetMin(0);
    bar.SetMax(100);
    bar.SetProgress(100);
    img = bar.Render();
    EXPECT_EQ(px(img, 7, 150), rgb(bar.FilledSideColor1));
    EXPECT_EQ(px(img, 23, 150), rgb(bar.FilledSideColor2));
    EXPECT_EQ(px(img, 7, 30), rgb(bar.FilledSideColor1));
    auto hasTextColour = [&](const QImage& im) {
        for (int y = 0; y < im.height(); ++y)
            for (int x = 33; x < im.width(); ++x)
                if (px(im, x, y) == rgb(bar.FontColor)) return true;
        return false;
    };
    EXPECT_TRUE(hasTextColour(img));
    // Half: filled below the level, the plain side colours above.
    bar.SetProgress(50);
    img = bar.Render();
    EXPECT_EQ(px(img, 7, 150), rgb(bar.FilledSideColor1));
    EXPECT_EQ(px(img, 7, 40), rgb(bar.SideColor1));
    bar.SetShowPercentage(false);
    EXPECT_FALSE(hasTextColour(bar.Render()));
    // A layout never makes it so narrow that "100 %" loses its sign, in any font.
    bar.SetShowPercentage(true);
    for (int points : {8, 14}) {
        QFont f = bar.GaugeFont();
        f.setPointSize(points);
        bar.SetGaugeFont(f);
        EXPECT_GE(bar.minimumSizeHint().width(), 33 + QFontMetrics(f).horizontalAdvance("100 %")) << points;
    }
    // Too small for a column: drawn without failing.
    for (QSize s : {QSize(60, 19), QSize(60, 1), QSize(1, 1), QSize(0, 0)}) {
        bar.resize(s);
        bar.SetProgress(70);
        EXPECT_FALSE(bar.Render().isNull());
    }
}

TEST(ExtProgressBar, ColoursAndOrientation) {
    app();
    TExtProgressBar bar;
    EXPECT_EQ(bar.Version(), "TExtProgressBar v2.04");
    bar.SetVersion("x");
    EXPECT_EQ(bar.Version(), "TExtProgressBar v2.04");
    bar.setRange(0, 100);
    bar.resize(102, 16);
    bar.setValue(50);
    QImage img = bar.grab().toImage();
    EXPECT_EQ(px(img, 26, 8), kSelection);
    EXPECT_EQ(px(img, 76, 8), kFace);
    EXPECT_EQ(px(img, 0, 8), kShadow);
    bar.SetSelectionColor(0x0000FF);
    bar.SetColor(0x00FF00);
    img = bar.grab().toImage();
    EXPECT_EQ(px(img, 26, 8), QColor(255, 0, 0));
    EXPECT_EQ(px(img, 76, 8), QColor(0, 255, 0));
    bar.setOrientation(Qt::Vertical);
    bar.resize(16, 102);
    img = bar.grab().toImage();
    EXPECT_EQ(px(img, 8, 90), QColor(255, 0, 0));
    EXPECT_EQ(px(img, 8, 10), QColor(0, 255, 0));
    // Out of range and an empty range: no bar beyond the ends, no failure.
    bar.setRange(10, 10);
    EXPECT_EQ(bar.FilledLength(), 0);
    bar.setRange(INT_MIN, INT_MAX);
    bar.setValue(INT_MAX);
    EXPECT_EQ(bar.FilledLength(), 100);
}

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QStringList opened;
    Q_INVOKABLE void open(const QUrl& url) { opened << url.toString(); }
};

TEST(URLLabel, OpensOnAnyButtonAndShowsItsLink) {
    bool ready = (app(), true);
    (void)ready;
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    QWidget form;
    auto* l = new QVBoxLayout(&form);
    auto* label = new TURLLabel(&form);
    label->SetURL("https://example.org/<b>x</b>");
    auto* other = new QWidget(&form);
    other->setFixedSize(40, 20);
    l->addWidget(label);
    l->addWidget(other);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_EQ(label->text(), "https://example.org/<b>x</b>");
    hover(other);
    EXPECT_FALSE(label->font().underline());
    for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton})
        QTest::mouseClick(label, b, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(catcher.opened.size(), 3);
    if (!catcher.opened.isEmpty()) {
        EXPECT_EQ(catcher.opened[0], "https://example.org/%3Cb%3Ex%3C/b%3E");
    }
    hover(label, QPoint(5, 5));
    EXPECT_TRUE(label->font().underline());
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    hover(other);
    EXPECT_FALSE(label->font().underline());
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    QDesktopServices::unsetUrlHandler("https");
}

TEST(Gauges, Screenshot) {
    bool ready = (app(), true);
    (void)ready;
    QWidget form;
    auto* l = new QHBoxLayout(&form);
    for (int p : {0, 35, 100}) {
        auto* bar = new TRarBar(&form);
        bar->setFixedSize(60, 180);
        bar->SetProgress(p);
        l->addWidget(bar);
    }
    auto* col = new QVBoxLayout;
    auto* pb = new TExtProgressBar(&form);
    pb->setRange(0, 100);
    pb->setValue(60);
    pb->setFixedSize(160, 16);
    col->addWidget(pb);
    auto* link = new TURLLabel(&form);
    link->SetURL("https://example.org/");
    col->addWidget(link);
    l->addLayout(col);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    ASSERT_TRUE(form.grab().save(QString::fromStdString(shotPath("gauges.png"))));
}

#include "flat_test.moc"
