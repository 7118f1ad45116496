// An LZX compressor for cabinet folders: LZ77 matches over a window of 2^15 to 2^21 bytes,
// written as verbatim blocks (main and length trees sent as deltas of the previous block's
// through a pretree) or as uncompressed blocks where those come out smaller. One block per
// 32 KiB frame; each frame's output ends on a 16-bit boundary, as a cabinet's data blocks
// need. No x86 call translation.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class LzxEncoder {
public:
    static constexpr size_t kFrameSize = 32768;
    // WindowBits 15..21.
    explicit LzxEncoder(int WindowBits);
    // Compresses the next frame of the folder (at most kFrameSize bytes; only the folder's
    // last frame is shorter) and appends its bytes to Out.
    void EncodeFrame(const uint8_t* Data, size_t Count, std::vector<uint8_t>& Out);

private:
    struct Token {
        uint32_t length; // 0: a literal
        uint32_t value;  // the literal, or the match distance
    };
    void FindTokens(size_t Start, size_t Count, std::vector<Token>& Tokens);
    void Slide();

    int FWindowBits;
    uint32_t FWindowSize;
    int FSlots;
    bool FFirst = true;
    std::vector<uint8_t> FHist; // folder data from FBase on
    uint64_t FBase = 0;         // folder offset of FHist[0]
    // A folder holds less than 4 GiB, so its offsets (plus one; 0 is none) fit 32 bits.
    std::vector<uint32_t> FHead;               // hash -> newest folder offset + 1
    std::vector<uint32_t> FPrev;               // folder offset & mask -> previous offset with that hash + 1
    std::vector<uint8_t> FMainLen, FLengthLen; // the trees of the last verbatim block
};
