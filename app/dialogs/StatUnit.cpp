#include "app/dialogs/StatUnit.h"

#include <QFrame>
#include <QLabel>

#include "app/core/MainCore.h"
#include "controls/ExtProgressBar.h"
#include "controls/Win2KButton.h"

namespace {
constexpr int kWidth = 360, kHeight = 172;

TExtProgressBar* gauge(QWidget* parent, int y) {
    auto* g = new TExtProgressBar(parent);
    g->setRange(0, 100);
    g->setGeometry(12, y, kWidth - 24, 16);
    return g;
}

QLabel* plainLabel(const QString& text, QWidget* parent, QRect r) {
    auto* l = new QLabel(text, parent);
    // A file name is shown as it is, never read as markup; a long one is cut, the window
    // keeps its size.
    l->setTextFormat(Qt::PlainText);
    l->setGeometry(r);
    return l;
}
} // namespace

TStatForm::TStatForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint) {
    setObjectName("StatForm");
    setWindowTitle("Status...");
    setModal(false);
    setFixedSize(kWidth, kHeight);

    pHeader = new QFrame(this);
    pHeader->setGeometry(0, 0, kWidth, 34);
    pHeader->setAutoFillBackground(true);
    QPalette white = pHeader->palette();
    white.setColor(QPalette::Window, Qt::white);
    pHeader->setPalette(white);
    lHeader = plainLabel("Extracting...", pHeader, QRect(12, 8, kWidth - 24, 18));
    QFont hf("Tahoma");
    hf.setPixelSize(13);
    hf.setBold(true);
    lHeader->setFont(hf);

    lCurrent = plainLabel("Current file :", this, QRect(12, 44, kWidth - 24, 16));
    DRGauge1 = gauge(this, 62);
    lEntireProgress = plainLabel("Entire progress :", this, QRect(12, 86, kWidth - 24, 16));
    DRGauge2 = gauge(this, 104);

    CancelBtn = new TWin2KButton("&Cancel", this);
    QFont bf = CancelBtn->font();
    bf.setBold(true);
    CancelBtn->setFont(bf);
    CancelBtn->setGeometry((kWidth - 90) / 2, 136, 90, 25);
    connect(CancelBtn, &QPushButton::clicked, this, [this] {
        if (auto h = OnCancel) h();
    });
    btnMinimize = new TWin2KButton(this);
    btnMinimize->setGeometry(kWidth - 30, 136, 20, 25);
    btnMinimize->hide();
}

void TStatForm::Sync(const TStatState& s) {
    setWindowTitle(QString::fromStdString(s.Caption));
    lHeader->setText(QString::fromStdString(s.Header));
    lCurrent->setText(QString::fromStdString(s.Current));
    DRGauge1->setValue(s.Gauge1);
    DRGauge2->setValue(s.Gauge2);
    if (s.Visible && !isVisible()) {
        // Centred on the main window each time it opens.
        if (QWidget* p = parentWidget()) {
            QRect r(QPoint(0, 0), size());
            r.moveCenter(p->geometry().center());
            setGeometry(r);
        }
        show();
    } else if (!s.Visible && isVisible()) {
        hide();
    }
}
