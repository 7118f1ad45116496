// The PPMd variant H model (order-N contexts with SEE, binary contexts and a restart when its
// memory runs out), shared by RAR's PPM decoder and the tests' encoder: both walk the same
// model and differ only in the range coder they hand to TModel::Code.
//
// The model lives in one byte buffer addressed by 32-bit offsets (0 = none), laid out as the
// format's memory accounting requires: a text area growing up from the start, 12-byte units
// (contexts and state arrays) above it, with the free-list sub-allocator of the original so
// that the model runs out of memory, and restarts, exactly where the writer's did. Offsets
// followed from the model are checked against the buffer, so a damaged stream stops with an
// error rather than wandering off.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace rar::ppmd {

constexpr unsigned kMaxOrder = 64;
constexpr unsigned kMaxFreq = 124;
constexpr unsigned kPeriodBits = 7, kTotBits = 14;
constexpr unsigned kInterval = 1u << 7, kBinScale = 1u << kTotBits;
constexpr unsigned kUnit = 12, kIndexes = 38;
constexpr std::uint32_t kTop = 1u << 24, kBot = 1u << 15;

// Secondary escape estimation: an adaptive escape frequency for one class of contexts.
struct TSee {
    std::uint16_t Summ = 0;
    std::uint8_t Shift = 0, Count = 0;
    void Init(unsigned Value) {
        Shift = kPeriodBits - 4;
        Summ = static_cast<std::uint16_t>(Value << Shift);
        Count = 4;
    }
    unsigned Mean() {
        const unsigned r = Summ >> Shift;
        Summ = static_cast<std::uint16_t>(Summ - r);
        return r + (r == 0);
    }
    void Update() {
        if (Shift < kPeriodBits && --Count == 0) {
            Summ = static_cast<std::uint16_t>(Summ * 2);
            Count = static_cast<std::uint8_t>(3u << Shift++);
        }
    }
};

// A state copied out of the model: symbol, frequency, successor.
struct TState {
    std::uint8_t Symbol = 0, Freq = 0;
    std::uint32_t Successor = 0;
};

// The range coder handed to TModel::Code provides:
//   bool Begin(unsigned Total)  - starts a symbol out of Total; false when the data are damaged
//   void BeginBin()             - starts a binary decision out of kBinScale
//   bool Is(unsigned HighCount, unsigned Symbol) - whether the coded symbol is this one, whose
//                                 interval ends at HighCount (the decoder compares counts, the
//                                 encoder symbols)
//   bool Code(unsigned Low, unsigned Size) - codes the interval; false on damage
class TModel {
public:
    TModel();
    // A fresh model of MaxOrder (2..64) in MemSize bytes of memory; false when the memory
    // cannot be had.
    bool Start(unsigned MaxOrder, std::uint32_t MemSize);
    bool Ready() const { return Mem != nullptr && !Broken; }
    // Marks the model unusable (a damaged stream) until started again.
    void Stop() { Broken = true; }
    // How often the model ran out of memory and started over since Start.
    unsigned Restarts() const { return RestartCount; }

    // Codes one symbol through Coder: the symbol found, or -1 when the data (or the model they
    // led to) are damaged, after which the model stays unusable until started again.
    template <class C> int Code(C& Coder);

private:
    // ---- memory ----
    struct TFree {
        void operator()(std::uint8_t* P) const { std::free(P); }
    };
    // Kept at the largest size asked for, so blocks switching sizes do not allocate anew.
    std::unique_ptr<std::uint8_t[], TFree> Mem;
    std::uint32_t MemBytes = 0; // what Mem holds
    std::uint32_t Size = 0;     // the model's memory as the stream gave it
    std::uint32_t HeapStart = 1, HeapEnd = 0;
    std::uint32_t Text = 0, UnitsStart = 0, LoUnit = 0, HiUnit = 0;
    std::uint32_t FreeList[kIndexes] = {};
    unsigned GlueCount = 0;
    std::uint8_t Indx2Units[kIndexes] = {}, Units2Indx[128] = {};

    std::uint16_t Get16(std::uint32_t Off) const {
        std::uint16_t v;
        std::memcpy(&v, Mem.get() + Off, 2);
        return v;
    }
    std::uint32_t Get32(std::uint32_t Off) const {
        std::uint32_t v;
        std::memcpy(&v, Mem.get() + Off, 4);
        return v;
    }
    void Set16(std::uint32_t Off, unsigned V) {
        const auto v = static_cast<std::uint16_t>(V);
        std::memcpy(Mem.get() + Off, &v, 2);
    }
    void Set32(std::uint32_t Off, std::uint32_t V) { std::memcpy(Mem.get() + Off, &V, 4); }

