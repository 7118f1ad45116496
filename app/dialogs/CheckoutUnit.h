// The check-out dialog: extracts the whole open archive into a folder and makes a menu
// group of shortcuts to the extracted files. The group is a submenu of the desktop's
// applications menu: its entries in a folder of their own below the applications folder,
// a ".directory" file naming it, and a merged ".menu" file placing it.
//
// A folder that cannot be made gives an error box and the dialog stays; a failed
// extraction makes no group; each shortcut's target comes from the row's stored name by
// the one safe-path rule, so a name that climbs out gets none.
#pragma once
#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TMainCore;

namespace checkoutcore {
// The shortcut's name for a row's caption: up to its first '.', then ".lnk" (the whole
// caption when that leaves nothing).
std::string LinkName(const std::string& caption);
// ".exe", ".com", ".hlp", ".txt" and ".doc", in any letter case.
bool IsAppOrDocument(const std::string& caption);
// A group name that can be a folder and a menu name (no '/', not "." or "..", no control
// character, not empty).
bool ValidGroupName(const std::string& name);
// Writes "<group>.directory" and the merged menu file for the group folder
// `applications/<group>/`, listing every entry in it; false when a file cannot be written.
bool WriteMenuGroup(const std::string& group);
// The two files WriteMenuGroup writes.
std::string DirectoryFile(const std::string& group);
std::string MergedMenuFile(const std::string& group);
} // namespace checkoutcore

struct TCheckoutState {
    std::string Folder, GroupName, IconCount = "40";
    bool OnlyApps = true;
    // The shortcut files the last OK wrote.
    std::vector<std::string> Written;

    void FormShow(const TMainCore& main);
    void FolderPicked(const std::string& folder);
    // OK; true when the dialog closes.
    bool OkClick(TMainCore& main);
};

class TCheckoutForm : public QDialog {
    Q_OBJECT
public:
    explicit TCheckoutForm(TMainCore& main, QWidget* parent = nullptr);

    TCheckoutState State;

    QLabel *lDescription = nullptr, *lFolder = nullptr, *lGroupName = nullptr, *lIconCount = nullptr;
    QLineEdit *oeTargetFolder = nullptr, *oeGroupName = nullptr, *oeIconCount = nullptr;
    QPushButton* btnGetSource = nullptr;
    QCheckBox* cbOnlyApps = nullptr;
    QPushButton *btnOk = nullptr, *btnCancel = nullptr;

    void OkClick();

protected:
    void showEvent(QShowEvent* e) override;

private:
    void ToState();
    void FromState();
    TMainCore& FMain;
};
