// A small ACE 1.0 writer for tests (no ACE writer exists on Linux): stored entries and the
// LZ77 method (greedy matches over hash chains, recent-distance repeats, per-block Huffman
// tables), solid archives and volume sets. Each archive a test builds is first checked by an
// independent reader (Debian's `unace t`).
#pragma once
#include <algorithm>
#include <cstdint>
#include <queue>
#include <string>
#include <utility>
#include <vector>

namespace acetest {

using Bytes = std::vector<std::uint8_t>;

// The format's CRC-32: the usual reflected polynomial, the register kept without the final
// inversion.
inline std::uint32_t aceCrc(const Bytes& d, std::uint32_t reg = 0xFFFFFFFFu) {
    static const auto table = [] {
        std::vector<std::uint32_t> t(256);
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    for (std::uint8_t b : d) reg = table[(reg ^ b) & 0xFF] ^ (reg >> 8);
    return reg;
}

class BitWriter {
public:
    void put(std::uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i) {
            word_ = (word_ << 1) | ((v >> i) & 1);
            if (++bits_ == 32) flush();
        }
    }
    // Whole little-endian words, the last one padded with zero bits, then one word of zeros
    // (readers look one word ahead).
    Bytes finish() {
        if (bits_) {
            word_ <<= (32 - bits_);
            bits_ = 32;
            flush();
        }
        bits_ = 32;
        word_ = 0;
        flush();
        return std::move(out_);
    }

private:
    void flush() {
        for (int i = 0; i < 4; ++i) out_.push_back(static_cast<std::uint8_t>(word_ >> (8 * i)));
        word_ = 0;
        bits_ = 0;
    }
    Bytes out_;
    std::uint32_t word_ = 0;
    int bits_ = 0;
};

// Code widths from symbol counts, none wider than maxWidth (Huffman, then the widest codes
// cut and longer ones lengthened until the code space fits).
inline std::vector<std::uint8_t> huffmanWidths(const std::vector<std::uint64_t>& freq, int maxWidth) {
    std::vector<std::uint8_t> w(freq.size(), 0);
    std::vector<int> used;
    for (std::size_t i = 0; i < freq.size(); ++i)
        if (freq[i]) used.push_back(static_cast<int>(i));
    if (used.empty()) return w;
    if (used.size() == 1) {
        w[static_cast<std::size_t>(used[0])] = 1;
        return w;
    }
    struct Node {
        std::uint64_t f;
        int id;
    };
    auto cmp = [](const Node& a, const Node& b) { return a.f != b.f ? a.f > b.f : a.id > b.id; };
    std::priority_queue<Node, std::vector<Node>, decltype(cmp)> q(cmp);
    std::vector<int> parent(used.size() * 2, -1);
    for (std::size_t i = 0; i < used.size(); ++i)
        q.push({freq[static_cast<std::size_t>(used[i])], static_cast<int>(i)});
    int next = static_cast<int>(used.size());
    while (q.size() > 1) {
        Node a = q.top();
        q.pop();
        Node b = q.top();
        q.pop();
        parent[static_cast<std::size_t>(a.id)] = parent[static_cast<std::size_t>(b.id)] = next;
        q.push({a.f + b.f, next++});
    }
    for (std::size_t i = 0; i < used.size(); ++i) {
        int d = 0;
        for (int p = static_cast<int>(i); parent[static_cast<std::size_t>(p)] >= 0;
             p = parent[static_cast<std::size_t>(p)])
            ++d;
        w[static_cast<std::size_t>(used[i])] = static_cast<std::uint8_t>(std::min(d, maxWidth));
    }
    auto space = [&] {
        std::uint64_t s = 0;
        for (auto x : w)
            if (x) s += std::uint64_t{1} << (maxWidth - x);
        return s;
    };
    while (space() > (std::uint64_t{1} << maxWidth)) {
        std::size_t pick = w.size();
        for (std::size_t i = 0; i < w.size(); ++i)
            if (w[i] && w[i] < maxWidth && (pick == w.size() || w[i] > w[pick])) pick = i;
        ++w[pick];
    }
    return w;
}

// The order in which the format hands out codes: the widths sorted into falling order by
// its own partition sort (equal widths land where that sort leaves them), read backwards.
// Only the widths sent are sorted. A lone code gets width 1.
inline std::vector<int> codeOrder(std::vector<std::uint8_t>& widths) {
    const int n = static_cast<int>(widths.size());
    std::vector<std::uint8_t> f = widths;
    std::vector<int> org(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) org[static_cast<std::size_t>(i)] = i;
    auto sw = [&](int a, int b) {
        std::swap(f[static_cast<std::size_t>(a)], f[static_cast<std::size_t>(b)]);
        std::swap(org[static_cast<std::size_t>(a)], org[static_cast<std::size_t>(b)]);
    };
    auto at = [&](int i) { return f[static_cast<std::size_t>(i)]; };
    auto sortRange = [&](auto& self, int left, int right) -> void {
        int zl = left, zr = right;
        const std::uint8_t pivot = at(right);
        do {
            while (at(zl) > pivot) ++zl;
            while (at(zr) < pivot) --zr;
            if (zl <= zr) sw(zl++, zr--);
        } while (zl < zr);
        if (left < zr) {
            if (left < zr - 1)
                self(self, left, zr);
            else if (at(left) < at(zr))
                sw(left, zr);
        }
        if (right > zl) {
            if (zl < right - 1)
                self(self, zl, right);
            else if (at(zl) < at(right))
                sw(zl, right);
        }
    };
    if (n > 1) sortRange(sortRange, 0, n - 1);
    int used = 0;
    while (used < n && at(used)) ++used;
    if (used < 2) {
        widths[static_cast<std::size_t>(org[0])] = 1;
        used = 1;
    }
    std::vector<int> r(org.begin(), org.begin() + used);
    std::reverse(r.begin(), r.end());
    return r;
}

struct Code {
    std::uint32_t bits = 0;
    int width = 0;
};

// Codes for `widths` (which must be trimmed to the count sent).
inline std::vector<Code> makeCodes(std::vector<std::uint8_t>& widths, int maxWidth) {
    std::vector<Code> codes(widths.size());
    std::uint32_t next = 0;
    for (int s : codeOrder(widths)) {
        const int w = widths[static_cast<std::size_t>(s)];
        codes[static_cast<std::size_t>(s)] = {next >> (maxWidth - w), w};
        next += std::uint32_t{1} << (maxWidth - w);
    }
    return codes;
}

// Sends a table's widths (the count, the smallest width less one, differences modulo
// `upper` through a width table of their own, zero differences in runs) and returns the
// codes.
inline std::vector<Code> putTable(BitWriter& bw, std::vector<std::uint8_t> widths, int maxWidth) {
    std::size_t count = widths.size();
    while (count > 1 && widths[count - 1] == 0) --count;
    widths.resize(count);
    int minW = 99, maxW = 0;
    for (auto w : widths)
        if (w) minW = std::min<int>(minW, w), maxW = std::max<int>(maxW, w);
    if (maxW == 0) minW = 1;
    const int lower = minW - 1;
    const int upper = maxW - lower + 1; // values 0 (unused) .. maxW - lower
    std::vector<int> deltas;
    int prev = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int v = widths[i] ? widths[i] - lower : 0;
        deltas.push_back(i == 0 ? v : ((v - prev) % upper + upper) % upper);
        prev = v;
    }
    // Symbols of the width table: a delta, or `upper` for a run of 4..19 zero deltas.
    std::vector<std::pair<int, int>> syms; // (symbol, run length - 4)
    for (std::size_t i = 0; i < deltas.size();) {
        std::size_t run = 0;
        while (i + run < deltas.size() && deltas[i + run] == 0 && run < 19) ++run;
        if (i > 0 && run >= 4) {
            syms.push_back({upper, static_cast<int>(run) - 4});
            i += run;
        } else {
            syms.push_back({deltas[i], 0});
            ++i;
        }
    }
    std::vector<std::uint64_t> wf(static_cast<std::size_t>(upper) + 1, 0);
    for (auto& s : syms) ++wf[static_cast<std::size_t>(s.first)];
    std::vector<std::uint8_t> ww = huffmanWidths(wf, 7);
    bw.put(static_cast<std::uint32_t>(count - 1), 9);
    bw.put(static_cast<std::uint32_t>(lower), 4);
    bw.put(static_cast<std::uint32_t>(upper), 4);
    std::vector<Code> wc = makeCodes(ww, 7);
    for (auto w : ww) bw.put(w, 3);
    for (auto& s : syms) {
        const Code& c = wc[static_cast<std::size_t>(s.first)];
        bw.put(c.bits, c.width);
        if (s.first == upper) bw.put(static_cast<std::uint32_t>(s.second), 4);
    }
    return makeCodes(widths, maxWidth);
}

