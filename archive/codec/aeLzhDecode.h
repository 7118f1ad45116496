// The static-Huffman LZ77 decoder shared by LHA (-lh4-, -lh5-, -lh6-), ARJ (methods
// 1-3), ZOO (method 2) and BH (method 1): blocks of literal/length codes and position
// codes, each block with its own code set; bits most significant first.
#pragma once
#include "archive/codec/aeDecodeIo.h"

#include <string>

namespace ae {

// One caller's settings. The check mode and the decrypting variants concern the block
// reader and writer that the extractor puts around the decoder (CRC-16 or CRC-32 kept
// by the writer; input decrypted by the reader); the decoder itself uses the dictionary
// bits, PBIT and the window.
struct LzhParams {
    int checkMode = 16; // 16: CRC-16, 32: CRC-32
    int dicBits = 13;   // position codes NP = dicBits + 1
    int pBits = 4;      // bit width of the position-code count
    int variant = 0;    // 1, 2: decrypting input; 5: 32 KiB window; others: 26,624 bytes

    std::size_t windowSize() const { return variant == 5 ? 32768 : 0x6800; }
    bool decrypts() const { return variant == 1 || variant == 2; }
    unsigned np() const { return static_cast<unsigned>(dicBits) + 1; }

    static constexpr LzhParams Lh4() { return {16, 12, 4, 3}; }
    static constexpr LzhParams Lh5() { return {16, 13, 4, 3}; }
    static constexpr LzhParams Lh6() { return {16, 15, 5, 5}; }
    static constexpr LzhParams Zoo() { return {16, 13, 4, 0}; }
    static constexpr LzhParams Arj(bool garbled) { return {32, 16, 5, garbled ? 2 : 0}; }
    static constexpr LzhParams Bh(bool encrypted) { return {32, 13, 4, encrypted ? 1 : 0}; }
};

// Decodes `size` bytes. A stream whose data (or end-of-data block) ends before that is
// Truncated -- the output is never padded out to the declared size; a match longer than
// what is left is cut at `size`.
DecodeResult LzhDecode(InputBuffer& in, DecodeSink& sink, const LzhParams& p, std::uint64_t size);

} // namespace ae
