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

// The 2x values of one block: grid[phase][j] is the signal at window[kHalfTaps + j] plus
// phase / 2 samples. The vector pass fills whole groups of 32, past the block's end.
struct Grid {
    alignas(32) float value[kCoarse][kBlockFrames + kOverrun];
    /// Bit (32 phase + i) of loud[k]: position (32 k + i, phase) reads at least the floor
    /// the pass was given (and is not 0); none past the block's end.
    uint64_t loud[(kBlockFrames + kOverrun) / 32];
};

#ifdef ORVA_X86_KERNELS
bool HaveAvx2Fma()
{
    static const bool have = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return have;
}

__attribute__((target("avx2,fma"))) float DotAvx2(const float* c, const float* x)
{
    __m256 a = _mm256_setzero_ps(), b = a;
    for (int t = 0; t < kTaps; t += 16) {
        a = _mm256_fmadd_ps(_mm256_load_ps(c + t), _mm256_loadu_ps(x + t), a);
        b = _mm256_fmadd_ps(_mm256_load_ps(c + t + 8), _mm256_loadu_ps(x + t + 8), b);
    }
    const __m256 sum = _mm256_add_ps(a, b);
    __m128 half = _mm_add_ps(_mm256_castps256_ps128(sum), _mm256_extractf128_ps(sum, 1));
    half = _mm_add_ps(half, _mm_movehl_ps(half, half));
    half = _mm_add_ss(half, _mm_shuffle_ps(half, half, 1));
    const float result = _mm_cvtss_f32(half);
    _mm256_zeroupper();
    return result;
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
float ValueAt(const float* window, ptrdiff_t w, int f, bool vector)
{
    if (f < 0) {
        --w;
        f += kFine;
    }
    const float* x = window + w - (kHalfTaps - 1);
    const float* c = Kernel().coeff[f];
#ifdef ORVA_X86_KERNELS
    if (vector)
        return DotAvx2(c, x);
#else
    (void)vector;
#endif
    float s[8] = {};
    for (int t = 0; t < kTaps; t += 8) {
        for (int k = 0; k < 8; ++k)
            s[k] += c[t + k] * x[t + k];
    }
    return ((s[0] + s[1]) + (s[2] + s[3])) + ((s[4] + s[5]) + (s[6] + s[7]));
}

// The top of the crest at the 2x position (w, phase), a local maximum of the magnitude on
// that grid, or `at` (its magnitude) when the crest cannot reach `floor`. The crest's top
// lies within a 2x step of the position, so one of the three 4x positions around it is
// within 1/8 sample of the top and reads at least 0.89 of it (see kCandidate). A crest is
// smooth at this scale, so climbing from the loudest of them finds the top.
float CrestAround(const float* window, ptrdiff_t w, int phase, float at, float sign, float floor, bool vector)
{
    const int middle = phase * kStride;
    auto value = [&](int f) { return sign * ValueAt(window, w, f, vector); };
    const float left = value(middle - kStride / 2);
    const float right = value(middle + kStride / 2);
    int best = middle;
    float top = at;
    if (left > top || right > top) {
        best = left > right ? middle - kStride / 2 : middle + kStride / 2;
        top = std::max(left, right);
    }
    if (!(top >= floor * kNearCandidate))
        return at;
    // From the loudest 4x position a climb on the 16x grid reaches the top's neighbourhood;
    // the parabola through the three 16x values there gives the top (for a crest below half
    // the rate it errs by less than 0.0001 of its height). The last phase does not reach
    // into the next sample: its phase 0 is the sample itself.
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

// The plain form of the 2x pass, for processors without AVX2 and FMA.
void GridScalar(const float* window, size_t n, float floor, Grid& grid)
{
    const Table& kernel = Kernel();
    const float* samples = window + kHalfTaps;
    std::copy(samples, samples + n, grid.value[0]);
    for (int phase = 1; phase < kCoarse; ++phase) {
        const float* c = kernel.coeff[phase * kStride];
        float* acc = grid.value[phase];
        std::fill(acc, acc + n, 0.0f);
        for (int t = 0; t < kTaps; ++t) {
            const float* x = samples - (kHalfTaps - 1) + t;
            for (size_t j = 0; j < n; ++j)
                acc[j] += c[t] * x[j];
        }
    }
    for (size_t k = 0; k * 32 < n; ++k) {
        uint64_t loud = 0;
        for (size_t i = 0; i < 32 && k * 32 + i < n; ++i) {
            for (int phase = 0; phase < kCoarse; ++phase) {
                if (std::fabs(grid.value[phase][k * 32 + i]) >= floor)
                    loud |= uint64_t { 1 } << (32 * phase + i);
            }
        }
        grid.loud[k] = loud;
    }
}

#ifdef ORVA_X86_KERNELS

// One bit per lane of v whose magnitude reaches least.
__attribute__((target("avx2"))) inline uint64_t LoudLanes(__m256 v, __m256 least)
{
    const __m256 magnitude = _mm256_and_ps(v, _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF)));
    return static_cast<uint64_t>(_mm256_movemask_ps(_mm256_cmp_ps(magnitude, least, _CMP_GE_OQ)));
}

