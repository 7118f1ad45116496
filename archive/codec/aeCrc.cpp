// CRC-16/ARC and CRC-32 (zip/gzip). The one-table loops are the reference; Crc32Update
// folds 512-, 256- or 128-bit lanes with carry-less multiplication, the widest the CPU has
// (asked once at run time), and uses slicing-by-16 tables elsewhere and for the tails.
// Every path gives identical values.
#include "archive/aeCommon.h"
#include "archive/codec/aeCrcPaths.h"

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
// Folding with carry-less multiplication for the reflected polynomial 0xEDB88320 (the
// method of Intel's "Fast CRC Computation for Generic Polynomials Using PCLMULQDQ"). A
// 128-bit lane is carried D bits forward by multiplying its two halves by x^(D+32) and
// x^(D-32) mod P(x); the constants are those remainders bit-reflected and shifted by one.
constexpr uint64_t xPowMod(unsigned n) {
    uint64_t r = 1;
    for (unsigned i = 0; i < n; ++i) {
        r <<= 1;
        if (r & (uint64_t{1} << 32)) r ^= 0x104C11DB7u;
    }
    return r;
}
constexpr uint64_t foldConstant(unsigned n) {
    const uint64_t v = xPowMod(n);
    uint64_t r = 0;
    for (unsigned i = 0; i < 32; ++i)
        if (v & (uint64_t{1} << i)) r |= uint64_t{1} << (31 - i);
    return r << 1;
}
static_assert(foldConstant(4 * 128 + 32) == 0x0154442bd4 && foldConstant(128 - 32) == 0x00ccaa009e &&
                  foldConstant(64) == 0x0163cd6124,
              "fold constants follow the published ones");

