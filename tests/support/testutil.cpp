#include "support/testutil.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace pvtest {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/pvtest-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string readFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::vector<uint8_t> readBytes(const fs::path& p) {
    std::string s = readFile(p);
    return std::vector<uint8_t>(s.begin(), s.end());
}

void writeFile(const fs::path& p, const std::string& data) {
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(data.data(), static_cast<std::streamsize>(data.size()));
}

void writeBytes(const fs::path& p, const std::vector<uint8_t>& data) {
    writeFile(p, std::string(data.begin(), data.end()));
}

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

std::string sampleText(size_t n, uint32_t seed) {
    static const char* words[] = {"archive", "entry", "the",  "of",    "header", "deflate", "window",
                                  "parvex",  "zip",   "data", "block", "and",    "file",    "name"};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n) {
        s += words[rng() % (sizeof(words) / sizeof(words[0]))];
        s += (rng() % 11 == 0) ? '\n' : ' ';
    }
    s.resize(n);
    return s;
}

RunResult run(const std::string& cmdline, const fs::path& cwd) {
    RunResult r;
    std::string full = cwd.empty() ? cmdline : "cd " + q(cwd.string()) + " && " + cmdline;
    full = "( " + full + " ) 2>&1 </dev/null";
    FILE* p = popen(full.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string q(const std::string& s) {
    std::string r = "'";
    for (char c : s) {
        if (c == '\'')
            r += "'\\''";
        else
            r += c;
    }
    return r + "'";
}

bool havePeer(const std::string& program) {
    return run("command -v " + q(program) + " >/dev/null").status == 0;
}

fs::path binDir() {
    return PV_BIN_DIR;
}
fs::path aetool() {
    return binDir() / "aetool";
}
fs::path sourceDir() {
    return PV_SOURCE_DIR;
}

} // namespace pvtest
