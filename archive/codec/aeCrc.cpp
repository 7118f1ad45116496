// CRC-16/ARC and CRC-32 (zip/gzip). The one-table loops are the reference; Crc32Update
// folds 64 bytes at a time with carry-less multiplication where the CPU has it and uses
// slicing-by-16 tables elsewhere and for the tails. All three give identical values.
#include "archive/aeCommon.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define AE_CRC_X86 1
#endif

namespace {

// Tables for slicing-by-16: kSlice[k][b] is the CRC register after feeding byte b followed
// by k zero bytes, so 16 input bytes fold with 16 independent look-ups.
struct SliceTables {
    uint32_t t[16][256];
    constexpr SliceTables() : t{} {
        for (unsigned b = 0; b < 256; ++b) t[0][b] = Crc32Table[b];
        for (unsigned k = 1; k < 16; ++k)
            for (unsigned b = 0; b < 256; ++b) t[k][b] = (t[k - 1][b] >> 8) ^ Crc32Table[t[k - 1][b] & 0xFF];
    }
};
constexpr SliceTables kSlice{};

inline uint32_t load32le(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap32(v);
#endif
    return v;
}

uint32_t crc32Slice16(const uint8_t* p, size_t n, uint32_t crc) {
    const auto& t = kSlice.t;
    while (n >= 16) {
        const uint32_t a = load32le(p) ^ crc, b = load32le(p + 4), c = load32le(p + 8), d = load32le(p + 12);
        crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
              t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
              t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
              t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
        p += 16;
        n -= 16;
    }
    while (n--) crc = Crc32Table[(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

#ifdef AE_CRC_X86
// Folding with PCLMULQDQ for the reflected polynomial 0xEDB88320 (the method of Intel's
// "Fast CRC Computation for Generic Polynomials Using PCLMULQDQ"). The constants are
// x^k mod P(x), bit-reflected and shifted by one, for the fold distances named.
__attribute__((target("pclmul,sse4.1"))) inline __m128i fold128(__m128i acc, __m128i k, __m128i next) {
    const __m128i lo = _mm_clmulepi64_si128(acc, k, 0x00);
    const __m128i hi = _mm_clmulepi64_si128(acc, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(hi, lo), next);
}

// Needs n >= 64; handles a multiple of 16 bytes and returns how many it consumed.
__attribute__((target("pclmul,sse4.1"))) uint32_t crc32Clmul(const uint8_t* p, size_t n, uint32_t crc,
                                                             size_t& used) {
    alignas(16) static const uint64_t k1k2[2] = {0x0154442bd4, 0x01c6e41596}; // x^(4*128+32), x^(4*128-32)
    alignas(16) static const uint64_t k3k4[2] = {0x01751997d0, 0x00ccaa009e}; // x^(128+32), x^(128-32)
    alignas(16) static const uint64_t k5k0[2] = {0x0163cd6124, 0x0000000000}; // x^64
    alignas(16) static const uint64_t poly[2] = {0x01db710641, 0x01f7011641}; // P(x), Barrett mu

    const uint8_t* const start = p;
    __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x00));
    __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x10));
    __m128i x3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x20));
    __m128i x4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x30));
    x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
    p += 64;
    n -= 64;

    while (n >= 64) {
        const __m128i x5 = _mm_clmulepi64_si128(x1, x0, 0x00);
        const __m128i x6 = _mm_clmulepi64_si128(x2, x0, 0x00);
        const __m128i x7 = _mm_clmulepi64_si128(x3, x0, 0x00);
        const __m128i x8 = _mm_clmulepi64_si128(x4, x0, 0x00);
        x1 = _mm_clmulepi64_si128(x1, x0, 0x11);
        x2 = _mm_clmulepi64_si128(x2, x0, 0x11);
        x3 = _mm_clmulepi64_si128(x3, x0, 0x11);
        x4 = _mm_clmulepi64_si128(x4, x0, 0x11);
        const __m128i y5 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x00));
        const __m128i y6 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x10));
        const __m128i y7 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x20));
        const __m128i y8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0x30));
        x1 = _mm_xor_si128(_mm_xor_si128(x1, x5), y5);
        x2 = _mm_xor_si128(_mm_xor_si128(x2, x6), y6);
        x3 = _mm_xor_si128(_mm_xor_si128(x3, x7), y7);
        x4 = _mm_xor_si128(_mm_xor_si128(x4, x8), y8);
        p += 64;
        n -= 64;
    }

    // Four lanes into one.
    x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
    x1 = fold128(x1, x0, x2);
    x1 = fold128(x1, x0, x3);
    x1 = fold128(x1, x0, x4);
    while (n >= 16) {
        x1 = fold128(x1, x0, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        p += 16;
        n -= 16;
    }

    // 128 bits to 64.
    x2 = _mm_clmulepi64_si128(x1, x0, 0x10);
    const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_srli_si128(x1, 8);
    x1 = _mm_xor_si128(x1, x2);
    x0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
    x2 = _mm_srli_si128(x1, 4);
    x1 = _mm_and_si128(x1, mask32);
    x1 = _mm_clmulepi64_si128(x1, x0, 0x00);
    x1 = _mm_xor_si128(x1, x2);

    // Barrett reduction to 32 bits.
    x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
    x2 = _mm_and_si128(x1, mask32);
    x2 = _mm_clmulepi64_si128(x2, x0, 0x10);
    x2 = _mm_and_si128(x2, mask32);
    x2 = _mm_clmulepi64_si128(x2, x0, 0x00);
    x1 = _mm_xor_si128(x1, x2);

    used = static_cast<size_t>(p - start);
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

bool haveClmul() {
    static const bool yes = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return yes;
}
#endif

} // namespace

void Crc16UpdateReference(const void* Buffer, size_t Count, uint16_t& Crc) {
    auto* p = static_cast<const uint8_t*>(Buffer);
    uint16_t c = Crc;
    for (size_t i = 0; i < Count; ++i) c = static_cast<uint16_t>(Crc16Table[(c ^ p[i]) & 0xFF] ^ (c >> 8));
    Crc = c;
}

void Crc32UpdateReference(const void* Buffer, size_t Count, uint32_t& Crc) {
    auto* p = static_cast<const uint8_t*>(Buffer);
    uint32_t c = Crc;
    for (size_t i = 0; i < Count; ++i) c = Crc32Table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    Crc = c;
}

void Crc16Update(const void* Buffer, size_t Count, uint16_t& Crc) {
    Crc16UpdateReference(Buffer, Count, Crc);
}

void Crc32Update(const void* Buffer, size_t Count, uint32_t& Crc) {
    if (Count == 0) return;
    auto* p = static_cast<const uint8_t*>(Buffer);
    uint32_t c = Crc;
#ifdef AE_CRC_X86
    if (Count >= 64 && haveClmul()) {
        size_t used = 0;
        c = crc32Clmul(p, Count, c, used);
        p += used;
        Count -= used;
    }
#endif
    Crc = crc32Slice16(p, Count, c);
}

uint32_t Crc32Of(const void* Buffer, size_t Count) {
    uint32_t c = 0xFFFFFFFFu;
    Crc32Update(Buffer, Count, c);
    return ~c;
}
