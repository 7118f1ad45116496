#include "archive/codec/aeLzhDecode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <vector>

namespace ae {
namespace {

constexpr unsigned kNC = 510;  // literals 0-255 and match lengths 3-256
constexpr unsigned kNT = 19;   // code-length codes
constexpr unsigned kTBits = 5; // bit width of the code-length code count
constexpr unsigned kCBits = 9; // bit width of the literal/length code count
constexpr unsigned kMaxLen = 16;
constexpr unsigned kThreshold = 3; // a code c above 255 copies c - 253 bytes

// Most significant bit first; past the end of the input zero bytes are fed and counted.
class MsbBits {
public:
    explicit MsbBits(InputBuffer& in) : in_{in} {}
    unsigned peek(unsigned n) {
        if (count_ < n) fill();
        return static_cast<unsigned>(buf_ >> (64 - n));
    }
    void skip(unsigned n) {
        if (count_ < n) fill();
        buf_ <<= n;
        count_ -= n;
    }
    unsigned get(unsigned n) {
        if (n == 0) return 0;
        const unsigned v = peek(n);
        skip(n);
        return v;
    }
    bool overrun() const { return count_ < phantom_ * 8; }

private:
    friend class Decoder; // its hot loop keeps the buffer in registers
    // Called with fewer than 16 bits held. Away from the end of the input a whole word
    // goes in: the bytes that fit are taken, the rest are loaded again next time (the
    // bits below the valid ones are then the same input bits).
    void fill() {
        if (in_.avail() >= 8) {
            std::uint64_t w;
            std::memcpy(&w, in_.data(), 8);
            if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
            buf_ |= w >> count_;
            in_.consume((63 - count_) >> 3);
            count_ |= 56;
            return;
        }
        buf_ &= count_ ? ~std::uint64_t{0} << (64 - count_) : 0;
        while (count_ <= 55) { // 63 bits at most, as the word refill needs
            int b = in_.getByte();
            if (b < 0) {
                b = 0;
                ++phantom_;
            }
            buf_ |= static_cast<std::uint64_t>(b) << (56 - count_);
            count_ += 8;
        }
    }
    InputBuffer& in_;
    std::uint64_t buf_ = 0;
    unsigned count_ = 0, phantom_ = 0;
};

// Canonical code, most significant bit first: a lookup of `tb` bits, then a search by
// length for longer codes. A block may also give a single symbol that takes no bits.
class MsbTable {
public:
    explicit MsbTable(unsigned tb) : tb_{tb}, lookup_(std::size_t{1} << tb) {}

    void setSingle(unsigned sym) { single_ = static_cast<int>(sym); }

    // False when the lengths do not fill the code space exactly (all zero is accepted:
    // the table is then empty and any use of it fails).
    bool build(const std::uint8_t* lens, unsigned n) {
        single_ = -1;
        count_.fill(0);
        for (unsigned i = 0; i < n; ++i) ++count_[lens[i]];
        count_[0] = 0;
        std::uint32_t code = 0, used = 0;
        std::array<unsigned, kMaxLen + 2> offs{};
        for (unsigned l = 1; l <= kMaxLen; ++l) {
            first_[l] = code;
            code = (code + count_[l]) << 1;
            used += count_[l] << (kMaxLen - l);
            offs[l + 1] = offs[l] + count_[l];
            offset_[l] = offs[l];
        }
        empty_ = used == 0;
        if (!empty_ && used != (1u << kMaxLen)) return false;
        sorted_.assign(n, 0);
        for (unsigned i = 0; i < n; ++i)
            if (lens[i]) sorted_[offs[lens[i]]++] = static_cast<std::uint16_t>(i);
        std::fill(lookup_.begin(), lookup_.end(), 0);
        std::array<std::uint32_t, kMaxLen + 1> next = first_;
        for (unsigned l = 1; l <= tb_; ++l) {
            for (unsigned k = 0; k < count_[l]; ++k) {
                const unsigned sym = sorted_[offset_[l] + k];
                const std::uint32_t c = next[l]++;
                const std::size_t start = std::size_t{c} << (tb_ - l), span = std::size_t{1} << (tb_ - l);
                for (std::size_t i = 0; i < span; ++i)
                    lookup_[start + i] = static_cast<std::uint16_t>(sym << 5 | l);
            }
        }
        return true;
    }

