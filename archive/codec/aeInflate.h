// Inflate: the deflate decoder (zip method 8, gzip members, BH method 2).
//
// Written for speed: a 64-bit bit buffer refilled a word at a time, one-level lookup
// tables of fixed size with small second-level tables for long codes, and output
// straight into a large buffer that keeps the last 32 KiB as history, so that matches
// are plain forward copies. A careful slow path takes over near the end of the input or
// of the output room; it pads missing input with zero bits, counts them, and reports a
// truncated stream once a code really used one.
#pragma once
#include "archive/codec/aeDecodeIo.h"

#include <cstdint>
#include <memory>

namespace ae {

class Inflater {
public:
    // Without a sink, every run names its own (one inflater, its tables and window made
    // once, kept for many streams that go to different sinks).
    Inflater();
    explicit Inflater(DecodeSink& sink);
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Decodes one deflate stream from `in` up to and including its final block. Whole
    // bytes that follow the stream stay unread in `in`. A stream that would produce more
    // than `limit` bytes stops with TooLong. Every call starts a fresh stream (no
    // matches reach into what an earlier call produced).
    DecodeResult Run(InputBuffer& in, std::uint64_t limit = kSizeUnknown);
    // The same into `sink` instead of the inflater's own.
    DecodeResult Run(InputBuffer& in, DecodeSink& sink, std::uint64_t limit = kSizeUnknown);

private:
    struct State;
    std::unique_ptr<State> s_;
};

// One whole deflate stream in memory. With a declared size, producing fewer bytes is
// Truncated and more is TooLong.
DecodeResult Inflate(std::span<const std::uint8_t> in, DecodeSink& sink,
                     std::uint64_t declaredSize = kSizeUnknown);

} // namespace ae
