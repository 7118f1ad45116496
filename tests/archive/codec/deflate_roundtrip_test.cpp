// The deflate encoder: every output inflates back byte-exact with zlib and with our own
// inflate at every effort, or is the input itself when the encoder stored the whole file.
#include "archive/codec/aeDeflate.h"
#include "archive/codec/aeInflate.h"
#include "support/gendata.h"
#include "support/testutil.h"
#include "support/zlibutil.h"

#include <zlib.h>

#include <cstring>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kLevels[] = {1, 2, 7, 9}; // dtDeflateS, F, N, X

Bytes zlibInflate(const Bytes& packed, size_t expected) {
    pvtest::ZlibInflated z = pvtest::zlibInflateRaw(packed, expected + 64);
    EXPECT_EQ(z.rc, Z_STREAM_END) << "zlib: " << z.msg;
    EXPECT_EQ(z.inputLeft, 0u) << "bytes after the final block";
    return std::move(z.data);
}

Bytes ourInflate(const Bytes& packed) {
    ae::VectorSink sink;
    const ae::DecodeResult r = ae::Inflate(packed, sink);
    EXPECT_TRUE(r.ok()) << "our inflate: status " << static_cast<int>(r.status) << " msg " << r.msg;
    return sink.data;
}

// Delivers the input in reads of at most `chunk` bytes, and may ask to stop after some reads.
class ChunkIo final : public TDeflateIo {
public:
    ChunkIo(const Bytes& in, size_t chunk, int cancelAfterReads = -1)
        : in_{in}, chunk_{chunk}, cancelAfter_{cancelAfterReads} {}
    int64_t ReadInput(uint8_t* buffer, int64_t count) override {
        ++reads;
        EXPECT_GT(count, 0);
        const size_t n = std::min({static_cast<size_t>(count), chunk_, in_.size() - pos_});
        std::memcpy(buffer, in_.data() + pos_, n);
        pos_ += n;
        return static_cast<int64_t>(n);
    }
    void WriteOutput(const uint8_t* buffer, int64_t count) override {
        out.insert(out.end(), buffer, buffer + count);
    }
    bool Cancelled() override { return cancelAfter_ >= 0 && reads >= cancelAfter_; }
    Bytes out;
    int reads = 0;
    size_t consumed() const { return pos_; }

private:
    const Bytes& in_;
    size_t chunk_;
    int cancelAfter_;
    size_t pos_ = 0;
};

void expectRoundTrip(const Bytes& in, int level, const std::string& what) {
    SCOPED_TRACE(what + " level " + std::to_string(level));
    bool stored = false;
    const Bytes packed = DeflateBuffer(in, level, &stored);
    if (in.empty()) {
        EXPECT_TRUE(packed.empty()) << "an empty input writes nothing";
        EXPECT_FALSE(stored);
        return;
    }
    if (stored) {
        EXPECT_EQ(packed, in) << "a stored file is the input itself";
        return;
    }
    EXPECT_EQ(zlibInflate(packed, in.size()), in);
    EXPECT_EQ(ourInflate(packed), in);
}

Bytes repeated(size_t n, uint8_t b) {
    return Bytes(n, b);
}

Bytes textBytes(size_t n, uint32_t seed = 1) {
    const std::string s = pvtest::sampleText(n, seed);
    return Bytes(s.begin(), s.end());
}

TEST(DeflateRoundTrip, EdgeInputsAtEveryEffort) {
    struct Case {
        const char* what;
        Bytes data;
    };
    Bytes runs; // long runs of alternating bytes: matches of 258 at distance 1 and far ones
    for (int i = 0; i < 40; ++i) runs.insert(runs.end(), 3000 + 37 * i, static_cast<uint8_t>('a' + i % 3));
    Bytes mixed = pvtest::randomBytes(70000, 7); // incompressible, then compressible: block choices change
    const Bytes text = textBytes(200000, 3);
    mixed.insert(mixed.end(), text.begin(), text.end());
    const Case cases[] = {
        {"empty", {}},
        {"one byte", {0x41}},
        {"two bytes", {0, 0xFF}},
        {"64 KiB + 1 of one byte", repeated(65537, 'x')},
        {"twice the window + 1 of zeros", repeated(2 * 32768 + 1, 0)},
        {"random 100 KiB", pvtest::randomBytes(100 * 1024, 5)},
        {"random 300 bytes", pvtest::randomBytes(300, 9)},
        {"random 1 MiB", pvtest::randomBytes(1 << 20, 11)},
        {"text 1 MiB", textBytes(1 << 20, 2)},
        {"runs", runs},
        {"random then text", mixed},
    };
    for (const auto& c : cases)
        for (int level : kLevels) expectRoundTrip(c.data, level, c.what);
}

TEST(DeflateRoundTrip, GeneratedKindsAtEveryEffort) {
    for (pvtest::DataKind kind : pvtest::kAllKinds)
        for (size_t n : {size_t{70000}, size_t{(1 << 20) + 259}}) {
            const Bytes in = pvtest::genData(kind, n, 17);
            for (int level : kLevels)
                expectRoundTrip(in, level, pvtest::kindName(kind) + (" " + std::to_string(n)));
        }
}

