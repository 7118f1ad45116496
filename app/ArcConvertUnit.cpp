#include "app/ArcConvertUnit.h"
#include "app/DialogSeams.h"
#include "app/MainUnit.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/DirSelUnit.h"
#include "app/FileUtil.h"
#include "app/MainCore.h"
#include "archive/aeMain.h"
#include "archive/aeMsgs.h"
#include "common/PathParts.h"
#include "controls/DirTree.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"

using pvcommon::FileNamePart;

const TArcKindRow kConvertKinds[6] = {
    {"BlakHole (.bh)", tyBh, ".bh"},
    {"Cabinet (.cab)", tyCab, ".cab"},
    {"GZip Tar (.tar.gz)", tyGzipTar, ".tar.gz"},
    {"Lha (.lzh)", tyLzh, ".lha"},
    {"Tar (.tar)", tyTar, ".tar"},
    {"Zip (.zip)", tyZip, ".zip"},
};

namespace {
const char* const kNoSource = "The source archive does not exist !\n\rProcess canceled.";
const char* const kBadSource = "The source archive is not valid !\n\rProcess canceled.";
const char* const kSameTarget = "The target is the source archive itself !\n\rProcess canceled.";
const char* const kNoArchive = "This Archive doesn't exist. Do you want to create it now ?";

void errorBox(const std::string& text) {
    platform::messageBox("Error", text, platform::MsgType::Error, platform::mbOK);
}
} // namespace

std::string ChooseArchiveFile(QWidget* parent, const TMainCore& main) {
    QFileDialog dlg(parent, "Open Archiv");
    if (main.FOpenLast) dlg.setDirectory(QString::fromStdString(main.FOpenFolder));
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setNameFilters(
        {"All archives (*.zip *.rar *.jar *.ace *.arc *.arj *.cab *.gz *.lzh *.tar *.zoo *.lha *.bh)",
         "All archives and .exe files (*.zip *.rar *.jar *.ace *.arc *.arj *.cab *.gz *.exe *.lzh *.lha *.bh "
         "*.tar *.zoo)",
         "Zip files (*.zip)", "Arj files (*.arj)", "Ace files (*.ace)", "Arc files (*.arc)",
         "BlakHole files (*.bh)", "Cabinet files (*.cab)", "GZip files (*.gz)", "Jar files (*.jar)",
         "Lha files (*.lzh)", "Rar files (*.rar)", "Tar files (*.tar)", "Zoo files (*.zoo)"});
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
    return dlg.selectedFiles().first().toStdString();
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    const std::string old = pvcommon::ExtensionOf(path);
    return path.substr(0, path.size() - old.size()) + ext;
}

bool SameArchiveFile(const std::string& source, const std::string& target) {
    if (source == target) return true;
    return platform::pathExists(target) && platform::sameFile(source, target);
}

// ---------------------------------------------------------------- the state

void TArcConvertState::FormShow(const TMainCore& main) {
    if (main.FArchiveOpen) {
        Source = main.FArchiveFile;
        Target = ChangeFileExt(Source, kConvertKinds[KindRow].ext);
    } else {
        Source.clear();
        Target.clear();
    }
    OkEnabled = !Target.empty();
}

void TArcConvertState::SourceChosen(const std::string& path) {
    if (path.empty()) return;
    if (!platform::fileExists(path)) {
        platform::messageBox("Parvex 2000", kNoArchive, platform::MsgType::Information, platform::mbOK);
        return;
    }
    Source = path;
    TargetEdited(ChangeFileExt(path, kConvertKinds[KindRow].ext));
}

void TArcConvertState::TargetFolderChosen(const std::string& folder) {
    TargetEdited(JoinFolder(folder, FileNamePart(Target)));
}

void TArcConvertState::TargetEdited(const std::string& text) {
    Target = text;
    if (!Target.empty()) OkEnabled = true;
}

void TArcConvertState::KindClick(int row) {
    if (row < 0 || row > 5) return;
    KindRow = row;
    if (Source.empty() || Target.empty()) return;
    // A double extension goes as a whole before the new one is put on.
    const size_t at = pvcommon::LowerAscii(Target).find(".tar.gz");
    if (at != std::string::npos) Target.erase(at, 7);
    Target = ChangeFileExt(Target, kConvertKinds[row].ext);
}

