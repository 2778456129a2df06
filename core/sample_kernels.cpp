// Inner loops of the peak scan and the normalization. Each has a plain form and, on x86-64,
// an SSE2 form (the baseline) and an AVX2 form chosen at run time. Every form computes the
// same bytes: products are taken in double precision and truncated toward zero, exactly as
// the plain loops do (orva_core is built with -ffp-contract=off so that no form fuses
// operations the others round separately).

#include "core/normalize.h"
#include "core/peak_scan.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ORVA_X86_KERNELS 1
#include <immintrin.h>
#endif

namespace orva {
namespace {

int16_t LoadWord(const uint8_t* p) { return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8))); }

void StoreWord(uint8_t* p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

// Plain loops over [begin, end) of the samples; the vector forms use them for the remainder.
void ScaleWordsScalar(uint8_t* data, size_t begin, size_t end, double gain)
{
    for (size_t i = begin; i < end; ++i) {
        const double product = LoadWord(data + 2 * i) * gain;
        StoreWord(data + 2 * i, static_cast<uint32_t>(static_cast<int32_t>(product)));
    }
}

void WordRangeScalar(const uint8_t* data, size_t begin, size_t end, int& low, int& high)
{
    for (size_t i = begin; i < end; ++i) {
        const int v = LoadWord(data + 2 * i);
        low = std::min(low, v);
        high = std::max(high, v);
    }
}

void ByteRangeScalar(const uint8_t* data, size_t begin, size_t end, int& low, int& high)
{
    for (size_t i = begin; i < end; ++i) {
        low = std::min<int>(low, data[i]);
        high = std::max<int>(high, data[i]);
    }
}

#ifdef ORVA_X86_KERNELS

std::atomic<bool> g_baselineOnly { false };

bool HaveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2");
    return have && !g_baselineOnly.load(std::memory_order_relaxed);
}

// Keeps the low 16 bits of each 32-bit lane, sign-extended, so that the signed pack that
// follows never saturates: the result is the low 16 bits of the truncated product.
inline __m128i Low16(__m128i v) { return _mm_srai_epi32(_mm_slli_epi32(v, 16), 16); }

void ScaleWordsSse2(uint8_t* data, size_t words, double gain)
{
    const __m128d g = _mm_set1_pd(gain);
    size_t i = 0;
    for (; i + 8 <= words; i += 8) {
        auto* p = reinterpret_cast<__m128i*>(data + 2 * i);
        const __m128i v = _mm_loadu_si128(p);
        const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
        const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16);
        const __m128i r0 = _mm_cvttpd_epi32(_mm_mul_pd(_mm_cvtepi32_pd(lo), g));
        const __m128i r1 = _mm_cvttpd_epi32(_mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(lo, 0x0E)), g));
        const __m128i r2 = _mm_cvttpd_epi32(_mm_mul_pd(_mm_cvtepi32_pd(hi), g));
        const __m128i r3 = _mm_cvttpd_epi32(_mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(hi, 0x0E)), g));
        const __m128i a = Low16(_mm_unpacklo_epi64(r0, r1));
        const __m128i b = Low16(_mm_unpacklo_epi64(r2, r3));
        _mm_storeu_si128(p, _mm_packs_epi32(a, b));
    }
    ScaleWordsScalar(data, i, words, gain);
}

__attribute__((target("avx2"))) void ScaleWordsAvx2(uint8_t* data, size_t words, double gain)
{
    const __m256d g = _mm256_set1_pd(gain);
    size_t i = 0;
    for (; i + 16 <= words; i += 16) {
        auto* p = reinterpret_cast<__m256i*>(data + 2 * i);
        const __m256i v = _mm256_loadu_si256(p);
        const __m256i a32 = _mm256_cvtepi16_epi32(_mm256_castsi256_si128(v));
        const __m256i b32 = _mm256_cvtepi16_epi32(_mm256_extracti128_si256(v, 1));
        const __m128i r0 =
            _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(a32)), g));
        const __m128i r1 =
            _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(a32, 1)), g));
        const __m128i r2 =
            _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(b32)), g));
        const __m128i r3 =
            _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(b32, 1)), g));
        __m256i a = _mm256_inserti128_si256(_mm256_castsi128_si256(r0), r1, 1);
        __m256i b = _mm256_inserti128_si256(_mm256_castsi128_si256(r2), r3, 1);
        a = _mm256_srai_epi32(_mm256_slli_epi32(a, 16), 16);
        b = _mm256_srai_epi32(_mm256_slli_epi32(b, 16), 16);
        // The pack works per 128-bit lane; the permute restores the sample order.
        _mm256_storeu_si256(p, _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8));
    }
    ScaleWordsScalar(data, i, words, gain);
}

