// Small writers of RAR 2.0 (LZ and multimedia blocks) and RAR 1.5 packed streams, as no tool
// here writes them. They take a script of literals and matches and give the stream and the
// bytes it unpacks to; a peer extracting those bytes proves the writer right.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <queue>
#include <stdexcept>
#include <vector>

namespace rarenc {

// A literal (Len == 0) or a match of Len bytes Dist back.
struct Tok {
    unsigned Len = 0;
    std::uint32_t Dist = 0;
    std::uint8_t Byte = 0;
};
inline Tok lit(std::uint8_t b) {
    return {0, 0, b};
}
inline Tok match(unsigned len, std::uint32_t dist) {
    return {len, dist, 0};
}

// Bits high bit first; a slot reserved now may be filled later (a flags byte whose bits
// are known only after the symbols it governs).
class Bits {
public:
    void put(std::uint32_t v, unsigned n) { Items.push_back({v, n}); }
    std::size_t slot() {
        Items.push_back({0, 0});
        return Items.size() - 1;
    }
    void fill(std::size_t at, std::uint32_t v, unsigned n) { Items[at] = {v, n}; }
    std::vector<std::uint8_t> bytes() const {
        std::vector<std::uint8_t> out;
        std::uint32_t acc = 0;
        unsigned have = 0;
        for (const auto& [v, n] : Items)
            for (unsigned i = n; i-- > 0;) {
                acc = acc << 1 | ((v >> i) & 1);
                if (++have == 8) {
                    out.push_back(static_cast<std::uint8_t>(acc));
                    acc = have = 0;
                }
            }
        if (have) out.push_back(static_cast<std::uint8_t>(acc << (8 - have)));
        return out;
    }
    void clear() { Items.clear(); }

private:
    std::vector<std::pair<std::uint32_t, unsigned>> Items;
};

// Huffman code lengths of at most MaxLen bits for the given counts; at least two symbols get
// a code so the code is complete.
inline std::vector<std::uint8_t> huffLengths(std::vector<std::uint32_t> freq, unsigned maxLen) {
    unsigned used = 0;
    for (auto f : freq) used += f ? 1 : 0;
    for (std::size_t i = 0; used < 2 && i < freq.size(); ++i)
        if (!freq[i]) freq[i] = 1, ++used;
    for (;;) {
        struct Node {
            std::uint64_t w;
            int left, right;
        };
        std::vector<Node> nodes;
        using P = std::pair<std::uint64_t, int>;
        std::priority_queue<P, std::vector<P>, std::greater<P>> q;
        for (std::size_t i = 0; i < freq.size(); ++i)
            if (freq[i]) {
                nodes.push_back({freq[i], -1, static_cast<int>(i)});
                q.push({freq[i], static_cast<int>(nodes.size() - 1)});
            }
        while (q.size() > 1) {
            auto a = q.top();
            q.pop();
            auto b = q.top();
            q.pop();
            nodes.push_back({a.first + b.first, a.second, b.second});
            q.push({a.first + b.first, static_cast<int>(nodes.size() - 1)});
        }
        std::vector<std::uint8_t> len(freq.size(), 0);
        unsigned deepest = 0;
        std::vector<std::pair<int, unsigned>> stack = {{q.top().second, 0}};
        while (!stack.empty()) {
            auto [n, d] = stack.back();
            stack.pop_back();
            if (nodes[static_cast<std::size_t>(n)].left < 0) {
                len[static_cast<std::size_t>(nodes[static_cast<std::size_t>(n)].right)] =
                    static_cast<std::uint8_t>(d);
                deepest = std::max(deepest, d);
            } else {
                stack.push_back({nodes[static_cast<std::size_t>(n)].left, d + 1});
                stack.push_back({nodes[static_cast<std::size_t>(n)].right, d + 1});
            }
        }
        if (deepest <= maxLen) return len;
        for (auto& f : freq)
            if (f) f = (f >> 1) | 1;
    }
}

// Canonical codes for lengths: shorter first, then by symbol.
inline std::vector<std::uint32_t> canonCodes(const std::vector<std::uint8_t>& len) {
    unsigned count[16] = {}, next[16] = {};
    for (auto l : len) ++count[l];
    count[0] = 0;
    unsigned code = 0;
    for (unsigned l = 1; l < 16; ++l) {
        code = (code + count[l - 1]) << 1;
        next[l] = code;
    }
    std::vector<std::uint32_t> codes(len.size(), 0);
    for (std::size_t i = 0; i < len.size(); ++i)
        if (len[i]) codes[i] = next[len[i]]++;
    return codes;
}

// ---------------------------------------------------------------- RAR 2.0

inline constexpr unsigned kNC20 = 298, kDC20 = 48, kRC20 = 28, kMC20 = 257;
inline constexpr std::uint8_t kLBits20[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                              2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
inline constexpr std::uint8_t kDBits20[48] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                              7,  7,  8,  8,  9,  9,  10, 10, 11, 11, 12, 12, 13, 13, 14, 14,
                                              15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
inline constexpr std::uint8_t kSDBits20[8] = {2, 2, 3, 4, 5, 6, 6, 6};

// Base value of each class for a table of extra-bit counts.
template <std::size_t N>
inline unsigned classOf(const std::uint8_t (&bits)[N], std::uint32_t v, std::uint32_t& extra) {
    std::uint32_t base = 0;
    for (unsigned i = 0; i < N; ++i) {
        if (v < base + (1u << bits[i])) {
            extra = v - base;
            return i;
        }
        base += 1u << bits[i];
    }
    throw std::runtime_error("value beyond the classes");
}
// Length classes 0..27 cover 0..255 with these bits (0,1,...,7 then 8,10,...).
inline unsigned lengthClass(std::uint32_t v, std::uint32_t& extra) {
    return classOf(kLBits20, v, extra);
}

// One multimedia channel's predictor, as the decoder keeps it.
struct Audio20 {
    struct Chan {
        int K[5] = {};
        int D1 = 0, D2 = 0, D3 = 0, D4 = 0, LastDelta = 0;
        unsigned Dif[11] = {}, ByteCount = 0, LastChar = 0;
    };
    Chan V[4];
    int ChannelDelta = 0;

    std::uint8_t decode(unsigned c, int delta) {
        Chan& v = V[c];
        ++v.ByteCount;
        v.D4 = v.D3;
        v.D3 = v.D2;
        v.D2 = v.LastDelta - v.D1;
        v.D1 = v.LastDelta;
        const int p = 8 * static_cast<int>(v.LastChar) + v.K[0] * v.D1 + v.K[1] * v.D2 + v.K[2] * v.D3 +
                      v.K[3] * v.D4 + v.K[4] * ChannelDelta;
        const unsigned ch = static_cast<unsigned>((p >> 3) - delta) & 0xFF;
        const int d = static_cast<std::int8_t>(static_cast<std::uint8_t>(delta)) * 8;
        const int s[5] = {v.D1, v.D2, v.D3, v.D4, ChannelDelta};
        v.Dif[0] += static_cast<unsigned>(std::abs(d));
        for (unsigned i = 0; i < 5; ++i) {
            v.Dif[1 + 2 * i] += static_cast<unsigned>(std::abs(d - s[i]));
            v.Dif[2 + 2 * i] += static_cast<unsigned>(std::abs(d + s[i]));
        }
        ChannelDelta = v.LastDelta = static_cast<std::int8_t>(static_cast<std::uint8_t>(ch - v.LastChar));
        v.LastChar = ch;
        if ((v.ByteCount & 0x1F) == 0) {
            unsigned m = v.Dif[0], best = 0;
            for (unsigned i = 1; i < 11; ++i)
                if (v.Dif[i] < m) m = v.Dif[i], best = i;
            std::memset(v.Dif, 0, sizeof v.Dif);
            if (best) {
                int& k = v.K[(best - 1) / 2];
                if (best & 1) {
                    if (k >= -16) --k;
                } else if (k < 16) {
                    ++k;
                }
            }
        }
        return static_cast<std::uint8_t>(ch);
    }
    // The delta that makes the predictor give b, the state advanced past it.
    unsigned encode(unsigned c, std::uint8_t b) {
        Audio20 probe = *this;
        const unsigned predicted = probe.decode(c, 0);
        const unsigned delta = (predicted - b) & 0xFF;
        if (decode(c, static_cast<int>(delta)) != b) throw std::runtime_error("audio predictor mismatch");
        return delta;
    }
};

// A block of one table set: LZ tokens, or multimedia bytes over Channels channels.
struct Block20 {
    bool Audio = false;
    unsigned Channels = 1;
    bool Keep = false;               // send the lengths as changes of the previous table
    bool Dense = false;              // give every symbol a code (so a later solid entry may use any)
    bool Reuse = false;              // no new tables: code with the previous ones (solid continuation)
    std::vector<Tok> Toks;           // LZ
    std::vector<std::uint8_t> Bytes; // multimedia
};

class Rar20Writer {
public:
    unsigned AudioMaxBits = 15; // longest multimedia code

    // One entry's stream; Data receives what it unpacks to. Solid continues the previous
    // entry's window, distances and tables.
    std::vector<std::uint8_t> file(const std::vector<Block20>& blocks, bool solid,
                                   std::vector<std::uint8_t>& data) {
        if (!solid) {
            const unsigned keepMax = AudioMaxBits;
            *this = Rar20Writer{};
            AudioMaxBits = keepMax;
        }
        Out.clear();
        const std::size_t start = Hist.size();
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            const Block20& blk = blocks[b];
            if (blk.Reuse) {
                if (blk.Audio != Audio) throw std::runtime_error("reuse across modes");
            } else {
                if (Started) { // the switch symbol, in the tables in force
                    if (Audio)
                        putSym(MD[CurChannel], 256);
                    else
                        putSym(LD, 269);
                }
                if (blk.Audio)
                    audioTables(blk);
                else
                    lzTables(blk);
                Started = true;
            }
            if (blk.Audio)
                for (auto byte : blk.Bytes) {
                    putSym(MD[CurChannel], Au.encode(CurChannel, byte));
                    Hist.push_back(byte);
                    if (++CurChannel == Channels) CurChannel = 0;
                }
            else
                for (const Sym& s : Syms(blk.Toks, false)) putLz(s);
        }
        data.assign(Hist.begin() + static_cast<std::ptrdiff_t>(start), Hist.end());
        auto bytes = Out.bytes();
        bytes.insert(bytes.end(), Pad, 0);
        return bytes;
    }
    // Zero bytes after the last symbol: unar looks a little past a multimedia block's end.
    unsigned Pad = 2;

private:
    struct Code {
        std::vector<std::uint8_t> Len;
        std::vector<std::uint32_t> Bits;
    };
    struct Sym {
        unsigned L;         // LD symbol
        int D = -1, R = -1; // DD / RD symbol
        std::uint32_t LX = 0, DX = 0, RX = 0;
        unsigned LN = 0, DN = 0, RN = 0; // extra bit counts
    };

    void putSym(const Code& c, unsigned s) {
        if (!c.Len.at(s)) throw std::runtime_error("symbol without a code");
        Out.put(c.Bits[s], c.Len[s]);
    }
    void putLz(const Sym& s) {
        putSym(LD, s.L);
        if (s.LN) Out.put(s.LX, s.LN);
        if (s.D >= 0) {
            putSym(DD, static_cast<unsigned>(s.D));
            if (s.DN) Out.put(s.DX, s.DN);
        }
        if (s.R >= 0) {
            putSym(RD, static_cast<unsigned>(s.R));
            if (s.RN) Out.put(s.RX, s.RN);
        }
    }

    // The symbols for the tokens; with dry == true nothing changes (counting for the tables).
    std::vector<Sym> Syms(const std::vector<Tok>& toks, bool dry) {
        std::uint32_t saveOld[4];
        std::copy(OldDist, OldDist + 4, saveOld);
        const unsigned savePtr = OldDistPtr, saveLen = LastLength;
        const std::uint32_t saveDist = LastDist;
        const std::size_t saveHist = Hist.size();
        std::vector<Sym> out;
        for (const Tok& t : toks) {
            if (t.Len == 0) {
                out.push_back({t.Byte});
                Hist.push_back(t.Byte);
                continue;
            }
            Sym s{0};
            bool coded = false;
            const std::uint32_t d = t.Dist;
            if (t.Len == LastLength && d == LastDist) {
                s.L = 256, coded = true;
            }
            for (unsigned k = 1; k <= 4 && !coded; ++k) {
                if (OldDist[(OldDistPtr - k) & 3] != d) continue;
                const unsigned bonus = (d >= 0x101) + (d >= 0x2000) + (d >= 0x40000);
                if (t.Len < 2 + bonus || t.Len - 2 - bonus > 255) continue;
                std::uint32_t x;
                s.L = 256 + k;
                s.R = static_cast<int>(lengthClass(t.Len - 2 - bonus, x));
                s.RX = x, s.RN = kLBits20[s.R];
                coded = true;
            }
            if (!coded && t.Len == 2 && d >= 1 && d <= 256) {
                std::uint32_t x;
                const unsigned c = classOf(kSDBits20, d - 1, x);
                s.L = 261 + c, s.LX = x, s.LN = kSDBits20[c];
                coded = true;
            }
            if (!coded) {
                const unsigned bonus = (d >= 0x2000) + (d >= 0x40000);
                if (d >= 1 && t.Len >= 3 + bonus && t.Len - 3 - bonus <= 255) {
                    std::uint32_t x, y;
                    const unsigned c = lengthClass(t.Len - 3 - bonus, x);
                    s.L = 270 + c, s.LX = x, s.LN = kLBits20[c];
                    s.D = static_cast<int>(classOf(kDBits20, d - 1, y));
                    s.DX = y, s.DN = kDBits20[s.D];
                    coded = true;
                }
            }
            if (!coded) { // not codable: its bytes
                for (unsigned i = 0; i < t.Len; ++i) {
                    Hist.push_back(Hist[Hist.size() - d]);
                    out.push_back({Hist.back()});
                }
                continue;
            }
            LastDist = OldDist[OldDistPtr++ & 3] = d;
            LastLength = t.Len;
            for (unsigned i = 0; i < t.Len; ++i) Hist.push_back(Hist[Hist.size() - d]);
            out.push_back(s);
        }
        if (dry) {
            std::copy(saveOld, saveOld + 4, OldDist);
            OldDistPtr = savePtr, LastLength = saveLen, LastDist = saveDist;
            Hist.resize(saveHist);
        }
        return out;
    }

    void lengths(bool audio, unsigned channels, bool keep, const std::vector<std::uint8_t>& table) {
        if (!keep) std::fill(std::begin(Old), std::end(Old), std::uint8_t{0});
        Out.put((audio ? 2u : 0u) | (keep ? 1u : 0u), 2);
        if (audio) Out.put(channels - 1, 2);
        // Bit-length symbols: changes of the old lengths, runs of zeros (17, 18), repeats (16).
        struct BL {
            unsigned S, X, N;
        };
        std::vector<BL> bl;
        // Runs stay within one channel's table.
        const std::size_t seg = audio ? kMC20 : table.size();
        for (std::size_t i = 0; i < table.size();) {
            const std::size_t n = (i / seg + 1) * seg;
            std::size_t r = 0;
            if (table[i] == 0) {
                while (i + r < n && table[i + r] == 0) ++r;
                if (r >= 11) {
                    r = std::min<std::size_t>(r, 138);
                    bl.push_back({18, static_cast<unsigned>(r - 11), 7});
                    i += r;
                    continue;
                }
                if (r >= 3) {
                    r = std::min<std::size_t>(r, 10);
                    bl.push_back({17, static_cast<unsigned>(r - 3), 3});
                    i += r;
                    continue;
                }
            } else if (i % seg > 0 && table[i] == table[i - 1]) {
                while (i + r < n && table[i + r] == table[i - 1]) ++r;
                if (r >= 3) {
                    r = std::min<std::size_t>(r, 6);
                    bl.push_back({16, static_cast<unsigned>(r - 3), 2});
                    i += r;
                    continue;
                }
            }
            bl.push_back({static_cast<unsigned>((table[i] - Old[i]) & 15), 0, 0});
            ++i;
        }
        std::vector<std::uint32_t> f(19, 0);
        for (const BL& b : bl) ++f[b.S];
        Code bd;
        bd.Len = huffLengths(f, 15);
        bd.Bits = canonCodes(bd.Len);
        for (unsigned i = 0; i < 19; ++i) Out.put(bd.Len[i], 4);
        for (const BL& b : bl) {
            putSym(bd, b.S);
            if (b.N) Out.put(b.X, b.N);
        }
        std::copy(table.begin(), table.end(), Old);
    }

    static Code code(const std::vector<std::uint32_t>& f, unsigned maxBits = 15) {
        Code c;
        c.Len = huffLengths(f, maxBits);
        c.Bits = canonCodes(c.Len);
        return c;
    }

    void lzTables(const Block20& blk) {
        std::vector<std::uint32_t> fl(kNC20, blk.Dense), fd(kDC20, blk.Dense), fr(kRC20, blk.Dense);
        for (const Sym& s : Syms(blk.Toks, true)) {
            ++fl[s.L];
            if (s.D >= 0) ++fd[static_cast<std::size_t>(s.D)];
            if (s.R >= 0) ++fr[static_cast<std::size_t>(s.R)];
        }
        ++fl[269]; // a later block may switch tables
        LD = code(fl), DD = code(fd), RD = code(fr);
        std::vector<std::uint8_t> table(LD.Len);
        table.insert(table.end(), DD.Len.begin(), DD.Len.end());
        table.insert(table.end(), RD.Len.begin(), RD.Len.end());
        lengths(false, 1, blk.Keep, table);
        Audio = false;
    }

    void audioTables(const Block20& blk) {
        Channels = blk.Channels;
        if (CurChannel >= Channels) CurChannel = 0;
        std::vector<std::vector<std::uint32_t>> f(Channels, std::vector<std::uint32_t>(kMC20, blk.Dense));
        Audio20 probe = Au;
        unsigned c = CurChannel;
        for (auto byte : blk.Bytes) {
            ++f[c][probe.encode(c, byte)];
            if (++c == Channels) c = 0;
        }
        std::vector<std::uint8_t> table;
        for (unsigned i = 0; i < Channels; ++i) {
            ++f[i][256];
            MD[i] = code(f[i], AudioMaxBits);
            table.insert(table.end(), MD[i].Len.begin(), MD[i].Len.end());
        }
        lengths(true, Channels, blk.Keep, table);
        Audio = true;
    }

    Bits Out;
    std::vector<std::uint8_t> Hist;
    Code LD, DD, RD, MD[4];
    std::uint8_t Old[kMC20 * 4] = {};
    bool Started = false, Audio = false;
    unsigned Channels = 1, CurChannel = 0;
    Audio20 Au;
    std::uint32_t OldDist[4] = {};
    unsigned OldDistPtr = 0, LastLength = 0;
    std::uint32_t LastDist = 0;
};

// ---------------------------------------------------------------- RAR 1.5

struct Fixed15 {
    unsigned Start;
    std::vector<unsigned> Dec, Pos;