bool TArcConvertState::OkClick(TMainCore& main) {
    if (Source.empty() || !platform::fileExists(Source)) {
        errorBox(kNoSource);
        OkEnabled = false;
        return false;
    }
    if (Target.empty() || SameArchiveFile(Source, Target)) {
        errorBox(kSameTarget);
        OkEnabled = false;
        return false;
    }
    TArc2Arc conv;
    conv.SetArchiveFile(Source);
    if (!TZipCommon::IsArcTypeKnown(conv.ArcType())) {
        errorBox(kBadSource);
        OkEnabled = false;
        return false;
    }
    auto panel = [this](std::string* p, std::string text) {
        *p = std::move(text);
        if (OnPanels) OnPanels();
    };
    int errors = 0, damaged = 0;
    conv.OnExtractActivate = [&](TZipCommon&) {
        panel(&Panel0, "Extracting source archive to Temp folder...");
    };
    conv.OnCompressActivate = [&](TZipCommon&) { panel(&Panel0, "Compressing target file..."); };
    conv.OnCompressDeactivate = [&](TZipCommon&) { panel(&Panel0, "Compressing done."); };
    conv.OnIntegrityActivate = [&](TZipCommon&) { panel(&Panel0, "Checking integrity..."); };
    conv.OnIntegrityDeactivate = [&](TZipCommon&) { panel(&Panel0, "Checking integrity...Done."); };
    conv.OnIntegrityStatus = [&](TZipCommon&, const std::string&, bool pass) {
        if (!pass) ++damaged;
    };
    conv.OnRemoveTempfile = [&](TZipCommon&, const std::string&) { panel(&Panel0, "Removing tempfile..."); };
    conv.OnProgress = [&](TZipCommon&, uint8_t byFile, uint8_t) {
        panel(&Panel1, std::to_string(int(byFile)) + "% done");
    };
    conv.OnFileExists = [&conv](TZipCommon&, const std::string& fn, TDateTime, TOverwriteMode& mode) {
        const auto answer = platform::messageBox("Question", "File " + fn + " already exists. Overwrite it?",
                                                 platform::MsgType::Confirmation,
                                                 platform::mbYes | platform::mbNo | platform::mbCancel);
        if (answer == platform::ModalResult::Yes) {
            mode = omOverwrite;
        } else {
            mode = omSkip;
            if (answer != platform::ModalResult::No) conv.SetCancel(true);
        }
    };
    conv.OnGetPassword = [&main](TZipCommon&, const std::string& fn, std::string& pw, bool& tryAgain) {
        main.aeUnGetPassword(fn, tryAgain, pw);
    };
    conv.OnNextVolume = [&main](TZipCommon&, std::string& volume, const std::string& id, bool exists,
                                bool& cancel) { main.aeNextVolume(volume, cancel, exists, id); };
    conv.OnError = [&](TZipCommon&, const std::string& fn, const std::string& msgEx, const std::string&,
                       int code) {
        ++errors;
        platform::messageBox("Error", fn + " # " + msgEx + " # " + AeMessageString(code),
                             platform::MsgType::Error, platform::mbOK);
    };
    conv.OutArchiveFile = Target;
    conv.OutArcMethod = Action == 1 ? amAddToArc : amCreateNew;
    conv.OutArcType = kConvertKinds[KindRow].type;
    // The converter makes its own folder inside the window's private one, never a shared
    // folder whose name others could take first.
    conv.SetTempDir(main.PrivateTempFolder());
    conv.IntegrityCheck = IntegCheck;
    conv.Convert();

    if (damaged != 0)
        errorBox("The converted archive failed its integrity check (" + std::to_string(damaged) +
                 " file(s)).\n\rProcess canceled.");
    const bool ok =
        conv.Succeeded() && !conv.Cancel() && errors == 0 && damaged == 0 && platform::fileExists(Target);
    if (!ok) return false;
    if (DelSource) {
        main.CloseArchive();
        ShellDeleteFiles({Source}, true, false);
    }
    platform::messageBox("Information", "The archive was succesfully converted.",
                         platform::MsgType::Information, platform::mbOK);
    return true;
}

// ---------------------------------------------------------------- the dialog

