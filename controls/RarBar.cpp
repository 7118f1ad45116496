#include "controls/RarBar.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>

namespace {
// Round to the nearest integer, ties to even.
int64_t roundEven(double x) {
    return int64_t(std::nearbyint(x));
}
} // namespace

TRarBarLevel RarBarLevel(int progress, int min, int max, int height) {
    TRarBarLevel l;
    const int room = std::max(0, height - 20);
    if (max == min || height <= 0) return l;
    const double ratio = (double(progress) - min) / (double(max) - min);
    l.Fill = int(std::clamp<int64_t>(roundEven(ratio * room), 0, room));
    l.Percent = int(std::clamp<int64_t>(roundEven(ratio * 100), INT32_MIN, INT32_MAX));
    return l;
}

TRarBar::TRarBar(QWidget* parent) : QWidget(parent) {
    FFont = font();
    FFont.setBold(true);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    resize(sizeHint());
}

QSize TRarBar::sizeHint() const {
    return {minimumSizeHint().width(), std::max(180, minimumSizeHint().height())};
}

QSize TRarBar::minimumSizeHint() const {
    const QFontMetrics fm(FFont);
    // The text stands 33 pixels from the left; the column needs 20 pixels of ends.
    const int text = ShowPercentage() ? fm.horizontalAdvance("100 %") + 2 : 0;
    return {std::max(60, 33 + text), 20 + 2 * fm.height()};
}

void TRarBar::SetMin(int v) {
    FMin = v;
    repaint();
}
void TRarBar::SetMax(int v) {
    FMax = v;
    repaint();
}
void TRarBar::SetProgress(int v) {
    FProgress = v;
    repaint();
}
void TRarBar::SetShowPercentage(bool on) {
    FShowPercentage = on;
    updateGeometry();
    repaint();
}
void TRarBar::SetGaugeFont(const QFont& f) {
    FFont = f;
    updateGeometry();
    update();
}

QImage TRarBar::Render() const {
    const int w = std::max(1, width()), h = std::max(1, height());
    const QPalette& pal = palette();
    auto c = [&](TColor t) { return ColorToQColor(t, pal); };
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c(Color));
    QPainter p(&img);

    // The prism: a top rhombus 30 wide and 10 high whose front corner stands `room` pixels
    // above the bottom corner; faces slant 5 pixels each way.
    const int top = 5, bottom = h - 5; // front corner at the bottom
    const TRarBarLevel level = RarBarLevel(FProgress, FMin, FMax, h);
    auto rhombus = [&](int frontY) {
        return QPolygon(
            {QPoint(0, frontY - 5), QPoint(15, frontY - 10), QPoint(30, frontY - 5), QPoint(15, frontY)});
    };
    auto leftFace = [&](int upperFront, int lowerFront) {
        return QPolygon({QPoint(0, upperFront - 5), QPoint(15, upperFront), QPoint(15, lowerFront),
                         QPoint(0, lowerFront - 5)});
    };
    auto rightFace = [&](int upperFront, int lowerFront) {
        return QPolygon({QPoint(15, upperFront), QPoint(30, upperFront - 5), QPoint(30, lowerFront - 5),
                         QPoint(15, lowerFront)});
    };
    const int topFront = top + 10; // the top face's front corner
    auto fill = [&](const QPolygon& poly, TColor color) {
        p.setPen(QPen(c(color), 1));
        p.setBrush(c(color));
        p.drawPolygon(poly);
    };
    auto outline = [&] {
        p.setPen(QPen(c(LineColor), 1));
        p.setBrush(Qt::NoBrush);
        p.drawPolygon(rhombus(topFront));
        p.drawLine(0, topFront - 5, 0, bottom - 5);
        p.drawLine(15, topFront, 15, bottom);
        p.drawLine(30, topFront - 5, 30, bottom - 5);
    };
    auto bottomEdge = [&](TColor left, TColor right) {
        p.setPen(QPen(c(left), 1));
        p.drawLine(0, bottom - 5, 15, bottom);
        p.setPen(QPen(c(right), 1));
        p.drawLine(15, bottom, 30, bottom - 5);
    };

    p.setRenderHint(QPainter::Antialiasing, false);
    fill(rhombus(topFront), TopColor);
    fill(leftFace(topFront, bottom), SideColor1);
    fill(rightFace(topFront, bottom), SideColor2);
    outline();
    if (level.Fill < 1) {
        fill(leftFace(topFront, bottom), EmptyColor1);
        fill(rightFace(topFront, bottom), EmptyColor2);
        bottomEdge(EmptyFrameColor1, EmptyFrameColor2);
        outline();
    } else {
        const int fillFront = bottom - level.Fill;
        fill(leftFace(fillFront, bottom), FilledSideColor1);
        fill(rightFace(fillFront, bottom), FilledSideColor2);
        // The base: its edge and the row just above it.
        p.setPen(QPen(c(BottomColor), 1));
        p.drawLine(1, bottom - 6, 15, bottom - 1);
        p.drawLine(15, bottom - 1, 29, bottom - 6);
        bottomEdge(BottomFrameColor, BottomFrameColor);
        p.setPen(QPen(c(FilledFrameColor), 1));
        p.setBrush(c(FilledColor));
        p.drawPolygon(rhombus(fillFront));
        outline();
    }
    if (FShowPercentage) {
        const QString text = QString::number(level.Percent) + " %";
        p.setFont(FFont);
        const QFontMetrics fm(FFont);
        // Beside the fill level; near the top it stays inside the control.
        const QRect box(33, std::max(0, bottom - 5 - level.Fill - fm.height()), fm.horizontalAdvance(text),
                        fm.height());
        p.fillRect(box, c(Color));
        p.setPen(c(FontColor));
        p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, text);
    }
    return img;
}

void TRarBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, Render());
}
