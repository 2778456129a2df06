// Inner loops of the peak scan and the normalization. Each has a plain form and, on x86-64,
// an SSE2 form (the baseline) and an AVX2 form chosen at run time. Every form computes the
// same bytes: products are taken in double precision and truncated toward zero, exactly as
// the plain loops do (orva_core is built with -ffp-contract=off so that no form fuses
// operations the others round separately).

#include "core/sample_kernels.h"

#include "core/normalize.h"
#include "core/peak_scan.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
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
// Products of a 16-bit sample and a gain of at most 32,767 stay within int32; one that
// leaves the sample range (a peak given lower than the real one) lands on full scale.
void ScaleWordsScalar(uint8_t* data, size_t begin, size_t end, double gain)
{
    for (size_t i = begin; i < end; ++i) {
        const double product = LoadWord(data + 2 * i) * gain;
        const int32_t v = std::clamp<int32_t>(static_cast<int32_t>(product), -32768, 32767);
        StoreWord(data + 2 * i, static_cast<uint32_t>(v));
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

// Every AVX2 form ends with _mm256_zeroupper(): the compiler leaves it out before a tail call
// to the plain remainder, and SSE code run with the upper YMM halves dirty (the loudness
// library's loops among it) pays a state transition on every instruction.
bool HaveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2");
    return have && !g_baselineOnly.load(std::memory_order_relaxed);
}

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
        // The signed pack saturates: products beyond the range land on full scale.
        const __m128i a = _mm_unpacklo_epi64(r0, r1);
        const __m128i b = _mm_unpacklo_epi64(r2, r3);
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
        const __m256i a = _mm256_inserti128_si256(_mm256_castsi128_si256(r0), r1, 1);
        const __m256i b = _mm256_inserti128_si256(_mm256_castsi128_si256(r2), r3, 1);
        // The pack saturates (full scale for products beyond the range) and works per
        // 128-bit lane; the permute restores the sample order.
        _mm256_storeu_si256(p, _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8));
    }
    _mm256_zeroupper();
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
    _mm256_zeroupper();
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
        table[b] = static_cast<uint8_t>(std::clamp<int32_t>(static_cast<int32_t>(product + 128.0), 0, 255));
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

// ---- 24-bit, 32-bit and float samples ----

namespace {

int32_t LoadS24(const uint8_t* p)
{
    const uint32_t u = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8)
        | (static_cast<uint32_t>(p[2]) << 16);
    return static_cast<int32_t>(u << 8) >> 8;
}

void StoreS24(uint8_t* p, int32_t v)
{
    const auto u = static_cast<uint32_t>(v);
    p[0] = static_cast<uint8_t>(u);
    p[1] = static_cast<uint8_t>(u >> 8);
    p[2] = static_cast<uint8_t>(u >> 16);
}

int32_t LoadS32(const uint8_t* p)
{
    uint32_t u;
    std::memcpy(&u, p, 4);  // x86-64 and every other target here is little-endian
    return static_cast<int32_t>(u);
}

constexpr double kS24Low = -8388608.0;
constexpr double kS24High = 8388607.0;
constexpr double kS32Low = -2147483648.0;
constexpr double kS32High = 2147483647.0;

// Truncation toward zero, then the range: clamping the product in double first gives the
// same integer and keeps the conversion defined.
inline int32_t ScaleInteger(int32_t v, double gain, double low, double high)
{
    return static_cast<int32_t>(std::clamp(v * gain, low, high));
}

void ScaleS24Scalar(uint8_t* data, size_t begin, size_t end, double gain)
{
    for (size_t i = begin; i < end; ++i)
        StoreS24(data + 3 * i, ScaleInteger(LoadS24(data + 3 * i), gain, kS24Low, kS24High));
}

void ScaleS32Scalar(uint8_t* data, size_t begin, size_t end, double gain)
{
    for (size_t i = begin; i < end; ++i) {
        const uint32_t u =
            static_cast<uint32_t>(ScaleInteger(LoadS32(data + 4 * i), gain, kS32Low, kS32High));
        std::memcpy(data + 4 * i, &u, 4);
    }
}

