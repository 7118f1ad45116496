// LZW decoders of the older archivers:
//  - crunch (ARC methods 5, 6, 7): 12-bit codes, two in three bytes, whose values are slots
//    of a hashed string table (old or new hash);
//  - grouped LZW (ARC methods 8 and 9, and the body of a .Z file): codes of 9 up to maxBits
//    bits, least significant bit first, read in groups of `width` bytes so that a width
//    change or a clear code (256) skips to the end of the group;
//  - ZOO LZW (ZOO method 1): codes of 9 to 13 bits without groups, clear code 256 and end
//    code 257.
// Every decoder stops when its input is used up; the caller checks size and CRC. A code
// above the next free code, or a string longer than any table can hold, is Corrupt.
#pragma once
#include "archive/codec/aeDecodeIo.h"

#include <cstdint>

namespace ae {

// The slot a crunch table gives the string (pred, foll) before probing: the old hash takes
// the middle 12 bits of the square of ((pred + foll) or 0x800), the new one multiplies.
std::uint16_t CrunchHash(std::uint16_t pred, std::uint8_t foll, bool newHash);

DecodeResult DecodeCrunch(InputBuffer& in, DecodeSink& sink, bool newHash);

// maxBits 9..16. With blockMode, code 256 clears the table (the first free code is 257);
// without it, 256 is an ordinary code.
DecodeResult DecodeLzwGroups(InputBuffer& in, DecodeSink& sink, unsigned maxBits, bool blockMode = true);

DecodeResult DecodeZooLzw(InputBuffer& in, DecodeSink& sink);

} // namespace ae
