// The matcher's rules, read back from the streams it writes: a small decoder made for the
// test lists every block's symbols (literals and length/distance pairs).
#include "archive/codec/aeDeflate.h"
#include "support/gendata.h"
#include "support/testutil.h"

#include <array>
#include <stdexcept>

namespace {

using Bytes = std::vector<uint8_t>;

struct Match {
    unsigned length, distance;
};
struct Block {
    int type = 0;
    size_t symbols = 0; // literals and matches, end code not counted
    std::vector<Match> matches;
};

class TokenReader {
public:
    explicit TokenReader(const Bytes& in) : in_{in} {}

    std::vector<Block> blocks() {
        std::vector<Block> out;
        for (bool last = false; !last;) {
            last = bits(1) != 0;
            Block b;
            b.type = static_cast<int>(bits(2));
            if (b.type == 0) {
                bitPos_ = (bitPos_ + 7) & ~size_t{7};
                const unsigned len = bits(16);
                bits(16);
                bitPos_ += size_t{len} * 8;
                b.symbols = len;
            } else if (b.type == 1) {
                std::array<uint8_t, 288> l{};
                for (int i = 0; i < 288; ++i) l[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
                std::array<uint8_t, 30> d;
                d.fill(5);
                symbols(b, {l.begin(), l.end()}, {d.begin(), d.end()});
            } else if (b.type == 2) {
                dynamic(b);
            } else {
                throw std::runtime_error("block type 3");
            }
            out.push_back(std::move(b));
        }
        return out;
    }

private:
    unsigned bits(unsigned n) {
        unsigned v = 0;
        for (unsigned i = 0; i < n; ++i, ++bitPos_) {
            if (bitPos_ / 8 >= in_.size()) throw std::runtime_error("past the end");
            v |= ((in_[bitPos_ / 8] >> (bitPos_ % 8)) & 1u) << i;
        }
        return v;
    }
    // A canonical code: how many codes each length has, and the symbols in code order.
    struct Code {
        explicit Code(const std::vector<uint8_t>& lens) {
            for (uint8_t l : lens) ++count[l];
            for (unsigned len = 1; len <= 15; ++len)
                for (unsigned s = 0; s < lens.size(); ++s)
                    if (lens[s] == len) symbol.push_back(s);
        }
        std::array<unsigned, 16> count{};
        std::vector<unsigned> symbol;
    };
    // Decoding one bit at a time: slow and plain.
    unsigned decode(const Code& c) {
        unsigned code = 0, first = 0, index = 0;
        for (unsigned len = 1; len <= 15; ++len) {
            code |= bits(1);
            if (code - first < c.count[len]) return c.symbol[index + code - first];
            index += c.count[len];
            first = (first + c.count[len]) << 1;
            code <<= 1;
        }
        throw std::runtime_error("bad code");
    }
    void symbols(Block& b, const std::vector<uint8_t>& litLens, const std::vector<uint8_t>& distLens) {
        const Code lit(litLens), dist(distLens);
        static constexpr unsigned base[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                            31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static constexpr unsigned extra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                             2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        for (;;) {
            const unsigned s = decode(lit);
            if (s == 256) return;
            ++b.symbols;
            if (s < 256) continue;
            const unsigned length = base[s - 257] + bits(extra[s - 257]);
            const unsigned dc = decode(dist);
            const unsigned dx = dc < 4 ? 0 : dc / 2 - 1;
            const unsigned dbase = dc < 4 ? dc + 1 : ((2 + (dc & 1)) << dx) + 1;
            b.matches.push_back({length, dbase + bits(dx)});
        }
    }
    void dynamic(Block& b) {
        static constexpr int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        const unsigned hlit = bits(5) + 257, hdist = bits(5) + 1, hclen = bits(4) + 4;
        std::vector<uint8_t> cl(19, 0);
        for (unsigned i = 0; i < hclen; ++i)
            cl[static_cast<size_t>(order[i])] = static_cast<uint8_t>(bits(3));
        const Code clc(cl);
        std::vector<uint8_t> lens;
        while (lens.size() < hlit + hdist) {
            const unsigned s = decode(clc);
            if (s < 16)
                lens.push_back(static_cast<uint8_t>(s));
            else if (s == 16)
                lens.insert(lens.end(), 3 + bits(2), lens.back());
            else if (s == 17)
                lens.insert(lens.end(), 3 + bits(3), 0);
            else
                lens.insert(lens.end(), 11 + bits(7), 0);
        }
        symbols(b, {lens.begin(), lens.begin() + hlit}, {lens.begin() + hlit, lens.end()});
    }

    const Bytes& in_;
    size_t bitPos_ = 0;
};

std::vector<Block> blocksOf(const Bytes& in, int level) {
    bool stored = false;
    const Bytes packed = DeflateBuffer(in, level, &stored);
    EXPECT_FALSE(stored);
    return TokenReader(packed).blocks();
}

// Bytes from an alphabet of 32: compressible, with plenty of 3-byte repeats far back.
Bytes smallAlphabet(size_t n) {
    Bytes r = pvtest::randomBytes(n, 77);
    for (auto& b : r) b = static_cast<uint8_t>('A' + (b & 31));
    return r;
}

TEST(DeflateRules, ShortMatchesFarBackOnlyWithoutLazyEvaluation) {
    const Bytes in = smallAlphabet(200000);
    const auto farThrees = [](const std::vector<Block>& blocks) {
        size_t n = 0;
        for (const auto& b : blocks)
            for (const auto& m : b.matches) n += m.length == 3 && m.distance > 4096;
        return n;
    };
    EXPECT_GT(farThrees(blocksOf(in, 1)), 100u) << "the fast loop takes them";
    EXPECT_EQ(farThrees(blocksOf(in, 7)), 0u);
    EXPECT_EQ(farThrees(blocksOf(in, 9)), 0u);
}

TEST(DeflateRules, FastEffortsDoNotChainInsideLongMatches) {
    // X twice, then a piece from the middle of X. Where the second X went out as one long
    // match, the fast efforts did not chain its positions: the piece is found in the first X.
    const Bytes x = pvtest::randomBytes(100, 31);
    Bytes in = pvtest::randomBytes(1000, 32);
    in.insert(in.end(), x.begin(), x.end());
    in.insert(in.end(), x.begin(), x.end());
    const Bytes filler = pvtest::randomBytes(500, 33);
    in.insert(in.end(), filler.begin(), filler.end());
    in.insert(in.end(), x.begin() + 50, x.begin() + 90);
    const auto lastMatch = [&](int level) {
        const auto blocks = blocksOf(in, level);
        EXPECT_EQ(blocks.size(), 1u);
        EXPECT_FALSE(blocks.back().matches.empty());
        return blocks.back().matches.empty() ? Match{0, 0} : blocks.back().matches.back();
    };
    const unsigned nearer = 500 + 100 - 50, farther = nearer + 100;
    for (int level : {1, 2}) {
        const Match m = lastMatch(level);
        EXPECT_EQ(m.length, 40u);
        EXPECT_EQ(m.distance, farther) << "level " << level;
    }
    for (int level : {7, 9}) {
        const Match m = lastMatch(level);
        EXPECT_EQ(m.length, 40u);
        EXPECT_EQ(m.distance, nearer) << "level " << level;
    }
}

TEST(DeflateRules, DistancesAndBlockSizesStayWithinLimits) {
    Bytes in = pvtest::genData(pvtest::DataKind::Mixed, 400000, 4);
    const Bytes more = smallAlphabet(100000);
    in.insert(in.end(), more.begin(), more.end());
    for (int level : {1, 2, 7, 9}) {
        size_t matches = 0, produced = 0;
        unsigned longest = 0, farthest = 0;
        for (const auto& b : blocksOf(in, level)) {
            // A coded block holds at most 32767 symbols; a stored one holds the bytes those
            // symbols stood for.
            EXPECT_LE(b.symbols, b.type == 0 ? 65535u : 32767u) << "level " << level;
            produced += b.symbols - b.matches.size();
            for (const auto& m : b.matches) {
                longest = std::max(longest, m.length);
                farthest = std::max(farthest, m.distance);
                produced += m.length;
            }
            matches += b.matches.size();
        }
        EXPECT_EQ(produced, in.size()) << "the symbols read back cover the input exactly";
        EXPECT_GT(matches, 0u);
        EXPECT_EQ(longest, 258u) << "level " << level;
        EXPECT_LE(farthest, 32506u) << "a match stays 262 bytes inside the window, level " << level;
    }
}

} // namespace
