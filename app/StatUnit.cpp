#include "app/StatUnit.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/MainCore.h"

TStatForm::TStatForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint) {
    setObjectName("StatForm");
    setWindowTitle("Status...");
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    lHeader = new QLabel("Extracting...", this);
    QFont f = lHeader->font();
    f.setBold(true);
    lHeader->setFont(f);
    layout->addWidget(lHeader);
    lCurrent = new QLabel("Current file :", this);
    layout->addWidget(lCurrent);
    DRGauge1 = new QProgressBar(this);
    DRGauge1->setRange(0, 100);
    layout->addWidget(DRGauge1);
    layout->addWidget(new QLabel("Entire progress :", this));
    DRGauge2 = new QProgressBar(this);
    DRGauge2->setRange(0, 100);
    layout->addWidget(DRGauge2);
    CancelBtn = new QPushButton("&Cancel", this);
    f = CancelBtn->font();
    f.setBold(true);
    CancelBtn->setFont(f);
    layout->addWidget(CancelBtn, 0, Qt::AlignHCenter);
    connect(CancelBtn, &QPushButton::clicked, this, [this] {
        if (auto h = OnCancel) h();
    });
}

void TStatForm::Sync(const TStatState& s) {
    setWindowTitle(QString::fromStdString(s.Caption));
    lHeader->setText(QString::fromStdString(s.Header));
    lCurrent->setText(QString::fromStdString(s.Current));
    DRGauge1->setValue(s.Gauge1);
    DRGauge2->setValue(s.Gauge2);
    if (s.Visible && !isVisible())
        show();
    else if (!s.Visible && isVisible())
        hide();
}