    // Neither a single symbol nor empty: decodePeeked applies.
    bool plain() const { return single_ < 0 && !empty_; }
    // The symbol at the front of 16 peeked bits and its length, or -1.
    int decodePeeked(unsigned p, unsigned& len) const {
        const std::uint16_t e = lookup_[p >> (kMaxLen - tb_)];
        if (e & 31) {
            len = e & 31;
            return e >> 5;
        }
        for (unsigned l = tb_ + 1; l <= kMaxLen; ++l) {
            const std::uint32_t c = p >> (kMaxLen - l);
            if (c - first_[l] < count_[l]) {
                len = l;
                return sorted_[offset_[l] + c - first_[l]];
            }
        }
        return -1;
    }

    // The next symbol, or -1 when the table has none for these bits.
    int decode(MsbBits& bits) const {
        if (single_ >= 0) return single_;
        if (empty_) return -1;
        const unsigned p = bits.peek(kMaxLen);
        const std::uint16_t e = lookup_[p >> (kMaxLen - tb_)];
        if (e & 31) {
            bits.skip(e & 31);
            return e >> 5;
        }
        for (unsigned l = tb_ + 1; l <= kMaxLen; ++l) {
            const std::uint32_t c = p >> (kMaxLen - l);
            if (c - first_[l] < count_[l]) {
                bits.skip(l);
                return sorted_[offset_[l] + c - first_[l]];
            }
        }
        return -1;
    }

private:
    unsigned tb_;
    int single_ = -1;
    bool empty_ = true;
    std::vector<std::uint16_t> lookup_; // symbol << 5 | length; 0 = longer code
    std::array<unsigned, kMaxLen + 1> count_{};
    std::array<std::uint32_t, kMaxLen + 1> first_{};
    std::array<unsigned, kMaxLen + 1> offset_{};
    std::vector<std::uint16_t> sorted_;
};

// The output: the last window of bytes followed by room for a chunk, so that matches
// are plain forward copies; the chunk goes to the sink when it fills, and the window
// moves down in front of it.
class WindowOutput {
public:
    static constexpr std::size_t kChunk = std::size_t{1} << 16;
    static constexpr std::size_t kMaxMatch = 256;
    static constexpr std::size_t kWidestStore = 16; // a copy may store up to 15 bytes past its end
    static constexpr std::size_t kSlack = kWidestStore;

    WindowOutput(DecodeSink& sink, std::size_t window)
        : sink_{sink}, window_{window}, buf_{std::make_unique_for_overwrite<std::uint8_t[]>(
                                            window + kChunk + kMaxMatch + kSlack)},
          base_{buf_.get() + window}, end_{base_ + kChunk}, op_{base_}, flushed_{base_} {}

