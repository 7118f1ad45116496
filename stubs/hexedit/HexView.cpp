#include "stubs/hexedit/HexView.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QScrollBar>
#include <QStatusBar>

#include <algorithm>
#include <limits>

namespace hexedit {

QString FormatLine(uint64_t offset, const unsigned char* bytes, int count, int offsetDigits) {
    static const char hex[] = "0123456789abcdef";
    QString s = QString::number(qulonglong(offset), 16).rightJustified(offsetDigits, QLatin1Char('0'));
    s += QLatin1String("  ");
    for (int i = 0; i < kBytesPerLine; ++i) {
        if (i == kBytesPerLine / 2) s += QLatin1Char(' ');
        if (i < count) {
            s += QLatin1Char(hex[bytes[i] >> 4]);
            s += QLatin1Char(hex[bytes[i] & 15]);
            s += QLatin1Char(' ');
        } else {
            s += QLatin1String("   ");
        }
    }
    s += QLatin1String(" |");
    for (int i = 0; i < count; ++i)
        s += (bytes[i] >= 0x20 && bytes[i] < 0x7f) ? QLatin1Char(char(bytes[i])) : QLatin1Char('.');
    s += QLatin1Char('|');
    return s;
}

int OffsetDigits(uint64_t size) {
    int digits = 1;
    for (uint64_t v = size > 0 ? size - 1 : 0; v >= 16; v >>= 4) ++digits;
    return std::max(8, digits);
}

HexView::HexView(QWidget* parent) : QAbstractScrollArea(parent) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    setFont(font);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

HexView::~HexView() {
    if (data_) file_.unmap(const_cast<unsigned char*>(data_));
}

bool HexView::OpenFile(const QString& path, QString& error) {
    if (data_) file_.unmap(const_cast<unsigned char*>(data_));
    data_ = nullptr;
    size_ = 0;
    file_.close();
    const QFileInfo info(path);
    if (info.isDir()) {
        error = QStringLiteral("%1 is a folder").arg(path);
        return false;
    }
    file_.setFileName(path);
    if (!file_.open(QIODevice::ReadOnly)) {
        error = file_.errorString();
        return false;
    }
    size_ = uint64_t(std::max<qint64>(0, file_.size()));
    if (size_ > 0) {
        data_ = file_.map(0, qint64(size_));
        if (!data_) {
            error = file_.errorString();
            size_ = 0;
            return false;
        }
    }
    digits_ = OffsetDigits(size_);
    updateScrollBar();
    viewport()->update();
    return true;
}

uint64_t HexView::LineCount() const {
    return (size_ + kBytesPerLine - 1) / kBytesPerLine;
}

QString HexView::LineText(uint64_t line) const {
    if (line >= LineCount()) return {};
    const uint64_t offset = line * kBytesPerLine;
    const int count = int(std::min<uint64_t>(kBytesPerLine, size_ - offset));
    return FormatLine(offset, data_ + offset, count, digits_);
}

int HexView::lineHeight() const {
    return fontMetrics().height();
}

QSize HexView::sizeHint() const {
    const int width = fontMetrics().horizontalAdvance(
        QString(digits_ + 2 + 3 * kBytesPerLine + 1 + 2 + kBytesPerLine + 1, QLatin1Char('0')));
    return {width + 2 * frameWidth() + verticalScrollBar()->sizeHint().width() + 8, lineHeight() * 24};
}

// A scroll bar counts in int: very large files scroll in steps of several lines.
static uint64_t linesPerStep(uint64_t lines) {
    const uint64_t max = uint64_t(std::numeric_limits<int>::max() / 2);
    return lines <= max ? 1 : (lines + max - 1) / max;
}

void HexView::updateScrollBar() {
    const int visible = std::max(1, viewport()->height() / std::max(1, lineHeight()));
    const uint64_t step = linesPerStep(LineCount());
    const uint64_t steps = (LineCount() + step - 1) / step;
    verticalScrollBar()->setRange(0, int(steps > uint64_t(visible) ? steps - uint64_t(visible) : 0));
    verticalScrollBar()->setPageStep(visible);
    const int textWidth =
        fontMetrics().horizontalAdvance(LineText(0).isEmpty() ? QString() : LineText(0)) + 8;
    horizontalScrollBar()->setRange(0, std::max(0, textWidth - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void HexView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    updateScrollBar();
}

void HexView::keyPressEvent(QKeyEvent* e) {
    QScrollBar* bar = verticalScrollBar();
    switch (e->key()) {
    case Qt::Key_Home:
        if (e->modifiers() & Qt::ControlModifier) bar->setValue(0);
        break;
    case Qt::Key_End:
        if (e->modifiers() & Qt::ControlModifier) bar->setValue(bar->maximum());
        break;
    default:
        QAbstractScrollArea::keyPressEvent(e);
    }
}

void HexView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.setFont(font());
    const int h = std::max(1, lineHeight());
    const uint64_t first = uint64_t(verticalScrollBar()->value()) * linesPerStep(LineCount());
    const int x = 4 - horizontalScrollBar()->value();
    const int ascent = fontMetrics().ascent();
    if (size_ == 0) {
        p.setPen(palette().color(QPalette::PlaceholderText));
        p.drawText(x, 2 + ascent, QStringLiteral("(empty file)"));
        return;
    }
    for (int row = 0; row * h < viewport()->height() + h; ++row) {
        const uint64_t line = first + uint64_t(row);
        if (line >= LineCount()) break;
        const QString text = LineText(line);
        // The offset column in a quieter colour, the bytes in the text colour.
        const int split = digits_;
        p.setPen(palette().color(QPalette::PlaceholderText));
        p.drawText(x, 2 + row * h + ascent, text.left(split));
        p.setPen(palette().color(QPalette::Text));
        p.drawText(x + fontMetrics().horizontalAdvance(text.left(split)), 2 + row * h + ascent,
                   text.mid(split));
    }
}

HexWindow::HexWindow(QWidget* parent) : QMainWindow(parent), view_(new HexView(this)) {
    setCentralWidget(view_);
    setWindowTitle(QStringLiteral("hexedit"));
    resize(view_->sizeHint().width(), 420);
}

bool HexWindow::OpenFile(const QString& path, QString& error) {
    if (!view_->OpenFile(path, error)) return false;
    setWindowTitle(QFileInfo(path).fileName() + QStringLiteral(" - hexedit (read-only)"));
    statusBar()->showMessage(QFileInfo(path).absoluteFilePath() + QStringLiteral("    ") +
                             QLocale().toString(qulonglong(view_->FileSize())) + QStringLiteral(" bytes"));
    resize(view_->sizeHint().width(), height());
    return true;
}

} // namespace hexedit
