// The progress window: a white header with the operation, the current file, the file and run
// bars and Cancel. It shows what the main window's core keeps in its TStatState and hands
// Cancel back to it. No close box; it stays on top and opens centred on the main window.
#pragma once
#include <QDialog>
#include <functional>

class QFrame;
class QLabel;
class TExtProgressBar;
class TWin2KButton;
struct TStatState;

class TStatForm : public QDialog {
    Q_OBJECT
public:
    explicit TStatForm(QWidget* parent = nullptr);
    // Mirrors the state: texts, bars, and shown or hidden (never modal).
    void Sync(const TStatState& state);
    std::function<void()> OnCancel;

    QFrame* pHeader = nullptr;
    QLabel* lHeader = nullptr;
    QLabel* lCurrent = nullptr;
    TExtProgressBar* DRGauge1 = nullptr;
    QLabel* lEntireProgress = nullptr;
    TExtProgressBar* DRGauge2 = nullptr;
    TWin2KButton* CancelBtn = nullptr;
    TWin2KButton* btnMinimize = nullptr;

protected:
    void reject() override {} // no closing but by Cancel
};
