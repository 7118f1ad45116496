#include "stubs/cabinet/LzxEncode.h"

#include <algorithm>
#include <cstring>
#include <queue>

namespace {

constexpr int kNumChars = 256;
constexpr int kMinMatch = 2;
constexpr int kMaxMatch = 257;
constexpr int kLengthSymbols = 249;
constexpr int kPretreeSymbols = 20;
// Heads for a million three-byte hashes keep the chains short even in a 2 MiB window,
// where collisions, not matches, would otherwise fill them: each step of a chain is a
// read far away in memory.
constexpr int kHashBits = 20;
constexpr int kChainDepth = 16;
// A match this long is taken without looking for a longer one.
constexpr uint32_t kNiceLength = 128;
// After this many positions in a row without a match the search looks at every second
// position, then every third..., so data that do not compress pass quickly; the first
// match found goes back to looking everywhere.
constexpr unsigned kSkipAfter = 64;

struct SlotTables {
    uint32_t base[52];
    uint8_t extra[52];
};
constexpr SlotTables MakeSlots() {
    SlotTables t{};
    uint32_t b = 0;
    for (int i = 0; i < 52; ++i) {
        const int e = i < 4 ? 0 : std::min(17, (i - 2) / 2);
        t.extra[i] = static_cast<uint8_t>(e);
        t.base[i] = b;
        b += 1u << e;
    }
    return t;
}
constexpr SlotTables kSlots = MakeSlots();

int SlotsFor(int windowBits) {
    static const int slots[] = {30, 32, 34, 36, 38, 42, 50};
    return slots[windowBits - 15];
}

// The position slot of a formatted offset (distance + 2).
int SlotOf(uint32_t formatted) {
    int lo = 0, hi = 51;
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        if (kSlots.base[mid] <= formatted)
            lo = mid;
        else
            hi = mid - 1;
    }
    return lo;
}

// Huffman code lengths for Freq, none longer than MaxLen; at least two symbols get a code
// so that every tree is complete.
std::vector<uint8_t> BuildLengths(std::vector<uint32_t> freq, int maxLen) {
    const size_t n = freq.size();
    std::vector<uint8_t> len(n, 0);
    int used = 0;
    for (uint32_t f : freq) used += f != 0;
    for (size_t i = 0; used < 2 && i < n; ++i)
        if (freq[i] == 0) {
            freq[i] = 1;
            ++used;
        }
    for (;;) {
        struct Node {
            uint64_t weight;
            int index;
        };
        std::vector<int> parent(2 * n, -1);
        auto cmp = [](const Node& a, const Node& b) {
            return a.weight != b.weight ? a.weight > b.weight : a.index > b.index;
        };
        std::priority_queue<Node, std::vector<Node>, decltype(cmp)> q(cmp);
        for (size_t i = 0; i < n; ++i)
            if (freq[i]) q.push({freq[i], static_cast<int>(i)});
        int next = static_cast<int>(n);
        while (q.size() > 1) {
            const Node a = q.top();
            q.pop();
            const Node b = q.top();
            q.pop();
            parent[static_cast<size_t>(a.index)] = next;
            parent[static_cast<size_t>(b.index)] = next;
            q.push({a.weight + b.weight, next++});
        }
        int longest = 0;
        for (size_t i = 0; i < n; ++i) {
            if (!freq[i]) {
                len[i] = 0;
                continue;
            }
            int d = 0;
            for (int p = parent[i]; p >= 0; p = parent[static_cast<size_t>(p)]) ++d;
            len[i] = static_cast<uint8_t>(d);
            longest = std::max(longest, d);
        }
        if (longest <= maxLen) return len;
        for (auto& f : freq)
            if (f) f = (f + 1) / 2;
    }
}

