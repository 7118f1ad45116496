// TBlakHole: no peer reads BH, so our extractor reads back every method with and without a
// password, the header fields are checked byte by byte, and the Fuse stream is shown to be
// the LZH format itself by wrapping it in an -lh5- header that lhasa tests. Damaged archives
// are left alone; a source that changes between the two passes of an encrypted entry fails.
#include "archive/format/aeBlakHole.h"
#include "archive/aeCommon.h"
#include "archive/format/aeBhHeaders.h"
#include "archive/format/aeLha.h"
#include "archive/codec/aeLzhEncode.h"
#include "archive/aeMsgs.h"
#include "archive/format/aeUnBH.h"
#include "support/bytes.h"
#include "support/extract_outcome.h"
#include "support/samples.h"
#include "support/testutil.h"
#include "format/writer_checks.h"

#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace pvtest;
using Bytes = std::vector<uint8_t>;

// Extracts with the password given and no one to ask for another.
void extractAll(const fs::path& archive, const fs::path& out, const std::string& password,
                ExtractOutcome& x) {
    TUnBH u;
    if (!password.empty()) u.Passwords = {password};
    u.OnGetPassword = [](TZipCommon&, const std::string&, std::string&, bool& tryAgain) { tryAgain = false; };
    x.listen(u);
    x.run(u, archive, out, false);
}

using BhRun = WriterRun;

BhRun bhRun(const fs::path& archive, const std::vector<std::string>& specs, TSwitch sw = swAdd,
            TCompressMethod m = cmFuse, const std::string& password = "",
            std::function<void(TBlakHole&)> setup = {}) {
    return writerRun<TBlakHole>(archive, specs, sw, m, [&](TBlakHole& w) {
        w.Password = password;
        if (setup) setup(w);
    });
}

// Every header of the archive, with its name.
std::map<std::string, aehdr::BhHeader> headers(const Bytes& a) {
    std::map<std::string, aehdr::BhHeader> out;
    size_t at = 0;
    while (at + 37 <= a.size()) {
        auto h = aehdr::parseBhHeader(aehdr::Bytes(a.data() + at, 37));
        if (!h) break;
        out[std::string(a.begin() + static_cast<long>(at) + 37,
                        a.begin() + static_cast<long>(at) + 37 + h->nameLength)] = *h;
        at += 37 + h->nameLength + h->commentLength + h->packedSize;
    }
    EXPECT_EQ(at, a.size());
    return out;
}

TEST(BhWriter, OurExtractorReadsEveryMethodWithAndWithoutAPassword) {
    TempDir t;
    const Files files = mixedFiles((2 << 20) + 5);
    writeFiles(t / "in", files);
    const struct {
        TCompressMethod m;
        int method; // of the text file
    } methods[] = {{cmFuse, 1}, {cmDeflate, 8}, {cmStore, 0}};
    for (const auto& mc : methods)
        for (const std::string password : {"", "secret"}) {
            SCOPED_TRACE(std::to_string(mc.method) + " " + password);
            const fs::path a = t / "a.bh";
            fs::remove(a);
            BhRun r = bhRun(a, {(t / "in" / "*").string()}, swAdd, mc.m, password);
            ASSERT_FALSE(r.o.failed()) << r.o.raised;
            EXPECT_EQ(r.count, static_cast<int>(files.size()));

            ExtractOutcome x;
            const fs::path out = t / "out";
            fs::remove_all(out);
            extractAll(a, out, password, x);
            EXPECT_FALSE(x.failed());
            expectExtracted(out, files);

            const auto hs = headers(readBytes(a));
            const uint8_t enc = password.empty() ? 0 : 1;
            const uint32_t extra = password.empty() ? 0 : 12;
            EXPECT_EQ(hs.at("big/text.txt").method, mc.method);
            // Empty files are never encrypted.
            EXPECT_EQ(hs.at("empty.txt").flags, 0);
            EXPECT_EQ(hs.at("empty.txt").packedSize, 0u);
            // Random data are stored, behind one encryption header when encrypted.
            // Coding that gains nothing gives way to storing.
            EXPECT_EQ(hs.at("big/random.bin").method, 0);
            EXPECT_EQ(hs.at("big/random.bin").packedSize, 100000u + extra);
            EXPECT_EQ(hs.at("big/random.bin").flags & 1, enc);
            EXPECT_EQ(hs.at("one.bin").method, 0);
            EXPECT_EQ(hs.at("one.bin").packedSize, 1u + extra);
            for (const auto& [name, h] : hs) {
                EXPECT_EQ(h.versionMadeBy, 3);
                EXPECT_EQ(h.versionNeeded, 14);
                EXPECT_EQ(h.headerLength, 37 + name.size());
            }
        }
}

