#include "archive/codec/aeInflate.h"
#include "archive/codec/aeInflatePaths.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define AE_INFLATE_BMI2 1
#endif

namespace aeinflate {
std::atomic<bool> gWideShifts{true};
} // namespace aeinflate

namespace ae {
namespace {

// ---- Table entries -------------------------------------------------------------------
// One 32-bit word per entry:
//   bits 0-7   bits to drop at this level: the code's bits, plus the extra bits for a
//              length or distance (for a sub-table pointer: the primary bits)
//   bit 31     literal; then bits 8-15 are the byte, where a store takes it from without
//              a shift, and nothing else is set
// Other entries:
//   bits 8-11  length or distance: the code's own bits at this level (the extra bits are
//              the rest); sub-table pointer: the sub-table's index bits
//   bit 12     invalid code          bit 13  end of block
//   bit 14     sub-table pointer
//   bits 16-30 length or distance base, or the sub-table's offset
constexpr std::uint32_t kInvalid = 1u << 12;
constexpr std::uint32_t kEob = 1u << 13;
constexpr std::uint32_t kSub = 1u << 14;
constexpr std::uint32_t kLiteral = 1u << 31;
constexpr std::uint32_t kSpecial = kInvalid | kEob | kSub;

constexpr unsigned kLitBits = 11; // primary lookup width for literals/lengths
constexpr unsigned kDistBits = 8; // primary lookup width for distances
constexpr unsigned kCodeLenBits = 7;
constexpr unsigned kMaxCodeLen = 15;
// Room: the primary table plus, at most, one sub-table of 2^(15 - primary bits) entries
// per symbol (a loose bound; the builder checks it).
constexpr std::size_t kLitTableSize = (1u << kLitBits) + 288 * (1u << (kMaxCodeLen - kLitBits));
constexpr std::size_t kDistTableSize = (1u << kDistBits) + 32 * (1u << (kMaxCodeLen - kDistBits));
constexpr std::size_t kCodeLenTableSize = 1u << kCodeLenBits;
static_assert(kLitTableSize + kDistTableSize <= 0x7FFF, "sub-table offsets fit below the literal bit");

constexpr std::uint32_t entry(std::uint32_t value, unsigned extra, std::uint32_t flags = 0) {
    return value << 16 | extra << 8 | flags;
}
constexpr unsigned codeBits(std::uint32_t e) {
    return e & 0xFF;
}
constexpr unsigned extraBits(std::uint32_t e) {
    return (e >> 8) & 0xF;
}
constexpr std::uint32_t value(std::uint32_t e) {
    return e >> 16;
}
// A length or distance entry as the symbol functions give it (value, extra count) for a
// code of `len` bits at its level; other entries just take the code's bits.
constexpr std::uint32_t withCodeBits(std::uint32_t e, unsigned len) {
    if (e & (kLiteral | kSpecial)) return e | len;
    const unsigned extra = extraBits(e);
    return (e & 0xFFFF0000u) | len << 8 | (len + extra);
}

// RFC 1951 section 3.2.5: length codes 257..285 and distance codes 0..29.
constexpr std::array<std::uint16_t, 29> kLenBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                    15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                    67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLenExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                    2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                     6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
static_assert(kDistBase.back() < 0x8000 && kLenBase.back() < 0x8000, "bases fit below the literal bit");
// Order in which the code-length code lengths are stored.
constexpr std::array<std::uint8_t, 19> kCodeLenOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                        11, 4,  12, 3, 13, 2, 14, 1, 15};

// Function objects rather than functions, so that the table builder has them inline.
constexpr auto litLenSymbol = [](unsigned sym) -> std::uint32_t {
    if (sym < 256) return kLiteral | sym << 8;
    if (sym == 256) return kEob;
    if (sym <= 285) return entry(kLenBase[sym - 257], kLenExtra[sym - 257]);
    return kInvalid; // 286 and 287 take part in the code but never occur in valid data
};
constexpr auto distSymbol = [](unsigned sym) -> std::uint32_t {
    return sym < 30 ? entry(kDistBase[sym], kDistExtra[sym]) : kInvalid;
};
constexpr auto plainSymbol = [](unsigned sym) -> std::uint32_t { return entry(sym, 0); };

// Ok: a complete code. Incomplete: a single one-bit code (or none); the table is usable
// and the missing codes decode as invalid. Bad: over-subscribed, otherwise incomplete, or
// out of room.
enum class Build { Ok, Incomplete, Bad };

constexpr std::array<std::uint8_t, 256> kReversedBytes = [] {
    std::array<std::uint8_t, 256> t{};
    for (unsigned b = 0; b < 256; ++b)
        for (unsigned i = 0; i < 8; ++i)
            if (b & (1u << i)) t[b] |= static_cast<std::uint8_t>(0x80u >> i);
    return t;
}();
static_assert(kReversedBytes[0x01] == 0x80 && kReversedBytes[0xF0] == 0x0F && kReversedBytes[0x35] == 0xAC);

// The low `len` bits of `code` (len <= 15) in reverse order.
unsigned reverseBits(unsigned code, unsigned len) {
    const unsigned r16 =
        static_cast<unsigned>(kReversedBytes[code & 0xFF]) << 8 | kReversedBytes[(code >> 8) & 0xFF];
    return r16 >> (16 - len);
}

// Canonical Huffman table for LSB-first decoding. Codes up to `tb` bits fill the
// primary table directly (replicated); longer codes share a sub-table per tb-bit prefix,
// sized by how many codes of the following lengths still start with that prefix. An
// incomplete code leaves invalid entries; only a single one-bit code may be incomplete.
//
// `tb` comes in as the widest primary table wanted and goes out as the width built: no
// wider than the longest code, so that the small codes of small blocks fill small tables.
//
// The code comes as its lengths (`lens`, by symbol), the symbols that have one (`used`, in
// increasing order) and how many codes there are of each length (`count`, count[0]
// unused): the dynamic header counts them as it reads them, so that a small block's
// table costs what its few symbols cost, not a pass over all 288.
using LengthCounts = std::array<unsigned, kMaxCodeLen + 1>;
template <class SymbolFn>
Build buildTable(std::uint32_t* table, std::size_t capacity, const std::uint8_t* lens,
                 const std::uint16_t* used, unsigned nused, LengthCounts count, unsigned& tb,
                 SymbolFn symbol) {
    count[0] = 0;
    int left = 1;
    unsigned maxLen = 0;
    for (unsigned len = 1; len <= kMaxCodeLen; ++len) {
        left = left * 2 - static_cast<int>(count[len]);
        if (left < 0) return Build::Bad;
        if (count[len]) maxLen = len;
    }
    tb = std::clamp(maxLen, 1u, tb);
    const std::size_t primary = std::size_t{1} << tb;
    if (left > 0) {
        // Incomplete (or empty): every slot no code reaches must decode as invalid.
        std::fill(table, table + primary, kInvalid);
        if (maxLen > 1) return Build::Bad;
    }
    if (maxLen == 0) return Build::Incomplete;

    std::array<unsigned, kMaxCodeLen + 2> offs{};
    for (unsigned len = 1; len <= kMaxCodeLen; ++len) offs[len + 1] = offs[len] + count[len];
    std::array<std::uint16_t, 288> sorted;
    for (unsigned k = 0; k < nused; ++k) sorted[offs[lens[used[k]]]++] = used[k];

    std::size_t next = primary; // first free slot for sub-tables
    unsigned curPrefix = ~0u, subBits = 0;
    std::size_t subStart = 0;
    unsigned code = 0; // canonical code, most significant bit first
    unsigned idx = 0;
    // The primary slots below `filled` hold their final entries for every code up to the
    // current length. A code of `len` bits owns each slot whose low `len` bits are its
    // reversed code, so doubling the filled part before each longer length replicates the
    // shorter codes: block copies instead of a strided store per slot, which matters for
    // the many small blocks of small entries.
    std::size_t filled = 2;
    for (unsigned len = 1; len <= maxLen; ++len) {
        if (len > 1 && len <= tb) {
            std::copy_n(table, filled, table + filled);
            filled <<= 1;
        }
        for (unsigned k = 0; k < count[len]; ++k, ++code, ++idx) {
            const unsigned sym = sorted[idx];
            const unsigned rev = reverseBits(code, len);
            if (len <= tb) {
                table[rev] = withCodeBits(symbol(sym), len);
                continue;
            }
            const unsigned prefix = rev & static_cast<unsigned>(primary - 1);
            if (prefix != curPrefix) {
                // Codes sharing these tb bits follow one another in canonical order; the
                // sub-table grows until the remaining codes of those lengths fill it.
                subBits = len - tb;
                int room = 1 << subBits;
                for (unsigned l = len; l < maxLen; ++l) {
                    room -= static_cast<int>(l == len ? count[l] - k : count[l]);
                    if (room <= 0) break;
                    ++subBits;
                    room <<= 1;
                }
                subStart = next;
                next += std::size_t{1} << subBits;
                if (next > capacity) return Build::Bad;
                curPrefix = prefix;
                table[prefix] = entry(static_cast<std::uint32_t>(subStart), subBits, kSub) | tb;
            }
            const std::uint32_t e = withCodeBits(symbol(sym), len - tb);
            for (std::size_t i = rev >> tb; i < (std::size_t{1} << subBits);
                 i += std::size_t{1} << (len - tb))
                table[subStart + i] = e;
        }
        code <<= 1;
    }
    for (; filled < primary; filled <<= 1) std::copy_n(table, filled, table + filled);
    return left > 0 ? Build::Incomplete : Build::Ok;
}

// The same from the lengths alone.
template <class SymbolFn>
Build buildTable(std::uint32_t* table, std::size_t capacity, const std::uint8_t* lens, unsigned n,
                 unsigned& tb, SymbolFn symbol) {
    LengthCounts count{};
    std::array<std::uint16_t, 288> used;
    unsigned nused = 0;
    for (unsigned i = 0; i < n; ++i) {
        ++count[lens[i]];
        if (lens[i]) used[nused++] = static_cast<std::uint16_t>(i);
    }
    return buildTable(table, capacity, lens, used.data(), nused, count, tb, symbol);
}

struct FixedTables {
    // Literal/length part, then the distance part (the layout the decoder's tables have).
    std::array<std::uint32_t, kLitTableSize + kDistTableSize> both{};
    std::uint32_t* lit = both.data();
    std::uint32_t* dist = both.data() + kLitTableSize;
    unsigned litBits = kLitBits, distBits = kDistBits;
    FixedTables() {
        std::array<std::uint8_t, 288> l{};
        std::fill(l.begin(), l.begin() + 144, 8);
        std::fill(l.begin() + 144, l.begin() + 256, 9);
        std::fill(l.begin() + 256, l.begin() + 280, 7);
        std::fill(l.begin() + 280, l.end(), 8);
        buildTable(lit, kLitTableSize, l.data(), 288, litBits, litLenSymbol);
        std::array<std::uint8_t, 32> d{};
        d.fill(5);
        buildTable(dist, kDistTableSize, d.data(), 32, distBits, distSymbol);
    }
};
const FixedTables& fixedTables() {
    static const FixedTables t;
    return t;
}

inline std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}
inline void store64(std::uint8_t* p, std::uint64_t v) {
    std::memcpy(p, &v, 8);
}
inline std::uint64_t lowBits(std::uint64_t v, unsigned n) {
    return v & ((std::uint64_t{1} << n) - 1);
}

} // namespace