// Canonical codes (shorter first, then by symbol), as the decoder builds them.
std::vector<uint32_t> CodesOf(const std::vector<uint8_t>& len) {
    uint32_t count[18] = {}, next[18] = {};
    for (uint8_t l : len) ++count[l];
    count[0] = 0;
    uint32_t code = 0;
    for (int b = 1; b < 18; ++b) {
        code = (code + count[b - 1]) << 1;
        next[b] = code;
    }
    std::vector<uint32_t> codes(len.size(), 0);
    for (size_t i = 0; i < len.size(); ++i)
        if (len[i]) codes[i] = next[len[i]]++;
    return codes;
}

// 16-bit little-endian words, each filled from its most significant bit.
class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
    void Put(uint32_t value, int bits) {
        while (bits > 16) {
            Put(value >> (bits - 16), 16);
            bits -= 16;
            value &= (1u << bits) - 1;
        }
        acc_ = (acc_ << bits) | (value & ((1u << bits) - 1));
        count_ += bits;
        while (count_ >= 16) {
            count_ -= 16;
            const uint32_t w = static_cast<uint32_t>(acc_ >> count_) & 0xFFFF;
            out_.push_back(static_cast<uint8_t>(w & 0xFF));
            out_.push_back(static_cast<uint8_t>(w >> 8));
        }
        acc_ &= (uint64_t{1} << count_) - 1;
    }
    // Pads to the next 16-bit boundary (nothing when on one).
    void Align() {
        if (count_) Put(0, 16 - count_);
    }
    int Pending() const { return count_; }

private:
    std::vector<uint8_t>& out_;
    uint64_t acc_ = 0;
    int count_ = 0;
};

// One tree's lengths sent as deltas of Prev over [First, Last) through a pretree.
struct PretreeItem {
    uint8_t code;
    uint8_t extraBits;
    uint32_t extra;
};

std::vector<PretreeItem> LengthItems(const std::vector<uint8_t>& prev, const std::vector<uint8_t>& cur,
                                     size_t first, size_t last) {
    std::vector<PretreeItem> items;
    for (size_t i = first; i < last;) {
        if (cur[i] == 0) {
            size_t z = 0;
            while (i + z < last && cur[i + z] == 0 && z < 51) ++z;
            if (z >= 20) {
                items.push_back({18, 5, static_cast<uint32_t>(z - 20)});
                i += z;
                continue;
            }
            if (z >= 4) {
                items.push_back({17, 4, static_cast<uint32_t>(z - 4)});
                i += z;
                continue;
            }
        }
        items.push_back({static_cast<uint8_t>((prev[i] + 17 - cur[i]) % 17), 0, 0});
        ++i;
    }
    return items;
}

size_t PretreeBits(const std::vector<PretreeItem>& items, std::vector<uint8_t>& ptLen) {
    std::vector<uint32_t> f(kPretreeSymbols, 0);
    for (const auto& it : items) ++f[it.code];
    ptLen = BuildLengths(f, 15);
    size_t bits = kPretreeSymbols * 4;
    for (const auto& it : items) bits += ptLen[it.code] + it.extraBits;
    return bits;
}

void WritePretree(BitWriter& bw, const std::vector<PretreeItem>& items, const std::vector<uint8_t>& ptLen) {
    const std::vector<uint32_t> ptCode = CodesOf(ptLen);
    for (int i = 0; i < kPretreeSymbols; ++i) bw.Put(ptLen[static_cast<size_t>(i)], 4);
    for (const auto& it : items) {
        bw.Put(ptCode[it.code], ptLen[it.code]);
        if (it.extraBits) bw.Put(it.extra, it.extraBits);
    }
}

uint32_t Load3(const uint8_t* p) {
    return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
}
uint32_t Hash3(const uint8_t* p) {
    return (Load3(p) * 2654435761u) >> (32 - kHashBits);
}

} // namespace

LzxEncoder::LzxEncoder(int WindowBits)
    : FWindowBits(std::clamp(WindowBits, 15, 21)), FWindowSize(1u << FWindowBits),
      FSlots(SlotsFor(FWindowBits)), FHead(size_t{1} << kHashBits, 0), FPrev(FWindowSize, 0),
      FMainLen(static_cast<size_t>(kNumChars + 8 * FSlots), 0), FLengthLen(kLengthSymbols, 0) {}

