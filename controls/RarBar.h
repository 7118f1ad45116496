// A three-dimensional column gauge: an upright prism seen from the side, filled up to the
// progress, with the percentage beside the fill level.
#pragma once
#include <QFont>
#include <QImage>
#include <QWidget>

#include "controls/PvCommon.h"

// Fill height in pixels and percentage of a gauge, for a control `height` pixels high.
struct TRarBarLevel {
    int Fill = 0;
    int Percent = 0;
};
TRarBarLevel RarBarLevel(int progress, int min, int max, int height);

class TRarBar : public QWidget {
    Q_OBJECT
public:
    explicit TRarBar(QWidget* parent = nullptr);

    TColor LineColor = 0xFFE0E0, TopColor = 0xFF8080, SideColor1 = 0xE06868, SideColor2 = 0xFF8080;
    TColor EmptyFrameColor1 = 0xA06868, EmptyFrameColor2 = 0xBF8080, EmptyColor1 = 0xC06868,
           EmptyColor2 = 0xDF8080;
    TColor BottomFrameColor = 0x64408C, BottomColor = 0x7A408C, FilledFrameColor = 0x8060A0,
           FilledColor = 0xA060A0, FilledSideColor1 = 0x823C96, FilledSideColor2 = 0x8848C0;
    TColor Color = clBtnFace;
    TColor FontColor = 0x800080;

    int Min() const { return FMin; }
    void SetMin(int v);
    int Max() const { return FMax; }
    void SetMax(int v);
    int Progress() const { return FProgress; }
    void SetProgress(int v);
    bool ShowPercentage() const { return FShowPercentage; }
    void SetShowPercentage(bool on);
    QFont GaugeFont() const { return FFont; }
    void SetGaugeFont(const QFont& f);

    // The picture as painted, at the control's size.
    QImage Render() const;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    int FMin = 0, FMax = 100, FProgress = 0;
    bool FShowPercentage = true;
    QFont FFont;
};