template <typename Float> void ScaleFloatScalar(uint8_t* data, size_t begin, size_t end, double gain)
{
    for (size_t i = begin; i < end; ++i) {
        Float x;
        std::memcpy(&x, data + sizeof(Float) * i, sizeof(Float));
        if (!std::isfinite(x))
            continue;  // NaN payloads and infinities stay bit for bit
        const auto y = static_cast<Float>(std::clamp(static_cast<double>(x) * gain, -1.0, 1.0));
        std::memcpy(data + sizeof(Float) * i, &y, sizeof(Float));
    }
}

void RangeS24Scalar(const uint8_t* data, size_t begin, size_t end, int32_t& low, int32_t& high)
{
    for (size_t i = begin; i < end; ++i) {
        const int32_t v = LoadS24(data + 3 * i);
        low = std::min(low, v);
        high = std::max(high, v);
    }
}

void RangeS32Scalar(const uint8_t* data, size_t begin, size_t end, int32_t& low, int32_t& high)
{
    for (size_t i = begin; i < end; ++i) {
        const int32_t v = LoadS32(data + 4 * i);
        low = std::min(low, v);
        high = std::max(high, v);
    }
}

template <typename Float> double LevelScalar(const uint8_t* data, size_t begin, size_t end, double level)
{
    for (size_t i = begin; i < end; ++i) {
        Float x;
        std::memcpy(&x, data + sizeof(Float) * i, sizeof(Float));
        if (std::isfinite(x))
            level = std::max(level, static_cast<double>(std::fabs(x)));
    }
    return level;
}

void S24ToFloatScalar(const uint8_t* data, size_t count, float* out)
{
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = data + 3 * i;
        const auto v = static_cast<int32_t>(static_cast<uint32_t>(p[0] << 8 | p[1] << 16 | p[2] << 24)) >> 8;
        out[i] = static_cast<float>(v) * (1.0f / 8388608.0f);
    }
}

#ifdef ORVA_X86_KERNELS

// Four packed 24-bit samples per 128-bit lane (bytes 0..11) into the top three bytes of
// four 32-bit lanes; an arithmetic shift then sign-extends them.
__attribute__((target("avx2"))) inline __m256i UnpackS24(const uint8_t* p)
{
    const __m256i spread = _mm256_setr_epi8(-1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0, 1, 2,
                                            -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11);
    const __m256i v =
        _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)), 1);
    return _mm256_srai_epi32(_mm256_shuffle_epi8(v, spread), 8);
}

// Groups of 8 samples read 28 bytes from the group's start: stop while 10 samples remain.
constexpr size_t kS24Lookahead = 10;

__attribute__((target("avx2"))) void RangeS24Avx2(const uint8_t* data, size_t count, int32_t& low,
                                                  int32_t& high)
{
    __m256i mn = _mm256_setzero_si256();
    __m256i mx = _mm256_setzero_si256();
    size_t i = 0;
    for (; i + kS24Lookahead <= count; i += 8) {
        const __m256i v = UnpackS24(data + 3 * i);
        mn = _mm256_min_epi32(mn, v);
        mx = _mm256_max_epi32(mx, v);
    }
    alignas(32) int32_t lows[8];
    alignas(32) int32_t highs[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lows), mn);
    _mm256_store_si256(reinterpret_cast<__m256i*>(highs), mx);
    for (int k = 0; k < 8; ++k) {
        low = std::min(low, lows[k]);
        high = std::max(high, highs[k]);
    }
    _mm256_zeroupper();
    RangeS24Scalar(data, i, count, low, high);
}

__attribute__((target("avx2"))) void S24ToFloatAvx2(const uint8_t* data, size_t count, float* out)
{
    const __m256 scale = _mm256_set1_ps(1.0f / 8388608.0f);
    size_t i = 0;
    for (; i + kS24Lookahead <= count; i += 8)
        _mm256_storeu_ps(out + i, _mm256_mul_ps(_mm256_cvtepi32_ps(UnpackS24(data + 3 * i)), scale));
    _mm256_zeroupper();
    S24ToFloatScalar(data + 3 * i, count - i, out + i);
}

__attribute__((target("avx2"))) void RangeS32Avx2(const uint8_t* data, size_t count, int32_t& low,
                                                  int32_t& high)
{
    __m256i mn = _mm256_setzero_si256();
    __m256i mx = _mm256_setzero_si256();
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 4 * i));
        mn = _mm256_min_epi32(mn, v);
        mx = _mm256_max_epi32(mx, v);
    }
    alignas(32) int32_t lows[8];
    alignas(32) int32_t highs[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lows), mn);
    _mm256_store_si256(reinterpret_cast<__m256i*>(highs), mx);
    for (int k = 0; k < 8; ++k) {
        low = std::min(low, lows[k]);
        high = std::max(high, highs[k]);
    }
    _mm256_zeroupper();
    RangeS32Scalar(data, i, count, low, high);
}

