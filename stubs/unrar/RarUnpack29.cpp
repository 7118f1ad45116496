// RAR 2.9/3.x compression: LZ77 over a 4 MiB window with five Huffman tables, PPMd blocks
// mixed in, and filters (x86 calls, deltas, images, audio) applied to blocks of the output.
#include <algorithm>
#include <cstring>
#include <vector>

#include "stubs/unrar/RarFilters.h"
#include "stubs/unrar/RarPpmd.h"
#include "stubs/unrar/RarUnpack.h"

namespace rar {

namespace {

// Table sizes: main (256 literals, end of block, filter, repeat, 4 old distances, 8 short
// distances, 28 lengths), distance slots, low distance bits (16 + repeat), lengths of
// old-distance matches; and the code that codes their bit lengths.
constexpr unsigned kNC = 299, kDC = 60, kLDC = 17, kRC = 28, kBC = 20;
constexpr unsigned kTableSize = kNC + kDC + kLDC + kRC;

// Length slots: base and extra bits.
constexpr std::uint8_t kLBase[kRC] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  10,  12,  14,  16,  20,
                                      24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
constexpr std::uint8_t kLBits[kRC] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                      2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
// Short distances of length-2 matches.
constexpr std::uint8_t kSDBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
constexpr std::uint8_t kSDBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

// Distance slots: 4 of 0 extra bits, two each of 1..15 bits, 14 of 16 and 12 of 18, which
// together span exactly the 4 MiB window.
struct TDistSlots {
    std::uint32_t Base[kDC];
    std::uint8_t Bits[kDC];
};
constexpr TDistSlots MakeDistSlots() {
    TDistSlots s{};
    constexpr std::uint8_t kCounts[] = {4, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 14, 0, 12};
    std::uint32_t base = 0;
    unsigned slot = 0;
    for (unsigned bits = 0; bits < sizeof kCounts; ++bits)
        for (unsigned j = 0; j < kCounts[bits]; ++j, ++slot, base += 1u << bits) {
            s.Base[slot] = base;
            s.Bits[slot] = static_cast<std::uint8_t>(bits);
        }
    return s;
}
constexpr TDistSlots kDist = MakeDistSlots();
static_assert(kDist.Base[kDC - 1] + (1u << kDist.Bits[kDC - 1]) == TWindow::kSize);

// A canonical Huffman code of up to 15-bit codes: a 10-bit lookup for the short codes, a
// walk over the left-aligned limits of each length for the rest. Codes the lengths leave
// unassigned decode as the first symbol, so damaged tables never index outside.
class THuffman {
public:
    void Build(const std::uint8_t* Lengths, unsigned N) {
        unsigned count[16] = {};
        for (unsigned i = 0; i < N; ++i) ++count[Lengths[i] & 15];
        count[0] = 0;
        std::uint32_t upper = 0;
        Limit[0] = 0;
        First[0] = 0;
        for (unsigned len = 1; len < 16; ++len) {
            upper += count[len];
            Limit[len] = upper << (16 - len);
            upper *= 2;
            First[len] = First[len - 1] + count[len - 1];
        }
        std::uint32_t next[16];
        std::memcpy(next, First, sizeof next);
        std::memset(Symbols, 0, sizeof Symbols);
        for (unsigned i = 0; i < N; ++i)
            if (const unsigned len = Lengths[i] & 15) Symbols[next[len]++] = static_cast<std::uint16_t>(i);
        Count = N;
        for (std::uint32_t code = 0; code < (1u << kQuick); ++code) {
            const std::uint32_t field = code << (16 - kQuick);
            unsigned len = 1;
            while (len < kQuick && field >= Limit[len]) ++len;
            QuickLen[code] = static_cast<std::uint8_t>(len);
            // Unassigned short codes decode as symbol 0, longer ones as the first symbol.
            QuickSym[code] = Lookup(field, len, 0);
        }
    }

