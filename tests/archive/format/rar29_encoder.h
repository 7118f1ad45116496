// A small packer for RAR 2.9/3.x LZ streams, so the decoder has streams to read where no
// packer for the format may be used: greedy matching over a hash chain, every symbol class
// (literals, long matches in every distance slot with the far-match length bonus, the low
// distance table and its repeat symbol, the four old distances, short length-2 matches, the
// repeat-last-match symbol), Huffman tables built from each block's frequencies, tables
// changed between blocks (coded plain or as differences to the previous ones) and solid
// entries that continue the previous entry's window, distances and tables.
#pragma once
#include <algorithm>
#include <cstdint>
#include <queue>
#include <vector>

namespace rar29enc {

class BitWriter {
public:
    void put(uint32_t value, unsigned bits) {
        for (unsigned i = bits; i-- > 0;) {
            acc_ = static_cast<uint8_t>(acc_ << 1 | ((value >> i) & 1));
            if (++n_ == 8) flushByte();
        }
    }
    void align() {
        while (n_ != 0) put(0, 1);
    }
    std::vector<uint8_t> finish() {
        align();
        return out_;
    }

private:
    void flushByte() {
        out_.push_back(acc_);
        acc_ = 0;
        n_ = 0;
    }
    std::vector<uint8_t> out_;
    uint8_t acc_ = 0;
    unsigned n_ = 0;
};

// Huffman code lengths of at most maxLen bits; at least two symbols get a code so that every
// code is complete (peers reject a code with a hole).
inline std::vector<uint8_t> codeLengths(std::vector<uint32_t> freq, unsigned maxLen = 15) {
    const size_t n = freq.size();
    size_t used = 0;
    for (uint32_t f : freq) used += f != 0;
    for (size_t i = 0; used < 2 && i < n; ++i)
        if (freq[i] == 0) freq[i] = 1, ++used;
    for (;;) {
        struct Node {
            uint64_t w;
            int left, right;
        };
        std::vector<Node> nodes;
        using Item = std::pair<uint64_t, int>;
        std::priority_queue<Item, std::vector<Item>, std::greater<Item>> pq;
        for (size_t i = 0; i < n; ++i)
            if (freq[i]) {
                nodes.push_back({freq[i], -1, static_cast<int>(i)});
                pq.push({freq[i], static_cast<int>(nodes.size() - 1)});
            }
        while (pq.size() > 1) {
            auto a = pq.top();
            pq.pop();
            auto b = pq.top();
            pq.pop();
            nodes.push_back({a.first + b.first, a.second, b.second});
            pq.push({a.first + b.first, static_cast<int>(nodes.size() - 1)});
        }
        std::vector<uint8_t> len(n, 0);
        unsigned deepest = 0;
        std::vector<std::pair<int, unsigned>> stack = {{pq.top().second, 0}};
        while (!stack.empty()) {
            auto [idx, depth] = stack.back();
            stack.pop_back();
            const Node& nd = nodes[static_cast<size_t>(idx)];
            if (nd.left < 0) {
                len[static_cast<size_t>(nd.right)] = static_cast<uint8_t>(depth);
                deepest = std::max(deepest, depth);
            } else {
                stack.push_back({nd.left, depth + 1});
                stack.push_back({nd.right, depth + 1});
            }
        }
        if (deepest <= maxLen) return len;
        for (uint32_t& f : freq)
            if (f) f = (f + 1) / 2;
    }
}

// Canonical codes: shorter codes first, equal lengths in symbol order.
inline std::vector<uint32_t> canonicalCodes(const std::vector<uint8_t>& len) {
    std::vector<uint32_t> codes(len.size(), 0);
    uint32_t code = 0;
    for (unsigned l = 1; l <= 15; ++l) {
        for (size_t s = 0; s < len.size(); ++s)
            if (len[s] == l) codes[s] = code++;
        code <<= 1;
    }
    return codes;
}

struct Options {
    size_t blockTokens = 5000; // symbols per table block
    bool lowRepeat = true;     // low distance bits may say "as last time" for 15 matches
    bool repeatLast = true;    // the last match again as one symbol
    bool oldDistances = true;  // matches at one of the last four distances
    bool keepOld = true;       // every other table coded as differences to the previous one
    bool matches = true;       // false: literals only
    // Bytes sent as a filter record (symbol 257, then these bytes as they stand: the flags
    // byte, the length bytes it asks for, the record) before the first entry's data.
    std::vector<uint8_t> filterAtStart;
};

class Encoder {
public:
    explicit Encoder(Options o = {}) : opt_(o) {}

