// The extract dialog: target folder, which entries and three options. Its answers go
// into the main window's fields; what OK decides is in Accept, which needs no widget.
// The status bar shows the space the archive needs and, every 100 ms, the free space of
// the drive of the folder chosen in the tree.
#pragma once
#include <QDialog>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTimer;
class TDirTree;
class TMainCore;

class TExtForm : public QDialog {
    Q_OBJECT
public:
    TExtForm(TMainCore& main, QWidget* parent = nullptr);
    ~TExtForm() override;

    // Chooses "All files" (0) or "Selected files" (1).
    void SetFileOpt(int row);
    int FileOpt() const;

    // OK with these choices: the free-space question when `freeMB` < `requiredMB`, the
    // target made (one level) when missing, then the main window's fields. False keeps
    // the dialog open (No to the question, or the folder could not be made: an empty or
    // relative target, a file, or more than one missing level).
    static bool Accept(TMainCore& main, const std::string& target, int fileOpt, bool zipDirs, bool overwrite,
                       bool update, double requiredMB, double freeMB);

    // One tick of the free-space timer (tests call it rather than wait).
    void Timer1Timer();
    // The New Folder button.
    void btnNewDirClick();
    // Text of status panel 0 ("required: ...") or 1 ("free: ...").
    QString PanelText(int panel) const;

    QLabel* Label1 = nullptr;
    QLineEdit* InstDir = nullptr;
    TDirTree* Dir = nullptr;
    QCheckBox* ZIPDirs = nullptr;
    QCheckBox* Overwrite = nullptr;
    QCheckBox* UpdateCB = nullptr;
    QPushButton* btnExt = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnNewDir = nullptr;
    QStatusBar* sbExt = nullptr;
    QTimer* Timer1 = nullptr;

protected:
    void done(int r) override;

private:
    void ExtClick();

    TMainCore& FMain;
    QRadioButton* FAll = nullptr;
    QRadioButton* FSelected = nullptr;
    QLabel* FPanels[2] = {nullptr, nullptr};
    double RequiredMB = 0;
    double FreeMB = 0;
};