// The pair that carries a lane `bits` forward: low half times x^(bits+32), high half
// times x^(bits-32).
template <unsigned Bits> __attribute__((target("pclmul,sse4.1"))) inline __m128i foldPair128() {
    return _mm_set_epi64x(static_cast<long long>(foldConstant(Bits - 32)),
                          static_cast<long long>(foldConstant(Bits + 32)));
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i fold128(__m128i acc, __m128i k, __m128i next) {
    const __m128i lo = _mm_clmulepi64_si128(acc, k, 0x00);
    const __m128i hi = _mm_clmulepi64_si128(acc, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(hi, lo), next);
}

inline const __m128i* asM128(const uint8_t* p) {
    return reinterpret_cast<const __m128i*>(p);
}

// Folds the remaining whole 16-byte blocks into x1, then reduces the 128 bits to the
// 32-bit register. Consumes a multiple of 16 bytes of p/n.
__attribute__((target("pclmul,sse4.1"))) uint32_t finish128(__m128i x1, const uint8_t*& p, size_t& n) {
    __m128i x0 = foldPair128<128>();
    while (n >= 16) {
        x1 = fold128(x1, x0, _mm_loadu_si128(asM128(p)));
        p += 16;
        n -= 16;
    }
    alignas(16) static const uint64_t k5k0[2] = {foldConstant(64), 0};        // x^64
    alignas(16) static const uint64_t poly[2] = {0x01db710641, 0x01f7011641}; // P(x), Barrett mu

    // 128 bits to 64.
    __m128i x2 = _mm_clmulepi64_si128(x1, x0, 0x10);
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
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

// Four 128-bit lanes, 64 bytes a round. Needs n >= 64; leaves fewer than 16 bytes.
__attribute__((target("pclmul,sse4.1"))) uint32_t crc32Clmul(const uint8_t*& p, size_t& n, uint32_t crc) {
    __m128i x1 = _mm_loadu_si128(asM128(p + 0x00));
    __m128i x2 = _mm_loadu_si128(asM128(p + 0x10));
    __m128i x3 = _mm_loadu_si128(asM128(p + 0x20));
    __m128i x4 = _mm_loadu_si128(asM128(p + 0x30));
    x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(static_cast<int>(crc)));
    const __m128i k = foldPair128<4 * 128>();
    p += 64;
    n -= 64;
    while (n >= 64) {
        x1 = fold128(x1, k, _mm_loadu_si128(asM128(p + 0x00)));
        x2 = fold128(x2, k, _mm_loadu_si128(asM128(p + 0x10)));
        x3 = fold128(x3, k, _mm_loadu_si128(asM128(p + 0x20)));
        x4 = fold128(x4, k, _mm_loadu_si128(asM128(p + 0x30)));
        p += 64;
        n -= 64;
    }
    const __m128i k1 = foldPair128<128>();
    x1 = fold128(x1, k1, x2);
    x1 = fold128(x1, k1, x3);
    x1 = fold128(x1, k1, x4);
    return finish128(x1, p, n);
}

// The same with 256-bit lanes (VPCLMULQDQ with AVX2): four lanes, 128 bytes a round.
// Needs n >= 128.
#define AE_TARGET_V256 __attribute__((target("avx2,vpclmulqdq,pclmul,sse4.1")))
AE_TARGET_V256 inline __m256i fold256(__m256i acc, __m256i k, __m256i next) {
    const __m256i lo = _mm256_clmulepi64_epi128(acc, k, 0x00);
    const __m256i hi = _mm256_clmulepi64_epi128(acc, k, 0x11);
    return _mm256_xor_si256(_mm256_xor_si256(hi, lo), next);
}
AE_TARGET_V256 inline __m256i load256(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
AE_TARGET_V256 uint32_t crc32Vclmul256(const uint8_t*& p, size_t& n, uint32_t crc) {
    __m256i x1 = load256(p), x2 = load256(p + 32), x3 = load256(p + 64), x4 = load256(p + 96);
    x1 = _mm256_xor_si256(x1, _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(crc))));
    const __m256i k = _mm256_broadcastsi128_si256(foldPair128<4 * 256>());
    p += 128;
    n -= 128;
    while (n >= 128) {
        x1 = fold256(x1, k, load256(p));
        x2 = fold256(x2, k, load256(p + 32));
        x3 = fold256(x3, k, load256(p + 64));
        x4 = fold256(x4, k, load256(p + 96));
        p += 128;
        n -= 128;
    }
    const __m256i k1 = _mm256_broadcastsi128_si256(foldPair128<256>());
    x1 = fold256(x1, k1, x2);
    x1 = fold256(x1, k1, x3);
    x1 = fold256(x1, k1, x4);
    while (n >= 32) {
        x1 = fold256(x1, k1, load256(p));
        p += 32;
        n -= 32;
    }
    const __m128i y =
        fold128(_mm256_castsi256_si128(x1), foldPair128<128>(), _mm256_extracti128_si256(x1, 1));
    return finish128(y, p, n);
}

