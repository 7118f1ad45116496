// A read-only hex and text view of one file: offset, sixteen bytes in hex and the same
// bytes as text (printable ASCII, '.' for the rest). The file is mapped, not read, so a
// file of any size opens at once; only the lines on the screen are ever formatted.
#pragma once
#include <QAbstractScrollArea>
#include <QFile>
#include <QMainWindow>
#include <QString>
#include <cstdint>

namespace hexedit {

constexpr int kBytesPerLine = 16;

// One line of the view: "0000001f  41 42 ...  |AB..|", the hex column padded so that a
// short last line keeps its text column under the others.
QString FormatLine(uint64_t offset, const unsigned char* bytes, int count, int offsetDigits);
// Hex digits the offsets of a file of this size take (at least 8).
int OffsetDigits(uint64_t size);

class HexView : public QAbstractScrollArea {
public:
    explicit HexView(QWidget* parent = nullptr);
    ~HexView() override;
    // False with the reason in `error` when the file cannot be opened or mapped.
    bool OpenFile(const QString& path, QString& error);
    uint64_t FileSize() const { return size_; }
    QString LineText(uint64_t line) const;
    uint64_t LineCount() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void updateScrollBar();
    int lineHeight() const;

    QFile file_;
    const unsigned char* data_ = nullptr;
    uint64_t size_ = 0;
    int digits_ = 8;
};

// The program's window: the view and the file's name and size in the title.
class HexWindow : public QMainWindow {
public:
    explicit HexWindow(QWidget* parent = nullptr);
    bool OpenFile(const QString& path, QString& error);
    HexView* View() const { return view_; }

private:
    HexView* view_;
};

} // namespace hexedit
