// The deflate encoder: turns the bytes of one input into a raw DEFLATE stream (RFC 1951:
// stored, fixed and dynamic Huffman blocks), with a 32 KiB window, hash chains and lazy
// matching. It knows nothing of archives: the writer that owns the output drives it through
// a TDeflateIo (reads with its CRC and progress, writes with its encryption and counters).
//
// Levels 1 and 2 run the fast matcher (no lazy evaluation), levels 4-9 the lazy one; the
// writers use 1, 2, 7 and 9 (dtDeflateS, F, N, X).
#pragma once
#include <cstdint>
#include <span>
#include <vector>

// The input and output of one Deflate call.
class TDeflateIo {
public:
    virtual ~TDeflateIo() = default;
    // Reads up to Count bytes into Buffer; 0 or -1 ends the input. Never asked for more than
    // the encoder has room for, and never again once it returned 0 or -1.
    virtual int64_t ReadInput(uint8_t* Buffer, int64_t Count) = 0;
    // Takes Count compressed bytes; a failure throws (the encoder checks nothing itself).
    virtual void WriteOutput(const uint8_t* Buffer, int64_t Count) = 0;
    // Polled after every read and every block: true stops the encoder, which still ends
    // the stream with a final block.
    virtual bool Cancelled() { return false; }
};

struct TDeflateResult {
    int64_t Bytes = 0;   // compressed bytes written
    bool Stored = false; // the whole input was written as it is, without any block header:
                         // the caller must record the entry as stored (method 0)
};

// Compresses everything the io delivers at `Level` (1..9; 0 is taken as 1). An empty input
// writes nothing at all and returns 0 bytes.
TDeflateResult Deflate(TDeflateIo& Io, int Level);

// Whole-buffer convenience around Deflate (tests, tools, benchmarks).
std::vector<uint8_t> DeflateBuffer(std::span<const uint8_t> In, int Level, bool* Stored = nullptr);