    // A context (12 bytes): NumStats, SummFreq, Stats, Suffix; with one state, the state
    // itself sits at offset 2 in place of SummFreq and Stats.
    unsigned NumStats(std::uint32_t C) const { return Get16(C); }
    void SetNumStats(std::uint32_t C, unsigned V) { Set16(C, V); }
    unsigned SummFreq(std::uint32_t C) const { return Get16(C + 2); }
    void SetSummFreq(std::uint32_t C, unsigned V) { Set16(C + 2, V); }
    std::uint32_t Stats(std::uint32_t C) const { return Get32(C + 4); }
    void SetStats(std::uint32_t C, std::uint32_t V) { Set32(C + 4, V); }
    std::uint32_t Suffix(std::uint32_t C) const { return Get32(C + 8); }
    void SetSuffix(std::uint32_t C, std::uint32_t V) { Set32(C + 8, V); }
    static std::uint32_t OneState(std::uint32_t C) { return C + 2; }

    // A state (6 bytes): Symbol, Freq, Successor.
    unsigned Sym(std::uint32_t S) const { return Mem[S]; }
    unsigned Freq(std::uint32_t S) const { return Mem[S + 1]; }
    void SetFreq(std::uint32_t S, unsigned V) { Mem[S + 1] = static_cast<std::uint8_t>(V); }
    std::uint32_t Succ(std::uint32_t S) const { return Get32(S + 2); }
    void SetSucc(std::uint32_t S, std::uint32_t V) { Set32(S + 2, V); }
    TState Load(std::uint32_t S) const { return {Mem[S], Mem[S + 1], Get32(S + 2)}; }
    void Store(std::uint32_t S, const TState& V) {
        Mem[S] = V.Symbol;
        Mem[S + 1] = V.Freq;
        Set32(S + 2, V.Successor);
    }
    void Swap(std::uint32_t A, std::uint32_t B) {
        const TState t = Load(A);
        Store(A, Load(B));
        Store(B, t);
    }

    // A context offset that can be followed: inside the units, with a sane state count and
    // its states inside the buffer.
    bool CtxOk(std::uint32_t C) const {
        if (C < UnitsStart || C > HeapEnd - kUnit) return false;
        const unsigned n = NumStats(C);
        if (n == 1) return true;
        if (n == 0 || n > 256) return false;
        const std::uint32_t s = Stats(C);
        return s >= UnitsStart && s <= HeapEnd && HeapEnd - s >= 6 * n;
    }

    void InsertNode(std::uint32_t P, unsigned Indx) {
        Set32(P, FreeList[Indx]);
        FreeList[Indx] = P;
    }
    std::uint32_t RemoveNode(unsigned Indx) {
        const std::uint32_t r = FreeList[Indx];
        FreeList[Indx] = Get32(r);
        return r;
    }
    void InitAllocator();
    void GlueFreeBlocks();
    void SplitBlock(std::uint32_t P, unsigned OldIndx, unsigned NewIndx);
    std::uint32_t AllocUnitsRare(unsigned Indx);
    std::uint32_t AllocUnits(unsigned NU);
    std::uint32_t AllocContext();
    std::uint32_t ExpandUnits(std::uint32_t Old, unsigned OldNU);
    std::uint32_t ShrinkUnits(std::uint32_t Old, unsigned OldNU, unsigned NewNU);

    // ---- model ----
    TSee See[25][16];
    TSee DummySee;
    std::uint16_t BinSumm[128][64] = {};
    std::uint8_t NS2Indx[256] = {}, NS2BSIndx[256] = {}, HB2Flag[256] = {};
    std::uint8_t CharMask[256] = {};
    std::uint32_t MinContext = 0, MaxContext = 0, FoundState = 0;
    unsigned NumMasked = 0, InitEsc = 0, OrderFall = 0, MaxOrder = 0, HiBitsFlag = 0;
    unsigned PrevSuccess = 0;
    std::uint32_t RunLength = 0, InitRL = 0; // signed in meaning: the sign bit is read
    std::uint8_t EscCount = 0;
    bool Broken = true;
    unsigned RestartCount = 0;

    void RestartModel();
    void ClearMask() {
        EscCount = 1;
        std::memset(CharMask, 0, sizeof(CharMask));
    }
    void Rescale();
    void Update1(std::uint32_t S);
    std::uint32_t CreateSuccessors(bool Skip);
    void UpdateModel();
    TSee* MakeEscFreq(unsigned Diff, unsigned& EscFreq);
    int Fail() {
        Broken = true;
        return -1;
    }
};