    // The code of Value and its length, checked against how a reader takes it apart.
    std::pair<unsigned, unsigned> codeOf(unsigned value) const {
        for (unsigned i = 0; i < Dec.size(); ++i) {
            const unsigned lower = i ? Dec[i - 1] : 0, upper = Dec[i] == 0xffff ? 0x10000 : Dec[i];
            const unsigned bits = Start + i;
            if (upper <= lower) continue;
            const unsigned count = (upper - lower) >> (16 - bits);
            if (value < Pos[bits] || value >= Pos[bits] + count) continue;
            const unsigned code = (lower >> (16 - bits)) + (value - Pos[bits]);
            if (read(code << (16 - bits)) != value) throw std::runtime_error("fixed code mismatch");
            return {code, bits};
        }
        throw std::runtime_error("value without a fixed code");
    }
    void put(Bits& out, unsigned value) const {
        const auto [code, bits] = codeOf(value);
        out.put(code, bits);
    }
    unsigned read(unsigned num) const {
        num &= 0xfff0;
        unsigned i = 0, bits = Start;
        while (Dec[i] <= num) ++i, ++bits;
        return ((num - (i ? Dec[i - 1] : 0)) >> (16 - bits)) + Pos[bits];
    }
};

inline const Fixed15 kL1_15{
    2,
    {0x8000, 0xa000, 0xc000, 0xd000, 0xe000, 0xea00, 0xee00, 0xf000, 0xf200, 0xf200, 0xffff},
    {0, 0, 0, 2, 3, 5, 7, 11, 16, 20, 24, 32, 32}};
inline const Fixed15 kL2_15{3,
                            {0xa000, 0xc000, 0xd000, 0xe000, 0xea00, 0xee00, 0xf000, 0xf200, 0xf240, 0xffff},
                            {0, 0, 0, 0, 5, 7, 9, 13, 18, 22, 26, 34, 36}};
inline const Fixed15 kHf0_15{4,
                             {0x8000, 0xc000, 0xe000, 0xf200, 0xf200, 0xf200, 0xf200, 0xf200, 0xffff},
                             {0, 0, 0, 0, 0, 8, 16, 24, 33, 33, 33, 33, 33}};
inline const Fixed15 kHf1_15{5,
                             {0x2000, 0xc000, 0xe000, 0xf000, 0xf200, 0xf200, 0xf7e0, 0xffff},
                             {0, 0, 0, 0, 0, 0, 4, 44, 60, 76, 80, 80, 127}};
inline const Fixed15 kHf2_15{5,
                             {0x1000, 0x2400, 0x8000, 0xc000, 0xfa00, 0xffff, 0xffff, 0xffff},
                             {0, 0, 0, 0, 0, 0, 2, 7, 53, 117, 233, 0, 0}};
inline const Fixed15 kHf3_15{
    6, {0x800, 0x2400, 0xee00, 0xfe80, 0xffff, 0xffff, 0xffff}, {0, 0, 0, 0, 0, 0, 0, 2, 16, 218, 251, 0, 0}};
inline const Fixed15 kHf4_15{
    8, {0xff00, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0}};

// Mirrors the reader's adaptive state symbol by symbol and writes what makes the reader
// take each token: literals through the moving byte list, short and long matches, repeats,
// old distances, the literal-only mode and its escapes.
class Rar15Writer {
public:
    // Counts of how tokens were coded, for tests to see each path was taken.
    struct Stats {
        unsigned Lit = 0, StLit = 0, StMatch = 0, StExit = 0, Short = 0, Repeat = 0, Repeat2 = 0, OldDist = 0,
                 Far = 0, Buf60 = 0, Long = 0, AsLiterals = 0;
    } Seen;

