// The archive properties window: name, folder, type, size, number of files, compression
// and date of the open archive, with the compression on a column gauge. The gauge stays
// within 0..100; the text shows the real ratio (an archive larger than its content shows a
// negative one).
#pragma once
#include <QDialog>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;
class TMainCore;
class TRarBar;

namespace infocore {
// 100 - round(packed / size x 100), halves to even; 0 for a size of 0.
int64_t CompressionRatio(int64_t packed, int64_t size);
// The gauge's value for a ratio.
int GaugeValue(int64_t ratio);
// The seven rows (caption, value); "Date/Time" gets `dateText`.
std::vector<std::pair<std::string, std::string>> InfoRows(TMainCore& main, const std::string& dateText);
} // namespace infocore

class TArchiveInfoForm : public QDialog {
    Q_OBJECT
public:
    explicit TArchiveInfoForm(TMainCore& main, QWidget* parent = nullptr);

    QTreeWidget* lvArcInfo = nullptr;
    QLabel* lCompIndicator = nullptr;
    TRarBar* rbCompression = nullptr;
    QPushButton* btnClose = nullptr;

protected:
    void showEvent(QShowEvent* e) override;

private:
    TMainCore& FMain;
};
