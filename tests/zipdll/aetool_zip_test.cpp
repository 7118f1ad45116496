// The aetool verbs over the zip front-end: output records, messages and exit statuses.
#include "ziptest.h"

#include <sys/stat.h>

using namespace pvtest;
using namespace ziptest;

namespace {
RunResult tool(const std::string& args, const fs::path& cwd = {}) {
    return run(q(aetool().string()) + " " + args, cwd);
}
} // namespace

TEST(AetoolZip, AddListTestExtractDelete) {
    PV_REQUIRE_PEER("unzip");
    TempDir t;
    writeFile(t / "in/a.txt", sampleText(9000));
    writeFile(t / "in/sub/b.txt", "bee\n");
    auto r = tool("zip-add " + q((t / "z.zip").string()) + " -level 6 -recurse in", t.path());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("added\t2"), std::string::npos) << r.out;

    r = tool("zip-list " + q((t / "z.zip").string()));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("in/a.txt\t9000\t"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("in/sub/b.txt\t4\t"), std::string::npos) << r.out;

    EXPECT_EQ(tool("zip-test " + q((t / "z.zip").string())).status, 0);
    r = tool("zip-extract " + q((t / "z.zip").string()) + " " + q((t / "out").string()));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(tree(t / "out/in"), tree(t / "in"));
    // Everything came out: no warning that something might not have.
    EXPECT_EQ(r.out.find("possible not all files extracted"), std::string::npos) << r.out;
    r = tool("zip-extract -nopaths " + q((t / "z.zip").string()) + " " + q((t / "flat").string()));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(tree(t / "flat"),
              (std::map<std::string, std::string>{{"a.txt", readFile(t / "in/a.txt")}, {"b.txt", "bee\n"}}));

    r = tool("zip-delete " + q((t / "z.zip").string()) + " in/sub/*");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(run("unzip -Z1 " + q((t / "z.zip").string())).out, "in/a.txt\n");
    EXPECT_EQ(tool("zip-delete " + q((t / "z.zip").string()) + " nothing.here").status, 1);
}

