// Self-extracting programs: an archive behind a program part, found through each road
// (fixed zip offsets, string resources of a PE program, the end of the DOS image, the
// end-of-central-directory record, the scan), and ArcStart by its one convention.
#include <string>

#include "archive/aeBase.h"
#include "detect_util.h"

namespace {

using namespace detecttest;
using pvtest::TempDir;

Bytes arjHeader() {
    Bytes b = {0x60, 0xEA, 0x22, 0x00};
    b.resize(48, 0x11);
    return b;
}

Bytes sfx(const Bytes& stub, const Bytes& archive) {
    return stub + archive;
}

struct Expect {
    TArcType type;
    int64_t arcStart;
};

void check(const Bytes& file, Expect want, const char* label) {
    const auto r = DetectBuffer(file, "prog.exe");
    EXPECT_EQ(ArcTypeIdent(r.ArcType), ArcTypeIdent(want.type)) << label;
    EXPECT_EQ(r.ArcStart, want.arcStart) << label;
    // The convention: ArcStart - 1 is where the archive's first header stands.
    if (want.type != atUnknown) {
        EXPECT_LT(r.ArcStart - 1, int64_t(file.size())) << label;
    }
}

TEST(DetectSfx, ZipAtFixedOffsets) {
    const Bytes zip = storedZip("a.txt", "hello");
    for (size_t off : {7612u, 15770u, 25661u}) {
        const Bytes f = sfx(dosStub(off), zip);
        check(f, {atZipExe, int64_t(off) + 1}, "fixed");
        const auto r = DetectBuffer(f, "p.exe");
        EXPECT_EQ(r.ZipDirFlags & zdLocalHeader, off == 25661 ? 0u : zdLocalHeader) << off;
    }
    // The first spot needs more than 7616 bytes.
    Bytes shortFile = dosStub(7612);
    put32(shortFile, 7612, 0x04034B50);
    EXPECT_EQ(shortFile.size(), 7616u);
    EXPECT_NE(DetectBuffer(shortFile).ArcStart, 7613);
}

TEST(DetectSfx, ZipThroughTheCentralDirectory) {
    const size_t prefix = 3000;
    // Offsets adjusted to the program part (as `zip -A` leaves them), and not adjusted.
    for (uint32_t base : {uint32_t(prefix), 0u}) {
        for (size_t imageEnd : {size_t(0), prefix}) {
            const Bytes f = sfx(dosStub(prefix, imageEnd), storedZip("a.txt", "hello", base));
            const auto r = DetectBuffer(f, "p.exe");
            EXPECT_EQ(r.ArcType, atZipExe) << base;
            EXPECT_EQ(r.ArcStart, int64_t(prefix) + 1) << base;
            EXPECT_EQ(r.ZipDirFlags, zdEndRecord | zdCentralHeader | zdLocalHeader);
            EXPECT_EQ(r.ZipOffsetBias, int64_t(prefix) - base);
            EXPECT_EQ(r.ZipCentralOffset, int64_t(prefix) + 30 + 5 + 5);
        }
    }
}

TEST(DetectSfx, PeerZipBehindAProgram) {
    PV_REQUIRE_PEER("zip");
    TempDir d;
    pvtest::writeFile(d / "a.txt", pvtest::sampleText(3000));
    ASSERT_EQ(pvtest::run("zip -q z.zip a.txt", d.path()).status, 0);
    pvtest::writeBytes(d / "stub", dosStub(5000));
    ASSERT_EQ(pvtest::run("cat stub z.zip > s.exe && cp s.exe sa.exe && zip -qA sa.exe", d.path()).status, 0);
    for (const char* name : {"s.exe", "sa.exe"}) {
        TZipCommon c;
        c.SetZipCmntBufSize(32000);
        c.SetArchiveFile((d / name).string());
        EXPECT_EQ(c.ArcType(), atZipExe) << name;
        EXPECT_EQ(c.ArcStart, 5001) << name;
        // What the lister reads: the first central header and the local header it points to.
        EXPECT_EQ(c.ZipDirFlags, 0x19u) << name;
        const auto raw = pvtest::readBytes(d / name);
        const uint32_t local = uint32_t(c.ZipCentralHeader[42]) | uint32_t(c.ZipCentralHeader[43]) << 8 |
                               uint32_t(c.ZipCentralHeader[44]) << 16 |
                               uint32_t(c.ZipCentralHeader[45]) << 24;
        EXPECT_EQ(int64_t(local) + c.ZipOffsetBias, 5000) << name;
        EXPECT_EQ(raw[size_t(c.ZipCentralOffset)], 'P') << name;
    }
}

TEST(DetectSfx, EndOfTheDosImage) {
    const size_t e = 5000;
    check(sfx(dosStub(e, e), arjHeader()), {atArjExe, int64_t(e) + 1}, "arj");
    check(sfx(dosStub(e, e), lzhHeader()), {atLhaExe, int64_t(e) + 1}, "lzh");
    check(sfx(dosStub(e, e), rarHeader()), {atRarExe, int64_t(e) + 1}, "rar");
    // ARJ stubs may leave two bytes before the header: the start moves on to it.
    check(sfx(dosStub(e, e - 2), arjHeader()), {atArjExe, int64_t(e) + 1}, "arj+2");
    // A gzip magic there is no self-extractor.
    Bytes gz = {0x1F, 0x8B, 8, 0};
    gz.resize(40, 0);
    check(sfx(dosStub(e, e), gz), {atUnknown, 1}, "gzip");
}

TEST(DetectSfx, TheScanFindsArchivesAfterTheProgram) {
    const size_t at = 20000;
    Bytes zipLocal;
    put32(zipLocal, 0, 0x04034B50);
    zipLocal.resize(60, 0x33);
    Bytes bh = bhHeader();
    put32(bh, 4, 1);
    const struct {
        const char* label;
        Bytes archive;
        TArcType type;
    } cases[] = {
        {"lzh", lzhHeader(), atLhaExe},
        {"arj", arjHeader(), atArjExe},
        {"rar", rarHeader(), atRarExe},
        {"ace", aceHeader(), atAceExe},
        {"bh", bh, atBhExe},
        {"zip", zipLocal, atZipExe},
    };
    for (const auto& c : cases) check(sfx(dosStub(at), c.archive), {c.type, int64_t(at) + 1}, c.label);
    // The scan starts at 17000: an archive before that is not looked for.
    check(sfx(dosStub(1000), lzhHeader()), {atUnknown, 1}, "early");
    // And ends after six blocks of 32768 bytes.
    check(sfx(dosStub(17000 + 6 * 32768 + 10), lzhHeader()), {atUnknown, 1}, "late");
}

TEST(DetectSfx, SignaturesStraddlingScanBlocks) {
    const int64_t blockEnd = 17000 + 32768;
    for (int64_t back = 1; back <= 7; ++back) {
        // "Rar!" starting `back` bytes before the end of the first block.
        check(sfx(dosStub(size_t(blockEnd - back)), rarHeader()), {atRarExe, blockEnd - back + 1}, "rar");
        // "-lh0-" at that place: its header starts two bytes earlier.
        check(sfx(dosStub(size_t(blockEnd - back - 2)), lzhHeader()), {atLhaExe, blockEnd - back - 1}, "lzh");
        // "**ACE**" crossing the block end.
        check(sfx(dosStub(size_t(blockEnd - back - 7)), aceHeader()), {atAceExe, blockEnd - back - 6}, "ace");
    }
    // A signature in the very last bytes of the file.
    Bytes tail = dosStub(30000);
    const std::string rar = "Rar!";
    tail.insert(tail.end(), rar.begin(), rar.end());
    check(tail, {atRarExe, 30001}, "tail");
}

TEST(DetectSfx, StringResourcesOfAProgram) {
    // String 1 holds the decimal offset of the archive (below 17000, where the scan never looks).
    Bytes f = peWithStrings(12000, {u"", u"12000"}) + rarHeader();
    check(f, {atRarExe, 12001}, "rar");
    // Only a zip's reader is told that its local header stands there.
    EXPECT_EQ(DetectBuffer(f, "p.exe").ZipDirFlags, 0u);
    const auto z = DetectBuffer(peWithStrings(12000, {u"", u"12000"}) + storedZip("a.txt", "hello"), "p.exe");
    EXPECT_EQ(ArcTypeIdent(z.ArcType), ArcTypeIdent(atZipExe));
    EXPECT_EQ(z.ArcStart, 12001);
    EXPECT_EQ(z.ZipDirFlags, zdLocalHeader);
    // The second string is tried when the first points at nothing known.
    Bytes g = peWithStrings(12000, {u"", u"100", u"12000"}) + lzhHeader();
    check(g, {atLhaExe, 12001}, "second");
    // Not a number, an empty string or an offset beyond the file: this road ends.
    check(peWithStrings(12000, {u"", u"12x00"}) + rarHeader(), {atUnknown, 1}, "nan");
    check(peWithStrings(12000, {u"", u""}) + rarHeader(), {atUnknown, 1}, "empty");
    check(peWithStrings(12000, {u"", u"99999"}) + rarHeader(), {atUnknown, 1}, "beyond");
    // Only five characters count.
    check(peWithStrings(12000, {u"", u"120001"}) + rarHeader(), {atRarExe, 12001}, "six");
}

TEST(DetectSfx, PeerArchivesBehindAProgram) {
    // Real arj, lzh and zip archives behind a program part: through the end of the DOS
    // image, the string resources of a PE program and the scan.
    TempDir d;
    pvtest::writeFile(d / "a.txt", pvtest::sampleText(2000));
    struct Peer {
        const char* peer;
        const char* command;
        const char* out;
        TArcType type;
    };
    const Peer peers[] = {{"arj", "arj a -y r.arj a.txt >/dev/null", "r.arj", atArjExe},
                          {"jlha", "jlha a j.lzh a.txt >/dev/null 2>&1", "j.lzh", atLhaExe},
                          {"zip", "zip -q z.zip a.txt", "z.zip", atZipExe}};
    for (const Peer& p : peers) {
        if (!pvtest::havePeer(p.peer)) continue;
        ASSERT_EQ(pvtest::run(p.command, d.path()).status, 0) << p.peer;
        const Bytes archive = pvtest::readBytes(d / p.out);
        if (p.type != atZipExe) { // a zip there is left to its central directory
            check(sfx(dosStub(4000, 4000), archive), {p.type, 4001}, p.peer);
            check(sfx(dosStub(20000), archive), {p.type, 20001}, p.peer);
        }
        check(sfx(peWithStrings(12000, {u"", u"12000"}), archive), {p.type, 12001}, p.peer);
    }
}

TEST(DetectSfx, ForeignPrefixes) {
    // An ELF program or random bytes in front of a zip: found through the central directory.
    Bytes elf = {0x7F, 'E', 'L', 'F', 2, 1, 1, 0};
    elf.resize(4096, 0);
    const Bytes zip = storedZip("a.txt", "hello");
    for (const Bytes& prefix : {elf, pvtest::randomBytes(4096, 7)}) {
        const auto r = DetectBuffer(prefix + zip, "a.bin");
        EXPECT_EQ(r.ArcType, atZip);
        EXPECT_EQ(r.ArcStart, 4097);
        EXPECT_EQ(r.ZipOffsetBias, 4096);
    }
    // An ELF program alone is nothing known, and a big random one takes the whole scan.
    EXPECT_EQ(DetectBuffer(elf).ArcType, atUnknown);
    Bytes mzRandom = pvtest::randomBytes(300000, 3);
    mzRandom[0] = 'M', mzRandom[1] = 'Z';
    (void)DetectBuffer(mzRandom); // anything but a crash
}

} // namespace
