// Small encoders for the legacy zip methods, written for the tests only: nothing here
// aims at good compression, only at valid streams that exercise the decoders' paths.
// Streams are checked by the independent peers (unzip, 7zz) where those read them.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <queue>
#include <vector>

namespace legacy {

using Bytes = std::vector<std::uint8_t>;

class LsbWriter {
public:
    void bits(std::uint32_t v, unsigned n) {
        for (unsigned i = 0; i < n; ++i) put((v >> i) & 1);
    }
    void codeMsbFirst(std::uint32_t c, unsigned n) {
        for (unsigned i = n; i-- > 0;) put((c >> i) & 1);
    }
    Bytes finish() {
        if (n_) out_.push_back(static_cast<std::uint8_t>(cur_));
        cur_ = n_ = 0;
        return std::move(out_);
    }
    void byte(std::uint8_t b) { bits(b, 8); }

private:
    void put(unsigned b) {
        cur_ |= b << n_;
        if (++n_ == 8) {
            out_.push_back(static_cast<std::uint8_t>(cur_));
            cur_ = n_ = 0;
        }
    }
    Bytes out_;
    unsigned cur_ = 0, n_ = 0;
};

// Huffman code lengths (every symbol gets one, at most maxLen bits, a complete code).
inline std::vector<std::uint8_t> codeLengths(std::vector<std::uint64_t> freq, unsigned maxLen) {
    const std::size_t n = freq.size();
    for (;;) {
        using Node = std::pair<std::uint64_t, int>;
        std::priority_queue<Node, std::vector<Node>, std::greater<>> q;
        std::vector<int> parent(2 * n, -1);
        for (std::size_t i = 0; i < n; ++i) q.push({freq[i] + 1, static_cast<int>(i)});
        int next = static_cast<int>(n);
        while (q.size() > 1) {
            auto a = q.top();
            q.pop();
            auto b = q.top();
            q.pop();
            parent[static_cast<std::size_t>(a.second)] = parent[static_cast<std::size_t>(b.second)] = next;
            q.push({a.first + b.first, next++});
        }
        std::vector<std::uint8_t> lens(n);
        bool fits = true;
        for (std::size_t i = 0; i < n; ++i) {
            unsigned d = 0;
            for (int p = parent[i]; p != -1; p = parent[static_cast<std::size_t>(p)]) ++d;
            lens[i] = static_cast<std::uint8_t>(d);
            fits = fits && d <= maxLen && d >= 1;
        }
        if (fits) return lens;
        for (auto& f : freq) f /= 2;
    }
}

// ---- Implode -------------------------------------------------------------------------
struct SfCode {
    std::vector<std::uint8_t> lens;
    std::vector<std::uint16_t> codes;
};

inline SfCode sfCode(const std::vector<std::uint8_t>& lens) {
    SfCode c{lens, std::vector<std::uint16_t>(lens.size())};
    std::vector<unsigned> order(lens.size());
    for (unsigned i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](unsigned a, unsigned b) { return lens[a] < lens[b]; });
    unsigned code = 0, inc = 0, last = 0;
    for (std::size_t k = order.size(); k-- > 0;) {
        code = (code + inc) & 0xFFFF;
        if (lens[order[k]] != last) {
            last = lens[order[k]];
            inc = 1u << (16 - last);
        }
        c.codes[order[k]] = static_cast<std::uint16_t>(code >> (16 - last));
    }
    return c;
}

inline void writeSfTree(Bytes& out, const std::vector<std::uint8_t>& lens) {
    Bytes pairs;
    for (std::size_t i = 0; i < lens.size();) {
        std::size_t j = i;
        while (j < lens.size() && lens[j] == lens[i] && j - i < 16) ++j;
        pairs.push_back(static_cast<std::uint8_t>((j - i - 1) << 4 | (lens[i] - 1u)));
        i = j;
    }
    out.push_back(static_cast<std::uint8_t>(pairs.size() - 1));
    out.insert(out.end(), pairs.begin(), pairs.end());
}