TArcConvertForm::TArcConvertForm(TMainCore& main, QWidget* parent) : QDialog(parent), FMain(main) {
    setWindowTitle("Convert archive...");
    lSourceFile = new QLabel("Source:", this);
    oeSourceFile = new QLineEdit(this);
    btnGetSource = new QPushButton("...", this);
    lTargetFile = new QLabel("Target:", this);
    oeTargetFile = new QLineEdit(this);
    btnGetTarget = new QPushButton("...", this);
    for (QPushButton* b : {btnGetSource, btnGetTarget}) b->setFixedWidth(28);

    gbArcType = new QGroupBox("Convert archive to:", this);
    rgArcType = new QButtonGroup(this);
    auto* kinds = new QGridLayout(gbArcType);
    for (int i = 0; i < 6; ++i) {
        auto* r = new QRadioButton(kConvertKinds[i].text, gbArcType);
        rgArcType->addButton(r, i);
        kinds->addWidget(r, i / 3, i % 3);
    }
    rgArcType->button(0)->setChecked(true);
    lAction = new QLabel("Action:", this);
    cbAction = new QComboBox(this);
    cbAction->addItems({"Create new archive", "Add to archive"});
    cbDelSource = new QCheckBox("Delete source file", this);
    cbIntegCheck = new QCheckBox("Integrity check", this);
    cbIntegCheck->setChecked(true);
    btnOk = new QPushButton("&OK", this);
    btnOk->setEnabled(false);
    btnOk->setDefault(true);
    btnCancel = new QPushButton("&Cancel", this);
    sbProgress = new QStatusBar(this);
    sbProgress->setSizeGripEnabled(false);
    lPhase = new QLabel(this);
    lPhase->setMinimumWidth(340);
    lPercent = new QLabel(this);
    lPercent->setMinimumWidth(50);
    lPercent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    sbProgress->addWidget(lPhase, 1);
    sbProgress->addPermanentWidget(lPercent);

    auto* grid = new QGridLayout;
    grid->addWidget(lSourceFile, 0, 0);
    grid->addWidget(oeSourceFile, 0, 1);
    grid->addWidget(btnGetSource, 0, 2);
    grid->addWidget(lTargetFile, 1, 0);
    grid->addWidget(oeTargetFile, 1, 1);
    grid->addWidget(btnGetTarget, 1, 2);
    auto* action = new QHBoxLayout;
    action->addWidget(lAction);
    action->addWidget(cbAction);
    action->addStretch();
    auto* checks = new QHBoxLayout;
    checks->addWidget(cbDelSource);
    checks->addWidget(cbIntegCheck);
    checks->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(gbArcType);
    layout->addLayout(action);
    layout->addLayout(checks);
    layout->addLayout(buttons);
    layout->addWidget(sbProgress);

    State.OnPanels = [this] {
        lPhase->setText(QString::fromStdString(State.Panel0));
        lPercent->setText(QString::fromStdString(State.Panel1));
        platform::processMessages();
    };
    connect(btnGetSource, &QPushButton::clicked, this, [this] {
        State.SourceChosen(ChooseArchiveFile(this, FMain));
        FromState();
    });
    connect(btnGetTarget, &QPushButton::clicked, this, [this] {
        std::string folder;
        {
            TDirSelForm picker(FMain, this);
            picker.exec();
            if (!FMain.FCancelled) folder = picker.DirTree1->GetSelectedPath();
        }
        if (!FMain.FCancelled) State.TargetFolderChosen(folder);
        FromState();
    });
    connect(oeTargetFile, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (FSyncing) return;
        State.TargetEdited(t.toStdString());
        btnOk->setEnabled(State.OkEnabled);
    });
    connect(oeSourceFile, &QLineEdit::textEdited, this,
            [this](const QString& t) { State.Source = t.toStdString(); });
    connect(rgArcType, &QButtonGroup::idClicked, this, [this](int row) {
        State.KindClick(row);
        FromState();
    });
    connect(btnOk, &QPushButton::clicked, this, &TArcConvertForm::OkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TArcConvertForm::showEvent(QShowEvent* e) {
    State.FormShow(FMain);
    FromState();
    QDialog::showEvent(e);
}

void TArcConvertForm::FromState() {
    FSyncing = true;
    oeSourceFile->setText(QString::fromStdString(State.Source));
    oeTargetFile->setText(QString::fromStdString(State.Target));
    FSyncing = false;
    btnOk->setEnabled(State.OkEnabled);
}

void TArcConvertForm::OkClick() {
    State.Source = oeSourceFile->text().toStdString();
    State.Target = oeTargetFile->text().toStdString();
    State.KindRow = rgArcType->checkedId();
    State.Action = cbAction->currentIndex();
    State.DelSource = cbDelSource->isChecked();
    State.IntegCheck = cbIntegCheck->isChecked();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool done = State.OkClick(FMain);
    QApplication::restoreOverrideCursor();
    btnOk->setEnabled(State.OkEnabled);
    if (done) accept();
}

// The window opens this dialog through its seam.
static const bool registered = FillDialogSeam([](TDialogSeams& s) {
    s.Convert = [](TMainForm& owner) {
        TArcConvertForm dlg(owner, &owner);
        dlg.exec();
    };
});
