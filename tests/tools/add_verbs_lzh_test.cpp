// aetool add and aetool delete with -type lzh and bh (and those types told by the archive's
// name), with every -method each takes: records, exit statuses, archives read back.
#include <gtest/gtest.h>

#include "testutil.h"

using namespace pvtest;

namespace {

RunResult aetoolIn(const fs::path& cwd, const std::string& args) {
    return run(q(aetool().string()) + " " + args, cwd);
}

TEST(AetoolAddLzh, LzhAndBhAddAndDeleteWithEveryMethod) {
    TempDir t;
    writeFile(t / "in" / "a.txt", sampleText(50000, 1));
    writeFile(t / "in" / "sub" / "b.txt", "bee\n");
    writeFile(t / "top.txt", "top\n");
    struct Case {
        std::string archive, options;
    };
    const Case cases[] = {
        {"x.lzh", "-type lzh -method lh5"},
        {"y.lha", "-method lh6"},
        {"z.lzh", "-method store"},
        {"w.lzh", ""},
        {"v.bh", "-method fuse"},
        {"u.bh", "-type bh -method deflate"},
        {"s.bh", "-method store -password pw"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive + " " + c.options);
        RunResult r = aetoolIn(t.path(), "add " + c.archive + " " + c.options + " in top.txt");
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("in/sub/b.txt\tok\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("total\t3\n"), std::string::npos) << r.out;
        const bool bh = c.archive.ends_with(".bh");
        if (!bh && havePeer("lhasa")) {
            EXPECT_EQ(run("lhasa t " + c.archive, t.path()).status, 0);
        }

        r = aetoolIn(t.path(), "delete " + c.archive + " in/sub/b.txt");
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("total\t1\n"), std::string::npos) << r.out;
        fs::remove_all(t / "out");
        r = aetoolIn(t.path(), "extract " + c.archive + " out" + (bh ? " -password pw" : ""));
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(readFile(t / "out" / "in" / "a.txt"), sampleText(50000, 1));
        EXPECT_EQ(readFile(t / "out" / "top.txt"), "top\n");
        EXPECT_FALSE(fs::exists(t / "out" / "in" / "sub" / "b.txt"));
    }
    // A method the format does not have is bad usage.
    EXPECT_EQ(aetoolIn(t.path(), "add q.lzh top.txt -method fuse").status, 2);
    EXPECT_EQ(aetoolIn(t.path(), "add q.bh top.txt -method lh5").status, 2);
    // A damaged archive: exit 1 with the message, the file unchanged.
    writeFile(t / "bad.bh", std::string(100, 'x'));
    const RunResult r = aetoolIn(t.path(), "add bad.bh top.txt");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Bad file header"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(t / "bad.bh"), std::string(100, 'x'));
}

} // namespace
