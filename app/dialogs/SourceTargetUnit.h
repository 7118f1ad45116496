// What the dialogs that turn one archive file into another file share: the source archive
// and the target file, their two rows of edit box and "..." button, the choosing of each,
// and the refusals before anything runs (a missing source, a target that is the source).
// TSourceTargetState holds the decisions (no widgets); TSourceTargetForm the two rows and
// the OK/Cancel buttons, mirroring its state.
#pragma once
#include <QDialog>
#include <functional>
#include <string>

class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class TMainCore;

// The Open dialog of the window, for choosing a source archive; "" when cancelled.
std::string ChooseArchiveFile(QWidget* parent, const TMainCore& main);
// The path with its file name's extension replaced by `ext` (added when it has none).
std::string ChangeFileExt(const std::string& path, const std::string& ext);
// Whether `target` names the file `source` (the same path or the same file).
bool SameArchiveFile(const std::string& source, const std::string& target);

class TSourceTargetState {
public:
    virtual ~TSourceTargetState() = default;

    std::string Source, Target;
    bool OkEnabled = false;

    // The open archive is proposed as the source, the target beside it with TargetExt().
    void FormShow(const TMainCore& main);
    void SourceChosen(const std::string& path); // "" when the box was cancelled
    void TargetFolderChosen(const std::string& folder);
    void TargetEdited(const std::string& text);

protected:
    // The extension a target proposed for a source gets.
    virtual std::string TargetExt() const = 0;
    // The first check of OK: a missing source or a target that is the source gives its box
    // and disables OK; true when the run may go on.
    bool SourceAndTargetUsable();
    // An error box saying `what` and that the process was canceled; OK is disabled.
    void Refuse(const std::string& what);
};

class TSourceTargetForm : public QDialog {
    Q_OBJECT
public:
    QLabel *lSourceFile = nullptr, *lTargetFile = nullptr;
    QLineEdit *oeSourceFile = nullptr, *oeTargetFile = nullptr;
    QPushButton *btnGetSource = nullptr, *btnOk = nullptr, *btnCancel = nullptr;

    // OK: the dialog's choices into its state, then the run.
    virtual void OkClick() = 0;

protected:
    TSourceTargetForm(TMainCore& main, TSourceTargetState& state, QWidget* parent);

    // The two rows into rows 0 and 1 of `grid`; returns the target row's "..." (the folder
    // picker).
    QPushButton* AddFileRows(QGridLayout* grid);
    // OK (disabled until there is a target) and Cancel, right-aligned.
    QHBoxLayout* AddOkCancel();
    // The source's "..." (the Open dialog); a dialog reads its own choices first.
    virtual void GetSourceClick();
    // The edit boxes and OK from the state.
    void FromState();
    // The edit boxes into the state, then `run` with the wait cursor up; the dialog closes
    // when it says so.
    void RunOk(const std::function<bool()>& run);

    TMainCore& FMain;

private:
    void GetTargetClick();
    TSourceTargetState& FState;
    bool FSyncing = false;
};