    std::vector<std::uint8_t> file(const std::vector<Tok>& toks, bool solid,
                                   std::vector<std::uint8_t>& data) {
        if (!solid) init();
        Out.clear();
        FlagsCnt = 0, StMode = false, LCount = 0, Open = false;
        const std::size_t start = Hist.size();
        std::size_t expect = start;
        for (const Tok& t : toks) expect += t.Len ? t.Len : 1;
        if (expect > start) {
            openFlags();
            FlagsCnt = 8;
        }
        for (const Tok& t : toks) token(t);
        if (Open) closeFlags();
        data.assign(Hist.begin() + static_cast<std::ptrdiff_t>(start), Hist.end());
        return Out.bytes();
    }

private:
    void init() {
        for (unsigned i = 0; i < 256; ++i) {
            ChSet[i] = ChSetB[i] = static_cast<std::uint16_t>(i << 8);
            ChSetA[i] = static_cast<std::uint16_t>(i);
            ChSetC[i] = static_cast<std::uint16_t>(((~i + 1) & 0xff) << 8);
        }
        std::memset(NToPl, 0, 256), std::memset(NToPlB, 0, 256), std::memset(NToPlC, 0, 256);
        corr(ChSetB, NToPlB);
        AvrPlcB = AvrLn1 = AvrLn2 = AvrLn3 = NumHuf = Buf60 = 0;
        AvrPlc = 0x3500, MaxDist3 = 0x2001, Nhfb = Nlzb = 0x80;
        std::memset(OldDist, 0, sizeof OldDist);
        OldDistPtr = 0, LastDist = 0, LastLength = 0;
        Hist.clear();
    }
    static void corr(std::uint16_t* set, std::uint8_t* toPlace) {
        for (int i = 7; i >= 0; --i)
            for (unsigned j = 0; j < 32; ++j, ++set)
                *set = static_cast<std::uint16_t>((*set & ~0xffu) | static_cast<unsigned>(i));
        std::memset(toPlace, 0, 256);
        for (int i = 6; i >= 0; --i) toPlace[i] = static_cast<std::uint8_t>((7 - i) * 32);
    }
    static unsigned placeOf(const std::uint16_t* set, unsigned high) {
        for (unsigned p = 0; p < 256; ++p)
            if ((set[p] >> 8) == high) return p;
        throw std::runtime_error("value not in its list");
    }

