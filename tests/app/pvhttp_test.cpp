// The update check's GET against a local server: body, status, the size cap, refused ports.
#include <gtest/gtest.h>

#include <chrono>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

#include "app/pvHttp.h"
#include "apptest.h"

using namespace pvtest;

extern char** environ;

namespace {

struct HttpServer {
    TempDir root, ctl;
    pid_t pid = -1;
    int port = 0;
    HttpServer() {
        const std::string code =
            "import http.server,functools,socketserver,sys,os\n"
            "h=functools.partial(http.server.SimpleHTTPRequestHandler,directory=sys.argv[1])\n"
            "s=socketserver.TCPServer(('127.0.0.1',0),h)\n"
            "open(sys.argv[2]+'/port.tmp','w').write(str(s.server_address[1]))\n"
            "os.rename(sys.argv[2]+'/port.tmp',sys.argv[2]+'/port')\n"
            "s.serve_forever()\n";
        std::vector<std::string> w = {"/usr/bin/python3", "-c", code, root.str(), ctl.str()};
        std::vector<char*> argv;
        for (auto& s : w) argv.push_back(s.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return;
        for (int i = 0; i < 200 && !std::filesystem::exists(ctl / "port"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (std::filesystem::exists(ctl / "port")) port = std::stoi(readFile(ctl / "port"));
    }
    ~HttpServer() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            int st = 0;
            waitpid(pid, &st, 0);
        }
    }
    std::string url(const std::string& name) const {
        return "http://127.0.0.1:" + std::to_string(port) + "/" + name;
    }
};

} // namespace

TEST(PvHttp, GetsBodiesWithinTheCapOnly) {
    HttpServer srv;
    ASSERT_GT(srv.port, 0) << "the HTTP server did not start";
    writeFile(srv.root / "update.txt", "161");
    writeBytes(srv.root / "big.bin", randomBytes(70000, 3));

    auto ok = HttpGet(srv.url("update.txt"));
    EXPECT_TRUE(ok.ok) << ok.error;
    EXPECT_EQ(ok.status, 200);
    EXPECT_EQ(ok.body, "161");

    auto missing = HttpGet(srv.url("nothing.txt"));
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.status, 404);

    auto big = HttpGet(srv.url("big.bin"));
    EXPECT_FALSE(big.ok);
    EXPECT_EQ(big.body, "");
    EXPECT_EQ(big.error, "The answer was larger than 65536 bytes.");

    EXPECT_FALSE(HttpGet("file:///etc/passwd").ok);
    EXPECT_FALSE(HttpGet("http://127.0.0.1:1/update.txt", 2000).ok);
}
