#include "controls/Banner.h"

#include <QFontMetrics>
#include <QPainter>

TBanner::TBanner(QWidget* parent) : QWidget(parent) {
    resize(100, 100);
    setAttribute(Qt::WA_OpaquePaintEvent);
    FTimer.setInterval(200);
    connect(&FTimer, &QTimer::timeout, this, &TBanner::Tick);
}

void TBanner::SetEnabled(bool value) {
    if (value && !HasContent()) {
        if (FLines.isEmpty() && FScrollText.isEmpty())
            throw EBannerError("Assign a bitmap or text to banner before enabling");
        if (FLines.isEmpty())
            RenderText(false);
        else
            RenderLines(false);
    }
    if (!value && FRendered) {
        FBitmap = QImage();
        FRendered = false;
    }
    FEnabled = value;
    if (value)
        FTimer.start();
    else
        FTimer.stop();
    if (value && OnEnable) OnEnable(this);
    if (!value && OnDisable) OnDisable(this);
}

void TBanner::SetBitmap(const QImage& image) {
    FBitmap = image;
    FRendered = false;
    FLines.clear();
    if (AutoEnable && image.width() > 0) SetEnabled(true);
    update();
}

void TBanner::SetLines(const QStringList& lines) {
    FLines = lines;
    RenderLines(true);
}

void TBanner::SetLinesAlign(TAlignment a) {
    FLinesAlign = a;
    if (!FLines.isEmpty()) RenderLines(true);
}

void TBanner::SetScrollText(const QString& text) {
    FScrollText = text;
    RenderText(true);
}

void TBanner::SetScrollInterval(int ms) {
    FTimer.setInterval(ms < 0 ? 0 : (ms > 65535 ? 65535 : ms));
}

void TBanner::SetScrollDirection(TScrollDirection d) {
    const bool wasHorizontal = Horizontal();
    const TScrollDirection old = FDirection;
    FDirection = d;
    if (d == old) return;
    if (wasHorizontal != Horizontal())
        FPosition = Horizontal() ? FBitmap.width() : FBitmap.height();
    else
        FPosition = ContentSize() + ControlSize() - FPosition; // reversed: the content stays put
    update();
}

void TBanner::RenderText(bool allowAutoEnable) {
    if (FEnabled) SetEnabled(false);
    FLines.clear();
    QFontMetrics fm(font());
    const int w = fm.horizontalAdvance(FScrollText), h = fm.height();
    if (w <= 0 || h <= 0) {
        FBitmap = QImage();
        return;
    }
    FBitmap = QImage(w, h, QImage::Format_RGB32);
    FBitmap.fill(Color);
    QPainter p(&FBitmap);
    p.setFont(font());
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(0, fm.ascent(), FScrollText);
    p.end();
    FRendered = true;
    if (allowAutoEnable && AutoEnable) SetEnabled(true);
    update();
}

void TBanner::RenderLines(bool allowAutoEnable) {
    const bool was = FEnabled;
    if (FEnabled) SetEnabled(false);
    QFontMetrics fm(font());
    int widest = 0;
    for (const auto& l : FLines) widest = std::max(widest, fm.horizontalAdvance(l));
    const int lineHeight = fm.height();
    const int height = static_cast<int>(FLines.size()) * lineHeight;
    if (widest <= 0 || height <= 0) {
        FBitmap = QImage();
        return;
    }
    FBitmap = QImage(widest, height, QImage::Format_RGB32);
    FBitmap.fill(Color);
    QPainter p(&FBitmap);
    p.setFont(font());
    p.setPen(palette().color(QPalette::WindowText));
    for (int i = 0; i < FLines.size(); ++i) {
        const int w = fm.horizontalAdvance(FLines[i]);
        const int x = FLinesAlign == taLeftJustify
                          ? 0
                          : (FLinesAlign == taRightJustify ? widest - w : (widest - w) / 2);
        p.drawText(x, i * lineHeight + fm.ascent(), FLines[i]);
    }
    p.end();
    FRendered = true;
    if (allowAutoEnable && (was || AutoEnable)) SetEnabled(true);
    update();
}

void TBanner::Tick() {
    FPosition += ScrollPixels;
    const int content = ContentSize();
    if (NoGap) {
        // An empty content would never bring the position down: start over instead.
        if (content <= 0)
            FPosition = 0;
        else if (FPosition > content)
            FPosition = (FPosition - 1) % content + 1;
    } else if (FPosition > content + ControlSize()) {
        if (OnlyOnce)
            SetEnabled(false);
        else
            FPosition = 0;
    }
    update();
    if (OnScroll) OnScroll(this);
}

QPoint TBanner::ContentOrigin() const {
    const int w = FBitmap.width(), h = FBitmap.height();
    const int p = FPosition;
    switch (FDirection) {
    case sdRightToLeft:
        return NoGap ? QPoint(w > 0 ? -(p % w) : 0, 0) : QPoint(width() - p, 0);
    case sdLeftToRight:
        return NoGap ? QPoint(w > 0 ? p % w - w : 0, 0) : QPoint(p - w, 0);
    case sdTopToBottom:
        return NoGap ? QPoint(0, h > 0 ? p % h - h : 0) : QPoint(0, p - h);
    case sdBottomToTop:
        return NoGap ? QPoint(0, h > 0 ? -(p % h) : 0) : QPoint(0, height() - p);
    }
    return {};
}

void TBanner::paintEvent(QPaintEvent*) {
    QPainter out(this);
    QImage frame(size(), QImage::Format_RGB32);
    frame.fill(Color);
    if (HasContent() && isVisible()) {
        QPainter p(&frame);
        const QPoint o = ContentOrigin();
        if (!NoGap) {
            p.drawImage(o, FBitmap);
        } else if (Horizontal()) {
            for (int x = o.x(); x < width(); x += FBitmap.width()) p.drawImage(QPoint(x, o.y()), FBitmap);
        } else {
            for (int y = o.y(); y < height(); y += FBitmap.height()) p.drawImage(QPoint(o.x(), y), FBitmap);
        }
    }
    out.drawImage(0, 0, frame);
}
