// Inflate against zlib: generated data of every kind at levels 1, 6 and 9 (raw deflate), fed in
// several chunk sizes, plus hand-made streams for the edges of the format.
#include "archive/codec/aeInflate.h"
#include "gendata.h"
#include "testutil.h"
#include "zlibutil.h"

#include <zlib.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using u8 = std::uint8_t;

Bytes zDeflate(const Bytes& in, int level, int strategy = Z_DEFAULT_STRATEGY) {
    return pvtest::zlibDeflateRaw(in, level, 9, strategy);
}

// A source that hands out at most `chunk` bytes per read, to move the buffer edges.
class ChunkSource final : public ae::DecodeSource {
public:
    ChunkSource(const Bytes& d, std::size_t chunk) : d_{d}, chunk_{chunk} {}
    std::size_t Read(std::uint8_t* buf, std::size_t n) override {
        const std::size_t k = std::min({n, chunk_, d_.size() - pos_});
        std::copy_n(d_.data() + pos_, k, buf);
        pos_ += k;
        return k;
    }

private:
    const Bytes& d_;
    std::size_t chunk_, pos_ = 0;
};

ae::DecodeResult inflateChunked(const Bytes& packed, Bytes& out, std::size_t chunk,
                                std::uint64_t limit = ae::kSizeUnknown) {
    ChunkSource src{packed, chunk};
    ae::InputBuffer in{src};
    ae::VectorSink sink;
    ae::Inflater inf{sink};
    auto r = inf.Run(in, limit);
    out = std::move(sink.data);
    return r;
}

TEST(InflateZlib, GeneratedKindsAtLevels1_6_9) {
    for (pvtest::DataKind kind : pvtest::kAllKinds) {
        const Bytes plain = pvtest::genData(kind, 600000, 23);
        for (int level : {1, 6, 9}) {
            const Bytes packed = zDeflate(plain, level);
            Bytes got;
            auto r = inflateChunked(packed, got, 1 << 20);
            ASSERT_TRUE(r.ok()) << pvtest::kindName(kind) << " level " << level << " msg " << r.msg;
            ASSERT_EQ(r.produced, plain.size());
            ASSERT_TRUE(got == plain) << pvtest::kindName(kind) << " level " << level;
        }
    }
}

TEST(InflateZlib, ChunkSizesAndStrategies) {
    const Bytes plain = [] {
        auto t = pvtest::sampleText(300000, 7);
        Bytes b(t.begin(), t.end());
        auto r = pvtest::randomBytes(70000, 3);
        b.insert(b.begin() + 1000, r.begin(), r.end());
        return b;
    }();
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY, Z_RLE, Z_FILTERED}) {
        const Bytes packed = zDeflate(plain, 6, strategy);
        for (std::size_t chunk : {1u, 7u, 4096u, 65536u}) {
            Bytes got;
            auto r = inflateChunked(packed, got, chunk);
            ASSERT_TRUE(r.ok()) << "strategy " << strategy << " chunk " << chunk;
            ASSERT_TRUE(got == plain) << "strategy " << strategy << " chunk " << chunk;
        }
    }
}

TEST(InflateZlib, LeavesTrailingBytesUnread) {
    const Bytes plain = Bytes(5000, 'x');
    Bytes packed = zDeflate(plain, 9);
    const std::size_t streamLen = packed.size();
    for (int b : {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02, 0x03, 0x04, 0x05}) packed.push_back(u8(b));
    ae::SpanSource src{packed};
    ae::InputBuffer in{src};
    ae::VectorSink sink;
    ae::Inflater inf{sink};
    ASSERT_TRUE(inf.Run(in).ok());
    EXPECT_EQ(in.getByte(), 0xDE);
    EXPECT_EQ(src.pos() - in.avail() - 1, streamLen);
}

