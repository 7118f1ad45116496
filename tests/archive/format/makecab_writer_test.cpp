// TMakeCAB through the cabinet library stand-in: stored, MSZIP and LZX (windows 15 and 21)
// cabinets of several MB, across 32 KiB blocks and folder boundaries, checked by cabextract,
// 7zz and gcab and read back byte-exact; the property clamps and the parameter record;
// adding to and deleting from an existing cabinet; a refused compression type; a damaged
// cabinet left alone.
#include <gtest/gtest.h>

#include <cstring>

#include "archive/format/aeMakeCab.h"
#include "archive/format/aeUnCAB.h"
#include "bytes.h"
#include "extract_outcome.h"
#include "samples.h"
#include "testutil.h"

using namespace pvtest;

namespace {

struct WriteResult {
    int added = 0;
    std::vector<int> errors;
    std::vector<std::string> messages;
    std::vector<std::pair<std::string, bool>> ends;
};

WriteResult WriteCab(const fs::path& archive, const std::vector<std::string>& specs, TCompressMethod method,
                     int lzx = 21, TSwitch sw = swAdd, bool recurse = true) {
    TMakeCAB w;
    WriteResult r;
    w.OnError = [&](TZipCommon&, const std::string&, const std::string& msg, const std::string&, int code) {
        r.errors.push_back(code);
        r.messages.push_back(msg);
    };
    w.OnEnd = [&](TZipCommon&, const std::string& fn, bool pass) { r.ends.emplace_back(fn, pass); };
    w.SetArchiveFile(archive.string());
    w.SetCompressMethod(method);
    w.SetLzxLevel(lzx);
    w.Switch = sw;
    w.RecurseDirs = recurse;
    w.StoredDirNames = sdRelativeStoreStart;
    w.DeleteOptions = doFinal;
    if (sw == swDelete)
        w.SetFileSpec(specs);
    else
        w.SetFileSpecPaths(specs);
    try {
        r.added = w.Compress();
    } catch (const E_RAISE& e) {
        r.errors.push_back(e.ECode);
    }
    return r;
}

ExtractOutcome ReadBack(const fs::path& archive, const fs::path& out) {
    TUnCAB u;
    ExtractOutcome o;
    o.listen(u);
    o.run(u, archive, out, false);
    return o;
}

struct Method {
    const char* name;
    TCompressMethod method;
    int window;
    bool gcab; // gcab reads stored and MSZIP only
};

class MakeCabPeers : public ::testing::TestWithParam<Method> {};

TEST_P(MakeCabPeers, PeersAcceptItAndItReadsBackByteExact) {
    const Method m = GetParam();
    TempDir t;
    // Sizes at and around the 32 KiB block, and more than the 900,000-byte folder threshold
    // in all, so that the cabinet has several folders and files that cross blocks.
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"empty.bin", {}},
        {"one.bin", {0x42}},
        {"b32767.bin", randomBytes(32767, 1)},
        {"b32768.bin", randomBytes(32768, 2)},
        {"b32769.bin", randomBytes(32769, 3)},
        {"text.txt", bytesOf(sampleText(2500000, 4))},
        {"sub/random.bin", randomBytes(1200000, 5)},
        {"sub/zeros.bin", std::vector<uint8_t>(300000, 0)},
        {"sub/repeat.txt", bytesOf(sampleText(40000, 6) + sampleText(40000, 6) + sampleText(40000, 6))},
    };
    for (const auto& [name, data] : files) writeBytes(t / "src" / name, data);
    const fs::path cab = t / "out.cab";
    const WriteResult w = WriteCab(cab, {(t / "src").string() + "/*"}, m.method, m.window);
    ASSERT_TRUE(w.errors.empty()) << (w.messages.empty() ? "" : w.messages[0]);
    ASSERT_EQ(w.added, static_cast<int>(files.size()));

    if (havePeer("cabextract")) {
        EXPECT_EQ(run("cabextract -t " + q(cab.string())).status, 0);
    }
    if (havePeer("7zz")) {
        EXPECT_EQ(run("7zz t " + q(cab.string())).status, 0);
        ASSERT_EQ(run("7zz x -y -o" + q((t / "7z").string()) + " " + q(cab.string())).status, 0);
        for (const auto& [name, data] : files) EXPECT_EQ(readBytes(t / "7z" / "src" / name), data) << name;
    }
    if (m.gcab && havePeer("gcab")) {
        EXPECT_EQ(run("gcab -t " + q(cab.string())).status, 0);
    }

    const ExtractOutcome o = ReadBack(cab, t / "back");
    EXPECT_FALSE(o.failed());
    for (const auto& [name, data] : files) EXPECT_EQ(readBytes(t / "back" / "src" / name), data) << name;
}

