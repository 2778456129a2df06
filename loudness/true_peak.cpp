#include "loudness/true_peak.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ORVA_X86_KERNELS 1
#include <immintrin.h>
#endif

namespace orva {
namespace {

// The interpolation kernel: sinc(t) under a Kaiser window (beta 4) reaching 32 input samples
// either side, tabulated at 64 positions per input sample. Its error on a tone is below
// 0.0055 of the tone's amplitude (0.05 dB) up to 0.45 of the sample rate at every position,
// and it passes most of what lies between 0.45 and 0.5 (white noise reads about 0.1 dB
// below an ideal interpolation, against 0.3 dB with half the length); at whole positions it
// is the sample itself.
constexpr int kHalfTaps = 32;
constexpr int kTaps = 2 * kHalfTaps;
constexpr int kFine = 64;                 // tabulated positions per input sample
constexpr int kCoarse = 2;                // positions per input sample of the vectorized pass
constexpr int kStride = kFine / kCoarse;  // fine steps between two positions of that pass
constexpr double kKaiserBeta = 4.0;
constexpr size_t kBlockFrames = 1024;  // frames read per pass (fits the L1 cache)
// A position is read once the kHalfTaps samples after it have arrived, so the window keeps
// the last kTaps samples: kHalfTaps still to be read and the kHalfTaps before them.
constexpr size_t kLead = kTaps;
constexpr size_t kOverrun = 32;  // read, never used, by the vector pass past a block's end
// Samples kept from one block for the next: the positions of a part start one early.
constexpr size_t kHistory = kLead + 1;
constexpr size_t kPartPositions = 8 * kBlockFrames;  // positions of one channel measured as one part

// The nearest 2x position to the loudest point of the interpolated signal reads at least 0.58
// of it: the point is at most 1/4 sample away, and a signal whose spectrum ends at 0.6 of the
// rate (the kernel's stopband leaves little more) falls from its peak M by at most
// M (1 - cos(2 pi 0.6 t)) over a distance t. Crests on the 2x grid reading at least 0.55 of
// the loudest so far are searched finely; every other one is too quiet to hide a louder peak.
constexpr float kCandidate = 0.55f;
// The same bound for a 4x position: at most 1/8 sample away, at least 0.89.
constexpr float kNearCandidate = 0.85f;

struct Table {
    /// coeff[f][t] weighs sample i - (kHalfTaps - 1) + t for the position i + f / 64.
    alignas(32) float coeff[kFine][kTaps];
};

double BesselI0(double x)
{
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k < 50; ++k) {
        const double half = x / (2.0 * k);
        term *= half * half;
        sum += term;
    }
    return sum;
}

Table MakeTable()
{
    Table table;
    const double norm = BesselI0(kKaiserBeta);
    for (int f = 0; f < kFine; ++f) {
        for (int t = 0; t < kTaps; ++t) {
            const double x = static_cast<double>(f) / kFine - (t - (kHalfTaps - 1));
            double c = 0.0;
            if (f == 0) {
                c = t == kHalfTaps - 1 ? 1.0 : 0.0;  // whole positions: the sample, exactly
            } else if (std::fabs(x) < kHalfTaps) {
                const double r = x / kHalfTaps;
                c = std::sin(M_PI * x) / (M_PI * x) * BesselI0(kKaiserBeta * std::sqrt(1.0 - r * r)) / norm;
            }
            table.coeff[f][t] = static_cast<float>(c);
        }
    }
    return table;
}

const Table& Kernel()
{
    static const Table table = MakeTable();
    return table;
}

std::atomic<bool> g_vectorAllowed { true };

// The half-sample phase of one block: Half()[j] is the signal at window[kHalfTaps + j] plus
// half a sample (the whole positions are the samples themselves); Half()[-1] is the magnitude
// of the position before the block. The vector pass fills whole groups of 32, past its end.
struct Grid {
    static constexpr size_t kBefore = 8;  // keeps Half() aligned
    // A pass reads up to a block and the position before it, in whole groups of 32.
    static constexpr size_t kPositions = kBlockFrames + 32;
    alignas(32) float values[kBefore + kPositions];
    /// Bit (32 phase + i) of crest[k]: position (32 k + i, phase) reads at least the floor the
    /// pass was given and no less than the 2x positions either side; none past the block's end.
    uint64_t crest[kPositions / 32];

