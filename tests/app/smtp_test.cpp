// The mail client against a local SMTP server: envelope, headers, body and attachment as the
// server receives them, a refused connection, and messages refused before connecting.
#include <gtest/gtest.h>

#include <chrono>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

#include "app/desktop/SmtpClient.h"
#include "apptest.h"

using namespace pvtest;

extern char** environ;

namespace {

const char* kPython = "/usr/bin/python3";

bool haveAiosmtpd() {
    return run(std::string(kPython) + " -c 'import aiosmtpd' 2>/dev/null").status == 0;
}

std::string script() {
    return (sourceDir() / "tests/app/data/smtp_peer.py").string();
}

struct Server {
    TempDir dir;
    pid_t pid = -1;
    int port = 0;
    Server() {
        std::vector<std::string> w = {kPython, script(), "serve", dir.str()};
        std::vector<char*> argv;
        for (auto& s : w) argv.push_back(s.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid, kPython, nullptr, nullptr, argv.data(), environ) != 0) return;
        for (int i = 0; i < 200 && !std::filesystem::exists(dir / "port"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (std::filesystem::exists(dir / "port")) port = std::stoi(readFile(dir / "port"));
    }
    ~Server() {
        writeFile(dir / "stop", "");
        if (pid > 0) {
            int st = 0;
            for (int i = 0; i < 100 && waitpid(pid, &st, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (waitpid(pid, &st, WNOHANG) == 0) {
                kill(pid, SIGKILL);
                waitpid(pid, &st, 0);
            }
        }
    }
};

int closedPort() {
    // A port that was free a moment ago: nothing listens on it.
    auto r = run(std::string(kPython) + " -c 'import socket;s=socket.socket();s.bind((\"127.0.0.1\",0));"
                                        "print(s.getsockname()[1])'");
    return std::stoi(r.out);
}

} // namespace

TEST(SmtpClient, TheServerReceivesEnvelopeHeadersAndAttachment) {
    if (!haveAiosmtpd()) GTEST_SKIP() << "peer 'python3-aiosmtpd' is not installed";
    Server srv;
    ASSERT_GT(srv.port, 0) << "the SMTP server did not start";
    TempDir work;
    auto payload = randomBytes(300000, 9);
    writeBytes(work / "my archive \"1\".zip", payload);

    TSmtpClient c;
    c.Host = "127.0.0.1:" + std::to_string(srv.port);
    c.UserID = "tester";
    std::vector<std::string> events;
    c.OnConnect = [&](TSmtpClient*, const std::string& h) { events.push_back("connect " + h); };
    c.OnSendStart = [&](TSmtpClient*) { events.push_back("start"); };
    c.OnSuccess = [&](TSmtpClient*) { events.push_back("success"); };
    TSmtpMessage m;
    m.FromAddress = "me@example.org";
    m.FromName = "Mé Sender";
    m.ReplyTo = "me@example.org";
    m.To = "you@example.org; two@example.org";
    m.Cc = "cc@example.org";
    m.Bcc = "hidden@example.org";
    m.Subject = "Archive für dich";
    m.Body = "Hello,\nhere it is.";
    m.AttachmentFile = (work / "my archive \"1\".zip").string();
    std::string error;
    ASSERT_TRUE(c.Send(m, error)) << error;
    EXPECT_EQ(events, (std::vector<std::string>{"connect " + c.Host, "start", "success"}));

    EXPECT_EQ(readFile(srv.dir / "greeting"), "tester");
    EXPECT_EQ(readFile(srv.dir / "from"), "me@example.org");
    EXPECT_EQ(readFile(srv.dir / "rcpt"),
              "you@example.org\ntwo@example.org\ncc@example.org\nhidden@example.org");
    auto parsed = run(std::string(kPython) + " " + q(script()) + " parse " + q(srv.dir.str()));
    ASSERT_EQ(parsed.status, 0) << parsed.out;
    for (const char* want :
         {"From: Mé Sender <me@example.org>\n", "Reply-To: me@example.org\n",
          "To: you@example.org, two@example.org\n", "Cc: cc@example.org\n", "Subject: Archive für dich\n",
          "X-Mailer: Parvex 2000 internal mail client\n", "Body: Hello,\nhere it is."})
        EXPECT_NE(parsed.out.find(want), std::string::npos) << want << "\nin\n" << parsed.out;
    EXPECT_EQ(parsed.out.find("Bcc"), std::string::npos);
    EXPECT_EQ(parsed.out.find("hidden@"), std::string::npos);
    EXPECT_NE(parsed.out.find("Date: "), std::string::npos);
    EXPECT_EQ(readBytes(srv.dir / "attachment"), payload);
}

TEST(SmtpClient, ARefusedConnectionIsReportedAndNothingSucceeds) {
    TSmtpClient c;
    c.Host = "127.0.0.1:" + std::to_string(closedPort());
    bool failed = false, success = false;
    c.OnConnectionFailed = [&](TSmtpClient*) { failed = true; };
    c.OnSuccess = [&](TSmtpClient*) { success = true; };
    TSmtpMessage m;
    m.FromAddress = "me@example.org";
    m.To = "you@example.org";
    std::string error;
    EXPECT_FALSE(c.Send(m, error));
    EXPECT_EQ(error, "Could not connect to mail server, please check your settings!");
    EXPECT_TRUE(failed);
    EXPECT_FALSE(success);
}

TEST(SmtpClient, BadMessagesAreRefusedBeforeConnecting) {
    TempDir work;
    writeFile(work / "empty.zip", "");
    struct Case {
        std::string TSmtpMessage::*field;
        std::string value;
    } cases[] = {
        {&TSmtpMessage::To, "a@b.c\r\nBcc: x@y.z"},
        {&TSmtpMessage::Subject, "hi\nX-Evil: 1"},
        {&TSmtpMessage::Cc, "c@d.e\n"},
        {&TSmtpMessage::Bcc, "c@d.e\r"},
        {&TSmtpMessage::To, ""},
        {&TSmtpMessage::To, "a@b.c> RCPT TO:<x@y.z"},
        {&TSmtpMessage::AttachmentFile, (work / "missing.zip").string()},
        {&TSmtpMessage::AttachmentFile, (work / "empty.zip").string()},
    };
    for (const auto& cs : cases) {
        TSmtpMessage m;
        m.FromAddress = "me@example.org";
        m.To = "you@example.org";
        m.*cs.field = cs.value;
        TSmtpClient c;
        c.Host = "host.invalid"; // never reached: the check comes first
        bool connected = false;
        c.OnConnect = [&](TSmtpClient*, const std::string&) { connected = true; };
        std::string error;
        EXPECT_FALSE(c.Send(m, error)) << cs.value;
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(connected) << cs.value;
    }
}