// ---- Hand-made streams ---------------------------------------------------------------
// Writes bits least significant first, as deflate stores them.
class BitWriter {
public:
    void bits(std::uint32_t v, unsigned n) {
        for (unsigned i = 0; i < n; ++i) put((v >> i) & 1);
    }
    // Huffman codes go most significant bit first.
    void code(std::uint32_t c, unsigned n) {
        for (unsigned i = n; i-- > 0;) put((c >> i) & 1);
    }
    void align() {
        while (nbits_) put(0);
    }
    void byte(std::uint8_t b) { out.push_back(b); }
    Bytes out;

private:
    void put(unsigned b) {
        cur_ |= b << nbits_;
        if (++nbits_ == 8) {
            out.push_back(static_cast<std::uint8_t>(cur_));
            cur_ = nbits_ = 0;
        }
    }
    unsigned cur_ = 0, nbits_ = 0;
};

// Fixed-code helpers (RFC 1951 3.2.6).
void fixedLit(BitWriter& w, unsigned sym) {
    if (sym < 144)
        w.code(0x30 + sym, 8);
    else if (sym < 256)
        w.code(0x190 + sym - 144, 9);
    else if (sym < 280)
        w.code(sym - 256, 7);
    else
        w.code(0xC0 + sym - 280, 8);
}

void storedBlock(BitWriter& w, bool last, const Bytes& data) {
    w.bits(last, 1);
    w.bits(0, 2);
    w.align();
    const auto len = static_cast<std::uint16_t>(data.size());
    w.byte(u8(len & 0xFF));
    w.byte(u8(len >> 8));
    w.byte(u8(~len & 0xFF));
    w.byte(u8((~len >> 8) & 0xFF));
    for (auto b : data) w.byte(b);
}

Bytes zInflate(const Bytes& packed, bool& ok) {
    pvtest::ZlibInflated z = pvtest::zlibInflateRaw(packed, 1 << 20);
    ok = z.rc == Z_STREAM_END;
    return std::move(z.data);
}

void expectSameAsZlib(const Bytes& packed, std::size_t wantSize) {
    bool zok = false;
    const Bytes ref = zInflate(packed, zok);
    ASSERT_TRUE(zok) << "the hand-made stream must be valid for zlib";
    ASSERT_EQ(ref.size(), wantSize);
    for (std::size_t chunk : {1u, 3u, 65536u}) {
        // Unknown size, and the declared size (which sizes the output buffer down).
        for (std::uint64_t limit : {ae::kSizeUnknown, std::uint64_t{wantSize}}) {
            Bytes got;
            auto r = inflateChunked(packed, got, chunk, limit);
            ASSERT_TRUE(r.ok()) << "msg " << r.msg;
            EXPECT_TRUE(got == ref);
        }
    }
}

TEST(InflateEdges, EmptyStoredFinalBlock) {
    BitWriter w;
    storedBlock(w, true, {});
    expectSameAsZlib(w.out, 0);
}

TEST(InflateEdges, StoredBlockOf65535Bytes) {
    BitWriter w;
    const Bytes data = pvtest::randomBytes(65535, 9);
    storedBlock(w, false, data);
    storedBlock(w, true, data);
    expectSameAsZlib(w.out, 2 * 65535);
}

TEST(InflateEdges, FixedBlockWithDistance32768AndLength258) {
    BitWriter w;
    const Bytes data = pvtest::randomBytes(32768, 5);
    storedBlock(w, false, data);
    w.bits(1, 1);     // last
    w.bits(1, 2);     // fixed
    fixedLit(w, 285); // length 258, no extra bits
    w.code(29, 5);    // distance code 29: base 24577, 13 extra bits
    w.bits(32768 - 24577, 13);
    fixedLit(w, 'A');
    fixedLit(w, 256);
    w.align();
    expectSameAsZlib(w.out, 32768 + 258 + 1);
}

