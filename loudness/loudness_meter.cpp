#include "loudness/loudness_meter.h"

#include <ebur128.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <future>
#include <thread>

namespace orva {
namespace {

// Below this many frames a helper thread costs more than it saves.
constexpr size_t kParallelFrames = 16384;
constexpr double kRangeSeconds = 3.0;  // the short-term window the loudness range is built from

std::atomic<bool> g_helperAllowed { std::thread::hardware_concurrency() > 1 };

float SampleMagnitude(const float* samples, size_t count)
{
    float peak = 0.0f;
    for (size_t i = 0; i < count; ++i)
        peak = std::max(peak, std::fabs(samples[i]));
    return peak;
}

}  // namespace

double MagnitudeToDb(double magnitude)
{
    if (!(magnitude > 0.0))
        return -HUGE_VAL;
    return 20.0 * std::log10(magnitude);
}

struct LoudnessMeter::Library {
    ebur128_state* state = nullptr;
    ~Library()
    {
        if (state != nullptr)
            ebur128_destroy(&state);
    }
};

void LoudnessMeter::AllowHelperThread(bool allow) { g_helperAllowed.store(allow); }

LoudnessMeter::LoudnessMeter(unsigned channels, unsigned long sampleRate)
    : channels_(channels), sampleRate_(sampleRate), library_(std::make_unique<Library>()),
      truePeak_(channels, sampleRate)
{
    library_->state = ebur128_init(channels, sampleRate, EBUR128_MODE_I | EBUR128_MODE_LRA);
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::AddFrames(const float* frames, size_t frameCount)
{
    if (frameCount == 0 || channels_ == 0)
        return;
    frameCount_ += frameCount;
    auto peaks = [this, frames, frameCount] {
        truePeak_.AddFrames(frames, frameCount);
        samplePeak_ = std::max(samplePeak_, SampleMagnitude(frames, frameCount * channels_));
    };
    // The two meters read the same block and write nothing the other reads.
    std::future<void> helper;
    if (frameCount >= kParallelFrames && g_helperAllowed.load()) {
        try {
            helper = std::async(std::launch::async, peaks);
        } catch (const std::system_error&) {
            // No thread to be had: measure the peaks here instead.
        }
    }
    if (library_->state != nullptr)
        ebur128_add_frames_float(library_->state, frames, frameCount);
    if (helper.valid())
        helper.get();
    else
        peaks();
}

LoudnessLevels LoudnessMeter::Levels() const
{
    LoudnessLevels levels;
    levels.samplePeak = samplePeak_;
    levels.truePeak = std::max<double>(truePeak_.TruePeak(), samplePeak_);
    ebur128_state* state = library_->state;
    if (state == nullptr)
        return levels;
    double loudness = -HUGE_VAL;
    if (ebur128_loudness_global(state, &loudness) == EBUR128_SUCCESS)
        levels.integratedLufs = loudness;
    // The range needs at least one short-term window; the library says 0 for less, which
    // would read as a measured range.
    double range = 0.0;
    if (std::isfinite(levels.integratedLufs) && frameCount_ >= kRangeSeconds * sampleRate_
        && ebur128_loudness_range(state, &range) == EBUR128_SUCCESS)
        levels.rangeLu = range;
    return levels;
}

double AlbumLoudness(const std::vector<const LoudnessMeter*>& meters)
{
    std::vector<ebur128_state*> states;
    for (const LoudnessMeter* meter : meters) {
        if (meter != nullptr && meter->library_->state != nullptr)
            states.push_back(meter->library_->state);
    }
    double loudness = -HUGE_VAL;
    if (states.empty()
        || ebur128_loudness_global_multiple(states.data(), states.size(), &loudness) != EBUR128_SUCCESS)
        return -HUGE_VAL;
    return loudness;
}

}  // namespace orva