    void openFlags() {
        if (Open) closeFlags();
        Slot = Out.slot();
        Flags = 0, Used = 0, Open = true;
    }
    void closeFlags() {
        const unsigned place = placeOf(ChSetC, Flags);
        const auto [code, n] = kHf2_15.codeOf(place);
        Out.fill(Slot, code, n);
        unsigned flags, newPlace;
        for (;;) {
            flags = ChSetC[place];
            newPlace = NToPlC[flags++ & 0xff]++;
            if (flags & 0xff) break;
            corr(ChSetC, NToPlC);
        }
        ChSetC[place] = ChSetC[newPlace];
        ChSetC[newPlace] = static_cast<std::uint16_t>(flags);
        Open = false;
    }
    void flag(unsigned bit) {
        if (--FlagsCnt < 0) {
            openFlags();
            FlagsCnt = 7;
        }
        Flags |= bit << (7 - Used++);
    }

    const Fixed15& litCode() const {
        return AvrPlc > 0x75ff   ? kHf4_15
               : AvrPlc > 0x5dff ? kHf3_15
               : AvrPlc > 0x35ff ? kHf2_15
               : AvrPlc > 0x0dff ? kHf1_15
                                 : kHf0_15;
    }

    void copy(std::uint32_t dist, unsigned len) {
        for (unsigned i = 0; i < len; ++i) Hist.push_back(Hist.at(Hist.size() - dist));
    }

