// The ARJ fast method (method 4): LZ77 over a 26624-byte window with no Huffman stage;
// match lengths and positions are written as a unary width prefix and that many bits.
#pragma once
#include <cstdint>

#include "archive/codec/aeDecodeIo.h"

namespace ae {

// Decodes until `size` bytes are produced (a last match is cut there). The input ending
// before that is Truncated.
DecodeResult DecodeArjFast(InputBuffer& in, DecodeSink& sink, std::uint64_t size);

} // namespace ae
