// The copy and move dialog: copies the open archive file into another folder, or moves it
// there and opens it at its new place. An existing file of that name is never replaced
// (the copy or move is refused with an error); a move across file systems copies, syncs,
// and only then removes the original; after a failed move the original is opened again and
// the history is left as it was.
#pragma once
#include <QDialog>
#include <string>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TDirTree;
class TMainCore;

namespace copymovecore {
// "Copy Archive <name> to:" / "Move Archive <name> to:".
std::string ToLabelText(int mode, const std::string& archiveName);
// Copies `from` to the new file `to` (never replacing one), its data synced, mode and
// times kept; a partial copy is removed. "" on success, else the reason.
std::string CopyNoReplace(const std::string& from, const std::string& to);
// Moves `from` to the new name `to`, never replacing a file there.
std::string MoveNoReplace(const std::string& from, const std::string& to);
// OK with mode 0 (copy) or 1 (move) into `folder`: true when done; errors are shown.
bool Run(TMainCore& main, int mode, const std::string& folder);
} // namespace copymovecore

class TCopyMoveForm : public QDialog {
    Q_OBJECT
public:
    explicit TCopyMoveForm(TMainCore& main, QWidget* parent = nullptr);

    // 0 copy, 1 move; set by the caller before showing.
    int Mode = 0;
    void SetMode(int mode);

    TDirTree* Dirs = nullptr;
    QLineEdit* MoveTo = nullptr;
    QLabel* ToLabel = nullptr;
    QGroupBox* Funktion = nullptr;
    QRadioButton *rbCopy = nullptr, *rbMove = nullptr;
    QPushButton *OK = nullptr, *Cancel = nullptr, *NewFolder = nullptr;

    void OKClick();

protected:
    void showEvent(QShowEvent* e) override;

private:
    TMainCore& FMain;
};
