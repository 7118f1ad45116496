// A process killed while it writes leaves nothing behind: not beside an archive it updates
// (which stays byte for byte as it was), not in the folder it extracts to.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "testutil.h"

using namespace pvtest;

namespace {

std::vector<std::string> namesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Starts aetool with `args` (output discarded), with `temp` as its $TMPDIR when given.
pid_t spawnAetool(const std::vector<std::string>& args, const fs::path& temp = {}) {
    const std::string tool = aetool().string();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!temp.empty()) ::setenv("TMPDIR", temp.c_str(), 1);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 1);
        ::dup2(null, 2);
        std::vector<char*> argv{const_cast<char*>(tool.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(tool.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

// Waits until process `pid` holds a file open in `dir` other than `except`: the output it
// is writing. False when the process ended first or nothing showed within a minute.
bool writingIn(pid_t pid, const fs::path& dir, const fs::path& except) {
    const std::string prefix = fs::canonical(dir).string() + "/";
    const std::string skip = except.empty() ? std::string() : fs::weakly_canonical(except).string();
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (std::chrono::steady_clock::now() < until) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) return false;
        std::error_code ec;
        for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
            std::error_code lec;
            const std::string target = fs::read_symlink(fd.path(), lec).string();
            if (!lec && target.compare(0, prefix.size(), prefix) == 0 && target != skip) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

void killAndReap(pid_t pid, int sig) {
    ::kill(pid, sig);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "status " << status;
}

struct Big {
    TempDir t;
    fs::path input = t / "in" / "big.bin";
    Big() { writeBytes(input, randomBytes(48u << 20, 7)); }
};

TEST(InterruptedRuns, KilledAddLeavesTheArchiveAsItWas) {
    Big b;
    const fs::path box = b.t / "box";
    const fs::path arc = box / "a.zip";
    writeFile(b.t / "small.txt", "already there\n");
    fs::create_directories(box);
    ASSERT_EQ(
        run(q(aetool().string()) + " zip-add " + q(arc.string()) + " " + q((b.t / "small.txt").string()))
            .status,
        0);
    const std::vector<uint8_t> before = readBytes(arc);
    for (const int sig : {SIGKILL, SIGTERM}) {
        SCOPED_TRACE(strsignal(sig));
        const pid_t child = spawnAetool({"zip-add", arc.string(), b.input.string()});
        ASSERT_GT(child, 0);
        ASSERT_TRUE(writingIn(child, box, arc)) << "the add ended before it could be interrupted";
        killAndReap(child, sig);
        EXPECT_EQ(namesIn(box), std::vector<std::string>{"a.zip"});
        EXPECT_EQ(readBytes(arc), before);
    }
}

TEST(InterruptedRuns, KilledExtractLeavesNoPartialFile) {
    Big b;
    const fs::path arc = b.t / "big.zip";
    ASSERT_EQ(
        run(q(aetool().string()) + " zip-add -level 1 " + q(arc.string()) + " " + q(b.input.string())).status,
        0);
    for (const int sig : {SIGKILL, SIGTERM}) {
        SCOPED_TRACE(strsignal(sig));
        const fs::path out = b.t / ("out" + std::to_string(sig));
        fs::create_directories(out);
        const pid_t child = spawnAetool({"extract", arc.string(), out.string()});
        ASSERT_GT(child, 0);
        ASSERT_TRUE(writingIn(child, out, {})) << "the extraction ended before it could be interrupted";
        killAndReap(child, sig);
        // Folders may have been made on the way; no file, whole or partial.
        for (const auto& e : fs::recursive_directory_iterator(out)) EXPECT_TRUE(e.is_directory()) << e.path();
    }
}

} // namespace

namespace {

// The engine's writers: an update's temporary archive and a gzip output have no name until
// they are complete (a named stand-in is removed when the run ends by SIGTERM), so even
// SIGKILL leaves nothing.
TEST(InterruptedRuns, EngineWritersLeaveNothingBehind) {
    Big b;
    const fs::path box = b.t / "box";
    const fs::path arc = box / "e.zip";
    writeFile(b.t / "small.txt", "already there\n");
    fs::create_directories(box);
    ASSERT_EQ(
        run(q(aetool().string()) + " add " + q(arc.string()) + " " + q((b.t / "small.txt").string())).status,
        0);
    const std::vector<uint8_t> before = readBytes(arc);
    {
        const pid_t child = spawnAetool({"add", arc.string(), b.input.string()});
        ASSERT_GT(child, 0);
        ASSERT_TRUE(writingIn(child, box, arc)) << "the add ended before it could be interrupted";
        killAndReap(child, SIGTERM);
        EXPECT_EQ(namesIn(box), std::vector<std::string>{"e.zip"});
        EXPECT_EQ(readBytes(arc), before);
    }
    const fs::path gzBox = b.t / "gz";
    fs::create_directories(gzBox);
    for (const int sig : {SIGKILL, SIGTERM}) {
        SCOPED_TRACE(strsignal(sig));
        const pid_t child = spawnAetool({"add", gzBox.string(), b.input.string(), "-type", "gz"});
        ASSERT_GT(child, 0);
        ASSERT_TRUE(writingIn(child, gzBox, {})) << "the gzip run ended before it could be interrupted";
        killAndReap(child, sig);
        EXPECT_TRUE(namesIn(gzBox).empty()) << namesIn(gzBox).front();
    }
}

} // namespace

namespace {

// Add, delete and convert into every writable type, ended by SIGTERM or SIGKILL once the
// output is being written (at once, or a moment later): the archive is as it was or complete,
// and once the next run is over nothing of ours is left beside it or in $TMPDIR.
TEST(InterruptedRuns, KilledWritersLeaveTheArchiveAndNothingElse) {
    TempDir t;
    const fs::path temp = t / "tmp";
    fs::create_directories(temp);
    writeBytes(t / "in" / "big.bin", randomBytes(6u << 20, 9));
    writeFile(t / "in" / "small.txt", "small\n");
    writeFile(t / "in" / "more.txt", "more\n");
    const std::string tool = q(aetool().string());
    const std::string env = "TMPDIR=" + q(temp.string()) + " ";
    int point = 0;
    for (const std::string type : {"zip", "tar", "tgz", "lzh", "bh", "cab"}) {
        const fs::path box = t / ("box-" + type);
        fs::create_directories(box);
        const fs::path arc = box / ("a." + type);
        const fs::path pristine = t / ("pristine." + type);
        ASSERT_EQ(run(env + tool + " add " + q(pristine.string()) + " " + q((t / "in").string())).status, 0);
        for (const std::string op : {"add", "delete", "convert"}) {
            for (const int sig : {SIGTERM, SIGKILL}) {
                SCOPED_TRACE(type + " " + op + " " + strsignal(sig));
                fs::copy_file(pristine, arc, fs::copy_options::overwrite_existing);
                const std::vector<uint8_t> before = readBytes(arc);
                std::vector<std::string> args{op, arc.string()};
                if (op == "add")
                    args.push_back((t / "in" / "big.bin").string());
                else if (op == "delete")
                    args.push_back("in/small.txt");
                else
                    args.insert(args.end(), {(box / "c.zip").string(), "-to", type == "zip" ? "bh" : "zip"});
                const pid_t child = spawnAetool(args, temp);
                ASSERT_GT(child, 0);
                // False when the run ended (and was reaped) before it could be caught writing.
                const bool caught = writingIn(child, op == "convert" ? temp : box, arc);
                int status = 0;
                if (caught) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(40 * (point++ % 3)));
                    ::kill(child, sig);
                    ASSERT_EQ(::waitpid(child, &status, 0), child);
                }
                // As it was, or (the signal came after the new archive took its place) complete.
                if (!caught || !WIFSIGNALED(status) || op == "convert" || readBytes(arc) != before) {
                    EXPECT_EQ(run(tool + " list " + q(arc.string())).status, 0);
                }
                const auto next =
                    run(env + tool + " add " + q(arc.string()) + " " + q((t / "in" / "more.txt").string()));
                EXPECT_EQ(next.status, 0) << next.out;
                std::vector<std::string> left = namesIn(box);
                std::erase(left, arc.filename().string());
                std::erase(left, "c.zip");
                EXPECT_TRUE(left.empty()) << left.front();
                EXPECT_TRUE(namesIn(temp).empty()) << namesIn(temp).front();
                fs::remove(box / "c.zip");
            }
        }
    }
}

} // namespace
