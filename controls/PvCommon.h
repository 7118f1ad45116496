// What every control of this folder shares: colours as the controls' properties hold them,
// the system colours mapped onto the palette, the operation error, and the standard look the
// flat controls paint their own lines over.
#pragma once
#include <QColor>
#include <QPalette>
#include <cstdint>
#include <stdexcept>
#include <string>

class QPainter;
class QRect;
class QStyle;
class QWidget;

// A colour as $00BBGGRR ($FF0000 is blue), or a system colour: 0x80000000 | its index.
using TColor = uint32_t;

inline constexpr TColor clSystemColor = 0x80000000u;
inline constexpr TColor clHighlight = clSystemColor | 13;
inline constexpr TColor clBtnFace = clSystemColor | 15;
inline constexpr TColor clBtnShadow = clSystemColor | 16;
inline constexpr TColor clBtnText = clSystemColor | 18;
inline constexpr TColor clBtnHighlight = clSystemColor | 20;
inline constexpr TColor cl3DDkShadow = clSystemColor | 21;
inline constexpr TColor cl3DLight = clSystemColor | 22;
inline constexpr TColor clWindow = clSystemColor | 5;
inline constexpr TColor clWindowText = clSystemColor | 8;
inline constexpr TColor clHighlightText = clSystemColor | 14;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clBlue = 0xFF0000;

// Horizontal alignment of a control's text.
enum TAlignment { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };

// The palette role a system colour stands for; QPalette::NoRole for a plain colour.
QPalette::ColorRole SystemColorRole(TColor c);
// The colour to paint with: a system colour from the palette, any other from its bytes.
QColor ColorToQColor(TColor c, const QPalette& palette);
// The plain $00BBGGRR of a colour.
TColor QColorToColor(const QColor& c);

// Raised by the controls' own setters when an operation is not allowed; never out of an
// event handler.
class EInvalidOperation : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The standard look under the flat controls' lines: one "Windows" style for the process.
QStyle* FlatBaseStyle();

// Frame helpers in the manner the flat controls draw: a one-pixel frame inside `r`, and the
// sunken edges (outer: shadow top-left, highlight bottom-right; inner: dark shadow top-left,
// light bottom-right), each on the chosen sides.
void FrameRect(QPainter& p, const QRect& r, const QColor& c);
enum TEdgeSides { esTop = 1, esLeft = 2, esBottom = 4, esRight = 8, esRect = 15, esBottomRight = 12 };
void DrawSunkenOuter(QPainter& p, const QRect& r, const QPalette& pal, int sides);
void DrawSunkenInner(QPainter& p, const QRect& r, const QPalette& pal, int sides);
