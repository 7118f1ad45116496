#include "archive/codec/aeUnshrink.h"

#include <algorithm>
#include <array>
#include <vector>

namespace ae {
namespace {

constexpr unsigned kCodes = 8192; // 13-bit codes
constexpr unsigned kMaxWidth = 13;
constexpr unsigned kControl = 256; // followed by 1 (wider codes) or 2 (partial clear)
constexpr unsigned kFirstFree = 257;
constexpr std::int16_t kFree = -1;

class ShrinkTable {
public:
    ShrinkTable() {
        std::fill(parent_.begin(), parent_.end(), kFree);
        for (unsigned c = 0; c < 256; ++c) suffix_[c] = static_cast<std::uint8_t>(c);
    }
    bool isFree(unsigned code) const { return code >= kFirstFree && parent_[code] == kFree; }
    // The code a new string gets next: the lowest free one above the last code given.
    unsigned nextFree() {
        while (cursor_ < kCodes && parent_[cursor_] != kFree) ++cursor_;
        return cursor_;
    }
    void add(unsigned prefix, std::uint8_t byte) {
        const unsigned code = nextFree();
        if (code >= kCodes) return; // table full: no more strings
        parent_[code] = static_cast<std::int16_t>(prefix);
        suffix_[code] = byte;
        ++cursor_;
    }
    // Frees every string no other string extends, and restarts the free-code search.
    // The last code read is freed too when it is such a leaf: the string the next code
    // adds still names it as its prefix and so stands for whatever that code means when
    // the string is expanded -- PKZIP's encoder works this way, and so does unzip.
    void partialClear() {
        std::array<bool, kCodes> isParent{};
        for (unsigned c = kFirstFree; c < kCodes; ++c)
            if (parent_[c] != kFree) isParent[static_cast<unsigned>(parent_[c])] = true;
        for (unsigned c = kFirstFree; c < kCodes; ++c)
            if (!isParent[c]) parent_[c] = kFree;
        cursor_ = kFirstFree;
    }
    // Writes the string of `code` into `stack` back to front; returns its length, 0 when
    // a link is broken or the chain is longer than the table (a cycle).
    std::size_t expand(unsigned code, std::array<std::uint8_t, kCodes>& stack) const {
        std::size_t n = 0;
        while (code >= kFirstFree) {
            if (parent_[code] == kFree || n == kCodes - 1) return 0;
            stack[kCodes - 1 - n++] = suffix_[code];
            code = static_cast<unsigned>(parent_[code]);
        }
        if (code == kControl) return 0;
        stack[kCodes - 1 - n++] = static_cast<std::uint8_t>(code);
        return n;
    }

private:
    std::array<std::int16_t, kCodes> parent_{};
    std::array<std::uint8_t, kCodes> suffix_{};
    unsigned cursor_ = kFirstFree;
};

} // namespace

DecodeResult Unshrink(InputBuffer& in, DecodeSink& sink, std::uint64_t size) {
    DecodeResult r;
    if (size == 0) return r;
    auto table = std::make_unique<ShrinkTable>();
    auto stack = std::make_unique<std::array<std::uint8_t, kCodes>>();
    LsbBitSource bits{in};
    std::vector<std::uint8_t> out;
    out.reserve(1 << 16);
    std::uint64_t produced = 0;
    auto emit = [&](const std::uint8_t* p, std::size_t n) {
        n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size - produced));
        out.insert(out.end(), p, p + n);
        produced += n;
        if (out.size() >= (1 << 16)) {
            sink.Write(out.data(), out.size());
            out.clear();
        }
    };
    auto finish = [&](DecodeStatus st, int msg = kMsgNone) {
        if (!out.empty()) sink.Write(out.data(), out.size());
        r.produced = produced;
        r.status = st;
        r.msg = msg;
        return r;
    };

    unsigned width = 9;
    int first = bits.get(width);
    if (first < 0) return finish(DecodeStatus::Truncated);
    if (first >= 256) return finish(DecodeStatus::Corrupt, kMsgBadBlock);
    unsigned prev = static_cast<unsigned>(first);
    std::uint8_t prevFirstByte = static_cast<std::uint8_t>(first);
    emit(&prevFirstByte, 1);
    while (produced < size) {
        const int c = bits.get(width);
        if (c < 0) return finish(DecodeStatus::Truncated);
        auto code = static_cast<unsigned>(c);
        if (code == kControl) {
            const int sub = bits.get(width);
            if (sub < 0) return finish(DecodeStatus::Truncated);
            if (sub == 1 && width < kMaxWidth)
                ++width;
            else if (sub == 2)
                table->partialClear();
            else
                return finish(DecodeStatus::Corrupt, kMsgBadBlock);
            continue;
        }
        std::size_t n;
        if (table->isFree(code)) {
            // Only the string being defined right now may be used before it exists:
            // the previous string followed by its own first byte.
            if (code != table->nextFree()) return finish(DecodeStatus::Corrupt, kMsgBadBlock);
            n = table->expand(prev, *stack);
            if (n == 0) return finish(DecodeStatus::Corrupt, kMsgBadBlock);
            if (n == kCodes - 1) return finish(DecodeStatus::Corrupt, kMsgStackOverflow);
            std::memmove(stack->data() + kCodes - 1 - n, stack->data() + kCodes - n, n);
            (*stack)[kCodes - 1] = prevFirstByte;
            ++n;
        } else {
            n = table->expand(code, *stack);
            if (n == 0) return finish(DecodeStatus::Corrupt, kMsgBadBlock);
        }
        const std::uint8_t* str = stack->data() + kCodes - n;
        emit(str, n);
        table->add(prev, str[0]);
        prev = code;
        prevFirstByte = str[0];
    }
    return finish(DecodeStatus::Ok);
}

