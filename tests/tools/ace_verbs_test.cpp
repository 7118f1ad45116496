// aetool extract and aetool test on ACE archives (made by the test writer, checked by
// Debian's unace first): records, stored folders, a volume set, and an entry refused as not
// supported.
#include <gtest/gtest.h>

#include "archive/format/ace_fixtures.h"
#include "bytes.h"
#include "testutil.h"

using namespace pvtest;
using namespace acetest;

TEST(AceVerbs, ExtractAndTestAnArchiveAndAVolumeSet) {
    PV_REQUIRE_PEER("unace");
    TempDir t;
    const Bytes text = mixed(200000, 1), bin = randomBytes(120000, 2);
    save(t.path(), "x", build({{"top.txt", text}, {"sub\\inner.bin", bin, false}}, false, 80000));
    ASSERT_TRUE(fs::exists(t / "x.c00"));
    expectPeerPasses(t / "x.ace", 2);

    RunResult x =
        run(q(aetool().string()) + " extract " + q((t / "x.ace").string()) + " " + q((t / "out").string()));
    EXPECT_EQ(x.status, 0) << x.out;
    EXPECT_NE(x.out.find("top.txt\tok"), std::string::npos) << x.out;
    EXPECT_NE(x.out.find("sub/inner.bin\tok"), std::string::npos) << x.out;
    EXPECT_NE(x.out.find("total\t2\t2\t0"), std::string::npos) << x.out;
    EXPECT_TRUE(readBytes(t / "out" / "top.txt") == text);
    EXPECT_TRUE(readBytes(t / "out" / "sub" / "inner.bin") == bin);

    RunResult v = run(q(aetool().string()) + " test " + q((t / "x.ace").string()));
    EXPECT_EQ(v.status, 0) << v.out;
    EXPECT_NE(v.out.find("total\t2\t2\t0"), std::string::npos) << v.out;
}

TEST(AceVerbs, ARefusedEntryFailsTheRunWithItsReason) {
    TempDir t;
    save(t.path(), "x",
         build({{"secret.txt", bytesOf("hidden"), false, 0x4000}, {"plain.txt", bytesOf("open"), false}}));
    RunResult x =
        run(q(aetool().string()) + " extract " + q((t / "x.ace").string()) + " " + q((t / "out").string()));
    EXPECT_EQ(x.status, 1) << x.out;
    EXPECT_NE(x.out.find("encrypted entries are not supported"), std::string::npos) << x.out;
    EXPECT_EQ(x.out.find("Invalid password"), std::string::npos) << x.out;
    EXPECT_EQ(readBytes(t / "out" / "plain.txt"), bytesOf("open"));
    EXPECT_FALSE(fs::exists(t / "out" / "secret.txt"));
}
