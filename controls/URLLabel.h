// A label that opens its link when clicked with any button, shown in the mouse-over font
// while the mouse is over it.
#pragma once
#include <QFont>
#include <QLabel>

#include "controls/PvCommon.h"

class TURLLabel : public QLabel {
    Q_OBJECT
public:
    explicit TURLLabel(QWidget* parent = nullptr);
    QString URL() const { return FURL; }
    void SetURL(const QString& url);
    // The look while the mouse is over the label; the font colour is `MouseOverColor`.
    QFont MouseOverFont() const { return FMouseOverFont; }
    void SetMouseOverFont(const QFont& font) { FMouseOverFont = font; }
    TColor MouseOverColor = clBlue;
    TColor FontColor = clBlack;
    bool MouseInside() const { return FMouseInside; }

protected:
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    void ApplyLook(const QFont& f, TColor color);
    QString FURL;
    QFont FMouseOverFont;
    QFont FSavedFont;
    TColor FSavedColor = clBlack;
    bool FMouseInside = false;
};
