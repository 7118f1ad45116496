// Mailing the archive: the dialog's two layouts (screenshots), a mail sent to a local
// SMTP server with its headers, a hidden Bcc and the attachment byte-exact, a closed port,
// refusals before connecting, missing settings; and the mail program road through a fake
// xdg-email first on PATH.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

#include "app/dialogs/MailArchiveUnit.h"
#include "app/core/MainCore.h"
#include "apptest.h"

using namespace apptest;
namespace fs = std::filesystem;
using pvtest::q;
using pvtest::run;

extern char** environ;

namespace {

const char* kPython = "/usr/bin/python3";

bool haveAiosmtpd() {
    return run(std::string(kPython) + " -c 'import aiosmtpd' 2>/dev/null").status == 0;
}

std::string peerScript() {
    return (pvtest::sourceDir() / "tests/app/data/smtp_peer.py").string();
}

// aiosmtpd on 127.0.0.1 at a free port, stopped when this goes.
struct SmtpServer {
    pvtest::TempDir dir;
    pid_t pid = -1;
    int port = 0;
    SmtpServer() {
        std::vector<std::string> w = {kPython, peerScript(), "serve", dir.str()};
        std::vector<char*> argv;
        for (auto& s : w) argv.push_back(s.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid, kPython, nullptr, nullptr, argv.data(), environ) != 0) return;
        for (int i = 0; i < 200 && !fs::exists(dir / "port"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (fs::exists(dir / "port")) port = std::stoi(pvtest::readFile(dir / "port"));
    }
    ~SmtpServer() {
        pvtest::writeFile(dir / "stop", "");
        if (pid <= 0) return;
        int st = 0;
        for (int i = 0; i < 100 && waitpid(pid, &st, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (waitpid(pid, &st, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &st, 0);
        }
    }
};

int closedPort() {
    auto r = run(std::string(kPython) + " -c 'import socket;s=socket.socket();s.bind((\"127.0.0.1\",0));"
                                        "print(s.getsockname()[1])'");
    return std::stoi(r.out);
}

struct MailFixture : ::testing::Test {
    IsolatedHome home;
    ScriptedBoxes boxes;
    TMainCore core{nullptr, nullptr};
    std::vector<uint8_t> payload;
    void SetUp() override {
        payload = pvtest::randomBytes(120000, 4);
        const fs::path file = home.dir / "my archive \"1\".zip";
        pvtest::writeBytes(file, payload);
        core.FArchiveOpen = true;
        core.FArchiveFile = file.string();
        core.FArchiveName = file.filename().string();
        core.FMailHost = "127.0.0.1";
        core.FMailUserID = "tester";
        core.FMailAddress = "me@example.org";
    }
    void shot(QWidget& w, const char* name) {
        w.grab().save(QString::fromStdString((fs::path(PV_BUILD_DIR) / name).string()));
    }
};

} // namespace

TEST_F(MailFixture, BothLayoutsThroughTheWidgets) {
    TMailArchiveForm form(core);
    ASSERT_TRUE(form.Prepare());
    EXPECT_EQ(form.windowTitle().toStdString(), "Mail archive " + core.FArchiveName);
    EXPECT_EQ(form.oeFilename->text().toStdString(), core.FArchiveFile);
    EXPECT_EQ(form.oeSender->text(), "me@example.org");
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.btnAdvanced->text(), "<< Advanced");
    EXPECT_FALSE(form.oeCC->isVisible());
    EXPECT_FALSE(form.oeSender->isVisible());
    EXPECT_TRUE(form.oeReceipient->isVisible());
    EXPECT_FALSE(form.btnSend->isEnabled());
    form.oeReceipient->setText("you@example.org");
    EXPECT_TRUE(form.btnSend->isEnabled());
    shot(form, "mail_short.png");
    QTest::mouseClick(form.btnAdvanced, Qt::LeftButton);
    EXPECT_EQ(form.btnAdvanced->text(), ">> Advanced");
    EXPECT_TRUE(form.oeCC->isVisible());
    EXPECT_TRUE(form.oeBCC->isVisible());
    EXPECT_TRUE(form.oeSender->isVisible());
    shot(form, "mail_full.png");
    QTest::mouseClick(form.btnAdvanced, Qt::LeftButton);
    EXPECT_FALSE(form.oeBCC->isVisible());
    QTest::mouseClick(form.btnCancel, Qt::LeftButton);
    EXPECT_TRUE(core.FCancelled);
}

TEST_F(MailFixture, SentMailReachesTheServerWithAHiddenBcc) {
    if (!haveAiosmtpd()) GTEST_SKIP() << "peer 'python3-aiosmtpd' is not installed";
    SmtpServer srv;
    ASSERT_GT(srv.port, 0) << "the SMTP server did not start";
    core.FMailHost = "127.0.0.1:" + std::to_string(srv.port);
    core.FMailName = ""; // the sender's name is then the address
    TMailArchiveForm form(core);
    ASSERT_TRUE(form.Prepare());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.oeReceipient->setText("you@example.org");
    form.oeCC->setText("cc@example.org");
    form.oeBCC->setText("hidden@example.org");
    form.oeSubject->setText("The archive");
    form.reMsg->setPlainText("Hello,\nhere it is.");
    QTest::mouseClick(form.btnSend, Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back().caption, "Information");
    EXPECT_EQ(boxes.shown.back().text, "The email was sent successfully !");
    EXPECT_EQ(form.State.Status, "Success !");

    EXPECT_EQ(pvtest::readFile(srv.dir / "greeting"), "tester");
    EXPECT_EQ(pvtest::readFile(srv.dir / "from"), "me@example.org");
    EXPECT_EQ(pvtest::readFile(srv.dir / "rcpt"), "you@example.org\ncc@example.org\nhidden@example.org");
    auto parsed = run(std::string(kPython) + " " + q(peerScript()) + " parse " + q(srv.dir.str()));
    ASSERT_EQ(parsed.status, 0) << parsed.out;
    for (const char* want : {"From: me@example.org\n", "Reply-To: me@example.org\n", "To: you@example.org\n",
                             "Cc: cc@example.org\n", "Subject: The archive\n",
                             "X-Mailer: Parvex 2000 internal mail client\n", "Body: Hello,\nhere it is."})
        EXPECT_NE(parsed.out.find(want), std::string::npos) << want << "\nin\n" << parsed.out;
    EXPECT_EQ(parsed.out.find("hidden@"), std::string::npos) << parsed.out;
    EXPECT_NE(parsed.out.find("Date: "), std::string::npos);
    EXPECT_TRUE(pvtest::readBytes(srv.dir / "attachment") == payload);
}

TEST_F(MailFixture, ClosedPortAndRefusalsShowErrorsAndNoSuccess) {
    core.FMailHost = "127.0.0.1:" + std::to_string(closedPort());
    TMailState s;
    ASSERT_TRUE(s.FormShow(core));
    s.ToEdited("you@example.org");
    EXPECT_FALSE(s.SendClick(core));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Error");
    EXPECT_EQ(boxes.shown[0].text, "Could not connect to mail server, please check your settings!");

    // Refused before connecting: the host here would not answer either, so a box other
    // than the connection's shows nothing was tried.
    pvtest::writeFile(home.dir / "empty.zip", "");
    struct Case {
        const char* what;
        std::string TMailState::*field;
        std::string value;
    } cases[] = {
        {"CR in To", &TMailState::To, "you@example.org\r\nBcc: evil@example.org"},
        {"LF in Cc", &TMailState::Cc, "cc@example.org\nX: y"},
        {"LF in Bcc", &TMailState::Bcc, "b@example.org\n"},
        {"LF in Subject", &TMailState::Subject, "Hi\nBcc: evil@example.org"},
        {"missing attachment", &TMailState::FileName, (home.dir / "gone.zip").string()},
        {"empty attachment", &TMailState::FileName, (home.dir / "empty.zip").string()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TMailState t;
        ASSERT_TRUE(t.FormShow(core));
        t.To = "you@example.org";
        t.*c.field = c.value;
        boxes.shown.clear();
        EXPECT_FALSE(t.SendClick(core));
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_NE(boxes.shown[0].text, "Could not connect to mail server, please check your settings!");
        EXPECT_EQ(t.Status, ""); // never connected
    }
}

TEST_F(MailFixture, MissingSettingsShowTheBoxThenTheOptions) {
    core.FMailUserID.clear();
    int optionsShown = 0;
    mailcore::ShowOptionsDialog = [&](TMainCore&, QWidget*) { ++optionsShown; };
    mailcore::MailArchiveCommand(core, nullptr);
    mailcore::ShowOptionsDialog = nullptr;
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Error");
    EXPECT_EQ(boxes.shown[0].text.rfind("Before sending the archive as email, please go to Options", 0), 0u);
    EXPECT_EQ(optionsShown, 1);
}

TEST_F(MailFixture, MailProgramRoadPassesExactlyFourArguments) {
    const fs::path bin = home.dir / "bin";
    const fs::path log = home.dir / "args.log";
    pvtest::writeFile(bin / "xdg-email", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> " +
                                             q(log.string()) + "; done\nexit ${FAKE_STATUS:-0}\n");
    fs::permissions(bin / "xdg-email", fs::perms::owner_all);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (bin.string() + ":" + oldPath).c_str(), 1);
    core.FInternalMail = false;
    mailcore::MailArchiveCommand(core, nullptr);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(pvtest::readFile(log),
              "--subject\n" + core.FArchiveName + "\n--attach\n" + core.FArchiveFile + "\n");

    setenv("FAKE_STATUS", "4", 1);
    mailcore::MailArchiveCommand(core, nullptr);
    unsetenv("FAKE_STATUS");
    setenv("PATH", oldPath.c_str(), 1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Error");
    EXPECT_NE(boxes.shown[0].text.find("exit status 4"), std::string::npos) << boxes.shown[0].text;
}
