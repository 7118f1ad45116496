#include "archive/codec/aeLh1Decode.h"

#include <array>
#include <cstring>
#include <memory>

#include "archive/codec/aeMsbBits.h"

namespace ae {
namespace {

constexpr unsigned kWindow = 4096;                              // dictionary size (12 bits)
constexpr unsigned kMaxMatch = 60;                              // longest match
constexpr unsigned kThreshold = 3;                              // shortest match
constexpr unsigned kSymbols = 256 + kMaxMatch - kThreshold + 1; // 314: literals + lengths
constexpr unsigned kNodes = 2 * kSymbols - 1;                   // 627 nodes; leaves are son values >= kNodes
constexpr unsigned kRoot = kNodes - 1;                          // 626
constexpr unsigned kMaxFreq = 0x8000;                           // the root reaching this halves every count
static_assert(kSymbols == 314 && kNodes == 627);

// The fixed code of the upper 6 position bits, as a table indexed by the next 8 input bits:
// the value of the upper bits and the code's length. Code lengths 3..8 go to 1, 3, 8, 12,
// 24 and 16 values (every code space is used exactly once: 1/8 + 3/16 + ... + 16/256 = 1).
struct PositionTables {
    std::array<std::uint8_t, 256> code{}, length{};
};
constexpr PositionTables makePositionTables() {
    PositionTables t{};
    constexpr unsigned counts[6] = {1, 3, 8, 12, 24, 16}; // values with code length 3..8
    unsigned index = 0, value = 0;
    for (unsigned k = 0; k < 6; ++k) {
        const unsigned len = 3 + k;
        const unsigned span = 256u >> len; // lookup entries one code covers
        for (unsigned v = 0; v < counts[k]; ++v, ++value) {
            for (unsigned e = 0; e < span; ++e, ++index) {
                t.code[index] = static_cast<std::uint8_t>(value);
                t.length[index] = static_cast<std::uint8_t>(len);
            }
        }
    }
    return t;
}
constexpr PositionTables kPosition = makePositionTables();
static_assert(kPosition.code[255] == 63 && kPosition.length[0] == 3 && kPosition.length[255] == 8);

// The adaptive Huffman tree. Nodes are kept in order of non-decreasing frequency; a node's
// children are son[n] and son[n] + 1; a son value >= kNodes is the leaf of symbol
// son - kNodes. parent[] covers the inner nodes (0..kNodes-1) and the leaves
// (kNodes..kNodes+kSymbols-1).
class AdaptiveTree {
public:
    AdaptiveTree() {
        for (unsigned i = 0; i < kSymbols; ++i) {
            freq_[i] = 1;
            son_[i] = static_cast<std::uint16_t>(i + kNodes);
            parent_[i + kNodes] = static_cast<std::uint16_t>(i);
        }
        for (unsigned i = 0, j = kSymbols; j <= kRoot; i += 2, ++j) {
            freq_[j] = static_cast<std::uint16_t>(freq_[i] + freq_[i + 1]);
            son_[j] = static_cast<std::uint16_t>(i);
            parent_[i] = parent_[i + 1] = static_cast<std::uint16_t>(j);
        }
        freq_[kNodes] = 0xFFFF; // sentinel above every real count
        parent_[kRoot] = 0;
    }

    unsigned decode(MsbBitReader& bits) {
        unsigned c = son_[kRoot];
        while (c < kNodes) c = son_[c + bits.bit()];
        c -= kNodes;
        update(c);
        return c;
    }

private:
    // Raises the counts on the path from the symbol's leaf to the root, swapping a node
    // that now outweighs its right neighbours with the last of them.
    void update(unsigned symbol) {
        if (freq_[kRoot] == kMaxFreq) rebuild();
        unsigned c = parent_[symbol + kNodes];
        do {
            const unsigned k = ++freq_[c];
            unsigned l = c + 1;
            if (k > freq_[l]) {
                while (k > freq_[++l]) {
                }
                --l;
                freq_[c] = freq_[l];
                freq_[l] = static_cast<std::uint16_t>(k);
                const unsigned i = son_[c];
                parent_[i] = static_cast<std::uint16_t>(l);
                if (i < kNodes) parent_[i + 1] = static_cast<std::uint16_t>(l);
                const unsigned j = son_[l];
                son_[l] = static_cast<std::uint16_t>(i);
                parent_[j] = static_cast<std::uint16_t>(c);
                if (j < kNodes) parent_[j + 1] = static_cast<std::uint16_t>(c);
                son_[c] = static_cast<std::uint16_t>(j);
                c = l;
            }
            c = parent_[c];
        } while (c != 0);
    }

