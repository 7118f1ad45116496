// The multi-extract dialog through its widgets: the file list with the zip image, the
// folder picker behind its button, and two peer-made archives extracted byte for byte.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "app/dialogs/DirSelUnit.h"
#include "app/window/MainUnit.h"
#include "app/dialogs/MultiExtUnit.h"
#include "controls/DirTree.h"
#include "apptest.h"

using namespace apptest;
namespace fs = std::filesystem;
using pvtest::q;
using pvtest::run;

TEST(MultiExtForm, PickerListAndTwoPeerArchivesByteExact) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("tar");
    IsolatedHome home;
    ScriptedBoxes boxes;
    const fs::path src = home.dir / "src";
    pvtest::writeFile(src / "a.txt", "alpha\n");
    auto bytes = pvtest::randomBytes(200000, 8);
    pvtest::writeFile(src / "d" / "b.bin", std::string(bytes.begin(), bytes.end()));
    const fs::path zip = home.dir / "one.zip", tar = home.dir / "two.tar";
    ASSERT_EQ(run("zip -q -X -r " + q(zip.string()) + " a.txt d", src).status, 0);
    ASSERT_EQ(run("tar -cf " + q(tar.string()) + " a.txt d/b.bin", src).status, 0);
    TMainForm form(CreateLiveZip(), CreateLiveLister(), (pvtest::binDir() / "parvex").string());
    const fs::path dest = home.dir / "dest";
    fs::create_directories(dest);

    std::vector<std::string> archives;
    {
        TMultiExtForm dlg(form, &form);
        dlg.AddFiles({zip.string(), tar.string(), zip.string()});
        ASSERT_EQ(dlg.lvFiles->topLevelItemCount(), 2);
        EXPECT_FALSE(dlg.lvFiles->topLevelItem(0)->icon(0).isNull()); // the zip image
        EXPECT_TRUE(dlg.lvFiles->topLevelItem(1)->icon(0).isNull());
        bool picked = false;
        QTimer::singleShot(0, [&] {
            auto* picker = qobject_cast<TDirSelForm*>(QApplication::activeModalWidget());
            if (!picker) return;
            picked = true;
            picker->DirTree1->OpenPath(dest.string());
            picker->OK->click();
        });
        dlg.DirSel2->click();
        ASSERT_TRUE(picked);
        EXPECT_EQ(fs::path(dlg.oeDestDir->text().toStdString()), dest);
        EXPECT_TRUE(form.FCancelled); // nothing accepted yet
        dlg.cbFunction->setCurrentIndex(1);
        QTimer::singleShot(0, [&dlg] { dlg.btnOk->click(); });
        dlg.exec();
        EXPECT_FALSE(form.FCancelled);
        archives = dlg.Archives();
    }
    form.MultiExtract(archives);
    for (const char* name : {"one", "two"}) {
        EXPECT_EQ(pvtest::readFile(dest / name / "a.txt"), "alpha\n") << name;
        EXPECT_TRUE(pvtest::readFile(dest / name / "d" / "b.bin") == std::string(bytes.begin(), bytes.end()))
            << name;
    }
}