void WordRangeSse2(const uint8_t* data, size_t words, int& low, int& high)
{
    __m128i mn = _mm_setzero_si128();
    __m128i mx = _mm_setzero_si128();
    size_t i = 0;
    for (; i + 8 <= words; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 2 * i));
        mn = _mm_min_epi16(mn, v);
        mx = _mm_max_epi16(mx, v);
    }
    alignas(16) int16_t lows[8];
    alignas(16) int16_t highs[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(lows), mn);
    _mm_store_si128(reinterpret_cast<__m128i*>(highs), mx);
    for (int k = 0; k < 8; ++k) {
        low = std::min<int>(low, lows[k]);
        high = std::max<int>(high, highs[k]);
    }
    WordRangeScalar(data, i, words, low, high);
}

__attribute__((target("avx2"))) void WordRangeAvx2(const uint8_t* data, size_t words, int& low, int& high)
{
    __m256i mn = _mm256_setzero_si256();
    __m256i mx = _mm256_setzero_si256();
    size_t i = 0;
    for (; i + 16 <= words; i += 16) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 2 * i));
        mn = _mm256_min_epi16(mn, v);
        mx = _mm256_max_epi16(mx, v);
    }
    alignas(32) int16_t lows[16];
    alignas(32) int16_t highs[16];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lows), mn);
    _mm256_store_si256(reinterpret_cast<__m256i*>(highs), mx);
    for (int k = 0; k < 16; ++k) {
        low = std::min<int>(low, lows[k]);
        high = std::max<int>(high, highs[k]);
    }
    WordRangeScalar(data, i, words, low, high);
}

void ByteRangeSse2(const uint8_t* data, size_t count, int& low, int& high)
{
    __m128i mn = _mm_set1_epi8(static_cast<char>(0x80));
    __m128i mx = mn;
    size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        mn = _mm_min_epu8(mn, v);
        mx = _mm_max_epu8(mx, v);
    }
    alignas(16) uint8_t lows[16];
    alignas(16) uint8_t highs[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(lows), mn);
    _mm_store_si128(reinterpret_cast<__m128i*>(highs), mx);
    for (int k = 0; k < 16; ++k) {
        low = std::min<int>(low, lows[k]);
        high = std::max<int>(high, highs[k]);
    }
    ByteRangeScalar(data, i, count, low, high);
}

#endif  // ORVA_X86_KERNELS

}  // namespace

void UseBaselineKernelsOnly(bool baselineOnly)
{
#ifdef ORVA_X86_KERNELS
    g_baselineOnly.store(baselineOnly, std::memory_order_relaxed);
#else
    (void)baselineOnly;
#endif
}

int MaxMagnitude(const uint8_t* data, size_t byteCount, bool eightBit)
{
    if (eightBit) {
        int low = 128;
        int high = 128;
#ifdef ORVA_X86_KERNELS
        ByteRangeSse2(data, byteCount, low, high);
#else
        ByteRangeScalar(data, 0, byteCount, low, high);
#endif
        return std::max(high - 128, 128 - low);
    }
    const size_t words = byteCount / 2;
    int low = 0;
    int high = 0;
#ifdef ORVA_X86_KERNELS
    if (HaveAvx2())
        WordRangeAvx2(data, words, low, high);
    else
        WordRangeSse2(data, words, low, high);
#else
    WordRangeScalar(data, 0, words, low, high);
#endif
    return std::max(high, -low);
}

size_t FirstSampleWithMagnitude(const uint8_t* data, size_t byteCount, bool eightBit, int magnitude)
{
    if (eightBit) {
        for (size_t i = 0; i < byteCount; ++i) {
            if (std::abs(data[i] - 128) == magnitude)
                return i;
        }
        return byteCount;
    }
    const size_t words = byteCount / 2;
    for (size_t i = 0; i < words; ++i) {
        if (std::abs(static_cast<int>(LoadWord(data + 2 * i))) == magnitude)
            return i;
    }
    return words;
}

void ScaleSamples8(uint8_t* data, size_t byteCount, double gain)
{
    // 256 possible bytes: one table per call, then one lookup per sample.
    uint8_t table[256];
    for (int b = 0; b < 256; ++b) {
        const double product = (b - 128) * gain;
        table[b] = static_cast<uint8_t>(static_cast<uint32_t>(static_cast<int32_t>(product + 128.0)));
    }
    for (size_t i = 0; i < byteCount; ++i)
        data[i] = table[data[i]];
}

void ScaleSamples16Scalar(uint8_t* data, size_t byteCount, double gain)
{
    ScaleWordsScalar(data, 0, byteCount / 2, gain);
}

void ScaleSamples16(uint8_t* data, size_t byteCount, double gain)
{
#ifdef ORVA_X86_KERNELS
    if (HaveAvx2())
        ScaleWordsAvx2(data, byteCount / 2, gain);
    else
        ScaleWordsSse2(data, byteCount / 2, gain);
#else
    ScaleSamples16Scalar(data, byteCount, gain);
#endif
}

}  // namespace orva