TEST(InflateEdges, ManyBufferTurnsWithFarMatches) {
    // 300 KiB of stored data and matches reaching 32768 back, with a small buffer.
    BitWriter w;
    Bytes want;
    for (int i = 0; i < 5; ++i) {
        const Bytes data = pvtest::randomBytes(65535, 30 + static_cast<std::uint32_t>(i));
        storedBlock(w, false, data);
        want.insert(want.end(), data.begin(), data.end());
    }
    w.bits(1, 1);
    w.bits(1, 2);
    for (int i = 0; i < 300; ++i) {
        fixedLit(w, 285);
        w.code(29, 5);
        w.bits(32768 - 24577, 13);
        for (int k = 0; k < 258; ++k) want.push_back(want[want.size() - 32768]);
    }
    fixedLit(w, 256);
    w.align();
    expectSameAsZlib(w.out, want.size());
    Bytes got;
    ASSERT_TRUE(inflateChunked(w.out, got, 4096, want.size()).ok());
    EXPECT_TRUE(got == want);
}

TEST(InflateEdges, OverlappingShortDistances) {
    BitWriter w;
    w.bits(1, 1);
    w.bits(1, 2);
    for (unsigned c : {'a', 'b', 'c'}) fixedLit(w, c);
    for (unsigned dist = 1; dist <= 9; ++dist) {
        fixedLit(w, 284); // lengths 227..257
        w.bits(30, 5);
        w.code(dist - 1 < 4 ? dist - 1 : 4 + (dist - 5) / 2, 5);
        if (dist >= 5) w.bits((dist - 5) % 2, 1);
    }
    fixedLit(w, 256);
    w.align();
    expectSameAsZlib(w.out, 3 + 9 * 257);
}