// ---- Unreduce --------------------------------------------------------------------------
namespace {

// Bits needed for an index into a follower set of n bytes.
unsigned indexBits(unsigned n) {
    unsigned b = 1;
    while ((1u << b) < n) ++b;
    return b;
}

} // namespace

DecodeResult Unreduce(InputBuffer& in, DecodeSink& sink, unsigned factor, std::uint64_t size) {
    DecodeResult r;
    if (factor < 1 || factor > 4) {
        r.status = DecodeStatus::Corrupt;
        r.msg = kMsgUnsupportedMethod;
        return r;
    }
    if (size == 0) return r;
    LsbBitSource bits{in};
    // Follower sets, stored for the bytes 255 down to 0: a 6-bit count, then the bytes.
    std::array<std::array<std::uint8_t, 32>, 256> followers{};
    std::array<std::uint8_t, 256> counts{};
    for (int j = 255; j >= 0; --j) {
        const int n = bits.get(6);
        if (n < 0) {
            r.status = DecodeStatus::Truncated;
            return r;
        }
        if (n > 32) {
            r.status = DecodeStatus::Corrupt;
            r.msg = kMsgBadBlock;
            return r;
        }
        counts[static_cast<unsigned>(j)] = static_cast<std::uint8_t>(n);
        for (int i = 0; i < n; ++i) {
            const int b = bits.get(8);
            if (b < 0) {
                r.status = DecodeStatus::Truncated;
                return r;
            }
            followers[static_cast<unsigned>(j)][static_cast<unsigned>(i)] = static_cast<std::uint8_t>(b);
        }
    }

    RingOutput out{sink, 4096};
    auto finish = [&](DecodeStatus st, int msg = kMsgNone) {
        out.finish();
        r.produced = out.produced();
        r.status = st;
        r.msg = msg;
        return r;
    };
    const unsigned lenMask = 0xFFu >> factor; // 0x7F, 0x3F, 0x1F, 0x0F
    unsigned last = 0, state = 0, v = 0, length = 0;
    while (out.produced() < size) {
        // Byte stage: a raw byte, or an index into the follower set of the last byte.
        int b;
        const unsigned n = counts[last];
        if (n == 0) {
            b = bits.get(8);
        } else {
            const int raw = bits.get(1);
            if (raw < 0) return finish(DecodeStatus::Truncated);
            if (raw) {
                b = bits.get(8);
            } else {
                const int idx = bits.get(indexBits(n));
                if (idx >= static_cast<int>(n)) return finish(DecodeStatus::Corrupt, kMsgBadBlock);
                b = idx < 0 ? -1 : followers[last][static_cast<unsigned>(idx)];
            }
        }
        if (b < 0) return finish(DecodeStatus::Truncated);
        last = static_cast<unsigned>(b);

        // Expansion stage: 0x90 introduces a match (or, followed by 0, stands for itself).
        switch (state) {
        case 0:
            if (last == 0x90)
                state = 1;
            else
                out.put(static_cast<std::uint8_t>(last));
            break;
        case 1:
            if (last == 0) {
                out.put(0x90);
                state = 0;
            } else {
                v = last;
                length = v & lenMask;
                state = length == lenMask ? 2 : 3;
            }
            break;
        case 2:
            length += last;
            state = 3;
            break;
        default: {
            const std::size_t distance = ((v >> (8 - factor)) << 8) + last + 1;
            const std::uint64_t room = size - out.produced();
            // Before the first byte the ring holds zeros, which such references read.
            out.copy(distance, static_cast<std::size_t>(std::min<std::uint64_t>(length + 3, room)));
            state = 0;
        }
        }
    }
    return finish(DecodeStatus::Ok);
}

} // namespace ae
