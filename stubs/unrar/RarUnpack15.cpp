// RAR 1.5 compression (unpacking version 15): an adaptive LZ77 with no tables in the stream.
// A flags byte, itself coded adaptively, says for the next symbols whether each is a literal,
// a short match or a long match; literals and distances are coded as places in permutation
// lists that move used values forward, through one of a few fixed prefix codes chosen by
// running averages. After a long run of literals the stream switches to a literal-only mode
// with an escape for short matches.
#include <cstring>

#include "stubs/unrar/RarUnpack.h"

namespace rar {
namespace {

// The fixed prefix codes: a code of Start+I bits covers the 16-bit values from Dec[I-1] (0
// for I = 0) below Dec[I]; Pos[bits] is the first value of that length.
struct TFixedCode {
    unsigned Start;
    const unsigned* Dec;
    const unsigned* Pos;
};
constexpr unsigned kDecL1[] = {0x8000, 0xa000, 0xc000, 0xd000, 0xe000, 0xea00,
                               0xee00, 0xf000, 0xf200, 0xf200, 0xffff};
constexpr unsigned kPosL1[] = {0, 0, 0, 2, 3, 5, 7, 11, 16, 20, 24, 32, 32};
constexpr unsigned kDecL2[] = {0xa000, 0xc000, 0xd000, 0xe000, 0xea00,
                               0xee00, 0xf000, 0xf200, 0xf240, 0xffff};
constexpr unsigned kPosL2[] = {0, 0, 0, 0, 5, 7, 9, 13, 18, 22, 26, 34, 36};
constexpr unsigned kDecHf0[] = {0x8000, 0xc000, 0xe000, 0xf200, 0xf200, 0xf200, 0xf200, 0xf200, 0xffff};
constexpr unsigned kPosHf0[] = {0, 0, 0, 0, 0, 8, 16, 24, 33, 33, 33, 33, 33};
constexpr unsigned kDecHf1[] = {0x2000, 0xc000, 0xe000, 0xf000, 0xf200, 0xf200, 0xf7e0, 0xffff};
constexpr unsigned kPosHf1[] = {0, 0, 0, 0, 0, 0, 4, 44, 60, 76, 80, 80, 127};
constexpr unsigned kDecHf2[] = {0x1000, 0x2400, 0x8000, 0xc000, 0xfa00, 0xffff, 0xffff, 0xffff};
constexpr unsigned kPosHf2[] = {0, 0, 0, 0, 0, 0, 2, 7, 53, 117, 233, 0, 0};
constexpr unsigned kDecHf3[] = {0x800, 0x2400, 0xee00, 0xfe80, 0xffff, 0xffff, 0xffff};
constexpr unsigned kPosHf3[] = {0, 0, 0, 0, 0, 0, 0, 2, 16, 218, 251, 0, 0};
constexpr unsigned kDecHf4[] = {0xff00, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff};
constexpr unsigned kPosHf4[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0};

constexpr TFixedCode kL1{2, kDecL1, kPosL1}, kL2{3, kDecL2, kPosL2}, kHf0{4, kDecHf0, kPosHf0},
    kHf1{5, kDecHf1, kPosHf1}, kHf2{5, kDecHf2, kPosHf2}, kHf3{6, kDecHf3, kPosHf3},
    kHf4{8, kDecHf4, kPosHf4};

// The short match codes, 8 bits looked at, first match wins: lengths and patterns for short
// average lengths and for long ones. The length of entry 1 (table 1) or 3 (table 2) is
// switched between 3 and 4 by the stream.
constexpr unsigned kShortLen1[] = {1, 3, 4, 4, 5, 6, 7, 8, 8, 4, 4, 5, 6, 6, 4};
constexpr unsigned kShortXor1[] = {0,    0xa0, 0xd0, 0xe0, 0xf0, 0xf8, 0xfc, 0xfe,
                                   0xff, 0xc0, 0x80, 0x90, 0x98, 0x9c, 0xb0};
constexpr unsigned kShortLen2[] = {2, 3, 3, 3, 4, 4, 5, 6, 6, 4, 4, 5, 6, 6, 4};
constexpr unsigned kShortXor2[] = {0,    0x40, 0x60, 0xa0, 0xd0, 0xe0, 0xf0, 0xf8,
                                   0xfc, 0xc0, 0x80, 0x90, 0x98, 0x9c, 0xb0};

unsigned DecodeNum(TBitInput& In, const TFixedCode& C) {
    const unsigned num = In.Peek16() & 0xfff0;
    unsigned i = 0, bits = C.Start;
    while (C.Dec[i] <= num) {
        ++i;
        ++bits;
    }
    In.Skip(bits);
    return ((num - (i ? C.Dec[i - 1] : 0)) >> (16 - bits)) + C.Pos[bits];
}

class TDecoder15 final : public TDecoder {
public:
    TResult Unpack(TBitInput& In, TWindow& W, std::uint64_t Size, bool Solid, const TSink& Out) override;

private:
    void InitHuff();
    static void CorrHuff(std::uint16_t* CharSet, std::uint8_t* NumToPlace);
    bool GetFlags(TBitInput& In);
    bool ShortLZ(TBitInput& In, TWindow& W);
    bool LongLZ(TBitInput& In, TWindow& W);
    bool HuffDecode(TBitInput& In, TWindow& W);
    bool Copy(TWindow& W, std::uint32_t Distance, unsigned Length) {
        if (Distance == 0 || Distance > Filled) return false;
        std::uint8_t* w = W.Data.data();
        std::size_t p = W.Pos;
        for (unsigned i = 0; i < Length; ++i) {
            w[p] = w[(p - Distance) & TWindow::kMask];
            p = (p + 1) & TWindow::kMask;
        }
        W.Pos = p;
        Made += Length;
        if (Filled < TWindow::kSize) Filled += Length;
        return true;
    }