// One LZ77 step: a literal, a new distance, or a repeat of recent distance `rep`.
struct Token {
    enum Kind : std::uint8_t { Literal, Match, Repeat } kind;
    std::uint32_t value; // literal byte / distance - 1 / recent-distance index
    std::uint32_t len;
};

inline std::uint32_t minLen(std::uint32_t cd) {
    return 2 + (cd > 255) + (cd > 8191);
}

// Greedy parse with hash chains. `history` is the data before `data` in the window (a solid
// archive's earlier files) and `dist` the recent distances carried over.
inline std::vector<Token> parse(const Bytes& history, const Bytes& data, std::uint32_t dist[4],
                                std::uint32_t maxDist = (1u << 22), int chain = 24, bool repeats = true) {
    Bytes all = history;
    all.insert(all.end(), data.begin(), data.end());
    const std::size_t n = all.size();
    std::vector<std::int64_t> head(1 << 16, -1), prevPos(n, -1);
    auto hash = [&](std::size_t i) {
        return ((all[i] << 8) ^ (all[i + 1] << 4) ^ all[i + 2] ^ (all[i + 2] << 11)) & 0xFFFF;
    };
    auto insert = [&](std::size_t i) {
        if (i + 3 > n) return;
        const auto h = hash(i);
        prevPos[i] = head[h];
        head[h] = static_cast<std::int64_t>(i);
    };
    for (std::size_t i = 0; i < history.size(); ++i) insert(i);
    std::vector<Token> out;
    std::size_t i = history.size();
    while (i < n) {
        std::uint32_t bestLen = 0, bestCd = 0;
        if (i + 3 <= n) {
            int c = chain;
            for (std::int64_t j = head[hash(i)]; j >= 0 && c-- > 0;
                 j = prevPos[static_cast<std::size_t>(j)]) {
                const std::size_t d = i - static_cast<std::size_t>(j);
                if (d > maxDist) break;
                const std::uint32_t cd = static_cast<std::uint32_t>(d - 1);
                const std::uint32_t cap = 254 + minLen(cd);
                std::uint32_t l = 0;
                while (i + l < n && l < cap && all[static_cast<std::size_t>(j) + l] == all[i + l]) ++l;
                if (l >= minLen(cd) && l > bestLen) bestLen = l, bestCd = cd;
            }
        }
        std::uint32_t repLen = 0, repIdx = 0;
        if (repeats)
            for (std::uint32_t k = 0; k < 4; ++k) {
                const std::size_t d = std::size_t{dist[k]} + 1;
                if (d > i) continue;
                const std::uint32_t lo = k > 1 ? 3 : 2, cap = 254 + lo;
                std::uint32_t l = 0;
                while (i + l < n && l < cap && all[i - d + l] == all[i + l]) ++l;
                if (l >= lo && l > repLen) repLen = l, repIdx = k;
            }
        std::uint32_t step;
        if (repLen && repLen >= bestLen) {
            const std::uint32_t d = dist[repIdx];
            for (std::uint32_t k = repIdx; k > 0; --k) dist[k] = dist[k - 1];
            dist[0] = d;
            out.push_back({Token::Repeat, repIdx, repLen});
            step = repLen;
        } else if (bestLen) {
            for (int k = 3; k > 0; --k) dist[k] = dist[k - 1];
            dist[0] = bestCd;
            out.push_back({Token::Match, bestCd, bestLen});
            step = bestLen;
        } else {
            out.push_back({Token::Literal, all[i], 1});
            step = 1;
        }
        for (std::uint32_t k = 0; k < step; ++k) insert(i + k);
        i += step;
    }
    return out;
}

