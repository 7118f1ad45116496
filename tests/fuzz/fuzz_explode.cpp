// Explode on arbitrary bytes: byte 0 gives the flags (dictionary, literal tree; its top bit
// a coarse scale for the declared size, which then reaches megabytes), bytes 1-2 the
// declared size, the rest is the stream.
#include "archive/codec/aeExplode.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const auto flags = static_cast<std::uint16_t>(data[0] & 6);
    const std::uint64_t declared = static_cast<std::uint64_t>(data[1] | data[2] << 8)
                                   << (data[0] & 0x80 ? 7 : 2);
    ae::SpanSource src{{data + 3, size - 3}};
    ae::InputBuffer in{src};
    ae::CountingSink sink;
    ae::Explode(in, sink, flags, declared);
    if (sink.count > declared) __builtin_trap();
    return 0;
}
