// The LZH decoder on arbitrary bytes: byte 0 picks the caller's settings (its top bit a
// coarse scale for the declared size, which then reaches megabytes), bytes 1-2 the
// declared size, the rest is the stream.
#include "archive/codec/aeLzhDecode.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    static constexpr ae::LzhParams kParams[] = {ae::LzhParams::Lh4(),      ae::LzhParams::Lh5(),
                                                ae::LzhParams::Lh6(),      ae::LzhParams::Zoo(),
                                                ae::LzhParams::Arj(false), ae::LzhParams::Bh(false)};
    const auto& p = kParams[(data[0] & 0x7F) % 6];
    const std::uint64_t declared = static_cast<std::uint64_t>(data[1] | data[2] << 8)
                                   << (data[0] & 0x80 ? 7 : 3);
    ae::SpanSource src{{data + 3, size - 3}};
    ae::InputBuffer in{src};
    ae::CountingSink sink;
    ae::LzhDecode(in, sink, p, declared);
    if (sink.count > declared) __builtin_trap();
    return 0;
}
