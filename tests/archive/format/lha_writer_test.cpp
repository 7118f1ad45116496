// TLha: archives that lhasa, jlha and 7zz test and extract byte for byte with every method,
// the level-0 header fields, the one-symbol block forms read by a peer, updates of archives
// jlha made at every header level, the limits of the header, damaged archives left alone and
// sources that change under the writer.
#include "archive/aeCommon.h"
#include "archive/format/aeLha.h"
#include "archive/codec/aeLzhEncode.h"
#include "archive/aeMsgs.h"
#include "archive/format/aeUnLHA.h"
#include "support/bytes.h"
#include "support/extract_outcome.h"
#include "support/samples.h"
#include "support/testutil.h"
#include "format/writer_checks.h"

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace pvtest;
using Bytes = std::vector<uint8_t>;

using LhaRun = WriterRun;

LhaRun lhaRun(const fs::path& archive, const std::vector<std::string>& specs, TSwitch sw = swAdd,
              TCompressMethod m = cmFrozen6, std::function<void(TLha&)> setup = {}) {
    return writerRun<TLha>(archive, specs, sw, m, setup);
}

// "NAME\tMETHOD\tPACKED\tSIZE" for each entry, from lhasa's verbose list.
std::map<std::string, std::string> peerList(const fs::path& a) {
    const RunResult r = run("lhasa v " + q(a.string()));
    std::map<std::string, std::string> out;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        std::istringstream f(line);
        std::string perm, packed, size, ratio, method, crc, mon, day, time, name;
        if (!(f >> perm >> packed >> size >> ratio >> method >> crc >> mon >> day >> time >> name)) continue;
        if (method.size() != 5 || method[0] != '-') continue;
        out[name] = method + " " + packed + " " + size;
    }
    return out;
}

void expectPeersPass(const fs::path& a) {
    for (const char* tool : {"lhasa t", "lha t", "7zz t"}) {
        const std::string prog = std::string(tool).substr(0, std::string(tool).find(' '));
        if (!havePeer(prog)) continue;
        const RunResult r = run(std::string(tool) + " " + q(a.string()));
        EXPECT_EQ(r.status, 0) << tool << ": " << r.out;
    }
}

TEST(LhaWriter, PeersTestAndExtractEveryMethod) {
    PV_REQUIRE_PEER("lhasa");
    TempDir t;
    Files files = mixedFiles((3 << 20) + 77);
    files["packed/x.ZIP"] = bytesOf(sampleText(50000, 3));
    writeFiles(t / "in", files);
    for (const auto& [m, id] :
         {std::pair{cmFrozen5, '5'}, std::pair{cmFrozen6, '6'}, std::pair{cmStore, '0'}}) {
        SCOPED_TRACE(id);
        const fs::path a = t / (std::string("a") + id + ".lzh");
        LhaRun r = lhaRun(a, {(t / "in" / "*").string()}, swAdd, m);
        ASSERT_FALSE(r.o.failed()) << r.o.raised;
        EXPECT_EQ(r.count, static_cast<int>(files.size()));
        expectPeersPass(a);
        const fs::path out = t / (std::string("out") + id);
        fs::create_directories(out);
        ASSERT_EQ(run("lhasa x " + q(a.string()), out).status, 0);
        expectExtracted(out, files);
        if (havePeer("lha")) {
            const fs::path jout = t / (std::string("jout") + id);
            fs::create_directories(jout);
            ASSERT_EQ(run("lha xq " + q(a.string()), jout).status, 0);
            Files jfiles = files;
            // jlha drops the last match of this stream in -lh6- (its own archive of the same
            // file extracts 15 bytes short too); lhasa and 7zz read it whole.
            if (id == '6') jfiles.erase("equal.bin");
            expectExtracted(jout, jfiles);
        }
        // Our own extractor too.
        TUnLHA u;
        ExtractOutcome x;
        x.listen(u);
        x.run(u, a, t / (std::string("own") + id), false);
        EXPECT_FALSE(x.failed());
        expectExtracted(t / (std::string("own") + id), files);

        const auto list = peerList(a);
        const std::string method = std::string("-lh") + id + "-";
        EXPECT_EQ(list.at("empty.txt"), "-lh0- 0 0");
        EXPECT_EQ(list.at("one.bin"), "-lh0- 1 1");
        EXPECT_EQ(list.at("big/random.bin"), "-lh0- 100000 100000"); // incompressible: stored
        EXPECT_EQ(list.at("packed/x.ZIP"), "-lh0- 50000 50000");     // compressed already: stored
        EXPECT_EQ(list.at("big/text.txt").substr(0, 5), method);
        EXPECT_EQ(list.at("equal.bin").substr(0, 5), id == '0' ? "-lh0-" : method);
    }
}

