// Archive type detection of archives made by the peer tools and of hand-made headers.
#include <algorithm>
#include <string>

#include "archive/aeBase.h"
#include "detect_util.h"

namespace {

using namespace detecttest;
using pvtest::TempDir;

struct PeerCase {
    const char* label;
    const char* peer;    // the program that must be installed
    const char* command; // run in a folder holding a.txt and b.txt; makes `out`
    const char* out;
    TArcType want;
    int64_t arcStart = 1;
};

class DetectPeers : public ::testing::TestWithParam<PeerCase> {};

TEST_P(DetectPeers, ArchivesMadeByPeers) {
    const PeerCase& c = GetParam();
    PV_REQUIRE_PEER(c.peer);
    TempDir d;
    pvtest::writeFile(d / "a.txt", "hello world, hello world, hello world\n");
    pvtest::writeFile(d / "b.txt", pvtest::sampleText(5000));
    const auto r = pvtest::run(c.command, d.path());
    ASSERT_EQ(r.status, 0) << r.out;
    TZipCommon comp;
    comp.SetZipCmntBufSize(32000);
    comp.SetArchiveFile((d / c.out).string());
    EXPECT_EQ(ArcTypeIdent(comp.ArcType()), ArcTypeIdent(c.want));
    EXPECT_EQ(comp.ArcStart, c.arcStart);
    if (InArcTypes(ZipFamilyArcTypes, c.want)) {
        EXPECT_EQ(comp.ZipDirFlags & 0x19u, 0x19u); // record, central and local header confirmed
        EXPECT_EQ(comp.ZipOffsetBias, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Peers, DetectPeers,
    ::testing::Values(
        PeerCase{"zip", "zip", "zip -q z.zip a.txt b.txt", "z.zip", atZip},
        PeerCase{"zip_comment", "zip", "echo 'a comment' | zip -qz z.zip a.txt", "z.zip", atZip},
        PeerCase{"zip_as_jar", "zip", "zip -q Z.JAR a.txt", "Z.JAR", atJar},
        PeerCase{"jar", "jar", "jar cf j.jar a.txt", "j.jar", atJar},
        PeerCase{"fastjar", "fastjar", "fastjar cf f.jar a.txt", "f.jar", atJar},
        PeerCase{"7zz_zip", "7zz", "7zz a -tzip -bd z.zip a.txt b.txt >/dev/null", "z.zip", atZip},
        PeerCase{"gzip", "gzip", "gzip -k a.txt", "a.txt.gz", atGZip},
        PeerCase{"tar", "tar", "tar cf t.tar a.txt b.txt", "t.tar", atTar},
        PeerCase{"tar_volume", "tar", "tar cf t.tar -V LABEL a.txt", "t.tar", atTar, 513},
        PeerCase{"compress", "compress", "compress -c b.txt > b.Z", "b.Z", atGZip},
        PeerCase{"jlha", "jlha", "jlha a j.lzh a.txt >/dev/null 2>&1", "j.lzh", atLha},
        PeerCase{"arj", "arj", "arj a -y r.arj a.txt b.txt >/dev/null", "r.arj", atArj},
        PeerCase{"arc", "arc", "arc a c.arc a.txt b.txt >/dev/null", "c.arc", atArc},
        PeerCase{"gcab", "gcab", "gcab -c x.cab a.txt", "x.cab", atCab},
        PeerCase{"gcab_mszip", "gcab", "gcab -cz x.cab b.txt", "x.cab", atCab},
        PeerCase{"uuencode", "uuencode", "uuencode a.txt a.txt > a.uue", "a.uue", atUue},
        PeerCase{"uuencode_after_text", "uuencode", "(echo Subject: x; echo; uuencode a.txt a.txt) > m.uue",
                 "m.uue", atUue}),
    [](const auto& p) { return std::string(p.param.label); });

TEST(DetectTypes, HandMadeHeaders) {
    struct Case {
        const char* label;
        Bytes data;
        TArcType want;
    };
    const Case cases[] = {
        {"zoo", zooHeader(), atZoo},    {"ha", haHeader(), atHa},    {"bh", bhHeader(), atBh},
        {"pak", pakHeader(), atPak},    {"rar", rarHeader(), atRar}, {"ace", aceHeader(), atACE},
        {"msgz", msgzHeader(), atMsGZ}, {"lzh", lzhHeader(), atLha},
    };
    TempDir d;
    for (const Case& c : cases) {
        const auto r = DetectBuffer(c.data, "x.bin");
        EXPECT_EQ(ArcTypeIdent(r.ArcType), ArcTypeIdent(c.want)) << c.label;
        EXPECT_EQ(r.ArcStart, 1) << c.label;
        // The same through a component and a file.
        pvtest::writeBytes(d / c.label, c.data);
        TZipCommon comp;
        comp.SetArchiveFile((d / c.label).string());
        EXPECT_EQ(comp.ArcType(), c.want) << c.label;
    }
}

TEST(DetectTypes, SignatureTable) {
    TMemorySource none({});
    TArcDetector d(none, "");
    struct Case {
        uint32_t sig;
        TArcType inProgram, atStart;
    };
    const Case cases[] = {
        {0x04034B50, atZipExe, atZip},       {0x34474B50, atNA, atNA},
        {0x4643534D, atUnsupported, atCab},  {0x07054842, atBhExe, atBh},
        {0x8C655D13, atUnsupported, atMsGZ}, {0x00088B1F, atUnsupported, atGZip},
        {0x0000A01F, atUnsupported, atGZip}, {0x00002125, atUnsupported, atGZip},
        {0x00014148, atUnsupported, atHa},   {0x204F4F5A, atUnsupported, atZoo},
        {0x0029EA60, atArjExe, atArj},       {0x6C2D0024, atLhaExe, atLha},
        {0x21726152, atRarExe, atRar},       {0x0000021A, atUnsupported, atArc},
        {0x0000091A, atArcExe, atArc},       {0x00000B1A, atPakExe, atPak},
        {0x12345678, atUnknown, atUnknown},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(d.CheckSignature(c.sig, 0), c.inProgram) << std::hex << c.sig;
        EXPECT_EQ(d.CheckSignature(c.sig, 1), c.atStart) << std::hex << c.sig;
        EXPECT_EQ(d.CheckSignature(c.sig, 5), c.inProgram == c.atStart ? c.inProgram : atNA)
            << std::hex << c.sig;
    }
    EXPECT_EQ(d.CheckSignature(0x0807'4B50, 1), atZip); // spanning marker
    EXPECT_EQ(d.ZipDirFlags & zdLocalHeader, zdLocalHeader);
    EXPECT_EQ(d.CheckSignature(0x0201'4B50, 1), atNA); // central header first, fixed drive
    EXPECT_EQ(d.CheckSignature(0x0000'92B7, 1), atArcExe);
    EXPECT_EQ(d.ArcStart, 7717);
}

TEST(DetectTypes, EdgeCasesOfPlainFiles) {
    // Fewer than 20 bytes: not a type at all.
    EXPECT_EQ(DetectBuffer(Bytes(19, 'x')).ArcType, atFileOpenErr);
    EXPECT_EQ(DetectBuffer(Bytes(20, 'x')).ArcType, atUnknown);
    // The gzip magic at the start.
    Bytes gz = {0x1F, 0x1E};
    gz.resize(30, 0);
    EXPECT_EQ(DetectBuffer(gz).ArcType, atGZip);
    // Zeros in front of a zip local header (no central directory).
    Bytes z(300, 0);
    put32(z, 300, 0x04034B50);
    z.resize(400, 0);
    const auto r = DetectBuffer(z, "x.zip");
    EXPECT_EQ(r.ArcType, atZip);
    EXPECT_EQ(r.ArcStart, 301);
    EXPECT_EQ(r.ZipDirFlags & zdLocalHeader, zdLocalHeader);
    // An extension .jar in any case turns a zip into a jar.
    EXPECT_EQ(DetectBuffer(z, "dir.x/A.JaR").ArcType, atJar);
    EXPECT_EQ(DetectBuffer(z, "a.jar/x").ArcType, atZip);
    // A missing file.
    TempDir d;
    EXPECT_EQ(DetectFile((d / "missing").string()).ArcType, atFileOpenErr);
}

// The formats' own steps on a file that is no program: which one settles the type, and in
// which order (a zip's answer, the mark at byte 7, what a removable drive tells, the "begin"
// line, the tar checksum, the zip end record as the last resort).
TEST(DetectTypes, FormatStepsOfPlainFiles) {
    auto tar = [](const std::string& name, bool goodSum) {
        Bytes h(512, 0);
        std::copy(name.begin(), name.end(), h.begin());
        std::copy_n("0000644", 7, h.begin() + 100);
        h[156] = '0';
        unsigned sum = 0;
        for (size_t i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? 32u : h[i];
        char field[8];
        FormatOctal(goodSum ? sum : sum + 1, 8, true, field);
        std::copy_n(field, 8, h.begin() + 148);
        return h + Bytes(1024, 0);
    };
    auto text = [](const std::string& s) {
        Bytes b = bytes(s);
        b.resize(std::max<size_t>(b.size(), 64), ' ');
        return b;
    };
    auto withAceMark = [](Bytes b) {
        std::copy_n("**ACE**", 7, b.begin() + 7);
        return b;
    };
    // A level-0 LHA header with a 9-byte name has the size byte 0x1F; with its checksum
    // 0x8B (made so through the time stamp) its first word reads as a gzip magic.
    auto lhaAsGzip = [](bool goodSum) {
        Bytes h(2 + 31, 0);
        h[0] = 31;
        std::copy_n("-lh0-", 5, h.begin() + 2);
        h[21] = 9;
        std::copy_n("readme.tx", 9, h.begin() + 22);
        uint8_t sum = 0;
        for (size_t i = 2; i < h.size(); ++i) sum = static_cast<uint8_t>(sum + h[i]);
        h[15] = static_cast<uint8_t>(0x8B - sum + (goodSum ? 0 : 1));
        h[1] = 0x8B;
        return h + Bytes(1, 0);
    };
    Bytes localOnly;
    put32(localOnly, 0, 0x04034B50);
    localOnly.resize(100, 0x33);
    Bytes endOnly = text("no archive here");
    put32(endOnly, endOnly.size(), 0x06054B50);
    endOnly.resize(endOnly.size() + 18, 0);
    const TDetectDrive fixed{}, removable{true, false}, spannedDisk{true, true};
    const struct {
        const char* label;
        Bytes data;
        TDetectDrive drive;
        TArcType want;
        int64_t arcStart;
    } cases[] = {
        {"ace mark beats rar", withAceMark(rarHeader()), fixed, atACE, 1},
        {"zip beats ace mark", withAceMark(storedZip("a.txt", "hello")), fixed, atZip, 1},
        {"uue after text", text("Subject: x\n\nbegin 644 a\n`\nend\n"), fixed, atUue, 1},
        {"begin inside a line", text("xbegin 644 a\n"), fixed, atUnknown, 1},
        {"begin ends at 5000", Bytes(4993, 'x') + text("\nbegin 644 a\n"), fixed, atUue, 1},
        {"begin ends at 5001", Bytes(4994, 'x') + text("\nbegin 644 a\n"), fixed, atUnknown, 1},
        {"lha header reading as gzip", lhaAsGzip(true), fixed, atLha, 1},
        {"gzip magic, lha checksum off", lhaAsGzip(false), fixed, atGZip, 1},
        {"tar", tar("a.txt", true), fixed, atTar, 1},
        {"tar checksum off", tar("a.txt", false), fixed, atUnknown, 1},
        {"begin line before tar", tar("begin 644 a", true), fixed, atUue, 1},
        {"zip after text", text("notes") + storedZip("a.txt", "hello"), fixed, atZip, 65},
        {"local header, fixed drive", localOnly, fixed, atZip, 1},
        {"local header, removable", localOnly, removable, atZipMV, 1},
        {"whole zip, removable", storedZip("a.txt", "hello"), removable, atZip, 1},
        {"end record alone, fixed", endOnly, fixed, atUnknown, 1},
        {"end record alone, removable", endOnly, removable, atZipMV, 1},
        {"end record alone, disk number", endOnly, spannedDisk, atZipMV, 1},
        // A disk that carries a set's number holds a spanned zip, whatever else it looks like.
        {"uue on a spanned disk", text("begin 644 a\n"), spannedDisk, atZipMV, 1},
    };
    for (const auto& c : cases) {
        const auto r = DetectBuffer(c.data, "x.bin", c.drive);
        EXPECT_EQ(ArcTypeIdent(r.ArcType), ArcTypeIdent(c.want)) << c.label;
        EXPECT_EQ(r.ArcStart, c.arcStart) << c.label;
    }
    // The name rule turns a zip into a jar, not a zip inside a program.
    EXPECT_EQ(DetectBuffer(storedZip("a.txt", "hello"), "a.jar").ArcType, atJar);
    EXPECT_EQ(DetectBuffer(dosStub(7612) + storedZip("a.txt", "hello"), "a.jar").ArcType, atZipExe);
}

TEST(DetectTypes, ComponentReportsAnUnopenableFile) {
    TempDir d;
    TZipCommon c;
    std::vector<int> codes;
    c.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int e) {
        codes.push_back(e);
    };
    c.SetArchiveFile((d / "missing.zip").string());
    EXPECT_EQ(c.ArcType(), atFileOpenErr);
    EXPECT_EQ(codes, std::vector<int>{25235});
    c.SetArchiveFile("");
    EXPECT_EQ(c.ArcType(), atNA);
    // Setting the type runs detection again rather than taking the value.
    pvtest::writeBytes(d / "r.rar", rarHeader());
    c.SetArchiveFile((d / "r.rar").string());
    c.SetArcType(atZip);
    EXPECT_EQ(c.ArcType(), atRar);
}

TEST(DetectTypes, AetoolType) {
    TempDir d;
    pvtest::writeBytes(d / "r.rar", rarHeader());
    pvtest::writeBytes(d / "m.bin", msgzHeader());
    const auto ok = pvtest::run(pvtest::q(pvtest::aetool().string()) + " type r.rar m.bin", d.path());
    EXPECT_EQ(ok.status, 0) << ok.out;
    EXPECT_EQ(ok.out, "r.rar\tatRar\t1\tRAR\nm.bin\tatMsGZ\t1\tMsGZ\n");
    const auto bad = pvtest::run(pvtest::q(pvtest::aetool().string()) + " type missing", d.path());
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("missing\tatFileOpenErr\t1\tFile Error"), std::string::npos);
    EXPECT_EQ(pvtest::run(pvtest::q(pvtest::aetool().string()) + " type").status, 2);
}

} // namespace
