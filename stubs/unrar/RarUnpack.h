// RAR's own compression methods (unpacking versions 1.5, 2.0/2.6 and 2.9/3.x). One TUnpacker
// serves one archive: the entries of a solid archive continue its window and its decoders'
// tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace rar {

// Packed bytes of one entry, pulled on demand over all its volume parts: the count read,
// 0 at the end, negative on a read error.
using TSource = std::function<std::ptrdiff_t(std::uint8_t* Buf, std::size_t Count)>;
// Takes decoded bytes in order; false stops the run (a failed write, or a cancel).
using TSink = std::function<bool(const std::uint8_t* Data, std::size_t Size)>;

enum class TResult { Ok, BadData, ReadError, WriteError, NotSupported };

// Bits of the packed stream, high bit first. Reading past the end gives zero bits, so a
// decoder never needs a bounds check per symbol; it asks Overrun() once per symbol or table
// instead, which turns true when it has gone further than any valid stream could.
class TBitInput {
public:
    explicit TBitInput(TSource Source);

    // The next 16 bits at the bit position, not consumed.
    std::uint32_t Peek16() {
        if (Pos + 4 > Len) Refill();
        const std::uint8_t* p = Buf.data() + Pos;
        const std::uint32_t v = std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
        return (v >> (8 - Bit)) & 0xFFFF;
    }
    void Skip(unsigned Count) {
        Count += Bit;
        Pos += Count >> 3;
        Bit = Count & 7;
    }
    // Count (1..16) bits, consumed.
    std::uint32_t Bits(unsigned Count) {
        const std::uint32_t v = Peek16() >> (16 - Count);
        Skip(Count);
        return v;
    }
    void Align() {
        if (Bit) {
            ++Pos;
            Bit = 0;
        }
    }
    // The next whole byte (the stream is aligned first): PPMd's range coder reads these.
    std::uint8_t Byte() {
        Align();
        if (Pos + 4 > Len) Refill();
        return Buf[Pos++];
    }
    // Bytes consumed so far, a started byte counted.
    std::uint64_t Consumed() const { return Base + Pos + (Bit ? 1 : 0); }
    bool Overrun() const { return AtEnd && Consumed() > Total + kSlack; }
    // Bytes the source still has from the current byte on (at least 16 counted when it has
    // them): a decoder peeking past an entry's last symbol asks whether anything follows.
    std::uint64_t Left() {
        if (Pos + 16 > Len) Refill();
        const std::uint64_t at = Base + Pos;
        return Total > at ? Total - at : 0;
    }
    bool ReadFailed() const { return Failed; }

private:
    static constexpr std::size_t kChunk = 1 << 16, kSlack = 64;
    void Refill();

    TSource Source;
    std::vector<std::uint8_t> Buf;
    std::size_t Pos = 0, Len = 0; // within Buf
    unsigned Bit = 0;
    std::uint64_t Base = 0;  // bytes dropped from Buf's front so far
    std::uint64_t Total = 0; // bytes the source gave
    bool AtEnd = false, Failed = false;
};

// The dictionary: 4 MiB, the most any of these versions uses, zeroed at the start so a
// distance reaching before the first byte reads zeros rather than stale memory.
struct TWindow {
    static constexpr std::size_t kSize = 0x400000, kMask = kSize - 1;
    std::vector<std::uint8_t> Data = std::vector<std::uint8_t>(kSize);
    std::size_t Pos = 0; // where the next byte goes (always masked)
};

// Hands a window's new bytes to the sink in order, from where the entry began up to its size
// (a match may run past the entry's end), however often the window has turned over.
class TWindowOutput {
public:
    TWindowOutput(const TWindow& Window, const TSink& Sink, std::uint64_t EntrySize)
        : W(Window), Out(Sink), Size(EntrySize), Pos(Window.Pos) {}
    // Hands out what Made, the bytes made so far, adds; false when the sink refused them.
    bool Flush(std::uint64_t Made) {
        std::uint64_t n = (Made < Size ? Made : Size) - Done;
        while (n > 0) {
            const std::size_t run =
                static_cast<std::size_t>(n < TWindow::kSize - Pos ? n : TWindow::kSize - Pos);
            if (!Out(W.Data.data() + Pos, run)) return false;
            Pos = (Pos + run) & TWindow::kMask;
            Done += run;
            n -= run;
        }
        return true;
    }
    std::uint64_t Written() const { return Done; }

private:
    const TWindow& W;
    const TSink& Out;
    std::uint64_t Size, Done = 0;
    std::size_t Pos;
};

class TDecoder {
public:
    virtual ~TDecoder() = default;
    // Decodes one entry of Size bytes from In into W, handing every byte to Out in order.
    // Solid: the entry continues the previous one's window and tables.
    virtual TResult Unpack(TBitInput& In, TWindow& W, std::uint64_t Size, bool Solid, const TSink& Out) = 0;
};

std::unique_ptr<TDecoder> MakeDecoder15(); // version 15
std::unique_ptr<TDecoder> MakeDecoder20(); // versions 20 and 26
std::unique_ptr<TDecoder> MakeDecoder29(); // versions 29 and 36

// One archive's unpacking state.
class TUnpacker {
public:
    // Version is the entry's unpacking version (15, 20, 26, 29, 36); anything else is
    // NotSupported.
    TResult Unpack(std::uint8_t Version, bool Solid, std::uint64_t Size, TSource In, TSink Out);

private:
    TWindow Window;
    std::unique_ptr<TDecoder> D15, D20, D29;
};

} // namespace rar
