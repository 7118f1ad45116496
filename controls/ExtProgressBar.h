// A progress bar with its own bar and background colours and orientation, smooth, painted
// here so the colours hold whatever the style.
#pragma once
#include <QProgressBar>

#include "controls/PvCommon.h"

class TExtProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit TExtProgressBar(QWidget* parent = nullptr);
    QString Version() const { return "TExtProgressBar v2.04"; }
    void SetVersion(const QString&) {}
    TColor SelectionColor() const { return FSelectionColor; }
    void SetSelectionColor(TColor c);
    TColor Color() const { return FColor; }
    void SetColor(TColor c);
    // The extent of the bar along its orientation for the current position, in pixels.
    int FilledLength() const;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    TColor FSelectionColor = clHighlight;
    TColor FColor = clBtnFace;
};