// And with 512-bit lanes (AVX-512): four lanes, 256 bytes a round, the three-way xor in
// one ternary-logic instruction. Needs n >= 256.
#define AE_TARGET_V512 __attribute__((target("avx512f,avx512vl,vpclmulqdq,avx2,pclmul,sse4.1")))
AE_TARGET_V512 inline __m512i fold512(__m512i acc, __m512i k, __m512i next) {
    const __m512i lo = _mm512_clmulepi64_epi128(acc, k, 0x00);
    const __m512i hi = _mm512_clmulepi64_epi128(acc, k, 0x11);
    return _mm512_ternarylogic_epi64(hi, lo, next, 0x96);
}
AE_TARGET_V512 inline __m512i load512(const uint8_t* p) {
    return _mm512_loadu_si512(p);
}
AE_TARGET_V512 uint32_t crc32Vclmul512(const uint8_t*& p, size_t& n, uint32_t crc) {
    __m512i x1 = load512(p), x2 = load512(p + 64), x3 = load512(p + 128), x4 = load512(p + 192);
    x1 = _mm512_xor_si512(x1, _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(crc))));
    const __m512i k = _mm512_maskz_broadcast_i32x4(0xFFFF, foldPair128<4 * 512>());
    p += 256;
    n -= 256;
    while (n >= 256) {
        x1 = fold512(x1, k, load512(p));
        x2 = fold512(x2, k, load512(p + 64));
        x3 = fold512(x3, k, load512(p + 128));
        x4 = fold512(x4, k, load512(p + 192));
        p += 256;
        n -= 256;
    }
    const __m512i k1 = _mm512_maskz_broadcast_i32x4(0xFFFF, foldPair128<512>());
    x1 = fold512(x1, k1, x2);
    x1 = fold512(x1, k1, x3);
    x1 = fold512(x1, k1, x4);
    while (n >= 64) {
        x1 = fold512(x1, k1, load512(p));
        p += 64;
        n -= 64;
    }
    const __m128i k128 = foldPair128<128>();
    __m128i y = _mm512_maskz_extracti32x4_epi32(0xF, x1, 0);
    y = fold128(y, k128, _mm512_maskz_extracti32x4_epi32(0xF, x1, 1));
    y = fold128(y, k128, _mm512_maskz_extracti32x4_epi32(0xF, x1, 2));
    y = fold128(y, k128, _mm512_maskz_extracti32x4_epi32(0xF, x1, 3));
    return finish128(y, p, n);
}
#endif

using aecrc::Crc32Path;

bool pathAvailable(Crc32Path path) {
    switch (path) {
    case Crc32Path::Table:
    case Crc32Path::Slice16:
        return true;
#ifdef AE_CRC_X86
    case Crc32Path::Clmul128:
        return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    case Crc32Path::Clmul256:
        return pathAvailable(Crc32Path::Clmul128) && __builtin_cpu_supports("avx2") &&
               __builtin_cpu_supports("vpclmulqdq");
    case Crc32Path::Clmul512:
        return pathAvailable(Crc32Path::Clmul256) && __builtin_cpu_supports("avx512f") &&
               __builtin_cpu_supports("avx512vl");
#endif
    default:
        return false;
    }
}

uint32_t tableLoop(const uint8_t* p, size_t n, uint32_t c) {
    for (size_t i = 0; i < n; ++i) c = Crc32Table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return c;
}

// Each path takes the longest run it folds well and leaves the rest to the next one down.
uint32_t updateWith(Crc32Path path, const uint8_t* p, size_t n, uint32_t c) {
    if (path == Crc32Path::Table) return tableLoop(p, n, c);
#ifdef AE_CRC_X86
    // Wider lanes pay only on longer runs: a short buffer still takes the 128-bit loop.
    if (path == Crc32Path::Clmul512 && n >= 1024) c = crc32Vclmul512(p, n, c);
    if (path >= Crc32Path::Clmul256 && n >= 512) c = crc32Vclmul256(p, n, c);
    if (path >= Crc32Path::Clmul128 && n >= 64) c = crc32Clmul(p, n, c);
#endif
    return crc32Slice16(p, n, c);
}

Crc32Path bestPath() {
    for (auto path : {Crc32Path::Clmul512, Crc32Path::Clmul256, Crc32Path::Clmul128})
        if (pathAvailable(path)) return path;
    return Crc32Path::Slice16;
}

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
    static const Crc32Path best = bestPath();
    if (Count == 0) return;
    Crc = updateWith(best, static_cast<const uint8_t*>(Buffer), Count, Crc);
}

namespace aecrc {
bool Crc32PathAvailable(Crc32Path Path) {
    return pathAvailable(Path);
}
void Crc32UpdateWith(Crc32Path Path, const void* Buffer, size_t Count, uint32_t& Crc) {
    Crc = updateWith(Path, static_cast<const uint8_t*>(Buffer), Count, Crc);
}
} // namespace aecrc

uint32_t Crc32Of(const void* Buffer, size_t Count) {
    uint32_t c = 0xFFFFFFFFu;
    Crc32Update(Buffer, Count, c);
    return ~c;
}
