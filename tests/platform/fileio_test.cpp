#include "platform/fileio.h"
#include "platform/rename.h"

#include "support/testutil.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

using namespace platform;

TEST(FileIo, SizesAndOffsetsBeyondFourGigabytes) {
    pvtest::TempDir dir;
    const std::string path = (dir / "sparse.bin").string();
    const int fd = openFile(path, OpenMode::Create);
    ASSERT_NE(fd, kInvalidHandle);
    const int64_t far = (int64_t{5} << 30) + 7; // past 2^32: a 32-bit field would wrap
    ASSERT_EQ(seekFile(fd, far), far);
    ASSERT_EQ(writeFile(fd, "xyz", 3), 3);
    EXPECT_EQ(filePosition(fd), far + 3);
    EXPECT_EQ(fileSize(fd), far + 3);
    ASSERT_TRUE(closeFile(fd));
    EXPECT_EQ(fileSize(path), far + 3);

    const int rd = openFile(path, OpenMode::Read);
    ASSERT_NE(rd, kInvalidHandle);
    char buf[8] = {};
    EXPECT_TRUE(readAt(rd, far, buf, 3));
    EXPECT_EQ(std::string(buf, 3), "xyz");
    EXPECT_FALSE(readAt(rd, far + 1, buf, 3)); // only two bytes left
    // Up to a count: what there is, and the position stays where it was.
    ASSERT_EQ(seekFile(rd, 5), 5);
    EXPECT_EQ(readUpToAt(rd, far + 1, buf, 8), 2);
    EXPECT_EQ(std::string(buf, 2), "yz");
    EXPECT_EQ(readUpToAt(rd, far + 3, buf, 8), 0);
    EXPECT_EQ(filePosition(rd), 5);
    ASSERT_EQ(seekFile(rd, -2, SeekFrom::End), far + 1);
    EXPECT_EQ(readFile(rd, buf, 8), 2); // short only at the end
    EXPECT_EQ(readFile(rd, buf, 8), 0);
    closeFile(rd);
}

TEST(FileIo, OpenModes) {
    pvtest::TempDir dir;
    const std::string path = (dir / "a.txt").string();
    EXPECT_EQ(openFile(path, OpenMode::Read), kInvalidHandle);
    int fd = openFile(path, OpenMode::CreateNew);
    ASSERT_NE(fd, kInvalidHandle);
    writeFile(fd, "hello", 5);
    closeFile(fd);
    EXPECT_EQ(openFile(path, OpenMode::CreateNew), kInvalidHandle); // never reuses a name
    fd = openFile(path, OpenMode::OpenAlways);
    EXPECT_EQ(fileSize(fd), 5);
    closeFile(fd);
    fd = openFile(path, OpenMode::Create);
    EXPECT_EQ(fileSize(fd), 0);
    closeFile(fd);
    EXPECT_EQ(openFile(dir.str(), OpenMode::Read), kInvalidHandle); // a folder is no file
    // A write-only handle cannot be read: an error, not an empty read.
    fd = openFile(path, OpenMode::Create);
    char c;
    EXPECT_EQ(readFile(fd, &c, 1), -1);
    closeFile(fd);
}