// ---- Decoder state ---------------------------------------------------------------------
struct Inflater::State {
    static constexpr std::size_t kHistory = 32768;     // deflate's window
    static constexpr std::size_t kChunk = 1u << 20;    // bytes decoded between hand-overs
    static constexpr std::size_t kMinChunk = 1u << 16; // for entries known to be small
    static constexpr std::size_t kSlack = 320;         // room for word-wise copies past the end
    // Between two checks of the output the fast loop writes at most two literals and one
    // match (258 bytes), copied in stores that may run up to 39 bytes past its end; the
    // loop runs only while this much room is left in the buffer and under the declared size.
    static constexpr std::size_t kMaxMatch = 258;
    static constexpr std::size_t kLiteralsBeforeMatch = 2;
    static constexpr std::size_t kWidestStore = 40;
    static constexpr std::size_t kMaxOutPerCheck = kLiteralsBeforeMatch + kMaxMatch;
    static constexpr std::size_t kFastOutMargin = kMaxOutPerCheck + kWidestStore;
    // Between two checks of the input the fast loop refills at most three times (after
    // the check, then within a match before and after its distance), each reading one
    // 8-byte word and moving on by at most 7.
    static constexpr std::size_t kRefillsPerCheck = 3;
    static constexpr std::size_t kFastInMargin = 8 * kRefillsPerCheck;
    static_assert(kSlack >= kWidestStore, "word copies stay inside the buffer");
    static_assert(kMaxOutPerCheck + kWidestStore <= kFastOutMargin, "a whole round fits the margin");
    static_assert(kMinChunk >= 65535, "a stored block's piece always fits one chunk");

