#include "archive/codec/aeLzwDecode.h"

#include <algorithm>
#include <vector>

namespace ae {

namespace {

// Output collected in blocks before it goes to the sink.
class LzwOut {
public:
    LzwOut(DecodeSink& sink, DecodeResult& r) : sink_{sink}, r_{r} { buf_.reserve(kBlock + 8192); }
    void put(const std::uint8_t* p, std::size_t n) {
        buf_.insert(buf_.end(), p, p + n);
        if (buf_.size() >= kBlock) flush();
    }
    void put(std::uint8_t b) { put(&b, 1); }
    void flush() {
        if (!buf_.empty()) sink_.Write(buf_.data(), buf_.size());
        r_.produced += buf_.size();
        buf_.clear();
    }

private:
    static constexpr std::size_t kBlock = 32768;
    DecodeSink& sink_;
    DecodeResult& r_;
    std::vector<std::uint8_t> buf_;
};

DecodeResult Failed(LzwOut& out, DecodeResult& r, int msg) {
    out.flush();
    r.status = DecodeStatus::Corrupt;
    r.msg = msg;
    return r;
}

// ---- crunch ----

constexpr unsigned kCrunchSlots = 4096;
constexpr std::uint16_t kNoPred = 0xFFFF;
constexpr unsigned kCrunchStrings = 3840; // strings added beyond the 256 single bytes

struct CrunchSlot {
    bool used = false;
    std::uint16_t next = 0;
    std::uint16_t pred = kNoPred;
    std::uint8_t foll = 0;
};

class CrunchTable {
public:
    explicit CrunchTable(bool newHash) : newHash_{newHash}, slot_(kCrunchSlots) {
        for (unsigned c = 0; c < 256; ++c) add(kNoPred, static_cast<std::uint8_t>(c));
    }
    const CrunchSlot& operator[](unsigned i) const { return slot_[i & 0xFFF]; }

