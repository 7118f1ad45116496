// Starting another program: found on PATH, given its arguments as a list (never a shell).
#pragma once
#include <string>
#include <vector>

namespace platform {

// Runs `argv[0]` with `argv` and waits for it: its exit status, 128 + the signal when it was
// killed, 127 when it could not be started.
int runProgram(const std::vector<std::string>& argv);

} // namespace platform