    explicit State(DecodeSink* sk) : sink{sk} {}

    DecodeSink* sink;                    // where the current run's output goes
    std::unique_ptr<std::uint8_t[]> out; // history | chunk | slack
    // Output straight into the room the sink lent, which holds the whole declared size:
    // no hand-overs, and the history is everything this stream produced.
    bool direct = false;
    // Filled by buildTable before any look-up (every slot a valid code can reach). The
    // distance table follows the literal/length table, here and in the fixed tables, so
    // that the hot loop reaches both from one register.
    std::array<std::uint32_t, kLitTableSize + kDistTableSize> tables;
    const std::uint32_t* lit = nullptr;
    const std::uint32_t* dist() const { return lit + kLitTableSize; }
    unsigned litBits = kLitBits, distBits = kDistBits; // the primary tables' widths

    // Bit input.
    InputBuffer* inbuf = nullptr;
    const std::uint8_t* in = nullptr;
    const std::uint8_t* inEnd = nullptr;
    std::uint64_t bitbuf = 0;
    unsigned bitsLeft = 0;
    unsigned phantom = 0; // zero bytes added past the end of the input
    bool inputDone = false;
    // The last bytes of the input, copied here with zeros after them, so that the fast
    // loop can go on to within a round of the stream's end (its refills then read the
    // zeros, never past the input). `tailBase` is the byte here that inbuf->data() is.
    static constexpr std::size_t kTailRoom = 2 * kFastInMargin + 8;
    std::array<std::uint8_t, kTailRoom> tail;
    bool inTail = false;
    const std::uint8_t* tailBase = nullptr;
    const std::uint8_t* inReadEnd = nullptr; // how far the fast loop may read: inEnd, or the tail's end
    bool noFast = false;                     // the careful path alone to the end of this stream

    // Output.
    std::uint8_t* op = nullptr;        // next byte to write
    std::uint8_t* flushed = nullptr;   // first byte not yet given to the sink
    std::uint8_t* histStart = nullptr; // earliest byte a match may reach
    std::uint64_t produced = 0;        // bytes given to the sink
    std::uint64_t limit = kSizeUnknown;

    DecodeResult result;
    bool failed = false;

    std::size_t chunk = 0;          // size of the chunk part of `out`
    std::uint8_t* outEnd = nullptr; // end of the chunk, or of the lent room
    std::uint8_t* softEnd() const { return outEnd; }
    std::uint64_t producedNow() const { return produced + static_cast<std::uint64_t>(op - flushed); }

    void fail(DecodeStatus st, int msg = kMsgNone) {
        if (failed) return;
        failed = true;
        result.status = st;
        result.msg = msg;
    }

