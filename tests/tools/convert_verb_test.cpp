// aetool convert: the integrity records, exit statuses, replacing and adding to an output.
#include <gtest/gtest.h>

#include <algorithm>

#include "env.h"
#include "samples.h"
#include "testutil.h"

using namespace pvtest;

namespace {

RunResult aetoolRun(const std::string& args, const fs::path& cwd = {}) {
    return run(q(aetool().string()) + " " + args, cwd);
}

TEST(ConvertVerb, ConvertsReplacesAddsAndFails) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    writeFile(t / "in" / "top.txt", "top level\n");
    writeFile(t / "in" / "sub" / "inner.txt", sampleText(30000, 2));
    ASSERT_EQ(run("zip -qr ../a.zip top.txt && zip -qr ../b.zip sub", t / "in").status, 0);
    const std::string a = q((t / "a.zip").string()), b = q((t / "b.zip").string());
    const std::string out = q((t / "o.tgz").string());

    RunResult r = aetoolRun("convert " + a + " " + q((t / "o.zip").string()) + " -to zip");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "top.txt\tok\ntotal\t1\t1\t0\n");
    r = aetoolRun("convert " + a + " " + out + " -to tgz");
    EXPECT_EQ(r.status, 0) << r.out;

    r = aetoolRun("convert " + b + " " + out + " -to tgz");
    EXPECT_EQ(r.status, 1) << r.out; // exists: neither replaced nor added to
    r = aetoolRun("convert -add " + b + " " + out + " -to tgz");
    EXPECT_EQ(r.status, 0) << r.out;
    // A .tar.gz is tested as the one tar it holds, named after the output.
    EXPECT_NE(r.out.find("o.tar\tok\ntotal\t1\t1\t0\n"), std::string::npos) << r.out;
    r = aetoolRun("test " + out);
    EXPECT_EQ(r.status, 0) << r.out;
    r = run("tar -tzf " + out);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("top.txt"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("sub/inner.txt"), std::string::npos) << r.out;
    r = aetoolRun("convert " + b + " " + out + " -to tgz -overwrite -nocheck");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("total"), std::string::npos) << r.out;

    // A damaged input: exit 1 and no output.
    std::vector<uint8_t> bytes = readBytes(t / "b.zip");
    bytes[bytes.size() / 3] ^= 0xFF;
    writeBytes(t / "bad.zip", bytes);
    r = aetoolRun("convert " + q((t / "bad.zip").string()) + " " + q((t / "bad.zip.zip").string()) +
                  " -to zip");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_FALSE(fs::exists(t / "bad.zip.zip"));

    for (const std::string& usage :
         {"convert " + a + " x.zip", "convert " + a + " x.zip -to rar", "convert " + a})
        EXPECT_EQ(aetoolRun(usage).status, 2) << usage;
}

// A zip spanned over the disks of an emulated removable drive converts, each disk asked for
// in turn, and the result is a tar.gz that tar reads.
TEST(ConvertVerb, SpannedZipOnRemovableDisksConvertsToTgz) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    Files files;
    for (int i = 0; i < 3; ++i)
        files["r" + std::to_string(i) + ".bin"] = randomBytes(300000, static_cast<uint32_t>(i));
    writeFiles(t / "in", files);
    ASSERT_EQ(run("zip -q ../big.zip r0.bin r1.bin r2.bin", t / "in").status, 0);
    ScopedMedia media(t / "fl", "capacity=400000");
    const std::string set = q((t / "fl" / "big.zip").string());
    RunResult r = aetoolRun("zip-span " + q((t / "big.zip").string()) + " " + set + " -size 400000");
    ASSERT_EQ(r.status, 0) << r.out;
    r = aetoolRun("convert " + set + " " + q((t / "out.tgz").string()) + " -to tgz");
    EXPECT_EQ(r.status, 0) << r.out;
    r = run("tar -tzf " + q((t / "out.tgz").string()));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "r0.bin\nr1.bin\nr2.bin\n");
    fs::create_directories(t / "in2");
    ASSERT_EQ(run("tar -xzf out.tgz -C in2", t.path()).status, 0);
    for (const auto& [name, data] : files) EXPECT_EQ(readBytes(t / "in2" / name), data) << name;
}

// What goes wrong in an entry is said of the entry: never of the private folder of a convert,
// nor of an output path that a test never writes.
TEST(ConvertVerb, ErrorsNameTheEntry) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    writeFile(t / "in" / "text.txt", sampleText(200000, 5));
    ASSERT_EQ(run("zip -q ../a.zip text.txt", t / "in").status, 0);
    std::vector<uint8_t> bytes = readBytes(t / "a.zip");
    for (size_t i = 2000; i < 2100; ++i) bytes[i] ^= 0xA5; // inside the entry's data
    writeBytes(t / "bad.zip", bytes);
    const std::string bad = q((t / "bad.zip").string());
    for (const std::string& args :
         {"convert " + bad + " " + q((t / "o.zip").string()) + " -to zip", "test " + bad}) {
        const RunResult r = aetoolRun(args, t / "in");
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("aetool: text.txt: "), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("/text.txt"), std::string::npos) << r.out;
    }
}

} // namespace