    unsigned Decode(TBitInput& In) const {
        const std::uint32_t field = In.Peek16() & 0xFFFE;
        if (field < Limit[kQuick]) {
            const std::uint32_t code = field >> (16 - kQuick);
            In.Skip(QuickLen[code]);
            return QuickSym[code];
        }
        unsigned len = kQuick + 1;
        while (len < 15 && field >= Limit[len]) ++len;
        In.Skip(len);
        return Lookup(field, len, Symbols[0]);
    }

private:
    static constexpr unsigned kQuick = 10;

    std::uint16_t Lookup(std::uint32_t Field, unsigned Len, std::uint16_t Unassigned) const {
        const std::uint64_t pos = First[Len] + std::uint64_t{Field - Limit[Len - 1]} / (1u << (16 - Len));
        return pos < Count ? Symbols[pos] : Unassigned;
    }

    std::uint32_t Limit[16] = {}; // codes of length L are those below Limit[L] (left-aligned)
    std::uint32_t First[16] = {}; // index in Symbols of the first code of each length
    std::uint16_t Symbols[kNC] = {};
    unsigned Count = 0;
    std::uint8_t QuickLen[1 << kQuick] = {};
    std::uint16_t QuickSym[1 << kQuick] = {};
};

// Bits of a filter record, high bit first, zeros past its end.
class TRecordBits {
public:
    explicit TRecordBits(const std::vector<std::uint8_t>& Data) : D(Data) {}
    std::uint32_t Peek16() const {
        const std::size_t p = Bit >> 3;
        const std::uint32_t v = std::uint32_t{At(p)} << 16 | std::uint32_t{At(p + 1)} << 8 | At(p + 2);
        return (v >> (8 - (Bit & 7))) & 0xFFFF;
    }
    std::uint32_t Bits(unsigned Count) {
        const std::uint32_t v = Peek16() >> (16 - Count);
        Bit += Count;
        return v;
    }
    std::size_t BytePos() const { return Bit >> 3; }
    // A number in 4, 8, 16 or 32 bits after a 2-bit selector; the 8-bit form with its
    // top nibble zero stands for a small negative value.
    std::uint32_t Number() {
        const std::uint32_t v = Peek16();
        switch (v & 0xC000) {
        case 0:
            Bit += 6;
            return (v >> 10) & 0xF;
        case 0x4000:
            if ((v & 0x3C00) == 0) {
                Bit += 14;
                return 0xFFFFFF00u | ((v >> 2) & 0xFF);
            }
            Bit += 10;
            return (v >> 6) & 0xFF;
        case 0x8000:
            Bit += 2;
            return Bits(16);
        default: {
            Bit += 2;
            const std::uint32_t high = Bits(16);
            return high << 16 | Bits(16);
        }
        }
    }

private:
    std::uint8_t At(std::size_t P) const { return P < D.size() ? D[P] : 0; }
    const std::vector<std::uint8_t>& D;
    std::size_t Bit = 0;
};

class TDecoder29 final : public TDecoder {
public:
    TResult Unpack(TBitInput& In, TWindow& W, std::uint64_t Size, bool Solid, const TSink& Out) override;

private:
    // Limits against damaged data: distinct filter programs and filters waiting for their
    // block, far above what a packer uses.
    static constexpr std::size_t kMaxPrograms = 1024, kMaxPending = 8192;
    // How much decoded data may wait in the window before it is handed on.
    static constexpr std::uint64_t kFlushStep = 0x40000;

    struct TPending {
        std::uint64_t Start = 0; // absolute window position of the block
        std::uint32_t Length = 0;
        std::uint32_t R[7] = {};
        TFilterType Type = TFilterType::None;
    };

    void Reset();
    TResult ReadTables(TBitInput& In);
    TResult DecodeLz(TBitInput& In, std::uint64_t End);
    TResult DecodePpm(TBitInput& In, std::uint64_t End);
    TResult ReadFilter(TBitInput& In);
    TResult ReadFilterPpm(TBitInput& In);
    TResult AddFilter(unsigned First, const std::vector<std::uint8_t>& Record);
    void ReadEndMarks(TBitInput& In);
    TResult Flush();
    TResult Emit(const std::uint8_t* Data, std::size_t Count);
    TResult EmitWindow(std::uint64_t To);