TEST(FileIo, AttributesMapOntoPermissionsAndNames) {
    pvtest::TempDir dir;
    pvtest::writeFile(dir / "plain.txt", "x");
    pvtest::writeFile(dir / ".hidden", "x");
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_symlink("plain.txt", dir / "link");
    const auto path = [&](const char* n) { return (dir / n).string(); };

    EXPECT_EQ(fileAttributes(path("plain.txt")), uint32_t{faArchive});
    EXPECT_EQ(fileAttributes(path(".hidden")), uint32_t{faArchive | faHidden});
    EXPECT_EQ(fileAttributes(path("sub")), uint32_t{faDirectory});
    EXPECT_TRUE(fileAttributes(path("link")) & faSymLink);
    EXPECT_EQ(fileAttributes(path("missing")), kInvalidAttributes);

    ASSERT_TRUE(setFileAttributes(path("plain.txt"), faReadOnly));
    EXPECT_EQ(fileMode(path("plain.txt")) & 0222, 0);
    EXPECT_TRUE(fileAttributes(path("plain.txt")) & faReadOnly);
    ASSERT_TRUE(setFileAttributes(path("plain.txt"), faArchive));
    EXPECT_NE(fileMode(path("plain.txt")) & 0200, 0);
    EXPECT_FALSE(fileAttributes(path("plain.txt")) & faReadOnly);

    // Write permission comes back where the umask allows it and reading was allowed.
    const mode_t oldMask = ::umask(002);
    ASSERT_TRUE(setFileMode(path("plain.txt"), 0664));
    ASSERT_TRUE(setFileAttributes(path("plain.txt"), faReadOnly));
    EXPECT_EQ(fileMode(path("plain.txt")), 0444);
    ASSERT_TRUE(setFileAttributes(path("plain.txt"), 0));
    EXPECT_EQ(fileMode(path("plain.txt")), 0664);
    // A new file's mode follows the umask in force at the time, not one read before.
    EXPECT_EQ(newFileMode(), 0664);
    ::umask(027);
    EXPECT_EQ(newFileMode(), 0640);
    EXPECT_EQ(newFileMode(0777), 0750);
    ::umask(oldMask);
}

TEST(FileIo, TemporaryFilesAreNewAndDistinct) {
    pvtest::TempDir dir;
    auto a = makeTempFile(dir.str(), "ae", ".tmp");
    auto b = makeTempFile(dir.str(), "ae", ".tmp");
    ASSERT_NE(a.fd, kInvalidHandle);
    ASSERT_NE(b.fd, kInvalidHandle);
    EXPECT_NE(a.path, b.path);
    EXPECT_EQ(a.path.rfind(dir.str() + "/ae", 0), 0u);
    EXPECT_TRUE(a.path.ends_with(".tmp"));
    EXPECT_EQ(fileSize(a.fd), 0);
    closeFile(a.fd);
    closeFile(b.fd);
    const std::string d = makeTempDir(dir.str(), "x");
    EXPECT_TRUE(dirExists(d));
    EXPECT_EQ(makeTempFile(dir.str() + "/missing").fd, kInvalidHandle);
    EXPECT_EQ(systemTempDir().back(), '/');
}

TEST(FileIo, FoldersAndTimes) {
    pvtest::TempDir dir;
    const std::string deep = (dir / "a/b/c").string();
    EXPECT_TRUE(makeDirs(deep + "/"));
    EXPECT_TRUE(dirExists(deep));
    pvtest::writeFile(dir / "a/f.txt", "12345");
    ASSERT_TRUE(setFileTimes((dir / "a/f.txt").string(), 1000000000, 1000000001));
    auto t = fileTimes((dir / "a/f.txt").string());
    ASSERT_TRUE(t);
    EXPECT_EQ(t->lastWrite, 1000000000);
    EXPECT_EQ(t->lastAccess, 1000000001);
    auto list = listDir((dir / "a").string());
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 2u);
    EXPECT_FALSE(listDir((dir / "none").string()));
    EXPECT_TRUE(renameFile((dir / "a/f.txt").string(), (dir / "a/g.txt").string()));
    EXPECT_TRUE(fileExists((dir / "a/g.txt").string()));
    auto data = readWholeFile((dir / "a/g.txt").string());
    ASSERT_TRUE(data);
    EXPECT_EQ(data->size(), 5u);
}

