// aetool uuencode, and aetool extract and test on ARC, ZOO and UU/XX files: records, exit
// statuses and continuation volumes.
#include <gtest/gtest.h>

#include "archive/zoo_encoders.h"
#include "testutil.h"

using namespace pvtest;

namespace {

RunResult aetoolRun(const std::string& args) {
    return run(q(aetool().string()) + " " + args);
}

TEST(UuencodeVerb, PartsAreWrittenAndExtractedBack) {
    TempDir t;
    const std::vector<uint8_t> data = randomBytes(45 * 13 * 3, 4); // three full parts, then "end"
    writeBytes(t / "data.bin", data);
    for (const char* opts : {"-kb 1", "-kb 1 -xx -table"}) {
        SCOPED_TRACE(opts);
        const fs::path out = t / (std::string(opts).find("xx") != std::string::npos ? "x.xxe" : "x.uue");
        const RunResult e =
            aetoolRun("uuencode " + q((t / "data.bin").string()) + " " + q(out.string()) + " " + opts);
        ASSERT_EQ(e.status, 0) << e.out;
        EXPECT_NE(e.out.find("total\t4\n"), std::string::npos) << e.out;
        const fs::path dir = t / ("out_" + out.extension().string().substr(1));
        const RunResult x = aetoolRun("extract " + q(out.string()) + " " + q(dir.string()));
        EXPECT_EQ(x.status, 0) << x.out;
        EXPECT_NE(x.out.find("data.bin\tok\ntotal\t1\t1\t0\n"), std::string::npos) << x.out;
        EXPECT_EQ(readBytes(dir / "data.bin"), data);
    }
    // Without its last part the text never reaches "end".
    fs::remove(t / "x.uu3");
    const RunResult cut = aetoolRun("test " + q((t / "x.uue").string()));
    EXPECT_EQ(cut.status, 1) << cut.out;

    const RunResult usage[] = {aetoolRun("uuencode " + q((t / "data.bin").string())),
                               aetoolRun("uuencode a b -kb many"), aetoolRun("uuencode a b -zz")};
    for (const RunResult& u : usage) EXPECT_EQ(u.status, 2) << u.out;
    const RunResult missing =
        aetoolRun("uuencode " + q((t / "none").string()) + " " + q((t / "n.uue").string()));
    EXPECT_EQ(missing.status, 1) << missing.out;
    EXPECT_FALSE(fs::exists(t / "n.uue"));
}

TEST(ExtractVerb, ArcAndZooArchives) {
    PV_REQUIRE_PEER("arc");
    TempDir t;
    const std::string text = sampleText(300000, 3);
    writeFile(t / "in" / "text.txt", text);
    writeBytes(t / "in" / "noise.bin", randomBytes(5000, 3));
    ASSERT_EQ(run("arc a ../x.arc noise.bin text.txt", t / "in").status, 0);
    const std::vector<uint8_t> lz(text.begin(), text.end());
    zooenc::Entry e{"text.txt", "", "", 1, lz, zooenc::lzw(lz)};
    writeBytes(t / "x.zoo", zooenc::archive({e}));
    for (const char* name : {"x.arc", "x.zoo"}) {
        SCOPED_TRACE(name);
        const RunResult x =
            aetoolRun("extract " + q((t / name).string()) + " " + q((t / "out").string()) + " -overwrite");
        EXPECT_EQ(x.status, 0) << x.out;
        EXPECT_NE(x.out.find("text.txt\tok\n"), std::string::npos) << x.out;
        EXPECT_EQ(readFile(t / "out" / "text.txt"), text);
        const RunResult tested = aetoolRun("test " + q((t / name).string()));
        EXPECT_EQ(tested.status, 0) << tested.out;
    }
}

} // namespace
