// The find dialog: unit conversion, the three conditions on the rows' own values, and the
// dialog through its widgets.
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "app/FindFileUnit.h"
#include "app/MainCore.h"
#include "apptest.h"

using namespace apptest;

namespace {

TListRow row(const char* name, int64_t size, double date, bool selected = false) {
    TListRow r;
    r.Caption = name;
    r.StoredName = name;
    r.Size = size;
    r.Date = date;
    r.Selected = selected;
    return r;
}

std::vector<bool> search(const std::vector<TListRow>& rows, TFindQuery q) {
    return findcore::Search(rows, q);
}

} // namespace

TEST(FindFile, UnitConversion) {
    struct Case {
        const char* text;
        int from, to;
        const char* want;
    } cases[] = {
        {"2048", 1, 0, "2"}, {"2", 0, 1, "2048"}, {"1536", 1, 0, "2"}, {"1", 1, 2, "1024"},
        {"abc", 1, 0, "0"},  {"1.5", 0, 1, "0"},  {"", 2, 1, "0"},
    };
    for (const auto& c : cases) EXPECT_EQ(findcore::ConvertSizeText(c.text, c.from, c.to), c.want) << c.text;
    EXPECT_EQ(findcore::ConvertSizeText(findcore::ConvertSizeText("1536", 1, 0), 0, 1), "2048");
    EXPECT_EQ(findcore::SizeInBytes("2", 0), 2097152);
    EXPECT_EQ(findcore::SizeInBytes("9999999999999999", 0), INT64_MAX); // no overflow
}

TEST(FindFile, ConditionsOnTheRowsOwnValues) {
    const double day = 45000; // some day; + fractions are times of day
    std::vector<TListRow> rows = {row("README.TXT", 0, day + 0.5), row("b.zip", 2097152, day + 1.25),
                                  row("c.txt", 500, day - 3, true), row("empty.dat", 0, day + 10)};
    TFindQuery q;
    q.Mask = "*.txt";
    EXPECT_EQ(search(rows, q), (std::vector<bool>{true, false, true, false}));
    q.Mask = "*.*";
    EXPECT_EQ(search(rows, q), (std::vector<bool>{true, true, true, true}));

    q.Page = TFindQuery::ByDate;
    struct DateCase {
        int mode;
        double b, e;
        std::vector<bool> want;
    } dates[] = {
        {0, day, 0, {true, false, true, false}},        // before, the first day included
        {1, day, day + 1, {true, true, true, false}},   // between, both days included
        {1, day + 1, day, {false, false, true, false}}, // inverted: nothing new
        {2, day, 0, {false, true, true, true}},         // after the first day
    };
    for (const auto& d : dates) {
        q.DateMode = d.mode;
        q.BeginDate = d.b;
        q.EndDate = d.e;
        EXPECT_EQ(search(rows, q), d.want) << d.mode;
    }

    q.Page = TFindQuery::BySize;
    struct SizeCase {
        int mode;
        int64_t s1, s2;
        std::vector<bool> want;
    } sizes[] = {
        {0, 500, 0, {false, true, true, false}},
        {1, 0, 0, {true, false, true, true}}, // Fit (=) 0 KB: the empty entries
        {2, 500, 0, {true, false, true, true}},
        {3, 1, 2097152, {false, true, true, false}},
    };
    for (const auto& s : sizes) {
        q.SizeMode = s.mode;
        q.Size1 = s.s1;
        q.Size2 = s.s2;
        EXPECT_EQ(search(rows, q), s.want) << s.mode;
    }
}

TEST(FindFile, TheDialogSelectsThroughItsWidgets) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    TMainCore core{nullptr, nullptr};
    core.Rows = {row("a.txt", 0, 45000), row("b.zip", 2097152, 45000), row("c.txt", 500, 45000)};
    TFindFileForm f(core);
    f.show();
    f.pcSearch->setCurrentIndex(2);
    f.cbSizeMode->setCurrentIndex(1); // Fit (=)
    EXPECT_FALSE(f.meEndSize->isEnabled());
    f.meFileSize->setText("2");
    f.cbSize->setCurrentIndex(0); // MB: the KB value converts
    EXPECT_EQ(f.meFileSize->text(), "0");
    f.meFileSize->setText("2");
    const auto out = std::filesystem::path(PV_BUILD_DIR) / "find_dialog.png";
    EXPECT_TRUE(f.grab().save(QString::fromStdString(out.string())));
    core.FCancelled = true;
    QTest::mouseClick(f.btnOk, Qt::LeftButton);
    EXPECT_FALSE(core.FCancelled);
    EXPECT_FALSE(core.Rows[0].Selected);
    EXPECT_TRUE(core.Rows[1].Selected);
    EXPECT_FALSE(f.isVisible());

    TFindFileForm g(core);
    g.show();
    QTest::mouseClick(g.btnCancel, Qt::LeftButton);
    EXPECT_TRUE(core.FCancelled);
}