    // Places (pred, foll) at its hash slot, or at the first free slot from 101 past the end
    // of that slot's chain; false when the table is full.
    bool add(std::uint16_t pred, std::uint8_t foll) {
        unsigned at = CrunchHash(pred, foll, newHash_);
        if (slot_[at].used) {
            unsigned end = at;
            for (unsigned steps = 0; slot_[end].next != 0; ++steps) {
                if (steps >= kCrunchSlots) return false; // a chain cannot be longer than the table
                end = slot_[end].next;
            }
            unsigned probe = (end + 101) & 0xFFF;
            for (unsigned steps = 0; slot_[probe].used; ++steps) {
                if (steps >= kCrunchSlots) return false;
                probe = (probe + 1) & 0xFFF;
            }
            slot_[end].next = static_cast<std::uint16_t>(probe);
            at = probe;
        }
        slot_[at] = CrunchSlot{true, 0, pred, foll};
        return true;
    }

private:
    bool newHash_;
    std::vector<CrunchSlot> slot_;
};

// Two 12-bit codes in three bytes: the first code is the first byte and the high nibble
// of the second; the second code is that byte's low nibble and the third byte.
class Code12 {
public:
    explicit Code12(InputBuffer& in) : in_{in} {}
    int get() {
        if (!half_) {
            const int a = in_.getByte();
            const int b = in_.getByte();
            if (a < 0 || b < 0) return -1;
            nibble_ = b & 0x0F;
            half_ = true;
            return a << 4 | b >> 4;
        }
        half_ = false;
        const int c = in_.getByte();
        if (c < 0) return -1;
        return nibble_ << 8 | c;
    }

private:
    InputBuffer& in_;
    int nibble_ = 0;
    bool half_ = false;
};

} // namespace

std::uint16_t CrunchHash(std::uint16_t pred, std::uint8_t foll, bool newHash) {
    // The sum is taken in 16 bits, as the archivers that wrote these tables computed it.
    const std::uint32_t key = (static_cast<std::uint32_t>(pred) + foll) & 0xFFFF;
    if (newHash) return static_cast<std::uint16_t>((key * 15073u) & 0xFFF);
    const std::uint32_t k = (key | 0x0800) & 0xFFFF;
    return static_cast<std::uint16_t>(((k * k) >> 6) & 0xFFF);
}

DecodeResult DecodeCrunch(InputBuffer& in, DecodeSink& sink, bool newHash) {
    DecodeResult r;
    LzwOut out{sink, r};
    CrunchTable table{newHash};
    Code12 codes{in};
    std::vector<std::uint8_t> stack(kCrunchSlots);

    int code = codes.get();
    if (code < 0) return r;
    auto fin = table[static_cast<unsigned>(code)].foll;
    out.put(fin);
    unsigned old = static_cast<unsigned>(code);
    unsigned added = 0;
    while ((code = codes.get()) >= 0) {
        const auto inCode = static_cast<unsigned>(code);
        unsigned at = inCode;
        bool kwk = false;
        if (!table[at].used) { // the string being defined: the previous one and its first byte
            kwk = true;
            at = old;
        }
        std::size_t sp = stack.size();
        while (table[at].pred != kNoPred) {
            if (sp <= 1) return Failed(out, r, kMsgStackOverflow);
            stack[--sp] = table[at].foll;
            at = table[at].pred;
        }
        const std::uint8_t first = table[at].foll;
        stack[--sp] = first;
        const std::uint8_t lastFirst = fin;
        fin = first;
        out.put(stack.data() + sp, stack.size() - sp);
        if (kwk) out.put(lastFirst);
        if (added < kCrunchStrings) {
            if (!table.add(static_cast<std::uint16_t>(old), fin)) return Failed(out, r, kMsgCorruptInput);
            ++added;
        }
        old = inCode;
    }
    out.flush();
    return r;
}

// ---- grouped LZW ----

namespace {

// Skips n bits (whole groups of codes are padded out when the code width changes).
void skipBits(LsbBitSource& bits, unsigned n) {
    while (n > 0) {
        const unsigned k = std::min(n, 16u);
        if (bits.get(k) < 0) return;
        n -= k;
    }
}

} // namespace

DecodeResult DecodeLzwGroups(InputBuffer& in, DecodeSink& sink, unsigned maxBits, bool blockMode) {
    DecodeResult r;
    LzwOut out{sink, r};
    if (maxBits < 9 || maxBits > 16) return Failed(out, r, kMsgIncompleteCodes);
    const unsigned maxMaxCode = 1u << maxBits;
    std::vector<std::uint16_t> prefix(maxMaxCode);
    std::vector<std::uint8_t> suffix(maxMaxCode);
    for (unsigned i = 0; i < 256; ++i) suffix[i] = static_cast<std::uint8_t>(i);
    std::vector<std::uint8_t> stack(maxMaxCode + 1);

    LsbBitSource bits{in};
    unsigned nBits = 9;
    auto widthMax = [&] { return nBits == maxBits ? maxMaxCode : (1u << nBits) - 1; };
    unsigned maxCode = widthMax();
    unsigned freeEnt = blockMode ? 257 : 256;
    unsigned inGroup = 0; // codes read since the group began
    int oldCode = -1;
    unsigned finChar = 0;
    auto endGroup = [&] {
        if (inGroup % 8) skipBits(bits, (8 - inGroup % 8) * nBits);
        inGroup = 0;
    };
    for (;;) {
        if (freeEnt > maxCode && nBits < maxBits) {
            endGroup();
            ++nBits;
            maxCode = widthMax();
        }
        const int c = bits.get(nBits);
        if (c < 0) break; // the end of the input (a partial code is padding)
        ++inGroup;
        auto code = static_cast<unsigned>(c);
        if (oldCode == -1) {
            if (code >= 256) return Failed(out, r, kMsgCorruptInput);
            oldCode = static_cast<int>(code);
            finChar = code;
            out.put(static_cast<std::uint8_t>(code));
            continue;
        }
        if (code == 256 && blockMode) {
            std::fill(prefix.begin(), prefix.begin() + 256, 0);
            freeEnt = 256;
            endGroup();
            nBits = 9;
            maxCode = widthMax();
            continue;
        }
        const unsigned inCode = code;
        std::size_t sp = stack.size();
        if (code >= freeEnt) {
            if (code > freeEnt) return Failed(out, r, kMsgCorruptInput);
            stack[--sp] = static_cast<std::uint8_t>(finChar);
            code = static_cast<unsigned>(oldCode);
        }
        while (code >= 256) {
            if (sp <= 1) return Failed(out, r, kMsgStackOverflow);
            stack[--sp] = suffix[code];
            code = prefix[code];
        }
        finChar = suffix[code];
        stack[--sp] = static_cast<std::uint8_t>(finChar);
        out.put(stack.data() + sp, stack.size() - sp);
        if (freeEnt < maxMaxCode) {
            prefix[freeEnt] = static_cast<std::uint16_t>(oldCode);
            suffix[freeEnt] = static_cast<std::uint8_t>(finChar);
            ++freeEnt;
        }
        oldCode = static_cast<int>(inCode);
    }
    out.flush();
    return r;
}

// ---- ZOO LZW ----

DecodeResult DecodeZooLzw(InputBuffer& in, DecodeSink& sink) {
    constexpr unsigned kClear = 256, kEnd = 257, kFirstFree = 258, kMaxBits = 13;
    constexpr unsigned kTable = 1u << kMaxBits;
    DecodeResult r;
    LzwOut out{sink, r};
    std::vector<std::uint16_t> prefix(kTable);
    std::vector<std::uint8_t> suffix(kTable);
    // Deep enough for the longest string the table can hold (a long run of one byte).
    std::vector<std::uint8_t> stack(kTable + 1);
    LsbBitSource bits{in};
    unsigned nBits = 9, limit = 512, freeCode = kFirstFree;
    int oldCode = -1;
    std::uint8_t finChar = 0;
    for (;;) {
        const int c = bits.get(nBits);
        if (c < 0) break; // input used up without the end code
        auto code = static_cast<unsigned>(c);
        if (code == kEnd) break;
        if (code == kClear) {
            nBits = 9;
            limit = 512;
            freeCode = kFirstFree;
            oldCode = -1;
            continue;
        }
        if (oldCode < 0) { // the first code after a clear is a byte
            if (code > 255) return Failed(out, r, kMsgCorruptInput);
            finChar = static_cast<std::uint8_t>(code);
            out.put(finChar);
            oldCode = static_cast<int>(code);
            continue;
        }
        const unsigned inCode = code;
        std::size_t sp = stack.size();
        if (code >= freeCode) {
            if (code > freeCode) return Failed(out, r, kMsgCorruptInput);
            stack[--sp] = finChar;
            code = static_cast<unsigned>(oldCode);
        }
        while (code > 255) {
            if (sp <= 1) return Failed(out, r, kMsgStackOverflow);
            stack[--sp] = suffix[code];
            code = prefix[code];
        }
        finChar = static_cast<std::uint8_t>(code);
        stack[--sp] = finChar;
        out.put(stack.data() + sp, stack.size() - sp);
        if (freeCode < kTable) {
            prefix[freeCode] = static_cast<std::uint16_t>(oldCode);
            suffix[freeCode] = finChar;
            ++freeCode;
            if (freeCode >= limit && nBits < kMaxBits) {
                ++nBits;
                limit <<= 1;
            }
        }
        oldCode = static_cast<int>(inCode);
    }
    out.flush();
    return r;
}

} // namespace ae
