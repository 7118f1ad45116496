#include "app/dialogs/AboutUnit.h"

#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "controls/Banner.h"

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About");
    pcAbout = new QTabWidget(this);

    tsAbout = new QWidget;
    lProduct = new QLabel("Parvex 2000", tsAbout);
    QFont big = lProduct->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    lProduct->setFont(big);
    lVersionCaption = new QLabel("Version:", tsAbout);
    lVersion = new QLabel("1.60", tsAbout);
    lDateCaption = new QLabel("Compilation date:", tsAbout);
    lDate = new QLabel("12/1/2000", tsAbout);
    auto* grid = new QGridLayout(tsAbout);
    grid->addWidget(lProduct, 0, 0, 1, 2, Qt::AlignCenter);
    grid->addWidget(lVersionCaption, 1, 0);
    grid->addWidget(lVersion, 1, 1);
    grid->addWidget(lDateCaption, 2, 0);
    grid->addWidget(lDate, 2, 1);
    grid->setRowStretch(3, 1);
    pcAbout->addTab(tsAbout, "About");

    tsCredits = new QWidget;
    Banner = new TBanner(tsCredits);
    Banner->AutoEnable = false;
    Banner->SetScrollDirection(sdBottomToTop);
    Banner->SetLinesAlign(taCenter);
    Banner->ScrollPixels = 1;
    Banner->SetScrollInterval(40);
    Banner->SetLines(CreditLines());
    auto* credits = new QVBoxLayout(tsCredits);
    credits->addWidget(Banner);
    pcAbout->addTab(tsCredits, "Credits");
    connect(pcAbout, &QTabWidget::currentChanged, this, &TAboutForm::PageChanged);

    btnClose = new QPushButton("&Close", this);
    btnClose->setDefault(true);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pcAbout);
    layout->addLayout(buttons);
    resize(360, 280);
}

QStringList TAboutForm::CreditLines() {
    return {"Parvex 2000",
            "",
            "Archive engine",
            "zip, lzh, arj, arc, zoo, cab,",
            "tar, gzip, bh and uue",
            "",
            "Zip libraries over zlib",
            "RAR through libarchive",
            "Cabinets through libmspack",
            "Mail and updates through libcurl",
            "",
            "Thank you for using Parvex 2000!"};
}

void TAboutForm::PageChanged(int index) {
    Banner->SetEnabled(pcAbout->widget(index) == tsCredits);
}

void TAboutForm::hideEvent(QHideEvent* e) {
    Banner->SetEnabled(false);
    QDialog::hideEvent(e);
}
