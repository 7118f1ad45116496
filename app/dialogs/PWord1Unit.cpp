#include "app/dialogs/PWord1Unit.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/core/MainCore.h"
#include "platform/ui_hooks.h"

void TPWordState::RestoreSetTexts() {
    Caption = kSetCaption;
    Hint = kSetHint;
}

void TPWordState::FormShow(const TMainCore& main) {
    if (main.FAskPassword) {
        FirstEntry = 0;
        Caption = kAskCaption;
        Hint = kAskHint;
        HintVisible = true;
        // A password typed for an earlier archive is not offered again.
        Text.clear();
    } else {
        FirstEntry = 1;
        RestoreSetTexts();
    }
}

bool TPWordState::OkClick(TMainCore& main) {
    if (main.FAskPassword) {
        main.FCancelled = false;
        main.FArchivePassword = Text;
        return true;
    }
    if (FirstEntry == 1) {
        FirstPassword = Text;
        FirstEntry = 0;
        Text.clear();
        Caption = kReenterCaption;
        HintVisible = true;
        return false;
    }
    SecondPassword = Text;
    // Exactly: a password that differs in letter case is another password.
    if (FirstPassword != SecondPassword) {
        platform::messageBox("Parvex 2000", kMismatch, platform::MsgType::Information, platform::mbOK);
        return false;
    }
    main.FArchivePassword = SecondPassword;
    main.FUsePassword = true;
    HintVisible = false;
    Text.clear();
    FirstEntry = 1;
    FirstPassword.clear();
    SecondPassword.clear();
    RestoreSetTexts();
    return true;
}

void TPWordState::CancelClick(TMainCore& main) {
    // Asked for a password and given none: the component gives the entry up.
    if (main.FAskPassword) main.FCancelled = true;
    RestoreSetTexts();
    HintVisible = false;
    Text.clear();
    FirstEntry = 1;
    FirstPassword.clear();
    SecondPassword.clear();
}

// ---------------------------------------------------------------- the dialog

TPWordForm::TPWordForm(TMainCore& main, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), FMain(main) {
    setObjectName("PWordForm");
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    PWLabel = new QLabel("Password:", this);
    PWLabel->setObjectName("PWLabel");
    PWord = new QLineEdit(this);
    PWord->setObjectName("PWord");
    PWord->setEchoMode(QLineEdit::Password);
    PWLabel->setBuddy(PWord);
    row->addWidget(PWLabel);
    row->addWidget(PWord, 1);
    layout->addLayout(row);
    Mask = new QCheckBox("Mask password", this);
    Mask->setObjectName("Mask");
    Mask->setChecked(true);
    layout->addWidget(Mask);
    PWHint = new QLabel(this);
    PWHint->setObjectName("PWHint");
    PWHint->setWordWrap(true);
    PWHint->hide();
    layout->addWidget(PWHint);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    OkBtn = new QPushButton("&OK", this);
    OkBtn->setObjectName("OkBtn");
    OkBtn->setDefault(true); // Enter in the edit or the form
    CancelBtn = new QPushButton("&Cancel", this);
    CancelBtn->setObjectName("CancelBtn");
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);
    setMinimumWidth(320);

    connect(OkBtn, &QPushButton::clicked, this, [this] { OkBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { reject(); });
    connect(Mask, &QCheckBox::clicked, this, [this] { MaskClick(); });
    Sync();
}

void TPWordForm::Sync() {
    setWindowTitle(QString::fromStdString(FState.Caption));
    PWHint->setText(QString::fromStdString(FState.Hint));
    PWHint->setVisible(FState.HintVisible);
    if (PWord->text().toStdString() != FState.Text) PWord->setText(QString::fromStdString(FState.Text));
}

void TPWordForm::ShowModal() {
    FState.FormShow(FMain);
    Sync();
    PWord->setFocus();
    exec();
}

void TPWordForm::OkBtnClick() {
    FState.Text = PWord->text().toStdString();
    const bool close = FState.OkClick(FMain);
    Sync();
    PWord->setFocus();
    if (close) accept();
}

void TPWordForm::MaskClick() {
    FState.Masked = Mask->isChecked();
    PWord->setEchoMode(FState.Masked ? QLineEdit::Password : QLineEdit::Normal);
    PWord->setFocus();
}

void TPWordForm::reject() {
    FState.CancelClick(FMain);
    Sync();
    QDialog::reject();
}
