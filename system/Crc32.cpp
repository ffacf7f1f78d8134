#include "system/Crc32.h"

#include <zlib.h>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <cpuid.h>
#include <immintrin.h>
#define CRC32_FOLDING
#endif

namespace {

#ifdef CRC32_FOLDING

// The data is folded 64 bytes at a time into four 128-bit lanes by
// carry-less multiplication with powers of x modulo the polynomial, the
// lanes into one, that one to 32 bits by Barrett reduction (Intel's "Fast
// CRC Computation for Generic Polynomials Using PCLMULQDQ"). The constants
// are those powers for the bit-reflected zip polynomial 0x1DB710641.
constexpr long long kFold64Low = 0x154442bd4, kFold64High = 0x1c6e41596;
constexpr long long kFold16Low = 0x1751997d0, kFold16High = 0x0ccaa009e;
constexpr long long kFold32 = 0x163cd6124;
constexpr long long kPolynomial = 0x1db710641, kBarrett = 0x1f7011641;

bool hasFolding()
{
    static const bool supported = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_PCLMUL) && (c & bit_SSE4_1);
    }();
    return supported;
}

__attribute__((target("pclmul,sse4.1"))) __m128i load(const unsigned char* data)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
}

__attribute__((target("pclmul,sse4.1"))) __m128i fold(__m128i lane, __m128i constants, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(lane, constants, 0x00),
                                       _mm_clmulepi64_si128(lane, constants, 0x11)),
                         next);
}

// CRC without zlib's inversions; SIZE is at least 64 and a multiple of 16.
__attribute__((target("pclmul,sse4.1"))) uint32_t foldedCrc(uint32_t crc, const unsigned char* data, size_t size)
{
    const __m128i fold64 = _mm_set_epi64x(kFold64High, kFold64Low);
    const __m128i fold16 = _mm_set_epi64x(kFold16High, kFold16Low);
    __m128i x1 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = load(data + 16);
    __m128i x3 = load(data + 32);
    __m128i x4 = load(data + 48);
    for (data += 64, size -= 64; size >= 64; data += 64, size -= 64) {
        x1 = fold(x1, fold64, load(data));
        x2 = fold(x2, fold64, load(data + 16));
        x3 = fold(x3, fold64, load(data + 32));
        x4 = fold(x4, fold64, load(data + 48));
    }
    x1 = fold(fold(fold(x1, fold16, x2), fold16, x3), fold16, x4);
    for (; size >= 16; data += 16, size -= 16)
        x1 = fold(x1, fold16, load(data));

    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, fold16, 0x10));
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 4),
                       _mm_clmulepi64_si128(_mm_and_si128(x1, low32), _mm_set_epi64x(0, kFold32), 0x00));
    const __m128i reduction = _mm_set_epi64x(kBarrett, kPolynomial);
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), reduction, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), reduction, 0x00);
    return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, t), 1));
}

#endif

} // namespace

uint32_t crc32Update(uint32_t crc, const unsigned char* data, size_t size)
{
#ifdef CRC32_FOLDING
    if (size >= 64 && hasFolding()) {
        const size_t folded = size & ~size_t(15);
        crc = ~foldedCrc(~crc, data, folded);
        data += folded;
        size -= folded;
    }
#endif
    return static_cast<uint32_t>(crc32_z(crc, data, size));
}
