// The UI hooks pointed at Qt: a real message box comes up with the program's line breaks
// turned into new lines, and the button pressed comes back as the hook's answer.
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "apptest.h"
#include "platform/qt/MimeIcons.h"
#include "platform/qt/QtUiHooks.h"

using namespace apptest;

namespace {

struct Seen {
    QString title, text;
    QStringList buttons;
};

// Presses `which` on the next message box that comes up, noting what it showed.
void pressOnNextBox(QMessageBox::StandardButton which, Seen& seen) {
    QTimer::singleShot(0, [which, &seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        seen.title = box->windowTitle();
        seen.text = box->text();
        for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
        if (QAbstractButton* b = box->button(which))
            b->click();
        else
            box->reject();
    });
}

} // namespace

TEST(QtUiHooks, MessageBoxesShowTheTextAndReturnTheButton) {
    IsolatedHome home;
    platform::ScopedUiHooks keep(platform::uiHooks()); // restored after the test
    platform::installQtUiHooks();

    Seen seen;
    pressOnNextBox(QMessageBox::No, seen);
    auto r = platform::messageBox("Confirm", "Overwrite Archiv :\r\r/x/a.zip?",
                                  platform::MsgType::Confirmation, platform::mbYes | platform::mbNo);
    EXPECT_EQ(r, platform::ModalResult::No);
    EXPECT_EQ(seen.title, "Confirm");
    EXPECT_EQ(seen.text, "Overwrite Archiv :\n\n/x/a.zip?");
    EXPECT_EQ(seen.buttons.size(), 2);

    pressOnNextBox(QMessageBox::Yes, seen);
    r = platform::messageBox("Question", "This is an encoded archive. \n\rDo you want it?",
                             platform::MsgType::Confirmation, platform::mbYes | platform::mbNo);
    EXPECT_EQ(r, platform::ModalResult::Yes);
    EXPECT_EQ(seen.text, "This is an encoded archive. \nDo you want it?");

    pressOnNextBox(QMessageBox::Ok, seen);
    EXPECT_EQ(platform::messageBox("Error", "x", platform::MsgType::Error, platform::mbOK),
              platform::ModalResult::Ok);

    // The desktop's type names come through the same hooks.
    EXPECT_FALSE(platform::fileTypeName("a.zip").empty());
    EXPECT_EQ(pvMimeIconName("no-extension-here"), "");
}
