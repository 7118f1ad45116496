// The static-Huffman LZH decoder on streams written by the peers (jlha for -lh5-/-lh6-,
// arj for methods 1-3), on hand-made blocks for the edges, and on damaged data.
#include "archive/aeCommon.h"
#include "archive/format/aeArjHeaders.h"
#include "archive/format/aeLhaHeaders.h"
#include "archive/aeLzhEntry.h"
#include "archive/codec/aeLzhDecode.h"
#include "testutil.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

ae::DecodeResult lzh(const Bytes& packed, const ae::LzhParams& p, std::uint64_t size, Bytes& out) {
    ae::SpanSource src{packed};
    ae::InputBuffer in{src};
    ae::VectorSink sink;
    auto r = ae::LzhDecode(in, sink, p, size);
    out = std::move(sink.data);
    return r;
}

struct Packed {
    Bytes data;
    std::uint64_t size = 0;
    std::uint32_t check = 0; // CRC-16 (LHA) or CRC-32 (ARJ)
};

Packed lhaEntry(const Bytes& archive) {
    aehdr::Fetch fetch = [&](std::uint64_t off, std::size_t n) {
        if (off >= archive.size()) return aehdr::Bytes{};
        return aehdr::Bytes{archive.data() + off, std::min<std::size_t>(n, archive.size() - off)};
    };
    auto h = aehdr::readLhaHeader(fetch, 0);
    EXPECT_TRUE(h.has_value());
    if (!h) return {};
    const auto start = archive.begin() + static_cast<long>(h->headerLength);
    return {Bytes(start, start + static_cast<long>(h->packedSize)), h->size, h->crc16};
}

Packed arjEntry(const Bytes& archive) {
    auto main = aehdr::parseArjHeader(archive);
    EXPECT_TRUE(main.has_value());
    if (!main) return {};
    const aehdr::Bytes rest{archive.data() + main->totalLength, archive.size() - main->totalLength};
    auto h = aehdr::parseArjHeader(rest);
    EXPECT_TRUE(h.has_value());
    if (!h) return {};
    const auto start = archive.begin() + static_cast<long>(main->totalLength + h->totalLength);
    return {Bytes(start, start + static_cast<long>(h->packedSize)), h->size, h->crc32};
}

Bytes sampleInput() {
    const std::string t = pvtest::sampleText(90000, 11);
    Bytes b(t.begin(), t.end());
    // A block that repeats about 30,000 bytes back: only a 32 KiB window reaches it.
    const Bytes r = pvtest::randomBytes(4000, 12);
    b.insert(b.begin() + 20000, r.begin(), r.end());
    b.insert(b.begin() + 20000 + 30500, r.begin(), r.end());
    return b;
}

TEST(LzhDecPeers, JlhaMethods) {
    PV_REQUIRE_PEER("jlha");
    pvtest::TempDir dir;
    const Bytes plain = sampleInput();
    pvtest::writeBytes(dir / "in.bin", plain);
    for (auto [opt, params] :
         {std::pair{"o5", ae::LzhParams::Lh5()}, std::pair{"o6", ae::LzhParams::Lh6()}}) {
        const std::string arc = std::string("x") + opt + ".lzh";
        auto run = pvtest::run("jlha a" + std::string(opt) + " " + arc + " in.bin", dir.path());
        ASSERT_EQ(run.status, 0) << run.out;
        const Packed p = lhaEntry(pvtest::readBytes(dir / arc));
        ASSERT_EQ(p.size, plain.size());
        Bytes got;
        auto r = lzh(p.data, params, p.size, got);
        ASSERT_TRUE(r.ok()) << opt << " msg " << r.msg;
        EXPECT_TRUE(got == plain) << opt;
        std::uint16_t crc = 0;
        Crc16Update(got.data(), got.size(), crc);
        EXPECT_EQ(crc, p.check) << opt;
        // ZOO method 2 and BH method 1 use the -lh5- stream layout with their own settings.
        if (std::string(opt) == "o5") {
            for (const auto& other : {ae::LzhParams::Zoo(), ae::LzhParams::Bh(false)}) {
                Bytes again;
                ASSERT_TRUE(lzh(p.data, other, p.size, again).ok());
                EXPECT_TRUE(again == plain);
            }
        }
    }
}

