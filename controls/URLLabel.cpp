#include "controls/URLLabel.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

TURLLabel::TURLLabel(QWidget* parent) : QLabel(parent) {
    // A link is shown as written, never read as markup.
    setTextFormat(Qt::PlainText);
    QFont f = font();
    f.setBold(false);
    f.setItalic(false);
    f.setUnderline(false);
    f.setStrikeOut(false);
    ApplyLook(f, clBlack);
    FMouseOverFont = f;
    FMouseOverFont.setUnderline(true);
    setCursor(Qt::PointingHandCursor);
    SetURL(FURL);
}

void TURLLabel::SetURL(const QString& url) {
    FURL = url;
    setText(url);
}

void TURLLabel::ApplyLook(const QFont& f, TColor color) {
    setFont(f);
    FontColor = color;
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, ColorToQColor(color, pal));
    setPalette(pal);
}

void TURLLabel::enterEvent(QEnterEvent* e) {
    QLabel::enterEvent(e);
    if (FMouseInside) return; // the normal look is kept once
    FMouseInside = true;
    FSavedFont = font();
    FSavedColor = FontColor;
    ApplyLook(FMouseOverFont, MouseOverColor);
    FontColor = FSavedColor;
    update();
}

void TURLLabel::leaveEvent(QEvent* e) {
    QLabel::leaveEvent(e);
    if (!FMouseInside) return;
    FMouseInside = false;
    ApplyLook(FSavedFont, FSavedColor);
    update();
}

void TURLLabel::mousePressEvent(QMouseEvent* e) {
    QLabel::mousePressEvent(e);
    QDesktopServices::openUrl(QUrl(FURL));
}
