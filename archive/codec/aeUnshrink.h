// Unshrink (zip method 1, dynamic LZW with partial clearing) and unreduce (methods 2-5,
// follower sets with a run/match expansion).
#pragma once
#include "archive/codec/aeDecodeIo.h"

namespace ae {

// Both decode until `size` bytes are produced (a last string or match is cut there);
// the input ending first is Truncated.
DecodeResult Unshrink(InputBuffer& in, DecodeSink& sink, std::uint64_t size);
// factor 1..4 (method - 1).
DecodeResult Unreduce(InputBuffer& in, DecodeSink& sink, unsigned factor, std::uint64_t size);

} // namespace ae
