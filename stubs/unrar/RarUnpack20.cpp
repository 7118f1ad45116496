// RAR 2.0 compression (unpacking versions 20 and 26): LZ77 with three Huffman tables (literals
// and lengths, distances, lengths after a repeated distance) sent as deltas of the previous
// tables, and an alternative "multimedia" mode that codes each byte as the error of a linear
// predictor per channel, its coefficients tuned every 32 bytes to the smallest error sum.
#include <array>
#include <cstdlib>
#include <cstring>

#include "stubs/unrar/RarUnpack.h"

namespace rar {
namespace {

constexpr unsigned kNC = 298, kDC = 48, kRC = 28, kBC = 19, kMC = 257;

constexpr std::uint8_t kLBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                     2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
constexpr std::uint16_t kLDecode[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  10,  12,  14,  16,  20,
                                        24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
constexpr std::uint8_t kDBits[48] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                     7,  7,  8,  8,  9,  9,  10, 10, 11, 11, 12, 12, 13, 13, 14, 14,
                                     15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
constexpr std::uint8_t kSDBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};
constexpr std::uint16_t kSDDecode[8] = {0, 4, 8, 16, 32, 64, 128, 192};

std::array<std::uint32_t, 48> MakeDDecode() {
    std::array<std::uint32_t, 48> d{};
    std::uint32_t v = 0;
    for (unsigned i = 0; i < 48; ++i) {
        d[i] = v;
        v += 1u << kDBits[i];
    }
    return d;
}
const std::array<std::uint32_t, 48> kDDecode = MakeDDecode();

// A canonical Huffman code read from its code lengths (1..15, 0 unused): codes of one length
// are consecutive in symbol order, shorter codes first. Codes up to kQuick bits are found
// with one lookup, longer ones by comparing with each length's left-aligned limit.
class THuff {
public:
    static constexpr unsigned kQuick = 10;

    // False for an over-subscribed set of lengths; an incomplete one is valid (a table with a
    // single symbol, or none when the block does not use the alphabet).
    bool Build(const std::uint8_t* Len, unsigned Count) {
        unsigned count[16] = {};
        for (unsigned i = 0; i < Count; ++i) ++count[Len[i] & 15];
        count[0] = 0;
        std::uint32_t code = 0;
        unsigned pos = 0;
        unsigned offset[16] = {};
        for (unsigned l = 1; l < 16; ++l) {
            First[l] = code << (16 - l);
            Offset[l] = pos;
            offset[l] = pos;
            code += count[l];
            if (code > (1u << l)) return false;
            Limit[l] = code << (16 - l); // first left-aligned code past this length
            pos += count[l];
            code <<= 1;
        }
        Symbols.assign(pos, 0);
        for (unsigned i = 0; i < Count; ++i)
            if (Len[i]) Symbols[offset[Len[i]]++] = static_cast<std::uint16_t>(i);
        Quick.fill(0);
        for (unsigned l = 1; l <= kQuick; ++l) {
            for (unsigned k = 0; k < count[l]; ++k) {
                const std::uint32_t c = (First[l] >> (16 - l)) + k;
                const std::uint32_t from = c << (kQuick - l), n = 1u << (kQuick - l);
                const std::uint16_t entry = static_cast<std::uint16_t>(Symbols[Offset[l] + k] << 4 | l);
                for (std::uint32_t j = 0; j < n; ++j) Quick[from + j] = entry;
            }
        }
        return true;
    }

    // The next symbol, or -1 for a code the table does not hold.
    int Decode(TBitInput& In) const {
        const std::uint32_t bits = In.Peek16();
        const std::uint16_t q = Quick[bits >> (16 - kQuick)];
        if (q) {
            In.Skip(q & 15u);
            return q >> 4;
        }
        for (unsigned l = kQuick + 1; l < 16; ++l) {
            if (bits < Limit[l]) {
                if (bits < First[l]) return -1;
                In.Skip(l);
                return Symbols[Offset[l] + ((bits - First[l]) >> (16 - l))];
            }
        }
        return -1;
    }

private:
    std::array<std::uint16_t, 1u << kQuick> Quick{}; // symbol << 4 | length, 0 = not short
    std::uint32_t First[16] = {}, Limit[16] = {};
    unsigned Offset[16] = {};
    std::vector<std::uint16_t> Symbols;
};

struct TAudio {
    int K[5] = {};
    int D1 = 0, D2 = 0, D3 = 0, D4 = 0;
    int LastDelta = 0;
    unsigned Dif[11] = {};
    unsigned ByteCount = 0;
    unsigned LastChar = 0;
};

class TDecoder20 final : public TDecoder {
public:
    TResult Unpack(TBitInput& In, TWindow& W, std::uint64_t Size, bool Solid, const TSink& Out) override;

private:
    bool ReadTables(TBitInput& In);
    std::uint8_t DecodeAudio(int Delta);
    void Copy(TWindow& W, unsigned Length, std::uint32_t Distance) {
        LastDist = OldDist[OldDistPtr++ & 3] = Distance;
        LastLength = Length;
        std::uint8_t* w = W.Data.data();
        std::size_t p = W.Pos;
        for (unsigned i = 0; i < Length; ++i) {
            w[p] = w[(p - Distance) & TWindow::kMask];
            p = (p + 1) & TWindow::kMask;
        }
        W.Pos = p;
        Made += Length;
        if (Filled < TWindow::kSize) Filled += Length;
    }

