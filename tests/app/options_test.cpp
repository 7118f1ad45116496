// The preferences dialog: what it shows, what OK writes (fields, settings keys and the
// file-type registration, scripted here), that Cancel changes nothing, and its road from
// the window's menu.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTabBar>
#include <QTimer>
#include <set>

#include "app/window/MainUnit.h"
#include "app/dialogs/Optionsunit.h"
#include "apptest.h"

using namespace apptest;
namespace fs = std::filesystem;

namespace {

struct Registered {
    std::set<std::string> associated;
    std::vector<std::string> calls;
    optcore::TRegistry registry() {
        return {[this](const std::string& e) { return associated.count(e) > 0; },
                [this](const std::string& e) {
                    calls.push_back("+" + e);
                    associated.insert(e);
                },
                [this](const std::string& e) {
                    calls.push_back("-" + e);
                    associated.erase(e);
                }};
    }
};

std::unique_ptr<TMainForm> makeForm(const IsolatedHome& home) {
    fs::create_directories(home.dir / "bin");
    return std::make_unique<TMainForm>(std::make_unique<FakeZip>(), std::make_unique<FakeLister>(),
                                       (home.dir / "bin" / "parvex").string());
}

} // namespace

TEST(OptionsDecisions, PackrateRowsAndOkWritesThePartsKeysOnly) {
    struct Case {
        const char* text;
        int row;
    } cases[] = {{"0", 0},
                 {"3", 1},
                 {"5", 2},
                 {" 7 ", 3},
                 {"9", 4},
                 {"6", 4},
                 {"-1", 4},
                 {"abc", -1},
                 {"", -1},
                 {"7x", -1},
                 {"99999999999999999999", -1}};
    for (const Case& c : cases) EXPECT_EQ(optcore::RowForPackrate(c.text), c.row) << c.text;

    IsolatedHome home;
    ScriptedBoxes boxes;
    TMainCore m{std::make_unique<FakeZip>(), std::make_unique<FakeLister>()};
    fs::create_directories(home.dir / "bin");
    m.FormCreate((home.dir / "bin" / "parvex").string());
    TIniFile& ini = *m.Settings();
    ini.WriteString("Settings", "Packrate", "abc");
    optcore::TValues v = optcore::FormShow(m);
    EXPECT_EQ(v.compRow, -1); // never raises
    const std::string before = pvtest::readFile(home.settingsFile());
    // No row chosen: the level stays.
    v.compRow = -1;
    v.notepad = false;
    v.otherProg = "/usr/bin/less";
    v.lastDir = false;
    v.start = "/srv/in";
    v.defaultTemp = false;
    v.temp = "/srv/tmp";
    v.columns = {true, false, true, true, false, true, true};
    Registered reg;
    m.FPackRate = 5;
    optcore::Ok(m, v, reg.registry());
    EXPECT_EQ(m.FPackRate, 5);
    EXPECT_EQ(ini.ReadString("Settings", "Packrate", ""), "abc");
    EXPECT_EQ(m.FViewerKind, vkProgram);
    EXPECT_EQ(m.FViewerProgram, "/usr/bin/less");
    EXPECT_EQ(ini.ReadString("Settings", "View", ""), "3");
    EXPECT_EQ(ini.ReadString("Settings", "OpenLast", ""), "0");
    EXPECT_EQ(ini.ReadString("Directories", "Open", ""), "/srv/in");
    EXPECT_EQ(m.FOpenFolder, "/srv/in");
    EXPECT_FALSE(m.FDefaultTemp);
    EXPECT_EQ(m.FTempFolder, "/srv/tmp");
    EXPECT_EQ(ini.ReadString("Directories", "Temp", ""), "/srv/tmp");
    EXPECT_EQ(ini.ReadString("ZipList", "Packed", ""), "0");
    EXPECT_EQ(ini.ReadString("ZipList", "CRC", ""), "0");
    EXPECT_EQ(ini.ReadString("ZipList", "Path", ""), "1");
    EXPECT_EQ(ini.ReadString("Settings", "StartUp", ""), "1");
    EXPECT_EQ(m.FColumnShown, v.columns);
    EXPECT_TRUE(reg.calls.empty()); // the page was never shown
    EXPECT_NE(pvtest::readFile(home.settingsFile()), before);

    v.compRow = 1;
    v.fileTypes.assign(optcore::kFileTypes.size(), false);
    v.fileTypes[0] = true;
    optcore::Ok(m, v, reg.registry());
    EXPECT_EQ(m.FPackRate, 3);
    EXPECT_EQ(ini.ReadString("Settings", "Packrate", ""), "3");
    ASSERT_EQ(reg.calls.size(), optcore::kFileTypes.size());
    EXPECT_EQ(reg.calls[0], "+.ace");
    EXPECT_EQ(reg.calls[6], "-.lha,.lzh");
}

