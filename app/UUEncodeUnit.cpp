#include "app/UUEncodeUnit.h"
#include "app/DialogSeams.h"
#include "app/MainUnit.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ArcConvertUnit.h"
#include "app/DirSelUnit.h"
#include "app/MainCore.h"
#include "archive/aeMain.h"
#include "archive/format/aeUUEncode.h"
#include "common/PathParts.h"
#include "controls/DirTree.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"

namespace {
void errorBox(const std::string& text) {
    platform::messageBox("Error", text, platform::MsgType::Error, platform::mbOK);
}
} // namespace

void TUUEncodeState::FormShow(const TMainCore& main) {
    Row = 0;
    if (main.FArchiveOpen) {
        Source = main.FArchiveFile;
        Target = ChangeFileExt(Source, Ext(Row));
    } else {
        Source.clear();
        Target.clear();
    }
    OkEnabled = !Target.empty();
}

void TUUEncodeState::SourceChosen(const std::string& path) {
    if (path.empty()) return;
    if (!platform::fileExists(path)) {
        platform::messageBox("Parvex 2000", "This Archive doesn't exist. Do you want to create it now ?",
                             platform::MsgType::Information, platform::mbOK);
        return;
    }
    Source = path;
    TargetEdited(ChangeFileExt(path, Ext(Row)));
}

void TUUEncodeState::TargetFolderChosen(const std::string& folder) {
    TargetEdited(JoinFolder(folder, pvcommon::FileNamePart(Target)));
}

void TUUEncodeState::TargetEdited(const std::string& text) {
    Target = text;
    if (!Target.empty()) OkEnabled = true;
}

bool TUUEncodeState::OkClick(const TMainCore& main) {
    if (Source.empty() || !platform::fileExists(Source)) {
        errorBox("The source archive does not exist !\n\rProcess canceled.");
        OkEnabled = false;
        return false;
    }
    if (Target.empty() || SameArchiveFile(Source, Target)) {
        errorBox("The target is the source archive itself !\n\rProcess canceled.");
        OkEnabled = false;
        return false;
    }
    if (main.FHandlerKind == hkLister && !TZipCommon::IsArcTypeKnown(DetectFile(Source).ArcType)) {
        errorBox("The source archive is not valid !\n\rProcess canceled.");
        OkEnabled = false;
        return false;
    }
    TUUEncode enc;
    int errors = 0;
    bool passed = false;
    enc.SetCompressMethod(Row == 1 ? cmXXEncode : cmUUEncode);
    enc.SetDefaultExt(Ext(Row));
    enc.KBytesPerVolume = 0;
    enc.DeleteOptions = doAllowUndo;
    enc.OnError = [&errors](TZipCommon&, const std::string&, const std::string&, const std::string&, int) {
        // One box per run is enough: the run ends with the first error.
        if (errors++ == 0)
            platform::messageBox("Error", "An error occured while encoding archive. Process canceled.",
                                 platform::MsgType::Error, platform::mbOK);
    };
    enc.OnFileExists = [](TZipCommon&, const std::string& fn, TDateTime, TOverwriteMode& mode) {
        const auto answer =
            platform::messageBox("Confirmation", "File " + fn + " already exists. Overwrite it?",
                                 platform::MsgType::Confirmation, platform::mbYes | platform::mbNo);
        mode = answer == platform::ModalResult::Yes ? omOverwrite : omSkip;
    };
    enc.OnEnd = [&passed](TZipCommon&, const std::string&, bool ok) { passed = ok; };
    enc.SetArchiveFile(Source);
    enc.SetOutFilename(Target);
    enc.WriteTableToFile = WriteTable;
    enc.SetFileSpec({"*.*"});
    const int written = enc.Compress();
    const bool ok =
        written > 0 && passed && errors == 0 && !enc.Cancel() && platform::fileExists(enc.OutFilename());
    if (!ok) return false;
    platform::messageBox("Information", "The archive was succesfully encoded.",
                         platform::MsgType::Information, platform::mbOK);
    return true;
}

