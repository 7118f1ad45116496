// The dialog that asks whether an existing file is replaced; its state (TOverwriteState)
// needs no widget and lives in app/core/OverwriteState.h.
#pragma once
#include "app/core/OverwriteState.h"

#include <QDialog>
#include <cstdint>
#include <string>

class QLabel;
class TWin2KButton;

// The dialog: the two files with a question icon and five buttons. Each button stores its
// answer in the state and `cancelled` and closes; closing by the frame changes neither.
class TOverwriteForm : public QDialog {
    Q_OBJECT
public:
    TOverwriteForm(TOverwriteState& state, bool& cancelled, QWidget* parent = nullptr);
    // Shows the state's texts and waits for an answer; the state's answer afterwards.
    TOverwriteAnswer Ask();

    QLabel* lRelpace = nullptr;
    QLabel* lReplaceFile = nullptr;
    QLabel* lReplaceWith = nullptr;
    QLabel* lReplaceWithFile = nullptr;
    QLabel* imgQuestion = nullptr;
    TWin2KButton* btnYes = nullptr;
    TWin2KButton* btnYestoall = nullptr;
    TWin2KButton* btnNo = nullptr;
    TWin2KButton* btnNotoall = nullptr;
    TWin2KButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void FormShow();
    TOverwriteState& FState;
    bool& FCancelled;
};
