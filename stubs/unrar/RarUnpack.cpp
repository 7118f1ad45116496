#include "stubs/unrar/RarUnpack.h"

#include <cstring>

namespace rar {

TBitInput::TBitInput(TSource S) : Source(std::move(S)), Buf(2 * kChunk + 16) {}

void TBitInput::Refill() {
    // Keep the unread tail, then top up from the source; past its end, zeros.
    const std::size_t keep = Len - Pos;
    std::memmove(Buf.data(), Buf.data() + Pos, keep);
    Base += Pos;
    Pos = 0;
    Len = keep;
    while (!AtEnd && Len < kChunk) {
        const std::ptrdiff_t n = Source(Buf.data() + Len, kChunk - Len);
        if (n < 0) Failed = true;
        if (n <= 0) {
            AtEnd = true;
            break;
        }
        Len += static_cast<std::size_t>(n);
        Total += static_cast<std::uint64_t>(n);
    }
    if (AtEnd && Len < 16) {
        std::memset(Buf.data() + Len, 0, 16 - Len);
        Len = 16;
    }
}

TResult TUnpacker::Unpack(std::uint8_t Version, bool Solid, std::uint64_t Size, TSource In, TSink Out) {
    std::unique_ptr<TDecoder>* d = nullptr;
    std::unique_ptr<TDecoder> (*make)() = nullptr;
    switch (Version) {
    case 15:
        d = &D15, make = MakeDecoder15;
        break;
    case 20:
    case 26:
        d = &D20, make = MakeDecoder20;
        break;
    case 29:
    case 36:
        d = &D29, make = MakeDecoder29;
        break;
    default:
        return TResult::NotSupported;
    }
    if (!*d) {
        *d = make();
        if (!*d) return TResult::NotSupported;
    }
    TBitInput bits(std::move(In));
    const TResult r = (*d)->Unpack(bits, Window, Size, Solid, Out);
    if (bits.ReadFailed()) return TResult::ReadError;
    return r;
}

} // namespace rar
