#include "controls/ExtProgressBar.h"

#include <QPainter>
#include <cmath>

TExtProgressBar::TExtProgressBar(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);
}

void TExtProgressBar::SetSelectionColor(TColor c) {
    FSelectionColor = c;
    update();
}

void TExtProgressBar::SetColor(TColor c) {
    FColor = c;
    update();
}

namespace {
// The inside of the sunken border.
QRect innerOf(const QRect& r) {
    return r.adjusted(1, 1, -1, -1);
}
} // namespace

int TExtProgressBar::FilledLength() const {
    const QRect in = innerOf(rect());
    const int length = orientation() == Qt::Horizontal ? in.width() : in.height();
    const int64_t span = int64_t(maximum()) - minimum();
    if (span <= 0 || length <= 0) return 0;
    const int64_t done = std::clamp<int64_t>(int64_t(value()) - minimum(), 0, span);
    return int(std::lround(double(done) * length / double(span)));
}

void TExtProgressBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), ColorToQColor(FColor, pal));
    DrawSunkenOuter(p, rect(), pal, esRect);
    const QRect in = innerOf(rect());
    const int n = FilledLength();
    if (n <= 0) return;
    const QColor bar = ColorToQColor(FSelectionColor, pal);
    if (orientation() == Qt::Horizontal)
        p.fillRect(QRect(in.left(), in.top(), n, in.height()), bar);
    else
        p.fillRect(QRect(in.left(), in.bottom() + 1 - n, in.width(), n), bar);
}
