// The LHA -lh1- decoder: LZSS over a 4096-byte window whose literals and match lengths are
// coded with an adaptive Huffman tree of 314 symbols (256 literals, 58 lengths of 3..60),
// and whose match positions use a fixed code for their upper 6 bits.
#pragma once
#include <cstdint>

#include "archive/codec/aeDecodeIo.h"

namespace ae {

// Decodes until `size` bytes are produced (a last match is cut there). The input ending
// before that is Truncated; nothing else can go wrong in this format, since every bit
// pattern decodes to some symbol.
DecodeResult DecodeLh1(InputBuffer& in, DecodeSink& sink, std::uint64_t size);

} // namespace ae