// Packs the tokens in blocks of at most `blockSymbols` main symbols (at most 32767).
inline Bytes encodeTokens(const std::vector<Token>& toks, std::size_t blockSymbols = 32767) {
    BitWriter bw;
    auto distSym = [](std::uint32_t cd) -> int {
        if (cd < 2) return 260 + static_cast<int>(cd);
        int nb = 0;
        while ((cd >> nb) > 1) ++nb;
        return 260 + nb + 1;
    };
    auto lenSym = [](const Token& t) -> std::uint32_t {
        if (t.kind == Token::Repeat) return t.len - (t.value > 1 ? 3 : 2);
        return t.len - minLen(t.value);
    };
    for (std::size_t s = 0; s < toks.size() || s == 0; s += blockSymbols) {
        const std::size_t e = std::min(toks.size(), s + blockSymbols);
        std::vector<std::uint64_t> mf(283, 0), lf(255, 0);
        for (std::size_t i = s; i < e; ++i) {
            const Token& t = toks[i];
            if (t.kind == Token::Literal) {
                ++mf[t.value];
                continue;
            }
            ++mf[static_cast<std::size_t>(t.kind == Token::Repeat ? 256 + static_cast<int>(t.value)
                                                                  : distSym(t.value))];
            ++lf[lenSym(t)];
        }
        std::vector<Code> mc = putTable(bw, huffmanWidths(mf, 11), 11);
        std::vector<Code> lc = putTable(bw, huffmanWidths(lf, 11), 11);
        bw.put(static_cast<std::uint32_t>(e - s), 15);
        for (std::size_t i = s; i < e; ++i) {
            const Token& t = toks[i];
            if (t.kind == Token::Literal) {
                bw.put(mc[t.value].bits, mc[t.value].width);
                continue;
            }
            const int sym = t.kind == Token::Repeat ? 256 + static_cast<int>(t.value) : distSym(t.value);
            bw.put(mc[static_cast<std::size_t>(sym)].bits, mc[static_cast<std::size_t>(sym)].width);
            if (t.kind == Token::Match && sym > 261) {
                const int nb = sym - 260 - 1;
                bw.put(t.value - (1u << nb), nb);
            }
            const Code& c = lc[lenSym(t)];
            bw.put(c.bits, c.width);
        }
        if (toks.empty()) break;
    }
    return bw.finish();
}