void LzxEncoder::Slide() {
    // Keep one window of history before the frame to come; moved once a window, not once
    // a frame.
    if (FHist.size() <= 2 * size_t{FWindowSize} + kFrameSize) return;
    const size_t drop = FHist.size() - FWindowSize;
    FHist.erase(FHist.begin(), FHist.begin() + static_cast<std::ptrdiff_t>(drop));
    FBase += drop;
    // The tables hold offsets in 32 bits: long before they would wrap, every offset goes
    // down by whole windows (so each keeps its slot in FPrev), and those already out of
    // reach become "none".
    if (FBase + FHist.size() >= (uint64_t{1} << 31)) {
        const uint64_t delta = FBase & ~uint64_t{FWindowSize - 1};
        auto lower = [delta](uint32_t& v) { v = v > delta ? static_cast<uint32_t>(v - delta) : 0; };
        std::for_each(FHead.begin(), FHead.end(), lower);
        std::for_each(FPrev.begin(), FPrev.end(), lower);
        FBase -= delta;
    }
}

void LzxEncoder::FindTokens(size_t Start, size_t Count, std::vector<Token>& Tokens) {
    const uint64_t maxDist = FWindowSize - 3;
    const uint64_t mask = FWindowSize - 1;
    const size_t end = Start + Count;
    const uint8_t* const hist = FHist.data();
    auto insert = [&](size_t i) {
        if (i + 3 > FHist.size()) return;
        const uint64_t abs = FBase + i;
        const uint32_t h = Hash3(hist + i);
        FPrev[abs & mask] = FHead[h];
        FHead[h] = static_cast<uint32_t>(abs + 1);
    };
    unsigned misses = 0;
    for (size_t i = Start; i < end;) {
        const uint64_t abs = FBase + i;
        uint32_t bestLen = 0;
        uint64_t bestDist = 0;
        const size_t room = std::min<size_t>(kMaxMatch, end - i);
        if (room >= 3) {
            const uint8_t* const a = hist + i;
            const uint32_t first = Load3(a);
            uint32_t cand = FHead[Hash3(a)];
            for (int depth = 0; cand > 0 && depth < kChainDepth; ++depth) {
                const uint64_t c = cand - 1;
                if (c >= abs || abs - c > maxDist || c < FBase) break;
                const uint8_t* b = hist + (c - FBase);
                // Another sequence with the same hash fails here without a longer look.
                if (b[bestLen] == a[bestLen] && Load3(b) == first) {
                    size_t l = 3;
                    while (l < room && a[l] == b[l]) ++l;
                    if (l > bestLen) {
                        bestLen = static_cast<uint32_t>(l);
                        bestDist = abs - c;
                        if (l == room || l >= kNiceLength) break;
                    }
                }
                const uint32_t nextCand = FPrev[c & mask];
                if (nextCand == 0 || nextCand - 1 >= c) break;
                cand = nextCand;
            }
        }
        if (bestLen >= 3) {
            Tokens.push_back({bestLen, static_cast<uint32_t>(bestDist)});
            for (size_t k = 0; k < bestLen; ++k) insert(i + k);
            i += bestLen;
            misses = 0;
            continue;
        }
        Tokens.push_back({0, hist[i]});
        insert(i);
        ++i;
        // A long run without matches: the next positions go out as literals unsearched
        // (and unhashed: data that do not repeat are not worth finding again).
        const size_t skip = std::min<size_t>(++misses / kSkipAfter, end - i);
        for (size_t k = 0; k < skip; ++k) Tokens.push_back({0, hist[i + k]});
        i += skip;
    }
}

