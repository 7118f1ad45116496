// aetool add and delete with what folders really hold and what disks really do: named pipes,
// folders the user cannot read, a full disk, the archive added to itself, deletes that match
// nothing, and gzip outputs of one name.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "testutil.h"

using namespace pvtest;

namespace {

const char* const kTypes[] = {"zip", "tar", "lzh", "bh", "cab"};

bool contains(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

// `timeout` guards the run: a writer that opened the pipe would wait for ever.
RunResult aetoolIn(const fs::path& cwd, const std::string& args, const std::string& asUser = {}) {
    return run("timeout 120 " + asUser + q(aetool().string()) + " " + args, cwd);
}

std::vector<std::string> namesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A folder with two files (one in a sub-folder) and a named pipe that nobody writes to.
struct PipeBox {
    TempDir t;
    fs::path dir = t / "d";
    PipeBox() {
        writeFile(dir / "a.txt", "alpha\n");
        writeFile(dir / "sub" / "b.txt", "beta\n");
        EXPECT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    }
};

TEST(WriterInputs, NamedPipesAreNamedAndNeverRead) {
    PipeBox b;
    for (const char* type : kTypes) {
        SCOPED_TRACE(type);
        const std::string arc = std::string("x.") + type;
        const auto r = aetoolIn(b.t.path(), "add " + arc + " d");
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_TRUE(contains(r.out, "warning: " + (b.dir / "pipe").string() + " is not a regular file"))
            << r.out;
        const auto list = aetoolIn(b.t.path(), "list " + arc);
        EXPECT_TRUE(contains(list.out, "a.txt") && contains(list.out, "sub/b.txt")) << list.out;
        EXPECT_FALSE(contains(list.out, "pipe")) << list.out;
    }
    // gzip compresses each file on its own: the pipe is named there too.
    fs::create_directories(b.t / "gz");
    const auto r = aetoolIn(b.t.path(), "add gz d -type gz");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "pipe is not a regular file")) << r.out;
    EXPECT_EQ(namesIn(b.t / "gz"), (std::vector<std::string>{"a.txt.gz", "b.txt.gz"}));
}

// As an ordinary user: root reads every folder, so only another user shows the failure.
TEST(WriterInputs, AFolderTheUserCannotReadFailsTheRun) {
    if (::geteuid() != 0 || !havePeer("setpriv")) GTEST_SKIP() << "needs root and setpriv to run as nobody";
    PipeBox b;
    writeFile(b.dir / "locked" / "c.txt", "secret\n");
    for (const auto& e : fs::recursive_directory_iterator(b.t.path()))
        fs::permissions(e.path(), fs::perms::all, fs::perm_options::add);
    fs::permissions(b.t.path(), fs::perms::all, fs::perm_options::add);
    fs::permissions(b.dir / "locked", fs::perms::owner_all, fs::perm_options::replace);
    const std::string nobody = "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
    for (const char* type : kTypes) {
        SCOPED_TRACE(type);
        const std::string arc = std::string("x.") + type;
        const auto r = aetoolIn(b.t.path(), "add " + arc + " d", nobody);
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_TRUE(
            contains(r.out, "cannot open folder " + (b.dir / "locked").string() + ": Permission denied"))
            << r.out;
        // What could be read is in the archive.
        EXPECT_TRUE(contains(aetoolIn(b.t.path(), "list " + arc).out, "sub/b.txt"));
    }
    const auto r = aetoolIn(b.t.path(), "add . d -type gz", nobody);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(contains(r.out, "cannot open folder")) << r.out;
}

