// aetool add and aetool delete with -type gz, tar and tgz (and those types told by the
// archive's name): records, exit statuses, and archives the peers read.
#include <gtest/gtest.h>

#include "testutil.h"

using namespace pvtest;

namespace {

RunResult aetoolIn(const fs::path& cwd, const std::string& args) {
    return run(q(aetool().string()) + " " + args, cwd);
}

TEST(AetoolAddTar, TarAndTgzAddAndDelete) {
    PV_REQUIRE_PEER("tar");
    TempDir t;
    writeFile(t / "in" / "a.txt", sampleText(5000, 1));
    writeFile(t / "in" / "sub" / "b.txt", "bee\n");
    writeFile(t / "top.txt", "top\n");
    struct Case {
        std::string archive, type, z;
    };
    for (const Case& c : {Case{"x.tar", "-type tar", ""}, Case{"y.tgz", "-type tgz", "z"},
                          Case{"z.tar", "", ""}, Case{"w.tar.gz", "", "z"}}) {
        SCOPED_TRACE(c.archive);
        RunResult r = aetoolIn(t.path(), "add " + c.archive + " " + c.type + " in top.txt");
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("in/sub/b.txt\tok\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("total\t3\n"), std::string::npos) << r.out;
        EXPECT_EQ(run("tar -t" + c.z + "f " + c.archive, t.path()).out, "in/a.txt\nin/sub/b.txt\ntop.txt\n");

        r = aetoolIn(t.path(), "delete " + c.type + " " + c.archive + " in/sub/b.txt");
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("total\t1\n"), std::string::npos) << r.out;
        EXPECT_EQ(run("tar -t" + c.z + "f " + c.archive, t.path()).out, "in/a.txt\ntop.txt\n");
    }
    // A damaged archive: exit 1 with the message, the file unchanged.
    writeFile(t / "bad.tar", std::string(512, 'x'));
    const RunResult r = aetoolIn(t.path(), "add bad.tar top.txt");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Bad file header"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(t / "bad.tar"), std::string(512, 'x'));
}

TEST(AetoolAddTar, GzipOutputsGoToTheFolder) {
    PV_REQUIRE_PEER("gzip");
    TempDir t;
    writeFile(t / "in" / "a.txt", "alpha\n");
    writeFile(t / "in" / "b.txt", "beta\n");
    fs::create_directories(t / "out");
    writeFile(t / "out" / "b.txt.gz", "old");
    RunResult r = aetoolIn(t.path(), "add -type gz out in/a.txt in/b.txt");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("total\t2\n"), std::string::npos) << r.out;
    EXPECT_EQ(run("gzip -dc out/a.txt.gz", t.path()).out, "alpha\n");
    EXPECT_EQ(run("gzip -dc out/b.txt.gz", t.path()).out, "beta\n");
    r = aetoolIn(t.path(), "add -type gz -move out in");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_FALSE(fs::exists(t / "in" / "a.txt"));
    EXPECT_FALSE(fs::exists(t / "in" / "b.txt"));
    // A gzip file has no entries to delete.
    r = aetoolIn(t.path(), "delete -type gz out a.txt");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Nothing to do"), std::string::npos) << r.out;
}

} // namespace
