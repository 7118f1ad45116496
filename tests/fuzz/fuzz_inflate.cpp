// Inflate on arbitrary bytes: the first byte picks a declared-size limit (none, a few KB,
// or up to 16 MB, well above the decoder's 1 MiB output chunk), the rest is the stream.
// Output is bounded, nothing may crash or hang.
#include "archive/codec/aeInflate.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const unsigned b = data[0];
    const std::uint64_t limit = b & 1   ? ae::kSizeUnknown
                                : b & 2 ? std::uint64_t{b >> 2} << 10
                                        : std::uint64_t{b >> 2} << 18;
    ae::CountingSink sink;
    const auto r = ae::Inflate({data + 1, size - 1}, sink, limit);
    if (limit != ae::kSizeUnknown && sink.count > limit) __builtin_trap();
    if (r.produced != sink.count) __builtin_trap();
    return 0;
}
