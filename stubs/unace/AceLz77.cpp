#include "stubs/unace/AceLz77.h"

#include "common/LittleEndian.h"
#include <algorithm>
#include <cstring>
#include <utility>

namespace acestub {

namespace {

constexpr std::uint16_t kNoCode = 0xFFFF;
constexpr std::size_t kWindowSize = std::size_t{1} << TAceLz77::kMaxDicBits;
constexpr std::size_t kInChunk = 1 << 16;
// Distances above these need longer minimum matches (two and three bytes more than 2).
constexpr std::uint32_t kDistAtLen2 = 255, kDistAtLen3 = 8191;
constexpr int kWidthBits = 3, kWidthMaxWidth = 7;
// Words read past the end of an entry's data before it counts as cut short: the reader
// looks ahead one word, an encoder pads to the next.
constexpr int kMaxOverrun = 2;

// Sorts Widths[Left..Right] into falling order, carrying Order along. This is the exact
// partition scheme the format's codes depend on: equal widths end up in the order it leaves
// them, and the codes are handed out from that order.
void SortRange(std::vector<std::uint8_t>& W, std::vector<int>& Order, int Left, int Right) {
    int zl = Left, zr = Right;
    const std::uint8_t pivot = W[Right];
    auto swapAt = [&](int a, int b) {
        std::swap(W[a], W[b]);
        std::swap(Order[a], Order[b]);
    };
    do {
        while (zl < Right && W[zl] > pivot) ++zl;
        while (zr > Left && W[zr] < pivot) --zr;
        if (zl <= zr) {
            swapAt(zl, zr);
            ++zl;
            --zr;
        }
    } while (zl < zr);
    if (Left < zr) {
        if (Left < zr - 1)
            SortRange(W, Order, Left, zr);
        else if (W[Left] < W[zr])
            swapAt(Left, zr);
    }
    if (Right > zl) {
        if (zl < Right - 1)
            SortRange(W, Order, zl, Right);
        else if (W[zl] < W[Right])
            swapAt(zl, Right);
    }
}

} // namespace

TAceLz77::TAceLz77() : FIn(kInChunk), FWindow(kWindowSize) {}

std::vector<int> TAceLz77::CodeOrder(std::vector<std::uint8_t>& Widths) {
    const int n = static_cast<int>(Widths.size());
    std::vector<std::uint8_t> w = Widths;
    std::vector<int> order(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) order[static_cast<std::size_t>(i)] = i;
    if (n > 1) SortRange(w, order, 0, n - 1);
    int used = 0;
    while (used < n && w[static_cast<std::size_t>(used)] != 0) ++used;
    if (used < 2) {
        // One code (or none): it gets width 1.
        if (n == 0) return {};
        Widths[static_cast<std::size_t>(order[0])] = 1;
        used = 1;
    }
    // Shortest codes first: the sorted order read backwards.
    std::vector<int> result(order.begin(), order.begin() + used);
    std::reverse(result.begin(), result.end());
    return result;
}

void TAceLz77::BuildTable(Table& T, std::vector<std::uint8_t> Widths, int MaxWidth) {
    for (std::uint8_t w : Widths)
        if (w > MaxWidth) throw TAceDataError("a code is wider than the table allows");
    std::vector<int> order = CodeOrder(Widths);
    if (order.empty()) throw TAceDataError("an empty code table");
    T.MaxWidth = MaxWidth;
    T.Width = Widths;
    T.Symbol.assign(std::size_t{1} << MaxWidth, kNoCode);
    std::size_t next = 0;
    for (int sym : order) {
        const std::size_t span = std::size_t{1} << (MaxWidth - Widths[static_cast<std::size_t>(sym)]);
        if (next + span > T.Symbol.size()) throw TAceDataError("the code widths over-fill the table");
        std::fill_n(T.Symbol.begin() + static_cast<std::ptrdiff_t>(next), span,
                    static_cast<std::uint16_t>(sym));
        next += span;
    }
}

void TAceLz77::BeginFile(TAcePackedSource Source, bool KeepHistory) {
    FSource = std::move(Source);
    FInPos = FInLen = 0;
    FInEnd = false;
    FOverrun = 0;
    FBitBuf = 0;
    FBitCount = 0;
    FSymbolsLeft = 0;
    FCopyLeft = 0;
    if (!KeepHistory) {
        FPos = 0;
        FProduced = 0;
        std::fill(std::begin(FDist), std::end(FDist), 0u);
    }
}

void TAceLz77::Fill() {
    while (FBitCount <= 32) {
        std::uint8_t b[4] = {0, 0, 0, 0};
        int got = 0;
        while (got < 4) {
            if (FInPos == FInLen) {
                if (FInEnd) break;
                FInLen = FSource ? FSource(FIn.data(), FIn.size()) : 0;
                FInPos = 0;
                if (FInLen == 0) {
                    FInEnd = true;
                    break;
                }
            }
            b[got++] = FIn[FInPos++];
        }
        if (got == 0 && ++FOverrun > kMaxOverrun) throw TAceDataError("the packed data end too early");
        const std::uint32_t word = pvcommon::GetLE32(b);
        FBitBuf |= std::uint64_t{word} << (32 - FBitCount);
        FBitCount += 32;
    }
}

std::uint32_t TAceLz77::Peek(int Count) {
    if (FBitCount < Count) Fill();
    return static_cast<std::uint32_t>(FBitBuf >> (64 - Count));
}

void TAceLz77::Skip(int Count) {
    FBitBuf <<= Count;
    FBitCount -= Count;
}

std::uint32_t TAceLz77::Bits(int Count) {
    if (Count == 0) return 0;
    const std::uint32_t v = Peek(Count);
    Skip(Count);
    return v;
}

int TAceLz77::Decode(const Table& T) {
    const std::uint16_t sym = T.Symbol[Peek(T.MaxWidth)];
    if (sym == kNoCode) throw TAceDataError("a bit pattern that no code has");
    Skip(T.Width[sym]);
    return sym;
}

void TAceLz77::ReadWidths(Table& T, int MaxWidth, int NumCodes) {
    int count = static_cast<int>(Bits(9)) + 1;
    count = std::min(count, NumCodes);
    const int lower = static_cast<int>(Bits(4));
    const int upper = static_cast<int>(Bits(4));
    // The widths are sent as differences (modulo `upper`) coded by a small table of their
    // own; symbol `upper` is a run of 4 to 19 zero differences.
    std::vector<std::uint8_t> ww(static_cast<std::size_t>(upper) + 1);
    for (auto& w : ww) w = static_cast<std::uint8_t>(Bits(kWidthBits));
    Table widthTable;
    BuildTable(widthTable, ww, kWidthMaxWidth);
    std::vector<std::uint8_t> widths;
    widths.reserve(static_cast<std::size_t>(count));
    while (static_cast<int>(widths.size()) < count) {
        const int sym = Decode(widthTable);
        if (sym < upper) {
            widths.push_back(static_cast<std::uint8_t>(sym));
        } else {
            int run = static_cast<int>(Bits(4)) + 4;
            run = std::min(run, count - static_cast<int>(widths.size()));
            widths.insert(widths.end(), static_cast<std::size_t>(run), 0);
        }
    }
    if (upper > 0)
        for (std::size_t i = 1; i < widths.size(); ++i)
            widths[i] = static_cast<std::uint8_t>((widths[i] + widths[i - 1]) % upper);
    for (auto& w : widths)
        if (w) w = static_cast<std::uint8_t>(w + lower);
    BuildTable(T, std::move(widths), MaxWidth);
}

void TAceLz77::ReadBlockTables() {
    ReadWidths(FMain, kMaxWidth, kMainCodes);
    ReadWidths(FLen, kMaxWidth, kLenCodes);
    FSymbolsLeft = Bits(15);
}

void TAceLz77::Put(std::uint8_t B) {
    FWindow[FPos] = B;
    FPos = (FPos + 1) & (kWindowSize - 1);
    ++FProduced;
}

void TAceLz77::Feed(const std::uint8_t* Data, std::size_t Count) {
    for (std::size_t i = 0; i < Count; ++i) Put(Data[i]);
}

void TAceLz77::Read(std::uint8_t* Out, std::size_t Count) {
    std::size_t done = 0;
    while (done < Count) {
        if (FCopyLeft) {
            // Distances are at most the window size, so the source is always still in it.
            std::size_t from = (FPos - FCopyDist) & (kWindowSize - 1);
            const std::uint32_t n =
                static_cast<std::uint32_t>(std::min<std::size_t>(FCopyLeft, Count - done));
            for (std::uint32_t i = 0; i < n; ++i) {
                const std::uint8_t b = FWindow[from];
                from = (from + 1) & (kWindowSize - 1);
                Put(b);
                Out[done++] = b;
            }
            FCopyLeft -= n;
            continue;
        }
        while (FSymbolsLeft == 0) ReadBlockTables();
        --FSymbolsLeft;
        const int sym = Decode(FMain);
        if (sym < 256) {
            Put(static_cast<std::uint8_t>(sym));
            Out[done++] = static_cast<std::uint8_t>(sym);
            continue;
        }
        std::uint32_t dist, len;
        if (sym < 260) {
            // A recent distance, moved to the front of the list.
            const int k = sym - 256;
            dist = FDist[k];
            for (int i = k; i > 0; --i) FDist[i] = FDist[i - 1];
            FDist[0] = dist;
            len = static_cast<std::uint32_t>(Decode(FLen)) + (k > 1 ? 3 : 2);
        } else {
            const int bits = sym - 260;
            dist = bits < 2 ? static_cast<std::uint32_t>(bits)
                            : (Bits(bits - 1) | (std::uint32_t{1} << (bits - 1)));
            for (int i = 3; i > 0; --i) FDist[i] = FDist[i - 1];
            FDist[0] = dist;
            len = static_cast<std::uint32_t>(Decode(FLen)) + 2;
            if (dist > kDistAtLen2) ++len;
            if (dist > kDistAtLen3) ++len;
        }
        // Stored distances count from the byte before: 0 repeats the last byte.
        ++dist;
        if (dist > FProduced || dist > kWindowSize)
            throw TAceDataError("a match reaches before the start of the data");
        FCopyDist = dist;
        FCopyLeft = len;
    }
}

} // namespace acestub