TEST(LhaWriter, LevelZeroHeaderFields) {
    TempDir t;
    writeFile(t / "in" / "empty.txt", "");
    writeFile(t / "in" / "sub" / "abc.txt", sampleText(5000, 2));
    const fs::path a = t / "a.lzh";
    ASSERT_FALSE(lhaRun(a, {(t / "in" / "empty.txt").string()}).o.failed());
    Bytes b = readBytes(a);
    // 24 + n bytes, no data, and nothing after (the archive ends with the entry).
    ASSERT_EQ(b.size(), 24u + 9u);
    EXPECT_EQ(b[0], 22 + 9);
    EXPECT_EQ(std::string(b.begin() + 2, b.begin() + 7), "-lh0-");
    EXPECT_EQ(aehdr::le32(&b[7]), 0u);
    EXPECT_EQ(aehdr::le32(&b[11]), 0u);
    EXPECT_EQ(b[20], 0);
    EXPECT_EQ(b[21], 9);
    EXPECT_EQ(std::string(b.begin() + 22, b.begin() + 31), "empty.txt");
    EXPECT_EQ(aehdr::le16(&b[31]), 0u);
    // The checksum covers bytes 2 to the CRC: not the size byte nor itself.
    uint8_t sum = 0;
    for (size_t i = 2; i < b.size(); ++i) sum = static_cast<uint8_t>(sum + b[i]);
    EXPECT_EQ(b[1], sum);

    const fs::path s = t / "s.lzh";
    ASSERT_FALSE(lhaRun(s, {(t / "in" / "*").string()}).o.failed());
    b = readBytes(s);
    const std::string text = sampleText(5000, 2);
    uint16_t crc = 0;
    Crc16Update(text.data(), text.size(), crc);
    // The folder is written with '\', as DOS tools write level-0 names.
    size_t at = 24 + 9;
    ASSERT_GT(b.size(), at + 24);
    EXPECT_EQ(std::string(b.begin() + at + 22, b.begin() + at + 22 + b[at + 21]), "sub\\abc.txt");
    EXPECT_EQ(std::string(b.begin() + at + 2, b.begin() + at + 7), "-lh6-");
    EXPECT_EQ(aehdr::le16(&b[at + 22 + b[at + 21]]), crc);
    sum = 0;
    for (size_t i = at + 2; i < at + 24 + b[at + 21]; ++i) sum = static_cast<uint8_t>(sum + b[i]);
    EXPECT_EQ(b[at + 1], sum);
    EXPECT_EQ(at + 24 + b[at + 21] + aehdr::le32(&b[at + 7]), b.size());
}

TEST(LhaWriter, OneSymbolBlocksReadByThePeer) {
    PV_REQUIRE_PEER("lhasa");
    // Millions of equal bytes: after the first block every block holds nothing but matches of
    // 256 at distance 1, one literal/length symbol and one position code.
    TempDir t;
    writeBytes(t / "in" / "same.bin", Bytes(3 << 20, 0x5A));
    for (TCompressMethod m : {cmFrozen5, cmFrozen6}) {
        const fs::path a = t / (m == cmFrozen5 ? "a5.lzh" : "a6.lzh");
        ASSERT_FALSE(lhaRun(a, {(t / "in" / "same.bin").string()}, swAdd, m).o.failed());
        expectPeersPass(a);
        const fs::path out = t / (m == cmFrozen5 ? "out5" : "out6");
        fs::create_directories(out);
        ASSERT_EQ(run("lhasa x " + q(a.string()), out).status, 0);
        EXPECT_EQ(readBytes(out / "same.bin"), readBytes(t / "in" / "same.bin"));
    }
}

TEST(LhaWriter, UpdatesKeepEntriesOfEveryHeaderLevel) {
    PV_REQUIRE_PEER("lha");
    PV_REQUIRE_PEER("lhasa");
    TempDir t;
    writeFile(t / "src" / "a.txt", sampleText(20000, 1));
    writeFile(t / "src" / "d" / "b.txt", sampleText(3000, 2));
    writeFile(t / "src" / "gone.txt", "delete me\n");
    writeFile(t / "new" / "c.txt", sampleText(7000, 3));
    for (int level : {0, 1, 2}) {
        SCOPED_TRACE(level);
        const fs::path a = t / ("l" + std::to_string(level) + ".lzh");
        ASSERT_EQ(run("lha a" + std::to_string(level) + "qo5 " + q(a.string()) + " a.txt d/b.txt gone.txt",
                      t / "src")
                      .status,
                  0);
        auto before = peerList(a);
        ASSERT_EQ(before.size(), 3u);
        LhaRun r = lhaRun(a, {(t / "new" / "c.txt").string()});
        ASSERT_FALSE(r.o.failed()) << r.o.raised;
        auto after = peerList(a);
        EXPECT_EQ(after.size(), 4u);
        for (const auto& [name, row] : before) EXPECT_EQ(after[name], row) << name;
        expectPeersPass(a);

        ASSERT_FALSE(lhaRun(a, {"gone.txt"}, swDelete).o.failed());
        after = peerList(a);
        before.erase("gone.txt");
        EXPECT_EQ(after.size(), 3u);
        for (const auto& [name, row] : before) EXPECT_EQ(after[name], row) << name;
        const fs::path out = t / ("out" + std::to_string(level));
        fs::create_directories(out);
        ASSERT_EQ(run("lhasa x " + q(a.string()), out).status, 0);
        EXPECT_EQ(readFile(out / "a.txt"), sampleText(20000, 1));
        EXPECT_EQ(readFile(out / "d" / "b.txt"), sampleText(3000, 2));
        EXPECT_EQ(readFile(out / "c.txt"), sampleText(7000, 3));
    }
}