TEST(LzhDecPeers, ArjMethods1To3) {
    PV_REQUIRE_PEER("arj");
    pvtest::TempDir dir;
    const std::string t = pvtest::sampleText(120000, 13);
    const Bytes plain(t.begin(), t.end());
    pvtest::writeBytes(dir / "in.txt", plain);
    for (int m = 1; m <= 3; ++m) {
        const std::string arc = "m" + std::to_string(m) + ".arj";
        auto run = pvtest::run("arj a -m" + std::to_string(m) + " " + arc + " in.txt", dir.path());
        ASSERT_EQ(run.status, 0) << run.out;
        const Packed p = arjEntry(pvtest::readBytes(dir / arc));
        ASSERT_EQ(p.size, plain.size());
        Bytes got;
        auto r = lzh(p.data, ae::LzhParams::Arj(false), p.size, got);
        ASSERT_TRUE(r.ok()) << "method " << m << " msg " << r.msg;
        EXPECT_TRUE(got == plain) << "method " << m;
        EXPECT_EQ(Crc32Of(got.data(), got.size()), p.check);
    }
}

TEST(LzhDecPeers, Lh6DataNeedsTheLargeWindow) {
    PV_REQUIRE_PEER("jlha");
    pvtest::TempDir dir;
    const Bytes plain = sampleInput();
    pvtest::writeBytes(dir / "in.bin", plain);
    ASSERT_EQ(pvtest::run("jlha ao6 x.lzh in.bin", dir.path()).status, 0);
    const Packed p = lhaEntry(pvtest::readBytes(dir / "x.lzh"));
    // Decoding the same data with a 26,624-byte window must refuse the far match.
    ae::LzhParams small = ae::LzhParams::Lh6();
    small.variant = 3;
    Bytes got;
    auto r = lzh(p.data, small, p.size, got);
    EXPECT_EQ(r.status, ae::DecodeStatus::Corrupt);
}

// ---- Hand-made blocks ----------------------------------------------------------------
class MsbWriter {
public:
    void bits(std::uint32_t v, unsigned n) {
        for (unsigned i = n; i-- > 0;) {
            cur_ = static_cast<std::uint8_t>(cur_ << 1 | ((v >> i) & 1));
            if (++n_ == 8) {
                out.push_back(cur_);
                cur_ = 0;
                n_ = 0;
            }
        }
    }
    Bytes finish() {
        if (n_) bits(0, 8 - n_);
        return out;
    }
    Bytes out;

private:
    std::uint8_t cur_ = 0;
    unsigned n_ = 0;
};

// A block whose three code sets are single values that take no bits.
void singleValueBlock(MsbWriter& w, unsigned count, unsigned literal, unsigned pbits) {
    w.bits(count, 16);  // block size
    w.bits(0, 5);       // code-length code: count 0,
    w.bits(0, 5);       //   value 0
    w.bits(0, 9);       // literal/length: count 0,
    w.bits(literal, 9); //  the one value
    w.bits(0, pbits);   // positions: count 0,
    w.bits(0, pbits);   //   value 0
}

TEST(LzhDecEdges, SingleValueLiteralTableTakesNoBits) {
    MsbWriter w;
    singleValueBlock(w, 1000, 'A', 4);
    Bytes got;
    auto r = lzh(w.finish(), ae::LzhParams::Lh5(), 1000, got);
    ASSERT_TRUE(r.ok()) << r.msg;
    EXPECT_EQ(got, Bytes(1000, 'A'));
}

TEST(LzhDecEdges, ZeroBlockSizeEndsShortWithoutPadding) {
    MsbWriter w;
    singleValueBlock(w, 10, 'B', 4);
    w.bits(0, 16); // block size 0: the end
    Bytes got;
    auto r = lzh(w.finish(), ae::LzhParams::Lh5(), 1 << 30, got);
    EXPECT_EQ(r.status, ae::DecodeStatus::Truncated);
    EXPECT_EQ(got, Bytes(10, 'B'));
}

TEST(LzhDecEdges, MatchBeforeTheFirstByteIsCorrupt) {
    MsbWriter w;
    singleValueBlock(w, 2, 256 + 10, 4); // matches of 13 bytes at position 0
    Bytes got;
    auto r = lzh(w.finish(), ae::LzhParams::Lh5(), 26, got);
    EXPECT_EQ(r.status, ae::DecodeStatus::Corrupt);
}