    // The packed stream of the next entry. solid: continue the previous entry (its window,
    // distances and tables). tablesNext: the end mark asks the next solid entry to start with
    // tables of its own; without it, that entry reuses this one's last tables (which then code
    // every symbol).
    std::vector<uint8_t> entry(const std::vector<uint8_t>& data, bool solid = false, bool tablesNext = true) {
        if (!solid) {
            *this = Encoder(opt_);
        }
        const size_t from = buf_.size();
        buf_.insert(buf_.end(), data.begin(), data.end());
        head_.assign(size_t{1} << 16, -1);
        prev_.assign(buf_.size(), -1);
        for (size_t i = 0; i + 3 <= from; ++i) link(i);

        std::vector<std::vector<Item>> blocks(1);
        const bool carried = solid && !tablesNextEntry_;
        if (!carried) resetLow();
        size_t tokens = 0;
        if (!solid && !opt_.filterAtStart.empty()) {
            blocks.back().push_back({0, 257, 0, 0});
            for (uint8_t b : opt_.filterAtStart) blocks.back().push_back({4, 0, b, 8});
        }
        for (size_t pos = from; pos < buf_.size();) {
            if (tokens == opt_.blockTokens) {
                blocks.emplace_back();
                resetLow();
                tokens = 0;
            }
            pos += token(pos, blocks.back());
            ++tokens;
        }

        BitWriter w;
        for (size_t b = 0; b < blocks.size(); ++b) {
            if (b > 0) {
                putSym(w, 0, 256);
                w.put(1, 1); // new tables follow
            }
            const bool last = b + 1 == blocks.size();
            if (b > 0 || !carried) writeTables(w, blocks[b], last && !tablesNext, ++tableCount_ % 2 == 0);
            for (const Item& it : blocks[b]) {
                if (it.table < 4)
                    putSym(w, it.table, it.sym);
                else
                    w.put(it.value, it.bits);
            }
        }
        putSym(w, 0, 256);
        w.put(tablesNext ? 1 : 0, 2); // the file ends; the next one reads tables or not
        tablesNextEntry_ = tablesNext;
        return w.finish();
    }

private:
    struct Item {
        uint8_t table; // 0 main, 1 distance, 2 low distance, 3 length, 4 plain bits
        uint16_t sym;
        uint32_t value;
        uint8_t bits;
    };
    static constexpr uint8_t kLBase[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  10,  12,  14,  16,  20,
                                           24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
    static constexpr uint8_t kLBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                           2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
    static constexpr uint8_t kSDBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
    static constexpr uint8_t kSDBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};
    static constexpr unsigned kSizes[4] = {299, 60, 17, 28};

    static unsigned distBits(unsigned slot) {
        if (slot < 4) return 0;
        if (slot < 34) return (slot - 4) / 2 + 1;
        return slot < 48 ? 16 : 18;
    }
    static uint32_t distBase(unsigned slot) {
        uint32_t base = 0;
        for (unsigned s = 0; s < slot; ++s) base += 1u << distBits(s);
        return base;
    }
    static unsigned distSlot(uint32_t d) { // d = distance - 1
        unsigned s = 0;
        while (s + 1 < 60 && distBase(s + 1) <= d) ++s;
        return s;
    }
    static unsigned lengthSlot(uint32_t l) {
        unsigned s = 0;
        while (s + 1 < 28 && kLBase[s + 1] <= l) ++s;
        return s;
    }

    void resetLow() {
        prevLow_ = 0;
        lowRep_ = 0;
    }
    uint32_t hash(size_t i) const {
        return (uint32_t{buf_[i]} << 8 ^ uint32_t{buf_[i + 1]} << 4 ^ buf_[i + 2]) * 2654435761u >> 16;
    }
    void link(size_t i) {
        const uint32_t h = hash(i);
        prev_[i] = head_[h];
        head_[h] = static_cast<int64_t>(i);
    }
    size_t matchLen(size_t pos, size_t dist, size_t limit) const {
        size_t l = 0;
        while (l < limit && buf_[pos + l] == buf_[pos + l - dist]) ++l;
        return l;
    }

