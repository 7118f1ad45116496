// The exclusion list of the add dialog: file masks left out of every add of this run.
// OK writes FExcludeSpecs in the list's order; Cancel changes nothing.
#pragma once
#include <QDialog>
#include <string>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;
class TMainCore;

class TExcludeSpecForm : public QDialog {
    Q_OBJECT
public:
    TExcludeSpecForm(TMainCore& main, QWidget* parent = nullptr);

    // The masks listed now, in order.
    std::vector<std::string> Specs() const;
    // Add (or Enter in the edit): an empty edit or a mask already listed (any case) is
    // ignored; otherwise the mask is appended and the edit cleared.
    void btnAddClick();
    void btnDelClick();
    // Lines of a text file replace the list (blank lines skipped); false when unreadable.
    bool LoadFrom(const std::string& path);
    // The list as lines of text; false when it could not be written.
    bool SaveTo(const std::string& path) const;
    void btnOkClick();

    QListWidget* lbExSpec = nullptr;
    QLineEdit* edExSpec = nullptr;
    QPushButton *btnBrowse = nullptr, *btnAdd = nullptr, *btnDel = nullptr, *btnLoad = nullptr,
                *btnSave = nullptr, *btnOk = nullptr, *btnCancel = nullptr;

private:
    void btnBrowseClick();
    void btnLoadClick();
    void btnSaveClick();
    TMainCore& FMain;
};