INSTANTIATE_TEST_SUITE_P(Methods, MakeCabPeers,
                         ::testing::Values(Method{"stored", cmStore, 21, true},
                                           Method{"mszip", cmMsZip, 21, true},
                                           Method{"lzx15", cmLzx, 15, false},
                                           Method{"lzx21", cmLzx, 21, false}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(MakeCab, ClampsTypesAndTheParameterRecord) {
    TMakeCAB w;
    EXPECT_EQ(w.CompressMethod(), cmMsZip);
    EXPECT_EQ(w.LzxLevel(), 21);
    struct Clamp {
        void (TMakeCAB::*set)(int);
        int (TMakeCAB::*get)() const;
        int value, expected;
    };
    const Clamp clamps[] = {
        {&TMakeCAB::SetLzxLevel, &TMakeCAB::LzxLevel, 30, 21},
        {&TMakeCAB::SetLzxLevel, &TMakeCAB::LzxLevel, 3, 15},
        {&TMakeCAB::SetQuantumMemory, &TMakeCAB::QuantumMemory, 5, 10},
        {&TMakeCAB::SetQuantumMemory, &TMakeCAB::QuantumMemory, 40, 21},
        {&TMakeCAB::SetQuantumLevel, &TMakeCAB::QuantumLevel, 0, 1},
        {&TMakeCAB::SetQuantumLevel, &TMakeCAB::QuantumLevel, 9, 7},
    };
    for (const Clamp& c : clamps) {
        (w.*c.set)(c.value);
        EXPECT_EQ((w.*c.get)(), c.expected) << c.value;
    }

    w.SetLzxLevel(21);
    w.SetCompressMethod(cmLzx);
    EXPECT_EQ(w.CompressionType(), 5379);
    EXPECT_EQ(w.CompressionName(), "Lzx");
    EXPECT_EQ(w.CompressionCode(), 2);
    w.SetCompressMethod(cmStore);
    EXPECT_EQ(w.CompressionType(), 0);
    w.SetCompressMethod(cmQuantum);
    w.SetQuantumMemory(21);
    w.SetQuantumLevel(7);
    w.QuantumType = ctLzx;
    EXPECT_EQ(w.CompressionType(), 21 * 256 + 7 * 16 + 3);
    EXPECT_EQ(w.CompressionCode(), 2);
    w.SetCompressMethod(cmDeflate); // not a cabinet method: kept as it was
    EXPECT_EQ(w.CompressMethod(), cmQuantum);
    w.SetArcType(atZip);
    EXPECT_EQ(w.ArcType(), atCab);

    const TCCAB p = w.CabParameters("/some/folder/name.cab");
    uint8_t raw[802];
    std::memcpy(raw, &p, sizeof(raw));
    auto le32 = [&](size_t at) {
        return uint32_t{raw[at]} | uint32_t{raw[at + 1]} << 8 | uint32_t{raw[at + 2]} << 16 |
               uint32_t{raw[at + 3]} << 24;
    };
    EXPECT_EQ(le32(0), 0x7FFFFFFFu);
    EXPECT_EQ(le32(4), 900000u);
    EXPECT_EQ(le32(28), 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(raw + 290), "name.cab");
    EXPECT_STREQ(reinterpret_cast<const char*>(raw + 546), "/some/folder/");
    EXPECT_EQ(raw[34], 0);
}

TEST(MakeCab, AddingToAnExistingCabinetKeepsItsEntries) {
    TempDir t;
    writeBytes(t / "one" / "a.txt", bytesOf(sampleText(50000, 1)));
    writeBytes(t / "one" / "b.txt", bytesOf("old b"));
    const fs::path cab = t / "x.cab";
    ASSERT_EQ(WriteCab(cab, {(t / "one").string() + "/*"}, cmMsZip).added, 2);

    writeBytes(t / "two" / "one" / "b.txt", bytesOf("new b"));
    writeBytes(t / "two" / "one" / "c.bin", randomBytes(70000, 2));
    const WriteResult w = WriteCab(cab, {(t / "two" / "one").string() + "/*"}, cmLzx);
    EXPECT_TRUE(w.errors.empty());
    EXPECT_EQ(w.added, 2);

    const ExtractOutcome o = ReadBack(cab, t / "back");
    EXPECT_FALSE(o.failed());
    EXPECT_EQ(filesIn(t / "back" / "one"), (std::vector<std::string>{"a.txt", "b.txt", "c.bin"}));
    EXPECT_EQ(readBytes(t / "back" / "one" / "a.txt"), readBytes(t / "one" / "a.txt"));
    EXPECT_EQ(readBytes(t / "back" / "one" / "b.txt"), bytesOf("new b"));
    EXPECT_EQ(readBytes(t / "back" / "one" / "c.bin"), randomBytes(70000, 2));
    EXPECT_EQ(o.passed(), 3);

    // Deleting writes it again without the matching entries.
    const WriteResult d = WriteCab(cab, {"one/b.txt"}, cmMsZip, 21, swDelete);
    EXPECT_TRUE(d.errors.empty());
    EXPECT_EQ(d.added, 1);
    const ExtractOutcome after = ReadBack(cab, t / "after");
    EXPECT_FALSE(after.failed());
    EXPECT_EQ(filesIn(t / "after" / "one"), (std::vector<std::string>{"a.txt", "c.bin"}));
}

TEST(MakeCab, RefusedTypeOrDamagedCabinetLeavesTheArchiveAlone) {
    TempDir t;
    writeBytes(t / "in" / "f.txt", bytesOf(sampleText(10000, 3)));
    // Quantum itself (type 2) is refused by the library with a clear error; no cabinet is made.
    struct QuantumCab : TMakeCAB {
        uint16_t CompressionType() const override { return 7 * 256 + 4 * 16 + kCabCompQuantum; }
    } q;
    std::vector<std::string> messages;
    q.OnError = [&](TZipCommon&, const std::string&, const std::string& msg, const std::string&, int) {
        messages.push_back(msg);
    };
    q.SetArchiveFile((t / "q.cab").string());
    q.SetFileSpecPaths({(t / "in").string() + "/*"});
    EXPECT_EQ(q.Compress(), 0);
    ASSERT_FALSE(messages.empty());
    EXPECT_NE(messages[0].find("Cabinet error 5 (type 0)"), std::string::npos) << messages[0];
    EXPECT_FALSE(fs::exists(t / "q.cab"));

    // cmQuantum hands over the type QuantumType names: with ctLzx an LZX cabinet.
    const fs::path lzx = t / "ql.cab";
    {
        TMakeCAB w;
        w.SetArchiveFile(lzx.string());
        w.SetCompressMethod(cmQuantum);
        w.QuantumType = ctLzx;
        w.SetQuantumMemory(16);
        w.SetFileSpecPaths({(t / "in").string() + "/*"});
        EXPECT_EQ(w.Compress(), 1);
    }
    const ExtractOutcome back = ReadBack(lzx, t / "ql");
    EXPECT_FALSE(back.failed());
    EXPECT_EQ(readBytes(t / "ql" / "f.txt"), readBytes(t / "in" / "f.txt"));

    // A damaged cabinet: its entries cannot all be read, so it stays as it was.
    const fs::path cab = t / "d.cab";
    ASSERT_EQ(WriteCab(cab, {(t / "in").string() + "/*"}, cmMsZip).added, 1);
    auto bytes = readBytes(cab);
    bytes[bytes.size() - 100] ^= 0x5A;
    writeBytes(cab, bytes);
    writeBytes(t / "more" / "g.txt", bytesOf("g"));
    const WriteResult w = WriteCab(cab, {(t / "more").string() + "/*"}, cmMsZip);
    EXPECT_FALSE(w.errors.empty());
    EXPECT_EQ(w.added, 0);
    EXPECT_EQ(readBytes(cab), bytes);
    for (const auto& e : fs::directory_iterator(t.path()))
        EXPECT_EQ(e.path().extension() == ".tmp", false) << e.path();
}

} // namespace
