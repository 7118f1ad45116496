// Small helpers shared by every test executable: temporary folders, files, running the
// peer tools and aetool, and skipping cleanly when a peer is missing.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace pvtest {

namespace fs = std::filesystem;

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    std::string str() const { return path_.string(); }

private:
    fs::path path_;
};

std::string readFile(const fs::path& p);
std::vector<uint8_t> readBytes(const fs::path& p);
void writeFile(const fs::path& p, const std::string& data); // creates parent folders
void writeBytes(const fs::path& p, const std::vector<uint8_t>& data);

// Deterministic pseudo-random bytes, and compressible text, for test inputs.
std::vector<uint8_t> randomBytes(size_t n, uint32_t seed = 1);
std::string sampleText(size_t n, uint32_t seed = 1);

struct RunResult {
    int status = -1; // exit status, or -1 when the command could not run
    std::string out; // standard output and standard error together
};
// Runs a shell command line; `cwd` empty means the current folder.
RunResult run(const std::string& cmdline, const fs::path& cwd = {});
// Quotes one word for the shell.
std::string q(const std::string& s);

bool havePeer(const std::string& program); // on PATH?
fs::path binDir();                         // folder of the built programs and stand-ins
fs::path aetool();                         // path of the aetool harness
fs::path sourceDir();

} // namespace pvtest

// Skips the current test with a clear message when a peer tool is not installed.
#define PV_REQUIRE_PEER(prog)                                                                                \
    do {                                                                                                     \
        if (!pvtest::havePeer(prog)) GTEST_SKIP() << "peer tool '" << (prog) << "' is not installed";        \
    } while (0)
