// The window's writing commands and the commands that open a dialog of their own: seams,
// bindings to menu, popup, button and keys, over the real zip front-end and packers.
#include <QAction>
#include <QApplication>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QMenu>
#include <QShortcut>
#include <QTest>
#include <QTreeView>

#include "app/dialogs/DelUnit.h"
#include "app/dialogs/DialogSeams.h"
#include "app/window/MainUnit.h"
#include "controls/TBPvCtls.h"
#include "apptest.h"

using namespace apptest;
namespace fs = std::filesystem;

namespace {

std::unique_ptr<TMainForm> fakeForm(const IsolatedHome& home) {
    fs::create_directories(home.dir / "bin");
    return std::make_unique<TMainForm>(std::make_unique<FakeZip>(), std::make_unique<FakeLister>(),
                                       (home.dir / "bin" / "parvex").string());
}

// Empties one seam for the scope of a test and puts it back afterwards.
template <class F> struct SeamSwap {
    F& seam;
    F saved;
    SeamSwap(F& s, F with) : seam(s), saved(s) { seam = std::move(with); }
    ~SeamSwap() { seam = saved; }
};

} // namespace

TEST(DialogSeams, EmptySeamDisablesItsCommandAndAFilledOneOpensIt) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    auto form = fakeForm(home);
    form->EnableItems(
        {.created = true, .opened = true, .zipTools = true, .archiveItems = true, .writable = true});
    // The find dialog's own unit filled its seam when the program started.
    EXPECT_TRUE(bool(DialogSeams().FindFiles));
    EXPECT_TRUE(form->ActionsFor(cmd::FindFiles).front()->isEnabled());

    struct Row {
        const char* item;
        TDialogSeams::TShow TDialogSeams::*seam;
    } rows[] = {{cmd::Properties, &TDialogSeams::Properties},
                {cmd::Test, &TDialogSeams::TestOutput},
                {cmd::UUEncode, &TDialogSeams::UUEncode},
                {cmd::Checkout, &TDialogSeams::Checkout},
                {cmd::FindFiles, &TDialogSeams::FindFiles}};
    for (const Row& r : rows) {
        int shown = 0;
        {
            SeamSwap<TDialogSeams::TShow> off(DialogSeams().*r.seam, {});
            form->EnableItems({.zipTools = true, .archiveItems = true});
            for (QAction* a : form->ActionsFor(r.item)) EXPECT_FALSE(a->isEnabled()) << r.item;
        }
        SeamSwap<TDialogSeams::TShow> on(DialogSeams().*r.seam, [&](TDialogHost& f) {
            EXPECT_EQ(&f, form.get());
            ++shown;
        });
        form->EnableItems({.zipTools = true, .archiveItems = true});
        for (QAction* a : form->ActionsFor(r.item)) {
            ASSERT_TRUE(a->isEnabled()) << r.item;
            a->trigger();
        }
        EXPECT_EQ(shown, int(form->ActionsFor(r.item).size())) << r.item;
    }

    // Copy and move share one dialog with its mode; Convert has no item of the core.
    std::vector<int> modes;
    {
        SeamSwap<std::function<void(TDialogHost&, int)>> off(DialogSeams().CopyMove, {});
        form->EnableItems({.archiveItems = true});
        EXPECT_FALSE(form->ActionsFor(cmd::CopyArchive).front()->isEnabled());
        EXPECT_FALSE(form->ActionsFor(cmd::MoveArchive).front()->isEnabled());
    }
    SeamSwap<std::function<void(TDialogHost&, int)>> cm(
        DialogSeams().CopyMove, [&](TDialogHost&, int mode) { modes.push_back(mode); });
    form->EnableItems({.archiveItems = true});
    form->ActionsFor(cmd::CopyArchive).front()->trigger();
    form->ActionsFor(cmd::MoveArchive).front()->trigger();
    EXPECT_EQ(modes, (std::vector<int>{0, 1}));
    {
        SeamSwap<TDialogSeams::TShow> off(DialogSeams().Convert, {});
        form->EnableItems({});
        EXPECT_FALSE(form->ConvertAction()->isEnabled());
    }

    // Mail: the internal client needs its dialog; the desktop's mail program does not.
    {
        SeamSwap<TDialogSeams::TShow> off(DialogSeams().Mail, {});
        form->FInternalMail = true;
        form->EnableItems({.archiveItems = true});
        EXPECT_FALSE(form->ActionsFor(cmd::MailArchive).front()->isEnabled());
        form->FInternalMail = false;
        form->EnableItems({.archiveItems = true});
        EXPECT_TRUE(form->ActionsFor(cmd::MailArchive).front()->isEnabled());
    }

    // The drop road reaches its dialog with the paths as they came.
    std::vector<std::string> dropped;
    SeamSwap<std::function<void(TDialogHost&, const std::vector<std::string>&)>> drop(
        DialogSeams().FileDrop, [&](TDialogHost&, const std::vector<std::string>& p) { dropped = p; });
    form->ShowFileDrop({"/x/a b;c.txt", "/y"});
    EXPECT_EQ(dropped, (std::vector<std::string>{"/x/a b;c.txt", "/y"}));
}