    void literal(std::uint8_t b) {
        const unsigned place = placeOf(ChSet, b);
        if (StMode) {
            litCode().put(Out, place + 1);
            ++Seen.StLit;
        } else {
            if (Nlzb > Nhfb)
                flag(0), flag(1);
            else
                flag(1);
            litCode().put(Out, place);
            if (NumHuf++ >= 16 && FlagsCnt == 0) StMode = true;
            ++Seen.Lit;
        }
        AvrPlc += place;
        AvrPlc -= AvrPlc >> 8;
        Nhfb += 16;
        if (Nhfb > 0xff) Nhfb = 0x90, Nlzb >>= 1;
        Hist.push_back(b);
        unsigned cur, newPlace;
        for (;;) {
            cur = ChSet[place];
            newPlace = NToPl[cur++ & 0xff]++;
            if ((cur & 0xff) > 0xa1)
                corr(ChSet, NToPl);
            else
                break;
        }
        ChSet[place] = ChSet[newPlace];
        ChSet[newPlace] = static_cast<std::uint16_t>(cur);
    }

    // The short-match code Index in the table the reader uses now.
    void shortCode(unsigned index) {
        static constexpr unsigned len1[] = {1, 3, 4, 4, 5, 6, 7, 8, 8, 4, 4, 5, 6, 6, 4};
        static constexpr unsigned xor1[] = {0,    0xa0, 0xd0, 0xe0, 0xf0, 0xf8, 0xfc, 0xfe,
                                            0xff, 0xc0, 0x80, 0x90, 0x98, 0x9c, 0xb0};
        static constexpr unsigned len2[] = {2, 3, 3, 3, 4, 4, 5, 6, 6, 4, 4, 5, 6, 6, 4};
        static constexpr unsigned xor2[] = {0,    0x40, 0x60, 0xa0, 0xd0, 0xe0, 0xf0, 0xf8,
                                            0xfc, 0xc0, 0x80, 0x90, 0x98, 0x9c, 0xb0};
        const bool second = AvrLn1 >= 37;
        const unsigned variable = second ? 3 : 1;
        const unsigned n = index == variable ? Buf60 + 3 : (second ? len2 : len1)[index];
        Out.put((second ? xor2 : xor1)[index] >> (8 - n), n);
    }
    void shortStart() {
        flag(0), flag(0);
        NumHuf = 0;
        if (LCount == 2) Out.put(0, 1), LCount = 0;
    }
    void pushOld(std::uint32_t d) {
        OldDist[OldDistPtr++] = d;
        OldDistPtr &= 3;
    }

