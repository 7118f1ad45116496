// TUnGZIP against files written at test time by gzip (with and without a name, several
// members), python3 (comment, extra field, header CRC) and compress (-b9 to -b16); .tar.gz
// through the tar extractor without an intermediate file; damaged input.
#include <gtest/gtest.h>

#include <algorithm>

#include "archive/aeCommon.h"
#include "archive/codec/aeDecodeIo.h"
#include "archive/format/aeUnGZIP.h"
#include "archive/format/aeUnTAR.h"
#include "extract_outcome.h"
#include "samples.h"
#include "testutil.h"

using namespace pvtest;

namespace {

using Outcome = ExtractOutcome;

Outcome runGz(TUnGZIP& u, const fs::path& archive, const fs::path& out, bool test = false) {
    Outcome o;
    o.listen(u);
    o.run(u, archive, out, test);
    return o;
}

Outcome runGz(const fs::path& archive, const fs::path& out, bool test = false) {
    TUnGZIP u;
    return runGz(u, archive, out, test);
}

TEST(UnGzipPeer, StoredNameOrTheArchiveNameWithoutItsExtension) {
    PV_REQUIRE_PEER("gzip");
    TempDir t;
    const auto data = bytesOf(sampleText(100000, 3));
    writeBytes(t / "in" / "orig.txt", data);
    ASSERT_EQ(run("gzip -c orig.txt > ../named.gz", t / "in").status, 0);
    ASSERT_EQ(run("gzip -n -c orig.txt > ../plain.txt.gz", t / "in").status, 0);

    const Outcome a = runGz(t / "named.gz", t / "a");
    EXPECT_FALSE(a.failed());
    EXPECT_EQ(readBytes(t / "a" / "orig.txt"), data);

    const Outcome b = runGz(t / "plain.txt.gz", t / "b");
    EXPECT_FALSE(b.failed());
    EXPECT_EQ(filesIn(t / "b"), std::vector<std::string>{"plain.txt"});
    EXPECT_EQ(readBytes(t / "b" / "plain.txt"), data);

    const Outcome c = runGz(t / "named.gz", t / "c", true);
    EXPECT_FALSE(c.failed());
    ASSERT_EQ(c.ends.size(), 1u);
    EXPECT_FALSE(fs::exists(t / "c"));
}

TEST(UnGzipPeer, EveryMemberOfAConcatenatedFile) {
    PV_REQUIRE_PEER("gzip");
    TempDir t;
    const auto one = bytesOf(sampleText(30000, 1));
    const auto two = randomBytes(40000, 2);
    writeBytes(t / "one", one);
    writeBytes(t / "two", two);
    ASSERT_EQ(
        run("gzip -c one > all.gz && gzip -1 -c two >> all.gz && gzip -c one >> all.gz", t.path()).status, 0);
    std::vector<uint8_t> want = one;
    want.insert(want.end(), two.begin(), two.end());
    want.insert(want.end(), one.begin(), one.end());
    const Outcome x = runGz(t / "all.gz", t / "out");
    EXPECT_FALSE(x.failed());
    EXPECT_EQ(readBytes(t / "out" / "one"), want);

    // A damaged middle member fails the whole file.
    auto raw = readBytes(t / "all.gz");
    const uint8_t magic[] = {0x1F, 0x8B, 8};
    const auto second =
        static_cast<size_t>(std::search(raw.begin() + 10, raw.end(), magic, magic + 3) - raw.begin());
    ASSERT_LT(second, raw.size());
    raw[second + 200] ^= 0x10;
    writeBytes(t / "bad.gz", raw);
    const Outcome y = runGz(t / "bad.gz", t / "bad");
    ASSERT_EQ(y.ends.size(), 1u);
    EXPECT_FALSE(y.ends[0].second);
    EXPECT_TRUE(filesIn(t / "bad").empty());
}

// Comment, extra field and header CRC, which gzip itself does not write.
TEST(UnGzipPeer, CommentExtraFieldAndHeaderCrc) {
    PV_REQUIRE_PEER("python3");
    TempDir t;
    const std::string py = R"(
import sys, zlib, struct
data = open(sys.argv[1], 'rb').read()
def member(name, comment, extra, hcrc, bad=False):
    flags = 0x04 | 0x08 | 0x10 | (0x02 if hcrc else 0)
    h = b'\x1f\x8b\x08' + bytes([flags]) + struct.pack('<I', 1700000000) + b'\x00\x03'
    h += struct.pack('<H', len(extra)) + extra + name + b'\x00' + comment + b'\x00'
    if hcrc:
        c = zlib.crc32(h) & 0xffff
        h += struct.pack('<H', c ^ (1 if bad else 0))
    co = zlib.compressobj(9, zlib.DEFLATED, -15)
    body = co.compress(data) + co.flush()
    return h + body + struct.pack('<II', zlib.crc32(data) & 0xffffffff, len(data) & 0xffffffff)
open(sys.argv[2], 'wb').write(member(b'inner.txt', b'a comment', b'AB\x04\x00wxyz', True))
open(sys.argv[3], 'wb').write(member(b'inner.txt', b'a comment', b'AB\x04\x00wxyz', True, True))
)";
    const auto data = bytesOf(sampleText(20000, 4));
    writeBytes(t / "data", data);
    writeFile(t / "mk.py", py);
    ASSERT_EQ(run("python3 mk.py data good.gz bad.gz", t.path()).status, 0);
    if (havePeer("gzip")) {
        ASSERT_EQ(run("gzip -t good.gz", t.path()).status, 0);
    }
    const Outcome x = runGz(t / "good.gz", t / "out");
    EXPECT_FALSE(x.failed());
    EXPECT_EQ(readBytes(t / "out" / "inner.txt"), data);