    void Put(std::uint8_t B) { Win->Data[Abs++ & TWindow::kMask] = B; }
    void Copy(std::uint32_t Length, std::uint32_t Distance) {
        std::uint8_t* d = Win->Data.data();
        std::size_t dst = Abs & TWindow::kMask, src = (dst - Distance) & TWindow::kMask;
        Abs += Length;
        if (dst + Length <= TWindow::kSize && src + Length <= TWindow::kSize) {
            for (std::uint32_t i = 0; i < Length; ++i) d[dst + i] = d[src + i];
        } else {
            for (std::uint32_t i = 0; i < Length; ++i)
                d[(dst + i) & TWindow::kMask] = d[(src + i) & TWindow::kMask];
        }
    }
    void RememberDistance(std::uint32_t Distance) {
        OldDist[3] = OldDist[2];
        OldDist[2] = OldDist[1];
        OldDist[1] = OldDist[0];
        OldDist[0] = Distance;
    }

    // Entropy coding state, kept across the entries of a solid archive.
    THuffman LD, DD, LDD, RD;
    std::uint8_t OldTable[kTableSize] = {};
    bool TablesRead = false;
    bool PpmBlock = false;
    int EscChar = 2;
    std::unique_ptr<TPpmd> Ppm;
    std::uint32_t OldDist[4] = {};
    std::uint32_t LastLength = 0, LastDist = 0;
    std::uint32_t PrevLowDist = 0;
    unsigned LowDistRepCount = 0;

    // Filters: the programs seen (by number), the last block length of each, and the
    // filters whose blocks are not written yet, in the order they came.
    std::vector<TFilterType> Programs;
    std::vector<std::uint32_t> OldFilterLengths;
    std::size_t LastFilter = 0;
    std::vector<TPending> Pending;
    std::vector<std::uint8_t> Mem;

