// The LZH encoder on arbitrary data with each parameter set: what it writes must decode to
// the input exactly, unless it says the data did not get smaller.
#include "archive/codec/aeLzhDecode.h"
#include "archive/codec/aeLzhEncode.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // The first byte picks the parameters; the rest, repeated, is the input (long inputs
    // reach past the window and the symbol buffer).
    const int which = data[0] % 3;
    const std::size_t repeat = 1 + (data[0] >> 2) % 8;
    std::vector<std::uint8_t> in;
    for (std::size_t r = 0; r < repeat; ++r) in.insert(in.end(), data + 1, data + size);
    const ae::LzhEncodeParams enc[] = {ae::LzhEncodeParams::Lh5(), ae::LzhEncodeParams::Lh6(),
                                       ae::LzhEncodeParams::Fuse()};
    const ae::LzhParams dec[] = {ae::LzhParams::Lh5(), ae::LzhParams::Lh6(), ae::LzhParams::Bh(false)};
    bool incompressible = false;
    const std::vector<std::uint8_t> packed = ae::LzhEncodeBuffer(in, enc[which], &incompressible);
    if (incompressible) {
        if (packed.size() > in.size()) __builtin_trap();
        return 0;
    }
    ae::SpanSource src{packed};
    ae::InputBuffer buffer{src};
    ae::VectorSink sink;
    const ae::DecodeResult r = ae::LzhDecode(buffer, sink, dec[which], in.size());
    if (!r.ok() || sink.data != in) __builtin_trap();
    return 0;
}
