// The encode dialog: writes an archive file as UU- or XX-encoded text through the engine's
// encoder. The decisions live in TUUEncodeState (no widgets); the dialog mirrors it. The
// success box comes only after a run that reported no error and wrote its target; a target
// that is the source itself is refused.
#pragma once
#include <QDialog>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TMainCore;

struct TUUEncodeState {
    std::string Source, Target;
    int Row = 0; // 0 UUEncode (".uue"), 1 XXEncode (".xxe")
    bool WriteTable = false;
    bool OkEnabled = false;

    static const char* Ext(int row) { return row == 1 ? ".xxe" : ".uue"; }
    void FormShow(const TMainCore& main);
    void SourceChosen(const std::string& path); // "" when the box was cancelled
    void TargetFolderChosen(const std::string& folder);
    void TargetEdited(const std::string& text);
    // OK; true when the dialog closes (the file was encoded).
    bool OkClick(const TMainCore& main);
};

class TUUEncodeForm : public QDialog {
    Q_OBJECT
public:
    explicit TUUEncodeForm(TMainCore& main, QWidget* parent = nullptr);

    TUUEncodeState State;

    QLabel *lSourceFile = nullptr, *lTargetFile = nullptr, *lAction = nullptr;
    QLineEdit *oeSourceFile = nullptr, *oeTargetFile = nullptr;
    QPushButton *btnGetSource = nullptr, *Win2KButton1 = nullptr;
    QComboBox* cbAction = nullptr;
    QCheckBox* cbWriteTable = nullptr;
    QPushButton *btnOk = nullptr, *btnCancel = nullptr;

    void OkClick();

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FromState();
    TMainCore& FMain;
    bool FSyncing = false;
};
