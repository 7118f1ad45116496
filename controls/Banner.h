// A banner that scrolls a picture through its area in one of four directions, driven by a
// timer: a picture given by the program, one line of text, or a block of lines rendered
// into a picture. The about box scrolls its credits with it.
#pragma once
#include <QColor>
#include <QImage>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <stdexcept>

#include "controls/PvCommon.h"

enum TScrollDirection { sdRightToLeft, sdLeftToRight, sdTopToBottom, sdBottomToTop };

// Raised when the banner is enabled with nothing to show.
class EBannerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TBanner : public QWidget {
    Q_OBJECT
public:
    explicit TBanner(QWidget* parent = nullptr);

    bool AutoEnable = true;
    bool NoGap = false;
    bool OnlyOnce = false;
    int ScrollPixels = 4;
    QColor Color = Qt::white;
    std::function<void(TBanner*)> OnScroll, OnEnable, OnDisable;

    // Scrolling on or off. Turning it on with no content renders the text or lines, and
    // raises EBannerError when there are none.
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);

    const QImage& Bitmap() const { return FBitmap; }
    void SetBitmap(const QImage& image);
    const QStringList& Lines() const { return FLines; }
    void SetLines(const QStringList& lines);
    TAlignment LinesAlign() const { return FLinesAlign; }
    void SetLinesAlign(TAlignment a);
    const QString& ScrollText() const { return FScrollText; }
    void SetScrollText(const QString& text);
    TScrollDirection ScrollDirection() const { return FDirection; }
    void SetScrollDirection(TScrollDirection d);
    int ScrollInterval() const { return FTimer.interval(); }
    void SetScrollInterval(int ms);

    // Pixels travelled; an int, so contents larger than 64 KiB pixels never wrap it.
    int Position() const { return FPosition; }
    void SetPosition(int p) { FPosition = p; }
    // One step of the timer (public so that tests can drive it without waiting).
    void Tick();
    // Where the content's top-left corner is drawn at the current position (the first copy
    // for NoGap).
    QPoint ContentOrigin() const;

    // 100 x 100, as the control is made; a layout may give it more, never nothing.
    QSize sizeHint() const override { return {100, 100}; }
    QSize minimumSizeHint() const override { return {32, 32}; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    bool Horizontal() const { return FDirection == sdRightToLeft || FDirection == sdLeftToRight; }
    int ContentSize() const { return Horizontal() ? FBitmap.width() : FBitmap.height(); }
    int ControlSize() const { return Horizontal() ? width() : height(); }
    bool HasContent() const { return !FBitmap.isNull() && FBitmap.width() > 0 && FBitmap.height() > 0; }
    void RenderText(bool allowAutoEnable);
    void RenderLines(bool allowAutoEnable);

    QTimer FTimer;
    QImage FBitmap;
    bool FRendered = false; // the content was made from text and goes with disabling
    bool FEnabled = false;
    QStringList FLines;
    TAlignment FLinesAlign = taCenter;
    QString FScrollText;
    TScrollDirection FDirection = sdRightToLeft;
    int FPosition = 0;
};