    void token(const Tok& t) {
        if (t.Len == 0) return literal(t.Byte);
        const std::uint32_t d = t.Dist;
        const unsigned len = t.Len;
        if (d == 0 || d > Hist.size()) throw std::runtime_error("match before the start");
        if (StMode) {
            if ((len == 3 || len == 4) && (d >> 5) <= 256) {
                litCode().put(Out, 0);
                Out.put(len == 4 ? 1 : 0, 2);
                kHf2_15.put(Out, d >> 5);
                Out.put(d & 31, 5);
                copy(d, len);
                ++Seen.StMatch;
                return;
            }
            litCode().put(Out, 0);
            Out.put(1, 1);
            NumHuf = 0, StMode = false;
            ++Seen.StExit;
        }
        if (d == LastDist && len == LastLength) {
            flag(0), flag(0);
            NumHuf = 0;
            if (LCount == 2) {
                Out.put(1, 1);
                ++Seen.Repeat2;
            } else {
                shortCode(9);
                ++LCount;
                ++Seen.Repeat;
            }
            copy(d, len);
            return;
        }
        for (unsigned k = 1; k <= 4; ++k) {
            if (OldDist[(OldDistPtr - k) & 3] != d) continue;
            const unsigned bonus = (d > 256) + (d >= MaxDist3);
            if (len < 2 + bonus || len - 2 - bonus > 255 || (k == 1 && len - 2 - bonus == 255)) continue;
            shortStart();
            shortCode(9 + k);
            kL1_15.put(Out, len - 2 - bonus);
            pushOld(d);
            LastLength = len, LastDist = d;
            copy(d, len);
            ++Seen.OldDist;
            return;
        }
        if (len >= 2 && len <= 10 && d <= 256) {
            shortStart();
            shortCode(len - 2);
            AvrLn1 += len - 2;
            AvrLn1 -= AvrLn1 >> 4;
            const unsigned place = [&] {
                for (unsigned p = 0; p < 256; ++p)
                    if (ChSetA[p] == d - 1) return p;
                throw std::runtime_error("distance not in its list");
            }();
            kHf2_15.put(Out, place);
            if (place > 0) std::swap(ChSetA[place], ChSetA[place - 1]);
            pushOld(d);
            LastLength = len, LastDist = d;
            copy(d, len);
            ++Seen.Short;
            return;
        }
        if (d >= 0x8000 && d <= 0xffff && len >= 5 && len - 5 <= 255) {
            if (!Buf60) { // make the far code reachable
                shortStart();
                shortCode(10);
                kL1_15.put(Out, 255);
                Buf60 ^= 1;
                ++Seen.Buf60;
            }
            shortStart();
            shortCode(14);
            kL2_15.put(Out, len - 5);
            Out.put(d & 0x7fff, 15);
            LastLength = len, LastDist = d;
            copy(d, len);
            ++Seen.Far;
            return;
        }
        const unsigned bonus = (d >= MaxDist3) + (d <= 256 ? 8 : 0);
        if (d <= 0x7fff && len >= 3 + bonus && len - 3 - bonus <= 255) {
            longMatch(len - 3 - bonus, d);
            copy(d, len);
            ++Seen.Long;
            return;
        }
        for (unsigned i = 0; i < len; ++i) literal(Hist[Hist.size() - d]); // not codable: its bytes
        ++Seen.AsLiterals;
    }

