// aetool add and aetool delete on zip and jar archives: folders under their own name as
// zip -r stores them, methods, efforts, passwords, moves, deletes, and the exit statuses.
#include <gtest/gtest.h>

#include "platform/fileio.h"
#include "testutil.h"

using namespace pvtest;

namespace {

RunResult aetoolIn(const fs::path& cwd, const std::string& args) {
    return run(q(aetool().string()) + " " + args, cwd);
}

struct Tree {
    TempDir t;
    Tree() {
        writeFile(t / "dir" / "a.txt", sampleText(30000, 1));
        writeFile(t / "dir" / "sub" / "b.txt", sampleText(5000, 2));
        writeBytes(t / "dir" / "sub" / "r.bin", randomBytes(70000, 3));
        writeFile(t / "top.txt", "top\n");
    }
};

TEST(AetoolAdd, FoldersKeepTheirNameAndPeersReadTheArchive) {
    PV_REQUIRE_PEER("unzip");
    Tree tr;
    const auto r = aetoolIn(tr.t.path(), "add x.zip dir top.txt -level X");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("total\t4\n"), std::string::npos) << r.out;
    EXPECT_EQ(run("unzip -Z1 x.zip | sort", tr.t.path()).out,
              "dir/a.txt\ndir/sub/b.txt\ndir/sub/r.bin\ntop.txt\n");
    ASSERT_EQ(run("unzip -q x.zip -d out", tr.t.path()).status, 0);
    EXPECT_EQ(readBytes(tr.t / "out" / "dir" / "sub" / "r.bin"), readBytes(tr.t / "dir" / "sub" / "r.bin"));
    EXPECT_EQ(readFile(tr.t / "out" / "top.txt"), "top\n");
}

TEST(AetoolAdd, MethodsPasswordsAndJars) {
    PV_REQUIRE_PEER("unzip");
    Tree tr;
    ASSERT_EQ(aetoolIn(tr.t.path(), "add -method store s.zip dir").status, 0);
    EXPECT_NE(run("unzip -v s.zip", tr.t.path()).out.find("Stored"), std::string::npos);
    EXPECT_EQ(run("unzip -v s.zip", tr.t.path()).out.find("Defl"), std::string::npos);

    ASSERT_EQ(aetoolIn(tr.t.path(), "add p.zip dir -password 'pass word'").status, 0);
    EXPECT_EQ(run("unzip -tq -P 'pass word' p.zip", tr.t.path()).status, 0);
    EXPECT_NE(run("unzip -tq -P wrong p.zip", tr.t.path()).status, 0);

    ASSERT_EQ(aetoolIn(tr.t.path(), "add lib.jar dir").status, 0);
    ASSERT_EQ(aetoolIn(tr.t.path(), "add -type jar other.zip dir").status, 0);
    if (havePeer("fastjar")) {
        EXPECT_EQ(run("fastjar tf lib.jar | sort", tr.t.path()).out,
                  "dir/a.txt\ndir/sub/b.txt\ndir/sub/r.bin\n");
    }
    EXPECT_EQ(run("unzip -tq lib.jar", tr.t.path()).status, 0);
}

TEST(AetoolAdd, MoveDeletesTheSourcesAndDeleteDropsEntries) {
    PV_REQUIRE_PEER("unzip");
    Tree tr;
    ASSERT_EQ(aetoolIn(tr.t.path(), "add x.zip dir -move").status, 0);
    EXPECT_FALSE(fs::exists(tr.t / "dir" / "a.txt"));
    EXPECT_FALSE(fs::exists(tr.t / "dir" / "sub" / "r.bin"));

    const auto d = aetoolIn(tr.t.path(), "delete x.zip dir/a.txt '*.bin'");
    ASSERT_EQ(d.status, 0) << d.out;
    EXPECT_EQ(d.out, "total\t2\n");
    EXPECT_EQ(run("unzip -Z1 x.zip", tr.t.path()).out, "dir/sub/b.txt\n");
    EXPECT_EQ(run("unzip -tq x.zip", tr.t.path()).status, 0);
}

TEST(AetoolAdd, ExitStatuses) {
    Tree tr;
    struct Case {
        const char* args;
        int status;
    };
    for (const Case& c : {Case{"add", 2}, Case{"add x.zip", 2}, Case{"add x.zip dir -level Q", 2},
                          Case{"add x.zip dir -method lzx", 2}, Case{"add x.gz dir -type nosuch", 2},
                          Case{"add x.unknown dir", 2}, Case{"add x.zip missing.txt", 1},
                          Case{"delete nothing.zip a.txt", 1}}) {
        const auto r = aetoolIn(tr.t.path(), c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
    }
    // A file that is not a zip stays as it was.
    writeFile(tr.t / "bad.zip", sampleText(3000, 9));
    const auto r = aetoolIn(tr.t.path(), "add bad.zip top.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Bad file header"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(tr.t / "bad.zip"), sampleText(3000, 9));
}

TEST(AetoolAdd, AFullDiskLeavesTheArchiveAsItWas) {
    Tree tr;
    ASSERT_EQ(aetoolIn(tr.t.path(), "add x.zip top.txt").status, 0);
    const std::string before = readFile(tr.t / "x.zip");
    writeBytes(tr.t / "big.bin", randomBytes(3000000, 5));
    // Writes past 1000 KiB fail as on a full disk (the signal for it ignored).
    const auto r = run(
        "bash -c " + q("trap '' XFSZ; ulimit -f 1000; exec " + q(aetool().string()) + " add x.zip big.bin"),
        tr.t.path());
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Error writing to file"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(tr.t / "x.zip"), before);
    for (const auto& e : fs::directory_iterator(tr.t.path()))
        EXPECT_EQ(e.path().filename().string().find(".pv"), std::string::npos) << e.path();
}

TEST(AetoolAdd, AKilledRunLeavesNothingBehind) {
    PV_REQUIRE_PEER("unzip");
    Tree tr;
    ASSERT_EQ(aetoolIn(tr.t.path(), "add x.zip top.txt").status, 0);
    const std::string before = readFile(tr.t / "x.zip");
    writeBytes(tr.t / "big.bin", randomBytes(20000000, 6));
    // Killed while it writes (or just after): the archive is the old one or the new one,
    // whole, and no temporary file is left.
    run(q(aetool().string()) + " add x.zip big.bin -level X >/dev/null 2>&1 & sleep 0.5; kill -9 $!; wait",
        tr.t.path());
    const std::string after = readFile(tr.t / "x.zip");
    if (after != before) {
        EXPECT_EQ(run("unzip -tq x.zip", tr.t.path()).status, 0);
    }
    // Only a file without a name survives SIGKILL unseen; elsewhere the stand-in is named.
    platform::PendingFile probe;
    if (!probe.create(tr.t.str()) || !probe.anonymous())
        GTEST_SKIP() << "no unnamed files on this file system";
    probe.discard();
    for (const auto& e : fs::directory_iterator(tr.t.path()))
        EXPECT_EQ(e.path().filename().string().find(".pv"), std::string::npos) << e.path();
}

} // namespace
