#include "app/dialogs/FavouriteUnit.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

TFavouriteZipForm::TFavouriteZipForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Favourite Zip files");
    lvFavourites = new QTreeWidget(this);
    lvFavourites->setRootIsDecorated(false);
    lvFavourites->setHeaderLabels({"Name", "Modified", "Path"});
    lvFavourites->setColumnWidth(0, 100);
    lvFavourites->setColumnWidth(1, 70);
    lvFavourites->setColumnWidth(2, 115);
    lvFavourites->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    lFileName = new QLabel(this);
    lFileType = new QLabel(this);
    btnOpen = new QPushButton("&Open", this);
    btnSearch = new QPushButton("&Search", this);
    btnOptions = new QPushButton("O&ptions", this);
    btnCancel = new QPushButton("&Cancel", this);
    for (QPushButton* b : {btnOpen, btnSearch, btnOptions}) b->setEnabled(false);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {btnOpen, btnSearch, btnOptions}) buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(btnCancel);
    auto* top = new QHBoxLayout;
    top->addWidget(lvFavourites, 1);
    top->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lFileName);
    layout->addWidget(lFileType);
    resize(420, 260);
}
