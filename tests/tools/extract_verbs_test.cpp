// aetool extract and aetool test: exit statuses, records, stored folders, overwrite and
// password options and volume sets, on archives made by jlha and arj.
#include <gtest/gtest.h>

#include <cstdio>

#include "archive/rar_builder.h"
#include "testutil.h"

using namespace pvtest;

namespace {

RunResult aetoolRun(const std::string& args) {
    return run(q(aetool().string()) + " " + args);
}

// Files with a stored folder, archived by jlha (-lh5-) and arj (-m1).
struct Fixture {
    TempDir t;
    std::string text = sampleText(40000, 1);
    Fixture() {
        writeFile(t / "in" / "top.txt", "top level\n");
        writeFile(t / "in" / "sub" / "inner.txt", text);
    }
    fs::path lzh() {
        const fs::path p = t / "x.lzh";
        if (!fs::exists(p)) {
            EXPECT_EQ(run("jlha a2o5 " + q(p.string()) + " top.txt sub/inner.txt", t / "in").status, 0);
        }
        return p;
    }
    fs::path arj(const std::string& opts = "") {
        const fs::path p = t / "x.arj";
        if (!fs::exists(p)) {
            EXPECT_EQ(run("arj a -m1 " + opts + " -y ../x.arj top.txt sub/inner.txt", t / "in").status, 0);
        }
        return p;
    }
    void expectOut(const fs::path& out) {
        EXPECT_EQ(readFile(out / "top.txt"), "top level\n");
        EXPECT_EQ(readFile(out / "sub" / "inner.txt"), text);
    }
};

TEST(ExtractVerb, ExtractsAndTestsLhaAndArj) {
    PV_REQUIRE_PEER("jlha");
    PV_REQUIRE_PEER("arj");
    Fixture f;
    for (const fs::path& arc : {f.lzh(), f.arj()}) {
        SCOPED_TRACE(arc.filename().string());
        const fs::path out = f.t / ("out_" + arc.extension().string().substr(1));
        const RunResult x = aetoolRun("extract " + q(arc.string()) + " " + q(out.string()));
        EXPECT_EQ(x.status, 0) << x.out;
        EXPECT_NE(x.out.find("sub/inner.txt\tok\n"), std::string::npos) << x.out;
        EXPECT_NE(x.out.find("total\t2\t2\t0\n"), std::string::npos) << x.out;
        f.expectOut(out);
        // Options may stand anywhere after the verb.
        const RunResult t = aetoolRun("test " + q(arc.string()));
        EXPECT_EQ(t.status, 0) << t.out;
        EXPECT_NE(t.out.find("total\t2\t2\t0\n"), std::string::npos) << t.out;
    }
}

TEST(ExtractVerb, ExistingFilesAreKeptUnlessOverwrite) {
    PV_REQUIRE_PEER("jlha");
    Fixture f;
    const fs::path out = f.t / "out";
    writeFile(out / "top.txt", "mine");
    RunResult r = aetoolRun("extract " + q(f.lzh().string()) + " " + q(out.string()));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("top.txt\tskipped\n"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(out / "top.txt"), "mine");
    r = aetoolRun("extract -overwrite " + q(f.lzh().string()) + " " + q(out.string()));
    EXPECT_EQ(r.status, 0) << r.out;
    f.expectOut(out);
}

TEST(ExtractVerb, ArjPasswords) {
    PV_REQUIRE_PEER("arj");
    Fixture f;
    const fs::path arc = f.arj("-gsecret");
    const fs::path out = f.t / "out";
    writeFile(out / "sub" / "inner.txt", "keep");
    RunResult r =
        aetoolRun("extract " + q(arc.string()) + " " + q(out.string()) + " -password wrong -overwrite");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Invalid password"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(out / "sub" / "inner.txt"), "keep");
    r = aetoolRun("test " + q(arc.string()));
    EXPECT_EQ(r.status, 1) << r.out; // no password given
    r = aetoolRun("extract " + q(arc.string()) + " " + q(out.string()) + " -overwrite -password secret");
    EXPECT_EQ(r.status, 0) << r.out;
    f.expectOut(out);
}

TEST(ExtractVerb, VolumeSets) {
    PV_REQUIRE_PEER("arj");
    TempDir t;
    const std::string big = sampleText(200000, 9);
    writeFile(t / "in" / "big.txt", big);
    ASSERT_EQ(run("arj a -m1 -v30k -y ../v.arj big.txt", t / "in").status, 0);
    ASSERT_TRUE(fs::exists(t / "v.a01"));
    RunResult r = aetoolRun("extract " + q((t / "v.arj").string()) + " " + q((t / "out").string()));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(readFile(t / "out" / "big.txt"), big);
    fs::remove(t / "v.a01");
    r = aetoolRun("test " + q((t / "v.arj").string()));
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("v.a01"), std::string::npos) << r.out;
}