    // -- input --------------------------------------------------------------------------
    void syncInput() {
        if (inTail) {
            inbuf->consume(static_cast<std::size_t>(in - tailBase));
            tailBase = in;
            return;
        }
        inbuf->consume(static_cast<std::size_t>(in - inbuf->data()));
    }
    void loadInput() {
        inTail = false;
        in = inbuf->data();
        inEnd = inReadEnd = in + inbuf->avail();
    }
    // The input has ended and fewer bytes than the fast loop's margin are left: they go
    // into the tail buffer, followed by zeros.
    void enterTail() {
        syncInput();
        const auto n = static_cast<std::size_t>(inEnd - in);
        std::memcpy(tail.data(), in, n);
        std::memset(tail.data() + n, 0, kTailRoom - n);
        inTail = true;
        in = tailBase = tail.data();
        inEnd = in + n;
        inReadEnd = tail.data() + kTailRoom;
    }
    bool moreInput() {
        if (inputDone) return false;
        syncInput();
        const bool got = inbuf->refill();
        loadInput();
        if (!got) inputDone = true;
        return got;
    }
    void refillFast() {
        bitbuf |= load64(in) << bitsLeft;
        in += (63 - bitsLeft) >> 3;
        bitsLeft |= 56;
    }
    void refillSlow() {
        // Away from the end of the input a word at a time (the table headers read
        // through here).
        if (inEnd - in >= 8) {
            refillFast();
            return;
        }
        // Drop bits above bitsLeft that a word refill may have loaded ahead; stop at 63
        // bits at most, as the word refill needs.
        bitbuf = lowBits(bitbuf, bitsLeft);
        while (bitsLeft <= 55) {
            if (in == inEnd && !moreInput()) {
                ++phantom;
            } else {
                bitbuf |= std::uint64_t{*in++} << bitsLeft;
            }
            bitsLeft += 8;
        }
    }
    bool overrun() const { return bitsLeft < phantom * 8; }
    void drop(unsigned n) {
        bitbuf >>= n;
        bitsLeft -= n;
    }
    unsigned getBits(unsigned n) { // n <= 32, slow path only
        if (bitsLeft < n) refillSlow();
        const auto v = static_cast<unsigned>(lowBits(bitbuf, n));
        drop(n);
        return v;
    }
    // Whole bytes left in the bit buffer go back to the input (trailers follow).
    void giveBackBytes() {
        const unsigned real = bitsLeft >= phantom * 8 ? bitsLeft - phantom * 8 : 0;
        syncInput();
        inbuf->unread(real >> 3);
        loadInput();
        bitbuf = 0;
        bitsLeft = 0;
        phantom = 0;
    }

    // -- output -------------------------------------------------------------------------
    void flush() {
        if (op > flushed) {
            if (direct)
                sink->Advance(static_cast<std::size_t>(op - flushed));
            else
                sink->Write(flushed, static_cast<std::size_t>(op - flushed));
            produced += static_cast<std::uint64_t>(op - flushed);
        }
        flushed = op;
    }
    // Hands the chunk over and moves the last 32 KiB down in front of the chunk.
    void makeRoom() {
        flush();
        const std::size_t keep = std::min<std::size_t>(kHistory, static_cast<std::size_t>(op - histStart));
        std::uint8_t* base = out.get() + kHistory;
        std::memmove(base - keep, op - keep, keep);
        histStart = base - keep;
        op = flushed = base;
    }
    bool roomFor(std::size_t n) {
        if (limit != kSizeUnknown && limit - producedNow() < n) {
            fail(DecodeStatus::TooLong);
            return false;
        }
        if (static_cast<std::size_t>(softEnd() - op) < n) {
            // The lent room holds the declared size, so the check above has failed first.
            if (direct) return fail(DecodeStatus::TooLong), false;
            makeRoom();
        }
        return true;
    }

    bool decodeBlocks();
    bool storedBlock();
    bool dynamicTables();
    bool huffmanBlock();
    void fastLoop(bool& blockEnd) {
        // Tables of the full widths, as large blocks have, are looked up with constant masks.
        const bool full = litBits == kLitBits && distBits == kDistBits;
#ifdef AE_INFLATE_BMI2
        if (haveBmi2() && aeinflate::gWideShifts.load(std::memory_order_relaxed))
            return full ? fastLoopBmi2<true>(blockEnd) : fastLoopBmi2<false>(blockEnd);
#endif
        full ? fastLoopPlain<true>(blockEnd) : fastLoopPlain<false>(blockEnd);
    }
    void tailLoop(bool& blockEnd);
    // The same loop built twice: plainly, and with BMI2's flag-free variable shifts and
    // bit extraction where the CPU has them; each for tables of the full widths and for
    // narrower ones.
    template <bool Bmi2, bool Full> [[gnu::always_inline]] inline void fastLoopBody(bool& blockEnd);
    template <bool Full> void fastLoopPlain(bool& blockEnd);
#ifdef AE_INFLATE_BMI2
    template <bool Full> [[gnu::target("bmi2")]] void fastLoopBmi2(bool& blockEnd);
    static bool haveBmi2() {
        static const bool yes = __builtin_cpu_supports("bmi2");
        return yes;
    }
#endif
    bool slowSymbol(bool& blockEnd);
};

// The hot loop. Preconditions, checked at the end of each round: at least 24 input bytes
// (three word refills), and room for a maximal match plus the overshoot of its widest store,
// both in the buffer and under the declared size. Within these the loop needs no bounds
// checks; the careful path takes over the moment either fails.
//
// Bit budget: a refill leaves at least 56 bits. A round of literals takes up to three
// codes from the primary table and looks the next one up; a match takes a length code
// with its extra bits and looks the distance up, refills, then takes the distance code
// with its extra bits and looks the next symbol up. Look-ups go before the refills, so
// that a refill is never on the chain from one symbol to the next.
constexpr unsigned kRefillBits = 56;
static_assert(4 * kLitBits <= kRefillBits, "three literals and the next look-up on one refill");
static_assert((kMaxCodeLen + 5) + kMaxCodeLen <= kRefillBits, "a length and the distance look-up");
static_assert(2 * kLitBits + (kLitBits + 5) + kMaxCodeLen <= kRefillBits,
              "one or two literals, a length from the primary table and the distance look-up");
static_assert((kMaxCodeLen + 13) + kLitBits <= kRefillBits, "a distance and the next look-up");
static_assert(2 * kLitBits + (kMaxCodeLen + 5) + kDistBits <= kRefillBits,
              "one or two literals, a length from a sub-table and the distance's primary look-up");