TEST(LhaWriter, LimitsFailOnlyThatFile) {
    TempDir t;
    const std::string longName = std::string(234, 'n');
    writeFile(t / "in" / longName, "too long a name\n");
    writeFile(t / "in" / std::string(233, 'm'), "just fits\n");
    writeFile(t / "in" / "ok.txt", "fine\n");
    const fs::path a = t / "a.lzh";
    LhaRun r = lhaRun(a, {(t / "in" / "*").string()});
    EXPECT_EQ(r.count, 2);
    EXPECT_TRUE(r.o.hasError(kMsgInvalidName));
    ASSERT_EQ(r.o.ends.size(), 3u);
    for (const auto& [name, pass] : r.o.ends) EXPECT_EQ(pass, name != longName) << name;
    if (havePeer("lhasa")) {
        const auto list = peerList(a);
        EXPECT_EQ(list.size(), 2u);
        expectPeersPass(a);
    }

    // 4 GiB: refused before a byte is read (a sparse file costs nothing).
    const fs::path huge = t / "huge" / "big.bin";
    fs::create_directories(huge.parent_path());
    writeFile(huge, "");
    std::error_code ec;
    fs::resize_file(huge, (uint64_t{1} << 32), ec);
    if (ec) GTEST_SKIP() << "no sparse 4 GiB file here";
    const fs::path h = t / "h.lzh";
    LhaRun big = lhaRun(h, {huge.string()});
    EXPECT_EQ(big.count, 0);
    EXPECT_TRUE(big.o.hasError(kMsgWriteError));
    ASSERT_EQ(big.o.ends.size(), 1u);
    EXPECT_FALSE(big.o.ends[0].second);
}

TEST(LhaWriter, DamagedArchivesAreLeftAlone) {
    TempDir t;
    writeDamageSources(t.path());
    const fs::path good = t / "good.lzh";
    ASSERT_FALSE(lhaRun(good, {(t / "in" / "*").string()}).o.failed());
    const Bytes g = readBytes(good);
    const size_t second = 24 + 5 + aehdr::le32(&g[7]);
    expectDamagedArchivesLeftAlone(
        t.path(), g, ".lzh",
        {
            {"wrong checksum", [&](Bytes& b) { b[second + 1] ^= 0x55; }},
            {"packed size past the end", [&](Bytes& b) { b[second + 10] = 0x7F; }},
            {"header cut short", [&](Bytes& b) { b.resize(second + 10); }},
            {"garbage instead of a header", [&](Bytes& b) { b[second + 3] = 'x'; }},
        },
        [](const fs::path& a, const std::vector<std::string>& specs, TSwitch sw) {
            return lhaRun(a, specs, sw);
        });
}

TEST(LhaWriter, SourcesThatShrinkOrVanishFailAndAMoveKeepsThem) {
    TempDir t;
    writeFile(t / "in" / "a.txt", sampleText(200000, 1));
    writeFile(t / "in" / "b.txt", sampleText(100000, 2));
    writeFile(t / "in" / "c.txt", sampleText(1000, 3));
    for (TCompressMethod m : {cmFrozen5, cmStore}) {
        SCOPED_TRACE(m);
        const fs::path a = t / "a.lzh";
        fs::remove(a);
        LhaRun r = lhaRun(a, {(t / "in" / "*").string()}, swMove, m, [&](TLha& w) {
            w.OnBegin = [&](TZipCommon&, const std::string& name, int, bool&) {
                if (name == "a.txt") fs::resize_file(t / "in" / "a.txt", 150000);
                if (name == "b.txt") fs::remove(t / "in" / "b.txt");
            };
        });
        EXPECT_EQ(r.count, 1);
        EXPECT_TRUE(fs::exists(t / "in" / "a.txt"));
        EXPECT_FALSE(fs::exists(t / "in" / "c.txt"));
        if (havePeer("lhasa")) {
            const auto list = peerList(a);
            EXPECT_EQ(list.size(), 1u);
            EXPECT_EQ(list.count("c.txt"), 1u);
            expectPeersPass(a);
        }
        writeFile(t / "in" / "a.txt", sampleText(200000, 1));
        writeFile(t / "in" / "b.txt", sampleText(100000, 2));
        writeFile(t / "in" / "c.txt", sampleText(1000, 3));
    }
}

} // namespace
