// A sink that lets a decoder produce at most the size an entry's header promises: what
// would go beyond it is cut off and OutputTooLong is thrown, so a damaged stream never
// writes more than that size.
#pragma once
#include "archive/codec/aeDecodeIo.h"

namespace ae {

struct OutputTooLong {};

class LimitSink final : public DecodeSink {
public:
    LimitSink(DecodeSink& out, std::uint64_t limit) : out_{out}, left_{limit} {}
    void Write(const std::uint8_t* p, std::size_t n) override {
        if (n > left_) {
            if (left_ > 0) out_.Write(p, static_cast<std::size_t>(left_));
            left_ = 0;
            throw OutputTooLong{};
        }
        out_.Write(p, n);
        left_ -= n;
    }

private:
    DecodeSink& out_;
    std::uint64_t left_;
};

} // namespace ae