TEST(LzhDecEdges, BadTablesAreRefused) {
    struct Case {
        const char* label;
        Bytes stream;
    };
    std::vector<Case> cases;
    {
        MsbWriter w; // literal value 600 is beyond the 510 codes
        w.bits(5, 16);
        w.bits(0, 5);
        w.bits(0, 5);
        w.bits(0, 9);
        w.bits(511, 9);
        cases.push_back({"single_literal_out_of_range", w.finish()});
    }
    {
        MsbWriter w; // three code-length lengths of 1: over-subscribed
        w.bits(5, 16);
        w.bits(3, 5);
        for (int i = 0; i < 3; ++i) w.bits(1, 3);
        w.bits(0, 2); // zeros after index 3
        cases.push_back({"oversubscribed", w.finish()});
    }
    {
        MsbWriter w; // a code-length count above 19
        w.bits(5, 16);
        w.bits(25, 5);
        cases.push_back({"too_many_lengths", w.finish()});
    }
    for (const auto& c : cases) {
        Bytes got;
        auto r = lzh(c.stream, ae::LzhParams::Lh5(), 100, got);
        EXPECT_EQ(r.status, ae::DecodeStatus::Corrupt) << c.label;
        EXPECT_EQ(r.msg, ae::kMsgBadHuffman) << c.label;
    }
}

TEST(LzhDecEdges, CutPeerStreamIsTruncated) {
    PV_REQUIRE_PEER("arj");
    pvtest::TempDir dir;
    const std::string t = pvtest::sampleText(40000, 14);
    pvtest::writeFile(dir / "in.txt", t);
    ASSERT_EQ(pvtest::run("arj a -m1 a.arj in.txt", dir.path()).status, 0);
    Packed p = arjEntry(pvtest::readBytes(dir / "a.arj"));
    for (std::size_t keep : {std::size_t{0}, std::size_t{3}, p.data.size() / 2, p.data.size() - 2}) {
        Bytes cut(p.data.begin(), p.data.begin() + static_cast<long>(keep));
        Bytes got;
        auto r = lzh(cut, ae::LzhParams::Arj(false), p.size, got);
        EXPECT_NE(r.status, ae::DecodeStatus::Ok) << keep;
        EXPECT_LT(got.size(), p.size);
    }
}

} // namespace

// ---- Through an extractor ------------------------------------------------------------
#include "archive/aeUnBase.h"
#include "platform/fileio.h"

namespace {

// The first entry of an ARJ archive, decoded with DecodeLzhEntry.
class MiniArj : public TUnBase {
public:
    bool result = false;

protected:
    void ExtractArchive(int& handle, TStream*) override {
        const auto all = platform::readWholeFile(ArchiveFile());
        ASSERT_TRUE(all.has_value());
        const Packed p = arjEntry(*all);
        auto main = aehdr::parseArjHeader(*all);
        auto h = aehdr::parseArjHeader(
            aehdr::Bytes{all->data() + main->totalLength, all->size() - main->totalLength});
        std::string name = h->name;
        bool exists = false;
        if (BeginFile(name, exists, 0) != TBeginResult::brExtract) return;
        platform::seekFile(handle, static_cast<int64_t>(main->totalLength + h->totalLength));
        int out = -1;
        std::unique_ptr<TStream> stream;
        const std::string target = FileName;
        ASSERT_TRUE(CreateOutput(out, stream, name, target));
        Ctx().Crc32Value = 0xFFFFFFFF;
        result = DecodeLzhEntry(*this, handle, nullptr, out, stream.get(), ae::LzhParams::Arj(false),
                                static_cast<int64_t>(p.data.size()), static_cast<int64_t>(p.size), p.check,
                                target);
        const bool pass = (Ctx().Crc32Value ^ 0xFFFFFFFF) == p.check;
        FinishFile(out, stream, 32, h->dosDateTime, target, pass);
        FireEvent(OnEnd, *this, target, pass);
    }
};

TEST(LzhDecEntry, ArjEntryThroughTheExtractorBase) {
    PV_REQUIRE_PEER("arj");
    pvtest::TempDir dir;
    const std::string t = pvtest::sampleText(50000, 15);
    pvtest::writeFile(dir / "in.txt", t);
    ASSERT_EQ(pvtest::run("arj a -m2 a.arj in.txt", dir.path()).status, 0);
    Bytes arc = pvtest::readBytes(dir / "a.arj");
    for (bool damage : {false, true}) {
        if (damage) {
            arc[arc.size() - 200] ^= 0xFF; // inside the compressed data
            pvtest::writeBytes(dir / "a.arj", arc);
        }
        MiniArj u;
        std::vector<bool> ends;
        u.OnEnd = [&](TZipCommon&, const std::string&, bool pass) { ends.push_back(pass); };
        u.SetArchiveFile((dir / "a.arj").string());
        u.SetExtractDir((dir / "out").string());
        u.Extract();
        ASSERT_EQ(ends.size(), 1u);
        EXPECT_EQ(ends[0], !damage);
        EXPECT_EQ(pvtest::fs::exists(dir / "out/in.txt"), !damage);
        if (!damage) {
            EXPECT_EQ(pvtest::readFile(dir / "out/in.txt"), t);
            pvtest::fs::remove_all(dir / "out");
        }
    }
}

} // namespace
