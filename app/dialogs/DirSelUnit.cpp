#include "app/dialogs/DirSelUnit.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/core/MainCore.h"
#include "controls/DirTree.h"
#include "controls/Win2KButton.h"

std::string JoinFolder(const std::string& base, const std::string& name) {
    std::string b = base;
    while (!b.empty() && b.back() == '/') b.pop_back();
    return b + "/" + name;
}

TDirSelForm::TDirSelForm(TMainCore& main, QWidget* parent) : QDialog(parent), FMain(main) {
    setObjectName("DirSelForm");
    setWindowTitle("Select Directory");
    auto* layout = new QVBoxLayout(this);
    DirTree1 = new TDirTree(this);
    DirTree1->setObjectName("DirTree1");
    DirTree1->SetDirTypes(dtHidden | dtSystem | dtArchive | dtNormal);
    DirTree1->SetGoBelowRecycleBin(false);
    DirTree1->SetDriveTypes(kAllDriveTypes);
    DirTree1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(DirTree1, 1);
    auto* buttons = new QHBoxLayout;
    OK = new TWin2KButton("&Ok", this);
    Cancel = new TWin2KButton("&Cancel", this);
    OK->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(OK);
    buttons->addWidget(Cancel);
    layout->addLayout(buttons);
    resize(320, 400);
    connect(OK, &QPushButton::clicked, this, &QDialog::accept);
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TDirSelForm::done(int r) {
    FMain.FCancelled = r != QDialog::Accepted;
    QDialog::done(r);
}