TEST(OptionsForm, ThroughTheWindowCancelChangesNothingOkApplies) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    auto form = makeForm(home);
    form->show();
    app().processEvents();
    ASSERT_TRUE(form->statusBar()->isVisible());
    QAction* prefs = nullptr;
    for (QAction* top : form->menuBar()->actions())
        if (top->menu())
            for (QAction* a : top->menu()->actions())
                if (a->text() == "&Preferences") prefs = a;
    ASSERT_NE(prefs, nullptr);
    ASSERT_TRUE(prefs->isEnabled());
    Registered reg;
    reg.associated = {".zip"};

    // Cancel after changing things: the file and the fields stay.
    const int rate = form->FPackRate;
    const std::string settings = pvtest::readFile(home.settingsFile());
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<TOptionsForm*>(QApplication::activeModalWidget());
        if (!dlg) return;
        seen = true;
        dlg->KompRows->button(0)->click();
        dlg->cbViewStatusBar->setChecked(false);
        dlg->rbTempOther->setChecked(true);
        dlg->oeTemp->setText("/elsewhere");
        dlg->CancelBtn->click();
    });
    prefs->trigger();
    ASSERT_TRUE(seen);
    EXPECT_EQ(form->FPackRate, rate);
    EXPECT_EQ(pvtest::readFile(home.settingsFile()), settings);
    EXPECT_TRUE(form->statusBar()->isVisible());

    // OK: the status bar goes, the file types shown are registered as checked.
    seen = false;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<TOptionsForm*>(QApplication::activeModalWidget());
        if (!dlg) return;
        seen = true;
        dlg->Registry = reg.registry();
        EXPECT_EQ(dlg->windowTitle(), "Preferences");
        EXPECT_EQ(dlg->pcPrefs->count(), 7);
        EXPECT_EQ(dlg->KompRows->checkedId(), 3); // 7 from the settings
        dlg->cbViewStatusBar->setChecked(false);
        dlg->pcPrefs->setCurrentIndex(6);
        ASSERT_EQ(dlg->clbFiletypes->count(), int(optcore::kFileTypes.size()));
        EXPECT_EQ(dlg->clbFiletypes->item(14)->checkState(), Qt::Checked); // zip: associated
        EXPECT_EQ(dlg->clbFiletypes->item(0)->text(), "Ace archives (*.ace)");
        dlg->clbFiletypes->item(0)->setCheckState(Qt::Checked);
        dlg->pcPrefs->setCurrentIndex(0);
        // Every tab shows its whole caption: the bar fits, no tab is elided.
        QTabBar* tabs = dlg->pcPrefs->tabBar();
        EXPECT_LE(tabs->sizeHint().width(), dlg->pcPrefs->width());
        for (int i = 0; i < tabs->count(); ++i)
            EXPECT_TRUE(dlg->pcPrefs->rect().contains(tabs->tabRect(i).translated(tabs->pos()))) << i;
        const fs::path out = fs::path(PV_BUILD_DIR) / "OptionsForm.png";
        EXPECT_TRUE(dlg->grab().save(QString::fromStdString(out.string())));
        dlg->OkBtn->click();
    });
    prefs->trigger();
    ASSERT_TRUE(seen);
    EXPECT_FALSE(form->statusBar()->isVisible());
    EXPECT_FALSE(form->FStatusBarShown);
    EXPECT_TRUE(reg.associated.count(".ace"));
    EXPECT_TRUE(reg.associated.count(".zip"));
    EXPECT_EQ(TIniFile(home.settingsFile()).ReadString("Settings", "Packrate", ""), "7");
}
