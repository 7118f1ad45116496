// The extract dialog: target folder, which entries and three options. Its answers go
// into the main window's fields; what OK decides is in Accept, which needs no widget.
// (The new-folder button and the free-space figures of the status bar come with the
// folder pickers.)
#pragma once
#include <QDialog>
#include <string>

class QButtonGroup;
class QCheckBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeView;
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
    // the dialog open (No to the question, or the folder could not be made).
    static bool Accept(TMainCore& main, const std::string& target, int fileOpt, bool zipDirs, bool overwrite,
                       bool update, double requiredMB, double freeMB);

    QLineEdit* InstDir = nullptr;
    QTreeView* Dir = nullptr;
    QCheckBox* ZIPDirs = nullptr;
    QCheckBox* Overwrite = nullptr;
    QCheckBox* UpdateCB = nullptr;
    QPushButton* btnExt = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void done(int r) override;

private:
    void ExtClick();
    std::string SelectedPath() const;

    TMainCore& FMain;
    QFileSystemModel* FModel = nullptr;
    QRadioButton* FAll = nullptr;
    QRadioButton* FSelected = nullptr;
    QLabel* FRequired = nullptr;
    double RequiredMB = 0;
};