// Non-negative floats order like their bit patterns; |x| below infinity's pattern is finite.
__attribute__((target("avx2"))) double LevelF32Avx2(const uint8_t* data, size_t count)
{
    const __m256i absMask = _mm256_set1_epi32(0x7FFFFFFF);
    const __m256i infinity = _mm256_set1_epi32(0x7F800000);
    __m256i mx = _mm256_setzero_si256();
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i v =
            _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 4 * i)), absMask);
        mx = _mm256_max_epi32(mx, _mm256_and_si256(v, _mm256_cmpgt_epi32(infinity, v)));
    }
    alignas(32) float highs[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(highs), mx);
    double level = 0.0;
    for (float h : highs)
        level = std::max(level, static_cast<double>(h));
    _mm256_zeroupper();
    return LevelScalar<float>(data, i, count, level);
}

__attribute__((target("avx2"))) double LevelF64Avx2(const uint8_t* data, size_t count)
{
    const __m256d absMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFFLL));
    const __m256d infinity = _mm256_set1_pd(HUGE_VAL);
    __m256d mx = _mm256_setzero_pd();
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m256d v =
            _mm256_and_pd(_mm256_loadu_pd(reinterpret_cast<const double*>(data + 8 * i)), absMask);
        mx = _mm256_max_pd(mx, _mm256_and_pd(v, _mm256_cmp_pd(v, infinity, _CMP_LT_OQ)));
    }
    alignas(32) double highs[4];
    _mm256_store_pd(highs, mx);
    double level = 0.0;
    for (double h : highs)
        level = std::max(level, h);
    _mm256_zeroupper();
    return LevelScalar<double>(data, i, count, level);
}

// Eight int32 lanes times gain, clamped, truncated back to int32.
__attribute__((target("avx2"))) inline __m256i ScaleLanes(__m256i v, __m256d g, __m256d low, __m256d high)
{
    const __m256d a = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(v)), g);
    const __m256d b = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(v, 1)), g);
    const __m128i ra = _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(a, low), high));
    const __m128i rb = _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(b, low), high));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(ra), rb, 1);
}

__attribute__((target("avx2"))) void ScaleS24Avx2(uint8_t* data, size_t count, double gain)
{
    const __m256d g = _mm256_set1_pd(gain);
    const __m256d low = _mm256_set1_pd(kS24Low);
    const __m256d high = _mm256_set1_pd(kS24High);
    // The low three bytes of each 32-bit lane, packed to the front of each 128-bit lane.
    const __m256i gather = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2,
                                            4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    size_t i = 0;
    for (; i + kS24Lookahead <= count; i += 8) {
        uint8_t* p = data + 3 * i;
        const __m256i packed = _mm256_shuffle_epi8(ScaleLanes(UnpackS24(p), g, low, high), gather);
        // The first lane's 16-byte store spills 4 bytes that the second lane then covers;
        // the second lane stores exactly 12 bytes, so the next group is untouched.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(packed));
        const __m128i upper = _mm256_extracti128_si256(packed, 1);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 12), upper);
        const int32_t last = _mm_cvtsi128_si32(_mm_srli_si128(upper, 8));
        std::memcpy(p + 20, &last, 4);
    }
    _mm256_zeroupper();
    ScaleS24Scalar(data, i, count, gain);
}

__attribute__((target("avx2"))) void ScaleS32Avx2(uint8_t* data, size_t count, double gain)
{
    const __m256d g = _mm256_set1_pd(gain);
    const __m256d low = _mm256_set1_pd(kS32Low);
    const __m256d high = _mm256_set1_pd(kS32High);
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        auto* p = reinterpret_cast<__m256i*>(data + 4 * i);
        _mm256_storeu_si256(p, ScaleLanes(_mm256_loadu_si256(p), g, low, high));
    }
    _mm256_zeroupper();
    ScaleS32Scalar(data, i, count, gain);
}

