#include "app/dialogs/ArchiveInfoUnit.h"
#include "app/dialogs/DialogSeams.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/core/ListFormat.h"
#include "app/core/MainCore.h"
#include "common/PathParts.h"
#include "controls/RarBar.h"

int64_t infocore::CompressionRatio(int64_t packed, int64_t size) {
    if (size <= 0) return 0;
    // round(packed * 100 / size) with halves to the even neighbour, in whole numbers.
    const __int128 num = static_cast<__int128>(packed) * 100;
    __int128 q = num / size;
    __int128 r = num % size;
    if (r < 0) {
        r += size;
        --q;
    }
    if (2 * r > size || (2 * r == size && (q % 2) != 0)) ++q;
    return 100 - static_cast<int64_t>(q);
}

int infocore::GaugeValue(int64_t ratio) {
    return static_cast<int>(std::clamp<int64_t>(ratio, 0, 100));
}

std::vector<std::pair<std::string, std::string>> infocore::InfoRows(TMainCore& main,
                                                                    const std::string& dateText) {
    const bool zip = main.FHandlerKind == hkZipFront;
    std::string type = "ZIP";
    if (!zip) type = main.ArcLister() ? main.ArcLister()->TypeInfo().TypeName : "";
    const int64_t size = zip ? main.FTotalSize : main.FArchiveSize;
    const int64_t packed = zip ? main.FTotalPacked : main.FArchivePacked;
    const size_t count = zip && main.ZipFront() ? size_t(main.ZipFront()->Count()) : main.Rows.size();
    return {{"Name:", pvcommon::FileNamePart(main.FArchiveFile)},
            {"Path:", pvcommon::FolderPart(main.FArchiveFile)},
            {"Archive type:", type},
            {"Size:", DisplaySize(size)},
            {"File(s):", std::to_string(count)},
            {"Compression:", std::to_string(CompressionRatio(packed, size)) + " %"},
            {"Date/Time", dateText}};
}

TArchiveInfoForm::TArchiveInfoForm(TMainCore& main, QWidget* parent) : QDialog(parent), FMain(main) {
    setWindowTitle("Archive properties");
    lvArcInfo = new QTreeWidget(this);
    lvArcInfo->setColumnCount(2);
    lvArcInfo->setHeaderHidden(true);
    lvArcInfo->setRootIsDecorated(false);
    lvArcInfo->setColumnWidth(0, 130);
    lvArcInfo->setColumnWidth(1, 130);
    lCompIndicator = new QLabel("Compression:", this);
    rbCompression = new TRarBar(this);
    rbCompression->SetMin(0);
    rbCompression->SetMax(100);
    rbCompression->SetShowPercentage(true);
    btnClose = new QPushButton("&Close", this);
    btnClose->setDefault(true);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
    auto* gauge = new QVBoxLayout;
    gauge->addWidget(lCompIndicator);
    gauge->addWidget(rbCompression);
    gauge->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(lvArcInfo, 1);
    top->addLayout(gauge);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    resize(400, 260);
}

void TArchiveInfoForm::showEvent(QShowEvent* e) {
    const QDateTime modified = QFileInfo(QString::fromStdString(FMain.FArchiveFile)).lastModified();
    const QDate d = modified.date();
    const QTime t = modified.time();
    const std::string date =
        modified.isValid()
            ? DisplayDateTime(EncodeListDate(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()))
            : std::string();
    lvArcInfo->clear();
    for (const auto& [caption, value] : infocore::InfoRows(FMain, date))
        lvArcInfo->addTopLevelItem(
            new QTreeWidgetItem({QString::fromStdString(caption), QString::fromStdString(value)}));
    // The values are never cut: the column takes its longest text and the list its columns.
    lvArcInfo->resizeColumnToContents(1);
    lvArcInfo->setColumnWidth(1, std::max(130, lvArcInfo->columnWidth(1) + 8));
    lvArcInfo->setMinimumWidth(lvArcInfo->columnWidth(0) + lvArcInfo->columnWidth(1) +
                               2 * lvArcInfo->frameWidth() + 4);
    const bool zip = FMain.FHandlerKind == hkZipFront;
    rbCompression->SetProgress(infocore::GaugeValue(infocore::CompressionRatio(
        zip ? FMain.FTotalPacked : FMain.FArchivePacked, zip ? FMain.FTotalSize : FMain.FArchiveSize)));
    QDialog::showEvent(e);
}

// The window opens this dialog through its seam.
static const bool registered = FillDialogSeam([](TDialogSeams& s) {
    s.Properties = [](TDialogHost& host) {
        if (!host.Core().FArchiveOpen) return;
        TArchiveInfoForm dlg(host.Core(), host.Window());
        dlg.exec();
    };
});