// A 2 MB file system: every writer says which file and why, exits 1, and leaves the archive as
// it was and nothing beside it.
TEST(WriterInputs, AFullDiskIsReportedAndLeavesNothingBehind) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a small tmpfs";
    TempDir t;
    const fs::path disk = t / "disk";
    fs::create_directories(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=2m") != 0) GTEST_SKIP() << "cannot mount a tmpfs";
    struct Unmount {
        fs::path p;
        ~Unmount() { ::umount2(p.c_str(), MNT_DETACH); }
    } unmount{disk};
    writeBytes(t / "big.bin", randomBytes(3u << 20, 5));
    writeFile(t / "small.txt", "small\n");
    for (const std::string type : {"zip", "tar", "lzh", "bh", "cab", "tgz"}) {
        SCOPED_TRACE(type);
        const fs::path arc = disk / ("x." + type);
        ASSERT_EQ(aetoolIn(t.path(), "add " + q(arc.string()) + " small.txt").status, 0);
        const auto before = readBytes(arc);
        const auto r = aetoolIn(t.path(), "add " + q(arc.string()) + " big.bin");
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_TRUE(contains(r.out, arc.string())) << r.out;
        EXPECT_TRUE(contains(r.out, "No space left on device")) << r.out;
        EXPECT_EQ(namesIn(disk), std::vector<std::string>{arc.filename().string()});
        EXPECT_EQ(readBytes(arc), before);
        fs::remove(arc);
    }
    const auto r = aetoolIn(t.path(), "add " + q(disk.string()) + " big.bin -type gz");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(
        contains(r.out, (disk / "big.bin.gz").string() + ": Error writing to file (No space left on device)"))
        << r.out;
    EXPECT_TRUE(namesIn(disk).empty());
}

TEST(WriterInputs, NothingDoneIsAFailure) {
    TempDir t;
    writeFile(t / "f.txt", "file\n");
    for (const char* type : kTypes) {
        SCOPED_TRACE(type);
        const std::string arc = std::string("x.") + type;
        ASSERT_EQ(aetoolIn(t.path(), "add " + arc + " f.txt").status, 0);
        const auto self = aetoolIn(t.path(), "add " + arc + " " + arc);
        EXPECT_EQ(self.status, 1) << self.out;
        EXPECT_TRUE(contains(self.out, "is the archive being written: not added to itself")) << self.out;
        const auto none = aetoolIn(t.path(), "delete " + arc + " nothing.txt");
        EXPECT_EQ(none.status, 1) << none.out;
        EXPECT_TRUE(contains(none.out, "total\t0")) << none.out;
    }
}

// A folder that holds the archive: the archive is left out, run after run.
TEST(WriterInputs, AFolderHoldingTheArchiveDoesNotNestIt) {
    TempDir t;
    writeFile(t / "box" / "f.txt", "file\n");
    for (const char* type : kTypes) {
        SCOPED_TRACE(type);
        const std::string arc = std::string("box/x.") + type;
        for (int i = 0; i < 2; ++i) {
            const auto r = aetoolIn(t.path(), "add " + arc + " box");
            EXPECT_EQ(r.status, 0) << r.out;
        }
        const auto list = aetoolIn(t.path(), "list " + arc).out;
        EXPECT_TRUE(contains(list, "f.txt")) << list;
        EXPECT_FALSE(contains(list, std::string("x.") + type + "\t")) << list;
    }
}

TEST(WriterInputs, GzipKeepsTheFirstOutputOfANameAndSearchesFolders) {
    PV_REQUIRE_PEER("gzip");
    TempDir t;
    writeFile(t / "a" / "x.txt", "from a\n");
    writeFile(t / "b" / "x.txt", "from b\n");
    writeFile(t / "tree" / "top.txt", "top\n");
    writeFile(t / "tree" / "deep" / "low.txt", "low\n");
    fs::create_directories(t / "out");

    // Two inputs of one name: the second is skipped and said, the first output stays.
    auto r = aetoolIn(t.path(), "add out a/x.txt b/x.txt -type gz");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(contains(r.out, "skipped")) << r.out;
    EXPECT_EQ(run("gzip -dc out/x.txt.gz", t.path()).out, "from a\n");

    // An archive name that is no folder: the outputs go to its folder.
    r = aetoolIn(t.path(), "add out/any.gz b/x.txt -type gz");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(run("gzip -dc out/x.txt.gz", t.path()).out, "from b\n");
    EXPECT_FALSE(fs::exists(t / "out" / "any.gz"));

    // A folder is searched with its sub-folders.
    r = aetoolIn(t.path(), "add out tree -type gz");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(run("gzip -dc out/low.txt.gz", t.path()).out, "low\n");
    EXPECT_EQ(run("gzip -dc out/top.txt.gz", t.path()).out, "top\n");
}

} // namespace
