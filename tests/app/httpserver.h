// A web server on 127.0.0.1 (a free port) serving the files of its own folder, run by
// Debian's python3, for the HTTP client's tests.
#pragma once
#include <chrono>
#include <filesystem>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "support/testutil.h"

extern char** environ;

namespace pvtest {

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
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;
    std::string url(const std::string& name) const {
        return "http://127.0.0.1:" + std::to_string(port) + "/" + name;
    }
};

} // namespace pvtest
