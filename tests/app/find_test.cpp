// The find dialog: unit conversion, the three conditions on the rows' own values, and the
// dialog through its widgets.
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <iterator>
#include <set>

#include "app/dialogs/FindFileUnit.h"
#include "app/core/MainCore.h"
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
        {"2048", 1, 0, "2"},
        {"2", 0, 1, "2048"},
        {"1536", 1, 0, "2"},
        {"1", 1, 2, "1024"},
        {"abc", 1, 0, "0"},
        {"1.5", 0, 1, "0"},
        {"", 2, 1, "0"},
        // Halves go to the even neighbour, either sign.
        {"512", 1, 0, "0"},
        {"2560", 1, 0, "2"},
        {"3584", 1, 0, "4"},
        {"513", 1, 0, "1"},
        {"-512", 1, 0, "0"},
        {"-1536", 1, 0, "-2"},
        {"1536", 2, 1, "2"},
        {"2560", 2, 1, "2"},
        {"9999999999999999", 0, 2, "9223372036854775807"},
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

// Find and delete by mask choose by one rule: for every mask, delete by mask removes from a
// real zip archive exactly the entries that Find selects in its list.
TEST(FindFile, FindAndDeleteByMaskChooseTheSameEntries) {
    PV_REQUIRE_PEER("python3");
    IsolatedHome home;
    ScriptedBoxes boxes;
    namespace fs = std::filesystem;
    const std::vector<std::string> names = {"readme",         "README.TXT", "read.me", "Readme.txt.bak",
                                            "notes",          "a.b",        "ab",      "sub/readme.txt",
                                            "sub/deep/x.TXT", ".profile",   "r.e.t"};
    const fs::path original = home.dir / "masks.zip";
    std::string py = "import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\n";
    for (const auto& n : names) py += "z.writestr('" + n + "', 'x')\n";
    pvtest::writeFile(home.dir / "make.py", py + "z.close()\n");
    ASSERT_EQ(pvtest::run("python3 make.py " + pvtest::q(original.string()), fs::path(home.dir.str())).status,
              0);

    auto storedNames = [](const TMainCore& core, const std::vector<bool>* only) {
        std::set<std::string> out;
        for (size_t i = 0; i < core.Rows.size(); ++i)
            if (!only || (*only)[i]) out.insert(core.Rows[i].StoredName);
        return out;
    };
    const struct {
        const char* mask;
        int count; // how many entries the rule takes
    } masks[] = {{"*.*", 11},    {"*", 11},    {"read*.*", 4}, {"read*", 5}, {"*.txt", 3},
                 {"?EADME*", 4}, {"*.", 0},    {"a?b", 1},     {"*e", 3},    {"r*e.t?t", 2},
                 {"", 0},        {"x.txt", 1}, {".*", 1},      {"*.*.*", 2}, {"r.e.t", 1}};
    for (const auto& m : masks) {
        SCOPED_TRACE(m.mask);
        const fs::path arc = home.dir / "work.zip";
        fs::copy_file(original, arc, fs::copy_options::overwrite_existing);
        TMainCore core(CreateLiveZip(), CreateLiveLister());
        core.FormCreate((pvtest::binDir() / "parvex").string());
        core.OpenArchive(arc.string());
        ASSERT_EQ(core.Rows.size(), names.size());
        TFindQuery q;
        q.Mask = m.mask;
        const std::vector<bool> found = findcore::Search(core.Rows, q);
        const std::set<std::string> before = storedNames(core, nullptr), chosen = storedNames(core, &found);
        EXPECT_EQ(chosen.size(), size_t(m.count));

        core.FDeleteMode = dmMask;
        core.FCancelled = false;
        core.DeleteCore(false, m.mask);
        core.CloseArchive();
        core.OpenArchive(arc.string());
        std::set<std::string> deleted;
        const std::set<std::string> after = storedNames(core, nullptr);
        std::set_difference(before.begin(), before.end(), after.begin(), after.end(),
                            std::inserter(deleted, deleted.end()));
        EXPECT_EQ(deleted, chosen);
    }
}
