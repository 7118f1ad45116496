// Inflate on arbitrary bytes: the first byte picks a declared-size limit (none, a few KB,
// or up to 16 MB, well above the decoder's 1 MiB output chunk), the rest is the stream.
// Output is bounded, nothing may crash or hang. With a declared size up to 2 MiB (past
// the output chunk) the stream is also written in place into memory of exactly that
// size, which must give the same verdict and the same bytes.
#include "archive/codec/aeInflate.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

// Keeps the output (up to the limit) to compare with what was written in place.
class KeepSink final : public ae::DecodeSink {
public:
    KeepSink(std::uint8_t* mem, std::size_t cap) : mem_{mem}, cap_{cap} {}
    void Write(const std::uint8_t* p, std::size_t n) override {
        if (mem_ && count <= cap_ && n <= cap_ - count) std::memcpy(mem_ + count, p, n);
        count += n;
    }
    std::uint64_t count = 0;

private:
    std::uint8_t* mem_;
    std::size_t cap_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const unsigned b = data[0];
    const std::uint64_t limit = b & 1   ? ae::kSizeUnknown
                                : b & 2 ? std::uint64_t{b >> 2} << 10
                                        : std::uint64_t{b >> 2} << 18;
    const std::span<const std::uint8_t> stream{data + 1, size - 1};
    const std::size_t room = limit <= (std::uint64_t{2} << 20) ? static_cast<std::size_t>(limit) : 0;
    std::unique_ptr<std::uint8_t[]> kept{room ? new std::uint8_t[room] : nullptr};
    KeepSink sink{kept.get(), room};
    const auto r = ae::Inflate(stream, sink, limit);
    if (limit != ae::kSizeUnknown && sink.count > limit) __builtin_trap();
    if (r.produced != sink.count) __builtin_trap();
    if (room) {
        std::unique_ptr<std::uint8_t[]> mem{new std::uint8_t[room]};
        ae::SpanSink lent{{mem.get(), room}};
        const auto rl = ae::Inflate(stream, lent, limit);
        if (rl.status != r.status || rl.produced != r.produced || lent.size() != rl.produced)
            __builtin_trap();
        if (std::memcmp(mem.get(), kept.get(), lent.size()) != 0) __builtin_trap();
    }
    return 0;
}