__attribute__((target("avx2"))) void ScaleF32Avx2(uint8_t* data, size_t count, double gain)
{
    const __m256d g = _mm256_set1_pd(gain);
    const __m256d low = _mm256_set1_pd(-1.0);
    const __m256d high = _mm256_set1_pd(1.0);
    const __m256 absMask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
    const __m256 infinity = _mm256_set1_ps(HUGE_VALF);
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        auto* p = reinterpret_cast<float*>(data + 4 * i);
        const __m256 x = _mm256_loadu_ps(p);
        const __m256d a = _mm256_mul_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(x)), g);
        const __m256d b = _mm256_mul_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(x, 1)), g);
        const __m128 ra = _mm256_cvtpd_ps(_mm256_min_pd(_mm256_max_pd(a, low), high));
        const __m128 rb = _mm256_cvtpd_ps(_mm256_min_pd(_mm256_max_pd(b, low), high));
        const __m256 scaled = _mm256_insertf128_ps(_mm256_castps128_ps256(ra), rb, 1);
        const __m256 finite = _mm256_cmp_ps(_mm256_and_ps(x, absMask), infinity, _CMP_LT_OQ);
        _mm256_storeu_ps(p, _mm256_blendv_ps(x, scaled, finite));
    }
    _mm256_zeroupper();
    ScaleFloatScalar<float>(data, i, count, gain);
}

__attribute__((target("avx2"))) void ScaleF64Avx2(uint8_t* data, size_t count, double gain)
{
    const __m256d g = _mm256_set1_pd(gain);
    const __m256d low = _mm256_set1_pd(-1.0);
    const __m256d high = _mm256_set1_pd(1.0);
    const __m256d absMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFFLL));
    const __m256d infinity = _mm256_set1_pd(HUGE_VAL);
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        auto* p = reinterpret_cast<double*>(data + 8 * i);
        const __m256d x = _mm256_loadu_pd(p);
        const __m256d scaled = _mm256_min_pd(_mm256_max_pd(_mm256_mul_pd(x, g), low), high);
        const __m256d finite = _mm256_cmp_pd(_mm256_and_pd(x, absMask), infinity, _CMP_LT_OQ);
        _mm256_storeu_pd(p, _mm256_blendv_pd(x, scaled, finite));
    }
    _mm256_zeroupper();
    ScaleFloatScalar<double>(data, i, count, gain);
}

#endif  // ORVA_X86_KERNELS

}  // namespace

double SamplePeak::Dbfs() const
{
    if (IsSilent())
        return -HUGE_VAL;
    const double value = IsFloatFormat(format) ? level : static_cast<double>(magnitude);
    return 20.0 * std::log10(value / FullScale(format));
}

std::string PeakText(const SamplePeak& peak)
{
    char text[40];
    if (peak.format == SampleFormat::F32)
        std::snprintf(text, sizeof text, "%.9g", peak.level);
    else if (peak.format == SampleFormat::F64)
        std::snprintf(text, sizeof text, "%.17g", peak.level);
    else
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(peak.Integer()));
    return text;
}

double FullScale(SampleFormat format)
{
    switch (format) {
    case SampleFormat::U8:
        return 127.0;
    case SampleFormat::S16:
        return 32767.0;
    case SampleFormat::S24:
        return kS24High;
    case SampleFormat::S32:
        return kS32High;
    default:
        return 1.0;
    }
}

double NormalizeGainFor(const SamplePeak& peak)
{
    if (IsFloatFormat(peak.format))
        return peak.level > 0.0 ? 1.0 / peak.level : 1.0;
    const double full = FullScale(peak.format);
    return full / std::min(static_cast<double>(peak.Integer()), full);
}

void S24ToFloat(const uint8_t* data, size_t count, float* out)
{
#ifdef ORVA_X86_KERNELS
    if (HaveAvx2())
        return S24ToFloatAvx2(data, count, out);
#endif
    S24ToFloatScalar(data, count, out);
}

int64_t MaxIntegerMagnitude(const uint8_t* data, size_t byteCount, SampleFormat format)
{
    if (format == SampleFormat::U8 || format == SampleFormat::S16)
        return MaxMagnitude(data, byteCount, format == SampleFormat::U8);
    int32_t low = 0;
    int32_t high = 0;
    if (format == SampleFormat::S24) {
#ifdef ORVA_X86_KERNELS
        if (HaveAvx2())
            RangeS24Avx2(data, byteCount / 3, low, high);
        else
#endif
            RangeS24Scalar(data, 0, byteCount / 3, low, high);
    } else if (format == SampleFormat::S32) {
#ifdef ORVA_X86_KERNELS
        if (HaveAvx2())
            RangeS32Avx2(data, byteCount / 4, low, high);
        else
#endif
            RangeS32Scalar(data, 0, byteCount / 4, low, high);
    }
    return std::max<int64_t>(high, -static_cast<int64_t>(low));
}

