#include "app/dialogs/FindFileUnit.h"
#include "app/dialogs/DialogSeams.h"

#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <charconv>
#include <cmath>

#include "app/core/MainCore.h"

namespace findcore {

namespace {
double unitFactor(int unit) {
    return unit <= 0 ? 1048576.0 : unit == 1 ? 1024.0 : 1.0;
}

bool parseInt(const std::string& text, long long& v) {
    const char* b = text.data();
    const char* e = b + text.size();
    auto [p, ec] = std::from_chars(b, e, v);
    return ec == std::errc() && p == e && !text.empty();
}
} // namespace

int64_t SizeInBytes(const std::string& text, int unit) {
    long long v = 0;
    if (!parseInt(text, v)) return 0;
    // Whole numbers times whole factors: exact, and held at the ends of the range.
    int64_t bytes = 0;
    if (__builtin_mul_overflow(static_cast<int64_t>(v), static_cast<int64_t>(unitFactor(unit)), &bytes))
        return v < 0 ? INT64_MIN : INT64_MAX;
    return bytes;
}

std::string ConvertSizeText(const std::string& text, int from, int to) {
    // In whole numbers, halves to the even neighbour: 512 KB is 0 MB, 1536 KB is 2 MB.
    const int64_t bytes = SizeInBytes(text, from);
    const int64_t unit = static_cast<int64_t>(unitFactor(to));
    int64_t q = bytes / unit;
    const int64_t r = bytes % unit; // the sign of `bytes`
    const int64_t twice = 2 * (r < 0 ? -r : r);
    if (twice > unit || (twice == unit && q % 2 != 0)) q += bytes < 0 ? -1 : 1;
    return std::to_string(static_cast<long long>(q));
}

bool Matches(const TListRow& row, const TFindQuery& q) {
    switch (q.Page) {
    case TFindQuery::ByName:
        return TMainCore::RowMatchesMask(row, q.Mask);
    case TFindQuery::ByDate: {
        const double d = row.Date, b = std::floor(q.BeginDate), e = std::floor(q.EndDate);
        if (q.DateMode == 0) return d < b + 1;
        if (q.DateMode == 1) return d >= b && d < e + 1;
        return d >= b + 1;
    }
    case TFindQuery::BySize:
        switch (q.SizeMode) {
        case 0:
            return row.Size > q.Size1;
        case 1:
            return row.Size == q.Size1;
        case 2:
            return row.Size < q.Size1;
        default:
            return row.Size >= q.Size1 && row.Size <= q.Size2;
        }
    }
    return false;
}

std::vector<bool> Search(const std::vector<TListRow>& rows, const TFindQuery& q) {
    std::vector<bool> out(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) out[i] = rows[i].Selected || Matches(rows[i], q);
    return out;
}

} // namespace findcore

namespace {
// QDate <-> days since 1899-12-30.
double toDays(const QDate& d) {
    return static_cast<double>(QDate(1899, 12, 30).daysTo(d));
}
} // namespace