    // One token at pos into the block; the bytes it covers.
    size_t token(size_t pos, std::vector<Item>& out) {
        const size_t limit = std::min<size_t>(255, buf_.size() - pos);
        size_t bestLen = 0, bestDist = 0, repLen = 0, repDist = 0;
        if (opt_.matches && limit >= 2) {
            if (opt_.oldDistances)
                for (uint32_t d : old_)
                    if (d != 0 && d <= pos) {
                        const size_t l = matchLen(pos, d, limit);
                        if (l > repLen) repLen = l, repDist = d;
                    }
            if (limit >= 3) {
                int chain = 48;
                for (int64_t c = head_[hash(pos)]; c >= 0 && chain-- > 0; c = prev_[static_cast<size_t>(c)]) {
                    const size_t d = pos - static_cast<size_t>(c);
                    if (d >= 0x3FFF00) break;
                    const size_t l = matchLen(pos, d, limit);
                    if (l > bestLen) bestLen = l, bestDist = d;
                }
            }
            if (bestLen < 2)
                for (size_t d = 1; d <= 256 && d <= pos; ++d)
                    if (buf_[pos] == buf_[pos - d] && buf_[pos + 1] == buf_[pos + 1 - d]) {
                        bestLen = 2, bestDist = d;
                        break;
                    }
        }
        size_t used = 0;
        if (repLen >= 2 && repLen + 1 >= bestLen)
            used = match(static_cast<uint32_t>(repLen), static_cast<uint32_t>(repDist), out);
        if (!used && bestLen >= 2)
            used = match(static_cast<uint32_t>(bestLen), static_cast<uint32_t>(bestDist), out);
        if (!used) {
            out.push_back({0, buf_[pos], 0, 0});
            used = 1;
        }
        for (size_t i = pos; i < pos + used; ++i)
            if (i + 3 <= buf_.size()) link(i);
        return used;
    }

    // Codes a match the way the decoder will read it; 0 when no code fits it now.
    size_t match(uint32_t len, uint32_t dist, std::vector<Item>& out) {
        if (opt_.repeatLast && len == lastLen_ && dist == lastDist_) {
            out.push_back({0, 258, 0, 0});
            return len;
        }
        for (unsigned k = 0; opt_.oldDistances && k < 4; ++k) {
            if (old_[k] != dist) continue;
            for (unsigned i = k; i > 0; --i) old_[i] = old_[i - 1];
            old_[0] = dist;
            const unsigned s = lengthSlot(len - 2);
            out.push_back({0, static_cast<uint16_t>(259 + k), 0, 0});
            out.push_back({3, static_cast<uint16_t>(s), 0, 0});
            if (kLBits[s]) out.push_back({4, 0, len - 2 - kLBase[s], kLBits[s]});
            lastLen_ = len, lastDist_ = dist;
            return len;
        }
        if (len == 2 && dist <= 256) {
            unsigned s = 0;
            while (s + 1 < 8 && kSDBase[s + 1] + 1u <= dist) ++s;
            out.push_back({0, static_cast<uint16_t>(263 + s), 0, 0});
            out.push_back({4, 0, dist - 1 - kSDBase[s], kSDBits[s]});
            remember(dist);
            lastLen_ = 2, lastDist_ = dist;
            return 2;
        }
        const uint32_t bonus = (dist >= 0x2000) + (dist >= 0x40000);
        if (len < 3 + bonus) return 0;
        const unsigned slot = distSlot(dist - 1);
        const uint32_t extra = dist - 1 - distBase(slot);
        const unsigned bits = distBits(slot);
        std::vector<Item> tail;
        tail.push_back({1, static_cast<uint16_t>(slot), 0, 0});
        if (slot > 9) {
            if (bits > 4) tail.push_back({4, 0, extra >> 4, static_cast<uint8_t>(bits - 4)});
            const uint32_t low = extra & 15;
            if (lowRep_ > 0) {
                if (low != prevLow_) return 0; // the decoder would take the repeated bits
                --lowRep_;
            } else if (opt_.lowRepeat && low == prevLow_) {
                tail.push_back({2, 16, 0, 0});
                lowRep_ = 15;
            } else {
                tail.push_back({2, static_cast<uint16_t>(low), 0, 0});
                prevLow_ = low;
            }
        } else if (bits) {
            tail.push_back({4, 0, extra, static_cast<uint8_t>(bits)});
        }
        const unsigned s = lengthSlot(len - 3 - bonus);
        out.push_back({0, static_cast<uint16_t>(271 + s), 0, 0});
        if (kLBits[s]) out.push_back({4, 0, len - 3 - bonus - kLBase[s], kLBits[s]});
        out.insert(out.end(), tail.begin(), tail.end());
        remember(dist);
        lastLen_ = len, lastDist_ = dist;
        return len;
    }
    void remember(uint32_t dist) {
        for (unsigned i = 3; i > 0; --i) old_[i] = old_[i - 1];
        old_[0] = dist;
    }

