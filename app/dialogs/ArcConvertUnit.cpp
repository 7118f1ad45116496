#include "app/dialogs/ArcConvertUnit.h"
#include "app/dialogs/DialogSeams.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>

#include "app/desktop/FileUtil.h"
#include "app/core/MainCore.h"
#include "archive/aeMain.h"
#include "archive/aeMsgs.h"
#include "common/PathParts.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"

const TArcKindRow kConvertKinds[6] = {
    {"BlakHole (.bh)", tyBh, ".bh"},
    {"Cabinet (.cab)", tyCab, ".cab"},
    {"GZip Tar (.tar.gz)", tyGzipTar, ".tar.gz"},
    {"Lha (.lzh)", tyLzh, ".lha"},
    {"Tar (.tar)", tyTar, ".tar"},
    {"Zip (.zip)", tyZip, ".zip"},
};

namespace {
void errorBox(const std::string& text) {
    platform::messageBox("Error", text, platform::MsgType::Error, platform::mbOK);
}
} // namespace

// ---------------------------------------------------------------- the state

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
    if (!SourceAndTargetUsable()) return false;
    TArc2Arc conv;
    conv.SetArchiveFile(Source);
    if (!TZipCommon::IsArcTypeKnown(conv.ArcType())) {
        Refuse("The source archive is not valid !");
        return false;
    }
    auto panel = [this](std::string* p, std::string text) {
        *p = std::move(text);
        if (OnPanels) OnPanels();
    };
    int errors = 0, damaged = 0, failedEntries = 0;
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
    // An entry that fails while it is extracted or packed ends the run without an error event:
    // counted, so that the run does not end in silence.
    auto entryEnd = [&](TZipCommon&, const std::string&, bool pass) {
        if (!pass) ++failedEntries;
    };
    conv.OnExtractEnd = entryEnd;
    conv.OnCompressEnd = entryEnd;
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
    else if (failedEntries != 0 && errors == 0 && !conv.Cancel())
        errorBox(std::to_string(failedEntries) + " file(s) could not be converted.\n\rProcess canceled.");
    const bool ok = conv.Succeeded() && !conv.Cancel() && errors == 0 && damaged == 0 && failedEntries == 0 &&
                    platform::fileExists(Target);
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

TArcConvertForm::TArcConvertForm(TMainCore& main, QWidget* parent) : TSourceTargetForm(main, State, parent) {
    setWindowTitle("Convert archive...");
    auto* grid = new QGridLayout;
    btnGetTarget = AddFileRows(grid);

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
    QHBoxLayout* buttons = AddOkCancel();
    btnOk->setDefault(true);
    sbProgress = new QStatusBar(this);
    sbProgress->setSizeGripEnabled(false);
    lPhase = new QLabel(this);
    lPhase->setMinimumWidth(340);
    lPercent = new QLabel(this);
    // Room for the longest text the panel shows, "100% done", whatever the font.
    lPercent->setMinimumWidth(std::max(50, lPercent->fontMetrics().horizontalAdvance("100% done") + 8));
    lPercent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    sbProgress->addWidget(lPhase, 1);
    sbProgress->addPermanentWidget(lPercent);

    auto* action = new QHBoxLayout;
    action->addWidget(lAction);
    action->addWidget(cbAction);
    action->addStretch();
    auto* checks = new QHBoxLayout;
    checks->addWidget(cbDelSource);
    checks->addWidget(cbIntegCheck);
    checks->addStretch();
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
    connect(rgArcType, &QButtonGroup::idClicked, this, [this](int row) {
        State.KindClick(row);
        FromState();
    });
}

void TArcConvertForm::showEvent(QShowEvent* e) {
    State.FormShow(FMain);
    FromState();
    QDialog::showEvent(e);
}

void TArcConvertForm::OkClick() {
    State.KindRow = rgArcType->checkedId();
    State.Action = cbAction->currentIndex();
    State.DelSource = cbDelSource->isChecked();
    State.IntegCheck = cbIntegCheck->isChecked();
    RunOk([this] { return State.OkClick(FMain); });
}

// The window opens this dialog through its seam.
static const bool registered = FillDialogSeam([](TDialogSeams& s) {
    s.Convert = [](TDialogHost& host) {
        TArcConvertForm dlg(host.Core(), host.Window());
        dlg.exec();
    };
});