    void longMatch(unsigned l, std::uint32_t d) {
        if (Nlzb > Nhfb)
            flag(1);
        else
            flag(0), flag(1);
        NumHuf = 0;
        Nlzb += 16;
        if (Nlzb > 0xff) Nlzb = 0x90, Nhfb >>= 1;
        const unsigned oldAvr2 = AvrLn2;
        if (AvrLn2 >= 122)
            kL2_15.put(Out, l);
        else if (AvrLn2 >= 64)
            kL1_15.put(Out, l);
        else if (l < 8)
            Out.put(1, l + 1);
        else
            Out.put(l, 16);
        AvrLn2 += l;
        AvrLn2 -= AvrLn2 >> 5;
        const unsigned place = placeOf(ChSetB, d >> 7);
        (AvrPlcB > 0x28ff ? kHf2_15 : AvrPlcB > 0x6ff ? kHf1_15 : kHf0_15).put(Out, place);
        AvrPlcB += place;
        AvrPlcB -= AvrPlcB >> 8;
        unsigned dist, newPlace;
        for (;;) {
            dist = ChSetB[place];
            newPlace = NToPlB[dist++ & 0xff]++;
            if (dist & 0xff) break;
            corr(ChSetB, NToPlB);
        }
        ChSetB[place] = ChSetB[newPlace];
        ChSetB[newPlace] = static_cast<std::uint16_t>(dist);
        Out.put(d & 0x7f, 7);
        const unsigned oldAvr3 = AvrLn3;
        if (l != 1 && l != 4) {
            if (l == 0 && d <= MaxDist3) {
                ++AvrLn3;
                AvrLn3 -= AvrLn3 >> 8;
            } else if (AvrLn3 > 0) {
                --AvrLn3;
            }
        }
        const unsigned len = l + 3 + (d >= MaxDist3) + (d <= 256 ? 8 : 0);
        MaxDist3 = (oldAvr3 > 0xb0 || (AvrPlc >= 0x2a00 && oldAvr2 < 0x40)) ? 0x7f00 : 0x2001;
        pushOld(d);
        LastLength = len, LastDist = d;
    }