    void putSym(BitWriter& w, unsigned table, unsigned sym) const {
        const unsigned off = table == 0 ? 0 : table == 1 ? 299 : table == 2 ? 359 : 376;
        w.put(codes_[off + sym], lengths_[off + sym]);
    }

    // The tables for one block (aligned): the lengths of all four codes, through the length code.
    void writeTables(BitWriter& w, const std::vector<Item>& items, bool everySymbol, bool keep) {
        keep = keep && opt_.keepOld;
        std::vector<uint32_t> freq[4];
        for (unsigned t = 0; t < 4; ++t) freq[t].assign(kSizes[t], everySymbol ? 1 : 0);
        for (const Item& it : items)
            if (it.table < 4) ++freq[it.table][it.sym];
        ++freq[0][256];
        std::vector<uint8_t> table;
        for (unsigned t = 0; t < 4; ++t) {
            const auto l = codeLengths(freq[t]);
            table.insert(table.end(), l.begin(), l.end());
        }
        std::vector<uint8_t> old(404, 0);
        if (keep) old = oldTable_;

        // The lengths as length-code symbols (with their extra bits).
        std::vector<Item> syms;
        for (size_t i = 0; i < table.size();) {
            size_t run = 0;
            if (table[i] == 0) {
                while (i + run < table.size() && table[i + run] == 0 && run < 138) ++run;
                if (run >= 11) {
                    syms.push_back({0, 19, static_cast<uint32_t>(run - 11), 7}), i += run;
                    continue;
                }
                if (run >= 3) {
                    syms.push_back({0, 18, static_cast<uint32_t>(run - 3), 3}), i += run;
                    continue;
                }
            } else if (i > 0 && table[i] == table[i - 1]) {
                while (i + run < table.size() && table[i + run] == table[i - 1] && run < 138) ++run;
                if (run >= 11) {
                    syms.push_back({0, 17, static_cast<uint32_t>(run - 11), 7}), i += run;
                    continue;
                }
                if (run >= 3) {
                    syms.push_back({0, 16, static_cast<uint32_t>(run - 3), 3}), i += run;
                    continue;
                }
            }
            syms.push_back({0, static_cast<uint16_t>((table[i] - old[i]) & 15), 0, 0});
            ++i;
        }
        std::vector<uint32_t> bf(20, 0);
        for (const Item& s : syms) ++bf[s.sym];
        const auto bl = codeLengths(bf);
        const auto bc = canonicalCodes(bl);

        w.align();
        w.put(0, 1); // LZ
        w.put(keep ? 1 : 0, 1);
        for (size_t i = 0; i < 20;) {
            if (bl[i] == 0) {
                size_t z = 0;
                while (i + z < 20 && bl[i + z] == 0 && z < 17) ++z;
                if (z >= 3) {
                    w.put(15, 4), w.put(static_cast<uint32_t>(z - 2), 4), i += z;
                    continue;
                }
            }
            w.put(bl[i], 4);
            if (bl[i] == 15) w.put(0, 4);
            ++i;
        }
        for (const Item& s : syms) {
            w.put(bc[s.sym], bl[s.sym]);
            if (s.bits) w.put(s.value, s.bits);
        }
        oldTable_ = table;
        lengths_ = table;
        codes_.clear();
        for (unsigned t = 0, off = 0; t < 4; off += kSizes[t], ++t) {
            const std::vector<uint8_t> part(table.begin() + off, table.begin() + off + kSizes[t]);
            const auto c = canonicalCodes(part);
            codes_.insert(codes_.end(), c.begin(), c.end());
        }
    }

    Options opt_;
    std::vector<uint8_t> buf_; // every byte of the solid run so far
    std::vector<int64_t> head_, prev_;
    uint32_t old_[4] = {};
    uint32_t lastLen_ = 0, lastDist_ = 0, prevLow_ = 0, lowRep_ = 0;
    std::vector<uint8_t> oldTable_ = std::vector<uint8_t>(404, 0), lengths_;
    std::vector<uint32_t> codes_;
    bool tablesNextEntry_ = true;
    unsigned tableCount_ = 0;
};

} // namespace rar29enc
