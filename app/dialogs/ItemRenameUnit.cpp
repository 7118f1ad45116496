#include "app/dialogs/ItemRenameUnit.h"
#include "app/dialogs/DialogSeams.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/core/MainCore.h"
#include "common/PathParts.h"
#include "platform/ui_hooks.h"

namespace {
const TListRow* selectedRow(const TMainCore& main) {
    for (const TListRow& r : main.Rows)
        if (r.Selected) return &r;
    return nullptr;
}
} // namespace

std::string renamecore::Refusal(const TMainCore& main, const std::string& name) {
    const TListRow* row = selectedRow(main);
    if (!row) return "No entry is selected.";
    if (name.empty()) return "The new name is empty.";
    for (char c : name) {
        if (c == '/' || c == '\\') return "The new name may not hold \"/\" or \"\\\".";
        if (static_cast<unsigned char>(c) < 0x20) return "The new name may not hold control characters.";
    }
    if (name == "." || name == "..") return "The new name may not be \"" + name + "\".";
    const std::string target = pvcommon::FolderPart(row->StoredName) + name;
    if (target == row->StoredName) return "The entry already has this name.";
    for (const TListRow& r : main.Rows)
        if (r.StoredName == target) return "Another entry is already named \"" + name + "\".";
    return {};
}

TItemRenameForm::TItemRenameForm(TMainCore& main, QWidget* parent) : QDialog(parent), FMain(main) {
    setWindowTitle("Rename file of this archive");
    lNewName = new QLabel("New filename:", this);
    oeNewName = new QLineEdit(this);
    btnOk = new QPushButton("&OK", this);
    btnOk->setDefault(true);
    btnCancel = new QPushButton("&Cancel", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lNewName);
    layout->addWidget(oeNewName);
    layout->addLayout(buttons);
    resize(340, 110);
    connect(btnOk, &QPushButton::clicked, this, &TItemRenameForm::OkClick);
    connect(btnCancel, &QPushButton::clicked, this, &TItemRenameForm::reject);
}

void TItemRenameForm::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (const TListRow* row = selectedRow(FMain)) oeNewName->setText(QString::fromStdString(row->Caption));
    oeNewName->setFocus();
    oeNewName->selectAll();
}

void TItemRenameForm::OkClick() {
    const QByteArray utf8 = oeNewName->text().toUtf8();
    const std::string name(utf8.constData(), size_t(utf8.size()));
    const std::string why = renamecore::Refusal(FMain, name);
    if (!why.empty()) {
        platform::messageBox("Error", why, platform::MsgType::Error, platform::mbOK);
        return;
    }
    FMain.FNewItemName = name;
    FMain.FCancelled = false;
    accept();
}

void TItemRenameForm::reject() {
    FMain.FCancelled = true;
    QDialog::reject();
}

// The window opens this dialog through its seam.
static const bool registered = FillDialogSeam([](TDialogSeams& s) {
    s.ItemRename = [](TDialogHost& host) {
        TItemRenameForm dlg(host.Core(), host.Window());
        dlg.exec();
    };
});
