// The file-drop dialog: files dropped on the window (or handed over by the desktop) go into
// a new or an existing archive with the chosen action, compression, spanning and path
// options. OK creates or opens the receiving archive and writes the add fields; the window
// then adds FShellFiles. The compression table is the add wizard's (addcore).
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
class TPWordForm;
class TUserSpanForm;

class TFileDropForm : public QDialog {
    Q_OBJECT
public:
    TFileDropForm(TMainCore& main, QWidget* parent = nullptr, TPWordForm* pword = nullptr,
                  TUserSpanForm* span = nullptr);

    // Fills the controls from the open archive and FShellFiles.
    void FormShow();
    // New and Open after their file dialogs: `filterRow` 1 zip, 2 bh, 3 cab, 4 lha, 5 jar, 6 tar.
    // New over an existing file asks, and only records the choice (nothing is deleted here).
    void NewChosen(const std::string& path, int filterRow);
    void OpenChosen(const std::string& path, int filterRow);
    // OK: false when the dialog stays open (the archive named does not exist).
    bool OkClick();
    void cbSpanChange(int row);
    // The add command's choice from the controls after OK (files: FShellFiles).
    TMainCore::TAddChoice Choice() const;

    int NewArchive = 0;  // the archive in oeFilename is to be created
    int HandlerKind = 0; // 1 zip component, 2 engine packer
    int ArchiveKind = 0; // the window's archive kinds: 2 bh, 3 cab, 4 lha, 5 jar, 6 tar, 7 gzip

    QLabel* lFileInfo = nullptr;
    QGroupBox* gbArchive = nullptr;
    QLineEdit* oeFilename = nullptr;
    QPushButton *btnNew = nullptr, *btnOpen = nullptr;
    QLabel *lAction = nullptr, *lCompression = nullptr, *lSpan = nullptr;
    QComboBox *cbAction = nullptr, *cbCompLevel = nullptr, *cbSpan = nullptr;
    QGroupBox *gbFolderOptions = nullptr, *gbFileOptions = nullptr, *gbArcListerOpt = nullptr;
    QCheckBox *cbRecDirs = nullptr, *cbFullPath = nullptr, *cbHidden = nullptr, *cbFormat83 = nullptr;
    QCheckBox *cbArcListerHidden = nullptr, *cbArcListerRelPath = nullptr, *cbArcListerFullPath = nullptr;
    QPushButton *btnPassword = nullptr, *btnOk = nullptr, *btnCancel = nullptr;

public slots:
    void reject() override;

private:
    void FillTypeOptions();
    void FillFileInfo();
    void NewClick();
    void OpenClick();
    int PackerId() const; // TPackerId numbers of ArchiveKind
    TMainCore& FMain;
    TPWordForm* FPWord;
    TUserSpanForm* FSpan;
};
