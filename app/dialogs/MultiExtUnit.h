// The multi-extract dialog: the archives, one destination, how each archive's folder is
// chosen and three options. OK writes the main window's multi-extract fields (Accept,
// widget-free); the main window then extracts the listed archives one after another.
#pragma once
#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class TMainCore;

class TMultiExtForm : public QDialog {
    Q_OBJECT
public:
    TMultiExtForm(TMainCore& main, QWidget* parent = nullptr);

    // Adds archives; one already listed (same path, any case) is skipped.
    void AddFiles(const std::vector<std::string>& paths);
    // The listed archives, folder + name, in list order.
    std::vector<std::string> Archives() const;

    // OK: the destination made when missing (with an error box when it cannot be), then
    // the fields; always closes as accepted.
    static void Accept(TMainCore& main, const std::string& dest, int mode, bool overwrite, bool dirNames,
                       bool skipOlder, int count);

    // Before the dialog shows: the file dialog at once, then the folder picker.
    void FormShow();
    void DirSelClick();

    QTreeWidget* lvFiles = nullptr;
    QPushButton *btnAddFiles = nullptr, *btnDelFiles = nullptr, *DirSel2 = nullptr, *btnOk = nullptr,
                *btnCancel = nullptr;
    QLineEdit* oeDestDir = nullptr;
    QComboBox* cbFunction = nullptr;
    QCheckBox* cbOverwrite = nullptr;
    QCheckBox* cbDirectories = nullptr;
    QCheckBox* cbOlder = nullptr;

public slots:
    void reject() override;

private:
    void AddFilesClick();
    void DelFilesClick();
    TMainCore& FMain;
};
