// The LZ77 method of ACE 1.0 archives: a sliding window over everything the archive has
// produced so far (it carries over from file to file in a solid archive), fed by blocks
// that each start with their own Huffman tables.
//
// The packed stream is read as little-endian 32-bit words, each consumed from its top bit
// down. A block holds the code widths of the main alphabet (283 symbols: 256 literals, four
// repeats of a recent distance, 23 distance classes), those of the length alphabet (255
// symbols), and the count of main symbols that follow (15 bits).
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

namespace acestub {

// Thrown when the packed data cannot be decoded (bad tables, a distance before the start of
// the data, the stream running out).
class TAceDataError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads up to `Count` packed bytes into `Buffer`; 0 at the end of the entry's data.
using TAcePackedSource = std::function<std::size_t(std::uint8_t* Buffer, std::size_t Count)>;

class TAceLz77 {
public:
    static constexpr int kMaxDicBits = 22;
    static constexpr int kMainCodes = 256 + 4 + kMaxDicBits + 1; // 283
    static constexpr int kLenCodes = 255;
    static constexpr int kMaxWidth = 11;

    TAceLz77();

    // Starts the data of one file. A solid archive keeps the window and the recent
    // distances of the files before (`KeepHistory`); otherwise they start empty.
    void BeginFile(TAcePackedSource Source, bool KeepHistory);
    // Decodes exactly `Count` bytes into `Out` (throws TAceDataError when it cannot).
    void Read(std::uint8_t* Out, std::size_t Count);
    // Bytes of a stored entry of a solid archive: they join the window as they are.
    void Feed(const std::uint8_t* Data, std::size_t Count);
    // Forgets everything before (the first entry of an archive).
    void Reset() { BeginFile(nullptr, false); }

    // The order in which a table hands out its codes: symbols by rising width, and among
    // equal widths in the order the format's sort leaves them. Exposed for the test encoder,
    // which must hand out the same codes. Width 0 = unused. A single used symbol (or none)
    // is given width 1, as the format does. Empty result: the widths over-fill the code space.
    static std::vector<int> CodeOrder(std::vector<std::uint8_t>& Widths);

private:
    struct Table {
        std::vector<std::uint16_t> Symbol; // indexed by the next kMaxWidth bits; 0xFFFF: no code
        std::vector<std::uint8_t> Width;
        int MaxWidth = 0;
    };
    std::uint32_t Peek(int Bits);
    void Skip(int Bits);
    std::uint32_t Bits(int Count);
    void Fill();
    int Decode(const Table& T);
    void BuildTable(Table& T, std::vector<std::uint8_t> Widths, int MaxWidth);
    void ReadWidths(Table& T, int MaxWidth, int NumCodes);
    void ReadBlockTables();
    void Put(std::uint8_t B);

    TAcePackedSource FSource;
    std::vector<std::uint8_t> FIn;
    std::size_t FInPos = 0, FInLen = 0;
    bool FInEnd = false;
    int FOverrun = 0; // words handed out past the end of the data
    std::uint64_t FBitBuf = 0;
    int FBitCount = 0;

    Table FMain, FLen;
    std::uint32_t FSymbolsLeft = 0;

    std::vector<std::uint8_t> FWindow; // 1 << kMaxDicBits bytes
    std::size_t FPos = 0;              // next write position in the window
    std::uint64_t FProduced = 0;       // bytes produced since the history began
    std::uint32_t FDist[4] = {0, 0, 0, 0};
    std::uint32_t FCopyDist = 0, FCopyLeft = 0; // a copy not finished by the last Read
};

} // namespace acestub
