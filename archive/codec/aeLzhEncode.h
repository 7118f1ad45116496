// The static-Huffman LZ77 encoder that writes what the LZH decoder reads: LHA -lh5- and
// -lh6- and the BH method "Fuse". Matches come from a suffix tree over the sliding window
// (the longest match in one walk per byte), taken lazily by one step; symbols collect in a
// block buffer that is sent with its own code set (literal/length code, position code and
// the code-length code that sends the first), bits highest first.
//
// It knows nothing of archives: the writer drives it through a TLzhEncodeIo (reads with its
// CRC and progress, writes with its encryption and counters). As soon as the output would
// grow past the input's size the encoder stops and says so: the caller then stores the data.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

namespace ae {

struct LzhEncodeParams {
    int dicBits = 13;         // window 2^dicBits; position codes dicBits + 1
    int pBits = 4;            // bit width of the position-code count
    int symbolBuffer = 32768; // bytes of the block's symbol buffer
    int crcMode = 16;         // CRC the writer keeps over the input (16 or 32)
    // A small input gets a dictionary no wider than it needs; the stream is the same either
    // way (tests turn this off to show it).
    bool fitWindowToInput = true;

    static constexpr LzhEncodeParams Fuse() { return {13, 4, 32768, 32}; }
    static constexpr LzhEncodeParams Lh5() { return {13, 4, 32768, 16}; }
    static constexpr LzhEncodeParams Lh6() { return {15, 5, 26624, 16}; }
};

class TLzhEncodeIo {
public:
    virtual ~TLzhEncodeIo() = default;
    // Reads up to Count bytes into Buffer (never asked for more than the input has left);
    // a failure or a short input throws.
    virtual int64_t ReadInput(uint8_t* Buffer, int64_t Count) = 0;
    // Takes Count compressed bytes; a failure throws.
    virtual void WriteOutput(const uint8_t* Buffer, int64_t Count) = 0;
    // Polled after every read: true stops the encoder (its output is then incomplete).
    virtual bool Cancelled() { return false; }
};

struct LzhEncodeResult {
    int64_t Bytes = 0;           // compressed bytes written
    bool Incompressible = false; // the output reached the input's size: nothing more was written
};

// Encodes the next `Size` bytes the io delivers.
LzhEncodeResult LzhEncode(TLzhEncodeIo& Io, const LzhEncodeParams& Params, int64_t Size);

// Whole-buffer convenience (tests, tools, benchmarks); `Incompressible` tells whether the
// returned stream is incomplete because it would not be smaller than the input.
std::vector<uint8_t> LzhEncodeBuffer(std::span<const uint8_t> In, const LzhEncodeParams& Params,
                                     bool* Incompressible = nullptr);

} // namespace ae
