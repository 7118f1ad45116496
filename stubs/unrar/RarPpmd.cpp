#include "stubs/unrar/RarPpmd.h"

#include <new>

#include "stubs/unrar/RarPpmdModel.h"

namespace rar {
namespace ppmd {

TModel::TModel() {
    // Block sizes in units: 1..4 by one, to 12 by two, to 24 by three, then by four to 128.
    for (unsigned i = 0, k = 0; i < kIndexes; ++i) {
        unsigned step = i >= 12 ? 4 : (i >> 2) + 1;
        do Units2Indx[k++] = static_cast<std::uint8_t>(i);
        while (--step);
        Indx2Units[i] = static_cast<std::uint8_t>(k);
    }
    NS2BSIndx[0] = 0;
    NS2BSIndx[1] = 2;
    std::memset(NS2BSIndx + 2, 4, 9);
    std::memset(NS2BSIndx + 11, 6, 256 - 11);
    unsigned i = 0;
    for (; i < 3; ++i) NS2Indx[i] = static_cast<std::uint8_t>(i);
    for (unsigned m = i, k = 1, step = 1; i < 256; ++i) {
        NS2Indx[i] = static_cast<std::uint8_t>(m);
        if (--k == 0) {
            k = ++step;
            ++m;
        }
    }
    std::memset(HB2Flag, 0, 0x40);
    std::memset(HB2Flag + 0x40, 8, 0x100 - 0x40);
}

bool TModel::Start(unsigned Order, std::uint32_t MemSize) {
    // One spare unit above the heap: the free-block gluing looks one block past the last.
    const std::uint32_t bytes = HeapStart + MemSize + kUnit;
    Broken = true;
    if (bytes > MemBytes) {
        Mem.reset();
        MemBytes = 0;
        Mem.reset(static_cast<std::uint8_t*>(std::calloc(bytes, 1)));
        if (!Mem) return false;
        MemBytes = bytes;
    }
    Size = MemSize;
    HeapEnd = HeapStart + Size;
    MaxOrder = Order;
    EscCount = 1;
    DummySee.Shift = kPeriodBits;
    DummySee.Summ = 0;
    DummySee.Count = 64;
    Broken = false;
    RestartCount = 0;
    RestartModel();
    return !Broken;
}

// ---- sub-allocator ----

void TModel::InitAllocator() {
    std::memset(FreeList, 0, sizeof(FreeList));
    Text = HeapStart;
    // Seven eighths of the memory, in whole units, for contexts and states; the rest is text.
    const std::uint32_t units = Size / 8 / kUnit * 7 * kUnit;
    HiUnit = HeapStart + Size;
    LoUnit = UnitsStart = HiUnit - units;
    GlueCount = 0;
}

void TModel::GlueFreeBlocks() {
    // Every free block goes into one list (stamped as free, with its size), blocks that lie
    // back to back are merged, and the merged ones are cut into the list sizes again.
    // Block layout while here: Stamp(16) NU(16) Next(32) Prev(32).
    const std::uint32_t head = HeapEnd; // the spare unit
    Set16(head, 0);
    Set32(head + 4, head);
    Set32(head + 8, head);
    if (LoUnit != HiUnit) Mem[LoUnit] = 0;
    for (unsigned i = 0; i < kIndexes; ++i)
        while (FreeList[i]) {
            const std::uint32_t p = RemoveNode(i);
            const std::uint32_t first = Get32(head + 4);
            Set32(p + 4, first);
            Set32(p + 8, head);
            Set32(first + 8, p);
            Set32(head + 4, p);
            Set16(p, 0xFFFF);
            Set16(p + 2, Indx2Units[i]);
        }
    const auto unlink = [this](std::uint32_t p) {
        const std::uint32_t next = Get32(p + 4), prev = Get32(p + 8);
        Set32(prev + 4, next);
        Set32(next + 8, prev);
    };
    for (std::uint32_t p = Get32(head + 4); p != head; p = Get32(p + 4))
        for (;;) {
            const std::uint32_t p1 = p + Get16(p + 2) * kUnit;
            if (p1 > HeapEnd || Get16(p1) != 0xFFFF || Get16(p + 2) + Get16(p1 + 2) >= 0x10000) break;
            unlink(p1);
            Set16(p + 2, Get16(p + 2) + Get16(p1 + 2));
        }
    for (std::uint32_t p; (p = Get32(head + 4)) != head;) {
        unlink(p);
        unsigned sz = Get16(p + 2);
        for (; sz > 128; sz -= 128, p += 128 * kUnit) InsertNode(p, kIndexes - 1);
        unsigned i = Units2Indx[sz - 1];
        if (Indx2Units[i] != sz) {
            const unsigned k = sz - Indx2Units[--i];
            InsertNode(p + (sz - k) * kUnit, k - 1);
        }
        InsertNode(p, i);
    }
}

void TModel::SplitBlock(std::uint32_t P, unsigned OldIndx, unsigned NewIndx) {
    unsigned diff = Indx2Units[OldIndx] - Indx2Units[NewIndx];
    P += Indx2Units[NewIndx] * kUnit;
    unsigned i = Units2Indx[diff - 1];
    if (Indx2Units[i] != diff) {
        InsertNode(P, --i);
        P += Indx2Units[i] * kUnit;
        diff -= Indx2Units[i];
    }
    InsertNode(P, Units2Indx[diff - 1]);
}

std::uint32_t TModel::AllocUnitsRare(unsigned Indx) {
    if (GlueCount == 0) {
        GlueCount = 255;
        GlueFreeBlocks();
        if (FreeList[Indx]) return RemoveNode(Indx);
    }
    unsigned i = Indx;
    do {
        if (++i == kIndexes) {
            // No free block is big enough: take the units from the top of the text area.
            --GlueCount;
            const std::uint32_t bytes = Indx2Units[Indx] * kUnit;
            if (UnitsStart - Text > bytes) {
                UnitsStart -= bytes;
                return UnitsStart;
            }
            return 0;
        }
    } while (!FreeList[i]);
    const std::uint32_t r = RemoveNode(i);
    SplitBlock(r, i, Indx);
    return r;
}

std::uint32_t TModel::AllocUnits(unsigned NU) {
    const unsigned indx = Units2Indx[NU - 1];
    if (FreeList[indx]) return RemoveNode(indx);
    const std::uint32_t bytes = Indx2Units[indx] * kUnit;
    if (HiUnit - LoUnit >= bytes) {
        const std::uint32_t r = LoUnit;
        LoUnit += bytes;
        return r;
    }
    return AllocUnitsRare(indx);
}

std::uint32_t TModel::AllocContext() {
    if (HiUnit != LoUnit) return HiUnit -= kUnit;
    if (FreeList[0]) return RemoveNode(0);
    return AllocUnitsRare(0);
}

std::uint32_t TModel::ExpandUnits(std::uint32_t Old, unsigned OldNU) {
    const unsigned i0 = Units2Indx[OldNU - 1], i1 = Units2Indx[OldNU];
    if (i0 == i1) return Old;
    const std::uint32_t p = AllocUnits(OldNU + 1);
    if (p) {
        std::memmove(Mem.get() + p, Mem.get() + Old, OldNU * kUnit);
        InsertNode(Old, i0);
    }
    return p;
}

std::uint32_t TModel::ShrinkUnits(std::uint32_t Old, unsigned OldNU, unsigned NewNU) {
    const unsigned i0 = Units2Indx[OldNU - 1], i1 = Units2Indx[NewNU - 1];
    if (i0 == i1) return Old;
    if (FreeList[i1]) {
        const std::uint32_t p = RemoveNode(i1);
        std::memmove(Mem.get() + p, Mem.get() + Old, NewNU * kUnit);
        InsertNode(Old, i0);
        return p;
    }
    SplitBlock(Old, i0, i1);
    return Old;
}

// ---- model ----

void TModel::RestartModel() {
    std::memset(CharMask, 0, sizeof(CharMask));
    InitAllocator();
    InitRL = static_cast<std::uint32_t>(-static_cast<int>(MaxOrder < 12 ? MaxOrder : 12) - 1);
    MinContext = MaxContext = AllocContext();
    SetSuffix(MinContext, 0);
    OrderFall = MaxOrder;
    SetNumStats(MinContext, 256);
    SetSummFreq(MinContext, 257);
    FoundState = AllocUnits(256 / 2);
    if (!MinContext || !FoundState) {
        Broken = true;
        return;
    }
    SetStats(MinContext, FoundState);
    RunLength = InitRL;
    PrevSuccess = 0;
    for (unsigned i = 0; i < 256; ++i) Store(FoundState + 6 * i, {static_cast<std::uint8_t>(i), 1, 0});
    static constexpr std::uint16_t kInitBinEsc[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3,
                                                     0x64A1, 0x5ABC, 0x6632, 0x6051};
    for (unsigned i = 0; i < 128; ++i)
        for (unsigned k = 0; k < 8; ++k)
            for (unsigned m = 0; m < 64; m += 8)
                BinSumm[i][k + m] = static_cast<std::uint16_t>(kBinScale - kInitBinEsc[k] / (i + 2));
    for (unsigned i = 0; i < 25; ++i)
        for (unsigned k = 0; k < 16; ++k) See[i][k].Init(5 * i + 10);
}

void TModel::Rescale() {
    const std::uint32_t mc = MinContext, stats = Stats(mc);
    const unsigned oldNS = NumStats(mc);
    // The found state moves to the front; all frequencies are halved (kept above zero in
    // the shorter contexts), the order by frequency restored, and states left at zero dropped.
    std::uint32_t p = FoundState;
    for (; p != stats; p -= 6) Swap(p, p - 6);
    SetFreq(stats, Freq(stats) + 4);
    SetSummFreq(mc, SummFreq(mc) + 4);
    int escFreq = static_cast<int>(SummFreq(mc)) - static_cast<int>(Freq(p));
    const unsigned adder = OrderFall != 0;
    unsigned sum = (Freq(p) + adder) >> 1;
    SetFreq(p, sum);
    for (unsigned i = oldNS - 1; i; --i) {
        p += 6;
        escFreq -= static_cast<int>(Freq(p));
        const unsigned f = (Freq(p) + adder) >> 1;
        SetFreq(p, f);
        sum += f;
        if (f > Freq(p - 6)) {
            const TState tmp = Load(p);
            std::uint32_t p1 = p;
            do {
                Store(p1, Load(p1 - 6));
                p1 -= 6;
            } while (p1 != stats && tmp.Freq > Freq(p1 - 6));
            Store(p1, tmp);
        }
    }
    SetSummFreq(mc, sum);
    if (Freq(p) == 0) {
        unsigned zeros = 0;
        do {
            ++zeros;
            p -= 6;
        } while (Freq(p) == 0);
        escFreq += static_cast<int>(zeros);
        SetNumStats(mc, oldNS - zeros);
        if (oldNS - zeros == 1) {
            TState tmp = Load(stats);
            do {
                tmp.Freq = static_cast<std::uint8_t>(tmp.Freq - (tmp.Freq >> 1));
                escFreq >>= 1;
            } while (escFreq > 1);
            InsertNode(stats, Units2Indx[((oldNS + 1) >> 1) - 1]);
            FoundState = OneState(mc);
            Store(FoundState, tmp);
            return;
        }
    }
    escFreq -= escFreq >> 1;
    SetSummFreq(mc, SummFreq(mc) + static_cast<unsigned>(escFreq));
    const unsigned n0 = (oldNS + 1) >> 1, n1 = (NumStats(mc) + 1) >> 1;
    if (n0 != n1) SetStats(mc, ShrinkUnits(stats, n0, n1));
    FoundState = Stats(mc);
}

void TModel::Update1(std::uint32_t S) {
    FoundState = S;
    SetFreq(S, Freq(S) + 4);
    SetSummFreq(MinContext, SummFreq(MinContext) + 4);
    if (Freq(S) > Freq(S - 6)) {
        Swap(S, S - 6);
        FoundState = S - 6;
        if (Freq(S - 6) > kMaxFreq) Rescale();
    }
}

TSee* TModel::MakeEscFreq(unsigned Diff, unsigned& EscFreq) {
    const std::uint32_t mc = MinContext;
    const unsigned ns = NumStats(mc);
    if (ns == 256) {
        EscFreq = 1;
        return &DummySee;
    }
    const unsigned suffixNS = NumStats(Suffix(mc));
    TSee* see = &See[NS2Indx[Diff - 1]][(Diff + ns < suffixNS) + 2 * (SummFreq(mc) < 11 * ns) +
                                        4 * (NumMasked > Diff) + HiBitsFlag];
    EscFreq = see->Mean();
    return see;
}

// Gives the found state (and the states of its symbol in the shorter contexts up to where
// one already leads on) contexts of their own, one symbol longer, each holding the symbol
// that followed in the text. 0 when memory ran out (or the model is damaged: Broken).
std::uint32_t TModel::CreateSuccessors(bool Skip) {
    std::uint32_t c = MinContext;
    const std::uint32_t upBranch = Succ(FoundState);
    const unsigned symbol = Sym(FoundState);
    std::uint32_t ps[kMaxOrder + 1];
    unsigned n = 0;
    if (!Skip) ps[n++] = FoundState;
    const auto find = [this](std::uint32_t Ctx, unsigned Symbol) -> std::uint32_t {
        for (std::uint32_t s = Stats(Ctx), e = s + 6 * NumStats(Ctx); s < e; s += 6)
            if (Sym(s) == Symbol) return s;
        return 0;
    };
    while (Suffix(c)) {
        c = Suffix(c);
        if (!CtxOk(c)) return Broken = true, 0;
        const std::uint32_t s = NumStats(c) != 1 ? find(c, symbol) : OneState(c);
        if (!s) return Broken = true, 0;
        const std::uint32_t succ = Succ(s);
        if (succ != upBranch) {
            c = succ;
            if (!CtxOk(c)) return Broken = true, 0;
            break;
        }
        if (n > kMaxOrder) return Broken = true, 0;
        ps[n++] = s;
    }
    if (n == 0) return c;
    if (upBranch < HeapStart || upBranch >= UnitsStart) return Broken = true, 0;
    TState up{Mem[upBranch], 0, upBranch + 1};
    if (NumStats(c) != 1) {
        const std::uint32_t s = find(c, up.Symbol);
        if (!s) return Broken = true, 0;
        const unsigned cf = Freq(s) - 1;
        const unsigned s0 = SummFreq(c) - NumStats(c) - cf;
        if (2 * cf > s0 && s0 == 0) return Broken = true, 0;
        up.Freq =
            static_cast<std::uint8_t>(1 + (2 * cf <= s0 ? (5 * cf > s0) : (2 * cf + 3 * s0 - 1) / (2 * s0)));
    } else {
        up.Freq = static_cast<std::uint8_t>(Freq(OneState(c)));
    }
    do {
        const std::uint32_t c1 = AllocContext();
        if (!c1) return 0;
        SetNumStats(c1, 1);
        Store(OneState(c1), up);
        SetSuffix(c1, c);
        SetSucc(ps[--n], c1);
        c = c1;
    } while (n);
    return c;
}

void TModel::UpdateModel() {
    const TState fs = Load(FoundState);
    // The symbol gains in the next shorter context too.
    if (fs.Freq < kMaxFreq / 4 && Suffix(MinContext)) {
        const std::uint32_t c = Suffix(MinContext);
        if (!CtxOk(c)) {
            Broken = true;
            return;
        }
        if (NumStats(c) != 1) {
            std::uint32_t s = Stats(c);
            if (Sym(s) != fs.Symbol) {
                const std::uint32_t e = s + 6 * NumStats(c);
                do s += 6;
                while (s < e && Sym(s) != fs.Symbol);
                if (s >= e) {
                    Broken = true;
                    return;
                }
                if (Freq(s) >= Freq(s - 6)) {
                    Swap(s, s - 6);
                    s -= 6;
                }
            }
            if (Freq(s) < kMaxFreq - 9) {
                SetFreq(s, Freq(s) + 2);
                SetSummFreq(c, SummFreq(c) + 2);
            }
        } else {
            const std::uint32_t s = OneState(c);
            SetFreq(s, Freq(s) + (Freq(s) < 32));
        }
    }
    const auto restart = [this] {
        if (Broken) return;
        RestartModel();
        EscCount = 0;
        ++RestartCount;
    };
    if (OrderFall == 0) {
        const std::uint32_t c = CreateSuccessors(true);
        if (!c) return restart();
        MinContext = MaxContext = c;
        SetSucc(FoundState, c);
        return;
    }
    Mem[Text++] = fs.Symbol;
    std::uint32_t successor = Text;
    if (Text >= UnitsStart) return restart();
    std::uint32_t fsSuccessor = fs.Successor;
    if (fsSuccessor) {
        if (fsSuccessor <= Text) {
            fsSuccessor = CreateSuccessors(false);
            if (!fsSuccessor) return restart();
        }
        if (--OrderFall == 0) {
            successor = fsSuccessor;
            Text -= MaxContext != MinContext;
        }
    } else {
        SetSucc(FoundState, successor);
        fsSuccessor = MinContext;
    }
    // Every longer context escaped from on the way gets the symbol as a new state.
    const unsigned ns = NumStats(MinContext);
    const unsigned s0 = SummFreq(MinContext) - ns - (fs.Freq - 1u);
    for (std::uint32_t c = MaxContext; c != MinContext; c = Suffix(c)) {
        if (!CtxOk(c)) {
            Broken = true;
            return;
        }
        unsigned ns1 = NumStats(c);
        if (ns1 >= 256) {
            Broken = true;
            return;
        }
        if (ns1 != 1) {
            if ((ns1 & 1) == 0) {
                const std::uint32_t s = ExpandUnits(Stats(c), ns1 >> 1);
                if (!s) return restart();
                SetStats(c, s);
            }
            SetSummFreq(c, SummFreq(c) + (2 * ns1 < ns) + 2 * ((4 * ns1 <= ns) & (SummFreq(c) <= 8 * ns1)));
        } else {
            const std::uint32_t s = AllocUnits(1);
            if (!s) return restart();
            TState one = Load(OneState(c));
            SetStats(c, s);
            one.Freq = static_cast<std::uint8_t>(one.Freq < kMaxFreq / 4 - 1 ? one.Freq * 2 : kMaxFreq - 4);
            Store(s, one);
            SetSummFreq(c, one.Freq + InitEsc + (ns > 3));
        }
        unsigned cf = 2 * fs.Freq * (SummFreq(c) + 6);
        const unsigned sf = s0 + SummFreq(c);
        if (cf < 6 * sf) {
            cf = 1 + (cf > sf) + (cf >= 4 * sf);
            SetSummFreq(c, SummFreq(c) + 3);
        } else {
            cf = 4 + (cf >= 9 * sf) + (cf >= 12 * sf) + (cf >= 15 * sf);
            SetSummFreq(c, SummFreq(c) + cf);
        }
        Store(Stats(c) + 6 * ns1, {fs.Symbol, static_cast<std::uint8_t>(cf), successor});
        SetNumStats(c, ++ns1);
    }
    MaxContext = MinContext = fsSuccessor;
}

// The range decoder of RAR's PPM blocks: 32-bit, carry-less, normalised a byte at a time.
// Its state outlives one entry's input (a solid entry may go on with the block), so the
// input is handed in for each symbol.
struct TRangeDecoder {
    TBitInput* In = nullptr;
    std::uint32_t Low = 0, Value = 0, Range = 0xFFFFFFFF, Count = 0;

