#include "controls/Win2KButton.h"

#include <QPainter>

#include "controls/PvCommon.h"

TWin2KButton::TWin2KButton(QWidget* parent) : TFlatHover<QPushButton>(parent) {
    if (QStyle* s = FlatBaseStyle()) setStyle(s);
    setAttribute(Qt::WA_Hover);
}

TWin2KButton::TWin2KButton(const QString& text, QWidget* parent) : TWin2KButton(parent) {
    setText(text);
}

void TWin2KButton::paintEvent(QPaintEvent* e) {
    QPushButton::paintEvent(e);
    QPainter p(this);
    const int w = width(), h = height();
    const QPalette& pal = palette();
    const QColor face = pal.color(QPalette::Button), shadow = pal.color(QPalette::Dark);
    // Lines as a pen draws them from one point to the next, the end point left out.
    auto hline = [&](int x1, int x2, int y, const QColor& c) {
        if (x2 > x1) p.fillRect(QRect(x1, y, x2 - x1, 1), c);
    };
    auto vline = [&](int x, int y1, int y2, const QColor& c) {
        if (y2 > y1) p.fillRect(QRect(x, y1, 1, y2 - y1), c);
    };
    // The standard inner highlight goes in every state.
    hline(1, w - 1, 1, face);
    vline(1, 2, h, face);
    if (hasFocus()) return;
    if (MouseInside()) {
        vline(w - 2, 0, h - 1, shadow);
        hline(0, w - 2, h - 2, shadow);
        vline(w - 1, 0, h, Qt::black);
        hline(0, w - 1, h - 1, Qt::black);
    } else {
        hline(0, w - 1, h - 1, shadow);
        vline(w - 1, 0, h, shadow);
        vline(w - 2, 0, h - 1, face);
        hline(0, w - 2, h - 2, face);
        hline(0, w - 1, h - 3, face);
    }
}
