// Inflate against zlib at the sizes real entries have: generated data of every kind, from
// nothing to megabytes, with sizes at and around the decoder's window, its small and large
// output chunks and its input buffer (each ± the longest match and the fast loop's margin),
// with the size declared (as zip entries do) and unknown (as gzip members are).
#include "archive/codec/aeInflate.h"
#include "archive/codec/aeInflatePaths.h"
#include "gendata.h"
#include "testutil.h"
#include "zlibutil.h"

#include <zlib.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using pvtest::DataKind;

// A source that hands out at most `chunk` bytes per read, so the input edges move too.
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

constexpr std::size_t kWindow = 32768, kSmallChunk = 65536, kChunk = 1 << 20;
constexpr std::size_t kMatch = 258, kFastMargin = 292;

std::vector<std::size_t> boundarySizes() {
    std::vector<std::size_t> v{0, 1, 2, 257, 258, 259, 4096};
    for (std::size_t edge : {kWindow, kSmallChunk, kChunk, kChunk + kWindow, 2 * kChunk})
        for (long d : {-static_cast<long>(kFastMargin) - 1, -static_cast<long>(kMatch), -1L, 0L, 1L,
                       static_cast<long>(kMatch), static_cast<long>(kFastMargin) + 1})
            v.push_back(static_cast<std::size_t>(static_cast<long>(edge) + d));
    v.push_back(1943360); // the size of a log that once overran the output
    v.push_back(3 * kChunk + 12345);
    return v;
}

void expectRoundTrip(const Bytes& plain, int level, const std::string& what) {
    const Bytes packed = pvtest::zlibDeflateRaw(plain, level);
    // Declared size: the output chunk is sized from it and the fast loop stops short of it.
    {
        ae::VectorSink sink;
        const ae::DecodeResult r = ae::Inflate(packed, sink, plain.size());
        ASSERT_TRUE(r.ok()) << what << " declared, msg " << r.msg;
        ASSERT_EQ(r.produced, plain.size()) << what;
        ASSERT_TRUE(sink.data == plain) << what << " declared";
    }
    // Declared size, into memory the sink lends, exactly that size: the decoder writes
    // there in place, and a store past its end would leave the allocation.
    {
        Bytes room(plain.size());
        ae::SpanSink sink{room};
        const ae::DecodeResult r = ae::Inflate(packed, sink, plain.size());
        ASSERT_TRUE(r.ok()) << what << " in place, msg " << r.msg;
        ASSERT_EQ(sink.size(), plain.size()) << what;
        ASSERT_TRUE(room == plain) << what << " in place";
    }
    // Unknown size, input handed over in odd pieces.
    {
        ChunkSource src{packed, 4093};
        ae::InputBuffer in{src};
        ae::VectorSink sink;
        ae::Inflater inf{sink};
        const ae::DecodeResult r = inf.Run(in);
        ASSERT_TRUE(r.ok()) << what << " unknown size, msg " << r.msg;
        ASSERT_TRUE(sink.data == plain) << what << " unknown size";
    }
    // An input buffer exactly as large as the stream: a word read past its end would
    // leave the allocation (and the address sanitizer says so). The buffer keeps some
    // bytes behind its reader, so it needs a little more than that to work at all.
    if (packed.size() > 2 * ae::InputBuffer::kKeepBehind) {
        ae::SpanSource src{packed};
        ae::InputBuffer in{src, packed.size()};
        ae::VectorSink sink;
        ae::Inflater inf{sink};
        const ae::DecodeResult r = inf.Run(in, plain.size());
        ASSERT_TRUE(r.ok()) << what << " exact input buffer, msg " << r.msg;
        ASSERT_TRUE(sink.data == plain) << what << " exact input buffer";
    }
}

TEST(InflateSizes, EveryKindAtBoundarySizes) {
    for (DataKind kind : pvtest::kAllKinds) {
        const Bytes all = pvtest::genData(kind, 3 * kChunk + 12345, 11);
        for (std::size_t n : boundarySizes()) {
            const Bytes plain(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n));
            expectRoundTrip(plain, 6, std::string(pvtest::kindName(kind)) + " " + std::to_string(n));
            if (HasFatalFailure()) return;
        }
    }
}

TEST(InflateSizes, LevelsOneAndNineOnLargeInputs) {
    for (DataKind kind : pvtest::kAllKinds) {
        for (std::size_t n : {kChunk - kFastMargin, kChunk + 1, std::size_t{1943360}, 5 * kChunk + 777}) {
            const Bytes plain = pvtest::genData(kind, n, 5);
            for (int level : {1, 9}) {
                expectRoundTrip(plain, level,
                                std::string(pvtest::kindName(kind)) + " " + std::to_string(n) + " level " +
                                    std::to_string(level));
                if (HasFatalFailure()) return;
            }
        }
    }
}