// Every short distance (the copies widen a pattern below 8, move in words below 16) with
// lengths around each store width, so that each copy's overshoot is overwritten by what
// follows and never shows.
TEST(InflateEdges, EveryShortDistanceAtEveryCopyWidth) {
    static const unsigned lenBase[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const unsigned lenExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                        2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const unsigned distBase[] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                        33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                        1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static const unsigned distExtra[] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    auto match = [](BitWriter& w, unsigned len, unsigned dist) {
        unsigned i = 28;
        while (lenBase[i] > len) --i;
        fixedLit(w, 257 + i);
        w.bits(len - lenBase[i], lenExtra[i]);
        unsigned j = 29;
        while (distBase[j] > dist) --j;
        w.code(j, 5);
        w.bits(dist - distBase[j], distExtra[j]);
    };
    BitWriter w;
    w.bits(1, 1);
    w.bits(1, 2);
    std::size_t size = 0;
    for (unsigned c = 0; c < 40; ++c, ++size) fixedLit(w, 'A' + c); // a history of distinct bytes
    for (unsigned dist = 1; dist <= 40; ++dist) {
        for (unsigned len : {3u,  4u,  5u,  6u,  7u,  8u,  9u,  13u, 14u, 15u,  16u,  17u, 18u,
                             31u, 32u, 33u, 34u, 47u, 48u, 63u, 64u, 65u, 100u, 257u, 258u}) {
            match(w, len, dist);
            fixedLit(w, 'a' + (len + dist) % 26); // a marker the overshoot must not spoil
            size += len + 1;
        }
    }
    fixedLit(w, 256);
    w.align();
    expectSameAsZlib(w.out, size);
}

// ---- Bad input -----------------------------------------------------------------------
struct BadCase {
    const char* label;
    Bytes stream;
    ae::DecodeStatus want;
    int msg;
};

std::vector<BadCase> badCases() {
    std::vector<BadCase> v;
    {
        BitWriter w; // block type 3
        w.bits(1, 1);
        w.bits(3, 2);
        w.align();
        v.push_back({"block_type_3", w.out, ae::DecodeStatus::Corrupt, ae::kMsgBadBlock});
    }
    {
        BitWriter w; // NLEN is not the complement of LEN
        w.bits(1, 1);
        w.bits(0, 2);
        w.align();
        for (int b : {5, 0, 0, 0}) w.byte(u8(b));
        v.push_back({"stored_nlen", w.out, ae::DecodeStatus::Corrupt, ae::kMsgBadBlock});
    }
    {
        BitWriter w; // HLIT 288 (286 is the most valid data may use)
        w.bits(1, 1);
        w.bits(2, 2);
        w.bits(31, 5);
        w.bits(0, 5);
        w.bits(0, 4);
        w.align();
        w.byte(0);
        w.byte(0);
        v.push_back({"hlit_288", w.out, ae::DecodeStatus::Corrupt, ae::kMsgBadLengths});
    }
    {
        BitWriter w; // distance reaches before the first byte
        w.bits(1, 1);
        w.bits(1, 2);
        fixedLit(w, 'x');
        fixedLit(w, 257);
        w.code(1, 5); // distance 2
        fixedLit(w, 256);
        w.align();
        v.push_back({"distance_too_far", w.out, ae::DecodeStatus::Corrupt, ae::kMsgBadBlock});
    }
    {
        BitWriter w; // distance code 30 is not defined
        w.bits(1, 1);
        w.bits(1, 2);
        fixedLit(w, 'x');
        fixedLit(w, 257);
        w.code(30, 5);
        fixedLit(w, 256);
        w.align();
        v.push_back({"distance_code_30", w.out, ae::DecodeStatus::Corrupt, ae::kMsgBadBlock});
    }
    {
        BitWriter w; // dynamic block whose code-length code is over-subscribed
        w.bits(1, 1);
        w.bits(2, 2);
        w.bits(0, 5);
        w.bits(0, 5);
        w.bits(15, 4); // 19 code-length lengths
        for (int i = 0; i < 19; ++i) w.bits(1, 3);
        w.align();
        v.push_back({"oversubscribed", w.out, ae::DecodeStatus::Corrupt, ae::kMsgBadBlock});
    }
    {
        BitWriter w; // a repeat code 16 with no previous length
        w.bits(1, 1);
        w.bits(2, 2);
        w.bits(0, 5);
        w.bits(0, 5);
        w.bits(0, 4); // 4 lengths: for 16, 17, 18, 0
        w.bits(1, 3);
        w.bits(0, 3);
        w.bits(0, 3);
        w.bits(1, 3); // codes: 0 -> '0', 16 -> '1'
        w.code(1, 1);
        w.bits(0, 2);
        w.align();
        v.push_back({"repeat_first", w.out, ae::DecodeStatus::Corrupt, ae::kMsgBadBlock});
    }
    {
        BitWriter w; // stream cut inside a fixed block
        w.bits(0, 1);
        w.bits(1, 2);
        for (int i = 0; i < 40; ++i) fixedLit(w, 'q');
        w.align();
        v.push_back({"cut_in_block", w.out, ae::DecodeStatus::Truncated, 0});
    }
    {
        BitWriter w; // stored block longer than the input
        storedBlock(w, true, Bytes(100, 1));
        w.out.resize(w.out.size() - 10);
        v.push_back({"stored_short", w.out, ae::DecodeStatus::Truncated, 0});
    }
    v.push_back({"empty_input", {}, ae::DecodeStatus::Truncated, 0});
    return v;
}

TEST(InflateBadInput, EachCaseHasItsVerdict) {
    for (const auto& c : badCases()) {
        for (std::size_t chunk : {1u, 65536u}) {
            Bytes got;
            auto r = inflateChunked(c.stream, got, chunk);
            EXPECT_EQ(r.status, c.want) << c.label;
            EXPECT_EQ(r.msg, c.msg) << c.label;
            bool zok = true;
            zInflate(c.stream, zok);
            EXPECT_FALSE(zok) << c.label << ": zlib accepts it too";
        }
    }
}

TEST(InflateBadInput, DeclaredSizeStopsOutput) {
    const Bytes plain(100000, 'z');
    const Bytes packed = zDeflate(plain, 9);
    ae::CountingSink sink;
    auto r = ae::Inflate(packed, sink, 1000);
    EXPECT_EQ(r.status, ae::DecodeStatus::TooLong);
    EXPECT_LE(sink.count, 1000u);
    ae::CountingSink sink2;
    EXPECT_EQ(ae::Inflate(packed, sink2, 200000).status, ae::DecodeStatus::Truncated);
    ae::CountingSink sink3;
    EXPECT_TRUE(ae::Inflate(packed, sink3, 100000).ok());
    // Written in place: the declared size bounds the output even where the lent room is
    // larger, and nothing past it is touched.
    for (std::size_t room : {std::size_t{1000}, std::size_t{5000}, std::size_t{200000}}) {
        Bytes mem(room, 0xAA);
        ae::SpanSink lent{mem};
        const auto rl = ae::Inflate(packed, lent, 1000);
        EXPECT_EQ(rl.status, ae::DecodeStatus::TooLong) << room;
        EXPECT_EQ(lent.size(), rl.produced) << room;
        EXPECT_LE(lent.size(), 1000u) << room;
        EXPECT_TRUE(std::all_of(mem.begin(), mem.begin() + static_cast<std::ptrdiff_t>(lent.size()),
                                [](u8 c) { return c == 'z'; }))
            << room;
        EXPECT_TRUE(std::all_of(mem.begin() + 1000, mem.end(), [](u8 c) { return c == 0xAA; })) << room;
    }
}

} // namespace