TEST(FileIo, RenameNoReplaceNeverTakesAnExistingName) {
    pvtest::TempDir dir;
    const std::string a = (dir / "a.zip").string(), b = (dir / "b.zip").string(),
                      c = (dir / "c.zip").string();
    pvtest::writeFile(a, "archive");
    pvtest::writeFile(b, "someone else's");
    errno = 0;
    EXPECT_FALSE(renameNoReplace(a, b));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(pvtest::readFile(b), "someone else's");
    EXPECT_EQ(pvtest::readFile(a), "archive");
    ASSERT_TRUE(renameNoReplace(a, c));
    EXPECT_FALSE(pathExists(a));
    EXPECT_EQ(pvtest::readFile(c), "archive");
    EXPECT_FALSE(renameNoReplace((dir / "none").string(), (dir / "d").string()));
    // A dangling symbolic link holds the name too.
    ASSERT_EQ(::symlink("nowhere", (dir / "link").c_str()), 0);
    EXPECT_FALSE(renameNoReplace(c, (dir / "link").string()));
    EXPECT_TRUE(fileExists(c));
}

// ---- files that appear only when finished ----

namespace {

std::vector<std::string> namesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const DirEntry& e : listDir(dir).value_or(std::vector<DirEntry>{})) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
}

struct AllowUnnamed {
    explicit AllowUnnamed(bool allow) { allowUnnamedPendingFiles(allow); }
    ~AllowUnnamed() { allowUnnamedPendingFiles(true); }
};

} // namespace

// Unnamed where the file system allows, named otherwise: either way the file shows up
// only at commit, replaces a file or a symlink (never writing through it), and a discarded
// one leaves nothing.
TEST(PendingFile, AppearsOnlyWhenCommitted) {
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed" : "named stand-in");
        AllowUnnamed mode(unnamed);
        pvtest::TempDir dir;
        const std::string d = dir.str();
        pvtest::writeFile(dir / "elsewhere.txt", "keep me");
        ASSERT_EQ(::symlink((dir / "elsewhere.txt").c_str(), (dir / "link.txt").c_str()), 0);
        pvtest::writeFile(dir / "old.txt", "old");

        for (const std::string target : {"new.txt", "old.txt", "link.txt"}) {
            SCOPED_TRACE(target);
            const std::vector<std::string> before = namesIn(d);
            PendingFile f;
            ASSERT_TRUE(f.create(d, ".t.", ".part")) << std::strerror(errno);
            EXPECT_EQ(f.anonymous(), unnamed);
            ASSERT_EQ(writeFile(f.fd(), "fresh data", 10), 10);
            if (unnamed) {
                EXPECT_EQ(namesIn(d), before);
            }
            // The pending file can be opened again by its path while it is written.
            const int again = openFile(f.reopenPath(), OpenMode::Read);
            ASSERT_NE(again, kInvalidHandle);
            char buf[10];
            EXPECT_TRUE(readAt(again, 0, buf, 10));
            closeFile(again);
            ASSERT_TRUE(f.commit(d + "/" + target)) << std::strerror(errno);
            EXPECT_FALSE(f.isOpen());
            EXPECT_EQ(pvtest::readFile(dir / target), "fresh data");
            EXPECT_FALSE(isSymlink(d + "/" + target));
        }
        EXPECT_EQ(pvtest::readFile(dir / "elsewhere.txt"), "keep me");
        EXPECT_EQ(namesIn(d), (std::vector<std::string>{"elsewhere.txt", "link.txt", "new.txt", "old.txt"}));

        {
            PendingFile f;
            ASSERT_TRUE(f.create(d, ".t.", ".part"));
            writeFile(f.fd(), "x", 1);
        } // discarded by the destructor
        PendingFile f;
        ASSERT_TRUE(f.create(d, ".t.", ".part"));
        f.discard();
        EXPECT_FALSE(f.commit(d + "/late.txt"));
        // A target that cannot take the file fails and leaves nothing behind.
        ASSERT_TRUE(f.create(d, ".t.", ".part"));
        makeDir(d + "/folder");
        EXPECT_FALSE(f.commit(d + "/folder"));
        EXPECT_EQ(namesIn(d),
                  (std::vector<std::string>{"elsewhere.txt", "folder", "link.txt", "new.txt", "old.txt"}));
    }
}

