// The zip front-end's password window, as the Qt hooks show it: its layout, the 80-character
// edit, OK answering the text and Cancel answering nothing; and the add password's second
// question through the same window.
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "apptest.h"
#include "platform/qt/PasswordDlg.h"
#include "platform/qt/QtUiHooks.h"
#include "zipdll/ZipFront.h"

using namespace apptest;

namespace {

// Answers the password windows as they come up, in order: types the text and presses OK
// (or Cancel), noting each window's prompt.
class Answers : public QObject {
public:
    void add(const QString& text, bool ok) { queue_.push_back({text, ok}); }
    std::vector<QString> prompts;
    Answers() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* dlg = qobject_cast<TPasswordDlg*>(QApplication::activeModalWidget());
            if (!dlg || !dlg->isVisible() || dlg == last_ || queue_.empty()) return;
            last_ = dlg;
            auto [text, ok] = queue_.front();
            queue_.erase(queue_.begin());
            prompts.push_back(dlg->Label->text());
            dlg->Edit->setText(text);
            (ok ? dlg->OkBtn : dlg->CancelBtn)->click();
        });
        timer_.start();
    }

private:
    QTimer timer_;
    std::vector<std::pair<QString, bool>> queue_;
    QPointer<TPasswordDlg> last_;
};

} // namespace

TEST(PasswordDlg, LayoutAndScreenshot) {
    IsolatedHome home;
    platform::PasswordQuestion q{"Password", "Enter Password ", "&Ok", "&Cancel", 80};
    TPasswordDlg dlg(q);
    EXPECT_EQ(dlg.size(), QSize(344, 137));
    EXPECT_EQ(dlg.windowTitle(), "Password");
    EXPECT_EQ(dlg.Label->geometry(), QRect(20, 8, 297, 18));
    EXPECT_EQ(dlg.Edit->geometry().topLeft(), QPoint(20, 40));
    EXPECT_EQ(dlg.Edit->width(), 297);
    EXPECT_EQ(dlg.Edit->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dlg.Edit->maxLength(), 80);
    EXPECT_EQ(dlg.OkBtn->geometry(), QRect(44, 72, 90, 28));
    EXPECT_EQ(dlg.CancelBtn->geometry(), QRect(205, 72, 90, 28));
    EXPECT_EQ(dlg.OkBtn->text(), "&Ok");
    EXPECT_EQ(dlg.CancelBtn->text(), "&Cancel");
    EXPECT_TRUE(dlg.font().bold());
    dlg.Edit->setText(QString(100, 'x'));
    EXPECT_EQ(dlg.Edit->text().size(), 80);
    dlg.show();
    const auto out = std::filesystem::path(PV_BUILD_DIR) / "passworddlg.png";
    EXPECT_TRUE(dlg.grab().save(QString::fromStdString(out.string())));
}

TEST(PasswordDlg, TheComponentsQuestionsGoThroughTheWindow) {
    IsolatedHome home;
    platform::ScopedUiHooks keep(platform::uiHooks());
    platform::installQtUiHooks();
    TZipFront z;
    std::vector<std::string> messages;
    z.OnMessage = [&](TZipFront&, int, const std::string& m) { messages.push_back(m); };
    z.Unattended = false;
    platform::uiHooks().messageBox = [](const std::string&, const std::string&, platform::MsgType, unsigned) {
        return platform::ModalResult::Ok;
    };

    Answers a;
    a.add("s3cret", true);
    EXPECT_EQ(z.GetExtrPassword(), "s3cret");
    a.add("s3cret", false);
    EXPECT_EQ(z.GetExtrPassword(), "");
    a.add(QString(90, 'p'), true);
    EXPECT_EQ(z.GetExtrPassword(), std::string(80, 'p'));
    EXPECT_EQ(a.prompts.back(), "Enter Password ");

    // Adding asks twice; the second window asks to confirm.
    a.add("one", true);
    a.add("one", true);
    EXPECT_EQ(z.GetAddPassword(), "one");
    ASSERT_EQ(a.prompts.size(), 5u);
    EXPECT_EQ(a.prompts[4], "Confirm Password ");
    a.add("one", true);
    a.add("two", true);
    EXPECT_EQ(z.GetAddPassword(), "");
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), "Error - passwords do NOT match\nPassword ignored");
    // A cancelled first window asks nothing more.
    a.add("", false);
    EXPECT_EQ(z.GetAddPassword(), "");
    EXPECT_EQ(a.prompts.size(), 8u);
}
