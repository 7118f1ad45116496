// Explode: the decoder of PKWARE's imploding (zip method 6).
#pragma once
#include "archive/codec/aeDecodeIo.h"

namespace ae {

// General-purpose flag bits that shape an imploded stream.
inline constexpr std::uint16_t kImplode8kDict = 0x0002;      // 8 KiB dictionary, 7 low distance bits
inline constexpr std::uint16_t kImplodeLiteralTree = 0x0004; // literal tree, minimum match 3

// Decodes until `size` bytes are produced (a last match is cut there); the input ending
// first is Truncated.
DecodeResult Explode(InputBuffer& in, DecodeSink& sink, std::uint16_t flags, std::uint64_t size);

} // namespace ae
