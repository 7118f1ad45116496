#include "controls/PvCommon.h"

#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QStyle>
#include <QStyleFactory>

QPalette::ColorRole SystemColorRole(TColor c) {
    if (!(c & clSystemColor)) return QPalette::NoRole;
    switch (c) {
    case clBtnFace:
        return QPalette::Button;
    case clBtnShadow:
        return QPalette::Dark;
    case clBtnHighlight:
        return QPalette::Light;
    case cl3DDkShadow:
        return QPalette::Shadow;
    case cl3DLight:
        return QPalette::Midlight;
    case clWindow:
        return QPalette::Base;
    case clBtnText:
        return QPalette::ButtonText;
    case clWindowText:
        return QPalette::Text;
    case clHighlight:
        return QPalette::Highlight;
    case clHighlightText:
        return QPalette::HighlightedText;
    default:
        return QPalette::Window;
    }
}

QColor ColorToQColor(TColor c, const QPalette& palette) {
    const QPalette::ColorRole role = SystemColorRole(c);
    if (role != QPalette::NoRole) return palette.color(role);
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

TColor QColorToColor(const QColor& c) {
    return TColor(c.red()) | TColor(c.green()) << 8 | TColor(c.blue()) << 16;
}

QStyle* FlatBaseStyle() {
    static QPointer<QStyle> style;
    if (!style) {
        style = QStyleFactory::create("Windows");
        // Freed with the application, whose lifetime the controls share.
        if (style && qApp) style->setParent(qApp);
    }
    return style;
}

void FrameRect(QPainter& p, const QRect& r, const QColor& c) {
    if (r.width() <= 0 || r.height() <= 0) return;
    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), c);
    p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), c);
    p.fillRect(QRect(r.left(), r.top(), 1, r.height()), c);
    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), c);
}

namespace {
void edge(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight, int sides) {
    if (r.width() <= 0 || r.height() <= 0) return;
    if (sides & esTop) p.fillRect(QRect(r.left(), r.top(), r.width(), 1), topLeft);
    if (sides & esLeft) p.fillRect(QRect(r.left(), r.top(), 1, r.height()), topLeft);
    if (sides & esBottom) p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
    if (sides & esRight) p.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
}
} // namespace

void DrawSunkenOuter(QPainter& p, const QRect& r, const QPalette& pal, int sides) {
    edge(p, r, pal.color(QPalette::Dark), pal.color(QPalette::Light), sides);
}

void DrawSunkenInner(QPainter& p, const QRect& r, const QPalette& pal, int sides) {
    edge(p, r, pal.color(QPalette::Shadow), pal.color(QPalette::Midlight), sides);
}
