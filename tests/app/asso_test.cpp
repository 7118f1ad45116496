// The association question: the preset rows and a changed row registered with the
// desktop's databases, a stored answer applied unseen at the next start, and the keys kept
// by the window's own save at exit; then the dialog through its widgets.
#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "app/dialogs/AssoUnit.h"
#include "app/core/IniFile.h"
#include "app/core/MainCore.h"
#include "app/desktop/ftReg.h"
#include "apptest.h"

using namespace apptest;
namespace fs = std::filesystem;

namespace {

struct AssoFixture : ::testing::Test {
    IsolatedHome home;
    ScriptedBoxes boxes;
    std::unique_ptr<TMainCore> core;
    void SetUp() override {
        core = std::make_unique<TMainCore>(nullptr, nullptr);
        core->FormCreate((pvtest::binDir() / "parvex").string());
        ftreg::SetProgramFile(home.home + "/parvex");
    }
    // The settings file as a later start reads it.
    std::string stored(const std::string& key) const {
        return TIniFile(home.settingsFile()).ReadString("ZipAsso", key, "<none>");
    }
};

const char* const kPresetExts[] = {".ace", ".arc", ".arj", ".bh", ".cab", ".gz",  ".lha", ".lzh", ".jar",
                                   ".rar", ".tar", ".uue", ".uu", ".enc", ".xxe", ".z",   ".zoo", ".zip"};

} // namespace

TEST_F(AssoFixture, PresetRowsAssociateAllButGamePackagesAndKeepTheirKeys) {
    PV_REQUIRE_PEER("update-mime-database");
    TAssoForm form(*core);
    EXPECT_FALSE(form.AppliedAtCreation());
    ASSERT_EQ(form.clbFileTypes->count(), 15);
    EXPECT_EQ(form.clbFileTypes->item(8)->checkState(), Qt::Unchecked);
    form.AssoBtnClick();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    for (const char* ext : kPresetExts) {
        EXPECT_TRUE(ftreg::IsAssociated(ext)) << ext;
        EXPECT_EQ(core->Settings()->ReadString("ZipAsso", ext, ""), "1") << ext;
    }
    for (const char* ext : {".pak", ".pk3"}) {
        EXPECT_FALSE(ftreg::IsAssociated(ext)) << ext;
        EXPECT_EQ(core->Settings()->ReadString("ZipAsso", ext, "<none>"), "<none>") << ext;
    }
    EXPECT_EQ(core->Settings()->ReadString("ZipAsso", "ZipAsso", ""), "1");
    EXPECT_EQ(core->Settings()->ReadString("ZipAsso", "NoAssoDialog", "0"), "0");
    // The window's exit save keeps what the dialog wrote.
    core->FormDestroy();
    core.reset();
    EXPECT_EQ(stored(".zip"), "1");
    EXPECT_EQ(stored("ZipAsso"), "1");
}

TEST_F(AssoFixture, AnUncheckedRowIsLeftAlone) {
    PV_REQUIRE_PEER("update-mime-database");
    auto checks = assocore::PresetChecks();
    checks[0] = false; // "Ace archives (*.ace)"
    assocore::Associate(*core->Settings(), checks, false);
    EXPECT_FALSE(ftreg::IsAssociated(".ace"));
    EXPECT_TRUE(ftreg::IsAssociated(".arc"));
    EXPECT_EQ(core->Settings()->ReadString("ZipAsso", ".ace", "<none>"), "<none>");
}

TEST_F(AssoFixture, StoredAnswersApplyAtTheNextStartUnseen) {
    PV_REQUIRE_PEER("update-mime-database");
    // "Never ask again" with Cancel: nothing is associated, next time nothing shows.
    {
        TAssoForm form(*core);
        form.cbNever->setChecked(true);
        form.CancelBtnClick();
    }
    core->FormDestroy();
    core = std::make_unique<TMainCore>(nullptr, nullptr);
    core->FormCreate((pvtest::binDir() / "parvex").string());
    {
        TAssoForm next(*core);
        EXPECT_TRUE(next.AppliedAtCreation());
        EXPECT_FALSE(next.isVisible());
    }
    EXPECT_FALSE(ftreg::IsAssociated(".zip"));
    EXPECT_EQ(stored("AssoYN"), "0");

    // Associate stored: the preset types are associated again without a dialog.
    core->Settings()->WriteString("ZipAsso", "AssoYN", "1");
    TAssoForm again(*core);
    EXPECT_TRUE(again.AppliedAtCreation());
    EXPECT_TRUE(ftreg::IsAssociated(".zip,.arj,.tar"));
    EXPECT_FALSE(ftreg::IsAssociated(".pak"));
}

TEST_F(AssoFixture, DialogThroughItsWidgets) {
    PV_REQUIRE_PEER("update-mime-database");
    TAssoForm form(*core);
    EXPECT_EQ(form.windowTitle(), "Associate with Parvex");
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.AssoBtn->text(), "&Associate");
    form.clbFileTypes->item(14)->setCheckState(Qt::Unchecked); // not zip
    QTest::mouseClick(form.cbNever, Qt::LeftButton);
    form.grab().save(QString::fromStdString((fs::path(PV_BUILD_DIR) / "asso_dialog.png").string()));
    QTest::mouseClick(form.AssoBtn, Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(ftreg::IsAssociated(".zip"));
    EXPECT_TRUE(ftreg::IsAssociated(".rar"));
    EXPECT_EQ(core->Settings()->ReadString("ZipAsso", "NoAssoDialog", ""), "1");
    EXPECT_EQ(core->Settings()->ReadString("ZipAsso", "AssoYN", ""), "1");
}