TEST(DeflateRoundTrip, ShortReadsGiveTheSameStream) {
    // The window is refilled whenever fewer than 262 bytes are ahead, so the size of the
    // reads must not change a single decision.
    const Bytes in = [] {
        Bytes t = textBytes(150000, 4);
        const Bytes r = pvtest::randomBytes(20000, 4);
        t.insert(t.begin() + 50000, r.begin(), r.end());
        return t;
    }();
    for (int level : kLevels) {
        const Bytes whole = DeflateBuffer(in, level);
        for (size_t chunk : {size_t{1}, size_t{261}, size_t{4096}, size_t{40000}}) {
            ChunkIo io{in, chunk};
            const TDeflateResult r = Deflate(io, level);
            EXPECT_FALSE(r.Stored);
            EXPECT_EQ(r.Bytes, static_cast<int64_t>(io.out.size()));
            EXPECT_EQ(io.out, whole) << "level " << level << " reads of " << chunk;
        }
    }
}

TEST(DeflateRoundTrip, SmallInputsChooseStoredFixedOrWholeFileStored) {
    // Random bytes: their own codes beat the fixed ones, and raw is smaller still: the file
    // is stored as it is.
    bool stored = false;
    const Bytes noise = pvtest::randomBytes(2000, 21);
    EXPECT_EQ(DeflateBuffer(noise, 7, &stored), noise);
    EXPECT_TRUE(stored);

    // One byte: the fixed code (3 bytes) is not larger than new codes, so no whole-file
    // storing; a stored block would take 1 + 4 bytes, so a fixed block it is.
    const Bytes one = {'a'};
    const Bytes packed = DeflateBuffer(one, 7, &stored);
    EXPECT_FALSE(stored);
    ASSERT_FALSE(packed.empty());
    EXPECT_EQ(packed[0] & 7, 3) << "final fixed block";
    EXPECT_EQ(packed.size(), 3u);

    // Larger random data spans several blocks: the first goes out before the end is known,
    // so the stream keeps its stored blocks instead.
    const Bytes big = pvtest::randomBytes(200000, 22);
    const Bytes many = DeflateBuffer(big, 9, &stored);
    EXPECT_FALSE(stored);
    EXPECT_EQ(many[0] & 7, 0) << "first block stored, not final";
    EXPECT_LE(many.size(), big.size() + 5 * (big.size() / 32767 + 2));
    EXPECT_EQ(zlibInflate(many, big.size()), big);
}

TEST(DeflateRoundTrip, CancelStillEndsWithAFinalBlock) {
    const Bytes in = textBytes(400000, 8);
    for (int level : kLevels) {
        ChunkIo io{in, 8192, 3};
        const TDeflateResult r = Deflate(io, level);
        EXPECT_FALSE(r.Stored);
        EXPECT_EQ(r.Bytes, static_cast<int64_t>(io.out.size()));
        // A valid stream of a prefix of what was read.
        const Bytes got = zlibInflate(io.out, in.size());
        EXPECT_LE(got.size(), io.consumed());
        EXPECT_LT(got.size(), in.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), in.begin())) << "level " << level;
    }
}

TEST(DeflateRoundTrip, EffortsOrderTheRatio) {
    const Bytes in = textBytes(150000, 29);
    const size_t s = DeflateBuffer(in, 1).size(), f = DeflateBuffer(in, 2).size();
    const size_t n = DeflateBuffer(in, 7).size(), x = DeflateBuffer(in, 9).size();
    EXPECT_GT(s, f);
    EXPECT_GT(f, n);
    EXPECT_GE(n, x);
    EXPECT_LT(x, in.size() * 40 / 100) << "text compresses to well under half";
}

TEST(DeflateTool, PrintsWhetherItStored) {
    pvtest::TempDir tmp;
    pvtest::writeBytes(tmp / "text", textBytes(50000, 5));
    pvtest::writeBytes(tmp / "noise", pvtest::randomBytes(3000, 6));
    struct Case {
        const char* input;
        const char* effort;
        const char* kind;
    };
    for (const Case c :
         {Case{"text", "-S", "deflate"}, Case{"text", "-X", "deflate"}, Case{"noise", "-N", "stored"}}) {
        const auto out = tmp / (std::string(c.input) + c.effort);
        const auto r = pvtest::run(pvtest::q(pvtest::aetool().string()) + " deflate " + c.effort + " " +
                                   pvtest::q((tmp / c.input).string()) + " " + pvtest::q(out.string()));
        ASSERT_EQ(r.status, 0) << r.out;
        const Bytes in = pvtest::readBytes(tmp / c.input), packed = pvtest::readBytes(out);
        EXPECT_EQ(r.out, std::string(c.kind) + "\t" + std::to_string(in.size()) + "\t" +
                             std::to_string(packed.size()) + "\n");
        if (std::string(c.kind) == "stored")
            EXPECT_EQ(packed, in);
        else
            EXPECT_EQ(zlibInflate(packed, in.size()), in);
    }
    const auto bad = pvtest::run(pvtest::q(pvtest::aetool().string()) + " deflate -S -X a b");
    EXPECT_EQ(bad.status, 2);
}

} // namespace