// The named stand-in does not outlive a process ended by SIGTERM, SIGINT or SIGHUP.
TEST(PendingFile, NamedStandInIsRemovedOnTerminatingSignals) {
    AllowUnnamed mode(false);
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        pvtest::TempDir dir;
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            PendingFile f;
            if (!f.create(dir.str(), ".t.", ".part")) ::_exit(3);
            writeFile(f.fd(), "partial", 7);
            (void)!::write(ready[1], "r", 1);
            for (;;) ::pause();
        }
        ::close(ready[1]);
        char c = 0;
        ASSERT_EQ(::read(ready[0], &c, 1), 1);
        ::close(ready[0]);
        EXPECT_EQ(namesIn(dir.str()).size(), 1u); // the stand-in, while the child lives
        ::kill(child, sig);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_TRUE(namesIn(dir.str()).empty());
    }
}

// Folders made for a run go with everything in them when the run ends by a terminating
// signal; what a killed run left (its name carries the process id) the next run removes,
// never what a living process or another program uses.
TEST(TempFiles, FoldersGoOnSignalsAndLeftoversOfDeadProcessesGoLater) {
    pvtest::TempDir dir;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int ticket = -1;
        const std::string made = makeTempDirRemovedOnSignal(dir.str(), "pvx", ticket);
        if (made.empty() || ticket < 0 || !makeDirs(made + "/a/b")) ::_exit(3);
        for (const char* f : {"/top", "/a/one", "/a/b/two"}) writeWholeFile(made + f, "x", 1);
        (void)!::write(ready[1], "r", 1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    const auto names = namesIn(dir.str());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].rfind("pvx" + std::to_string(child) + "-", 0), 0u) << names[0];
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(namesIn(dir.str()).empty());

    // `child` is gone now: its leftovers are stale; ours and other names stay.
    const std::string dead = std::to_string(child), self = std::to_string(::getpid());
    ASSERT_TRUE(makeDirs(dir.str() + "/ae" + dead + "-Ab12Cd/sub"));
    writeWholeFile(dir.str() + "/ae" + dead + "-Ab12Cd/sub/f", "x", 1);
    writeWholeFile(dir.str() + "/.pvtmp" + dead + "-xyz789.tar", "x", 1);
    writeWholeFile(dir.str() + "/ae" + dead + "-Ab12Cd.lst", "x", 1);
    const std::vector<std::string> kept = {".pvtmp" + self + "-abcdef.tmp", "other" + dead + "-abcdef",
                                           "pv" + dead + "-short", "pvnote.txt"};
    for (const auto& k : kept) writeWholeFile(dir.str() + "/" + k, "x", 1);
    removeStaleTemporaries(dir.str());
    auto left = namesIn(dir.str());
    auto expected = kept;
    std::sort(left.begin(), left.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
}

TEST(FileIo, PipesAndDevicesAreNotOpenedAsFiles) {
    pvtest::TempDir dir;
    const std::string pipe = (dir / "pipe").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    // Would block for ever waiting for a writer if it were opened for reading.
    EXPECT_EQ(openFile(pipe, OpenMode::Read), kInvalidHandle);
    EXPECT_EQ(errno, ENOTSUP);
    EXPECT_EQ(openFile("/dev/null", OpenMode::Read), kInvalidHandle);
    EXPECT_TRUE(isSpecialFile(pipe));
    EXPECT_TRUE(isSpecialFile("/dev/null"));
    EXPECT_FALSE(isSpecialFile(dir.str()));
    writeWholeFile(dir.str() + "/f", "x", 1);
    EXPECT_FALSE(isSpecialFile(dir.str() + "/f"));
    const int fd = openFile(dir.str() + "/f", OpenMode::Read);
    ASSERT_NE(fd, kInvalidHandle);
    closeFile(fd);
}