double MaxFiniteLevel(const uint8_t* data, size_t byteCount, SampleFormat format)
{
    if (format == SampleFormat::F32) {
#ifdef ORVA_X86_KERNELS
        if (HaveAvx2())
            return LevelF32Avx2(data, byteCount / 4);
#endif
        return LevelScalar<float>(data, 0, byteCount / 4, 0.0);
    }
    if (format == SampleFormat::F64) {
#ifdef ORVA_X86_KERNELS
        if (HaveAvx2())
            return LevelF64Avx2(data, byteCount / 8);
#endif
        return LevelScalar<double>(data, 0, byteCount / 8, 0.0);
    }
    return 0.0;
}

double SampleValue(const uint8_t* sample, SampleFormat format)
{
    switch (format) {
    case SampleFormat::U8:
        return (sample[0] - 128) / 128.0;
    case SampleFormat::S16:
        return LoadWord(sample) / 32768.0;
    case SampleFormat::S24:
        return LoadS24(sample) / 8388608.0;
    case SampleFormat::S32:
        return LoadS32(sample) / 2147483648.0;
    case SampleFormat::F32: {
        float x;
        std::memcpy(&x, sample, 4);
        return x;
    }
    case SampleFormat::F64: {
        double x;
        std::memcpy(&x, sample, 8);
        return x;
    }
    default:
        return 0.0;
    }
}

size_t FirstSampleAtPeak(const uint8_t* data, size_t byteCount, const SamplePeak& peak)
{
    if (peak.format == SampleFormat::U8 || peak.format == SampleFormat::S16)
        return FirstSampleWithMagnitude(data, byteCount, peak.format == SampleFormat::U8,
                                        static_cast<int>(peak.magnitude));
    const size_t width = SampleBytes(peak.format);
    if (width == 0)
        return 0;
    const size_t count = byteCount / width;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = data + width * i;
        if (peak.format == SampleFormat::S24 && std::abs(int64_t { LoadS24(p) }) == peak.magnitude)
            return i;
        if (peak.format == SampleFormat::S32 && std::abs(int64_t { LoadS32(p) }) == peak.magnitude)
            return i;
        if (IsFloatFormat(peak.format) && std::fabs(SampleValue(p, peak.format)) == peak.level)
            return i;
    }
    return count;
}

void ScaleSamplesScalar(uint8_t* data, size_t byteCount, SampleFormat format, double gain)
{
    switch (format) {
    case SampleFormat::U8:
        ScaleSamples8(data, byteCount, gain);
        break;
    case SampleFormat::S16:
        ScaleSamples16Scalar(data, byteCount, gain);
        break;
    case SampleFormat::S24:
        ScaleS24Scalar(data, 0, byteCount / 3, gain);
        break;
    case SampleFormat::S32:
        ScaleS32Scalar(data, 0, byteCount / 4, gain);
        break;
    case SampleFormat::F32:
        ScaleFloatScalar<float>(data, 0, byteCount / 4, gain);
        break;
    case SampleFormat::F64:
        ScaleFloatScalar<double>(data, 0, byteCount / 8, gain);
        break;
    default:
        break;
    }
}

void ScaleSamples(uint8_t* data, size_t byteCount, SampleFormat format, double gain)
{
    if (format == SampleFormat::S16) {
        ScaleSamples16(data, byteCount, gain);
        return;
    }
#ifdef ORVA_X86_KERNELS
    if (HaveAvx2()) {
        switch (format) {
        case SampleFormat::S24:
            ScaleS24Avx2(data, byteCount / 3, gain);
            return;
        case SampleFormat::S32:
            ScaleS32Avx2(data, byteCount / 4, gain);
            return;
        case SampleFormat::F32:
            ScaleF32Avx2(data, byteCount / 4, gain);
            return;
        case SampleFormat::F64:
            ScaleF64Avx2(data, byteCount / 8, gain);
            return;
        default:
            break;
        }
    }
#endif
    ScaleSamplesScalar(data, byteCount, format, gain);
}

}  // namespace orva