namespace {

// Damaged copies of real streams: wherever zlib decodes a stream, ours gives the same
// bytes; wherever zlib finds the data invalid, ours says Corrupt; where zlib wants more
// input, ours says Truncated.
TEST(InflateZlib, SameVerdictsOnDamagedStreams) {
    const Bytes plain = [] {
        auto t = pvtest::sampleText(6000, 17);
        return Bytes(t.begin(), t.end());
    }();
    std::uint32_t seed = 12345;
    auto rnd = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    int agreedOk = 0, agreedBad = 0;
    Bytes lentRoom(1 << 20);
    for (int level : {1, 6, 9}) {
        for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED}) {
            const Bytes good = zDeflate(plain, level, strategy);
            for (int i = 0; i < 400; ++i) {
                Bytes bad = good;
                const unsigned flips = 1 + rnd() % 3;
                for (unsigned k = 0; k < flips; ++k)
                    bad[rnd() % bad.size()] ^= static_cast<u8>(1u << (rnd() % 8));
                if (rnd() % 4 == 0) bad.resize(rnd() % bad.size());
                const pvtest::ZlibInflated z = pvtest::zlibInflateRaw(bad, 1 << 20);
                const int zr = z.rc;
                const Bytes& ref = z.data;
                Bytes got;
                const auto r = inflateChunked(bad, got, 1 << 16);
                // The same stream written in place into lent memory of zlib's room.
                ae::InputBuffer whole{std::span<const u8>{bad}};
                ae::SpanSink lent{lentRoom};
                const auto rl = ae::Inflater{lent}.Run(whole, lentRoom.size());
                if (zr == Z_STREAM_END) {
                    ASSERT_TRUE(r.ok()) << "case " << i;
                    ASSERT_TRUE(got == ref) << "case " << i;
                    ASSERT_TRUE(rl.ok()) << "case " << i;
                    ASSERT_TRUE(
                        std::equal(ref.begin(), ref.end(), lentRoom.begin(), lentRoom.begin() + rl.produced))
                        << "case " << i;
                    ++agreedOk;
                } else if (zr == Z_DATA_ERROR) {
                    ASSERT_EQ(r.status, ae::DecodeStatus::Corrupt) << "case " << i;
                    ASSERT_EQ(rl.status, ae::DecodeStatus::Corrupt) << "case " << i;
                    ++agreedBad;
                } else if (zr == Z_BUF_ERROR && z.roomLeft != 0) {
                    ASSERT_EQ(r.status, ae::DecodeStatus::Truncated) << "case " << i;
                    ASSERT_EQ(rl.status, ae::DecodeStatus::Truncated) << "case " << i;
                    ++agreedBad;
                }
            }
        }
    }
    EXPECT_GT(agreedOk, 0);
    EXPECT_GT(agreedBad, 1000);
}

} // namespace
