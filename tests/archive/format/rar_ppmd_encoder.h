// A writer of RAR 2.9 compressed streams made of PPM blocks, for tests (no RAR 2.9 writer
// exists here): it drives the same PPMd H model as the decoder with a range encoder, so what
// it writes is only as right as the model, and tests check every stream with unar first.
// Blocks may reset the model (order, memory) or continue it, set a new escape character, and
// carry the escape sequences the compressed stream knows: a literal escape character, end of
// block, end of file, a long match and a run of the last byte.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "stubs/unrar/RarPpmdModel.h"

namespace ppmdtest {

using Bytes = std::vector<std::uint8_t>;

// RAR's carry-less range encoder, the mirror of the decoder in RarPpmd.cpp.
struct RangeEncoder {
    Bytes* out = nullptr;
    std::uint32_t low = 0, range = 0xFFFFFFFF;
    unsigned target = 0;

    bool Begin(unsigned total) {
        range /= total;
        return range != 0;
    }
    void BeginBin() { range >>= rar::ppmd::kTotBits; }
    bool Is(unsigned, unsigned symbol) const { return symbol == target; }
    bool Code(unsigned lo, unsigned size) {
        using rar::ppmd::kBot;
        using rar::ppmd::kTop;
        low += lo * range;
        range *= size;
        while ((low ^ (low + range)) < kTop || (range < kBot && ((range = (0u - low) & (kBot - 1)), true))) {
            out->push_back(static_cast<std::uint8_t>(low >> 24));
            range <<= 8;
            low <<= 8;
        }
        return true;
    }
    void flush() {
        for (int i = 0; i < 4; ++i) {
            out->push_back(static_cast<std::uint8_t>(low >> 24));
            low <<= 8;
        }
    }
};

struct Block {
    unsigned order = 6; // 2..16, then 19, 22, ... 64
    unsigned memMB = 1; // 1..256
    bool reset = true;  // a new model; else the previous one goes on
    int newEsc = -1;    // >= 0: the block sets this escape character
};

// The flags byte's low five bits for an order.
inline unsigned orderBits(unsigned order) {
    if (order < 2 || order > 64 || (order > 16 && (order - 16) % 3)) throw std::invalid_argument("order");
    return order <= 16 ? order - 1 : 16 + (order - 16) / 3 - 1;
}

class Writer {
public:
    Bytes out;
    int esc = 2; // the escape character in force (2 at the start of a non-solid stream)

    // Starts a PPM block at the current (byte) position of the stream.
    void begin(const Block& b) {
        unsigned flags = 0x80 | orderBits(b.order);
        if (b.reset) flags |= 0x20;
        if (b.newEsc >= 0) flags |= 0x40;
        out.push_back(static_cast<std::uint8_t>(flags));
        if (b.reset) out.push_back(static_cast<std::uint8_t>(b.memMB - 1));
        if (b.newEsc >= 0) {
            out.push_back(static_cast<std::uint8_t>(b.newEsc));
            esc = b.newEsc;
        }
        if (b.reset && !model_.Start(b.order, b.memMB << 20)) throw std::runtime_error("model memory");
        if (!model_.Ready()) throw std::runtime_error("no model to continue");
        rc_ = RangeEncoder{};
        rc_.out = &out;
    }
    void symbol(unsigned s) {
        rc_.target = s;
        if (model_.Code(rc_) != static_cast<int>(s)) throw std::runtime_error("symbol not encodable");
    }
    void literal(std::uint8_t b) {
        symbol(b);
        if (b == esc) symbol(1);
    }
    // A run of Len (4..259) copies of the byte before.
    void run(unsigned len) {
        symbol(static_cast<unsigned>(esc));
        symbol(5);
        symbol(len - 4);
    }
    // A match of Len (32..287) bytes at Dist (2..0x1000001) back.
    void match(unsigned dist, unsigned len) {
        symbol(static_cast<unsigned>(esc));
        symbol(4);
        symbol((dist - 2) >> 16 & 0xFF);
        symbol((dist - 2) >> 8 & 0xFF);
        symbol((dist - 2) & 0xFF);
        symbol(len - 32);
    }
    // Ends the block; another block (PPM here) follows.
    void endBlock() {
        symbol(static_cast<unsigned>(esc));
        symbol(0);
        rc_.flush();
    }
    void endFile() {
        symbol(static_cast<unsigned>(esc));
        symbol(2);
        rc_.flush();
    }
    // The data as literals, runs and (when Matches) long matches, greedily.
    void data(const Bytes& d, bool matches = false, bool runs = false) {
        std::unordered_map<std::uint32_t, std::size_t> last;
        const auto key = [&d](std::size_t i) {
            return std::uint32_t{d[i]} | std::uint32_t{d[i + 1]} << 8 | std::uint32_t{d[i + 2]} << 16 |
                   std::uint32_t{d[i + 3]} << 24;
        };
        for (std::size_t i = 0; i < d.size();) {
            if (runs && i > 0) {
                std::size_t n = 0;
                while (i + n < d.size() && n < 259 && d[i + n] == d[i - 1]) ++n;
                if (n >= 4) {
                    run(static_cast<unsigned>(n));
                    i += n;
                    continue;
                }
            }
            if (matches && i + 4 <= d.size()) {
                const auto it = last.find(key(i));
                std::size_t len = 0, from = 0;
                if (it != last.end()) {
                    from = it->second;
                    while (i + len < d.size() && len < 287 && d[from + len] == d[i + len]) ++len;
                }
                last[key(i)] = i;
                if (len >= 32 && i - from >= 2) {
                    match(static_cast<unsigned>(i - from), static_cast<unsigned>(len));
                    for (std::size_t k = 1; k < len && i + k + 4 <= d.size(); ++k) last[key(i + k)] = i + k;
                    i += len;
                    continue;
                }
            }
            literal(d[i++]);
        }
    }

    unsigned restarts() const { return model_.Restarts(); }

private:
    rar::ppmd::TModel model_;
    RangeEncoder rc_;
};

} // namespace ppmdtest