void LzxEncoder::EncodeFrame(const uint8_t* Data, size_t Count, std::vector<uint8_t>& Out) {
    Count = std::min(Count, kFrameSize);
    Slide();
    const size_t start = FHist.size();
    FHist.insert(FHist.end(), Data, Data + Count);
    std::vector<Token> tokens;
    tokens.reserve(Count);
    FindTokens(start, Count, tokens);

    // The verbatim block: frequencies, trees, and its size in bits.
    const size_t mainSize = FMainLen.size();
    std::vector<uint32_t> mainFreq(mainSize, 0), lenFreq(kLengthSymbols, 0);
    struct Coded {
        uint32_t main;
        int lengthSym; // -1: none
        uint32_t footer;
        uint8_t footerBits;
    };
    std::vector<Coded> coded;
    coded.reserve(tokens.size());
    for (const Token& t : tokens) {
        if (t.length == 0) {
            coded.push_back({t.value, -1, 0, 0});
            ++mainFreq[t.value];
            continue;
        }
        const uint32_t formatted = t.value + 2;
        const int slot = SlotOf(formatted);
        const uint32_t lenHeader = std::min<uint32_t>(t.length - kMinMatch, 7);
        const uint32_t sym = kNumChars + static_cast<uint32_t>(slot) * 8 + lenHeader;
        const int lengthSym = lenHeader == 7 ? static_cast<int>(t.length - kMinMatch - 7) : -1;
        coded.push_back({sym, lengthSym, formatted - kSlots.base[slot], kSlots.extra[slot]});
        ++mainFreq[sym];
        if (lengthSym >= 0) ++lenFreq[static_cast<size_t>(lengthSym)];
    }
    const std::vector<uint8_t> mainLen = BuildLengths(mainFreq, 16);
    const std::vector<uint8_t> lengthLen = BuildLengths(lenFreq, 16);
    const auto items1 = LengthItems(FMainLen, mainLen, 0, kNumChars);
    const auto items2 = LengthItems(FMainLen, mainLen, kNumChars, mainSize);
    const auto items3 = LengthItems(FLengthLen, lengthLen, 0, kLengthSymbols);
    std::vector<uint8_t> pt1, pt2, pt3;
    size_t bits = 27 + PretreeBits(items1, pt1) + PretreeBits(items2, pt2) + PretreeBits(items3, pt3);
    for (const Coded& c : coded) {
        bits += mainLen[c.main] + c.footerBits;
        if (c.lengthSym >= 0) bits += lengthLen[static_cast<size_t>(c.lengthSym)];
    }
    const size_t uncompressedBits = (27 + 16 + 12 * 8 + Count + 1) * 8;

    BitWriter bw(Out);
    if (FFirst) {
        bw.Put(0, 1); // no x86 call translation
        FFirst = false;
    }
    if (bits + 16 < uncompressedBits) {
        bw.Put(1, 3); // verbatim
        bw.Put(static_cast<uint32_t>(Count >> 8), 16);
        bw.Put(static_cast<uint32_t>(Count & 0xFF), 8);
        WritePretree(bw, items1, pt1);
        WritePretree(bw, items2, pt2);
        WritePretree(bw, items3, pt3);
        const std::vector<uint32_t> mainCode = CodesOf(mainLen), lengthCode = CodesOf(lengthLen);
        for (const Coded& c : coded) {
            bw.Put(mainCode[c.main], mainLen[c.main]);
            if (c.lengthSym >= 0) {
                const auto s = static_cast<size_t>(c.lengthSym);
                bw.Put(lengthCode[s], lengthLen[s]);
            }
            if (c.footerBits) bw.Put(c.footer, c.footerBits);
        }
        bw.Align();
        FMainLen = mainLen;
        FLengthLen = lengthLen;
        return;
    }
    bw.Put(3, 3); // uncompressed
    bw.Put(static_cast<uint32_t>(Count >> 8), 16);
    bw.Put(static_cast<uint32_t>(Count & 0xFF), 8);
    // Byte alignment: the decoder drops the rest of the current word, or a whole word when
    // the header ended on a word boundary.
    bw.Put(0, bw.Pending() ? 16 - bw.Pending() : 16);
    static const uint8_t repeats[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    Out.insert(Out.end(), repeats, repeats + 12);
    Out.insert(Out.end(), Data, Data + Count);
    if (Count & 1) Out.push_back(0);
}