// ---- archive layout ----
inline void put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
inline Bytes block(std::uint8_t type, std::uint16_t flags, const Bytes& body) {
    Bytes h{type};
    put16(h, flags);
    h.insert(h.end(), body.begin(), body.end());
    Bytes out;
    put16(out, aceCrc(h) & 0xFFFF);
    put16(out, static_cast<std::uint32_t>(h.size()));
    out.insert(out.end(), h.begin(), h.end());
    return out;
}

constexpr std::uint32_t kDosTime = 0x5A8C6000; // 2025-04-12 12:00
constexpr std::uint16_t kMainSolid = 0x8000, kMainVolume = 0x0800;

inline Bytes mainHeader(std::uint16_t flags, std::uint8_t volume = 0) {
    Bytes body{'*', '*', 'A', 'C', 'E', '*', '*', 10, 10, 0, volume};
    put32(body, kDosTime);
    body.insert(body.end(), 8, 0);
    body.push_back(0); // no creator string
    return block(0, flags, body);
}

struct Part {
    std::string name;
    std::uint16_t flags = 0; // beyond the added-size flag
    std::uint32_t packed = 0, size = 0, crc = 0, attr = 0x20;
    std::uint8_t method = 0, quality = 0;
    std::uint16_t parameter = 10; // dictionary of 1 << 20
};