    void put(std::uint8_t b) {
        if (op_ >= end_) turnOver(); // a match may have run past the chunk's end
        *op_++ = b;
    }
    // Copies len bytes (at most kMaxMatch) from dist bytes back (1 <= dist <= window,
    // dist <= produced()).
    void copy(std::size_t dist, std::size_t len) {
        if (op_ >= end_) turnOver(); // the chunk is full: room for a whole match after it
        const std::uint8_t* src = op_ - dist;
        std::uint8_t* const stop = op_ + len;
        if (dist >= kWidestStore) {
            do {
                std::memcpy(op_, src, 16);
                op_ += 16;
                src += 16;
            } while (op_ < stop);
        } else {
            while (op_ < stop) *op_++ = *src++;
        }
        op_ = stop;
    }
    void finish() { flush(); }
    std::uint64_t produced() const noexcept { return produced_ + static_cast<std::uint64_t>(op_ - flushed_); }

private:
    friend class Decoder; // its hot loop keeps the cursor in a register
    void flush() {
        if (op_ > flushed_) sink_.Write(flushed_, static_cast<std::size_t>(op_ - flushed_));
        produced_ += static_cast<std::uint64_t>(op_ - flushed_);
        flushed_ = op_;
    }
    void turnOver() {
        flush();
        const std::size_t keep = static_cast<std::size_t>(std::min<std::uint64_t>(window_, produced_));
        std::memmove(base_ - keep, op_ - keep, keep);
        op_ = flushed_ = base_;
    }

    DecodeSink& sink_;
    std::size_t window_;
    std::unique_ptr<std::uint8_t[]> buf_; // window | chunk | one match | slack
    std::uint8_t* const base_;
    std::uint8_t* const end_;
    std::uint8_t* op_;
    std::uint8_t* flushed_;
    std::uint64_t produced_ = 0;
};

class Decoder {
public:
    Decoder(InputBuffer& in, const LzhParams& p) : bits_{in}, p_{p} {}

    // Reads a block's three code sets; false with msg set on bad data.
    bool readBlockHeader() {
        blockLeft_ = bits_.get(16);
        if (bits_.overrun() || blockLeft_ == 0) return fail(kMsgNone);
        return readPtLen(ptTable_, kNT, kTBits, 3) && readCLen() &&
               readPtLen(pTable_, p_.np(), static_cast<unsigned>(p_.pBits), -1);
    }
    int nextCode() {
        if (blockLeft_ == 0 && !readBlockHeader()) return -1;
        --blockLeft_;
        const int c = cTable_.decode(bits_);
        if (c < 0) fail(kMsgBadHuffman);
        return c;
    }
    int nextPosition() {
        const int j = pTable_.decode(bits_);
        if (j < 0) return fail(kMsgBadHuffman), -1;
        if (j == 0) return 0;
        return static_cast<int>((1u << (j - 1)) + bits_.get(static_cast<unsigned>(j - 1)));
    }
    bool overrun() const { return bits_.overrun(); }
    int msg() const { return msg_; }

