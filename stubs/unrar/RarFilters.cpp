#include "stubs/unrar/RarFilters.h"
#include "common/LittleEndian.h"

#include <array>
#include <cstdlib>

namespace rar {

namespace {

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

// A little-endian bit field of an IA-64 bundle (at most 20 bits, within 4 bytes of BitPos/8).
std::uint32_t BundleBits(const std::uint8_t* Data, unsigned BitPos, unsigned Count) {
    return (pvcommon::GetLE32(Data + BitPos / 8) >> (BitPos & 7)) & (0xFFFFFFFFu >> (32 - Count));
}
void SetBundleBits(std::uint8_t* Data, std::uint32_t Value, unsigned BitPos, unsigned Count) {
    const unsigned shift = BitPos & 7;
    const std::uint32_t mask = ~((0xFFFFFFFFu >> (32 - Count)) << shift);
    std::uint8_t* p = Data + BitPos / 8;
    pvcommon::PutLE32(p, (pvcommon::GetLE32(p) & mask) | (Value << shift));
}

} // namespace

std::uint32_t Crc32(const std::uint8_t* Data, std::size_t Size, std::uint32_t Crc) {
    Crc = ~Crc;
    for (std::size_t i = 0; i < Size; ++i) Crc = kCrcTable[(Crc ^ Data[i]) & 0xFF] ^ (Crc >> 8);
    return ~Crc;
}

TFilterType IdentifyFilter(const std::uint8_t* Code, std::size_t Size) {
    struct TKnown {
        std::size_t Size;
        std::uint32_t Crc;
        TFilterType Type;
    };
    static constexpr TKnown kKnown[] = {
        {53, 0xAD576887, TFilterType::E8},       {57, 0x3CD7E57E, TFilterType::E8E9},
        {120, 0x3769893F, TFilterType::Itanium}, {29, 0x0E06077D, TFilterType::Delta},
        {149, 0x1C2C5DC8, TFilterType::Rgb},     {216, 0xBC85E701, TFilterType::Audio},
    };
    const std::uint32_t crc = Crc32(Code, Size);
    for (const TKnown& k : kKnown)
        if (k.Size == Size && k.Crc == crc) return k.Type;
    return TFilterType::None;
}

void E8Decode(std::uint8_t* Data, std::uint32_t Size, std::uint32_t FileOffset, bool E9) {
    // Call targets inside the first 16 MiB were made absolute; the rest were left alone.
    constexpr std::uint32_t kSpan = 0x1000000;
    if (Size < 5) return;
    for (std::uint32_t pos = 0; pos < Size - 4;) {
        const std::uint8_t b = Data[pos++];
        if (b != 0xE8 && !(E9 && b == 0xE9)) continue;
        const std::uint32_t offset = pos + FileOffset;
        const std::uint32_t addr = pvcommon::GetLE32(Data + pos);
        if (addr & 0x80000000u) {
            if (((addr + offset) & 0x80000000u) == 0) pvcommon::PutLE32(Data + pos, addr + kSpan);
        } else if ((addr - kSpan) & 0x80000000u) {
            pvcommon::PutLE32(Data + pos, addr - offset);
        }
        pos += 4;
    }
}

void ItaniumDecode(std::uint8_t* Data, std::uint32_t Size, std::uint32_t FileOffset) {
    // Which of a bundle's three 41-bit slots hold branches, by the bundle's template.
    static constexpr std::uint8_t kBranchSlots[16] = {4, 4, 6, 6, 0, 0, 7, 7, 4, 4, 0, 0, 4, 4, 0, 0};
    if (Size < 22) return;
    FileOffset >>= 4;
    for (std::uint32_t pos = 0; pos < Size - 21; pos += 16, Data += 16, ++FileOffset) {
        const int tmpl = (Data[0] & 0x1F) - 0x10;
        if (tmpl < 0) continue;
        const std::uint8_t slots = kBranchSlots[tmpl];
        for (unsigned i = 0; i < 3; ++i) {
            if (!(slots & (1u << i))) continue;
            const unsigned start = i * 41 + 5;
            if (BundleBits(Data, start + 37, 4) != 5) continue;
            const std::uint32_t target = BundleBits(Data, start + 13, 20);
            SetBundleBits(Data, (target - FileOffset) & 0xFFFFF, start + 13, 20);
        }
    }
}

void DeltaDecode(const std::uint8_t* Src, std::uint8_t* Dst, std::uint32_t Size, std::uint32_t Channels) {
    // A channel count beyond the size adds only empty channels.
    if (Channels > Size) Channels = Size;
    for (std::uint32_t ch = 0; ch < Channels; ++ch) {
        std::uint8_t prev = 0;
        for (std::uint32_t i = ch; i < Size; i += Channels)
            Dst[i] = prev = static_cast<std::uint8_t>(prev - *Src++);
    }
}

bool RgbDecode(const std::uint8_t* Src, std::uint8_t* Dst, std::uint32_t Size, std::uint32_t Width,
               std::uint32_t PosR) {
    if (Width < 3 || PosR > 2) return false;
    const std::uint64_t up = Width - 3; // distance from a byte to the one above it, less a pixel
    for (std::uint32_t ch = 0; ch < 3; ++ch) {
        int prev = 0;
        for (std::uint32_t i = ch; i < Size; i += 3) {
            int predicted = prev;
            if (i >= up + 3) {
                const std::uint8_t* above = Dst + (i - up);
                const int upper = above[0], upperLeft = above[-3];
                predicted = prev + upper - upperLeft;
                const int pa = std::abs(predicted - prev), pb = std::abs(predicted - upper),
                          pc = std::abs(predicted - upperLeft);
                if (pa <= pb && pa <= pc)
                    predicted = prev;
                else
                    predicted = pb <= pc ? upper : upperLeft;
            }
            Dst[i] = static_cast<std::uint8_t>(predicted - *Src++);
            prev = Dst[i];
        }
    }
    for (std::uint32_t i = PosR; i + 2 < Size; i += 3) {
        const std::uint8_t g = Dst[i + 1];
        Dst[i] = static_cast<std::uint8_t>(Dst[i] + g);
        Dst[i + 2] = static_cast<std::uint8_t>(Dst[i + 2] + g);
    }
    return true;
}

void AudioDecode(const std::uint8_t* Src, std::uint8_t* Dst, std::uint32_t Size, std::uint32_t Channels) {
    if (Channels > Size) Channels = Size;
    for (std::uint32_t ch = 0; ch < Channels; ++ch) {
        // Unsigned wrap-around arithmetic throughout, as the predictor was defined with it.
        std::uint32_t prevByte = 0, prevDelta = 0, dif[7] = {};
        int d1 = 0, d2 = 0, d3 = 0, k1 = 0, k2 = 0, k3 = 0;
        std::uint32_t count = 0;
        for (std::uint32_t i = ch; i < Size; i += Channels, ++count) {
            d3 = d2;
            d2 = static_cast<int>(prevDelta - static_cast<std::uint32_t>(d1));
            d1 = static_cast<int>(prevDelta);
            std::uint32_t predicted = 8 * prevByte + static_cast<std::uint32_t>(k1 * d1) +
                                      static_cast<std::uint32_t>(k2 * d2) +
                                      static_cast<std::uint32_t>(k3 * d3);
            predicted = (predicted >> 3) & 0xFF;
            const std::uint32_t cur = *Src++;
            predicted -= cur;
            Dst[i] = static_cast<std::uint8_t>(predicted);
            prevDelta = static_cast<std::uint32_t>(static_cast<std::int8_t>(predicted - prevByte));
            prevByte = predicted;

            const int d = static_cast<std::int8_t>(cur) * 8;
            dif[0] += static_cast<std::uint32_t>(std::abs(d));
            dif[1] += static_cast<std::uint32_t>(std::abs(d - d1));
            dif[2] += static_cast<std::uint32_t>(std::abs(d + d1));
            dif[3] += static_cast<std::uint32_t>(std::abs(d - d2));
            dif[4] += static_cast<std::uint32_t>(std::abs(d + d2));
            dif[5] += static_cast<std::uint32_t>(std::abs(d - d3));
            dif[6] += static_cast<std::uint32_t>(std::abs(d + d3));
            if ((count & 0x1F) != 0) continue;
            // Every 32 samples the coefficient whose error was smallest moves one step.
            std::uint32_t minDif = dif[0];
            unsigned best = 0;
            dif[0] = 0;
            for (unsigned j = 1; j < 7; ++j) {
                if (dif[j] < minDif) {
                    minDif = dif[j];
                    best = j;
                }
                dif[j] = 0;
            }
            switch (best) {
            case 1:
                if (k1 >= -16) --k1;
                break;
            case 2:
                if (k1 < 16) ++k1;
                break;
            case 3:
                if (k2 >= -16) --k2;
                break;
            case 4:
                if (k2 < 16) ++k2;
                break;
            case 5:
                if (k3 >= -16) --k3;
                break;
            case 6:
                if (k3 < 16) ++k3;
                break;
            default:
                break;
            }
        }
    }
}

bool RunFilter(TFilterType Type, std::uint8_t* Mem, std::uint32_t Size, const std::uint32_t* R,
               std::uint32_t FileOffset, std::uint32_t& Out) {
    Out = 0;
    switch (Type) {
    case TFilterType::E8:
    case TFilterType::E8E9:
        if (Size > kFilterMaxBlock) return false;
        E8Decode(Mem, Size, FileOffset, Type == TFilterType::E8E9);
        return true;
    case TFilterType::Itanium:
        if (Size > kFilterMaxBlock) return false;
        ItaniumDecode(Mem, Size, FileOffset);
        return true;
    case TFilterType::Delta:
    case TFilterType::Rgb:
    case TFilterType::Audio:
        // These write beside their input: both must fit below the global data.
        if (Size >= kFilterMaxBlock / 2) return false;
        Out = Size;
        if (Type == TFilterType::Delta) DeltaDecode(Mem, Mem + Size, Size, R[0]);
        if (Type == TFilterType::Audio) AudioDecode(Mem, Mem + Size, Size, R[0]);
        return Type != TFilterType::Rgb || RgbDecode(Mem, Mem + Size, Size, R[0], R[1]);
    case TFilterType::None:
        break;
    }
    return false;
}

} // namespace rar