    std::uint16_t ChSet[256] = {}, ChSetA[256] = {}, ChSetB[256] = {}, ChSetC[256] = {};
    std::uint8_t NToPl[256] = {}, NToPlB[256] = {}, NToPlC[256] = {};
    unsigned AvrPlc = 0, AvrPlcB = 0, AvrLn1 = 0, AvrLn2 = 0, AvrLn3 = 0;
    unsigned NumHuf = 0, Nhfb = 0, Nlzb = 0, MaxDist3 = 0, Buf60 = 0;
    unsigned FlagBuf = 0, LCount = 0;
    int FlagsCnt = 0;
    bool StMode = false;
    std::uint32_t OldDist[4] = {};
    unsigned OldDistPtr = 0;
    std::uint32_t LastDist = 0;
    unsigned LastLength = 0;
    std::uint64_t Made = 0;
    std::size_t Filled = 0;
    bool Started = false;
};

void TDecoder15::CorrHuff(std::uint16_t* CharSet, std::uint8_t* NumToPlace) {
    for (int i = 7; i >= 0; --i)
        for (unsigned j = 0; j < 32; ++j, ++CharSet)
            *CharSet = static_cast<std::uint16_t>((*CharSet & ~0xffu) | static_cast<unsigned>(i));
    std::memset(NumToPlace, 0, 256);
    for (int i = 6; i >= 0; --i) NumToPlace[i] = static_cast<std::uint8_t>((7 - i) * 32);
}

void TDecoder15::InitHuff() {
    for (unsigned i = 0; i < 256; ++i) {
        ChSet[i] = ChSetB[i] = static_cast<std::uint16_t>(i << 8);
        ChSetA[i] = static_cast<std::uint16_t>(i);
        ChSetC[i] = static_cast<std::uint16_t>(((~i + 1) & 0xff) << 8);
    }
    std::memset(NToPl, 0, sizeof NToPl);
    std::memset(NToPlB, 0, sizeof NToPlB);
    std::memset(NToPlC, 0, sizeof NToPlC);
    CorrHuff(ChSetB, NToPlB);
}

bool TDecoder15::GetFlags(TBitInput& In) {
    const unsigned place = DecodeNum(In, kHf2);
    if (place >= 256) return false;
    unsigned flags, newPlace;
    for (;;) {
        flags = ChSetC[place];
        FlagBuf = flags >> 8;
        newPlace = NToPlC[flags++ & 0xff]++;
        if ((flags & 0xff) != 0) break;
        CorrHuff(ChSetC, NToPlC);
    }
    ChSetC[place] = ChSetC[newPlace];
    ChSetC[newPlace] = static_cast<std::uint16_t>(flags);
    return true;
}

bool TDecoder15::ShortLZ(TBitInput& In, TWindow& W) {
    NumHuf = 0;
    unsigned bits = In.Peek16();
    if (LCount == 2) {
        In.Skip(1);
        if (bits >= 0x8000) return Copy(W, LastDist, LastLength);
        bits <<= 1;
        LCount = 0;
    }
    bits = (bits >> 8) & 0xff;
    const bool second = AvrLn1 >= 37;
    const unsigned* lens = second ? kShortLen2 : kShortLen1;
    const unsigned* xors = second ? kShortXor2 : kShortXor1;
    const unsigned variable = second ? 3 : 1;
    unsigned length = 0, codeLen = 0;
    for (;; ++length) {
        if (length == 15) return false;
        codeLen = length == variable ? Buf60 + 3 : lens[length];
        if (((bits ^ xors[length]) & (~(0xffu >> codeLen) & 0xff)) == 0) break;
    }
    In.Skip(codeLen);

    if (length >= 9) {
        if (length == 9) {
            ++LCount;
            return Copy(W, LastDist, LastLength);
        }
        if (length == 14) {
            LCount = 0;
            const unsigned len = DecodeNum(In, kL2) + 5;
            const std::uint32_t distance = (In.Peek16() >> 1) | 0x8000;
            In.Skip(15);
            LastLength = len;
            LastDist = distance;
            return Copy(W, distance, len);
        }
        LCount = 0;
        const std::uint32_t distance = OldDist[(OldDistPtr - (length - 9)) & 3];
        unsigned len = DecodeNum(In, kL1) + 2;
        if (len == 0x101 && length == 10) {
            Buf60 ^= 1;
            return true;
        }
        if (distance > 256) ++len;
        if (distance >= MaxDist3) ++len;
        OldDist[OldDistPtr++] = distance;
        OldDistPtr &= 3;
        LastLength = len;
        LastDist = distance;
        return Copy(W, distance, len);
    }

    LCount = 0;
    AvrLn1 += length;
    AvrLn1 -= AvrLn1 >> 4;
    const unsigned place = DecodeNum(In, kHf2) & 0xff;
    std::uint32_t distance = ChSetA[place];
    if (place > 0) {
        ChSetA[place] = ChSetA[place - 1];
        ChSetA[place - 1] = static_cast<std::uint16_t>(distance);
    }
    length += 2;
    OldDist[OldDistPtr++] = ++distance;
    OldDistPtr &= 3;
    LastLength = length;
    LastDist = distance;
    return Copy(W, distance, length);
}

bool TDecoder15::LongLZ(TBitInput& In, TWindow& W) {
    NumHuf = 0;
    Nlzb += 16;
    if (Nlzb > 0xff) {
        Nlzb = 0x90;
        Nhfb >>= 1;
    }
    const unsigned oldAvr2 = AvrLn2;
    unsigned length;
    if (AvrLn2 >= 122) {
        length = DecodeNum(In, kL2);
    } else if (AvrLn2 >= 64) {
        length = DecodeNum(In, kL1);
    } else {
        const unsigned bits = In.Peek16();
        if (bits < 0x100) {
            length = bits;
            In.Skip(16);
        } else {
            for (length = 0; ((bits << length) & 0x8000) == 0; ++length) {
            }
            In.Skip(length + 1);
        }
    }
    AvrLn2 += length;
    AvrLn2 -= AvrLn2 >> 5;

    unsigned place;
    if (AvrPlcB > 0x28ff)
        place = DecodeNum(In, kHf2);
    else if (AvrPlcB > 0x6ff)
        place = DecodeNum(In, kHf1);
    else
        place = DecodeNum(In, kHf0);
    AvrPlcB += place;
    AvrPlcB -= AvrPlcB >> 8;
    unsigned distance, newPlace;
    for (;;) {
        distance = ChSetB[place & 0xff];
        newPlace = NToPlB[distance++ & 0xff]++;
        if (distance & 0xff) break;
        CorrHuff(ChSetB, NToPlB);
    }
    ChSetB[place & 0xff] = ChSetB[newPlace];
    ChSetB[newPlace] = static_cast<std::uint16_t>(distance);

    distance = ((distance & 0xff00) | (In.Peek16() >> 8)) >> 1;
    In.Skip(7);

    const unsigned oldAvr3 = AvrLn3;
    if (length != 1 && length != 4) {
        if (length == 0 && distance <= MaxDist3) {
            ++AvrLn3;
            AvrLn3 -= AvrLn3 >> 8;
        } else if (AvrLn3 > 0) {
            --AvrLn3;
        }
    }
    length += 3;
    if (distance >= MaxDist3) ++length;
    if (distance <= 256) length += 8;
    MaxDist3 = (oldAvr3 > 0xb0 || (AvrPlc >= 0x2a00 && oldAvr2 < 0x40)) ? 0x7f00 : 0x2001;
    OldDist[OldDistPtr++] = distance;
    OldDistPtr &= 3;
    LastLength = length;
    LastDist = distance;
    return Copy(W, distance, length);
}

bool TDecoder15::HuffDecode(TBitInput& In, TWindow& W) {
    const unsigned bits = In.Peek16();
    unsigned place;
    if (AvrPlc > 0x75ff)
        place = DecodeNum(In, kHf4);
    else if (AvrPlc > 0x5dff)
        place = DecodeNum(In, kHf3);
    else if (AvrPlc > 0x35ff)
        place = DecodeNum(In, kHf2);
    else if (AvrPlc > 0x0dff)
        place = DecodeNum(In, kHf1);
    else
        place = DecodeNum(In, kHf0);
    place &= 0xff;
    if (StMode) {
        if (place == 0 && bits > 0xfff) place = 0x100;
        if (place == 0) {
            // The escape: leave this mode, or a match of 3 or 4 bytes.
            const unsigned more = In.Peek16();
            In.Skip(1);
            if (more & 0x8000) {
                NumHuf = 0;
                StMode = false;
                return true;
            }
            const unsigned length = (more & 0x4000) ? 4 : 3;
            In.Skip(1);
            std::uint32_t distance = DecodeNum(In, kHf2);
            distance = (distance << 5) | (In.Peek16() >> 11);
            In.Skip(5);
            return Copy(W, distance, length);
        }
        --place;
    } else if (NumHuf++ >= 16 && FlagsCnt == 0) {
        StMode = true;
    }
    AvrPlc += place;
    AvrPlc -= AvrPlc >> 8;
    Nhfb += 16;
    if (Nhfb > 0xff) {
        Nhfb = 0x90;
        Nlzb >>= 1;
    }
    W.Data[W.Pos] = static_cast<std::uint8_t>(ChSet[place] >> 8);
    W.Pos = (W.Pos + 1) & TWindow::kMask;
    ++Made;
    if (Filled < TWindow::kSize) ++Filled;

    unsigned cur, newPlace;
    for (;;) {
        cur = ChSet[place];
        newPlace = NToPl[cur++ & 0xff]++;
        if ((cur & 0xff) > 0xa1)
            CorrHuff(ChSet, NToPl);
        else
            break;
    }
    ChSet[place] = ChSet[newPlace];
    ChSet[newPlace] = static_cast<std::uint16_t>(cur);
    return true;
}

TResult TDecoder15::Unpack(TBitInput& In, TWindow& W, std::uint64_t Size, bool Solid, const TSink& Out) {
    if (!Solid || !Started) {
        InitHuff();
        AvrPlcB = AvrLn1 = AvrLn2 = AvrLn3 = NumHuf = Buf60 = 0;
        AvrPlc = 0x3500;
        MaxDist3 = 0x2001;
        Nhfb = Nlzb = 0x80;
        std::memset(OldDist, 0, sizeof OldDist);
        OldDistPtr = 0;
        LastDist = 0;
        LastLength = 0;
        if (!Solid) {
            Filled = 0;
            W.Pos = 0;
        } else {
            Filled = TWindow::kSize; // another decoder filled the window before us
        }
        Started = true;
    }
    FlagsCnt = 0;
    FlagBuf = 0;
    StMode = false;
    LCount = 0;
    Made = 0;
    TWindowOutput output(W, Out, Size);
    auto flush = [&]() { return output.Flush(Made); };
    constexpr std::uint64_t kFlushAt = 1 << 20;

    if (Size == 0) return TResult::Ok;
    if (!GetFlags(In)) return TResult::BadData;
    FlagsCnt = 8;
    while (Made < Size) {
        if (In.Overrun()) return TResult::BadData;
        if (Made - output.Written() >= kFlushAt && !flush()) return TResult::WriteError;
        bool ok;
        if (StMode) {
            ok = HuffDecode(In, W);
        } else {
            if (--FlagsCnt < 0) {
                if (!GetFlags(In)) return TResult::BadData;
                FlagsCnt = 7;
            }
            if (FlagBuf & 0x80) {
                FlagBuf = (FlagBuf << 1) & 0xff;
                ok = Nlzb > Nhfb ? LongLZ(In, W) : HuffDecode(In, W);
            } else {
                FlagBuf = (FlagBuf << 1) & 0xff;
                if (--FlagsCnt < 0) {
                    if (!GetFlags(In)) return TResult::BadData;
                    FlagsCnt = 7;
                }
                if (FlagBuf & 0x80) {
                    FlagBuf = (FlagBuf << 1) & 0xff;
                    ok = Nlzb > Nhfb ? HuffDecode(In, W) : LongLZ(In, W);
                } else {
                    FlagBuf = (FlagBuf << 1) & 0xff;
                    ok = ShortLZ(In, W);
                }
            }
        }
        if (!ok) return TResult::BadData;
    }
    if (!flush()) return TResult::WriteError;
    return TResult::Ok;
}

} // namespace

std::unique_ptr<TDecoder> MakeDecoder15() {
    return std::make_unique<TDecoder15>();
}

} // namespace rar
