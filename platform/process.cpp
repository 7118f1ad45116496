#include "platform/process.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace platform {

int runProgram(const std::vector<std::string>& argv) {
    if (argv.empty()) return 127;
    std::vector<std::string> words = argv;
    std::vector<char*> args;
    for (auto& w : words) args.push_back(w.data());
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return 127;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return 127;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 127;
}

} // namespace platform
