// The preferences dialog: seven pages over the window's fields and its settings file. What
// the pages show and what OK applies live in `optcore`, which needs no widget; Cancel
// changes nothing.
#pragma once
#include <QDialog>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "app/desktop/FileTypes.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolButton;
class TMainCore;

namespace optcore {

// The file-type rows: the text shown and the extension list handed to the registration.
using ::TFileTypeRow;
inline constexpr const auto& kFileTypes = kArchiveFileTypes;
// The zip level of each compression row ("None" .. "Maximum").
inline constexpr int kLevels[5] = {0, 3, 5, 7, 9};

// The registration routines the file-type page goes through (the desktop's by default;
// tests script them).
struct TRegistry {
    std::function<bool(const std::string&)> IsAssociated;
    std::function<void(const std::string&)> Associate;
    std::function<void(const std::string&)> Unassociate;
};
TRegistry DesktopRegistry();

// Everything the pages show.
struct TValues {
    // View
    bool rowSelect = false, gridLines = false, singleClick = false, mousePoint = false, alwaysUnder = false;
    bool viewToolbar = true, viewStatusBar = true, checkNewVersion = true;
    std::array<bool, 7> columns{}; // Size, Packed, Ratio, Date, CRC, Attributes, Path
    // Folders
    bool defaultTemp = true, lastDir = true, lastExtract = true;
    std::string temp, start, extDir, favFolder;
    // Program locations
    bool notepad = true;
    std::string otherProg;
    // Compression: the row, -1 none
    int compRow = 4;
    // Extraction
    bool zipDirs = true, overwrite = true, update = true, test = true;
    // Mail
    bool internalMail = true;
    std::string mailHost, mailUserID, mailName, mailAddress;
    // File types: one per row once the page was shown, empty before.
    std::vector<bool> fileTypes;
};

// The compression row for the text of "Packrate": 0, 3, 5, 7, 9 give rows 0..4, another
// number the design row 4, text that is no number no row (-1).
int RowForPackrate(const std::string& text);
// What the dialog shows when it opens.
TValues FormShow(TMainCore& main);
// The file-type checks as the registration reports them.
std::vector<bool> FileTypeChecks(const TRegistry& reg);
// OK: the fields, the settings keys and the registrations, in the dialog's order.
void Ok(TMainCore& main, const TValues& v, const TRegistry& reg);

} // namespace optcore

class TOptionsForm : public QDialog {
    Q_OBJECT
public:
    TOptionsForm(TMainCore& main, QWidget* parent = nullptr);

    // The controls from the window's fields (every show).
    void FormShow();
    // The controls' values now.
    optcore::TValues Values() const;
    void OkBtnClick();
    // The file-type page became active: its rows (first time) and their checks.
    void ShowFileTypes();

    // Tests may script the registration.
    optcore::TRegistry Registry;
    // The window applies what OK changed to its widgets.
    std::function<void()> OnApplied;

    QTabWidget* pcPrefs = nullptr;
    QWidget *tsView = nullptr, *tsFolders = nullptr, *tsFileview = nullptr, *tsCompress = nullptr,
            *tsExtract = nullptr, *tsMail = nullptr, *tsFileTypes = nullptr;
    // View
    QCheckBox *RowSel = nullptr, *GridLines = nullptr, *MousePoint = nullptr, *AlwaysUnder = nullptr;
    QRadioButton *SingleClick = nullptr, *DblClick = nullptr;
    QCheckBox *cbViewToolbar = nullptr, *cbViewStatusBar = nullptr, *cbCheckNewVersion = nullptr;
    QCheckBox *cbZlName = nullptr, *cbZlSize = nullptr, *cbZlPacked = nullptr, *cbZlRatio = nullptr,
              *cbZlDate = nullptr, *cbZlCRC = nullptr, *cbZlAttributes = nullptr, *cbZlPath = nullptr;
    QPushButton* btnZlDefaults = nullptr;
    // Folders
    QRadioButton *rbDefaultTemp = nullptr, *rbTempOther = nullptr, *LastDir = nullptr, *PerDir = nullptr,
                 *LastExtract = nullptr, *OwnDir = nullptr;
    QLineEdit *oeTemp = nullptr, *Start = nullptr, *ExtDir = nullptr, *oeFavFolder = nullptr;
    QToolButton *btnDirSel3 = nullptr, *DirSel1 = nullptr, *DirSel3 = nullptr, *btnFavFolder = nullptr;
    // Program locations
    QRadioButton *Notepad = nullptr, *Other = nullptr;
    QLineEdit* OtherProg = nullptr;
    QToolButton* SelDir = nullptr;
    // Compression
    QGroupBox* KompRate = nullptr;
    QButtonGroup* KompRows = nullptr;
    // Extraction
    QCheckBox *cbZipDirs = nullptr, *cbOverwrite = nullptr, *cbUpdate = nullptr, *cbTest = nullptr;
    // Mail
    QRadioButton *cbUseInternalMail = nullptr, *rbUseExtMail = nullptr;
    QLabel *lMailHost = nullptr, *lMailUserID = nullptr, *lMailName = nullptr, *lMailAddress = nullptr;
    QLineEdit *oeMailHost = nullptr, *oeMailUserID = nullptr, *oeMailName = nullptr, *oeMailAddress = nullptr;
    // File types
    QListWidget* clbFiletypes = nullptr;
    QPushButton *btnExtSelAll = nullptr, *btnExtSelNone = nullptr;
    QPushButton *OkBtn = nullptr, *CancelBtn = nullptr;

private:
    void SyncEnabled();
    void PickFolder(QLineEdit* edit, const std::string& start);
    TMainCore& FMain;
};