// The fast loop's input margin: streams whose last rounds end at every offset from the end
// of an input buffer exactly their size.
TEST(InflateSizes, EveryEndingAgainstAnExactInputBuffer) {
    for (DataKind kind : {DataKind::Text, DataKind::Mixed}) {
        const Bytes all = pvtest::genData(kind, 6000, 21);
        for (std::size_t n = 3000; n < 6000; n += 7) {
            const Bytes plain(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n));
            for (int level : {1, 6}) {
                const Bytes packed = pvtest::zlibDeflateRaw(plain, level);
                ae::SpanSource src{packed};
                ae::InputBuffer in{src, packed.size()};
                ae::VectorSink sink;
                ae::Inflater inf{sink};
                const ae::DecodeResult r = inf.Run(in);
                ASSERT_TRUE(r.ok() && sink.data == plain)
                    << pvtest::kindName(kind) << " " << n << " level " << level;
            }
        }
    }
}

// The plain build of the hot loop, which this machine may not pick by itself, on every
// kind of data at the sizes around the buffer's edges and at levels 1 and 9.
TEST(InflateSizes, PlainLoopGivesTheSameBytes) {
    struct Restore {
        ~Restore() { aeinflate::UseWideShifts(true); }
    } restore;
    aeinflate::UseWideShifts(false);
    for (DataKind kind : pvtest::kAllKinds) {
        const Bytes all = pvtest::genData(kind, kChunk + kWindow + 1000, 17);
        for (std::size_t n : {std::size_t{300}, kWindow + 1, kChunk - kFastMargin - 1, kChunk + kMatch,
                              kChunk + kWindow + 1000}) {
            const Bytes plain(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n));
            for (int level : {1, 9}) {
                expectRoundTrip(plain, level,
                                std::string("plain loop ") + pvtest::kindName(kind) + " " +
                                    std::to_string(n) + " level " + std::to_string(level));
                if (HasFatalFailure()) return;
            }
        }
    }
}

// A stream cut short anywhere, with its full size declared, ends as truncated and never
// writes past what it was given, whether handed over in blocks or written in place.
TEST(InflateSizes, CutStreamsWithDeclaredSize) {
    const Bytes plain = pvtest::genData(DataKind::Mixed, kChunk + kWindow, 3);
    const Bytes packed = pvtest::zlibDeflateRaw(plain, 9);
    Bytes room(plain.size());
    for (std::size_t keep = 0; keep < packed.size(); keep += 1 + keep / 3) {
        const Bytes cut(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(keep));
        ae::VectorSink sink;
        const ae::DecodeResult r = ae::Inflate(cut, sink, plain.size());
        EXPECT_FALSE(r.ok()) << keep;
        ASSERT_LE(sink.data.size(), plain.size());
        EXPECT_TRUE(std::equal(sink.data.begin(), sink.data.end(), plain.begin())) << keep;
        ae::SpanSink lent{room};
        const ae::DecodeResult rl = ae::Inflate(cut, lent, plain.size());
        EXPECT_EQ(rl.status, r.status) << keep;
        EXPECT_EQ(rl.produced, r.produced) << keep;
        EXPECT_EQ(lent.size(), rl.produced) << keep;
        EXPECT_TRUE(
            std::equal(room.begin(), room.begin() + static_cast<std::ptrdiff_t>(lent.size()), plain.begin()))
            << keep;
    }
}

} // namespace

// A buffer smaller than what it keeps behind for the bit readers once read past its end
// when full (a refill reported data and brought none): every capacity gives the bytes back.
TEST(InputBufferCapacity, TinyCapacitiesReadEveryByteInOrder) {
    std::vector<std::uint8_t> data(1000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 1);
    for (std::size_t capacity : {std::size_t{1}, std::size_t{4}, std::size_t{16}, std::size_t{17},
                                 std::size_t{64}, std::size_t{65}}) {
        SCOPED_TRACE(capacity);
        ae::SpanSource src{data};
        ae::InputBuffer in{src, capacity};
        std::vector<std::uint8_t> got;
        for (int b; (b = in.getByte()) >= 0;) got.push_back(static_cast<std::uint8_t>(b));
        EXPECT_EQ(got, data);
    }
}

