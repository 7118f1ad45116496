// The add wizard: page one picks files and folders from the disk, page two the options of
// the add run, filled by the back end and packer of the open archive. What the dialog
// decides lives in `addcore`, which needs no widget and is shared with the drop dialog;
// the window's add command reads the public controls after the dialog closed.
#pragma once
#include <QDialog>
#include <string>
#include <vector>

#include "app/core/MainCore.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QToolButton;
class QTreeWidget;
class TShDirTreeCombo;
class TShFilelistView;
class TPWordForm;
class TUserSpanForm;

namespace addcore {

// The texts of the Disk span error box (automatic spanning off a removable disk).
inline constexpr const char* kSpanCaption = "Disk span error";
inline constexpr const char* kSpanText = "To use this function, the archive must be on\n"
                                         "a removable disk. Create an archive on a disk or\n"
                                         "choose user-defined spanning";

// The packer whose rows the dialogs offer (TPackerId numbers): the window's packer, else
// the one of the lister's type; 0 for a zip archive or an unknown type.
int PackerOf(const TMainCore& main);

// The rows of the three drop-down lists and which is chosen (-1 none).
struct TRows {
    bool zipGroups = true; // the zip option groups, else the packers' group
    std::vector<std::string> action, level, span;
    int actionRow = 0, levelRow = -1, spanRow = 3;
    bool spanEnabled = true;
};
// For the zip front-end: the level row from the default level (9, 7, 5, 3, 0; others none).
TRows ZipRows(int packRate);
// For a packer (TPackerId numbers); 0 leaves the level rows empty.
TRows PackerRows(int packer);
// The OK button's caption for an action row: "&Add", "&Update", "&Freshen", "&Move".
std::string ActionCaption(int row);
// Each existing folder becomes folder + "/*.*" (one slash); true when there was one.
bool WidenFolders(std::vector<std::string>& paths);
// A packer's switch for an action row: 3 (move) for row 1, except for cabinets; else 0.
int PackerSwitch(int packer, int actionRow);
// FCompressMethod and FDeflateType for a compression row of a packer.
void SetCompression(TMainCore& main, int packer, int row);
// Automatic spanning (rows 1 and 2) needs the archive on a removable drive; elsewhere the
// Disk span error box, and false.
bool AutoSpanAllowed(const std::string& archive);
// OK of the add dialog: FCancelled, FAddAction, FAddFolderWildcard (rows widened),
// FPackerSwitch and the compression fields.
void Accept(TMainCore& main, bool zip, int packer, int actionRow, int levelRow,
            std::vector<std::string>& rows);

} // namespace addcore

class TAddForm : public QDialog {
    Q_OBJECT
public:
    // `pword` and `span`: the window's password and span dialogs (null: the buttons do nothing).
    TAddForm(TMainCore& main, QWidget* parent = nullptr, TPWordForm* pword = nullptr,
             TUserSpanForm* span = nullptr);

    // Rebuilds the rows for the open archive and shows page one (every show).
    void FormShow();
    // The paths of lvAddfiles, in order, exactly as chosen (bytes unchanged).
    std::vector<std::string> Files() const;
    // Adds paths as rows (a path already listed is skipped), then the icons.
    void AddPaths(const std::vector<std::string>& paths);
    // What the window's add command takes from the controls after OK.
    TMainCore::TAddChoice Choice() const;
    int Page() const;
    // The two views of the file lists: names only ("List") or every column ("Report").
    void SetListView(bool list);

    // Page one.
    QStackedWidget* Dialog = nullptr;
    QWidget *S1 = nullptr, *S2 = nullptr;
    QToolButton *LevelUp = nullptr, *List = nullptr, *Report = nullptr, *sbDesktop = nullptr;
    QLineEdit* Mask = nullptr;
    TShDirTreeCombo* lsTree = nullptr;
    TShFilelistView* lvSource = nullptr;
    QTreeWidget* lvAddfiles = nullptr;
    QLabel *FilesToAdd = nullptr, *lSelAll = nullptr;
    QPushButton *btnAddFiles = nullptr, *btnRemoveFiles = nullptr, *btnSelsrc = nullptr, *btnSeladd = nullptr,
                *btnExclude = nullptr;
    // Page two.
    QLabel *lAction = nullptr, *lSpan = nullptr, *lCompLevel = nullptr;
    QComboBox *cbAction = nullptr, *cbSpan = nullptr, *cbCompLevel = nullptr;
    QPushButton* btnPassword = nullptr;
    QGroupBox *gbFileOptions = nullptr, *gbFolderOptions = nullptr, *gbArcListerOpt = nullptr;
    QCheckBox *cbHidden = nullptr, *cbFormat83 = nullptr;
    QCheckBox *cbFullPath = nullptr, *cbRecDirs = nullptr, *cbRelPath = nullptr;
    QCheckBox *cbArcListerHidden = nullptr, *cbArcListerRelPath = nullptr, *cbArcListerFullPath = nullptr;
    // Below the pages.
    QPushButton *btnBack = nullptr, *btnNext = nullptr, *btnAdd = nullptr, *btnCancel = nullptr;

    void btnAddFilesClick();
    void btnRemoveFilesClick();
    void btnNextClick();
    void btnBackClick();
    void btnExcludeClick();
    void cbSpanChange(int row);
    void btnAddClick();

public slots:
    void reject() override;

protected:
    void done(int r) override;

private:
    void RefreshIcons();
    void Pair(QCheckBox* clicked, QCheckBox* partner);
    TMainCore& FMain;
    TPWordForm* FPWord;
    TUserSpanForm* FSpan;
    int FPacker = 0;
    bool FZip = true;
    bool FPairing = false; // guards the paired path boxes against re-entry
};
