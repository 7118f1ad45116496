// The scrolling banner, stepped by direct ticks.
#include <gtest/gtest.h>

#include "controls/Banner.h"
#include "controltest.h"

using namespace ctltest;

TEST(Banner, EnablingWithNothingToShowRaises) {
    app();
    TBanner b;
    try {
        b.SetEnabled(true);
        FAIL() << "no error";
    } catch (const EBannerError& e) {
        EXPECT_STREQ(e.what(), "Assign a bitmap or text to banner before enabling");
    }
    EXPECT_FALSE(b.Enabled());
}

TEST(Banner, OnlyOnceDisablesAfterTheContentHasPassed) {
    app();
    TBanner b;
    b.resize(100, 20);
    QImage img(30, 10, QImage::Format_RGB32);
    img.fill(Qt::red);
    int disabled = 0, scrolled = 0;
    b.OnDisable = [&](TBanner*) { ++disabled; };
    b.OnScroll = [&](TBanner*) { ++scrolled; };
    b.OnlyOnce = true;
    b.ScrollPixels = 10;
    b.SetBitmap(img); // AutoEnable
    ASSERT_TRUE(b.Enabled());
    for (int i = 0; i < 13; ++i) b.Tick(); // 130 = content + control: not yet past
    EXPECT_TRUE(b.Enabled());
    b.Tick();
    EXPECT_FALSE(b.Enabled());
    EXPECT_EQ(disabled, 1);
    EXPECT_EQ(scrolled, 14);
}

TEST(Banner, CentredLinesAndAGrab) {
    app();
    TBanner b;
    b.resize(200, 120);
    b.Color = Qt::white;
    b.AutoEnable = false;
    b.SetLines({"W", "WWW", "WW"});
    const QFontMetrics fm(b.font());
    const int widest = fm.horizontalAdvance("WWW");
    ASSERT_EQ(b.Bitmap().width(), widest);
    EXPECT_EQ(b.Bitmap().height(), 3 * fm.height());
    // The shortest line starts half the width difference to the right: nothing of it left
    // of that column in its row.
    const int start = (widest - fm.horizontalAdvance("W")) / 2;
    bool inkLeft = false, inkAt = false;
    for (int y = 0; y < fm.height(); ++y) {
        for (int x = 0; x < start; ++x) inkLeft |= b.Bitmap().pixelColor(x, y) != Qt::white;
        for (int x = start; x < start + fm.horizontalAdvance("W"); ++x)
            inkAt |= b.Bitmap().pixelColor(x, y) != Qt::white;
    }
    EXPECT_FALSE(inkLeft);
    EXPECT_TRUE(inkAt);
    b.SetScrollDirection(sdBottomToTop);
    b.SetPosition(b.height());
    b.show();
    const QImage shot = b.grab().toImage();
    EXPECT_TRUE(shot.save(QString::fromStdString(shotPath("banner_lines.png"))));
    bool ink = false;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) ink |= shot.pixelColor(x, y) != Qt::white;
    EXPECT_TRUE(ink);
}

TEST(Banner, ReversingMidWayKeepsTheContentWhereItIs) {
    app();
    TBanner b;
    b.resize(100, 20);
    QImage img(40, 10, QImage::Format_RGB32);
    img.fill(Qt::blue);
    b.SetBitmap(img);
    b.SetPosition(55);
    const QPoint before = b.ContentOrigin();
    b.SetScrollDirection(sdLeftToRight);
    EXPECT_EQ(b.ContentOrigin(), before);
    b.SetScrollDirection(sdTopToBottom); // another axis starts with the content just outside
    EXPECT_EQ(b.Position(), 10);
}

TEST(Banner, NoGapWithEmptyContentNeverLoops) {
    app();
    TBanner b;
    b.NoGap = true;
    b.SetPosition(70000); // beyond 16 bits: no wrap
    b.Tick();
    EXPECT_EQ(b.Position(), 0);
    QImage img(30, 10, QImage::Format_RGB32);
    img.fill(Qt::red);
    b.SetBitmap(img);
    b.SetPosition(70000);
    b.Tick();
    EXPECT_GT(b.Position(), 0);
    EXPECT_LE(b.Position(), 30);
}