template <class C> int TModel::Code(C& Coder) {
    if (Broken) return -1;
    std::uint32_t mc = MinContext;
    if (!CtxOk(mc) || !FoundState) return Fail();
    const unsigned ns = NumStats(mc);
    if (ns != 1) {
        std::uint32_t s = Stats(mc);
        const unsigned total = SummFreq(mc);
        if (total == 0 || !Coder.Begin(total)) return Fail();
        unsigned hi = Freq(s);
        if (Coder.Is(hi, Sym(s))) {
            if (!Coder.Code(0, hi)) return Fail();
            PrevSuccess = 2 * hi > total;
            RunLength += PrevSuccess;
            FoundState = s;
            SetFreq(s, hi + 4);
            SetSummFreq(mc, total + 4);
            if (hi + 4 > kMaxFreq) Rescale();
        } else {
            PrevSuccess = 0;
            bool found = false;
            for (unsigned i = 1; i < ns; ++i) {
                s += 6;
                hi += Freq(s);
                if (Coder.Is(hi, Sym(s))) {
                    if (!Coder.Code(hi - Freq(s), Freq(s))) return Fail();
                    Update1(s);
                    found = true;
                    break;
                }
            }
            if (!found) {
                if (hi >= total) return Fail();
                HiBitsFlag = HB2Flag[Sym(FoundState)];
                if (!Coder.Code(hi, total - hi)) return Fail();
                for (std::uint32_t m = Stats(mc), e = m + 6 * ns; m < e; m += 6) CharMask[Sym(m)] = EscCount;
                NumMasked = ns;
                FoundState = 0;
            }
        }
    } else {
        const std::uint32_t one = OneState(mc);
        const std::uint32_t suffix = Suffix(mc);
        if (!CtxOk(suffix) || Freq(one) == 0 || Freq(one) > 128) return Fail();
        HiBitsFlag = HB2Flag[Sym(FoundState)];
        std::uint16_t& bs =
            BinSumm[Freq(one) - 1][PrevSuccess + NS2BSIndx[NumStats(suffix) - 1] + HiBitsFlag +
                                   2 * HB2Flag[Sym(one)] + ((RunLength >> 26) & 0x20)];
        Coder.BeginBin();
        const unsigned mean = (bs + (1u << (kPeriodBits - 2))) >> kPeriodBits;
        if (Coder.Is(bs, Sym(one))) {
            if (!Coder.Code(0, bs)) return Fail();
            FoundState = one;
            SetFreq(one, Freq(one) + (Freq(one) < 128));
            bs = static_cast<std::uint16_t>(bs + kInterval - mean);
            PrevSuccess = 1;
            ++RunLength;
        } else {
            if (!Coder.Code(bs, kBinScale - bs)) return Fail();
            bs = static_cast<std::uint16_t>(bs - mean);
            static constexpr std::uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};
            InitEsc = kExpEscape[bs >> 10];
            NumMasked = 1;
            CharMask[Sym(one)] = EscCount;
            PrevSuccess = 0;
            FoundState = 0;
        }
    }
    while (!FoundState) {
        // Escape to shorter contexts until one has symbols not yet excluded.
        do {
            ++OrderFall;
            mc = Suffix(mc);
            if (!CtxOk(mc)) return Fail();
        } while (NumStats(mc) == NumMasked);
        MinContext = mc;
        const unsigned n = NumStats(mc);
        if (n < NumMasked) return Fail();
        unsigned escFreq;
        TSee* see = MakeEscFreq(n - NumMasked, escFreq);
        std::uint32_t list[256];
        unsigned count = 0, hiCnt = 0;
        for (std::uint32_t s = Stats(mc), e = s + 6 * n; count < n - NumMasked; s += 6) {
            if (s >= e) return Fail();
            if (CharMask[Sym(s)] == EscCount) continue;
            hiCnt += Freq(s);
            list[count++] = s;
        }
        const unsigned total = escFreq + hiCnt;
        if (!Coder.Begin(total)) return Fail();
        unsigned cum = 0;
        for (unsigned i = 0; i < count; ++i) {
            const std::uint32_t s = list[i];
            cum += Freq(s);
            if (Coder.Is(cum, Sym(s))) {
                if (!Coder.Code(cum - Freq(s), Freq(s))) return Fail();
                see->Update();
                FoundState = s;
                SetFreq(s, Freq(s) + 4);
                SetSummFreq(mc, SummFreq(mc) + 4);
                if (Freq(s) > kMaxFreq) Rescale();
                ++EscCount;
                RunLength = InitRL;
                break;
            }
        }
        if (!FoundState) {
            if (!Coder.Code(hiCnt, total - hiCnt)) return Fail();
            for (unsigned i = 0; i < count; ++i) CharMask[Sym(list[i])] = EscCount;
            see->Summ = static_cast<std::uint16_t>(see->Summ + total);
            NumMasked = n;
        }
    }
    const int symbol = static_cast<int>(Sym(FoundState));
    const std::uint32_t next = Succ(FoundState);
    if (OrderFall == 0 && next > Text) {
        MinContext = MaxContext = next;
    } else {
        UpdateModel();
        if (Broken) return -1;
        if (EscCount == 0) ClearMask();
    }
    return symbol;
}

} // namespace rar::ppmd
