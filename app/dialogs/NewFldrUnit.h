// The new-folder dialog: one new sub-folder of a base folder. The caller sets
// `BaseFolder`, shows the dialog and, when `Cancelled` is 0 and `NewFolderPath` is a
// folder, uses it.
#pragma once
#include <QDialog>
#include <cstdint>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

class TNewFolderForm : public QDialog {
    Q_OBJECT
public:
    explicit TNewFolderForm(QWidget* parent = nullptr);

    std::string BaseFolder;
    std::string NewFolderPath;
    uint8_t Cancelled = 1;

    // Create with this name: the folder made below `base` (one level), or accepted when it
    // exists already; `path` is the joined path either way. False keeps the dialog open
    // (a name that is empty, holds '/' or is "." or "..", or a folder that cannot be made).
    static bool Create(const std::string& base, const std::string& name, std::string& path);

    QLabel* DirDescr = nullptr;
    QLabel* AktDir = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* NewDir = nullptr;
    QPushButton* CreateBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void CreateBtnClick();
};
