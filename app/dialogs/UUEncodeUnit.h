// The encode dialog: writes an archive file as UU- or XX-encoded text through the engine's
// encoder. The decisions live in TUUEncodeState (no widgets); the dialog mirrors it. The
// success box comes only after a run that reported no error and wrote its target; a target
// that is the source itself is refused.
#pragma once
#include <string>

#include "app/dialogs/SourceTargetUnit.h"

class QCheckBox;
class QComboBox;

class TUUEncodeState : public TSourceTargetState {
public:
    int Row = 0; // 0 UUEncode (".uue"), 1 XXEncode (".xxe")
    bool WriteTable = false;

    static const char* Ext(int row) { return row == 1 ? ".xxe" : ".uue"; }
    // The dialog comes up: UUEncode, the open archive proposed.
    void FormShow(const TMainCore& main);
    // OK; true when the dialog closes (the file was encoded).
    bool OkClick(const TMainCore& main);

protected:
    std::string TargetExt() const override { return Ext(Row); }
};

class TUUEncodeForm : public TSourceTargetForm {
    Q_OBJECT
public:
    explicit TUUEncodeForm(TMainCore& main, QWidget* parent = nullptr);

    TUUEncodeState State;

    QLabel* lAction = nullptr;
    QPushButton* Win2KButton1 = nullptr;
    QComboBox* cbAction = nullptr;
    QCheckBox* cbWriteTable = nullptr;

    void OkClick() override;

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void GetSourceClick() override;
};
