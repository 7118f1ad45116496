// The convert dialog: turns an archive into another kind through the engine's converter,
// showing the phase and the percentage in its status bar. The decisions live in
// TArcConvertState (no widgets); the dialog mirrors its fields.
//
// The source file goes to the trash, and the success box is shown, only after a run that
// reported no error, was not cancelled, passed its integrity check and left the target in
// place. A target that is the source itself is refused before anything runs.
#pragma once
#include <QDialog>
#include <functional>
#include <string>

#include "archive/aeArcToArc.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class TMainCore;

// One row of "Convert archive to:".
struct TArcKindRow {
    const char* text;
    TOutArcType type;
    const char* ext;
};
extern const TArcKindRow kConvertKinds[6];

// The Open dialog of the window, for choosing a source archive; "" when cancelled.
std::string ChooseArchiveFile(QWidget* parent, const TMainCore& main);
// The path with its file name's extension replaced by `ext` (added when it has none).
std::string ChangeFileExt(const std::string& path, const std::string& ext);
// Whether `target` names the file `source` (the same path or the same file).
bool SameArchiveFile(const std::string& source, const std::string& target);

struct TArcConvertState {
    std::string Source, Target;
    int KindRow = 0; // kConvertKinds
    int Action = 0;  // 0 create a new archive, 1 add to it
    bool DelSource = false;
    bool IntegCheck = true;
    bool OkEnabled = false;
    std::string Panel0, Panel1; // the status bar
    // Called whenever the panels change (the dialog repaints and lets events through).
    std::function<void()> OnPanels;

    void FormShow(const TMainCore& main);
    void SourceChosen(const std::string& path); // "" when the box was cancelled
    void TargetFolderChosen(const std::string& folder);
    void TargetEdited(const std::string& text);
    void KindClick(int row);
    // OK; true when the dialog closes (the archive was converted).
    bool OkClick(TMainCore& main);
};

class TArcConvertForm : public QDialog {
    Q_OBJECT
public:
    explicit TArcConvertForm(TMainCore& main, QWidget* parent = nullptr);

    TArcConvertState State;

    QLabel *lSourceFile = nullptr, *lTargetFile = nullptr, *lAction = nullptr;
    QLineEdit *oeSourceFile = nullptr, *oeTargetFile = nullptr;
    QPushButton *btnGetSource = nullptr, *btnGetTarget = nullptr;
    QGroupBox* gbArcType = nullptr;
    QButtonGroup* rgArcType = nullptr;
    QComboBox* cbAction = nullptr;
    QCheckBox *cbDelSource = nullptr, *cbIntegCheck = nullptr;
    QPushButton *btnOk = nullptr, *btnCancel = nullptr;
    QStatusBar* sbProgress = nullptr;
    QLabel *lPhase = nullptr, *lPercent = nullptr;

    void OkClick();

protected:
    void showEvent(QShowEvent* e) override;

private:
    void FromState();
    TMainCore& FMain;
    bool FSyncing = false;
};