TEST(BhWriter, DeflateLevelBitsInTheFlags) {
    TempDir t;
    writeFile(t / "in" / "a.txt", sampleText(50000, 1));
    const std::pair<TDeflateType, uint8_t> levels[] = {
        {dtDeflateS, 6}, {dtDeflateF, 4}, {dtDeflateN, 0}, {dtDeflateX, 2}};
    for (const auto& [type, bits] : levels) {
        const fs::path a = t / "a.bh";
        fs::remove(a);
        ASSERT_FALSE(bhRun(a, {(t / "in" / "a.txt").string()}, swAdd, cmDeflate, "", [&](TBlakHole& w) {
                         w.SetDeflateType(type);
                     }).o.failed());
        const auto hs = headers(readBytes(a));
        EXPECT_EQ(hs.at("a.txt").flags, bits);
        EXPECT_EQ(hs.at("a.txt").method, 8);
    }
}

TEST(BhWriter, FuseIsTheLh5StreamThatLhasaTests) {
    PV_REQUIRE_PEER("lhasa");
    TempDir t;
    const std::string text = sampleText(300000, 4);
    const Bytes in(text.begin(), text.end());
    bool incompressible = true;
    const Bytes packed = ae::LzhEncodeBuffer(in, ae::LzhEncodeParams::Fuse(), &incompressible);
    ASSERT_FALSE(incompressible);
    uint16_t crc = 0;
    Crc16Update(in.data(), in.size(), crc);
    Bytes a = TLha::FormatHeader('5', static_cast<uint32_t>(packed.size()), static_cast<uint32_t>(in.size()),
                                 0x5A8A0000, 0x20, "fuse.txt", crc);
    a.insert(a.end(), packed.begin(), packed.end());
    writeBytes(t / "f.lzh", a);
    const RunResult r = run("lhasa t " + q((t / "f.lzh").string()));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(run("lhasa p " + q((t / "f.lzh").string())).out.find(text.substr(0, 100)) != std::string::npos,
              true);
}

TEST(BhWriter, UpdatesKeepAndDropEntries) {
    TempDir t;
    writeFile(t / "in" / "a.txt", sampleText(9000, 1));
    writeFile(t / "in" / "b.txt", sampleText(4000, 2));
    writeFile(t / "new" / "c.txt", "new\n");
    const fs::path a = t / "a.bh";
    ASSERT_FALSE(bhRun(a, {(t / "in" / "*").string()}, swAdd, cmFuse, "pw").o.failed());
    ASSERT_FALSE(bhRun(a, {(t / "new" / "c.txt").string()}, swAdd, cmDeflate).o.failed());
    BhRun d = bhRun(a, {"a.txt"}, swDelete);
    ASSERT_FALSE(d.o.failed());
    EXPECT_EQ(d.count, 1);
    EXPECT_EQ(headers(readBytes(a)).size(), 2u);
    ExtractOutcome x;
    extractAll(a, t / "out", "pw", x);
    EXPECT_FALSE(x.failed());
    EXPECT_EQ(readFile(t / "out" / "b.txt"), sampleText(4000, 2));
    EXPECT_EQ(readFile(t / "out" / "c.txt"), "new\n");
    EXPECT_FALSE(fs::exists(t / "out" / "a.txt"));
}

TEST(BhWriter, DamagedArchivesAreLeftAlone) {
    TempDir t;
    writeDamageSources(t.path());
    const fs::path good = t / "good.bh";
    ASSERT_FALSE(bhRun(good, {(t / "in" / "*").string()}).o.failed());
    const Bytes g = readBytes(good);
    const size_t second = 37 + 5 + aehdr::le32(&g[15]);
    expectDamagedArchivesLeftAlone(t.path(), g, ".bh",
                                   {
                                       {"signature missing mid-file", [&](Bytes& b) { b[second] = 'X'; }},
                                       {"packed size past the end", [&](Bytes& b) { b[second + 18] = 0x7F; }},
                                       {"header cut short", [&](Bytes& b) { b.resize(second + 20); }},
                                   },
                                   [](const fs::path& a, const std::vector<std::string>& specs, TSwitch sw) {
                                       return bhRun(a, specs, sw);
                                   });
}

TEST(BhWriter, ASourceThatChangesBetweenThePassesFails) {
    TempDir t;
    const fs::path src = t / "in" / "a.txt";
    writeFile(src, sampleText(300000, 1));
    writeFile(t / "in" / "b.txt", "stays\n");
    for (TCompressMethod m : {cmFuse, cmStore, cmDeflate}) {
        SCOPED_TRACE(m);
        const fs::path a = t / "a.bh";
        fs::remove(a);
        bool changed = false;
        BhRun r = bhRun(a, {(t / "in" / "*").string()}, swAdd, m, "pw", [&](TBlakHole& w) {
            w.OnProgress = [&](TZipCommon&, uint8_t byFile, uint8_t) {
                if (changed || byFile == 0) return; // 0: before the file's passes start
                // Same size, other bytes at the end: only a second read can see it.
                std::fstream f(src, std::ios::in | std::ios::out | std::ios::binary);
                f.seekp(299990);
                f.write("XXXXXXXXXX", 10);
                changed = true;
            };
        });
        EXPECT_EQ(r.count, 1);
        EXPECT_TRUE(r.o.hasError(kMsgReadError));
        const auto hs = headers(readBytes(a));
        EXPECT_EQ(hs.size(), 1u);
        EXPECT_EQ(hs.count("b.txt"), 1u);
        writeFile(src, sampleText(300000, 1));
    }
}

} // namespace