    float* Half() { return values + kBefore; }
    const float* Half() const { return values + kBefore; }
};

// Every interpolated value is sinc times a Kaiser window, both even about the position, so the
// half phase weighs sample t and sample kTaps - 1 - t alike (MakeTable computes both from
// distances of equal magnitude, to the bit): its sums add those two samples before weighing.
const float* HalfPhase(const Table& kernel) { return kernel.coeff[kStride]; }

// The 4x positions a quarter sample before and after the 2x position (w, phase): the signal
// at `before` and `after` times the tabulated rows.
struct Quarters {
    const float* before;
    const float* beforeCoeff;
    const float* after;
    const float* afterCoeff;
};

// Computed rather than chosen: crests fall on either phase at random.
Quarters QuartersAround(const Table& kernel, const float* window, ptrdiff_t w, int phase)
{
    static_assert(kCoarse == 2);
    constexpr int kQuarter = kFine / 4;
    const float* x = window + w - (kHalfTaps - 1);
    // A quarter before the whole position lies in the previous sample's fine positions.
    return { x - (1 - phase), kernel.coeff[kFine - kQuarter - phase * kStride], x,
             kernel.coeff[kQuarter + phase * kStride] };
}

struct QuarterValues {
    float before, after;
};

float DotScalar(const float* c, const float* x)
{
    float s[8] = {};
    for (int t = 0; t < kTaps; t += 8) {
        for (int k = 0; k < 8; ++k)
            s[k] += c[t + k] * x[t + k];
    }
    return ((s[0] + s[1]) + (s[2] + s[3])) + ((s[4] + s[5]) + (s[6] + s[7]));
}

QuarterValues QuarterValuesScalar(const Quarters& q)
{
    return { DotScalar(q.beforeCoeff, q.before), DotScalar(q.afterCoeff, q.after) };
}

#ifdef ORVA_X86_KERNELS
bool HaveAvx2Fma()
{
    static const bool have = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return have;
}

// Eight partial sums of c[t] x[t].
__attribute__((target("avx2,fma"))) inline __m256 DotLanes(const float* c, const float* x)
{
    __m256 a = _mm256_setzero_ps(), b = a;
    for (int t = 0; t < kTaps; t += 16) {
        a = _mm256_fmadd_ps(_mm256_load_ps(c + t), _mm256_loadu_ps(x + t), a);
        b = _mm256_fmadd_ps(_mm256_load_ps(c + t + 8), _mm256_loadu_ps(x + t + 8), b);
    }
    return _mm256_add_ps(a, b);
}

// The sums of the lanes of p (lane 0) and q (lane 1), each added up in the same order, so a
// position reads the same whether it is summed alone or beside another.
__attribute__((target("avx2,fma"))) inline __m128 SumLanes(__m256 p, __m256 q)
{
    const __m256 pairs = _mm256_hadd_ps(p, q);
    const __m128 quads = _mm_add_ps(_mm256_castps256_ps128(pairs), _mm256_extractf128_ps(pairs, 1));
    return _mm_hadd_ps(quads, quads);
}

__attribute__((target("avx2,fma"))) float DotAvx2(const float* c, const float* x)
{
    const __m256 lanes = DotLanes(c, x);
    return _mm_cvtss_f32(SumLanes(lanes, lanes));
}

// Both quarters around a crest at once: two dot products share one reduction.
__attribute__((target("avx2,fma"))) inline QuarterValues QuarterValuesAvx2(const Quarters& q)
{
    const __m128 sums = SumLanes(DotLanes(q.beforeCoeff, q.before), DotLanes(q.afterCoeff, q.after));
    return { _mm_cvtss_f32(sums), _mm_cvtss_f32(_mm_movehdup_ps(sums)) };
}
#endif

bool UseVector()
{
#ifdef ORVA_X86_KERNELS
    return HaveAvx2Fma() && g_vectorAllowed.load(std::memory_order_relaxed);
#else
    return false;
#endif
}

// The interpolated signal at window index w plus f / 64 samples (-64 < f < 64).
float ValueAt(const Table& kernel, const float* window, ptrdiff_t w, int f, bool vector)
{
    if (f < 0) {
        --w;
        f += kFine;
    }
    const float* x = window + w - (kHalfTaps - 1);
    const float* c = kernel.coeff[f];
#ifdef ORVA_X86_KERNELS
    if (vector)
        return DotAvx2(c, x);
#else
    (void)vector;
#endif
    return DotScalar(c, x);
}

// The top of the crest at the 2x position (w, phase), a local maximum of the magnitude `at`
// on that grid, from the 4x positions a quarter sample `left` and `right` of it (all three
// signed so that the crest is positive), once the loudest of them comes close enough to the
// loudest crest so far (see ReadCrests). Rarely needed: kept out of the loop over the crests.
[[gnu::noinline]] float ClimbToTop(const Table& kernel, const float* window, ptrdiff_t w, int phase, float at,
                                   float sign, float left, float right, bool vector)
{
    const int middle = phase * kStride;
    int best = middle;
    float top = at;
    if (left > top || right > top) {
        best = left > right ? middle - kStride / 2 : middle + kStride / 2;
        top = std::max(left, right);
    }
    // From the loudest 4x position a climb on the 16x grid reaches the top's neighbourhood;
    // the parabola through the three 16x values there gives the top (for a crest below half
    // the rate it errs by less than 0.0001 of its height). The last phase does not reach
    // into the next sample: its phase 0 is the sample itself.
    auto value = [&](int f) { return sign * ValueAt(kernel, window, w, f, vector); };
    constexpr int kStep = kStride / 8;
    const int low = middle - kStride + kStep;
    const int high = (phase == kCoarse - 1 ? kFine - 1 : middle + kStride) - kStep;
    float before = value(best - kStep);
    float after = value(best + kStep);
    while (before > top && best - kStep >= low) {
        best -= kStep;
        after = top, top = before, before = value(best - kStep);
    }
    while (after > top && best + kStep <= high) {
        best += kStep;
        before = top, top = after, after = value(best + kStep);
    }
    const float curve = before - 2.0f * top + after;
    if (before <= top && after <= top && curve < 0.0f)
        top -= (before - after) * (before - after) / (8.0f * curve);
    return top;
}

// The loudest of `peak` and the tops of the crests the 2x pass marked in `grid`. Only the top
// of a crest on the 2x grid, loud enough, can be next to a louder peak. The crest's top lies
// within a 2x step of it, so one of the three 4x positions around it is within 1/8 sample of
// the top and reads at least 0.89 of it (see kCandidate); a crest is smooth at this scale, so
// climbing from the loudest of them finds the top. Inlined into each path's own loop, with
// that path's dot products.
template <QuarterValues (*kQuarterValues)(const Quarters&)>
[[gnu::always_inline]] inline float ReadCrests(const Table& kernel, const float* window, size_t n,
                                               const Grid& grid, float peak, bool vector)
{
    const float* const rows[kCoarse] = { window + kHalfTaps, grid.Half() };
    for (size_t k = 0; k * 32 < n; ++k) {
        for (uint64_t bits = grid.crest[k]; bits != 0; bits &= bits - 1) {
            const int bit = __builtin_ctzll(bits);
            const int phase = bit / 32;
            const auto j = static_cast<ptrdiff_t>(k * 32 + bit % 32);
            const float value = rows[phase][j];
            const float at = std::fabs(value);
            // The loudest crest so far may have grown since the pass.
            if (!(at >= peak * kCandidate))
                continue;
            const ptrdiff_t w = kHalfTaps + j;
            const QuarterValues quarters = kQuarterValues(QuartersAround(kernel, window, w, phase));
            const float sign = std::copysign(1.0f, value);  // value is not 0: no branch on it
            const float left = sign * quarters.before, right = sign * quarters.after;
            // Most crests end here. Which quarter is the louder is random: maxima, not branches.
            if (std::max(at, std::max(left, right)) >= peak * kNearCandidate)
                peak = std::max(peak, ClimbToTop(kernel, window, w, phase, at, sign, left, right, vector));
        }
    }
    return peak;
}

float ReadCrestsScalar(const Table& kernel, const float* window, size_t n, const Grid& grid, float peak)
{
    return ReadCrests<QuarterValuesScalar>(kernel, window, n, grid, peak, false);
}

#ifdef ORVA_X86_KERNELS
__attribute__((target("avx2,fma"))) float ReadCrestsAvx2(const Table& kernel, const float* window, size_t n,
                                                         const Grid& grid, float peak)
{
    return ReadCrests<QuarterValuesAvx2>(kernel, window, n, grid, peak, true);
}
#endif

// The plain form of the 2x pass, for processors without AVX2 and FMA. `last` is the magnitude
// of the half-sample position before the block.
void GridScalar(const Table& kernel, const float* window, size_t n, float floor, float last, Grid& grid)
{
    static_assert(kCoarse == 2);
    const float* c = HalfPhase(kernel);
    const float* samples = window + kHalfTaps;
    float* half = grid.Half();
    half[-1] = last;
    std::fill(half, half + n, 0.0f);
    for (int t = 0; t < kHalfTaps; ++t) {
        const float* x = samples - (kHalfTaps - 1) + t;
        const float* mirror = samples + kHalfTaps - t;
        for (size_t j = 0; j < n; ++j)
            half[j] += c[t] * (x[j] + mirror[j]);
    }
    for (size_t k = 0; k * 32 < n; ++k) {
        uint64_t crest = 0;
        for (size_t i = 0; i < 32 && k * 32 + i < n; ++i) {
            const size_t j = k * 32 + i;
            const float whole = std::fabs(samples[j]), middle = std::fabs(half[j]);
            const float before = std::fabs(half[static_cast<ptrdiff_t>(j) - 1]),
                        after = std::fabs(samples[j + 1]);
            if (whole >= floor && whole >= before && whole >= middle)
                crest |= uint64_t { 1 } << i;
            if (middle >= floor && middle >= whole && middle >= after)
                crest |= uint64_t { 1 } << (32 + i);
        }
        grid.crest[k] = crest;
    }
}

#ifdef ORVA_X86_KERNELS

__attribute__((target("avx2"))) inline __m256 Magnitude(__m256 v)
{
    return _mm256_and_ps(v, _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF)));
}

