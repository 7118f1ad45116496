// The convert dialog: turns an archive into another kind through the engine's converter,
// showing the phase and the percentage in its status bar. The decisions live in
// TArcConvertState (no widgets); the dialog mirrors its fields.
//
// The source file goes to the trash, and the success box is shown, only after a run that
// reported no error, was not cancelled, passed its integrity check and left the target in
// place. A target that is the source itself is refused before anything runs.
#pragma once
#include <functional>
#include <string>

#include "app/dialogs/SourceTargetUnit.h"
#include "archive/aeArcToArc.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QStatusBar;

// One row of "Convert archive to:".
struct TArcKindRow {
    const char* text;
    TOutArcType type;
    const char* ext;
};
extern const TArcKindRow kConvertKinds[6];

class TArcConvertState : public TSourceTargetState {
public:
    int KindRow = 0; // kConvertKinds
    int Action = 0;  // 0 create a new archive, 1 add to it
    bool DelSource = false;
    bool IntegCheck = true;
    std::string Panel0, Panel1; // the status bar
    // Called whenever the panels change (the dialog repaints and lets events through).
    std::function<void()> OnPanels;

    void KindClick(int row);
    // OK; true when the dialog closes (the archive was converted).
    bool OkClick(TMainCore& main);

protected:
    std::string TargetExt() const override { return kConvertKinds[KindRow].ext; }
};

class TArcConvertForm : public TSourceTargetForm {
    Q_OBJECT
public:
    explicit TArcConvertForm(TMainCore& main, QWidget* parent = nullptr);

    TArcConvertState State;

    QLabel* lAction = nullptr;
    QPushButton* btnGetTarget = nullptr;
    QGroupBox* gbArcType = nullptr;
    QButtonGroup* rgArcType = nullptr;
    QComboBox* cbAction = nullptr;
    QCheckBox *cbDelSource = nullptr, *cbIntegCheck = nullptr;
    QStatusBar* sbProgress = nullptr;
    QLabel *lPhase = nullptr, *lPercent = nullptr;

    void OkClick() override;

protected:
    void showEvent(QShowEvent* e) override;
};
