#include "app/dialogs/AssoUnit.h"
#include "app/dialogs/DialogSeams.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/core/IniFile.h"
#include "app/core/MainCore.h"
#include "app/desktop/ftReg.h"

namespace assocore {

std::vector<bool> PresetChecks() {
    std::vector<bool> v(kRows.size(), true);
    v[8] = false;
    return v;
}

void Associate(TIniFile& ini, const std::vector<bool>& checked, bool never) {
    std::string all;
    for (size_t i = 0; i < kRows.size() && i < checked.size(); ++i) {
        if (!checked[i]) continue;
        all += (all.empty() ? "" : ",") + std::string(kRows[i].exts);
    }
    // One registration for every type: the desktop's databases are rebuilt once.
    if (!all.empty()) ftreg::AssociateExtensions(all);
    for (const std::string& ext : ftreg::SplitExtensions(all)) ini.WriteString("ZipAsso", ext, "1");
    ini.WriteString("ZipAsso", "ZipAsso", "1");
    if (never) {
        ini.WriteString("ZipAsso", "NoAssoDialog", "1");
        ini.WriteString("ZipAsso", "AssoYN", "1");
    }
}

void Cancel(TIniFile& ini, bool never) {
    if (!never) return;
    ini.WriteString("ZipAsso", "NoAssoDialog", "1");
    ini.WriteString("ZipAsso", "AssoYN", "0");
}

bool ApplyStoredAnswer(TIniFile& ini) {
    if (ini.ReadString("ZipAsso", "NoAssoDialog", "0") != "1") return false;
    if (ini.ReadString("ZipAsso", "AssoYN", "0") != "0") Associate(ini, PresetChecks(), false);
    return true;
}

} // namespace assocore

TAssoForm::TAssoForm(TMainCore& main, QWidget* parent) : QDialog(parent), FMain(main) {
    setWindowTitle("Associate with Parvex");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    lbText = new QLabel(
        "For full access to Parvex's shell interface, Parvex must be associated with all archive "
        "files. Parvex is currently not associated with Archive files.\n\rIf you are unsure, click "
        "Associate.",
        this);
    lbText->setWordWrap(true);
    lSelectAsso = new QLabel("Select the filetypes you want to open with Parvex:", this);
    clbFileTypes = new QListWidget(this);
    const std::vector<bool> preset = assocore::PresetChecks();
    for (size_t i = 0; i < assocore::kRows.size(); ++i) {
        auto* item = new QListWidgetItem(assocore::kRows[i].text, clbFileTypes);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(preset[i] ? Qt::Checked : Qt::Unchecked);
    }
    cbNever = new QCheckBox("Never ask again", this);
    AssoBtn = new QPushButton("&Associate", this);
    AssoBtn->setDefault(true);
    CancelBtn = new QPushButton("&Cancel", this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cbNever);
    buttons->addStretch();
    buttons->addWidget(AssoBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbText);
    layout->addWidget(lSelectAsso);
    layout->addWidget(clbFileTypes, 1);
    layout->addLayout(buttons);
    resize(400, 420);
    AssoBtn->setFocus();
    connect(AssoBtn, &QPushButton::clicked, this, &TAssoForm::AssoBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TAssoForm::CancelBtnClick);

    if (TIniFile* ini = FMain.Settings()) FApplied = assocore::ApplyStoredAnswer(*ini);
}

std::vector<bool> TAssoForm::Checked() const {
    std::vector<bool> v;
    for (int i = 0; i < clbFileTypes->count(); ++i)
        v.push_back(clbFileTypes->item(i)->checkState() == Qt::Checked);
    return v;
}

void TAssoForm::AssoBtnClick() {
    if (TIniFile* ini = FMain.Settings()) assocore::Associate(*ini, Checked(), cbNever->isChecked());
    accept();
}

void TAssoForm::CancelBtnClick() {
    if (TIniFile* ini = FMain.Settings()) assocore::Cancel(*ini, cbNever->isChecked());
    reject();
}

// The window opens this dialog through its seam.
static const bool registered = FillDialogSeam([](TDialogSeams& s) {
    s.Association = [](TDialogHost& host) {
        TAssoForm dlg(host.Core(), host.Window());
        if (!dlg.AppliedAtCreation()) dlg.exec();
    };
});