namespace {
// Loads a whole word; whole bytes that fit go in and the rest is loaded again next time
// (the bits above `left` are the same input bits either way). Only the low byte of
// `left` is exact (see fastLoopBody).
[[gnu::always_inline]] inline void refillLoose(std::uint64_t& buf, std::uint32_t& left,
                                               const std::uint8_t*& ip) {
    buf |= load64(ip) << (left & 63);
    ip += ((left & 63) ^ 63) >> 3;
    left |= kRefillBits;
}

// How far a word of a period-d pattern moves on: the whole periods it holds (a table, as
// a division here costs more than the copy).
constexpr std::array<std::uint8_t, 8> kPatternStep = {0, 8, 8, 6, 8, 5, 6, 7};
static_assert([] {
    for (std::size_t d = 1; d < 8; ++d)
        if (kPatternStep[d] != 8 - 8 % d) return false;
    return true;
}());

// The extra bits of a length or distance entry `e` taken from the bit buffer as it was
// before its code was dropped. The shift may use the entry's bits 8-13 as they stand:
// bits 12 and 13 are clear in length and distance entries. With BMI2 one instruction
// keeps the code's bits (it reads the count from the entry's low byte); it is written
// out because the plain loop shares this code and must not contain it.
template <bool Bmi2>
[[gnu::always_inline]] inline std::size_t extraValue(std::uint64_t saved, std::uint32_t e) {
    std::uint64_t kept;
#ifdef AE_INFLATE_BMI2
    if constexpr (Bmi2)
        asm("bzhi %2, %1, %0" : "=r"(kept) : "r"(saved), "r"(std::uint64_t{e}));
    else
#endif
        kept = lowBits(saved, codeBits(e));
    return static_cast<std::size_t>(kept >> ((e >> 8) & 63));
}

// A pattern of period `d` (1 to 7 bytes) starting at `src`, repeated over a word.
[[gnu::always_inline]] inline std::uint64_t widenPattern(const std::uint8_t* src, std::size_t d) {
    std::uint64_t v = load64(src) & ((std::uint64_t{1} << (8 * d)) - 1);
    v |= v << (8 * d);
    if (d < 4) v |= v << (16 * d);
    if (d == 1) v |= v << 32;
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}
} // namespace

template <bool Bmi2, bool Full> inline void Inflater::State::fastLoopBody(bool& blockEnd) {
    const std::uint64_t lmask = (std::uint64_t{1} << (Full ? kLitBits : litBits)) - 1,
                        dmask = (std::uint64_t{1} << (Full ? kDistBits : distBits)) - 1;
    // The output may already stand inside the last margin (the careful path writes up to
    // the very end): compare before subtracting, so that no room is ever negative.
    const std::ptrdiff_t bufRoom = softEnd() - op;
    if (bufRoom <= static_cast<std::ptrdiff_t>(kFastOutMargin)) return;
    std::size_t fastRoom = static_cast<std::size_t>(bufRoom) - kFastOutMargin;
    // The declared size stops the loop too, but a round may run past it into the buffer's
    // margin: when the size is within a round's reach, output past it ends the stream as
    // too long, and none of it is handed over. A round may still begin right at the size,
    // so that the end of the block there is read here. (Room lent by the sink ends at the
    // declared size, so its own margin keeps every round short of it.)
    std::uint8_t* sizeEnd = nullptr;
    if (limit != kSizeUnknown) {
        const std::uint64_t room = limit - producedNow();
        if (room == 0) return;
        if (room < fastRoom + kFastOutMargin) {
            sizeEnd = op + room;
            fastRoom = static_cast<std::size_t>(std::min<std::uint64_t>(fastRoom, room + 1));
        }
    }
    std::uint8_t* const outStop = op + fastRoom;
    std::uint64_t buf = bitbuf;
    // Only the low byte of `left` counts here: whole entries are subtracted (their low
    // byte is the bits to drop), and no borrow reaches the low byte since the bits are
    // always there.
    std::uint32_t left = bitsLeft;
    const std::uint8_t* ip = in;
    std::uint8_t* o = op;
    const std::uint8_t* hs = histStart;
    // Locals, not members: the byte stores below may alias anything, so members would be
    // read again after every store.
    const std::uint32_t* const lt = lit;
    if (inReadEnd - ip < static_cast<std::ptrdiff_t>(kFastInMargin)) return;
    const std::uint8_t* const inStop = inReadEnd - kFastInMargin;
    // Invariant at the top of each round: at least 56 bits buffered and `e` looked up.
    refillLoose(buf, left, ip);
    std::uint32_t e = lt[buf & lmask];
    for (;;) {
        // Every entry's bits go before its kind is known: a sub-table pointer's are the
        // primary bits, and an invalid entry ends the loop anyway. Done ahead of the
        // branch, the shift and the next look-up need not wait for the branch to settle.
        std::uint64_t saved = buf;
        buf >>= codeBits(e);
        left -= e;
        if (e & kLiteral) {
            o[0] = static_cast<std::uint8_t>(e >> 8);
            e = lt[buf & lmask];
            saved = buf;
            buf >>= codeBits(e);
            left -= e;
            if (e & kLiteral) {
                o[1] = static_cast<std::uint8_t>(e >> 8);
                e = lt[buf & lmask];
                saved = buf;
                buf >>= codeBits(e);
                left -= e;
                if (e & kLiteral) {
                    o[2] = static_cast<std::uint8_t>(e >> 8);
                    // Looked up here, its bits go at the top of the next round.
                    e = lt[buf & lmask];
                    o += 3;
                    // At least 23 bits remain: the look-up just made is sound; top up.
                    if (ip > inStop || o >= outStop) break;
                    refillLoose(buf, left, ip);
                    continue;
                }
                o += 2;
            } else {
                o += 1;
            }
            // A length goes on at once: at least 34 bits remain for a primary length and
            // the distance look-up (a sub-table one: see the budgets).
            if (e & kSpecial) [[unlikely]]
                goto special;
            goto length;
        }
        if (e & kSpecial) [[unlikely]] {
        special:
            if (e & kSub) {
                e = lt[value(e) + lowBits(buf, extraBits(e))];
                saved = buf;
                buf >>= codeBits(e);
                left -= e;
                if (e & kLiteral) {
                    *o++ = static_cast<std::uint8_t>(e >> 8);
                    if (ip > inStop || o >= outStop) break;
                    refillLoose(buf, left, ip);
                    e = lt[buf & lmask];
                    continue;
                }
            }
            if (e & kInvalid) {
                fail(DecodeStatus::Corrupt, kMsgBadBlock);
                break;
            }
            if (e & kEob) {
                blockEnd = true;
                break;
            }
        }
    length:
        const std::size_t len = value(e) + extraValue<Bmi2>(saved, e);
        // The distance table follows the literal/length table (one base register). At
        // least 36 bits remain, so the look-up goes first and the refill runs beside it.
        std::uint32_t d = lt[kLitTableSize + (buf & dmask)];
        refillLoose(buf, left, ip);
        saved = buf;
        buf >>= codeBits(d);
        left -= d;
        if (d & (kSub | kInvalid)) [[unlikely]] {
            if (d & kSub) {
                d = lt[kLitTableSize + value(d) + lowBits(buf, extraBits(d))];
                saved = buf;
                buf >>= codeBits(d);
                left -= d;
            }
            if (d & kInvalid) {
                fail(DecodeStatus::Corrupt, kMsgBadBlock);
                break;
            }
        }
        const std::size_t distance = value(d) + extraValue<Bmi2>(saved, d);
        if (distance > static_cast<std::size_t>(o - hs)) [[unlikely]] {
            fail(DecodeStatus::Corrupt, kMsgBadBlock);
            break;
        }
        // At least 28 bits remain: look the next symbol up before the copy, so that both
        // overlap, and top up beside it.
        e = lt[buf & lmask];
        refillLoose(buf, left, ip);
        // Every copy reads only bytes already written (history, or this match's own
        // earlier part) and may store up to kWidestStore - 1 bytes past the match.
        const std::uint8_t* src = o - distance;
        std::uint8_t* const end = o + len;
        if (distance >= 8) {
            // Words, not wider stores: a short match often reads bytes stored moments
            // ago, and a narrow load waits on fewer of those stores.
            store64(o, load64(src));
            store64(o + 8, load64(src + 8));
            store64(o + 16, load64(src + 16));
            store64(o + 24, load64(src + 24));
            store64(o + 32, load64(src + 32));
            if (len > 40) {
                o += 40;
                src += 40;
                do {
                    store64(o, load64(src));
                    o += 8;
                    src += 8;
                } while (o < end);
            }
        } else {
            // A short period: the pattern goes into a register, and each store moves on
            // by the whole periods it holds.
            const std::uint64_t v = widenPattern(src, distance);
            const std::size_t step = kPatternStep[distance];
            do {
                store64(o, v);
                store64(o + step, v);
                o += 2 * step;
            } while (o < end);
        }
        o = end;
        if (ip > inStop || o >= outStop) break;
    }
    bitbuf = buf;
    bitsLeft = left & 0xFF;
    in = ip;
    op = o;
    if (sizeEnd && o > sizeEnd) {
        // Past the size first, whatever came after in the round.
        op = sizeEnd;
        failed = false;
        fail(DecodeStatus::TooLong);
    }
}

