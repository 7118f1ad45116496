// The association question at start-up: which archive types the program should open. Its
// answers and the "never ask again" choice live in [ZipAsso] of the window's settings
// object (one object, so that the window's own saves keep them). When the user chose never
// to be asked, the stored answer is applied as the dialog is made and AppliedAtCreation()
// tells the caller not to show it.
#pragma once
#include <QDialog>
#include <string>
#include <vector>

#include "app/desktop/FileTypes.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class TIniFile;
class TMainCore;

namespace assocore {
// The file types asked about, in their order.
inline constexpr const auto& kRows = kArchiveFileTypes;
// Every row checked but the game packages'.
std::vector<bool> PresetChecks();
// Associate: the checked rows' extensions, in row order, each with its key; then ZipAsso,
// and with `never` NoAssoDialog and AssoYN "1".
void Associate(TIniFile& ini, const std::vector<bool>& checked, bool never);
// Cancel: with `never`, NoAssoDialog "1" and AssoYN "0".
void Cancel(TIniFile& ini, bool never);
// With NoAssoDialog "1": the stored answer (AssoYN not "0": associate the preset rows) is
// applied and the result is true.
bool ApplyStoredAnswer(TIniFile& ini);
} // namespace assocore

class TAssoForm : public QDialog {
    Q_OBJECT
public:
    explicit TAssoForm(TMainCore& main, QWidget* parent = nullptr);

    // The stored answer was applied while the dialog was made: do not show it.
    bool AppliedAtCreation() const { return FApplied; }

    QLabel *lbText = nullptr, *lSelectAsso = nullptr;
    QListWidget* clbFileTypes = nullptr;
    QCheckBox* cbNever = nullptr;
    QPushButton *AssoBtn = nullptr, *CancelBtn = nullptr;

    std::vector<bool> Checked() const;
    void AssoBtnClick();
    void CancelBtnClick();

private:
    TMainCore& FMain;
    bool FApplied = false;
};
