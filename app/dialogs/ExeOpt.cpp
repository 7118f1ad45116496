#include "app/dialogs/ExeOpt.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/core/MainCore.h"

void TExeOpt::Accept(TMainCore& main, bool ok) {
    main.FSfxAccepted = ok;
}

TExeOpt::TExeOpt(TMainCore& main, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), FMain(main) {
    setObjectName("ExeOpt");
    setWindowTitle("EXE-Options");
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* edits = new QGridLayout;
    DefDirLabel = new QLabel("Destination Dir:", this);
    // The self-extractor expands "~" to the home folder of whoever runs it.
    DefDirEdit = new QLineEdit("~/Temp", this);
    DefDirEdit->setObjectName("DefDirEdit");
    CmdLabel = new QLabel("Commandline", this);
    CmdEdit = new QLineEdit(this);
    CmdEdit->setObjectName("CmdEdit");
    AppTitel = new QLabel("Application title:", this);
    AppCaption = new QLineEdit("Parvex SFX", this);
    AppCaption->setObjectName("AppCaption");
    edits->addWidget(DefDirLabel, 0, 0);
    edits->addWidget(DefDirEdit, 0, 1);
    edits->addWidget(CmdLabel, 1, 0);
    edits->addWidget(CmdEdit, 1, 1);
    edits->addWidget(AppTitel, 2, 0);
    edits->addWidget(AppCaption, 2, 1);
    layout->addLayout(edits);

    auto* groups = new QHBoxLayout;
    OverwrModeBox = new QGroupBox("Overwritemode", this);
    OverwrModeBox->setObjectName("OverwrMode");
    auto* ov = new QVBoxLayout(OverwrModeBox);
    FOverwrGroup = new QButtonGroup(this);
    const char* rows[] = {"Confirm", "Overwrite", "Don\"t overwrite"};
    for (int i = 0; i < 3; ++i) {
        auto* rb = new QRadioButton(rows[i], OverwrModeBox);
        FOverwrGroup->addButton(rb, i);
        ov->addWidget(rb);
    }
    SetOverwrMode(0);
    groups->addWidget(OverwrModeBox);
    GroupBox1 = new QGroupBox("Options", this);
    GroupBox1->setObjectName("GroupBox1");
    auto* op = new QVBoxLayout(GroupBox1);
    AskCmdLn = new QCheckBox("Ask for comnmandline", GroupBox1);
    AskCmdLn->setObjectName("AskCmdLn");
    AskFile = new QCheckBox("Ask for files", GroupBox1);
    AskFile->setObjectName("AskFile");
    AskFile->setChecked(true);
    HideBox = new QCheckBox("Hide Overwritebox", GroupBox1);
    HideBox->setObjectName("HideBox");
    op->addWidget(AskCmdLn);
    op->addWidget(AskFile);
    op->addWidget(HideBox);
    groups->addWidget(GroupBox1);
    layout->addLayout(groups);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    OKBtn = new QPushButton("&OK", this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton("&Cancel", this);
    CancelBtn->setObjectName("CancelBtn");
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);

    connect(OKBtn, &QPushButton::clicked, this, [this] {
        Accept(FMain, true);
        accept();
    });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { reject(); });
}

int TExeOpt::OverwrMode() const {
    return FOverwrGroup->checkedId();
}

void TExeOpt::SetOverwrMode(int row) {
    if (auto* b = FOverwrGroup->button(row)) b->setChecked(true);
}

void TExeOpt::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    OKBtn->setFocus();
}

void TExeOpt::reject() {
    Accept(FMain, false);
    QDialog::reject();
}