template <bool Full> void Inflater::State::fastLoopPlain(bool& blockEnd) {
    fastLoopBody<false, Full>(blockEnd);
}
#ifdef AE_INFLATE_BMI2
template <bool Full> void Inflater::State::fastLoopBmi2(bool& blockEnd) {
    fastLoopBody<true, Full>(blockEnd);
}
#endif

// The fast loop over the tail. A stream that is whole ends inside the real bytes, and the
// loop decodes it as it would anywhere. One that takes bits from the zeros is cut short
// (or damaged); the careful path then does the same symbols again from where the loop
// began, so that what it writes and what it says is exactly what it would have said
// without the loop, and the loop is not used again for this stream.
void Inflater::State::tailLoop(bool& blockEnd) {
    const std::uint8_t* const startIn = in;
    const std::uint64_t startBuf = bitbuf;
    const unsigned startLeft = bitsLeft;
    std::uint8_t* const startOp = op;
    fastLoop(blockEnd);
    // Bits taken since the tail began (fewer than none while the bits the loop started
    // with, which came before the tail, are not all used). Zero bytes the careful path
    // added past the end stand before those the loop read.
    const std::ptrdiff_t taken =
        (in - tail.data() + static_cast<std::ptrdiff_t>(phantom)) * 8 - static_cast<std::ptrdiff_t>(bitsLeft);
    if (taken > (inEnd - tail.data()) * 8) {
        in = startIn;
        bitbuf = startBuf;
        bitsLeft = startLeft;
        op = startOp;
        failed = false;
        result = {};
        blockEnd = false;
        noFast = true;
        return;
    }
    // Bits read ahead from the zeros are no input: the careful path reads on from the end.
    if (in > inEnd) {
        bitsLeft -= static_cast<unsigned>(in - inEnd) * 8;
        bitbuf = lowBits(bitbuf, bitsLeft);
        in = inEnd;
    }
}

