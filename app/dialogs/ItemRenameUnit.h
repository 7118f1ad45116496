// The rename dialog for one entry of the open archive: shows the entry's name, and OK
// stores the new one in FNewItemName. A name the entry cannot take is refused with an
// error and the dialog stays, so nothing reaches the archive.
#pragma once
#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class TMainCore;

namespace renamecore {
// Why `name` cannot be the new name of the selected entry ("" when it can): empty, a
// separator, a control character (NUL included), "." or "..", unchanged, or the name of
// another entry in the same folder.
std::string Refusal(const TMainCore& main, const std::string& name);
} // namespace renamecore

class TItemRenameForm : public QDialog {
    Q_OBJECT
public:
    explicit TItemRenameForm(TMainCore& main, QWidget* parent = nullptr);

    QLabel* lNewName = nullptr;
    QLineEdit* oeNewName = nullptr;
    QPushButton *btnOk = nullptr, *btnCancel = nullptr;

    void OkClick();

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    TMainCore& FMain;
};