// Over a real zip: the Delete key on the list opens the delete dialog, whose selected-files
// choice deletes only the selected entry; the Delete button's drop-down deletes the selection.
TEST(WriteCommands, DeleteKeyAndTheDeleteButtonsDropDown) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("unzip");
    IsolatedHome home;
    ScriptedBoxes boxes;
    const fs::path src = home.dir / "src";
    for (const char* n : {"a.txt", "b.txt", "c.dat"}) pvtest::writeFile(src / n, std::string(n) + "\n");
    const fs::path zip = home.dir / "w.zip";
    ASSERT_EQ(pvtest::run("zip -q -X " + pvtest::q(zip.string()) + " a.txt b.txt c.dat", src).status, 0);
    TMainForm form(CreateLiveZip(), CreateLiveLister(), (pvtest::binDir() / "parvex").string());
    form.show();
    form.OpenArchive(zip.string());
    ASSERT_EQ(form.Rows.size(), 3u);
    auto names = [&] { return pvtest::run("unzip -Z1 " + pvtest::q(zip.string())).out; };
    auto select = [&](const std::string& stored) {
        form.ZipList()->clearSelection();
        for (size_t i = 0; i < form.Rows.size(); ++i)
            if (form.Rows[i].StoredName == stored)
                form.ZipList()->selectionModel()->select(form.ZipList()->model()->index(int(i), 0),
                                                         QItemSelectionModel::Select |
                                                             QItemSelectionModel::Rows);
    };

    select("a.txt");
    bool seen = false;
    // The dialog is modal: answer it from the event loop it runs, whenever it shows.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dlg = qobject_cast<TDelForm*>(QApplication::activeModalWidget());
        if (!dlg) return;
        poll.stop();
        seen = true;
        dlg->rbSelFiles->click();
        dlg->btnDelete->click();
    });
    poll.start(10);
    QApplication::setActiveWindow(&form);
    if (!QTest::qWaitForWindowActive(&form)) GTEST_SKIP() << "the offscreen window could not be made active";
    form.ZipList()->setFocus();
    QTest::keyClick(form.ZipList(), Qt::Key_Delete);
    poll.stop();
    ASSERT_TRUE(seen);
    EXPECT_EQ(names(), "b.txt\nc.dat\n");
    EXPECT_EQ(form.Rows.size(), 2u);

    ASSERT_EQ(form.tbDel->DropdownMenu(), form.DeleteMenu());
    select("c.dat");
    for (QAction* a : form.DeleteMenu()->actions())
        if (a->objectName() == "pmiDeleteSelected") a->trigger();
    EXPECT_EQ(names(), "b.txt\n");
    EXPECT_EQ(pvtest::run("unzip -tq " + pvtest::q(zip.string())).status, 0);
}