// ---------------------------------------------------------------- the dialog

TUUEncodeForm::TUUEncodeForm(TMainCore& main, QWidget* parent) : QDialog(parent), FMain(main) {
    setWindowTitle("UUEncode or XXEncode archive...");
    lSourceFile = new QLabel("Source:", this);
    oeSourceFile = new QLineEdit(this);
    btnGetSource = new QPushButton("...", this);
    lTargetFile = new QLabel("Target:", this);
    oeTargetFile = new QLineEdit(this);
    Win2KButton1 = new QPushButton("...", this);
    for (QPushButton* b : {btnGetSource, Win2KButton1}) b->setFixedWidth(28);
    lAction = new QLabel("Encoding:", this);
    cbAction = new QComboBox(this);
    cbAction->addItems({"UUEncode", "XXEncode"});
    cbWriteTable = new QCheckBox("Write table to file", this);
    btnOk = new QPushButton("&OK", this);
    btnOk->setEnabled(false);
    btnCancel = new QPushButton("&Cancel", this);

    auto* grid = new QGridLayout;
    grid->addWidget(lSourceFile, 0, 0);
    grid->addWidget(oeSourceFile, 0, 1);
    grid->addWidget(btnGetSource, 0, 2);
    grid->addWidget(lTargetFile, 1, 0);
    grid->addWidget(oeTargetFile, 1, 1);
    grid->addWidget(Win2KButton1, 1, 2);
    grid->addWidget(lAction, 2, 0);
    grid->addWidget(cbAction, 2, 1, Qt::AlignLeft);
    grid->addWidget(cbWriteTable, 3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    resize(420, 170);

    connect(btnGetSource, &QPushButton::clicked, this, [this] {
        State.Row = cbAction->currentIndex();
        State.SourceChosen(ChooseArchiveFile(this, FMain));
        FromState();
    });
    connect(Win2KButton1, &QPushButton::clicked, this, [this] {
        std::string folder;
        {
            TDirSelForm picker(FMain, this);
            picker.exec();
            if (!FMain.FCancelled) folder = picker.DirTree1->GetSelectedPath();
        }
        if (!FMain.FCancelled) {
            State.Target = oeTargetFile->text().toStdString();
            State.TargetFolderChosen(folder);
        }
        FromState();
    });
    connect(oeTargetFile, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (FSyncing) return;
        State.TargetEdited(t.toStdString());
        btnOk->setEnabled(State.OkEnabled);
    });
    connect(btnOk, &QPushButton::clicked, this, &TUUEncodeForm::OkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    oeSourceFile->installEventFilter(this);
    for (QWidget* w : std::initializer_list<QWidget*>{oeTargetFile, cbAction}) w->installEventFilter(this);
}

bool TUUEncodeForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == oeSourceFile)
                oeTargetFile->setFocus();
            else
                OkClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TUUEncodeForm::showEvent(QShowEvent* e) {
    State.FormShow(FMain);
    cbAction->setCurrentIndex(0);
    FromState();
    QDialog::showEvent(e);
}

void TUUEncodeForm::FromState() {
    FSyncing = true;
    oeSourceFile->setText(QString::fromStdString(State.Source));
    oeTargetFile->setText(QString::fromStdString(State.Target));
    FSyncing = false;
    btnOk->setEnabled(State.OkEnabled);
}

void TUUEncodeForm::OkClick() {
    if (!btnOk->isEnabled()) return;
    State.Source = oeSourceFile->text().toStdString();
    State.Target = oeTargetFile->text().toStdString();
    State.Row = cbAction->currentIndex();
    State.WriteTable = cbWriteTable->isChecked();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool done = State.OkClick(FMain);
    QApplication::restoreOverrideCursor();
    btnOk->setEnabled(State.OkEnabled);
    if (done) accept();
}

// The window opens this dialog through its seam.
static const bool registered = FillDialogSeam([](TDialogSeams& s) {
    s.UUEncode = [](TMainForm& owner) {
        TUUEncodeForm dlg(owner, &owner);
        dlg.exec();
    };
});