    // Positions count every byte put into the window since the last non-solid entry.
    std::uint64_t Abs = 0, Written = 0, EntryStart = 0, EntrySize = 0;
    std::uint64_t WrittenInEntry = 0; // includes bytes past the entry's size, which are dropped
    TWindow* Win = nullptr;
    const TSink* Sink = nullptr;
};

void TDecoder29::Reset() {
    TablesRead = false;
    PpmBlock = false;
    EscChar = 2;
    Ppm.reset();
    std::memset(OldTable, 0, sizeof OldTable);
    std::memset(OldDist, 0, sizeof OldDist);
    LastLength = LastDist = PrevLowDist = 0;
    LowDistRepCount = 0;
    Programs.clear();
    OldFilterLengths.clear();
    LastFilter = 0;
    Pending.clear();
    Abs = 0;
}

// A table block starts on a byte boundary:
//   1 bit   PPM block (the PPM model reads its own header from this byte on)
//   1 bit   keep the previous lengths (the new ones are coded as differences to them)
//   20 x 4 bits  lengths of the length code; 15 then n: length 15 (n = 0) or n + 2 zeros
//   then the 404 lengths of the four tables, coded with it: 0..15 a difference, 16/17 the
//   previous length 3..10 / 11..138 times, 18/19 zeros 3..10 / 11..138 times.
TResult TDecoder29::ReadTables(TBitInput& In) {
    In.Align();
    const std::uint32_t head = In.Peek16();
    if (head & 0x8000) {
        if (!Ppm) Ppm = std::make_unique<TPpmd>();
        if (!Ppm->Init(In, EscChar) || In.Overrun()) return TResult::BadData;
        PpmBlock = true;
        return TResult::Ok;
    }
    PpmBlock = false;
    PrevLowDist = 0;
    LowDistRepCount = 0;
    if (!(head & 0x4000)) std::memset(OldTable, 0, sizeof OldTable);
    In.Skip(2);

    std::uint8_t lengths[kBC];
    for (unsigned i = 0; i < kBC;) {
        const auto len = static_cast<std::uint8_t>(In.Bits(4));
        if (len != 15) {
            lengths[i++] = len;
            continue;
        }
        unsigned zeros = In.Bits(4);
        if (zeros == 0) {
            lengths[i++] = 15;
            continue;
        }
        for (zeros += 2; zeros > 0 && i < kBC; --zeros) lengths[i++] = 0;
    }
    THuffman bd;
    bd.Build(lengths, kBC);

    std::uint8_t table[kTableSize];
    for (unsigned i = 0; i < kTableSize;) {
        if (In.Overrun()) return TResult::BadData;
        const unsigned n = bd.Decode(In);
        if (n < 16) {
            table[i] = static_cast<std::uint8_t>((n + OldTable[i]) & 15);
            ++i;
            continue;
        }
        unsigned run = (n & 1) == 0 ? In.Bits(3) + 3 : In.Bits(7) + 11;
        if (n < 18) {
            if (i == 0) return TResult::BadData; // nothing to repeat
            for (; run > 0 && i < kTableSize; --run, ++i) table[i] = table[i - 1];
        } else {
            for (; run > 0 && i < kTableSize; --run) table[i++] = 0;
        }
    }
    if (In.Overrun()) return TResult::BadData;
    TablesRead = true;
    LD.Build(table, kNC);
    DD.Build(table + kNC, kDC);
    LDD.Build(table + kNC + kDC, kLDC);
    RD.Build(table + kNC + kDC + kLDC, kRC);
    std::memcpy(OldTable, table, sizeof OldTable);
    return TResult::Ok;
}

// LZ symbols until End bytes are in the window, a block switches to PPM, or an error.
TResult TDecoder29::DecodeLz(TBitInput& In, std::uint64_t End) {
    std::uint64_t flushAt = Abs + kFlushStep;
    while (Abs < End) {
        if (In.Overrun()) return TResult::BadData;
        if (Abs >= flushAt) {
            if (const TResult r = Flush(); r != TResult::Ok) return r;
            flushAt = Abs + kFlushStep;
        }
        unsigned sym = LD.Decode(In);
        if (sym < 256) {
            Put(static_cast<std::uint8_t>(sym));
            continue;
        }
        if (sym >= 271) {
            sym -= 271;
            std::uint32_t length = kLBase[sym] + 3u;
            if (const unsigned bits = kLBits[sym]) length += In.Bits(bits);
            const unsigned slot = DD.Decode(In);
            std::uint32_t distance = kDist.Base[slot] + 1;
            if (const unsigned bits = kDist.Bits[slot]) {
                if (slot > 9) {
                    // The low four bits come from their own table, or repeat the last ones.
                    if (bits > 4) distance += In.Bits(bits - 4) << 4;
                    if (LowDistRepCount > 0) {
                        --LowDistRepCount;
                        distance += PrevLowDist;
                    } else {
                        const unsigned low = LDD.Decode(In);
                        if (low == 16) {
                            LowDistRepCount = 15;
                            distance += PrevLowDist;
                        } else {
                            distance += low;
                            PrevLowDist = low;
                        }
                    }
                } else {
                    distance += In.Bits(bits);
                }
            }
            // Far matches are worth less: their lengths start higher.
            if (distance >= 0x2000) {
                ++length;
                if (distance >= 0x40000) ++length;
            }
            RememberDistance(distance);
            LastLength = length;
            LastDist = distance;
            Copy(length, distance);
            continue;
        }
        if (sym == 256) {
            // 1: new tables follow; 00: the file ends here; 01: it ends and the next file of a
            // solid archive starts with new tables.
            const std::uint32_t bits = In.Peek16();
            if (bits & 0x8000) {
                In.Skip(1);
                if (const TResult r = ReadTables(In); r != TResult::Ok) return r;
                if (PpmBlock) return TResult::Ok;
                continue;
            }
            In.Skip(2);
            TablesRead = !(bits & 0x4000);
            return TResult::BadData; // the stream ends before the entry's size
        }
        if (sym == 257) {
            if (const TResult r = ReadFilter(In); r != TResult::Ok) return r;
            continue;
        }
        if (sym == 258) {
            if (LastLength != 0) Copy(LastLength, LastDist);
            continue;
        }
        if (sym < 263) {
            const unsigned index = sym - 259;
            const std::uint32_t distance = OldDist[index];
            for (unsigned i = index; i > 0; --i) OldDist[i] = OldDist[i - 1];
            OldDist[0] = distance;
            const unsigned slot = RD.Decode(In);
            std::uint32_t length = kLBase[slot] + 2u;
            if (const unsigned bits = kLBits[slot]) length += In.Bits(bits);
            LastLength = length;
            LastDist = distance;
            Copy(length, distance);
            continue;
        }
        sym -= 263;
        const std::uint32_t distance = kSDBase[sym] + 1u + In.Bits(kSDBits[sym]);
        RememberDistance(distance);
        LastLength = 2;
        LastDist = distance;
        Copy(2, distance);
    }
    return TResult::Ok;
}

// PPM characters until End bytes are in the window or a block switches to LZ. The escape
// character introduces: 0 end of block, 2 end of file, 3 a filter, 4 a match (3 bytes of
// distance, 1 of length), 5 a run of the last byte; anything else the escape itself.
TResult TDecoder29::DecodePpm(TBitInput& In, std::uint64_t End) {
    std::uint64_t flushAt = Abs + kFlushStep;
    while (Abs < End) {
        if (In.Overrun()) return TResult::BadData;
        if (Abs >= flushAt) {
            if (const TResult r = Flush(); r != TResult::Ok) return r;
            flushAt = Abs + kFlushStep;
        }
        const int ch = Ppm->DecodeChar(In);
        if (ch < 0) return TResult::BadData;
        if (ch != EscChar) {
            Put(static_cast<std::uint8_t>(ch));
            continue;
        }
        const int code = Ppm->DecodeChar(In);
        switch (code) {
        case -1:
        case 2:
            return TResult::BadData; // damaged, or the file ends before its size
        case 0:
            if (const TResult r = ReadTables(In); r != TResult::Ok) return r;
            if (!PpmBlock) return TResult::Ok;
            break;
        case 3:
            if (const TResult r = ReadFilterPpm(In); r != TResult::Ok) return r;
            break;
        case 4: {
            std::uint32_t distance = 0;
            for (int i = 0; i < 3; ++i) {
                const int b = Ppm->DecodeChar(In);
                if (b < 0) return TResult::BadData;
                distance = distance << 8 | static_cast<std::uint32_t>(b);
            }
            const int length = Ppm->DecodeChar(In);
            if (length < 0) return TResult::BadData;
            Copy(static_cast<std::uint32_t>(length) + 32, distance + 2);
            break;
        }
        case 5: {
            const int length = Ppm->DecodeChar(In);
            if (length < 0) return TResult::BadData;
            Copy(static_cast<std::uint32_t>(length) + 4, 1);
            break;
        }
        default:
            Put(static_cast<std::uint8_t>(ch));
            break;
        }
    }
    return TResult::Ok;
}

// A filter record in the LZ stream: a flags byte whose low 3 bits give the record's length
// (1..6, or 7: one more byte + 7, or 8: 16 more bits), then the record itself.
TResult TDecoder29::ReadFilter(TBitInput& In) {
    const unsigned first = In.Bits(8);
    unsigned length = (first & 7) + 1;
    if (length == 7)
        length = In.Bits(8) + 7;
    else if (length == 8)
        length = In.Bits(16);
    if (length == 0) return TResult::BadData;
    std::vector<std::uint8_t> record(length);
    for (std::uint8_t& b : record) b = static_cast<std::uint8_t>(In.Bits(8));
    if (In.Overrun()) return TResult::BadData;
    return AddFilter(first, record);
}

// The same record in a PPM block, byte by byte through the model.
TResult TDecoder29::ReadFilterPpm(TBitInput& In) {
    const int first = Ppm->DecodeChar(In);
    if (first < 0) return TResult::BadData;
    int length = (first & 7) + 1;
    if (length == 7) {
        const int b = Ppm->DecodeChar(In);
        if (b < 0) return TResult::BadData;
        length = b + 7;
    } else if (length == 8) {
        const int b1 = Ppm->DecodeChar(In), b2 = b1 < 0 ? -1 : Ppm->DecodeChar(In);
        if (b2 < 0) return TResult::BadData;
        length = b1 * 256 + b2;
    }
    if (length == 0) return TResult::BadData;
    std::vector<std::uint8_t> record(static_cast<std::size_t>(length));
    for (std::uint8_t& b : record) {
        const int c = Ppm->DecodeChar(In);
        if (c < 0 || In.Overrun()) return TResult::BadData;
        b = static_cast<std::uint8_t>(c);
    }
    return AddFilter(static_cast<unsigned>(first), record);
}

// The filter record, after the flags byte (bits: 0x80 filter number follows (0 = forget
// all filters), else the last one again; 0x40 block start + 258; 0x20 block length follows,
// else the filter's previous one; 0x10 a 7-bit mask of parameter registers follows, each
// set one a number; 0x08 global data follow, which the standard programs do not read):
//   number? | block start | block length? | mask + registers? | code size + code (first use)
TResult TDecoder29::AddFilter(unsigned First, const std::vector<std::uint8_t>& Record) {
    TRecordBits in(Record);
    std::size_t number = LastFilter;
    if (First & 0x80) {
        number = in.Number();
        if (number == 0) {
            Programs.clear();
            OldFilterLengths.clear();
            Pending.clear();
        } else {
            --number;
        }
    }
    if (number > Programs.size()) return TResult::BadData;
    LastFilter = number;
    const bool isNew = number == Programs.size();
    if (isNew) {
        if (number >= kMaxPrograms) return TResult::BadData;
        Programs.push_back(TFilterType::None);
        OldFilterLengths.push_back(0);
    }
    if (Pending.size() >= kMaxPending) return TResult::BadData;

    TPending f;
    std::uint32_t start = in.Number();
    if (First & 0x40) start += 258;
    f.Start = Abs + start;
    if (First & 0x20) {
        f.Length = in.Number();
        OldFilterLengths[number] = f.Length;
    } else {
        f.Length = OldFilterLengths[number];
    }
    f.R[4] = f.Length;
    if (First & 0x10) {
        const std::uint32_t mask = in.Bits(7);
        for (unsigned i = 0; i < 7; ++i)
            if (mask & (1u << i)) f.R[i] = in.Number();
    }
    if (isNew) {
        const std::uint32_t size = in.Number();
        if (size == 0 || size >= 0x10000 || in.BytePos() + size > Record.size()) return TResult::BadData;
        std::vector<std::uint8_t> code(size);
        for (std::uint8_t& b : code) b = static_cast<std::uint8_t>(in.Bits(8));
        Programs[number] = IdentifyFilter(code.data(), code.size());
    }
    f.Type = Programs[number];
    // A program of its own would need the virtual machine, which no packer's output needs.
    if (f.Type == TFilterType::None) return TResult::NotSupported;
    if (f.Length > kFilterMaxBlock || f.R[4] != f.Length) return TResult::BadData;
    Pending.push_back(f);
    return TResult::Ok;
}

TResult TDecoder29::Emit(const std::uint8_t* Data, std::size_t Count) {
    if (WrittenInEntry < EntrySize) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(Count, EntrySize - WrittenInEntry));
        if (!(*Sink)(Data, n)) return TResult::WriteError;
    }
    WrittenInEntry += Count;
    return TResult::Ok;
}

