#include "app/dialogs/UUEncodeUnit.h"
#include "app/dialogs/DialogSeams.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/core/MainCore.h"
#include "archive/aeMain.h"
#include "archive/format/aeUUEncode.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"

void TUUEncodeState::FormShow(const TMainCore& main) {
    Row = 0;
    TSourceTargetState::FormShow(main);
}

bool TUUEncodeState::OkClick(const TMainCore& main) {
    if (!SourceAndTargetUsable()) return false;
    if (main.FHandlerKind == hkLister && !TZipCommon::IsArcTypeKnown(DetectFile(Source).ArcType)) {
        Refuse("The source archive is not valid !");
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

TUUEncodeForm::TUUEncodeForm(TMainCore& main, QWidget* parent) : TSourceTargetForm(main, State, parent) {
    setWindowTitle("UUEncode or XXEncode archive...");
    auto* grid = new QGridLayout;
    Win2KButton1 = AddFileRows(grid);
    lAction = new QLabel("Encoding:", this);
    cbAction = new QComboBox(this);
    cbAction->addItems({"UUEncode", "XXEncode"});
    cbWriteTable = new QCheckBox("Write table to file", this);
    QHBoxLayout* buttons = AddOkCancel();

    grid->addWidget(lAction, 2, 0);
    grid->addWidget(cbAction, 2, 1, Qt::AlignLeft);
    grid->addWidget(cbWriteTable, 3, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    resize(420, 170);

    oeSourceFile->installEventFilter(this);
    for (QWidget* w : std::initializer_list<QWidget*>{oeTargetFile, cbAction}) w->installEventFilter(this);
}

void TUUEncodeForm::GetSourceClick() {
    State.Row = cbAction->currentIndex();
    TSourceTargetForm::GetSourceClick();
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

void TUUEncodeForm::OkClick() {
    State.Row = cbAction->currentIndex();
    State.WriteTable = cbWriteTable->isChecked();
    RunOk([this] { return State.OkClick(FMain); });
}

// The window opens this dialog through its seam.
static const bool registered = FillDialogSeam([](TDialogSeams& s) {
    s.UUEncode = [](TDialogHost& host) {
        TUUEncodeForm dlg(host.Core(), host.Window());
        dlg.exec();
    };
});
