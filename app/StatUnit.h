// The progress window: header, current file, the file and run bars and Cancel. It shows
// what the main window's core keeps in its TStatState and hands Cancel back to it.
#pragma once
#include <QDialog>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
struct TStatState;

class TStatForm : public QDialog {
    Q_OBJECT
public:
    explicit TStatForm(QWidget* parent = nullptr);
    // Mirrors the state: texts, bars, and shown or hidden (never modal).
    void Sync(const TStatState& state);
    std::function<void()> OnCancel;

    QLabel* lHeader = nullptr;
    QLabel* lCurrent = nullptr;
    QProgressBar* DRGauge1 = nullptr;
    QProgressBar* DRGauge2 = nullptr;
    QPushButton* CancelBtn = nullptr;

protected:
    void reject() override {} // no closing but by Cancel
};