inline Bytes fileHeader(const Part& p) {
    Bytes body;
    put32(body, p.packed);
    put32(body, p.size);
    put32(body, kDosTime);
    put32(body, p.attr);
    put32(body, p.crc);
    body.push_back(p.method);
    body.push_back(p.quality);
    put16(body, p.parameter);
    put16(body, 0);
    put16(body, static_cast<std::uint32_t>(p.name.size()));
    body.insert(body.end(), p.name.begin(), p.name.end());
    // Debian's unace does not take a file header that ends with the name: it wants four
    // more bytes, as its archives carry them.
    body.insert(body.end(), 4, 0);
    return block(1, static_cast<std::uint16_t>(0x0001 | p.flags), body);
}

struct File {
    std::string name;
    Bytes data;
    bool lz = true;
    std::uint16_t flags = 0;    // extra header flags (0x4000 encrypted, ...)
    std::uint8_t method = 0xFF; // 0xFF: 1 for lz, 0 for stored
    int dicBits = 20;           // the dictionary the header names; matches reach no further
};

// A whole archive (or volume set when `volumeSplit` > 0: volumes of about that many packed
// bytes; the result holds one Bytes per volume).
inline std::vector<Bytes> build(const std::vector<File>& files, bool solid = false,
                                std::size_t volumeSplit = 0, std::size_t blockSymbols = 32767) {
    std::uint16_t mflags =
        static_cast<std::uint16_t>((solid ? kMainSolid : 0) | (volumeSplit ? kMainVolume : 0));
    std::vector<Bytes> vols{mainHeader(mflags, 0)};
    Bytes history;
    std::uint32_t dist[4] = {0, 0, 0, 0};
    for (const File& f : files) {
        Bytes packed;
        if (f.lz) {
            if (!solid) {
                history.clear();
                std::fill(std::begin(dist), std::end(dist), 0u);
            }
            packed = encodeTokens(parse(history, f.data, dist, 1u << f.dicBits), blockSymbols);
            if (solid) history.insert(history.end(), f.data.begin(), f.data.end());
        } else {
            packed = f.data;
            // A stored entry of a solid archive is part of the window all the same.
            if (solid) history.insert(history.end(), f.data.begin(), f.data.end());
        }
        Part p;
        p.name = f.name;
        p.size = static_cast<std::uint32_t>(f.data.size());
        p.crc = aceCrc(f.data);
        p.method = f.method != 0xFF ? f.method : (f.lz ? 1 : 0);
        p.quality = f.lz ? 2 : 0;
        p.parameter = static_cast<std::uint16_t>(f.dicBits - 10);
        p.flags = static_cast<std::uint16_t>(f.flags | (solid ? 0x8000 : 0));
        std::size_t at = 0;
        bool first = true;
        do {
            std::size_t take = packed.size() - at;
            if (volumeSplit && vols.back().size() + take > volumeSplit && at + 1 < packed.size()) {
                const std::size_t room =
                    volumeSplit > vols.back().size() ? volumeSplit - vols.back().size() : 1;
                take = std::min(take - 1, std::max<std::size_t>(room, 1));
            }
            Part q = p;
            q.packed = static_cast<std::uint32_t>(take);
            if (!first) q.flags |= 0x1000;
            if (at + take < packed.size()) q.flags |= 0x2000;
            Bytes& v = vols.back();
            Bytes h = fileHeader(q);
            v.insert(v.end(), h.begin(), h.end());
            v.insert(v.end(), packed.begin() + static_cast<std::ptrdiff_t>(at),
                     packed.begin() + static_cast<std::ptrdiff_t>(at + take));
            at += take;
            first = false;
            if (at < packed.size() ||
                (volumeSplit && vols.back().size() >= volumeSplit && &f != &files.back()))
                vols.push_back(mainHeader(mflags, static_cast<std::uint8_t>(vols.size())));
        } while (at < packed.size());
    }
    return vols;
}

} // namespace acetest
