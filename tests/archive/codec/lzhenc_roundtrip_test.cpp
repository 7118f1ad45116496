// The LZH encoder against the LZH decoder: every parameter set at real sizes, around the
// window, symbol-buffer and decoder output-chunk (64 KiB) boundaries, the one-symbol block forms and
// incompressible data.
#include "archive/codec/aeLzhDecode.h"
#include "archive/codec/aeLzhEncode.h"
#include "gendata.h"
#include "testutil.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Variant {
    const char* name;
    ae::LzhEncodeParams enc;
    ae::LzhParams dec;
};
const Variant kVariants[] = {
    {"lh5", ae::LzhEncodeParams::Lh5(), ae::LzhParams::Lh5()},
    {"lh6", ae::LzhEncodeParams::Lh6(), ae::LzhParams::Lh6()},
    {"fuse", ae::LzhEncodeParams::Fuse(), ae::LzhParams::Bh(false)},
};

bool decodes(const Bytes& packed, const ae::LzhParams& p, const Bytes& want) {
    ae::SpanSource src{packed};
    ae::InputBuffer in{src};
    ae::VectorSink sink;
    const ae::DecodeResult r = ae::LzhDecode(in, sink, p, want.size());
    return r.ok() && sink.data == want;
}

TEST(LzhEncode, RoundTripsEveryKindAtWindowBoundaries) {
    const std::size_t sizes[] = {
        1,     2,           3,     255,   8191,  8192,        8192 + 256,  8193 + 256,     16384,  32767,
        32768, 32768 + 256, 65535, 65536, 65537, 65536 + 255, 65536 + 257, 2 * 65536 + 16, 1 << 20};
    for (const Variant& v : kVariants)
        for (pvtest::DataKind kind : pvtest::kAllKinds)
            for (std::size_t n : sizes) {
                const Bytes in = pvtest::genData(kind, n, n + 7);
                bool incompressible = false;
                const Bytes out = ae::LzhEncodeBuffer(in, v.enc, &incompressible);
                if (incompressible) {
                    EXPECT_LE(out.size(), in.size()) << v.name;
                    continue;
                }
                EXPECT_LT(out.size(), in.size() + 1) << v.name;
                EXPECT_TRUE(decodes(out, v.dec, in)) << v.name << " " << pvtest::kindName(kind) << " " << n;
            }
}

// A small input gets a narrower dictionary, which must not change a single bit of the stream:
// sizes on both sides of each narrower window's edge (its width less one look-ahead).
TEST(LzhEncode, NarrowDictionaryForSmallInputsWritesTheSameStream) {
    for (const Variant& v : kVariants)
        for (pvtest::DataKind kind : pvtest::kAllKinds)
            for (int bits = 10; bits <= v.enc.dicBits; ++bits)
                for (long delta : {-300L, -257L, -256L, -255L}) {
                    const std::size_t n = static_cast<std::size_t>((1L << bits) + delta);
                    const Bytes in = pvtest::genData(kind, n, n + 3);
                    ae::LzhEncodeParams full = v.enc;
                    full.fitWindowToInput = false;
                    bool fitIncompressible = false, fullIncompressible = false;
                    const Bytes fit = ae::LzhEncodeBuffer(in, v.enc, &fitIncompressible);
                    const Bytes whole = ae::LzhEncodeBuffer(in, full, &fullIncompressible);
                    EXPECT_EQ(fitIncompressible, fullIncompressible) << v.name << " " << n;
                    EXPECT_TRUE(fit == whole) << v.name << " " << pvtest::kindName(kind) << " " << n;
                }
}

TEST(LzhEncode, SeveralMegabytesOfMixedData) {
    const Bytes in = pvtest::genData(pvtest::DataKind::Mixed, 5 << 20, 99);
    for (const Variant& v : kVariants) {
        bool incompressible = true;
        const Bytes out = ae::LzhEncodeBuffer(in, v.enc, &incompressible);
        ASSERT_FALSE(incompressible) << v.name;
        EXPECT_TRUE(decodes(out, v.dec, in)) << v.name;
    }
}

TEST(LzhEncode, EqualBytesBecomeLongestMatchesAtDistanceOne) {
    const Bytes in(10000, 'x');
    for (const Variant& v : kVariants) {
        const Bytes out = ae::LzhEncodeBuffer(in, v.enc);
        EXPECT_LT(out.size(), 40u) << v.name; // one literal, 39 matches of 256, one of 16
        EXPECT_TRUE(decodes(out, v.dec, in)) << v.name;
    }
}

// Runs of every short period, which the decoder copies by widening a pattern (below 8)
// or in words (below 16).
TEST(LzhEncode, ShortPeriodsRoundTrip) {
    Bytes in;
    for (std::size_t period = 1; period <= 17; ++period)
        for (std::size_t i = 0; i < 3000 + period; ++i)
            in.push_back(static_cast<std::uint8_t>('a' + i % period));
    for (const Variant& v : kVariants)
        EXPECT_TRUE(decodes(ae::LzhEncodeBuffer(in, v.enc), v.dec, in)) << v.name;
}

TEST(LzhEncode, OneSymbolBlockUsesTheShortForm) {
    // Two equal literals and no match: one literal/length symbol and no position code. (So
    // short a block is bigger than its input: the size given lets it through.)
    struct TwoBytes final : ae::TLzhEncodeIo {
        int64_t ReadInput(uint8_t* b, int64_t n) override {
            const int64_t k = std::min<int64_t>(n, 2 - at);
            std::fill(b, b + k, 'a');
            at += k;
            return k;
        }
        void WriteOutput(const uint8_t* b, int64_t n) override { out.insert(out.end(), b, b + n); }
        int64_t at = 0;
        Bytes out;
    } io;
    const Bytes in = {'a', 'a'};
    const ae::LzhEncodeResult r = ae::LzhEncode(io, ae::LzhEncodeParams::Lh5(), 100);
    EXPECT_FALSE(r.Incompressible);
    const Bytes& out = io.out;
    // 16 bits count 2 | 5 bits 0 | 5 bits 0 | 9 bits 0 | 9 bits 'a' | 4 bits 0 | 4 bits 0 | then
    // the two symbols with codes of no bits, and zero bits to the byte's end.
    const Bytes want = {0x00, 0x02, 0x00, 0x00, 0x06, 0x10, 0x00};
    EXPECT_EQ(out, want);
    EXPECT_TRUE(decodes(out, ae::LzhParams::Lh5(), in));
}

TEST(LzhEncode, RandomDataStopsAtTheInputSize) {
    for (const Variant& v : kVariants) {
        const Bytes in = pvtest::randomBytes(200000, 5);
        bool incompressible = false;
        const Bytes out = ae::LzhEncodeBuffer(in, v.enc, &incompressible);
        EXPECT_TRUE(incompressible) << v.name;
        EXPECT_LT(out.size(), in.size()) << v.name;
    }
}

} // namespace
