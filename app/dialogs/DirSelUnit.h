// The plain folder picker the other dialogs reuse: a folder tree with OK and Cancel. OK
// clears the main window's `FCancelled`, Cancel (or closing) sets it; the caller then
// reads `DirTree1->GetSelectedPath()`.
#pragma once
#include <QDialog>
#include <string>

class QPushButton;
class TDirTree;
class TMainCore;

// `name` below `base`, joined with exactly one '/' whatever `base` ends with.
std::string JoinFolder(const std::string& base, const std::string& name);

class TDirSelForm : public QDialog {
    Q_OBJECT
public:
    explicit TDirSelForm(TMainCore& main, QWidget* parent = nullptr);

    TDirTree* DirTree1 = nullptr;
    QPushButton* OK = nullptr;
    QPushButton* Cancel = nullptr;

protected:
    void done(int r) override;

private:
    TMainCore& FMain;
};