__attribute__((target("avx2"))) inline uint64_t Lanes(__m256 a, __m256 b, __m256 c)
{
    return static_cast<uint64_t>(_mm256_movemask_ps(_mm256_and_ps(_mm256_and_ps(a, b), c)));
}

// An unaligned load the compiler may not repeat: left to itself it folds a vector used several
// times into each use as a fresh load, and the pass is bound by loads.
__attribute__((target("avx2"))) inline __m256 LoadOnce(const float* p)
{
    __m256 v = _mm256_loadu_ps(p);
    asm("" : "+x"(v));
    return v;
}

// One folded tap of four vectors of positions: acc[r] += weight (left[r] + right[r]).
__attribute__((target("avx2,fma"))) inline void AddTap(__m256* acc, float weight, const __m256* left,
                                                       const __m256* right)
{
    const __m256 w = _mm256_set1_ps(weight);
#pragma GCC unroll 4
    for (int r = 0; r < 4; ++r)
        acc[r] = _mm256_fmadd_ps(w, _mm256_add_ps(left[r], right[r]), acc[r]);
}

// GridScalar with fused multiply-adds, 32 positions a pass: within float rounding of it. Each
// loaded vector of samples serves four taps of the 32 positions (register blocking: the pass
// is bound by loads, not arithmetic), and every position adds its taps in the same order,
// wherever it falls in a pass, so the readings do not depend on the block sizes.
__attribute__((target("avx2,fma"))) void GridAvx2(const Table& kernel, const float* window, size_t n,
                                                  float floor, float last, Grid& grid)
{
    static_assert(kCoarse == 2 && kHalfTaps == 32);
    const float* c = HalfPhase(kernel);
    const float* samples = window + kHalfTaps;
    float* half = grid.Half();
    half[-1] = last;
    for (size_t j = 0; j < n; j += 32) {
        // Tap u + 8 m of output vector r (positions j + 8 r ...) reads x + u + 8 (m + r) and,
        // mirrored, x + 63 - u + 8 (r - m): for each u, 7 vectors on either side serve all 16,
        // loaded where first needed (a window of four either side slides along m). Residue
        // 7 - u reads three of each side's vectors again, on the other side: it runs next, its
        // window sliding back, to start from the vectors still held.
        const float* x = samples + j - (kHalfTaps - 1);
        __m256 acc[4] = { _mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps(),
                          _mm256_setzero_ps() };
        for (int u = 0; u < 4; ++u) {
            const float* first = x + u;
            const float* mirror = x + (kTaps - 1 - 24) - u;
            __m256 left[7], right[7];
#pragma GCC unroll 4
            for (int m = 0; m < 4; ++m) {
                if (m == 0) {
                    for (int k = 0; k < 4; ++k) {
                        left[k] = LoadOnce(first + 8 * k);
                        right[3 + k] = LoadOnce(mirror + 8 * (3 + k));
                    }
                } else {
                    left[m + 3] = LoadOnce(first + 8 * (m + 3));
                    right[3 - m] = LoadOnce(mirror + 8 * (3 - m));
                }
                AddTap(acc, c[u + 8 * m], left + m, right + 3 - m);
            }
            const int v = 7 - u;
            const float* first2 = x + v;
            const float* mirror2 = x + (kTaps - 1 - 24) - v;
            __m256 left2[7], right2[7];
#pragma GCC unroll 4
            for (int m = 3; m >= 0; --m) {
                if (m == 3) {
                    for (int k = 0; k < 3; ++k) {
                        left2[4 + k] = right[k];  // x + 39 - u + 8 k
                        right2[k] = left[4 + k];  // x + 32 + u + 8 k
                    }
                    left2[3] = LoadOnce(first2 + 8 * 3);
                    right2[3] = LoadOnce(mirror2 + 8 * 3);
                } else {
                    left2[m] = LoadOnce(first2 + 8 * m);
                    right2[6 - m] = LoadOnce(mirror2 + 8 * (6 - m));
                }
                AddTap(acc, c[v + 8 * m], left2 + m, right2 + 3 - m);
            }
        }
#pragma GCC unroll 4
        for (int q = 0; q < 4; ++q)
            _mm256_store_ps(half + j + 8 * q, acc[q]);
    }
    // The crests: loud positions no quieter than their neighbours on the 2x grid (a pass of
    // its own, so that the sums above have every register).
    const __m256 least = _mm256_set1_ps(floor);
    for (size_t j = 0; j < n; j += 32) {
        uint64_t bits = 0;
#pragma GCC unroll 4
        for (size_t q = 0; q < 32; q += 8) {
            const __m256 whole = Magnitude(_mm256_loadu_ps(samples + j + q));
            const __m256 next = Magnitude(_mm256_loadu_ps(samples + j + q + 1));
            const __m256 middle = Magnitude(_mm256_load_ps(half + j + q));
            const __m256 before = Magnitude(_mm256_loadu_ps(half + j + q - 1));
            bits |= Lanes(_mm256_cmp_ps(whole, least, _CMP_GE_OQ), _mm256_cmp_ps(whole, before, _CMP_GE_OQ),
                          _mm256_cmp_ps(whole, middle, _CMP_GE_OQ))
                << q;
            bits |= Lanes(_mm256_cmp_ps(middle, least, _CMP_GE_OQ), _mm256_cmp_ps(middle, whole, _CMP_GE_OQ),
                          _mm256_cmp_ps(middle, next, _CMP_GE_OQ))
                << (32 + q);
        }
        if (n - j < 32) {
            const uint64_t valid = (uint64_t { 1 } << (n - j)) - 1;
            bits &= valid | valid << 32;
        }
        grid.crest[j / 32] = bits;
    }
}