    THuff LD, DD, RD, MD[4];
    std::uint8_t OldTable[kMC * 4] = {};
    bool TablesRead = false, Audio = false;
    unsigned Channels = 1, CurChannel = 0;
    int ChannelDelta = 0;
    TAudio AudV[4];
    std::uint32_t OldDist[4] = {};
    unsigned OldDistPtr = 0;
    std::uint32_t LastDist = 0;
    unsigned LastLength = 0;
    std::uint64_t Made = 0; // bytes put into the window for this entry
    std::size_t Filled = 0; // bytes of the window a distance may reach back to
};

bool TDecoder20::ReadTables(TBitInput& In) {
    std::uint8_t bitLen[kBC];
    std::uint8_t table[kMC * 4];
    const std::uint32_t head = In.Peek16();
    Audio = (head & 0x8000) != 0;
    if (!(head & 0x4000)) std::memset(OldTable, 0, sizeof OldTable);
    In.Skip(2);
    unsigned size = kNC + kDC + kRC;
    if (Audio) {
        Channels = ((head >> 12) & 3) + 1;
        if (CurChannel >= Channels) CurChannel = 0;
        In.Skip(2);
        size = kMC * Channels;
    }
    for (unsigned i = 0; i < kBC; ++i) bitLen[i] = static_cast<std::uint8_t>(In.Bits(4));
    THuff bd;
    if (!bd.Build(bitLen, kBC)) return false;
    for (unsigned i = 0; i < size;) {
        if (In.Overrun()) return false;
        const int n = bd.Decode(In);
        if (n < 0) return false;
        if (n < 16) {
            table[i] = static_cast<std::uint8_t>((n + OldTable[i]) & 15);
            ++i;
        } else if (n == 16) {
            if (i == 0) return false;
            unsigned count = In.Bits(2) + 3;
            for (; count > 0 && i < size; --count, ++i) table[i] = table[i - 1];
        } else {
            unsigned count = n == 17 ? In.Bits(3) + 3 : In.Bits(7) + 11;
            for (; count > 0 && i < size; --count) table[i++] = 0;
        }
    }
    if (In.Overrun()) return false;
    if (Audio) {
        for (unsigned c = 0; c < Channels; ++c)
            if (!MD[c].Build(table + c * kMC, kMC)) return false;
    } else if (!LD.Build(table, kNC) || !DD.Build(table + kNC, kDC) || !RD.Build(table + kNC + kDC, kRC)) {
        return false;
    }
    std::memcpy(OldTable, table, size);
    TablesRead = true;
    return true;
}

std::uint8_t TDecoder20::DecodeAudio(int Delta) {
    TAudio& v = AudV[CurChannel];
    ++v.ByteCount;
    v.D4 = v.D3;
    v.D3 = v.D2;
    v.D2 = v.LastDelta - v.D1;
    v.D1 = v.LastDelta;
    const int predicted = 8 * static_cast<int>(v.LastChar) + v.K[0] * v.D1 + v.K[1] * v.D2 + v.K[2] * v.D3 +
                          v.K[3] * v.D4 + v.K[4] * ChannelDelta;
    const unsigned ch = static_cast<unsigned>((predicted >> 3) - Delta) & 0xFF;
    const int d = static_cast<int>(static_cast<std::int8_t>(static_cast<std::uint8_t>(Delta))) * 8;
    const int sides[5] = {v.D1, v.D2, v.D3, v.D4, ChannelDelta};
    v.Dif[0] += static_cast<unsigned>(std::abs(d));
    for (unsigned i = 0; i < 5; ++i) {
        v.Dif[1 + 2 * i] += static_cast<unsigned>(std::abs(d - sides[i]));
        v.Dif[2 + 2 * i] += static_cast<unsigned>(std::abs(d + sides[i]));
    }
    ChannelDelta = v.LastDelta = static_cast<std::int8_t>(static_cast<std::uint8_t>(ch - v.LastChar));
    v.LastChar = ch;
    if ((v.ByteCount & 0x1F) == 0) {
        unsigned minDif = v.Dif[0], best = 0;
        v.Dif[0] = 0;
        for (unsigned i = 1; i < 11; ++i) {
            if (v.Dif[i] < minDif) {
                minDif = v.Dif[i];
                best = i;
            }
            v.Dif[i] = 0;
        }
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

TResult TDecoder20::Unpack(TBitInput& In, TWindow& W, std::uint64_t Size, bool Solid, const TSink& Out) {
    if (!Solid) {
        TablesRead = Audio = false;
        Channels = 1;
        CurChannel = 0;
        ChannelDelta = 0;
        for (TAudio& a : AudV) a = TAudio{};
        std::memset(OldTable, 0, sizeof OldTable);
        std::memset(OldDist, 0, sizeof OldDist);
        OldDistPtr = 0;
        LastDist = 0;
        LastLength = 0;
        Filled = 0;
        W.Pos = 0;
    } else if (Filled == 0) {
        Filled = TWindow::kSize; // another decoder may have filled the window before us
    }
    Made = 0;
    TWindowOutput output(W, Out, Size);
    auto flush = [&]() { return output.Flush(Made); };
    constexpr std::uint64_t kFlushAt = 1 << 20;

    if (Size == 0) return TResult::Ok;
    if ((!Solid || !TablesRead) && !ReadTables(In)) return TResult::BadData;

    std::uint8_t* const w = W.Data.data();
    while (Made < Size) {
        if (In.Overrun()) return TResult::BadData;
        if (Made - output.Written() >= kFlushAt && !flush()) return TResult::WriteError;
        if (Audio) {
            const int n = MD[CurChannel].Decode(In);
            if (n < 0) return TResult::BadData;
            if (n == 256) {
                if (!ReadTables(In)) return TResult::BadData;
                continue;
            }
            w[W.Pos] = DecodeAudio(n);
            W.Pos = (W.Pos + 1) & TWindow::kMask;
            ++Made;
            if (Filled < TWindow::kSize) ++Filled;
            if (++CurChannel == Channels) CurChannel = 0;
            continue;
        }
        const int n = LD.Decode(In);
        if (n < 0) return TResult::BadData;
        if (n < 256) {
            w[W.Pos] = static_cast<std::uint8_t>(n);
            W.Pos = (W.Pos + 1) & TWindow::kMask;
            ++Made;
            if (Filled < TWindow::kSize) ++Filled;
            continue;
        }
        unsigned length;
        std::uint32_t distance;
        if (n > 269) {
            const unsigned l = static_cast<unsigned>(n - 270);
            length = kLDecode[l] + 3u + (kLBits[l] ? In.Bits(kLBits[l]) : 0u);
            const int dn = DD.Decode(In);
            if (dn < 0) return TResult::BadData;
            distance = kDDecode[static_cast<unsigned>(dn)] + 1;
            const unsigned db = kDBits[dn];
            if (db) distance += In.Bits(db);
            if (distance >= 0x2000) {
                ++length;
                if (distance >= 0x40000) ++length;
            }
        } else if (n == 269) {
            if (!ReadTables(In)) return TResult::BadData;
            continue;
        } else if (n == 256) {
            length = LastLength;
            distance = LastDist;
        } else if (n < 261) {
            distance = OldDist[(OldDistPtr - static_cast<unsigned>(n - 256)) & 3];
            const int ln = RD.Decode(In);
            if (ln < 0) return TResult::BadData;
            length = kLDecode[ln] + 2u + (kLBits[ln] ? In.Bits(kLBits[ln]) : 0u);
            if (distance >= 0x101) {
                ++length;
                if (distance >= 0x2000) {
                    ++length;
                    if (distance >= 0x40000) ++length;
                }
            }
        } else {
            const unsigned s = static_cast<unsigned>(n - 261);
            distance = kSDDecode[s] + 1u + In.Bits(kSDBits[s]);
            length = 2;
        }
        // A repeat before any match, or a distance before the entry's first byte, is no
        // stream a compressor writes.
        if (distance == 0 || distance > Filled || length == 0) return TResult::BadData;
        Copy(W, length, distance);
    }
    // The compressor may send the next solid entry's tables after this entry's last symbol.
    if (!In.Overrun() && In.Left() >= 5) {
        if (Audio) {
            if (MD[CurChannel].Decode(In) == 256) ReadTables(In);
        } else if (LD.Decode(In) == 269) {
            ReadTables(In);
        }
    }
    if (!flush()) return TResult::WriteError;
    return TResult::Ok;
}

} // namespace

std::unique_ptr<TDecoder> MakeDecoder20() {
    return std::make_unique<TDecoder20>();
}

} // namespace rar
