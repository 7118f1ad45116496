// The legacy decoders against the test encoders at sizes that reach their buffer ends:
// generated data of every kind at and around each decoder's ring (4 KiB for -lh1-, reduce
// and the small implode dictionary, 8 KiB for the large one) and output block (64 KiB for
// unshrink), each ± the longest match, and up to a megabyte where the encoder is quick
// enough. The slow encoders (reduce, -lh1-) search every distance, so their sizes stay
// smaller. Every stream decodes to its input byte for byte and with its size declared.
#include "archive/codec/aeExplode.h"
#include "archive/codec/aeLh1Decode.h"
#include "archive/codec/aeUnshrink.h"
#include "gendata.h"
#include "legacy_encoders.h"
#include "lh1_encoder.h"
#include "testutil.h"

#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using pvtest::DataKind;

struct Coder {
    const char* label;
    std::function<Bytes(const Bytes&)> encode;
    std::function<ae::DecodeResult(ae::InputBuffer&, ae::DecodeSink&, std::uint64_t)> decode;
    std::size_t ring;     // the decoder's window or output block
    std::size_t maxMatch; // its longest match
    std::size_t largest;  // the largest size its encoder handles quickly
};

std::vector<Coder> coders() {
    using ae::DecodeSink;
    using ae::InputBuffer;
    std::vector<Coder> v;
    v.push_back({"shrink", [](const Bytes& b) { return legacy::shrink(b); },
                 [](InputBuffer& in, DecodeSink& s, std::uint64_t n) { return ae::Unshrink(in, s, n); },
                 65536, 1, (1u << 20) + 1});
    for (unsigned f : {1u, 4u})
        v.push_back(
            {f == 1 ? "reduce1" : "reduce4", [f](const Bytes& b) { return legacy::reduce(b, f); },
             [f](InputBuffer& in, DecodeSink& s, std::uint64_t n) { return ae::Unreduce(in, s, f, n); }, 4096,
             (0xFFu >> f) + 255 + 3, 20000});
    for (std::uint16_t flags : {std::uint16_t{0}, std::uint16_t{6}})
        v.push_back({flags ? "implode_8k_3trees" : "implode_4k_2trees",
                     [flags](const Bytes& b) { return legacy::implode(b, flags); },
                     [flags](InputBuffer& in, DecodeSink& s, std::uint64_t n) {
                         return ae::Explode(in, s, flags, n);
                     },
                     flags ? 8192u : 4096u, flags ? 3u + 63 + 255 : 2u + 63 + 255, 150000});
    v.push_back({"lh1",
                 [](const Bytes& b) {
                     lh1test::Lh1Encoder enc;
                     return enc.encode(b);
                 },
                 [](InputBuffer& in, DecodeSink& s, std::uint64_t n) { return ae::DecodeLh1(in, s, n); },
                 4096, 60, 20000});
    return v;
}

std::vector<std::size_t> sizesFor(const Coder& c) {
    std::vector<std::size_t> v{0, 1, c.maxMatch + 1};
    for (std::size_t edge : {c.ring, 2 * c.ring})
        for (std::size_t d : {std::size_t{0}, std::size_t{1}, c.maxMatch})
            for (int sign : {-1, 1}) v.push_back(sign < 0 ? edge - d : edge + d);
    v.push_back(c.largest);
    return v;
}

class DecodersSizes : public ::testing::TestWithParam<std::size_t> {};

TEST_P(DecodersSizes, TestEncoderStreamsRoundTripAtBufferEdges) {
    const Coder c = coders()[GetParam()];
    for (DataKind kind : pvtest::kAllKinds) {
        const Bytes all = pvtest::genData(kind, c.largest, 31);
        for (std::size_t n : sizesFor(c)) {
            SCOPED_TRACE(std::string(c.label) + " " + pvtest::kindName(kind) + " " + std::to_string(n));
            const Bytes plain(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n));
            const Bytes packed = c.encode(plain);
            ae::SpanSource src{packed};
            ae::InputBuffer in{src};
            ae::VectorSink sink;
            const ae::DecodeResult r = c.decode(in, sink, n);
            ASSERT_TRUE(r.ok()) << "msg " << r.msg;
            ASSERT_EQ(r.produced, n);
            ASSERT_TRUE(sink.data == plain);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Coders, DecodersSizes, ::testing::Range(std::size_t{0}, coders().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& i) {
                             return std::string(coders()[i.param].label);
                         });

} // namespace