    // The hot loop: symbols of the current block while a word of input is left and a
    // whole match fits before the end of the output chunk and under `size`. Within these
    // no bounds are checked; the symbol-by-symbol path does the rest. False on bad data
    // (msg set).
    bool fastRun(WindowOutput& out, std::uint64_t size) {
        // One refill per symbol: a literal/length code and a position code with its
        // extra bits fit in the 56 bits it leaves.
        static_assert(kMaxLen + kMaxLen + 15 <= 56, "a whole match on one refill");
        if (blockLeft_ == 0 || !cTable_.plain() || !pTable_.plain()) return true;
        InputBuffer& in = bits_.in_;
        if (in.avail() < 8 || bits_.phantom_ != 0) return true;
        const std::uint64_t left = size - out.produced();
        if (left <= WindowOutput::kMaxMatch) return true;
        if (out.op_ >= out.end_) out.turnOver();
        const std::uint8_t* ip = in.data();
        const std::uint8_t* const ipStop = ip + in.avail() - 8;
        std::uint8_t* o = out.op_;
        std::uint8_t* const o0 = o;
        std::uint8_t* const oStop = o + std::min<std::uint64_t>(static_cast<std::size_t>(out.end_ - o),
                                                                left - WindowOutput::kMaxMatch);
        const std::uint64_t produced0 = out.produced();
        const std::size_t window = p_.windowSize();
        std::uint64_t buf = bits_.buf_;
        unsigned count = bits_.count_;
        unsigned blockLeft = blockLeft_;
        bool ok = true;
        while (blockLeft > 0 && ip <= ipStop && o < oStop) {
            std::uint64_t w;
            std::memcpy(&w, ip, 8);
            if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
            buf |= w >> count;
            ip += (63 - count) >> 3;
            count |= 56;
            unsigned n = 0;
            const int c = cTable_.decodePeeked(static_cast<unsigned>(buf >> 48), n);
            if (c < 0) {
                ok = fail(kMsgBadHuffman);
                break;
            }
            buf <<= n;
            count -= n;
            --blockLeft;
            if (c < 256) {
                *o++ = static_cast<std::uint8_t>(c);
                continue;
            }
            const std::size_t len = static_cast<unsigned>(c) - (256 - kThreshold);
            const int j = pTable_.decodePeeked(static_cast<unsigned>(buf >> 48), n);
            if (j < 0) {
                ok = fail(kMsgBadHuffman);
                break;
            }
            buf <<= n;
            count -= n;
            std::size_t distance = 1;
            if (j > 0) {
                const unsigned extra = static_cast<unsigned>(j) - 1;
                distance +=
                    (std::size_t{1} << extra) + (extra ? static_cast<std::size_t>(buf >> (64 - extra)) : 0);
                buf <<= extra;
                count -= extra;
            }
            if (distance > window || distance > produced0 + static_cast<std::uint64_t>(o - o0)) {
                ok = fail(kMsgBadBlock);
                break;
            }
            // Reads only bytes already written; may store up to 15 bytes past the match.
            const std::uint8_t* src = o - distance;
            std::uint8_t* const stop = o + len;
            if (distance >= WindowOutput::kWidestStore) {
                do {
                    std::memcpy(o, src, 16);
                    o += 16;
                    src += 16;
                } while (o < stop);
            } else if (distance >= 8) {
                do {
                    std::memcpy(o, src, 8);
                    o += 8;
                    src += 8;
                } while (o < stop);
            } else {
                // A short period: the pattern goes into a word, and each store moves on
                // by the whole periods it holds (at most 7 bytes past the match).
                std::uint64_t v = 0;
                std::memcpy(&v, src, distance);
                for (std::size_t have = distance; have < 8; have *= 2) {
                    std::uint8_t b8[8];
                    std::memcpy(b8, &v, 8);
                    std::memcpy(b8 + have, b8, std::min<std::size_t>(have, 8 - have));
                    std::memcpy(&v, b8, 8);
                }
                const std::size_t step = 8 - 8 % distance;
                do {
                    std::memcpy(o, &v, 8);
                    o += step;
                } while (o < stop);
            }
            o = stop;
        }
        bits_.buf_ = buf;
        bits_.count_ = count;
        in.consume(static_cast<std::size_t>(ip - in.data()));
        out.op_ = o;
        blockLeft_ = blockLeft;
        return ok;
    }

private:
    bool fail(int msg) {
        msg_ = msg;
        return false;
    }
    // Code-length code or position lengths: a count of nbit bits (0: one value that
    // stands for every code); lengths of 3 bits, 7 extended by further 1 bits; after
    // the length at index `special` a 2-bit count of zero lengths.
    bool readPtLen(MsbTable& table, unsigned nn, unsigned nbit, int special) {
        std::array<std::uint8_t, 32> lens{};
        const unsigned n = bits_.get(nbit);
        if (n == 0) {
            const unsigned c = bits_.get(nbit);
            if (c >= nn) return fail(kMsgBadHuffman);
            table.setSingle(c);
            return !bits_.overrun() || fail(kMsgNone);
        }
        if (n > nn) return fail(kMsgBadHuffman);
        unsigned i = 0;
        while (i < n) {
            unsigned c = bits_.peek(3);
            if (c == 7) {
                // Count the 1 bits after the first three, up to a length of 16.
                unsigned run = bits_.peek(16) << 3 & 0xFFFF;
                while (run & 0x8000) {
                    ++c;
                    run = run << 1 & 0xFFFF;
                }
                if (c > kMaxLen) return fail(kMsgBadHuffman);
                bits_.skip(c - 3);
            } else {
                bits_.skip(3);
            }
            lens[i++] = static_cast<std::uint8_t>(c);
            if (static_cast<int>(i) == special) {
                unsigned zeros = bits_.get(2);
                while (zeros-- > 0 && i < nn) lens[i++] = 0;
            }
        }
        if (bits_.overrun()) return fail(kMsgNone);
        if (!table.build(lens.data(), nn)) return fail(kMsgBadHuffman);
        return true;
    }

