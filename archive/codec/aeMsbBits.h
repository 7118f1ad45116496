// Bits most significant first, for the decoders of the LHA -lh1- and ARJ fast methods.
// Past the end of the input the reader feeds zero bytes and counts them, so a decoder
// never stalls on a short stream; it asks overrun() once per symbol and stops when a code
// really used bytes that were never there.
#pragma once
#include <cstdint>

#include "archive/codec/aeDecodeIo.h"

namespace ae {

class MsbBitReader {
public:
    explicit MsbBitReader(InputBuffer& in) noexcept : in_{in} {}

    unsigned bit() {
        if (count_ == 0) fill();
        --count_;
        return static_cast<unsigned>(buf_ >> count_) & 1u;
    }
    // The next n bits (n <= 24), the first one taken the most significant.
    unsigned bits(unsigned n) {
        if (n == 0) return 0;
        while (count_ < n) fill();
        count_ -= n;
        return static_cast<unsigned>(buf_ >> count_) & ((1u << n) - 1u);
    }
    // True once a bit of a zero byte fed past the end of the input has been used. The
    // bits still buffered are not used yet, so the whole phantom bytes behind them are
    // discounted.
    bool overrun() const noexcept { return phantom_ * 8 > count_; }

private:
    void fill() {
        int b = in_.getByte();
        if (b < 0) {
            b = 0;
            ++phantom_;
        }
        buf_ = (buf_ << 8) | static_cast<std::uint32_t>(b);
        count_ += 8;
    }

    InputBuffer& in_;
    std::uint32_t buf_ = 0;
    unsigned count_ = 0;
    std::uint64_t phantom_ = 0;
};

} // namespace ae
