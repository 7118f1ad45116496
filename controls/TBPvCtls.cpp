#include "controls/TBPvCtls.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace {
std::vector<const QMetaObject*>& flatEditClasses() {
    static std::vector<const QMetaObject*> list;
    return list;
}
int editPvInstances = 0;
} // namespace

void AddFlatEditClass(const QMetaObject* cls) {
    auto& l = flatEditClasses();
    if (std::find(l.begin(), l.end(), cls) == l.end()) l.push_back(cls);
}

void RemoveFlatEditClass(const QMetaObject* cls) {
    auto& l = flatEditClasses();
    l.erase(std::remove(l.begin(), l.end(), cls), l.end());
}

const std::vector<const QMetaObject*>& FlatEditClasses() {
    return flatEditClasses();
}

bool IsFlatEditClassInstance(const QObject* o) {
    if (!o) return false;
    for (const QMetaObject* cls : flatEditClasses())
        if (o->metaObject()->inherits(cls)) return true;
    return false;
}

TEditPv::TEditPv(QWidget* parent) : QLineEdit(parent) {
    if (editPvInstances++ == 0) AddFlatEditClass(&TEditPv::staticMetaObject);
    if (QStyle* s = FlatBaseStyle()) setStyle(s);
    setFrame(false);
    // The client area is the window less three pixels on every side.
    setContentsMargins(3, 3, 3, 3);
    setAttribute(Qt::WA_Hover);
    resize(width(), 19);
    AdjustHeight();
}

TEditPv::~TEditPv() {
    if (--editPvInstances == 0) RemoveFlatEditClass(&TEditPv::staticMetaObject);
}

void TEditPv::Loaded() {
    AdjustHeight();
}

void TEditPv::AdjustHeight() {
    const int h = QFontMetrics(font()).height() + 6;
    setFixedHeight(h);
}

void TEditPv::paintEvent(QPaintEvent* e) {
    QLineEdit::paintEvent(e);
    QPainter p(this);
    // The frame is in the system colours, whatever colour the edit itself has.
    const QPalette pal = QApplication::palette(this);
    QRect r = rect();
    const bool idle =
        !isEnabled() ||
        (!hasFocus() && (!FMouseInside || IsFlatEditClassInstance(QApplication::focusWidget())));
    if (idle) {
        FrameRect(p, r, pal.color(QPalette::Button));
        r.adjust(1, 1, -1, -1);
        FrameRect(p, r, pal.color(QPalette::Button));
        r.adjust(1, 1, -1, -1);
        FrameRect(p, r, pal.color(QPalette::Base));
    } else {
        DrawSunkenOuter(p, r, pal, esRect);
        r.adjust(1, 1, -1, -1);
        p.fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), pal.color(QPalette::Button));
        p.fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), pal.color(QPalette::Button));
        DrawSunkenInner(p, r, pal, esBottomRight);
        r.adjust(1, 1, -1, -1);
        FrameRect(p, r, pal.color(QPalette::Base));
    }
}

void TEditPv::enterEvent(QEnterEvent* e) {
    FMouseInside = true;
    QLineEdit::enterEvent(e);
    update();
}

void TEditPv::leaveEvent(QEvent* e) {
    FMouseInside = false;
    QLineEdit::leaveEvent(e);
    update();
}

void TEditPv::focusInEvent(QFocusEvent* e) {
    QLineEdit::focusInEvent(e);
    update();
}

void TEditPv::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    update();
}

void TEditPv::changeEvent(QEvent* e) {
    QLineEdit::changeEvent(e);
    switch (e->type()) {
    case QEvent::FontChange:
        AdjustHeight();
        break;
    case QEvent::EnabledChange: {
        // The window colour while enabled, the face colour while not.
        QPalette pal = palette();
        pal.setColor(QPalette::Base,
                     QApplication::palette(this).color(isEnabled() ? QPalette::Base : QPalette::Button));
        setPalette(pal);
        update();
        break;
    }
    default:
        break;
    }
}