    // Literal/length lengths, coded with the code-length code.
    bool readCLen() {
        std::array<std::uint8_t, kNC> lens{};
        const unsigned n = bits_.get(kCBits);
        if (n == 0) {
            const unsigned c = bits_.get(kCBits);
            if (c >= kNC) return fail(kMsgBadHuffman);
            cTable_.setSingle(c);
            return !bits_.overrun() || fail(kMsgNone);
        }
        if (n > kNC) return fail(kMsgBadHuffman);
        unsigned i = 0;
        while (i < n) {
            const int c = ptTable_.decode(bits_);
            if (c < 0) return fail(kMsgBadHuffman);
            if (c <= 2) {
                const unsigned zeros = c == 0 ? 1 : c == 1 ? bits_.get(4) + 3 : bits_.get(kCBits) + 20;
                if (i + zeros > n) return fail(kMsgBadHuffman);
                i += zeros; // lens are zero already
            } else {
                lens[i++] = static_cast<std::uint8_t>(c - 2);
            }
            if (bits_.overrun()) return fail(kMsgNone);
        }
        if (!cTable_.build(lens.data(), kNC)) return fail(kMsgBadHuffman);
        return true;
    }

    MsbBits bits_;
    LzhParams p_;
    MsbTable ptTable_{8}, cTable_{12}, pTable_{8};
    unsigned blockLeft_ = 0;
    int msg_ = kMsgNone;
};

} // namespace

DecodeResult LzhDecode(InputBuffer& in, DecodeSink& sink, const LzhParams& p, std::uint64_t size) {
    DecodeResult r;
    if (size == 0) return r;
    Decoder dec{in, p};
    WindowOutput out{sink, p.windowSize()};
    auto finish = [&](DecodeStatus st, int msg) {
        out.finish();
        r.produced = out.produced();
        r.status = st;
        r.msg = msg;
        return r;
    };
    while (out.produced() < size) {
        if (!dec.fastRun(out, size)) return finish(DecodeStatus::Corrupt, dec.msg());
        if (out.produced() >= size) break;
        const int c = dec.nextCode();
        if (c < 0 || dec.overrun()) {
            const bool corrupt = dec.msg() != kMsgNone && !dec.overrun();
            return finish(corrupt ? DecodeStatus::Corrupt : DecodeStatus::Truncated,
                          corrupt ? dec.msg() : kMsgNone);
        }
        if (c < 256) {
            out.put(static_cast<std::uint8_t>(c));
            continue;
        }
        const std::size_t len = static_cast<unsigned>(c) - (256 - kThreshold);
        const int pos = dec.nextPosition();
        if (pos < 0 || dec.overrun()) {
            const bool corrupt = !dec.overrun();
            return finish(corrupt ? DecodeStatus::Corrupt : DecodeStatus::Truncated,
                          corrupt ? dec.msg() : kMsgNone);
        }
        const std::size_t distance = static_cast<std::size_t>(pos) + 1;
        if (distance > p.windowSize() || distance > out.produced())
            return finish(DecodeStatus::Corrupt, kMsgBadBlock);
        const std::uint64_t room = size - out.produced();
        out.copy(distance, static_cast<std::size_t>(std::min<std::uint64_t>(len, room)));
    }
    return finish(DecodeStatus::Ok, kMsgNone);
}

} // namespace ae
