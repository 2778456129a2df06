#include "loudness/true_peak.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace orva {
namespace {

// The interpolation filter: a 49-tap sinc at the original Nyquist frequency under a Hann
// window, split into one sub-filter per output phase. Phase 0 is the input sample itself
// (one tap of 1.0), so only phases 1..factor-1 are computed; the samples' own magnitude
// stands for phase 0.
constexpr unsigned kTaps = 49;
constexpr size_t kMaxPhaseTaps = kTaps;
constexpr size_t kBlockFrames = 1024;  // frames filtered per pass (fits the L1 cache)

struct PhaseFilter {
    std::array<float, kMaxPhaseTaps> coeff {};
    std::array<unsigned, kMaxPhaseTaps> delay {};
    unsigned count = 0;
};

struct Filter {
    unsigned factor = 0;
    unsigned history = 0;  // input samples before the current one that a phase reaches back to
    std::array<PhaseFilter, 4> phases {};
};

Filter MakeFilter(unsigned factor)
{
    Filter filter;
    filter.factor = factor;
    filter.history = (kTaps + factor - 1) / factor - 1;
    for (unsigned j = 0; j < kTaps; ++j) {
        const double m = static_cast<double>(j) - (kTaps - 1) / 2.0;
        double c = 1.0;
        if (std::fabs(m) > 1e-6)
            c = std::sin(m * M_PI / factor) / (m * M_PI / factor);
        c *= 0.5 * (1.0 - std::cos(2.0 * M_PI * j / (kTaps - 1)));
        // Coefficients that are zero but for rounding take no part.
        if (std::fabs(c) <= 1e-6)
            continue;
        PhaseFilter& phase = filter.phases[j % factor];
        phase.coeff[phase.count] = static_cast<float>(c);
        phase.delay[phase.count] = j / factor;
        ++phase.count;
    }
    return filter;
}

const Filter& FilterFor(unsigned factor)
{
    static const Filter four = MakeFilter(4);
    static const Filter two = MakeFilter(2);
    return factor == 4 ? four : two;
}

// The largest magnitude of the oversampled phases 1..factor-1 and of the samples over
// window[history, history + n). Each output is a sum taken in the same order on every path,
// so the result does not depend on the vector width chosen at run time.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("arch=x86-64-v3", "default")))
#endif
float BlockPeak(const Filter& filter, const float* window, size_t n)
{
    float lanes[kBlockFrames];
    float acc[kBlockFrames];
    const float* samples = window + filter.history;
    for (size_t i = 0; i < n; ++i)
        lanes[i] = std::fabs(samples[i]);
    for (unsigned p = 1; p < filter.factor; ++p) {
        const PhaseFilter& phase = filter.phases[p];
        for (size_t i = 0; i < n; ++i)
            acc[i] = 0.0f;
        for (unsigned t = 0; t < phase.count; ++t) {
            const float c = phase.coeff[t];
            const float* s = samples - phase.delay[t];
            for (size_t i = 0; i < n; ++i)
                acc[i] += c * s[i];
        }
        for (size_t i = 0; i < n; ++i)
            lanes[i] = std::max(lanes[i], std::fabs(acc[i]));
    }
    float peak = 0.0f;
    for (size_t i = 0; i < n; ++i)
        peak = std::max(peak, lanes[i]);
    return peak;
}

}  // namespace

TruePeakMeter::TruePeakMeter(unsigned channels, unsigned long sampleRate)
    : channels_(channels), factor_(sampleRate < 96000        ? 4
                                       : sampleRate < 192000 ? 2
                                                             : 1),
      state_(channels)
{
    const unsigned history = factor_ > 1 ? FilterFor(factor_).history : 0;
    for (Channel& channel : state_)
        channel.window.assign(history + kBlockFrames, 0.0f);
}

void TruePeakMeter::AddFrames(const float* frames, size_t frameCount)
{
    for (unsigned c = 0; c < channels_; ++c)
        AddChannel(c, frames + c, channels_, frameCount);
}

void TruePeakMeter::AddChannel(unsigned channel, const float* samples, size_t stride, size_t frameCount)
{
    Channel& state = state_[channel];
    if (factor_ == 1) {
        for (size_t i = 0; i < frameCount; ++i)
            state.peak = std::max(state.peak, std::fabs(samples[i * stride]));
        return;
    }
    const Filter& filter = FilterFor(factor_);
    float* window = state.window.data();
    const unsigned history = filter.history;
    for (size_t done = 0; done < frameCount;) {
        const size_t n = std::min(kBlockFrames, frameCount - done);
        for (size_t i = 0; i < n; ++i)
            window[history + i] = samples[(done + i) * stride];
        state.peak = std::max(state.peak, BlockPeak(filter, window, n));
        // The last `history` inputs lead the next block.
        std::copy(window + n, window + n + history, window);
        done += n;
    }
}

double TruePeakMeter::ChannelTruePeak(unsigned channel) const { return state_[channel].peak; }

double TruePeakMeter::TruePeak() const
{
    float peak = 0.0f;
    for (const Channel& channel : state_)
        peak = std::max(peak, channel.peak);
    return peak;
}

}  // namespace orva