TEST(ExtractVerb, FailuresAndUsage) {
    PV_REQUIRE_PEER("jlha");
    Fixture f;
    auto raw = readBytes(f.lzh());
    raw[raw.size() - 10] ^= 0x55; // inside the last entry's data
    writeBytes(f.t / "bad.lzh", raw);
    RunResult r = aetoolRun("test " + q((f.t / "bad.lzh").string()));
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("\tfailed\n"), std::string::npos) << r.out;

    // Bad usage.
    const RunResult usage[] = {
        aetoolRun("extract " + q(f.lzh().string())),
        aetoolRun("test " + q(f.lzh().string()) + " -overwrite"),
    };
    for (const RunResult& u : usage) EXPECT_EQ(u.status, 2) << u.out;
}

// A file that is no archive, or one damaged past telling, is said to be that, by its name,
// whatever the verb; the engine's own names for types never show.
TEST(ExtractVerb, NotAnArchiveIsSaidSoWithItsName) {
    TempDir t;
    writeFile(t / "plain.txt", "not an archive at all, only some text");
    const std::string plain = q((t / "plain.txt").string());
    const RunResult runs[] = {
        aetoolRun("extract " + plain + " " + q((t / "o").string())),
        aetoolRun("test " + plain),
        aetoolRun("convert " + plain + " " + q((t / "o.zip").string()) + " -to zip"),
        aetoolRun("delete " + plain + " x"),
    };
    for (const RunResult& r : runs) {
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("not an archive, or damaged: " + (t / "plain.txt").string()), std::string::npos)
            << r.out;
        EXPECT_EQ(r.out.find("atUnknown"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("supported yet"), std::string::npos) << r.out;
    }
    EXPECT_FALSE(fs::exists(t / "o"));
    EXPECT_FALSE(fs::exists(t / "o.zip"));
}

} // namespace

// A zip whose central directory spans several read-ahead windows, with names of many
// lengths so that records straddle every window edge: every entry comes out whole.
TEST(ExtractVerb, ZipWithALargeCentralDirectory) {
    PV_REQUIRE_PEER("python3");
    TempDir t;
    const fs::path zip = t / "many.zip";
    const RunResult made = run("python3 -c " +
                               q("import sys, zipfile\n"
                                 "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                                 "    for i in range(2500):\n"
                                 "        z.writestr('d%02d/%s%05d.txt' % (i % 37, 'n' * (i % 61), i),\n"
                                 "                   ('entry %d ' % i) * (i % 23 + 1))\n") +
                               " " + q(zip.string()));
    ASSERT_EQ(made.status, 0) << made.out;
    ASSERT_GT(fs::file_size(zip), 3u * 65536u);
    const fs::path out = t / "out";
    const RunResult x = aetoolRun("extract " + q(zip.string()) + " " + q(out.string()));
    ASSERT_EQ(x.status, 0) << x.out.substr(0, 2000);
    EXPECT_NE(x.out.find("total\t2500\t2500\t0\n"), std::string::npos) << x.out.substr(x.out.size() - 200);
    for (int i : {0, 1, 60, 61, 1234, 2499}) {
        char name[128];
        std::snprintf(name, sizeof name, "d%02d/%s%05d.txt", i % 37, std::string(size_t(i % 61), 'n').c_str(),
                      i);
        std::string want;
        for (int k = 0; k < i % 23 + 1; ++k) want += "entry " + std::to_string(i) + " ";
        EXPECT_EQ(readFile(out / name), want) << name;
    }
}

// RAR through unrar.dll: a stored archive built here extracts and tests; a volume set is
// followed by the harness's own volume answer.
TEST(ExtractVerb, RarArchivesAndVolumeSets) {
    TempDir t;
    const std::vector<uint8_t> big = randomBytes(300000, 4);
    const std::string text = sampleText(5000, 5);
    std::vector<rarfix::Entry> entries = {{"sub\\a.txt", std::vector<uint8_t>(text.begin(), text.end())},
                                          {"big.bin", big}};
    writeBytes(t / "x.rar", rarfix::archive(entries));
    RunResult r = aetoolRun("extract " + q((t / "x.rar").string()) + " " + q((t / "out").string()));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("sub/a.txt\tok\n"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(t / "out" / "sub" / "a.txt"), text);
    EXPECT_EQ(readBytes(t / "out" / "big.bin"), big);
    r = aetoolRun("test " + q((t / "x.rar").string()));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("total\t2\t2\t0\n"), std::string::npos) << r.out;

    auto vols = rarfix::volumes({entries[1]}, {{{0, 0, 100000}}, {{0, 100000, 200000}}});
    writeBytes(t / "v.rar", vols[0]);
    writeBytes(t / "v.r00", vols[1]);
    r = aetoolRun("extract " + q((t / "v.rar").string()) + " " + q((t / "vout").string()));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(readBytes(t / "vout" / "big.bin"), big);
}
