// aetool convert: the integrity records, exit statuses, replacing and adding to an output.
#include <gtest/gtest.h>

#include <algorithm>

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

} // namespace
