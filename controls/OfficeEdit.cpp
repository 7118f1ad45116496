#include "controls/OfficeEdit.h"

#include <QPainter>

#include "controls/PvCommon.h"

TOfficeEdit::TOfficeEdit(QWidget* parent) : TFlatHover<QLineEdit>(parent) {
    if (QStyle* s = FlatBaseStyle()) setStyle(s);
    // The frame is painted here, three pixels deep; the text keeps clear of it.
    setFrame(false);
    setTextMargins(2, 1, 2, 1);
    setAttribute(Qt::WA_Hover);
    resize(width(), 21);
    setFixedHeight(21);
}

void TOfficeEdit::paintEvent(QPaintEvent* e) {
    QLineEdit::paintEvent(e);
    QPainter p(this);
    const QPalette& pal = palette();
    QRect r = rect();
    if (hasFocus() || MouseInside()) {
        DrawSunkenOuter(p, r, pal, esRect);
        r.adjust(1, 1, -1, -1);
        p.fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), pal.color(QPalette::ButtonText));
        p.fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), pal.color(QPalette::ButtonText));
        DrawSunkenInner(p, r, pal, esBottomRight);
    } else {
        FrameRect(p, r, pal.color(QPalette::Button));
        r.adjust(1, 1, -1, -1);
        FrameRect(p, r, pal.color(QPalette::Button));
    }
    r.adjust(1, 1, -1, -1);
    FrameRect(p, r, pal.color(QPalette::Base));
}