// One symbol (and its match) with full checks; used near the ends of input and output.
bool Inflater::State::slowSymbol(bool& blockEnd) {
    refillSlow();
    std::uint32_t e = lit[lowBits(bitbuf, litBits)];
    if ((e & (kLiteral | kSub)) == kSub) {
        drop(litBits);
        e = lit[value(e) + lowBits(bitbuf, extraBits(e))];
    }
    const std::uint64_t saved = bitbuf;
    drop(codeBits(e));
    if (overrun()) return fail(DecodeStatus::Truncated), false;
    if (e & kLiteral) {
        if (!roomFor(1)) return false;
        *op++ = static_cast<std::uint8_t>(e >> 8);
        return true;
    }
    if (e & kInvalid) return fail(DecodeStatus::Corrupt, kMsgBadBlock), false;
    if (e & kEob) {
        blockEnd = true;
        return true;
    }
    const std::size_t len = value(e) + (lowBits(saved, codeBits(e)) >> extraBits(e));
    refillSlow();
    std::uint32_t d = dist()[lowBits(bitbuf, distBits)];
    if (d & kSub) {
        drop(distBits);
        d = dist()[value(d) + lowBits(bitbuf, extraBits(d))];
    }
    if (d & kInvalid) return fail(DecodeStatus::Corrupt, kMsgBadBlock), false;
    const std::uint64_t savedD = bitbuf;
    drop(codeBits(d));
    const std::size_t distance = value(d) + (lowBits(savedD, codeBits(d)) >> extraBits(d));
    if (overrun()) return fail(DecodeStatus::Truncated), false;
    if (!roomFor(len)) return false;
    if (distance > static_cast<std::size_t>(op - histStart))
        return fail(DecodeStatus::Corrupt, kMsgBadBlock), false;
    const std::uint8_t* src = op - distance;
    for (std::size_t i = 0; i < len; ++i) op[i] = src[i];
    op += len;
    return true;
}

bool Inflater::State::huffmanBlock() {
    bool blockEnd = false;
    while (!blockEnd) {
        // Near the end of the buffer, hand the chunk over early so that the fast loop
        // keeps going instead of the careful one.
        if (!direct && softEnd() - op <= static_cast<std::ptrdiff_t>(kFastOutMargin)) makeRoom();
        if (!noFast) {
            if (inTail)
                tailLoop(blockEnd);
            else
                fastLoop(blockEnd);
            if (failed) return false;
            if (blockEnd) break;
            if (inEnd - in < static_cast<std::ptrdiff_t>(kFastInMargin) && !inTail) {
                if (!inputDone) {
                    moreInput();
                    continue;
                }
                // The input has ended: its last bytes go where the loop can read past them.
                enterTail();
                tailLoop(blockEnd);
                if (failed) return false;
                if (blockEnd) break;
            }
        }
        if (!slowSymbol(blockEnd)) return false;
    }
    if (overrun()) return fail(DecodeStatus::Truncated), false;
    return true;
}

bool Inflater::State::storedBlock() {
    drop(bitsLeft & 7);
    const unsigned len = getBits(16);
    const unsigned nlen = getBits(16);
    if (overrun()) return fail(DecodeStatus::Truncated), false;
    if (len != (~nlen & 0xFFFF)) return fail(DecodeStatus::Corrupt, kMsgBadBlock), false;
    giveBackBytes();
    std::size_t remaining = len;
    while (remaining > 0) {
        if (in == inEnd && !moreInput()) return fail(DecodeStatus::Truncated), false;
        const std::size_t n = std::min(remaining, static_cast<std::size_t>(inEnd - in));
        if (!roomFor(n)) return false;
        std::memcpy(op, in, n);
        op += n;
        in += n;
        remaining -= n;
    }
    return true;
}

bool Inflater::State::dynamicTables() {
    const unsigned hlit = getBits(5) + 257, hdist = getBits(5) + 1, hclen = getBits(4) + 4;
    // Five bits allow 288 and 32 codes, but codes 286/287 and 30/31 never occur in
    // valid data: refuse them here, as the reference decoder does.
    if (hlit > 286 || hdist > 30) return fail(DecodeStatus::Corrupt, kMsgBadLengths), false;
    std::array<std::uint8_t, 19> clens{};
    for (unsigned i = 0; i < hclen; ++i) clens[kCodeLenOrder[i]] = static_cast<std::uint8_t>(getBits(3));
    if (overrun()) return fail(DecodeStatus::Truncated), false;
    std::array<std::uint32_t, kCodeLenTableSize> ctab;
    unsigned cbits = kCodeLenBits;
    if (buildTable(ctab.data(), ctab.size(), clens.data(), 19, cbits, plainSymbol) != Build::Ok)
        return fail(DecodeStatus::Corrupt, kMsgBadBlock), false;

    // Every length up to hlit + hdist is written before it is read. The codes are counted
    // as they come (see buildTable).
    std::array<std::uint8_t, 288 + 32> lens;
    LengthCounts lcount{}, dcount{};
    std::array<std::uint16_t, 288> lused;
    std::array<std::uint16_t, 32> dused;
    unsigned nl = 0, nd = 0;
    const auto note = [&](unsigned i, unsigned len) {
        if (i < hlit) {
            ++lcount[len];
            lused[nl++] = static_cast<std::uint16_t>(i);
        } else {
            ++dcount[len];
            dused[nd++] = static_cast<std::uint16_t>(i - hlit);
        }
    };
    unsigned n = 0;
    while (n < hlit + hdist) {
        if (bitsLeft < 7 + 7) refillSlow();
        const std::uint32_t e = ctab[lowBits(bitbuf, cbits)];
        if (e & kInvalid) return fail(DecodeStatus::Corrupt, kMsgBadBlock), false;
        drop(codeBits(e));
        const unsigned sym = value(e);
        if (sym < 16) {
            lens[n] = static_cast<std::uint8_t>(sym);
            if (sym) note(n, sym);
            ++n;
            continue;
        }
        unsigned rep;
        std::uint8_t fill = 0;
        if (sym == 16) {
            if (n == 0) return fail(DecodeStatus::Corrupt, kMsgBadBlock), false;
            fill = lens[n - 1];
            rep = 3 + getBits(2);
        } else if (sym == 17) {
            rep = 3 + getBits(3);
        } else {
            rep = 11 + getBits(7);
        }
        if (n + rep > hlit + hdist) return fail(DecodeStatus::Corrupt, kMsgBadBlock), false;
        std::fill_n(lens.begin() + n, rep, fill);
        if (fill)
            for (unsigned i = n; i < n + rep; ++i) note(i, fill);
        n += rep;
    }
    if (overrun()) return fail(DecodeStatus::Truncated), false;
    if (lens[256] == 0) return fail(DecodeStatus::Corrupt, kMsgBadBlock), false; // no end of block
    // Like the reference decoder, a literal/length or distance code may be a single
    // one-bit code (or, for distances, empty); anything else must be complete.
    unsigned lb = kLitBits, db = kDistBits;
    if (buildTable(tables.data(), kLitTableSize, lens.data(), lused.data(), nl, lcount, lb, litLenSymbol) ==
            Build::Bad ||
        buildTable(tables.data() + kLitTableSize, kDistTableSize, lens.data() + hlit, dused.data(), nd,
                   dcount, db, distSymbol) == Build::Bad)
        return fail(DecodeStatus::Corrupt, kMsgBadBlock), false;
    lit = tables.data();
    litBits = lb;
    distBits = db;
    return true;
}