    Bits Out;
    std::vector<std::uint8_t> Hist;
    std::uint16_t ChSet[256] = {}, ChSetA[256] = {}, ChSetB[256] = {}, ChSetC[256] = {};
    std::uint8_t NToPl[256] = {}, NToPlB[256] = {}, NToPlC[256] = {};
    unsigned AvrPlc = 0, AvrPlcB = 0, AvrLn1 = 0, AvrLn2 = 0, AvrLn3 = 0;
    unsigned NumHuf = 0, Nhfb = 0, Nlzb = 0, MaxDist3 = 0, Buf60 = 0, LCount = 0;
    int FlagsCnt = 0;
    bool StMode = false, Open = false;
    std::size_t Slot = 0;
    unsigned Flags = 0, Used = 0;
    std::uint32_t OldDist[4] = {};
    unsigned OldDistPtr = 0, LastLength = 0;
    std::uint32_t LastDist = 0;
};

// Greedy matches over data (3 bytes and up, nearest first), as a script for the writers.
inline std::vector<Tok> greedy(const std::vector<std::uint8_t>& d, std::uint32_t maxDist, unsigned maxLen) {
    std::vector<Tok> out;
    std::vector<std::int64_t> head(1 << 16, -1), prev(d.size(), -1);
    auto hash = [&](std::size_t i) { return (d[i] * 2654435761u ^ d[i + 1] * 40503u ^ d[i + 2]) & 0xffff; };
    auto insert = [&](std::size_t i) {
        if (i + 2 >= d.size()) return;
        const unsigned h = hash(i);
        prev[i] = head[h];
        head[h] = static_cast<std::int64_t>(i);
    };
    for (std::size_t i = 0; i < d.size();) {
        unsigned best = 0;
        std::uint32_t bestD = 0;
        if (i + 2 < d.size()) {
            int chain = 32;
            for (std::int64_t j = head[hash(i)]; j >= 0 && chain-- > 0;
                 j = prev[static_cast<std::size_t>(j)]) {
                const std::size_t dist = i - static_cast<std::size_t>(j);
                if (dist > maxDist) break;
                unsigned l = 0;
                while (l < maxLen && i + l < d.size() && d[static_cast<std::size_t>(j) + l] == d[i + l]) ++l;
                if (l > best) best = l, bestD = static_cast<std::uint32_t>(dist);
            }
        }
        if (best >= 3) {
            out.push_back(match(best, bestD));
            for (unsigned k = 0; k < best; ++k) insert(i + k);
            i += best;
        } else {
            out.push_back(lit(d[i]));
            insert(i);
            ++i;
        }
    }
    return out;
}

} // namespace rarenc