namespace {

// Small streams, as most zip entries are, run through the fast loop up to their last
// bytes. Cut short at every byte, each gives what zlib gives from the same bytes (every
// symbol whose bits all arrived, nothing more) and says Truncated, whatever size is
// declared and whether it writes into its own buffer or in place; in both builds of the
// loop.
TEST(InflateSizes, SmallStreamsCutAnywhereGiveWhatZlibGives) {
    struct Restore {
        ~Restore() { aeinflate::UseWideShifts(true); }
    } restore;
    const Bytes all = pvtest::genData(DataKind::Text, 3000, 41);
    for (bool wide : {true, false})
        for (std::size_t n : {std::size_t{1}, std::size_t{9}, std::size_t{57}, std::size_t{150},
                              std::size_t{420}, std::size_t{1200}, std::size_t{3000}}) {
            const Bytes plain(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n));
            for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED}) {
                const Bytes packed = pvtest::zlibDeflateRaw(plain, 6, 8, strategy);
                aeinflate::UseWideShifts(wide);
                for (std::size_t keep = 0; keep <= packed.size(); ++keep) {
                    SCOPED_TRACE(std::to_string(n) + " bytes, strategy " + std::to_string(strategy) +
                                 ", kept " + std::to_string(keep) + (wide ? "" : ", plain loop"));
                    const Bytes cut(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(keep));
                    const pvtest::ZlibInflated z = pvtest::zlibInflateRaw(cut, n + 16);
                    const auto want =
                        keep == packed.size() ? ae::DecodeStatus::Ok : ae::DecodeStatus::Truncated;
                    ae::VectorSink declared;
                    const ae::DecodeResult rd = ae::Inflate(cut, declared, n);
                    EXPECT_EQ(rd.status, want);
                    EXPECT_EQ(declared.data, z.data);
                    ae::VectorSink unknown;
                    const ae::DecodeResult ru = ae::Inflate(cut, unknown);
                    EXPECT_EQ(ru.status, want);
                    EXPECT_EQ(unknown.data, z.data);
                    Bytes room(n);
                    ae::SpanSink lent{room};
                    const ae::DecodeResult rl = ae::Inflate(cut, lent, n);
                    EXPECT_EQ(rl.status, want);
                    ASSERT_EQ(lent.size(), z.data.size());
                    EXPECT_TRUE(std::equal(z.data.begin(), z.data.end(), room.begin()));
                    if (HasFailure()) return;
                }
            }
        }
}

// A small stream that says it is shorter than it is stops with TooLong, having handed
// over no more than the declared size, and only the stream's own bytes.
TEST(InflateSizes, SmallStreamsLongerThanDeclaredStopAtTheSize) {
    const Bytes all = pvtest::genData(DataKind::Mixed, 2000, 43);
    for (std::size_t n : {std::size_t{30}, std::size_t{300}, std::size_t{2000}}) {
        const Bytes plain(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n));
        const Bytes packed = pvtest::zlibDeflateRaw(plain, 9);
        for (std::size_t declared = 0; declared < n; declared += 1 + declared / 16) {
            SCOPED_TRACE(std::to_string(n) + " bytes declared as " + std::to_string(declared));
            ae::VectorSink sink;
            const ae::DecodeResult r = ae::Inflate(packed, sink, declared);
            EXPECT_EQ(r.status, ae::DecodeStatus::TooLong);
            EXPECT_EQ(r.produced, sink.data.size());
            ASSERT_LE(sink.data.size(), declared);
            EXPECT_TRUE(std::equal(sink.data.begin(), sink.data.end(), plain.begin()));
        }
    }
}

} // namespace

namespace {

// A large stream declared shorter than it is, with the size falling anywhere near where the
// output buffer turns over for the second time: TooLong, never more than the size handed
// over, and what was handed over is the stream's own start.
TEST(InflateSizes, DeclaredSizeNearABufferTurnStopsThere) {
    const Bytes plain = pvtest::genData(DataKind::Mixed, 2 * kChunk + 5000, 47);
    const Bytes packed = pvtest::zlibDeflateRaw(plain, 6);
    for (std::size_t declared = 2 * kChunk - 2 * kFastMargin - 600; declared < 2 * kChunk + 300;
         declared += 7) {
        SCOPED_TRACE(declared);
        ae::VectorSink sink;
        const ae::DecodeResult r = ae::Inflate(packed, sink, declared);
        EXPECT_EQ(r.status, ae::DecodeStatus::TooLong);
        ASSERT_LE(sink.data.size(), declared);
        EXPECT_EQ(r.produced, sink.data.size());
        EXPECT_TRUE(std::equal(sink.data.begin(), sink.data.end(), plain.begin()));
    }
}

} // namespace
