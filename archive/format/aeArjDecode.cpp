#include "archive/format/aeArjDecode.h"

#include <memory>

#include "archive/codec/aeMsbBits.h"

namespace ae {
namespace {

constexpr unsigned kWindow = 0x6800; // 26624 bytes, the window of the ARJ decoders
constexpr unsigned kThreshold = 3;   // shortest match
constexpr unsigned kLengthMaxWidth = 7;
constexpr unsigned kPositionMinWidth = 9, kPositionMaxWidth = 13;
// The farthest position: width 13 gives (2^13 - 512) + 8191, well inside the window.
static_assert((1u << kPositionMaxWidth) - 512 + (1u << kPositionMaxWidth) - 1 < kWindow);

// Up to 7 one-bits (stopping at a zero bit) give the width w; the value is (2^w - 1) plus
// w further bits. 0 announces a literal.
unsigned decodeLength(MsbBitReader& bits) {
    unsigned width = 0;
    while (width < kLengthMaxWidth && bits.bit()) ++width;
    return ((1u << width) - 1) + bits.bits(width);
}

// The width starts at 9 and grows by the one-bits that follow (up to 13); the value is
// (2^width - 512) plus width further bits.
unsigned decodePosition(MsbBitReader& bits) {
    unsigned width = kPositionMinWidth;
    while (width < kPositionMaxWidth && bits.bit()) ++width;
    return ((1u << width) - (1u << kPositionMinWidth)) + bits.bits(width);
}

} // namespace

DecodeResult DecodeArjFast(InputBuffer& in, DecodeSink& sink, std::uint64_t size) {
    auto window = std::make_unique<std::uint8_t[]>(kWindow); // zeros before the first byte
    MsbBitReader bits{in};
    DecodeResult res;
    unsigned r = 0;
    auto put = [&](std::uint8_t b) {
        window[r++] = b;
        ++res.produced;
        if (r == kWindow) {
            sink.Write(window.get(), kWindow);
            r = 0;
        }
    };
    while (res.produced < size) {
        const unsigned code = decodeLength(bits);
        if (code == 0) {
            put(static_cast<std::uint8_t>(bits.bits(8)));
        } else {
            const unsigned length = code - 1 + kThreshold;
            const unsigned distance = decodePosition(bits) + 1;
            unsigned from = r >= distance ? r - distance : r + kWindow - distance;
            for (unsigned k = 0; k < length && res.produced < size; ++k) {
                put(window[from]);
                if (++from == kWindow) from = 0;
            }
        }
        if (bits.overrun()) {
            res.status = DecodeStatus::Truncated;
            break;
        }
    }
    if (r > 0) sink.Write(window.get(), r);
    return res;
}

} // namespace ae
