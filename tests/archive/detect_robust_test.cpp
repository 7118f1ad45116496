// Detection never raises and never reads outside its input: truncated headers, random bytes,
// damaged program headers and zip records that point anywhere.
#include <string>

#include "archive/aeBase.h"
#include "archive/aePe.h"
#include "archive/format/aeZipWalk.h"
#include "detect_util.h"

namespace {

using namespace detecttest;

std::vector<Bytes> samples() {
    Bytes zip;
    put32(zip, 0, 0x04034B50);
    zip.resize(80, 0);
    Bytes tar(1024, 0);
    std::copy_n("a.txt", 5, tar.begin());
    Bytes sfxArj = dosStub(600, 600);
    sfxArj = sfxArj + Bytes{0x60, 0xEA, 0x22, 0x00};
    sfxArj.resize(700, 1);
    return {zooHeader(),
            haHeader(),
            bhHeader(),
            pakHeader(),
            rarHeader(),
            aceHeader(),
            msgzHeader(),
            lzhHeader(),
            zip,
            tar,
            sfxArj,
            peWithStrings(2048, {u"", u"1024"}),
            bytes("begin 644 a.txt\nM86)C\n`\nend\n")};
}

TEST(DetectRobust, EveryTruncationOfValidHeaders) {
    for (const Bytes& s : samples()) {
        for (size_t n = 0; n <= s.size(); ++n) {
            // A copy of exactly n bytes: the sanitizer flags any read past it.
            const Bytes cut(s.begin(), s.begin() + long(n));
            const auto r = DetectBuffer(cut, "x.zip");
            if (n < 20) {
                EXPECT_EQ(r.ArcType, atFileOpenErr) << n;
            }
            EXPECT_GE(r.ArcStart, 1);
            EXPECT_LE(r.ArcStart, std::max<int64_t>(1, int64_t(n)));
        }
    }
}

TEST(DetectRobust, RandomInput) {
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        Bytes b = pvtest::randomBytes(seed * 97 % 5000 + 1, seed);
        if (seed % 3 == 0 && b.size() > 2) b[0] = 'M', b[1] = 'Z'; // through the program roads
        if (seed % 5 == 0 && b.size() > 4) put32(b, 0, 0x04034B50);
        const auto r = DetectBuffer(b, "r.exe", {seed % 2 == 0, seed % 4 == 0}, int(seed * 131 % 33000));
        EXPECT_LT(int(r.ArcType), kArcTypeCount);
        EXPECT_GE(r.ArcStart, 1);
    }
}

TEST(DetectRobust, DamagedProgramHeaders) {
    // Flip each byte of the PE headers and the resource tree in turn.
    const Bytes pe = peWithStrings(2048, {u"", u"1024"}) + rarHeader();
    for (size_t i = 0; i < 0x2C0; ++i) {
        for (uint8_t v : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x80)}) {
            Bytes b = pe;
            b[i] = v;
            TMemorySource src(b);
            (void)PeStringResource(src, 1);
            (void)DetectBuffer(b, "p.exe");
        }
    }
    TMemorySource good(pe);
    const auto s = PeStringResource(good, 1);
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(*s, u"1024");
    EXPECT_EQ(PeStringResource(good, 0), std::u16string());
    EXPECT_FALSE(PeStringResource(good, 17).has_value()); // block 2 does not exist
}

TEST(DetectRobust, ZipRecordsPointingAnywhere) {
    // An end-of-central-directory record whose offsets lie beyond the file, before it, or wrap.
    for (uint32_t cdOffset : {0u, 10u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        for (uint32_t cdSize : {0u, 46u, 0xFFFFFFF0u}) {
            Bytes b;
            put32(b, 0, 0x04034B50);
            b.resize(100, 0);
            put32(b, 100, 0x06054B50);
            put32(b, 112, cdSize);
            put32(b, 116, cdOffset);
            b.resize(122, 0);
            TMemorySource src(b);
            TArcDetector d(src, "x.zip", {}, 32000);
            EXPECT_EQ(FindEndOfCentralDir(d), 0);
            EXPECT_EQ(d.ZipDirFlags, zdEndRecord);
            EXPECT_EQ(d.DetectArcType(), atZip);
            EXPECT_EQ(d.ArcStart, 1);
        }
    }
    // A central header whose local-header offset points outside the file.
    Bytes b;
    put32(b, 0, 0x02014B50);
    put32(b, 42, 0xFFFFFFF0u);
    b.resize(46, 0);
    put32(b, 46, 0x06054B50);
    put32(b, 46 + 12, 46);
    put32(b, 46 + 16, 0);
    b.resize(46 + 22, 0);
    TMemorySource src(b);
    TArcDetector d(src, "x.zip", {}, 32000);
    EXPECT_EQ(FindEndOfCentralDir(d), 0);
    EXPECT_EQ(d.ZipDirFlags, zdEndRecord | zdCentralHeader);
}

TEST(DetectRobust, TarHeaders) {
    // A valid header by checksum; then a volume header in front of it.
    Bytes h(512, 0);
    std::copy_n("a.txt", 5, h.begin());
    std::copy_n("0000644", 7, h.begin() + 100);
    h[156] = '0';
    unsigned sum = 0;
    for (size_t i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? 32u : h[i];
    char field[8];
    FormatOctal(sum, 8, true, field);
    std::copy_n(field, 8, h.begin() + 148);
    Bytes tar = h + Bytes(1024, 0);
    auto r = DetectBuffer(tar);
    EXPECT_EQ(r.ArcType, atTar);
    EXPECT_EQ(r.ArcStart, 1);
    Bytes vol(512, 0);
    std::copy_n("LABEL", 5, vol.begin());
    vol[156] = 'V';
    r = DetectBuffer(vol + tar);
    EXPECT_EQ(r.ArcType, atTar);
    EXPECT_EQ(r.ArcStart, 513);
    // A broken checksum is not tar.
    tar[0] = 'b';
    EXPECT_EQ(DetectBuffer(tar).ArcType, atUnknown);
}

} // namespace