TEST(AetoolZip, PasswordsAndFailures) {
    TempDir t;
    writeFile(t / "s.txt", "secret text\n");
    ASSERT_EQ(tool("zip-add e.zip -password pw s.txt", t.path()).status, 0);
    EXPECT_EQ(tool("zip-test e.zip -password pw", t.path()).status, 0);
    auto r = tool("zip-extract e.zip out -password nope", t.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error - no extract password given"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::is_empty(t / "out"));
    EXPECT_EQ(tool("zip-test e.zip", t.path()).status, 1);
    // Without a password, which nobody can be asked for: the entry stays behind, and the
    // warning says so.
    r = tool("zip-extract e.zip out", t.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Warning - Unattended Extract: possible not all files extracted"), std::string::npos)
        << r.out;
    EXPECT_TRUE(fs::is_empty(t / "out"));
    r = tool("zip-extract -password pw e.zip out", t.path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(readFile(t / "out/s.txt"), "secret text\n");

    r = tool("zip-list missing.zip", t.path());
    EXPECT_EQ(r.status, 1);
    writeFile(t / "junk.zip", sampleText(300));
    r = tool("zip-list junk.zip", t.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("This archive is not a valid Zip archive"), std::string::npos) << r.out;
    EXPECT_EQ(tool("zip-add only.zip", t.path()).status, 2);
    EXPECT_EQ(tool("zip-add x.zip -level 12 s.txt", t.path()).status, 2);
}

// Self-extractors, spanned sets and renaming from the harness.
TEST(AetoolZip, SfxSpanJoinRename) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("unzip");
    TempDir t;
    writeFile(t / "in/a.txt", sampleText(30000));
    writeBytes(t / "in/r.bin", randomBytes(90000));
    ASSERT_EQ(run("zip -qr -X ../z.zip .", t / "in").status, 0);
    const std::string zipBytes = readFile(t / "z.zip");

    struct stat before {
    }, after{};
    ASSERT_EQ(stat((t / "z.zip").c_str(), &before), 0);
    auto r = tool("zip-sfx " + q((t / "z.zip").string()) + " -caption Hi -dir C:\\\\Temp");
    ASSERT_EQ(r.status, 0) << r.out;
    // The input is never deleted, truncated or written again: the same file, unchanged.
    ASSERT_EQ(stat((t / "z.zip").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_TRUE(readFile(t / "z.zip") == zipBytes) << "the input stays";
    EXPECT_EQ(run("unzip -tq " + q((t / "z.exe").string())).status, 0);
    fs::remove(t / "z.zip");
    r = tool("zip-unsfx " + q((t / "z.exe").string()));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("caption\tHi\ndir\tC:\\Temp\n"), std::string::npos) << r.out;
    EXPECT_TRUE(readFile(t / "z.zip") == zipBytes);
    EXPECT_EQ(run(q((t / "z.exe").string()) + " -d " + q((t / "sfxout").string()) + " </dev/null").status, 0);
    EXPECT_EQ(tree(t / "sfxout"), tree(t / "in"));

    fs::create_directories(t / "set");
    r = tool("zip-span " + q((t / "z.zip").string()) + " " + q((t / "set/s.zip").string()) +
             " -size 65536 -keepfree 1000");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(fs::exists(t / "set/s002.zip"));
    EXPECT_FALSE(fs::exists(t / "set/s003.zip"));
    r = tool("zip-join " + q((t / "set/s002.zip").string()) + " " + q((t / "j.zip").string()));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(readFile(t / "j.zip") == zipBytes);
    // Spanning again over the parts is refused without -overwrite.
    r = tool("zip-span " + q((t / "z.zip").string()) + " " + q((t / "set/s.zip").string()) + " -size 65536");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(tool("zip-span " + q((t / "z.zip").string()) + " x").status, 2);
    // A part smaller than the free space asked for: the part's size is all it needs.
    fs::create_directories(t / "small");
    r = tool("zip-span " + q((t / "z.zip").string()) + " " + q((t / "small/s.zip").string()) +
             " -size 50000 -minfree 65536");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(fs::file_size(t / "small/s001.zip"), 50000u);
    EXPECT_TRUE(fs::exists(t / "small/s002.zip"));

    r = tool("zip-rename " + q((t / "j.zip").string()) + " a.txt b/c.txt -date 2001-02-03");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string listed = run("unzip -Z1 " + q((t / "j.zip").string())).out;
    EXPECT_TRUE(listed == "b/c.txt\nr.bin\n" || listed == "r.bin\nb/c.txt\n") << listed;
    EXPECT_EQ(run("unzip -tq " + q((t / "j.zip").string())).status, 0);
    r = tool("zip-rename " + q((t / "j.zip").string()) + " r.bin b/c.txt");
    EXPECT_EQ(r.status, 1) << r.out;

    // Through a symbolic link: the archive it leads to changes, the link stays a link.
    fs::create_symlink("j.zip", t / "link.zip");
    r = tool("zip-rename " + q((t / "link.zip").string()) + " r.bin s.bin");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(fs::is_symlink(t / "link.zip"));
    EXPECT_EQ(fs::read_symlink(t / "link.zip"), "j.zip");
    EXPECT_NE(run("unzip -Z1 " + q((t / "j.zip").string())).out.find("s.bin\n"), std::string::npos);
    // A source that matches nothing is a failure, said as it is.
    r = tool("zip-rename " + q((t / "j.zip").string()) + " none.txt x.txt");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("No entry of the archive matches \"none.txt\""), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("UnKnown error"), std::string::npos) << r.out;

    // -move: the input goes, once the self-extractor is complete.
    r = tool("zip-sfx " + q((t / "j.zip").string()) + " -move");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_FALSE(fs::exists(t / "j.zip"));
    EXPECT_EQ(run("unzip -tq " + q((t / "j.exe").string())).status, 0);
}
