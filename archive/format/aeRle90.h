// Run-length expansion with the marker byte 0x90, as ARC (packed, squeezed and crunched
// entries) and the CP/M squeeze tools store repeated bytes: 0x90 n repeats the byte before
// it n - 1 more times, 0x90 0 stands for 0x90 itself. It sits between a decoder and the
// entry's sink, so any decoder's output can pass through it.
#pragma once
#include "archive/codec/aeDecodeIo.h"

#include <cstdint>
#include <vector>

namespace ae {

class Rle90Sink final : public DecodeSink {
public:
    static constexpr std::uint8_t kMarker = 0x90;

    explicit Rle90Sink(DecodeSink& out) : out_{out} { buf_.reserve(kFlushAt + 256); }
    ~Rle90Sink() override = default;

    void Write(const std::uint8_t* p, std::size_t n) override;
    // Hands on what is still held; call once after the decoder has finished.
    void Finish();

private:
    static constexpr std::size_t kFlushAt = 32768;
    void Put(std::uint8_t b, std::size_t count);
    DecodeSink& out_;
    std::vector<std::uint8_t> buf_;
    bool marker_ = false; // the byte before was the marker: this one is a count
    std::uint8_t last_ = 0;
};

// Expands a whole block (tests, fuzzing).
std::vector<std::uint8_t> ExpandRle90(const std::uint8_t* p, std::size_t n);

} // namespace ae