bool Inflater::State::decodeBlocks() {
    for (;;) {
        const unsigned last = getBits(1);
        const unsigned type = getBits(2);
        if (overrun()) return fail(DecodeStatus::Truncated), false;
        bool ok = false;
        switch (type) {
        case 0:
            ok = storedBlock();
            break;
        case 1:
            lit = fixedTables().lit;
            litBits = fixedTables().litBits;
            distBits = fixedTables().distBits;
            ok = huffmanBlock();
            break;
        case 2:
            ok = dynamicTables() && huffmanBlock();
            break;
        default:
            fail(DecodeStatus::Corrupt, kMsgBadBlock);
        }
        if (!ok) return false;
        if (last) return true;
    }
}

Inflater::Inflater() : s_{std::make_unique<State>(nullptr)} {}
Inflater::Inflater(DecodeSink& sink) : s_{std::make_unique<State>(&sink)} {}
Inflater::~Inflater() = default;

DecodeResult Inflater::Run(InputBuffer& in, std::uint64_t limit) {
    State& s = *s_;
    // A small entry needs no megabyte of buffer; a stream of unknown size gets the most.
    // With the fast loop's margin on top, a known size never makes the buffer turn over
    // (and move the history) just before its end.
    const std::size_t want = limit >= State::kChunk
                                 ? State::kChunk
                                 : std::max<std::size_t>(State::kMinChunk, static_cast<std::size_t>(limit) +
                                                                               State::kFastOutMargin);
    // Room the sink lends is taken only for larger streams: it ends at the declared size,
    // so the fast loop stops a margin short of it, where the inflater's own buffer lets
    // it run to the very end -- which is most of a small entry.
    const std::span<std::uint8_t> room =
        limit != kSizeUnknown && limit > State::kMinChunk ? s.sink->Room() : std::span<std::uint8_t>{};
    s.direct = room.data() != nullptr && room.size() >= limit;
    if (s.direct) {
        s.op = s.flushed = s.histStart = room.data();
        s.outEnd = room.data() + limit;
    } else {
        if (!s.out || s.chunk < want) {
            s.out = std::make_unique_for_overwrite<std::uint8_t[]>(State::kHistory + want + State::kSlack);
            s.chunk = want;
        }
        s.op = s.flushed = s.histStart = s.out.get() + State::kHistory;
        s.outEnd = s.op + s.chunk;
    }
    s.produced = 0;
    s.limit = limit;
    s.result = {};
    s.failed = false;
    s.inbuf = &in;
    s.loadInput();
    s.bitbuf = 0;
    s.bitsLeft = 0;
    s.phantom = 0;
    s.inputDone = false;
    s.noFast = false;
    const bool ok = s.decodeBlocks();
    if (ok)
        s.giveBackBytes();
    else
        s.syncInput();
    s.flush();
    s.result.produced = s.produced;
    return s.result;
}

DecodeResult Inflater::Run(InputBuffer& in, DecodeSink& sink, std::uint64_t limit) {
    DecodeSink* const bound = s_->sink;
    s_->sink = &sink;
    struct Rebind {
        State& s;
        DecodeSink* to;
        ~Rebind() { s.sink = to; }
    } rebind{*s_, bound};
    return Run(in, limit);
}

DecodeResult Inflate(std::span<const std::uint8_t> data, DecodeSink& sink, std::uint64_t declaredSize) {
    InputBuffer in{data};
    Inflater inf{sink};
    DecodeResult r = inf.Run(in, declaredSize);
    if (r.ok() && declaredSize != kSizeUnknown && r.produced != declaredSize)
        r.status = DecodeStatus::Truncated;
    return r;
}

} // namespace ae

namespace aeinflate {
bool WideShiftsAvailable() {
#ifdef AE_INFLATE_BMI2
    return __builtin_cpu_supports("bmi2");
#else
    return false;
#endif
}
void UseWideShifts(bool Use) {
    gWideShifts.store(Use, std::memory_order_relaxed);
}
} // namespace aeinflate
