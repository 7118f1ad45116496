// The squeeze decoder (ARC method 4 before its run-length step): a Huffman tree stored as
// a node count (16 bits) and two 16-bit child values per node, then the codes, bits least
// significant first. A negative child value v is the symbol -(v + 1); symbol 256 ends the
// data. Output is the bytes before the run-length expansion (see aeRle90.h).
#pragma once
#include "archive/codec/aeDecodeIo.h"

namespace ae {

inline constexpr unsigned kSqueezeMaxNodes = 256;

// Decodes until the end symbol or the end of the input (both are a normal end: the caller
// checks the size and CRC). A node count above 256, a child value that points at no node
// or a symbol above 256 is Corrupt with kMsgInvalidTree; a tree cut short is Truncated.
DecodeResult DecodeSqueeze(InputBuffer& in, DecodeSink& sink);

} // namespace ae