#endif  // ORVA_X86_KERNELS

// Reads the positions of window[kHalfTaps, kHalfTaps + n), which holds kHalfTaps samples
// either side of them (and kOverrun more for the vector pass to overrun), and returns the
// loudest crest, at least `peak`. `last` carries the magnitude of the position before the block.
float ScanBlock(const float* window, size_t n, float& last, float peak)
{
    const Table& kernel = Kernel();
    // Zero never counts: the smallest positive float is the least floor.
    const float floor = std::max(peak * kCandidate, std::numeric_limits<float>::denorm_min());
    Grid grid;
    const bool vector = UseVector();
#ifdef ORVA_X86_KERNELS
    if (vector) {
        GridAvx2(kernel, window, n, floor, last, grid);
        peak = ReadCrestsAvx2(kernel, window, n, grid, peak);
    } else
#endif
    {
        GridScalar(kernel, window, n, floor, last, grid);
        peak = ReadCrestsScalar(kernel, window, n, grid, peak);
    }
    last = std::fabs(grid.Half()[n - 1]);
    return peak;
}

// Every stride-th float of `in`, count of them, into out.
void Deinterleave(const float* in, size_t stride, size_t count, float* out)
{
    size_t i = 0;
#ifdef ORVA_X86_KERNELS
    if (stride == 2) {
        // One channel of a pair: every other float of four frames in one shuffle. The second
        // load reaches one float past the fourth frame's sample: stop a frame early.
        for (; i + 4 < count; i += 4)
            _mm_storeu_ps(out + i,
                          _mm_shuffle_ps(_mm_loadu_ps(in + 2 * i), _mm_loadu_ps(in + 2 * i + 4),
                                         _MM_SHUFFLE(2, 0, 2, 0)));
    }
#endif
    for (; i < count; ++i)
        out[i] = in[i * stride];
}

}  // namespace

