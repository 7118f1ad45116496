// TUnLHA against archives written by jlha (every header level with -lh0-, -lh5-, -lh6-),
// -lh1- archives from the test encoder and -lh4- made by relabelling an -lh5- stream (both
// checked by lhasa and unar first), and hostile archives built field by field.
#include <gtest/gtest.h>

#include <algorithm>

#include "archive/format/aeUnLHA.h"
#include "lh1_encoder.h"
#include "extract_outcome.h"
#include "samples.h"
#include "testutil.h"

using namespace pvtest;

namespace {

using Outcome = ExtractOutcome;

Outcome runLha(const fs::path& archive, const fs::path& out, bool test = false, bool overwrite = false) {
    TUnLHA u;
    if (overwrite) {
        u.ConfirmOverwrites = false;
        u.OverwriteMode = omOverwrite;
    }
    Outcome o;
    o.listen(u);
    o.run(u, archive, out, test);
    return o;
}

// ---- archives from jlha, every header level ----

struct PeerCase {
    int level;
    const char* option; // jlha's method option
    const char* method;
};

class UnLhaPeer : public ::testing::TestWithParam<PeerCase> {};

TEST_P(UnLhaPeer, ExtractsAndTestsByteExact) {
    PV_REQUIRE_PEER("jlha");
    PV_REQUIRE_PEER("lhasa");
    const PeerCase c = GetParam();
    TempDir t;
    const Files files = sampleFiles();
    writeFiles(t / "in", files);
    const fs::path arc = t / "x.lzh";
    const std::string cmd =
        "jlha a" + std::to_string(c.level) + c.option + " " + q(arc.string()) + fileList(files);
    ASSERT_EQ(run(cmd, t / "in").status, 0);
    // Trust the fixture only once it is what it should be.
    const auto raw = readBytes(arc);
    ASSERT_GT(raw.size(), 22u);
    EXPECT_EQ(raw[20], c.level);
    const RunResult listing = run("lhasa v " + q(arc.string()));
    ASSERT_NE(listing.out.find(c.method), std::string::npos) << listing.out;

    const Outcome x = runLha(arc, t / "out");
    EXPECT_FALSE(x.failed());
    EXPECT_EQ(x.ends.size(), files.size());
    expectExtracted(t / "out", files, t / "in");

    const Outcome tested = runLha(arc, t / "tested", true);
    EXPECT_FALSE(tested.failed());
    EXPECT_EQ(tested.ends.size(), files.size());
    EXPECT_FALSE(fs::exists(t / "tested")); // a test run creates nothing
}

INSTANTIATE_TEST_SUITE_P(
    UnLhaLevels, UnLhaPeer,
    ::testing::Values(PeerCase{0, "z", "-lh0-"}, PeerCase{1, "z", "-lh0-"}, PeerCase{2, "z", "-lh0-"},
                      PeerCase{0, "o5", "-lh5-"}, PeerCase{1, "o5", "-lh5-"}, PeerCase{2, "o5", "-lh5-"},
                      PeerCase{0, "o6", "-lh6-"}, PeerCase{1, "o6", "-lh6-"}, PeerCase{2, "o6", "-lh6-"}),
    [](const auto& c) {
        return "Level" + std::to_string(c.param.level) + "_" + std::string(c.param.method).substr(1, 3);
    });

// ---- methods no tool here writes: checked by lhasa and unar before we read them ----

void expectPeersAgree(const fs::path& arc, const std::string& name, const std::vector<uint8_t>& data) {
    if (havePeer("lhasa")) {
        const RunResult r = run("lhasa t " + q(arc.string()));
        EXPECT_EQ(r.status, 0) << r.out;
    }
    if (havePeer("unar")) {
        TempDir u;
        const RunResult r = run("unar -q -f -o " + q(u.str()) + " " + q(arc.string()));
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(readBytes(u / name), data);
    }
}

struct Lh1Case {
    const char* label;
    std::vector<uint8_t> data;
    unsigned maxDistance;
};

TEST(UnLhaLh1, DecodesTheTestEncodersArchives) {
    std::vector<Lh1Case> cases;
    // Matches at the very start reach back into the window's initial spaces.
    cases.push_back({"spaces", bytesOf("        eight spaces first, then        again"), 4036});
    // More than 32768 symbols: the tree is rebuilt with halved counts on the way.
    cases.push_back({"rebuild", bytesOf(sampleText(120000, 5)), 600});
    // Noise: nearly all literals, the deepest codes of the tree.
    cases.push_back({"noise", randomBytes(9000, 6), 300});
    for (const Lh1Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir t;
        lh1test::Lh1Encoder enc;
        auto arcBytes = lh1test::level0Entry("-lh1-", "x.bin", c.data, enc.encode(c.data, c.maxDistance));
        arcBytes.push_back(0); // end of archive
        writeBytes(t / "x.lzh", arcBytes);
        expectPeersAgree(t / "x.lzh", "x.bin", c.data);
        const Outcome o = runLha(t / "x.lzh", t / "out");
        EXPECT_FALSE(o.failed());
        EXPECT_EQ(readBytes(t / "out" / "x.bin"), c.data);
    }
}

// -lh4- is -lh5- with a 4 KiB dictionary: the stream of a file under 4 KiB is valid as both.
TEST(UnLhaLh4, DecodesARelabelledLh5Stream) {
    PV_REQUIRE_PEER("jlha");
    // Not a 9-byte name: its level-0 header would start with 0x1F, and with the time stamp in
    // the checksum the peers would now and then take the archive for a gzip or compress file.
    TempDir t;
    const std::vector<uint8_t> data = bytesOf(sampleText(3500, 7));
    writeBytes(t / "in" / "sample.txt", data);
    ASSERT_EQ(run("jlha a0o5 " + q((t / "x.lzh").string()) + " sample.txt", t / "in").status, 0);
    auto raw = readBytes(t / "x.lzh");
    ASSERT_EQ(std::string(raw.begin() + 2, raw.begin() + 7), "-lh5-");
    ASSERT_EQ(raw[20], 0); // level 0: no header CRC extension to mend, only the checksum
    raw[5] = '4';
    uint8_t sum = 0;
    for (size_t i = 2; i < size_t{raw[0]} + 2; ++i) sum = static_cast<uint8_t>(sum + raw[i]);
    raw[1] = sum;
    writeBytes(t / "x.lzh", raw);
    ASSERT_NE(run("lhasa v " + q((t / "x.lzh").string())).out.find("-lh4-"), std::string::npos);
    expectPeersAgree(t / "x.lzh", "sample.txt", data);
    const Outcome o = runLha(t / "x.lzh", t / "out");
    EXPECT_FALSE(o.failed());
    EXPECT_EQ(readBytes(t / "out" / "sample.txt"), data);
}

// ---- entries that produce no file ----

TEST(UnLhaEntries, UnsupportedMethodFailsItsEntryOnly) {
    TempDir t;
    const auto data = bytesOf("stored next to an unknown method");
    auto arc = lh1test::level0Entry("-lh7-", "seven.bin", data, data);
    const auto ok = lh1test::level0Entry("-lh0-", "plain.txt", data, data);
    arc.insert(arc.end(), ok.begin(), ok.end());
    arc.push_back(0);
    writeBytes(t / "x.lzh", arc);
    const Outcome o = runLha(t / "x.lzh", t / "out");
    EXPECT_TRUE(o.hasError(25326)); // "Unsupported compression method"
    ASSERT_EQ(o.ends.size(), 2u);
    EXPECT_FALSE(o.ends[0].second);
    EXPECT_TRUE(o.ends[1].second);
    EXPECT_FALSE(fs::exists(t / "out" / "seven.bin"));
    EXPECT_EQ(readBytes(t / "out" / "plain.txt"), data);
}

TEST(UnLhaEntries, FolderEntriesProduceNoFile) {
    PV_REQUIRE_PEER("jlha");
    TempDir t;
    fs::create_directories(t / "in" / "emptyd");
    writeFile(t / "in" / "sub" / "f.txt", "in a folder");
    ASSERT_EQ(run("jlha a1o5 " + q((t / "x.lzh").string()) + " emptyd sub", t / "in").status, 0);
    ASSERT_NE(run("lhasa v " + q((t / "x.lzh").string())).out.find("-lhd-"), std::string::npos);
    const Outcome o = runLha(t / "x.lzh", t / "out");
    EXPECT_FALSE(o.failed());
    ASSERT_EQ(o.ends.size(), 1u);
    EXPECT_EQ(readFile(t / "out" / "sub" / "f.txt"), "in a folder");
    EXPECT_EQ(countFiles(t / "out"), 1u);
}

TEST(UnLhaEntries, ArchiveStartingWithAZeroByteIsReadFrom128On) {
    TempDir t;
    const auto data = bytesOf("after the gap");
    std::vector<uint8_t> arc(128, 0);
    const auto e = lh1test::level0Entry("-lh0-", "gap.txt", data, data);
    arc.insert(arc.end(), e.begin(), e.end());
    arc.push_back(0);
    writeBytes(t / "x.lzh", arc);
    const Outcome o = runLha(t / "x.lzh", t / "out");
    EXPECT_FALSE(o.failed());
    EXPECT_EQ(readBytes(t / "out" / "gap.txt"), data);
}

// ---- hostile and damaged archives ----

struct HostileCase {
    const char* label;
    std::vector<uint8_t> archive;
    int error;             // expected OnError code, 0 for none
    bool entryFails;       // an OnEnd with CRC_PASS False
    const char* mustExist; // a file that must be written (inside the folder), or nullptr
};

std::vector<uint8_t> withEnd(std::vector<uint8_t> a) {
    a.push_back(0);
    return a;
}

std::vector<HostileCase> hostileCases() {
    const auto data = bytesOf("payload payload payload");
    std::vector<HostileCase> v;
    {
        auto a = lh1test::level0Entry("-lh0-", "n.txt", data, data);
        a[21] = 200; // name length beyond the header
        v.push_back({"name length past the header", withEnd(a), 25110, false, nullptr});
    }
    {
        auto a = lh1test::level0Entry("-lh0-", "n.txt", data, data);
        a[0] = 10; // header size below the fixed part
        v.push_back({"header size below 22", withEnd(a), 25110, false, nullptr});
    }
    {
        auto a = lh1test::level0Entry("-lh0-", "n.txt", data, data);
        a[0] = 0xFF; // header size past the end of the file
        v.push_back({"header size past the end", a, 25110, false, nullptr});
    }
    {
        auto a = lh1test::level0Entry("-lh0-", "n.txt", data, data);
        a.resize(a.size() - 5); // data cut short
        v.push_back({"truncated stored data", a, 25236, true, nullptr});
    }
    {
        auto a = lh1test::level0Entry("-lh0-", "n.txt", data, data);
        a.back() ^= 1; // data no longer match the CRC
        v.push_back({"stored data fail the CRC", withEnd(a), 0, true, nullptr});
    }
    {
        lh1test::Lh1Encoder enc;
        const auto big = bytesOf(sampleText(20000, 8));
        auto a = lh1test::level0Entry("-lh1-", "n.txt", big, enc.encode(big, 500));
        a.resize(a.size() / 2);
        v.push_back({"truncated -lh1- data", a, 25236, true, nullptr});
    }
    {
        // Stored data whose CRC matches but whose stated size is impossible: the entry
        // passes only when the bytes delivered are the size it states.
        auto a = lh1test::level0Entry("-lh0-", "n.txt", data, data);
        for (int i = 0; i < 4; ++i) a[11 + i] = static_cast<uint8_t>(0xFFFFFFF0u >> (8 * i));
        uint8_t sum = 0;
        for (size_t i = 2; i < size_t{a[0]} + 2; ++i) sum = static_cast<uint8_t>(sum + a[i]);
        a[1] = sum;
        v.push_back({"stored size claims more than the data", withEnd(a), 25236, true, nullptr});
    }
    // A refused name is that entry's failure.
    v.push_back({"climbing name", withEnd(lh1test::level0Entry("-lh0-", "../evil.txt", data, data)), 25243,
                 true, nullptr});
    v.push_back({"climbing name with backslashes",
                 withEnd(lh1test::level0Entry("-lh0-", "a\\..\\..\\evil.txt", data, data)), 25243, true,
                 nullptr});
    v.push_back({"absolute name lands inside",
                 withEnd(lh1test::level0Entry("-lh0-", "/abs/inside.txt", data, data)), 0, false,
                 "abs/inside.txt"});
    return v;
}

TEST(UnLhaHostile, ReportsAndWritesNothingOutside) {
    for (const HostileCase& c : hostileCases()) {
        SCOPED_TRACE(c.label);
        TempDir t;
        writeBytes(t / "x.lzh", c.archive);
        const Outcome o = runLha(t / "x.lzh", t / "out" / "dir");
        if (c.error) {
            EXPECT_TRUE(o.hasError(c.error)) << (o.errors.empty() ? 0 : o.errors[0]);
        }
        const bool anyFailed =
            std::any_of(o.ends.begin(), o.ends.end(), [](const auto& e) { return !e.second; });
        EXPECT_EQ(anyFailed, c.entryFails);
        EXPECT_FALSE(fs::exists(t / "out" / "evil.txt"));
        EXPECT_FALSE(fs::exists(t / "evil.txt"));
        if (c.mustExist) {
            EXPECT_EQ(readBytes(t / "out" / "dir" / c.mustExist), bytesOf("payload payload payload"));
            EXPECT_EQ(countFiles(t / "out"), 1u);
        } else {
            EXPECT_EQ(countFiles(t / "out"), 0u); // failed entries leave no partial file
        }
    }
}

TEST(UnLhaHostile, DamagedCompressedStreamsFailWithoutHarm) {
    PV_REQUIRE_PEER("jlha");
    TempDir t;
    const auto data = bytesOf(sampleText(30000, 9));
    writeBytes(t / "in" / "d.txt", data);
    for (const char* opt : {"o5", "o6"}) {
        ASSERT_EQ(
            run(std::string("jlha a0") + opt + " " + q((t / opt).string() + ".lzh") + " d.txt", t / "in")
                .status,
            0);
        const auto good = readBytes(t / (std::string(opt) + ".lzh"));
        const size_t dataStart = size_t{good[0]} + 2; // level 0: the data follow the header
        for (uint32_t seed = 1; seed <= 12; ++seed) {
            SCOPED_TRACE(std::string(opt) + " seed " + std::to_string(seed));
            auto bad = good;
            const auto noise = randomBytes(8, seed);
            for (size_t k = 0; k < noise.size(); ++k)
                bad[dataStart + (noise[k] * 97u + k * 131u + seed * 17u) % (bad.size() - dataStart - 1)] ^=
                    static_cast<uint8_t>(noise[k] | 1);
            writeBytes(t / "bad.lzh", bad);
            writeFile(t / "out" / "d.txt", "keep me");
            const Outcome o = runLha(t / "bad.lzh", t / "out", false, true);
            ASSERT_EQ(o.ends.size(), 1u);
            EXPECT_FALSE(o.ends[0].second);
            EXPECT_EQ(readFile(t / "out" / "d.txt"), "keep me"); // never replaced by a failed entry
        }
    }
}

} // namespace