// GridScalar with fused multiply-adds, 32 samples a pass: within float rounding of it. Every
// position is computed the same way wherever a block starts, so the readings do not depend
// on the block sizes.
__attribute__((target("avx2,fma"))) void GridAvx2(const float* window, size_t n, float floor, Grid& grid)
{
    static_assert(kCoarse == 2);
    const float* c = Kernel().coeff[kStride];
    const float* samples = window + kHalfTaps;
    const __m256 least = _mm256_set1_ps(floor);
    for (size_t j = 0; j < n; j += 32) {
        __m256 a = _mm256_setzero_ps(), b = a, d = a, e = a;
        const float* x = samples + j - (kHalfTaps - 1);
        for (int t = 0; t < kTaps; ++t) {
            const __m256 k = _mm256_broadcast_ss(c + t);
            a = _mm256_fmadd_ps(k, _mm256_loadu_ps(x + t), a);
            b = _mm256_fmadd_ps(k, _mm256_loadu_ps(x + t + 8), b);
            d = _mm256_fmadd_ps(k, _mm256_loadu_ps(x + t + 16), d);
            e = _mm256_fmadd_ps(k, _mm256_loadu_ps(x + t + 24), e);
        }
        uint64_t bits = 0;
        for (int q = 0; q < 32; q += 8) {
            const __m256 v = _mm256_loadu_ps(samples + j + q);
            _mm256_store_ps(grid.value[0] + j + q, v);
            bits |= LoudLanes(v, least) << q;
        }
        _mm256_store_ps(grid.value[1] + j, a);
        _mm256_store_ps(grid.value[1] + j + 8, b);
        _mm256_store_ps(grid.value[1] + j + 16, d);
        _mm256_store_ps(grid.value[1] + j + 24, e);
        bits |= (LoudLanes(a, least) | LoudLanes(b, least) << 8 | LoudLanes(d, least) << 16
                 | LoudLanes(e, least) << 24)
            << 32;
        if (n - j < 32) {
            const uint64_t valid = (uint64_t { 1 } << (n - j)) - 1;
            bits &= valid | valid << 32;
        }
        grid.loud[j / 32] = bits;
    }
    _mm256_zeroupper();
}

#endif  // ORVA_X86_KERNELS

// Reads the positions of window[kHalfTaps, kHalfTaps + n), which holds kHalfTaps samples
// either side of them (and kOverrun more for the vector pass to overrun), and returns the
// loudest crest, at least `peak`. `last` carries the magnitude of the position before the block.
float ScanBlock(const float* window, size_t n, float& last, float peak)
{
    // Zero never counts: the smallest positive float is the least floor.
    const float floor = std::max(peak * kCandidate, std::numeric_limits<float>::denorm_min());
    Grid grid;
    const bool vector = UseVector();
#ifdef ORVA_X86_KERNELS
    if (vector)
        GridAvx2(window, n, floor, grid);
    else
#endif
        GridScalar(window, n, floor, grid);
    // Only the top of a crest on the 2x grid, loud enough, can be next to a louder peak.
    auto magnitude = [&](ptrdiff_t j, int phase) {
        if (j < 0)
            return last;
        return std::fabs(static_cast<size_t>(j) < n ? grid.value[phase][j] : window[kHalfTaps + j]);
    };
    for (size_t k = 0; k * 32 < n; ++k) {
        for (uint64_t bits = grid.loud[k]; bits != 0; bits &= bits - 1) {
            const int bit = __builtin_ctzll(bits);
            const int phase = bit / 32;
            const auto j = static_cast<ptrdiff_t>(k * 32 + bit % 32);
            const float value = grid.value[phase][j];
            const float at = std::fabs(value);
            // The loudest crest so far may have grown since the pass.
            if (!(at >= peak * kCandidate))
                continue;
            const float before = phase == 0 ? magnitude(j - 1, 1) : magnitude(j, 0);
            const float after = phase == 0 ? magnitude(j, 1) : magnitude(j + 1, 0);
            if (at >= before && at >= after)
                peak = std::max(
                    peak,
                    CrestAround(window, kHalfTaps + j, phase, at, value < 0.0f ? -1.0f : 1.0f, peak, vector));
        }
    }
    last = std::fabs(grid.value[kCoarse - 1][n - 1]);
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