    void Init(TBitInput& I) {
        Low = Value = 0;
        Range = 0xFFFFFFFF;
        for (int i = 0; i < 4; ++i) Value = Value << 8 | I.Byte();
    }
    bool Begin(unsigned Total) {
        Range /= Total;
        if (Range == 0) return false;
        Count = (Value - Low) / Range;
        return Count < Total;
    }
    void BeginBin() {
        Range >>= kTotBits;
        Count = Range ? (Value - Low) / Range : 0xFFFFFFFF;
    }
    bool Is(unsigned HighCount, unsigned) const { return Count < HighCount; }
    bool Code(unsigned L, unsigned S) {
        Low += L * Range;
        Range *= S;
        while ((Low ^ (Low + Range)) < kTop || (Range < kBot && ((Range = (0u - Low) & (kBot - 1)), true))) {
            if (Range == 0) return false;
            Value = Value << 8 | In->Byte();
            Range <<= 8;
            Low <<= 8;
        }
        return Range != 0;
    }
};

} // namespace ppmd

struct TPpmd::TModel {
    ppmd::TModel Model;
    ppmd::TRangeDecoder Coder;
};

TPpmd::TPpmd() = default;
TPpmd::~TPpmd() = default;

bool TPpmd::Init(TBitInput& In, int& EscChar) {
    const unsigned flags = In.Byte();
    const bool reset = (flags & 0x20) != 0;
    unsigned maxMB = 0;
    if (reset)
        maxMB = In.Byte();
    else if (!M || !M->Model.Ready())
        return false;
    if (flags & 0x40) EscChar = In.Byte();
    if (!M) M.reset(new (std::nothrow) TModel);
    if (!M) return false;
    M->Coder.Init(In);
    if (reset) {
        unsigned order = (flags & 0x1F) + 1;
        if (order > 16) order = 16 + (order - 16) * 3;
        // At most 256 MiB, all a byte can ask for.
        if (order < 2 || !M->Model.Start(order, (maxMB + 1) << 20)) {
            M->Model.Stop();
            return false;
        }
    }
    if (In.Overrun()) {
        M->Model.Stop();
        return false;
    }
    return true;
}

int TPpmd::DecodeChar(TBitInput& In) {
    if (!M) return -1;
    M->Coder.In = &In;
    const int c = M->Model.Code(M->Coder);
    if (c >= 0 && !In.Overrun()) return c;
    M->Model.Stop();
    return -1;
}

} // namespace rar