// flags: bit 1 = 8 KiB dictionary, bit 2 = literal tree.
inline Bytes implode(const Bytes& in, std::uint16_t flags) {
    const bool big = flags & 2, litTree = flags & 4;
    const unsigned lowBits = big ? 7 : 6, minMatch = litTree ? 3 : 2;
    const std::size_t dict = big ? 8192 : 4096, maxLen = minMatch + 63 + 255;
    struct Tok {
        bool lit;
        unsigned a, b; // literal byte, or length and distance
    };
    std::vector<Tok> toks;
    std::map<std::uint32_t, std::vector<std::size_t>> heads; // 3-byte hash -> positions
    for (std::size_t i = 0; i < in.size();) {
        std::size_t bestLen = 0, bestDist = 0;
        if (i + 3 <= in.size()) {
            const std::uint32_t h = in[i] | in[i + 1] << 8 | in[i + 2] << 16;
            auto& v = heads[h];
            for (std::size_t k = v.size(), tries = 0; k-- > 0 && tries < 32; ++tries) {
                const std::size_t p = v[k];
                if (i - p > dict) break;
                std::size_t l = 0;
                while (i + l < in.size() && l < maxLen && in[p + l] == in[i + l]) ++l;
                if (l > bestLen) bestLen = l, bestDist = i - p;
            }
        }
        // Also try a distance reaching before the start (reads zeros), now and then.
        std::size_t step = 1;
        if (bestLen >= minMatch) {
            toks.push_back({false, static_cast<unsigned>(bestLen), static_cast<unsigned>(bestDist)});
            step = bestLen;
        } else {
            toks.push_back({true, in[i], 0});
        }
        for (std::size_t k = 0; k < step; ++k, ++i)
            if (i + 3 <= in.size()) heads[in[i] | in[i + 1] << 8 | in[i + 2] << 16].push_back(i);
    }
    std::vector<std::uint64_t> lf(256), nf(64), df(64);
    for (auto& t : toks) {
        if (t.lit) {
            ++lf[t.a];
        } else {
            ++nf[std::min(t.a - minMatch, 63u)];
            ++df[(t.b - 1) >> lowBits];
        }
    }
    const SfCode lit = sfCode(codeLengths(lf, 16)), len = sfCode(codeLengths(nf, 16)),
                 dst = sfCode(codeLengths(df, 16));
    Bytes out;
    if (litTree) writeSfTree(out, lit.lens);
    writeSfTree(out, len.lens);
    writeSfTree(out, dst.lens);
    LsbWriter w;
    for (auto& t : toks) {
        if (t.lit) {
            w.bits(1, 1);
            if (litTree)
                w.codeMsbFirst(lit.codes[t.a], lit.lens[t.a]);
            else
                w.bits(t.a, 8);
            continue;
        }
        w.bits(0, 1);
        const unsigned d = t.b - 1;
        w.bits(d & ((1u << lowBits) - 1), lowBits);
        w.codeMsbFirst(dst.codes[d >> lowBits], dst.lens[d >> lowBits]);
        const unsigned l = t.a - minMatch;
        const unsigned ls = std::min(l, 63u);
        w.codeMsbFirst(len.codes[ls], len.lens[ls]);
        if (ls == 63) w.bits(l - 63, 8);
    }
    const Bytes data = w.finish();
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

// ---- Shrink --------------------------------------------------------------------------
// LZW with codes of 9 to 13 bits; widens with 256,1 when a code needs it; when the
// table is full, a partial clear (256,2) frees the strings nobody extends, and the
// string that could not be added is added right after (unzip reads this).
inline Bytes shrink(const Bytes& in, bool allowClear = true) {
    constexpr unsigned kCodes = 8192;
    std::vector<int> parent(kCodes, -1);
    std::vector<std::uint8_t> suffix(kCodes);
    std::map<std::pair<unsigned, std::uint8_t>, unsigned> dict;
    unsigned cursor = 257, width = 9;
    LsbWriter w;
    if (in.empty()) return w.finish();
    auto nextFree = [&] {
        while (cursor < kCodes && parent[cursor] != -1) ++cursor;
        return cursor;
    };
    auto emit = [&](unsigned code) {
        while (code >= (1u << width)) {
            w.bits(256, width);
            w.bits(1, width);
            ++width;
        }
        w.bits(code, width);
    };
    auto partialClear = [&] {
        std::vector<bool> isParent(kCodes);
        for (unsigned c = 257; c < kCodes; ++c)
            if (parent[c] != -1) isParent[static_cast<unsigned>(parent[c])] = true;
        for (unsigned c = 257; c < kCodes; ++c)
            if (!isParent[c] && parent[c] != -1) {
                dict.erase({static_cast<unsigned>(parent[c]), suffix[c]});
                parent[c] = -1;
            }
        cursor = 257;
        w.bits(256, width);
        w.bits(2, width);
    };
    unsigned cur = in[0];
    for (std::size_t i = 1; i < in.size(); ++i) {
        auto it = dict.find({cur, in[i]});
        if (it != dict.end()) {
            cur = it->second;
            continue;
        }
        emit(cur);
        if (nextFree() >= kCodes && allowClear) partialClear();
        const unsigned code = nextFree();
        if (code < kCodes) {
            parent[code] = static_cast<int>(cur);
            suffix[code] = in[i];
            dict[{cur, in[i]}] = code;
            ++cursor;
        }
        cur = in[i];
    }
    emit(cur);
    return w.finish();
}

// ---- Reduce --------------------------------------------------------------------------
// factor 1..4. Follower sets hold each byte's most frequent successors (up to 32, or none
// when `followers` is false); matches of length 3.. use 0x90 escapes.
inline Bytes reduce(const Bytes& in, unsigned factor, bool followers = true) {
    const unsigned lenMask = 0xFFu >> factor;
    const std::size_t maxDist = std::size_t{1} << (8 + factor); // ((V >> (8-f)) << 8) + low + 1
    const std::size_t maxLen = lenMask + 255 + 3;
    // Stage 1: the byte stream of the expansion stage.
    Bytes mid;
    for (std::size_t i = 0; i < in.size();) {
        std::size_t bestLen = 0, bestDist = 0;
        for (std::size_t d = 1; d <= std::min(maxDist, i); ++d) {
            std::size_t l = 0;
            while (i + l < in.size() && l < maxLen && in[i - d + l] == in[i + l]) ++l;
            if (l > bestLen) bestLen = l, bestDist = d;
            if (bestLen == maxLen) break;
        }
        if (bestLen >= 4) {
            const unsigned l = static_cast<unsigned>(bestLen - 3), dd = static_cast<unsigned>(bestDist - 1);
            const unsigned hi = dd >> 8;
            mid.push_back(0x90);
            if (l >= lenMask) {
                mid.push_back(static_cast<std::uint8_t>(hi << (8 - factor) | lenMask));
                mid.push_back(static_cast<std::uint8_t>(l - lenMask));
            } else {
                mid.push_back(static_cast<std::uint8_t>(hi << (8 - factor) | l));
            }
            mid.push_back(static_cast<std::uint8_t>(dd & 0xFF));
            i += bestLen;
        } else {
            mid.push_back(in[i]);
            if (in[i] == 0x90) mid.push_back(0);
            ++i;
        }
    }
    // Stage 2: follower sets.
    std::array<std::vector<std::uint8_t>, 256> sets;
    if (followers) {
        std::vector<std::array<unsigned, 256>> cnt(256, std::array<unsigned, 256>{});
        unsigned last = 0;
        for (auto b : mid) ++cnt[last][b], last = b;
        for (unsigned j = 0; j < 256; ++j) {
            std::vector<unsigned> order;
            for (unsigned b = 0; b < 256; ++b)
                if (cnt[j][b]) order.push_back(b);
            std::stable_sort(order.begin(), order.end(),
                             [&](unsigned a, unsigned b) { return cnt[j][a] > cnt[j][b]; });
            if (order.size() > 32) order.resize(32);
            for (auto b : order) sets[j].push_back(static_cast<std::uint8_t>(b));
        }
    }
    LsbWriter w;
    for (int j = 255; j >= 0; --j) {
        w.bits(static_cast<unsigned>(sets[static_cast<unsigned>(j)].size()), 6);
        for (auto b : sets[static_cast<unsigned>(j)]) w.bits(b, 8);
    }
    unsigned last = 0;
    for (auto b : mid) {
        const auto& s = sets[last];
        if (s.empty()) {
            w.bits(b, 8);
        } else {
            auto it = std::find(s.begin(), s.end(), b);
            if (it == s.end()) {
                w.bits(1, 1);
                w.bits(b, 8);
            } else {
                unsigned nb = 1;
                while ((1u << nb) < s.size()) ++nb;
                w.bits(0, 1);
                w.bits(static_cast<unsigned>(it - s.begin()), nb);
            }
        }
        last = b;
    }
    return w.finish();
}

} // namespace legacy
