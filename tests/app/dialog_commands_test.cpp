// The window's commands open the dialogs through their seams: each command is enabled with
// a zip open and shows its own dialog modally.
#include <QAction>
#include <QApplication>
#include <QTimer>

#include "app/dialogs/ArcConvertUnit.h"
#include "app/dialogs/ArchiveInfoUnit.h"
#include "app/dialogs/CheckoutUnit.h"
#include "app/dialogs/CommentUnit.h"
#include "app/dialogs/CopyMoveUnit.h"
#include "app/window/MainUnit.h"
#include "app/dialogs/OutputUnit.h"
#include "app/dialogs/UUEncodeUnit.h"
#include "apptest.h"

using namespace apptest;

TEST(DialogCommands, EachCommandShowsItsDialog) {
    PV_REQUIRE_PEER("zip");
    IsolatedHome home;
    ScriptedBoxes boxes;
    pvtest::writeFile(home.dir / "src/a.txt", "hello");
    const std::string zip = (home.dir / "t.zip").string();
    ASSERT_EQ(pvtest::run("zip -q -X " + pvtest::q(zip) + " a.txt", home.dir / "src").status, 0);
    TMainForm form(CreateLiveZip(), CreateLiveLister(), (pvtest::binDir() / "parvex").string());
    form.show();
    form.OpenArchive(zip);
    ASSERT_TRUE(form.FArchiveOpen);
    struct Case {
        const char* item;
        std::function<bool(QWidget*)> is;
    } cases[] = {
        {cmd::Test, [](QWidget* w) { return qobject_cast<TOutputForm*>(w) != nullptr; }},
        {cmd::Properties, [](QWidget* w) { return qobject_cast<TArchiveInfoForm*>(w) != nullptr; }},
        {cmd::Checkout, [](QWidget* w) { return qobject_cast<TCheckoutForm*>(w) != nullptr; }},
        {cmd::UUEncode, [](QWidget* w) { return qobject_cast<TUUEncodeForm*>(w) != nullptr; }},
        {cmd::Comment, [](QWidget* w) { return qobject_cast<TCommentForm*>(w) != nullptr; }},
        {cmd::CopyArchive, [](QWidget* w) { return qobject_cast<TCopyMoveForm*>(w) != nullptr; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        auto actions = form.ActionsFor(c.item);
        ASSERT_FALSE(actions.empty());
        EXPECT_TRUE(actions.front()->isEnabled());
        bool seen = false;
        QTimer::singleShot(0, [&] {
            QWidget* w = QApplication::activeModalWidget();
            seen = w && c.is(w);
            if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
        });
        actions.front()->trigger();
        EXPECT_TRUE(seen);
    }
}
