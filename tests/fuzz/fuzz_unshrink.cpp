// Unshrink on arbitrary bytes: bytes 0-1 give the declared size (in steps of 8 bytes, or of
// 128 with the top bit set, reaching megabytes), the rest is the stream.
#include "archive/codec/aeUnshrink.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const unsigned v = data[0] | data[1] << 8;
    const std::uint64_t declared = v & 0x8000 ? std::uint64_t{v & 0x7FFFu} << 7 : std::uint64_t{v} << 3;
    ae::SpanSource src{{data + 2, size - 2}};
    ae::InputBuffer in{src};
    ae::CountingSink sink;
    ae::Unshrink(in, sink, declared);
    if (sink.count > declared) __builtin_trap();
    return 0;
}