TFindFileForm::TFindFileForm(TMainCore& main, QWidget* parent) : QDialog(parent), FMain(main) {
    setWindowTitle("Find file(s) in archive...");
    pcSearch = new QTabWidget(this);

    tsByName = new QWidget;
    lFilename = new QLabel("Filename:");
    oeFilename = new QLineEdit("*.*");
    lByFilename = new QLabel("Enter a filename to search for. Wildcards (*) are also supported");
    lByFilename->setWordWrap(true);
    auto* g1 = new QGridLayout(tsByName);
    g1->addWidget(lFilename, 0, 0);
    g1->addWidget(oeFilename, 0, 1);
    g1->addWidget(lByFilename, 1, 0, 1, 2);
    g1->setRowStretch(2, 1);
    pcSearch->addTab(tsByName, "by Filename");

    tsByDate = new QWidget;
    lByDate =
        new QLabel("Serach files by Date. You can select the way they are compared, if they should be older "
                   "or newer.");
    lByDate->setWordWrap(true);
    lBetween = new QLabel("Between");
    cbDateMode = new QComboBox;
    cbDateMode->addItems({"Before", "Between", "After"});
    dtpBeginDate = new QDateEdit(QDate::currentDate());
    dtpEndDate = new QDateEdit(QDate::currentDate());
    dtpBeginDate->setCalendarPopup(true);
    dtpEndDate->setCalendarPopup(true);
    lAnd = new QLabel("and");
    auto* g2 = new QGridLayout(tsByDate);
    g2->addWidget(lByDate, 0, 0, 1, 4);
    g2->addWidget(cbDateMode, 1, 0);
    g2->addWidget(dtpBeginDate, 1, 1);
    g2->addWidget(lAnd, 1, 2);
    g2->addWidget(dtpEndDate, 1, 3);
    g2->setRowStretch(2, 1);
    lBetween->hide(); // the mode box says it
    pcSearch->addTab(tsByDate, "by Date");

    tsBySize = new QWidget;
    lBySize = new QLabel(
        "Serach files by Size. You can select the way they are compared, if they should be bigger, "
        "smaller or exactly fit the size you specified.");
    lBySize->setWordWrap(true);
    lBySizeBetween = new QLabel("Between");
    lBySizeBetween->hide();
    cbSizeMode = new QComboBox;
    cbSizeMode->addItems({"Above (>)", "Fit (=)", "Below (<)", "Between"});
    meFileSize = new QLineEdit("0");
    meEndSize = new QLineEdit("0");
    lBySizeAnd = new QLabel("and");
    cbSize = new QComboBox;
    cbSize->addItems({"MB", "KB", "Bytes"});
    cbSize->setCurrentIndex(1);
    auto* g3 = new QGridLayout(tsBySize);
    g3->addWidget(lBySize, 0, 0, 1, 5);
    g3->addWidget(cbSizeMode, 1, 0);
    g3->addWidget(meFileSize, 1, 1);
    g3->addWidget(lBySizeAnd, 1, 2);
    g3->addWidget(meEndSize, 1, 3);
    g3->addWidget(cbSize, 1, 4);
    g3->setRowStretch(2, 1);
    pcSearch->addTab(tsBySize, "by Size");

    btnOk = new QPushButton("&Search");
    btnCancel = new QPushButton("&Cancel");
    btnOk->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* v = new QVBoxLayout(this);
    v->addWidget(pcSearch);
    v->addLayout(buttons);

    connect(btnOk, &QPushButton::clicked, this, &TFindFileForm::SearchClick);
    connect(btnCancel, &QPushButton::clicked, this, &TFindFileForm::reject);
    connect(cbSize, &QComboBox::currentIndexChanged, this, &TFindFileForm::UnitChanged);
    connect(cbDateMode, &QComboBox::currentIndexChanged, this, &TFindFileForm::ModesChanged);
    connect(cbSizeMode, &QComboBox::currentIndexChanged, this, &TFindFileForm::ModesChanged);
    ModesChanged();
    resize(420, 200);
}

void TFindFileForm::ModesChanged() {
    const bool dates = cbDateMode->currentIndex() == 1, sizes = cbSizeMode->currentIndex() == 3;
    lAnd->setEnabled(dates);
    dtpEndDate->setEnabled(dates);
    lBySizeAnd->setEnabled(sizes);
    meEndSize->setEnabled(sizes);
}

void TFindFileForm::UnitChanged(int row) {
    if (row < 0) return;
    for (QLineEdit* e : {meFileSize, meEndSize})
        e->setText(QString::fromStdString(findcore::ConvertSizeText(e->text().toStdString(), FUnit, row)));
    FUnit = row;
}

TFindQuery TFindFileForm::Query() const {
    TFindQuery q;
    q.Page = static_cast<TFindQuery::TPage>(pcSearch->currentIndex());
    q.Mask = oeFilename->text().toStdString();
    q.DateMode = cbDateMode->currentIndex();
    q.BeginDate = toDays(dtpBeginDate->date());
    q.EndDate = toDays(dtpEndDate->date());
    q.SizeMode = cbSizeMode->currentIndex();
    q.Size1 = findcore::SizeInBytes(meFileSize->text().toStdString(), FUnit);
    q.Size2 = findcore::SizeInBytes(meEndSize->text().toStdString(), FUnit);
    return q;
}

void TFindFileForm::SearchClick() {
    FMain.SelectRows(findcore::Search(FMain.Rows, Query()));
    FMain.FCancelled = false;
    accept();
}

void TFindFileForm::reject() {
    FMain.FCancelled = true;
    QDialog::reject();
}

// The find command opens this dialog.
static const bool registered = FillDialogSeam([](TDialogSeams& s) {
    s.FindFiles = [](TDialogHost& host) {
        TFindFileForm dlg(host.Core(), host.Window());
        dlg.exec();
    };
});