    // Halves every leaf count (rounding up) and builds the inner nodes again, each inserted
    // where its frequency keeps the order.
    void rebuild() {
        unsigned j = 0;
        for (unsigned i = 0; i < kNodes; ++i) {
            if (son_[i] >= kNodes) {
                freq_[j] = static_cast<std::uint16_t>((freq_[i] + 1) / 2);
                son_[j] = son_[i];
                ++j;
            }
        }
        for (unsigned i = 0, n = kSymbols; n < kNodes; i += 2, ++n) {
            const unsigned f = freq_[i] + freq_[i + 1];
            unsigned k = n;
            while (k > 0 && f < freq_[k - 1]) --k;
            std::memmove(&freq_[k + 1], &freq_[k], (n - k) * sizeof freq_[0]);
            std::memmove(&son_[k + 1], &son_[k], (n - k) * sizeof son_[0]);
            freq_[k] = static_cast<std::uint16_t>(f);
            son_[k] = static_cast<std::uint16_t>(i);
        }
        for (unsigned i = 0; i < kNodes; ++i) {
            const unsigned k = son_[i];
            parent_[k] = static_cast<std::uint16_t>(i);
            if (k < kNodes) parent_[k + 1] = static_cast<std::uint16_t>(i);
        }
    }

    std::array<std::uint16_t, kNodes + 1> freq_{};
    std::array<std::uint16_t, kNodes + kSymbols> parent_{};
    std::array<std::uint16_t, kNodes> son_{};
};

unsigned decodePosition(MsbBitReader& bits) {
    const unsigned first = bits.bits(8);
    const unsigned extra = kPosition.length[first] - 2u; // the low bits not yet read
    const unsigned low = ((first << extra) | bits.bits(extra)) & 0x3F;
    return (unsigned{kPosition.code[first]} << 6) | low;
}

} // namespace

DecodeResult DecodeLh1(InputBuffer& in, DecodeSink& sink, std::uint64_t size) {
    auto tree = std::make_unique<AdaptiveTree>();
    MsbBitReader bits{in};
    std::array<std::uint8_t, kWindow> window;
    window.fill(' ');
    // Writing starts 60 bytes short of the window's end, as the encoder's does: a position
    // reaching further back than what was produced reads the spaces of the initial window.
    unsigned r = kWindow - kMaxMatch;
    unsigned flushed = r;
    DecodeResult res;
    auto flush = [&] {
        if (r > flushed) sink.Write(&window[flushed], r - flushed);
        if (r == kWindow) r = 0;
        flushed = r;
    };
    auto put = [&](std::uint8_t b) {
        window[r++] = b;
        ++res.produced;
        if (r == kWindow) flush();
    };
    while (res.produced < size) {
        const unsigned c = tree->decode(bits);
        if (c < 256) {
            put(static_cast<std::uint8_t>(c));
        } else {
            const unsigned length = c - 256 + kThreshold;
            const unsigned from = (r + kWindow - decodePosition(bits) - 1) & (kWindow - 1);
            for (unsigned k = 0; k < length && res.produced < size; ++k)
                put(window[(from + k) & (kWindow - 1)]);
        }
        if (bits.overrun()) {
            res.status = DecodeStatus::Truncated;
            break;
        }
    }
    flush();
    return res;
}

} // namespace ae
