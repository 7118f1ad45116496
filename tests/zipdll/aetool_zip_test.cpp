// The aetool verbs over the zip front-end: output records, messages and exit statuses.
#include "common/LittleEndian.h"
#include "ziptest.h"

#include <algorithm>

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

// A set split by zip -s, and one of ours on a fixed drive chosen by its first part: both
// test, extract and join; the joined zips pass unzip -t.
TEST(AetoolZip, SplitSetsTestExtractAndJoin) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("unzip");
    TempDir t;
    writeBytes(t / "in/big.bin", randomBytes(300 * 1000, 3));
    ASSERT_EQ(run("zip -q -X -s 64k ../x.zip big.bin", t / "in").status, 0);
    ASSERT_TRUE(fs::exists(t / "x.z04"));
    auto r = tool("zip-test x.zip", t.path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("tested\t1"), std::string::npos) << r.out;
    r = tool("zip-extract x.zip out", t.path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(readFile(t / "out/big.bin") == readFile(t / "in/big.bin"));
    r = tool("zip-join x.zip j.zip", t.path());
    ASSERT_EQ(r.status, 0) << r.out;
    r = run("unzip -t j.zip", t.path());
    EXPECT_EQ(r.status, 0) << r.out;

    fs::create_directories(t / "set");
    r = tool("zip-span j.zip set/s.zip -size 50000 -minfree 0", t.path());
    ASSERT_EQ(r.status, 0) << r.out;
    ASSERT_TRUE(fs::exists(t / "set/s007.zip"));
    r = tool("zip-join set/s001.zip k.zip", t.path());
    ASSERT_EQ(r.status, 0) << r.out;
    r = run("unzip -t k.zip", t.path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(readFile(t / "k.zip") == readFile(t / "j.zip"));
}

// A zip of 70,000 entries keeps its count in the zip64 end record: it lists, tests and
// extracts; what would have to write zip64 records is refused and leaves it as it was.
TEST(AetoolZip, SeventyThousandEntries) {
    PV_REQUIRE_PEER("python3");
    TempDir t;
    auto r = python("import zipfile\n"
                    "with zipfile.ZipFile('many.zip', 'w') as z:\n"
                    "    for i in range(70000): z.writestr('d%02d/f%05d' % (i // 1000, i), str(i))\n",
                    t.path());
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string before = readFile(t / "many.zip");
    r = tool("zip-list many.zip", t.path());
    ASSERT_EQ(r.status, 0) << r.out.substr(0, 2000);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 70000);
    EXPECT_NE(r.out.find("d69/f69999\t5\t5\t0\t"), std::string::npos);
    r = tool("zip-test many.zip", t.path());
    EXPECT_EQ(r.status, 0) << r.out.substr(0, 2000);
    EXPECT_NE(r.out.find("tested\t70000"), std::string::npos);
    r = tool("zip-extract many.zip out", t.path());
    EXPECT_EQ(r.status, 0) << r.out.substr(0, 2000);
    EXPECT_EQ(readFile(t / "out/d69/f69999"), "69999");
    EXPECT_EQ(readFile(t / "out/d00/f00000"), "0");

    writeFile(t / "a.txt", "a");
    for (const char* refused :
         {"zip-add many.zip a.txt", "zip-rename many.zip d00/f00000 x", "zip-sfx many.zip"}) {
        SCOPED_TRACE(refused);
        r = tool(refused, t.path());
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("ip64"), std::string::npos) << r.out;
    }
    EXPECT_TRUE(readFile(t / "many.zip") == before);
    EXPECT_FALSE(fs::exists(t / "many.exe"));

    // A zip64 end record whose directory lies beyond 4 GiB: refused, saying why.
    std::string huge(56 + 20 + 22, '\0');
    auto* p = reinterpret_cast<uint8_t*>(huge.data());
    pvcommon::PutLE32(p, 0x06064b50);
    pvcommon::PutLE64(p + 4, 44);
    pvcommon::PutLE64(p + 48, 5ull << 30);
    pvcommon::PutLE32(p + 56, 0x07064b50);
    pvcommon::PutLE32(p + 56 + 16, 1);
    pvcommon::PutLE32(p + 76, 0x06054b50);
    pvcommon::PutLE16(p + 76 + 8, 0xFFFF);
    pvcommon::PutLE16(p + 76 + 10, 0xFFFF);
    pvcommon::PutLE32(p + 76 + 16, 0xFFFFFFFF);
    writeFile(t / "huge.zip", huge);
    r = tool("zip-list huge.zip", t.path());
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("over 4 GiB are not supported"), std::string::npos) << r.out;
}
