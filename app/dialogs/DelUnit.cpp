#include "app/dialogs/DelUnit.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/core/MainCore.h"

void TDelForm::Accept(TMainCore& main, int deleteMode) {
    main.FDeleteMode = deleteMode;
    main.FCancelled = false;
}

void TDelForm::Cancel(TMainCore& main) {
    main.FCancelled = true;
}

TDelForm::TDelForm(TMainCore& main, QWidget* parent) : QDialog(parent), FMain(main) {
    setObjectName("DelForm");
    setWindowTitle("Delete files");
    setModal(true);
    auto* layout = new QHBoxLayout(this);
    gbSel = new QGroupBox("Files to delete", this);
    gbSel->setObjectName("gbSel");
    auto* g = new QGridLayout(gbSel);
    rbSelFiles = new QRadioButton("Selected files", gbSel);
    rbSelFiles->setObjectName("rbSelFiles");
    rbSelFiles->setChecked(true);
    rbAllFiles = new QRadioButton("All files", gbSel);
    rbAllFiles->setObjectName("rbAllFiles");
    rbByExt = new QRadioButton("Files:", gbSel);
    rbByExt->setObjectName("rbByExt");
    oeByExt = new QLineEdit("*.*", gbSel);
    oeByExt->setObjectName("oeByExt");
    g->addWidget(rbSelFiles, 0, 0, 1, 2);
    g->addWidget(rbAllFiles, 1, 0, 1, 2);
    g->addWidget(rbByExt, 2, 0);
    g->addWidget(oeByExt, 2, 1);
    layout->addWidget(gbSel, 1);
    auto* buttons = new QVBoxLayout;
    btnDelete = new QPushButton("&Delete", this);
    btnDelete->setObjectName("btnDelete");
    btnDelete->setDefault(true);
    btnCancel = new QPushButton("&Cancel", this);
    btnCancel->setObjectName("btnCancel");
    buttons->addWidget(btnDelete);
    buttons->addWidget(btnCancel);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    // Typing a mask chooses deleting by mask.
    connect(oeByExt, &QLineEdit::textEdited, this, [this] { rbByExt->setChecked(true); });
    connect(btnDelete, &QPushButton::clicked, this, [this] {
        Accept(FMain, rbAllFiles->isChecked() ? 2 : rbByExt->isChecked() ? 3 : 1);
        accept();
    });
    connect(btnCancel, &QPushButton::clicked, this, [this] { reject(); });
}

void TDelForm::reject() {
    // Closed by the frame or Escape: nothing is deleted.
    Cancel(FMain);
    QDialog::reject();
}
