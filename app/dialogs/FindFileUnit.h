// The find dialog: selects the rows of the main list whose entries match a name mask, a
// date condition or a size condition. Rows already selected stay selected. It compares the
// rows' own sizes and dates, never the texts shown (those follow the user's locale).
#pragma once
#include <QDialog>
#include <cstdint>
#include <string>
#include <vector>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QWidget;
class TMainCore;
struct TListRow;

// What the dialog searches for; the page chooses the condition.
struct TFindQuery {
    enum TPage { ByName = 0, ByDate = 1, BySize = 2 } Page = ByName;
    std::string Mask = "*.*";
    int DateMode = 0;     // 0 Before, 1 Between, 2 After
    double BeginDate = 0; // days since 1899-12-30, whole days
    double EndDate = 0;
    int SizeMode = 0;             // 0 Above (>), 1 Fit (=), 2 Below (<), 3 Between
    int64_t Size1 = 0, Size2 = 0; // bytes
};

namespace findcore {
// The size an edit's text stands for under the unit row (0 MB, 1 KB, 2 Bytes), rounded to
// whole bytes; a text that is not a whole number counts 0.
int64_t SizeInBytes(const std::string& text, int unit);
// The edit's text after the unit changed from `from` to `to`.
std::string ConvertSizeText(const std::string& text, int from, int to);
// Whether a row matches. Dates cover whole days: "Before" is up to the end of the first
// day, "After" from the day after it, "Between" both days included.
bool Matches(const TListRow& row, const TFindQuery& q);
// The selection after a search: the current one plus every match.
std::vector<bool> Search(const std::vector<TListRow>& rows, const TFindQuery& q);
} // namespace findcore

class TFindFileForm : public QDialog {
    Q_OBJECT
public:
    TFindFileForm(TMainCore& main, QWidget* parent = nullptr);

    // The query the controls describe now.
    TFindQuery Query() const;
    // "&Search": selects the matches in the main list, FCancelled cleared, closes.
    void SearchClick();

    QTabWidget* pcSearch = nullptr;
    QWidget *tsByName = nullptr, *tsByDate = nullptr, *tsBySize = nullptr;
    QLabel *lFilename = nullptr, *lByFilename = nullptr;
    QLineEdit* oeFilename = nullptr;
    QLabel *lByDate = nullptr, *lBetween = nullptr, *lAnd = nullptr;
    QComboBox* cbDateMode = nullptr;
    QDateEdit *dtpBeginDate = nullptr, *dtpEndDate = nullptr;
    QLabel *lBySize = nullptr, *lBySizeBetween = nullptr, *lBySizeAnd = nullptr;
    QComboBox *cbSizeMode = nullptr, *cbSize = nullptr;
    QLineEdit *meFileSize = nullptr, *meEndSize = nullptr;
    QPushButton *btnOk = nullptr, *btnCancel = nullptr;

public slots:
    void reject() override;

private:
    void UnitChanged(int row);
    void ModesChanged();
    TMainCore& FMain;
    int FUnit = 1;
};