// The window from the written position up to To.
TResult TDecoder29::EmitWindow(std::uint64_t To) {
    while (Written < To) {
        const std::size_t pos = Written & TWindow::kMask;
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(To - Written, TWindow::kSize - pos));
        if (const TResult r = Emit(Win->Data.data() + pos, n); r != TResult::Ok) return r;
        Written += n;
    }
    return TResult::Ok;
}

// Hands on what the window holds, each filter's block transformed once it is complete; a
// block still being decoded holds back everything from its start.
TResult TDecoder29::Flush() {
    for (std::size_t i = 0; i < Pending.size();) {
        const TPending f = Pending[i];
        if (f.Start < Written) { // overtaken by an earlier block: the stream was damaged
            Pending.erase(Pending.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        if (f.Start >= Abs) {
            ++i;
            continue;
        }
        if (const TResult r = EmitWindow(f.Start); r != TResult::Ok) return r;
        if (f.Start + f.Length > Abs) return TResult::Ok;

        if (Mem.empty()) Mem.resize(kFilterMemSize + 4);
        for (std::uint32_t k = 0; k < f.Length; ++k) Mem[k] = Win->Data[(f.Start + k) & TWindow::kMask];
        const auto fileOffset = static_cast<std::uint32_t>(WrittenInEntry);
        std::uint32_t out = 0;
        if (!RunFilter(f.Type, Mem.data(), f.Length, f.R, fileOffset, out)) return TResult::BadData;
        // Further filters on the same block take the previous one's output.
        std::size_t j = i + 1;
        for (; j < Pending.size() && Pending[j].Start == f.Start && Pending[j].Length == f.Length; ++j) {
            if (out != 0) std::memmove(Mem.data(), Mem.data() + out, f.Length);
            if (!RunFilter(Pending[j].Type, Mem.data(), f.Length, Pending[j].R, fileOffset, out))
                return TResult::BadData;
        }
        if (const TResult r = Emit(Mem.data() + out, f.Length); r != TResult::Ok) return r;
        Written = f.Start + f.Length;
        Pending.erase(Pending.begin() + static_cast<std::ptrdiff_t>(i),
                      Pending.begin() + static_cast<std::ptrdiff_t>(j));
    }
    return EmitWindow(Abs);
}

// The packer closes every file with an end mark that also says whether the next file of a
// solid archive starts with new tables; the mark (and tables before it) follows the last
// byte, so it is read after the entry's data to leave the state where the packer left it.
void TDecoder29::ReadEndMarks(TBitInput& In) {
    for (int guard = 0; guard < 4 && !In.Overrun(); ++guard) {
        if (PpmBlock) {
            if (Ppm->DecodeChar(In) != EscChar) return;
            if (Ppm->DecodeChar(In) != 0) return; // 2, the end of file, or damage
            if (ReadTables(In) != TResult::Ok) TablesRead = false;
            continue;
        }
        if (LD.Decode(In) != 256) return;
        const std::uint32_t bits = In.Peek16();
        if (!(bits & 0x8000)) {
            In.Skip(2);
            TablesRead = !(bits & 0x4000);
            return;
        }
        In.Skip(1);
        if (ReadTables(In) != TResult::Ok) {
            TablesRead = false;
            return;
        }
    }
}

TResult TDecoder29::Unpack(TBitInput& In, TWindow& W, std::uint64_t Size, bool Solid, const TSink& Out) {
    if (!Solid) {
        Reset();
        W.Pos = 0;
    } else if ((Abs & TWindow::kMask) != W.Pos) {
        Abs = W.Pos; // another version's decoder wrote in between
    }
    // An empty file has nothing packed; it leaves a solid stream's state alone.
    if (Size == 0) return TResult::Ok;
    Win = &W;
    Sink = &Out;
    Written = EntryStart = Abs;
    EntrySize = Size;
    WrittenInEntry = 0;
    Pending.clear();

    TResult r = TResult::Ok;
    if (!Solid || !TablesRead) r = ReadTables(In);
    const std::uint64_t end = EntryStart + Size;
    while (r == TResult::Ok && Abs < end) r = PpmBlock ? DecodePpm(In, end) : DecodeLz(In, end);
    if (r == TResult::Ok) {
        ReadEndMarks(In);
        r = Flush();
    }
    W.Pos = Abs & TWindow::kMask;
    if (r == TResult::Ok && WrittenInEntry < Size) r = TResult::BadData; // a filter's block ran past the end
    if (r != TResult::Ok) TablesRead = false;
    return r;
}

} // namespace

std::unique_ptr<TDecoder> MakeDecoder29() {
    return std::make_unique<TDecoder29>();
}

} // namespace rar