    const Outcome y = runGz(t / "bad.gz", t / "bad");
    EXPECT_TRUE(y.hasError(25237)); // Header CRC error
    EXPECT_TRUE(filesIn(t / "bad").empty());
}

TEST(UnGzipPeer, EncryptedFlagIsPasswordProtected) {
    TempDir t;
    std::vector<uint8_t> raw = {0x1F, 0x8B, 8, 0x20, 0, 0, 0, 0, 0, 3, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    writeBytes(t / "p.gz", raw);
    const Outcome x = runGz(t / "p.gz", t / "out");
    EXPECT_TRUE(x.hasError(25290));
    EXPECT_TRUE(filesIn(t / "out").empty());
}

TEST(UnGzipPeer, TruncationAtEveryByteFails) {
    PV_REQUIRE_PEER("gzip");
    TempDir t;
    writeBytes(t / "f.txt", bytesOf(sampleText(3000, 5)));
    ASSERT_EQ(run("gzip -c f.txt > f.gz", t.path()).status, 0);
    const auto raw = readBytes(t / "f.gz");
    for (size_t n = 0; n + 1 < raw.size(); ++n) {
        writeBytes(t / "cut.gz",
                   std::vector<uint8_t>(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(n)));
        fs::remove_all(t / "out");
        const Outcome x = runGz(t / "cut.gz", t / "out");
        EXPECT_TRUE(x.failed()) << "cut at " << n;
        EXPECT_TRUE(filesIn(t / "out").empty()) << "cut at " << n;
    }
}

// ---- .Z ----

class UnGzipCompress : public ::testing::TestWithParam<int> {};

TEST_P(UnGzipCompress, EveryCodeWidth) {
    PV_REQUIRE_PEER("compress");
    const int bits = GetParam();
    TempDir t;
    // Text that fills the table (so that widths grow and block-mode clears occur), then
    // noise. compress cannot read back its own -b9 output once the 9-bit table is full, so
    // that width gets an input that does not fill it.
    std::vector<uint8_t> data = bytesOf(sampleText(bits == 9 ? 300 : 300000, 6));
    const auto noise = randomBytes(bits == 9 ? 20 : 50000, 7);
    data.insert(data.end(), noise.begin(), noise.end());
    writeBytes(t / "d.bin", data);
    const std::string b = std::to_string(bits);
    ASSERT_EQ(run("compress -b" + b + " -c d.bin > d.bin.Z", t.path()).status, 0);
    // The fixture counts only when compress reads it back itself.
    ASSERT_EQ(run("compress -d -c d.bin.Z | cmp - d.bin", t.path()).status, 0);
    const Outcome x = runGz(t / "d.bin.Z", t / "out");
    EXPECT_FALSE(x.failed());
    EXPECT_EQ(readBytes(t / "out" / "d.bin"), data);
    EXPECT_FALSE(runGz(t / "d.bin.Z", t / "tested", true).failed());
}

INSTANTIATE_TEST_SUITE_P(UnGzipWidths, UnGzipCompress, ::testing::Range(9, 17));

TEST(UnGzipCompressDamaged, BadCodesFailAndWidthsAbove16AreRefused) {
    PV_REQUIRE_PEER("compress");
    TempDir t;
    writeBytes(t / "d.bin", bytesOf(sampleText(50000, 8)));
    ASSERT_EQ(run("compress -c d.bin > d.Z", t.path()).status, 0);
    auto raw = readBytes(t / "d.Z");
    // A code far above the next free one.
    auto bad = raw;
    for (size_t i = 3; i < 40; ++i) bad[i] = 0xFF;
    writeBytes(t / "bad.Z", bad);
    const Outcome x = runGz(t / "bad.Z", t / "out");
    ASSERT_EQ(x.ends.size(), 1u);
    EXPECT_FALSE(x.ends[0].second);
    EXPECT_TRUE(filesIn(t / "out").empty());

    auto wide = raw;
    wide[2] = static_cast<uint8_t>((wide[2] & 0xE0) | 17);
    writeBytes(t / "wide.Z", wide);
    const Outcome y = runGz(t / "wide.Z", t / "wide");
    EXPECT_TRUE(y.hasError(25138));
    EXPECT_TRUE(filesIn(t / "wide").empty());

    // Cut anywhere, the decoder stops cleanly (what it returns has no check value).
    for (size_t n = 0; n < raw.size(); n += 7) {
        ae::SpanSource src{std::span<const uint8_t>(raw.data(), n)};
        ae::InputBuffer in{src};
        ae::CountingSink sink;
        (void)ae::DecodeLzw(in, sink);
    }
}

// ---- .tar.gz ----

TEST(UnGzipTar, TarGzUnpacksInOneRunWithoutALeftoverTar) {
    PV_REQUIRE_PEER("tar");
    TempDir t;
    writeBytes(t / "in" / "top.txt", bytesOf("top"));
    writeBytes(t / "in" / "sub" / "deep" / "x.bin", randomBytes(70000, 9));
    ASSERT_EQ(run("tar czf ../x.tar.gz top.txt sub && tar czf ../y.tgz top.txt sub", t / "in").status, 0);
    for (const char* name : {"x.tar.gz", "y.tgz"}) {
        SCOPED_TRACE(name);
        TUnGZIP g;
        TUnTAR tar;
        g.UnTar = &tar;
        std::vector<std::string> tarEnds;
        tar.OnEnd = [&](TZipCommon&, const std::string& fn, bool pass) {
            EXPECT_TRUE(pass);
            tarEnds.push_back(fn);
        };
        const fs::path out = t / (std::string("out-") + name);
        const Outcome x = runGz(g, t / name, out);
        EXPECT_FALSE(x.failed());
        EXPECT_EQ(tarEnds.size(), 2u);
        EXPECT_EQ(filesIn(out), (std::vector<std::string>{"sub/deep/x.bin", "top.txt"}));
        EXPECT_EQ(readBytes(out / "sub" / "deep" / "x.bin"), readBytes(t / "in" / "sub" / "deep" / "x.bin"));
    }
    // A plain .gz with a tar extractor set is still just a file.
    writeBytes(t / "p.txt", bytesOf("not a tar"));
    ASSERT_EQ(run("gzip -k p.txt", t.path()).status, 0);
    TUnGZIP g;
    g.UseOwnTar();
    const Outcome y = runGz(g, t / "p.txt.gz", t / "plain");
    EXPECT_FALSE(y.failed());
    EXPECT_EQ(readFile(t / "plain" / "p.txt"), "not a tar");
}

TEST(UnGzipTar, AetoolExtractsTarGz) {
    PV_REQUIRE_PEER("tar");
    TempDir t;
    writeBytes(t / "in" / "a" / "b.txt", bytesOf(sampleText(5000, 1)));
    ASSERT_EQ(run("tar czf ../x.tgz a", t / "in").status, 0);
    const RunResult r =
        run(q(aetool().string()) + " extract " + q((t / "x.tgz").string()) + " " + q((t / "out").string()));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(filesIn(t / "out"), std::vector<std::string>{"a/b.txt"});
    EXPECT_EQ(readFile(t / "out" / "a" / "b.txt"), readFile(t / "in" / "a" / "b.txt"));
}

} // namespace