void TruePeakMeter::UseVectorKernels(bool allow) { g_vectorAllowed.store(allow); }

TruePeakMeter::TruePeakMeter(unsigned channels, unsigned long /*sampleRate*/)
    : channels_(channels), state_(channels)
{
    // The kernel is defined in samples, so the same one serves every rate.
    for (Channel& channel : state_)
        channel.history.assign(kHistory, 0.0f);
}

void TruePeakMeter::AddFrames(const float* frames, size_t frameCount)
{
    BeginBlock(frames, frameCount);
    for (size_t part = 0; part < PartCount(); ++part)
        MeasurePart(part);
    EndBlock();
}

// A block of F frames reads the positions [-kHalfTaps, F - kHalfTaps) counted from its first
// frame: a position is read once the kHalfTaps samples after it have arrived. Each part takes
// a stretch of those positions of one channel.
void TruePeakMeter::BeginBlock(const float* frames, size_t frameCount)
{
    block_ = frames;
    blockFrames_ = frameCount;
    parts_.clear();
    for (unsigned c = 0; c < channels_; ++c) {
        for (size_t first = 0; first < frameCount; first += kPartPositions)
            parts_.push_back(Part { c, first, std::min(kPartPositions, frameCount - first), 0.0f });
    }
}

void TruePeakMeter::MeasurePart(size_t index)
{
    Part& part = parts_[index];
    const Channel& state = state_[part.channel];
    // Samples from..from + count of the block into out; before the block: of the ones before it.
    const auto copy = [&](ptrdiff_t from, size_t count, float* out) {
        for (; from < 0 && count > 0; ++from, --count)
            *out++ = state.history[static_cast<size_t>(static_cast<ptrdiff_t>(kHistory) + from)];
        Deinterleave(block_ + static_cast<size_t>(from) * channels_ + part.channel, channels_, count, out);
    };
    float peak = state.peak;
    // Each stretch starts one position early with an unbeatable neighbour before it: that
    // position gives the first one its neighbour as the pass computes it everywhere, and is
    // itself read where it belongs (reading a crest twice gives the same value).
    alignas(32) float window[kLead + 1 + kBlockFrames + kOverrun] = {};
    for (size_t done = 0; done < part.count;) {
        const size_t n = std::min(kBlockFrames, part.count - done);
        const ptrdiff_t from = static_cast<ptrdiff_t>(part.first + done) - kTaps - 1;
        copy(from, kLead + n + 1, window);
        float before = std::numeric_limits<float>::infinity();
        peak = ScanBlock(window, n + 1, before, peak);
        done += n;
    }
    part.peak = peak;
}

