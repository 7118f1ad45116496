// TUnARC against archives written by arc (stored, crunched, squashed) and against archives
// built here record by record for the methods arc no longer writes and for the PAK folder
// records, each first accepted by an independent reader; then damaged archives.
#include <gtest/gtest.h>

#include "arc_encoders.h"
#include "format/extract_checks.h"
#include "archive/codec/aeLzwDecode.h"
#include "archive/format/aeRle90.h"
#include "archive/format/aeSqueeze.h"
#include "archive/format/aeUnARC.h"
#include "extract_outcome.h"
#include "lister_util.h"
#include "samples.h"
#include "testutil.h"

using namespace pvtest;
using arcenc::Bytes;

namespace {

ExtractOutcome runArc(const fs::path& archive, const fs::path& out, bool test = false) {
    return runExtractor<TUnARC>(archive, out, test);
}

// Text with long runs (including runs of the 0x90 marker) and repeats, `n` bytes.
Bytes runText(size_t n, uint32_t seed) {
    std::string s = sampleText(n, seed);
    for (size_t i = 0; i + 600 < s.size(); i += 5000) {
        s.replace(i, 300, std::string(300, static_cast<char>(0x90)));
        s.replace(i + 300, 300, std::string(300, 'z'));
    }
    return {s.begin(), s.end()};
}

// An archive built here is used only when an independent reader accepts it first.
void expectPeerAccepts(const fs::path& archive) {
    const bool nomarch = havePeer("nomarch"), lsar = havePeer("lsar");
    if (!nomarch && !lsar) GTEST_SKIP() << "peer tools 'nomarch' and 'lsar' are not installed";
    std::string said;
    if (nomarch) {
        const RunResult r = run("nomarch -t " + q(archive.string()));
        if (r.status == 0) return;
        said += r.out;
    }
    if (lsar) {
        const RunResult r = run("lsar -t " + q(archive.string()));
        if (r.status == 0 && r.out.find("0 failed") != std::string::npos) return;
        said += r.out;
    }
    FAIL() << "no peer accepts " << archive << ":\n" << said;
}

// ---- archives written by arc ----

// arc a chooses stored for noise and crunch (12 bits) for the rest; arc aq squashes (13
// bits). The text is large enough to fill the table and clear it several times.
TEST(UnArcPeer, ArcMadeArchivesExtractAndTestByteExact) {
    PV_REQUIRE_PEER("arc");
    TempDir t;
    Files files;
    files["noise.bin"] = randomBytes(300000, 5);
    const std::string text = sampleText(2500000, 6);
    files["text.txt"] = {text.begin(), text.end()};
    files["zeros.bin"] = std::vector<uint8_t>(2000000, 0);
    files["small.txt"] = {'s', 'm', 'a', 'l', 'l'};
    writeFiles(t / "in", files);
    for (const char* cmd : {"a", "aq"}) {
        SCOPED_TRACE(cmd);
        const std::string name = std::string(cmd) + ".arc";
        // noise.bin first: a stored entry makes the file recognisable as ARC.
        const RunResult r = run(
            std::string("arc ") + cmd + " ../" + name + " noise.bin text.txt zeros.bin small.txt", t / "in");
        ASSERT_EQ(r.status, 0) << r.out;
        const fs::path out = t / (std::string("out_") + cmd);
        const ExtractOutcome x = runArc(t / name, out);
        EXPECT_FALSE(x.failed());
        EXPECT_EQ(x.ends.size(), files.size());
        expectExtracted(out, files, t / "in");
        const ExtractOutcome tested = runArc(t / name, t / "tested", true);
        EXPECT_FALSE(tested.failed());
        EXPECT_EQ(tested.passed(), static_cast<int>(files.size()));
        EXPECT_FALSE(fs::exists(t / "tested"));
    }
}

// ---- methods from the test encoders ----

class UnArcMethod : public ::testing::TestWithParam<int> {};

TEST_P(UnArcMethod, ExtractsAndTestsByteExact) {
    const int m = GetParam();
    TempDir t;
    // Sizes around the 32 KiB buffers, and one large enough to fill a crunch table.
    const std::vector<Bytes> inputs = {Bytes{}, Bytes{'x'}, runText(32767, 1), runText(32769, 2),
                                       runText(1500000, 3)};
    arcenc::Archive a;
    std::vector<std::pair<std::string, Bytes>> want = {{"first.txt", {'h', 'i'}}};
    a.entry(2, "first.txt", {'h', 'i'}); // a stored first entry marks the file as ARC
    for (size_t i = 0; i < inputs.size(); ++i) {
        want.emplace_back("f" + std::to_string(i) + ".dat", inputs[i]);
        a.entry(m, want.back().first, inputs[i]);
    }
    writeBytes(t / "x.arc", a.finish());
    expectPeerAccepts(t / "x.arc");
    if (HasFatalFailure() || IsSkipped()) return;

    expectExtractsAndTestsByteExact(runArc, t / "x.arc", t.path(), want);
}

INSTANTIATE_TEST_SUITE_P(UnArcMethods, UnArcMethod, ::testing::Values(1, 3, 4, 5, 6, 7),
                         [](const auto& c) { return "m" + std::to_string(c.param); });

// A PAK folder record opens a folder for the entries up to its end record.
TEST(UnArcFolders, PakFolderRecordsPlaceEntriesInTheirFolders) {
    TempDir t;
    arcenc::Archive a;
    a.entry(2, "first.txt", {'1'});
    a.folder("SUB");
    a.entry(4, "in.txt", runText(40000, 7));
    a.folder("DEEP");
    a.entry(2, "deep.txt", {'d'});
    a.folderEnd();
    a.folderEnd();
    a.entry(2, "after.txt", {'a'});
    writeBytes(t / "x.arc", a.finish());
    expectPeerAccepts(t / "x.arc");
    if (HasFatalFailure() || IsSkipped()) return;

    const ExtractOutcome x = runArc(t / "x.arc", t / "out");
    EXPECT_FALSE(x.failed());
    EXPECT_EQ(filesIn(t / "out"),
              (std::vector<std::string>{"SUB/DEEP/deep.txt", "SUB/in.txt", "after.txt", "first.txt"}));
    EXPECT_EQ(readBytes(t / "out" / "SUB" / "in.txt"), runText(40000, 7));
}

// Whatever method the first entry has, the file is taken as ARC, listed and extracted: arc
// itself packs, squeezes or crunches its first file as that file's bytes suit.
class ArcFirstMethod : public ::testing::TestWithParam<int> {};

TEST_P(ArcFirstMethod, IsDetectedListedAndExtracted) {
    const int m = GetParam();
    TempDir t;
    const std::string s = "first entry, method " + std::to_string(m) + ": aaaaaaaa \x90 bbb";
    const Bytes first(s.begin(), s.end());
    // The peers themselves take some methods only after a stored first entry.
    arcenc::Archive checked;
    checked.entry(2, "second.txt", {'2'});
    checked.entry(m, "first.txt", first);
    writeBytes(t / "checked.arc", checked.finish());
    expectPeerAccepts(t / "checked.arc");
    if (HasFatalFailure() || IsSkipped()) return;
    arcenc::Archive a;
    a.entry(m, "first.txt", first);
    a.entry(2, "second.txt", {'2'});
    writeBytes(t / "x.arc", a.finish());

    EXPECT_EQ(DetectFile((t / "x.arc").string()).ArcType, atArc);
    const listertest::Listing l = listertest::listArchive((t / "x.arc").string());
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(l.entries[0].name, "first.txt");
    EXPECT_EQ(l.entries[0].method, m);
    const ExtractOutcome x = runArc(t / "x.arc", t / "out");
    EXPECT_FALSE(x.failed());
    EXPECT_EQ(readBytes(t / "out" / "first.txt"), first);
    EXPECT_EQ(readBytes(t / "out" / "second.txt"), Bytes{'2'});
}

INSTANTIATE_TEST_SUITE_P(ArcFirstMethods, ArcFirstMethod, ::testing::Range(1, 10),
                         [](const auto& c) { return "m" + std::to_string(c.param); });

// Squeezed first: bytes of a few frequent values with no repeats for a crunch to find.
TEST(UnArcPeer, ArcMadeArchiveWithASqueezedFirstFile) {
    PV_REQUIRE_PEER("arc");
    TempDir t;
    Bytes skewed;
    uint32_t x = 12345;
    for (int i = 0; i < 20000; ++i) {
        x = x * 1103515245 + 12345;
        const uint32_t r = x >> 16;
        skewed.push_back(static_cast<uint8_t>(r % 64 ? r % 4 : r));
    }
    writeBytes(t / "in" / "sq.bin", skewed);
    writeFile(t / "in" / "t.txt", sampleText(20000, 3));
    ASSERT_EQ(run("arc a ../x.arc sq.bin t.txt", t / "in").status, 0);
    const RunResult v = run("arc v x.arc", t.path());
    ASSERT_NE(v.out.find("Squeezed"), std::string::npos) << v.out;

    EXPECT_EQ(DetectFile((t / "x.arc").string()).ArcType, atArc);
    EXPECT_EQ(listertest::listArchive((t / "x.arc").string()).entries.size(), 2u);
    const ExtractOutcome x1 = runArc(t / "x.arc", t / "out");
    EXPECT_FALSE(x1.failed());
    EXPECT_EQ(readBytes(t / "out" / "sq.bin"), skewed);
}

// A file that only starts like an ARC header is not one.
TEST(ArcDetection, ImplausibleFirstHeadersAreUnknown) {
    TempDir t;
    auto detect = [&](Bytes b) {
        writeBytes(t / "x.bin", b);
        return DetectFile((t / "x.bin").string()).ArcType;
    };
    arcenc::Archive good;
    good.entry(4, "a.txt", runText(300, 1));
    const Bytes base = good.finish();
    EXPECT_EQ(detect(base), atArc);
    Bytes noZero = base; // a name of 13 letters has no end
    std::fill(noZero.begin() + 2, noZero.begin() + 15, 'A');
    EXPECT_EQ(detect(noZero), atUnknown);
    Bytes control = base; // a name holding control bytes
    control[3] = 0x01;
    EXPECT_EQ(detect(control), atUnknown);
    Bytes tooLong = base; // data past the end of the file
    tooLong[18] = 0x7F;
    EXPECT_EQ(detect(tooLong), atUnknown);
    Bytes method12 = base;
    method12[1] = 12;
    EXPECT_EQ(detect(method12), atUnknown);
}

// PAK: the ARC methods and the folder records as in ARC; its own methods fail their entry.
TEST(UnArcFolders, PakArchiveExtractsItsStoredEntriesUnderTheirFolders) {
    TempDir t;
    arcenc::Archive a;
    a.entry(10, "crush.txt", {'c', 'c'}, {'?', '?'});
    a.folder("SUB");
    a.entry(2, "in.txt", {'i', 'n'});
    a.folder("DEEP");
    a.entry(2, "deep.txt", {'d'});
    a.entry(11, "dist.txt", {'d', 'd'}, {'?'});
    a.folderEnd();
    a.folderEnd();
    a.entry(3, "after.txt", runText(3000, 2));
    writeBytes(t / "x.pak", a.finish());

    EXPECT_EQ(DetectFile((t / "x.pak").string()).ArcType, atPak);
    std::vector<std::string> listed;
    for (const auto& e : listertest::listArchive((t / "x.pak").string()).entries) listed.push_back(e.name);
    EXPECT_EQ(listed, (std::vector<std::string>{"crush.txt", "SUB/", "SUB/in.txt", "SUB/DEEP/",
                                                "SUB/DEEP/deep.txt", "SUB/DEEP/dist.txt", "after.txt"}));
    for (bool test : {false, true}) {
        SCOPED_TRACE(test ? "test" : "extract");
        const ExtractOutcome x = runArc(t / "x.pak", t / (test ? "tested" : "out"), test);
        EXPECT_EQ(x.raised, 0);
        EXPECT_EQ(std::count(x.errors.begin(), x.errors.end(), 25326), 2);
        EXPECT_EQ(x.passed(), 3);
        EXPECT_EQ(x.ends.size(), 5u);
    }
    EXPECT_EQ(filesIn(t / "out"), (std::vector<std::string>{"SUB/DEEP/deep.txt", "SUB/in.txt", "after.txt"}));
    EXPECT_EQ(readBytes(t / "out" / "after.txt"), runText(3000, 2));
    EXPECT_FALSE(fs::exists(t / "tested"));
}

// ---- decoders on their own ----

TEST(UnArcDecoders, RunLengthMarkerFollowedByZeroIsTheMarkerItself) {
    EXPECT_EQ(ae::ExpandRle90(Bytes{0x90, 0x00}.data(), 2), Bytes{0x90});
    // A literal marker is not what a later count repeats.
    EXPECT_EQ(ae::ExpandRle90(Bytes{'a', 0x90, 0x00, 0x90, 0x03}.data(), 5), (Bytes{'a', 0x90, 'a', 'a'}));
    EXPECT_EQ(ae::ExpandRle90(Bytes{'b', 0x90, 0x01}.data(), 3), Bytes{'b'});
}

ae::DecodeResult decode(int method, const Bytes& data, Bytes* out = nullptr) {
    ae::SpanSource src{data};
    ae::InputBuffer in{src};
    ae::VectorSink sink;
    ae::DecodeResult r;
    if (method == 4) r = ae::DecodeSqueeze(in, sink);
    if (method == 8) r = ae::DecodeLzwGroups(in, sink, 12);
    if (method == 9) r = ae::DecodeLzwGroups(in, sink, 13);
    if (method == 5) r = ae::DecodeCrunch(in, sink, false);
    if (out) *out = sink.data;
    return r;
}

TEST(UnArcDecoders, DamagedStreamsAreRefused) {
    // 257 nodes; a child that names node 5 of 1; a symbol above the end symbol.
    const Bytes tooMany = {0x01, 0x01};
    const Bytes pastCount = {0x01, 0x00, 0x05, 0x00, 0xFE, 0xFF};
    const Bytes badSymbol = {0x01, 0x00, 0xFD, 0xFE, 0xFE, 0xFF};
    for (const Bytes& b : {tooMany, pastCount, badSymbol}) {
        const ae::DecodeResult r = decode(4, b);
        EXPECT_EQ(r.status, ae::DecodeStatus::Corrupt);
        EXPECT_EQ(r.msg, 25152);
    }
    // 9-bit codes 'A' then 300 while the next free code is 257.
    const uint32_t codes = 'A' | 300u << 9;
    const Bytes above = {static_cast<uint8_t>(codes), static_cast<uint8_t>(codes >> 8),
                         static_cast<uint8_t>(codes >> 16)};
    EXPECT_EQ(decode(9, above).status, ae::DecodeStatus::Corrupt);
    EXPECT_EQ(decode(8, above).status, ae::DecodeStatus::Corrupt);
}

// The crunch codes of a run of one byte grow one byte per code; the table then holds
// strings of up to 3840 bytes, and every one of them decodes.
TEST(UnArcDecoders, CrunchKeepsDecodingOnceTheTableIsFull) {
    for (bool newHash : {false, true}) {
        Bytes in(8000000, 'q');
        for (size_t i = 0; i < in.size(); i += 7919) in[i] = static_cast<uint8_t>(i);
        const Bytes packed = arcenc::crunch(in, newHash);
        ae::SpanSource src{packed};
        ae::InputBuffer buf{src};
        ae::VectorSink sink;
        const ae::DecodeResult r = ae::DecodeCrunch(buf, sink, newHash);
        EXPECT_TRUE(r.ok());
        EXPECT_EQ(sink.data, in);
    }
}

// ---- damaged archives: the damaged entry fails, the others still extract ----

struct Damage {
    const char* name;
    std::function<void(arcenc::Archive&)> build; // adds the damaged entry
    int error;                                   // reported; 0: none expected
    bool endsScan = false;                       // nothing after it is read
};

Bytes squeezedWithFirstWord(uint16_t v) {
    Bytes s = arcenc::squeeze(arcenc::rlePack(runText(3000, 9)));
    s[0] = static_cast<uint8_t>(v);
    s[1] = static_cast<uint8_t>(v >> 8);
    return s;
}

class UnArcDamaged : public ::testing::TestWithParam<Damage> {};

TEST_P(UnArcDamaged, FailsTheEntryAndKeepsNothingOfIt) {
    const Damage& d = GetParam();
    TempDir t;
    arcenc::Archive a;
    a.entry(2, "first.txt", {'1'});
    d.build(a);
    if (!d.endsScan) a.entry(2, "after.txt", {'2'});
    writeBytes(t / "x.arc", a.finish());
    std::vector<std::string> want{"first.txt"};
    if (!d.endsScan) want.insert(want.begin(), "after.txt");
    expectDamagedEntryFails(runArc, t / "x.arc", t.path(), d.error, want);
}

const Damage kDamage[] = {
    {"Squeeze257Nodes",
     [](arcenc::Archive& a) { a.entry(4, "bad.txt", runText(3000, 9), squeezedWithFirstWord(257)); }, 25152},
    {"DynamicCrunchWith13Bits",
     [](arcenc::Archive& a) {
         Bytes p = {13};
         a.entry(8, "bad.txt", runText(3000, 9), p);
     },
     25134},
    {"UnknownMethod", [](arcenc::Archive& a) { a.entry(12, "bad.txt", {'x'}, {'x'}); }, 25326},
    {"WrongCrc",
     [](arcenc::Archive& a) {
         const Bytes d = runText(5000, 4);
         a.header(5, "bad.txt", 0, 0x1234, static_cast<uint32_t>(d.size()));
         const Bytes p = arcenc::crunch(d, false);
         a.bytes().insert(a.bytes().end(), p.begin(), p.end());
         // Patch the packed size in after the fact.
         auto& b = a.bytes();
         const size_t at = b.size() - p.size() - 29 + 15;
         for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(p.size() >> (8 * i));
     },
     0},
    {"MoreOutputThanTheHeaderSays",
     [](arcenc::Archive& a) {
         const Bytes d = runText(5000, 4);
         Bytes p = arcenc::pack(4, d);
         a.header(4, "bad.txt", static_cast<uint32_t>(p.size()), arcenc::crc16(d), 100);
         a.bytes().insert(a.bytes().end(), p.begin(), p.end());
     },
     25139},
    {"StoredSizesDisagree",
     [](arcenc::Archive& a) {
         a.header(2, "bad.txt", 1, 0, 5);
         a.bytes().push_back('x');
     },
     25110},
    {"PackedSizePastTheEnd",
     [](arcenc::Archive& a) {
         const Bytes d = runText(5000, 4);
         a.header(3, "bad.txt", 1000000, arcenc::crc16(d), static_cast<uint32_t>(d.size()));
         const Bytes p = arcenc::rlePack(d);
         a.bytes().insert(a.bytes().end(), p.begin(), p.end());
     },
     25236, true},
    {"FolderEndWithoutFolder", [](arcenc::Archive& a) { a.folderEnd(); }, 25110, true},
    {"NameClimbsOut", [](arcenc::Archive& a) { a.entry(2, "../x.txt", {'x'}); }, 0},
};

INSTANTIATE_TEST_SUITE_P(UnArcDamage, UnArcDamaged, ::testing::ValuesIn(kDamage),
                         [](const auto& c) { return std::string(c.param.name); });

} // namespace
