#include "archive/codec/aeExplode.h"

#include <algorithm>
#include <array>
#include <vector>

namespace ae {
namespace {

// A Shannon-Fano decoding tree as binary nodes: children[2 * node + bit]. A child value
// >= 0 is an inner node, -1 is empty, and -(2 + symbol) a leaf.
class SfTree {
public:
    // Stored form: a byte holding (pairs - 1), then per pair (count - 1) << 4 | (bits - 1)
    // for `count` consecutive symbols of code length `bits`.
    int read(InputBuffer& in, unsigned symbols) {
        const int pairs = in.getByte();
        if (pairs < 0) return -1;
        std::vector<std::uint8_t> lens;
        lens.reserve(symbols);
        for (int i = 0; i <= pairs; ++i) {
            const int b = in.getByte();
            if (b < 0) return -1;
            const unsigned count = (static_cast<unsigned>(b) >> 4) + 1, bits = (b & 0xF) + 1u;
            if (lens.size() + count > symbols) return kMsgInvalidTree;
            lens.insert(lens.end(), count, static_cast<std::uint8_t>(bits));
        }
        if (lens.size() != symbols) return kMsgInvalidTree;
        return build(lens);
    }

    // Walks one bit at a time from the root; -1 at the end of input, -2 on a missing link.
    int decode(LsbBitSource& bits) const {
        int node = 0;
        for (;;) {
            const int b = bits.get(1);
            if (b < 0) return -1;
            const int child = children_[static_cast<std::size_t>(2 * node + b)];
            if (child == -1) return -2;
            if (child < -1) return -2 - child;
            node = child;
        }
    }

private:
    // Codes: entries sorted by (length, symbol); walking from the last to the first, the
    // code grows by 1 << (16 - length) of the previous entry's length; a symbol's code is
    // its top `length` bits, read most significant bit first.
    int build(const std::vector<std::uint8_t>& lens) {
        const auto n = static_cast<unsigned>(lens.size());
        std::vector<unsigned> order(n);
        for (unsigned i = 0; i < n; ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](unsigned a, unsigned b) { return lens[a] < lens[b]; });
        std::vector<std::uint16_t> codes(n);
        unsigned code = 0, increment = 0, lastLen = 0;
        for (unsigned k = n; k-- > 0;) {
            code = (code + increment) & 0xFFFF;
            const unsigned len = lens[order[k]];
            if (len != lastLen) {
                lastLen = len;
                increment = 1u << (16 - len);
            }
            codes[order[k]] = static_cast<std::uint16_t>(code >> (16 - len));
        }
        children_.assign(2, -1);
        for (unsigned sym = 0; sym < n; ++sym) {
            int node = 0;
            const unsigned len = lens[sym];
            for (unsigned i = len; i-- > 0;) {
                const std::size_t slot = static_cast<std::size_t>(2 * node) + ((codes[sym] >> i) & 1);
                const int child = children_[slot];
                if (i == 0) {
                    if (child != -1) return kMsgAmbiguousTree; // leaf slot already taken
                    children_[slot] = -2 - static_cast<int>(sym);
                } else if (child < -1) {
                    return kMsgAmbiguousTree; // a shorter code is a prefix of this one
                } else if (child == -1) {
                    const int fresh = static_cast<int>(children_.size() / 2);
                    children_[slot] = fresh;
                    children_.insert(children_.end(), 2, -1);
                    node = fresh;
                } else {
                    node = child;
                }
            }
        }
        return 0;
    }
    std::vector<int> children_;
};

} // namespace

DecodeResult Explode(InputBuffer& in, DecodeSink& sink, std::uint16_t flags, std::uint64_t size) {
    DecodeResult r;
    const bool bigDict = flags & kImplode8kDict;
    const bool literalTree = flags & kImplodeLiteralTree;
    const unsigned lowBits = bigDict ? 7 : 6;
    const unsigned minMatch = literalTree ? 3 : 2;
    auto bad = [&](DecodeStatus st, int msg = kMsgNone) {
        r.status = st;
        r.msg = msg;
        return r;
    };
    if (size == 0) return r;

    SfTree lit, len, dist;
    for (auto [tree, n, wanted] :
         {std::tuple{&lit, 256u, literalTree}, {&len, 64u, true}, {&dist, 64u, true}}) {
        if (!wanted) continue;
        const int rc = tree->read(in, n);
        if (rc < 0) return bad(DecodeStatus::Truncated);
        if (rc > 0) return bad(DecodeStatus::Corrupt, rc);
    }

    RingOutput out{sink, bigDict ? 8192u : 4096u};
    LsbBitSource bits{in};
    auto finish = [&](DecodeStatus st, int msg = kMsgNone) {
        out.finish();
        r.produced = out.produced();
        r.status = st;
        r.msg = msg;
        return r;
    };
    auto symbol = [&](const SfTree& t, int& v) {
        v = t.decode(bits);
        return v >= 0;
    };
    while (out.produced() < size) {
        const int flag = bits.get(1);
        if (flag < 0) return finish(DecodeStatus::Truncated);
        int v;
        if (flag) {
            if (literalTree) {
                if (!symbol(lit, v))
                    return finish(v == -1 ? DecodeStatus::Truncated : DecodeStatus::Corrupt,
                                  kMsgAmbiguousTree);
            } else if ((v = bits.get(8)) < 0) {
                return finish(DecodeStatus::Truncated);
            }
            out.put(static_cast<std::uint8_t>(v));
            continue;
        }
        const int low = bits.get(lowBits);
        if (low < 0) return finish(DecodeStatus::Truncated);
        int high = 0, length = 0;
        if (!symbol(dist, high) || !symbol(len, length)) {
            const bool cut = high == -1 || length == -1;
            return finish(cut ? DecodeStatus::Truncated : DecodeStatus::Corrupt,
                          cut ? kMsgNone : kMsgAmbiguousTree);
        }
        if (length == 63) {
            const int more = bits.get(8);
            if (more < 0) return finish(DecodeStatus::Truncated);
            length += more;
        }
        length += static_cast<int>(minMatch);
        const std::size_t distance =
            (static_cast<std::size_t>(high) << lowBits | static_cast<std::size_t>(low)) + 1;
        // References before the first byte read zeros from the fresh ring: streams made
        // by early encoders rely on it.
        const std::uint64_t room = size - out.produced();
        out.copy(distance,
                 static_cast<std::size_t>(std::min<std::uint64_t>(static_cast<unsigned>(length), room)));
    }
    return finish(DecodeStatus::Ok);
}

} // namespace ae