void TruePeakMeter::EndBlock()
{
    for (const Part& part : parts_)
        state_[part.channel].peak = std::max(state_[part.channel].peak, part.peak);
    for (unsigned c = 0; c < channels_; ++c) {
        std::vector<float>& history = state_[c].history;
        const size_t kept = kHistory - std::min(kHistory, blockFrames_);
        std::copy(history.end() - static_cast<ptrdiff_t>(kept), history.end(), history.begin());
        for (size_t i = kept; i < kHistory; ++i)
            history[i] = block_[(blockFrames_ - (kHistory - i)) * channels_ + c];
    }
    parts_.clear();
    block_ = nullptr;
    blockFrames_ = 0;
}

double TruePeakMeter::ChannelTruePeak(unsigned channel) const
{
    // The positions after the last block, up to the end of the ringing after the last sample,
    // read against silence.
    const Channel& state = state_[channel];
    alignas(32) float tail[kHistory + kLead + kOverrun] = {};
    std::copy(state.history.begin(), state.history.end(), tail);
    float before = std::numeric_limits<float>::infinity();
    return ScanBlock(tail, kTaps + 1, before, state.peak);
}

double TruePeakMeter::TruePeak() const
{
    double peak = 0.0;
    for (unsigned c = 0; c < channels_; ++c)
        peak = std::max(peak, ChannelTruePeak(c));
    return peak;
}

}  // namespace orva
