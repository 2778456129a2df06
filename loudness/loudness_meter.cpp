#include "loudness/loudness_meter.h"

#include <ebur128.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <future>
#include <thread>

namespace orva {
namespace {

// Below this many frames a helper thread costs more than it saves.
constexpr size_t kParallelFrames = 16384;
constexpr uint64_t kMomentaryHops = 4;   // 400 ms in 100 ms steps
constexpr uint64_t kShortTermHops = 30;  // 3 s
constexpr double kAbsoluteGateLufs = -70.0;
constexpr double kRangeGateLu = -20.0;

std::atomic<bool> g_helperAllowed { std::thread::hardware_concurrency() > 1 };

float SampleMagnitude(const float* samples, size_t count)
{
    float peak = 0.0f;
    for (size_t i = 0; i < count; ++i)
        peak = std::max(peak, std::fabs(samples[i]));
    return peak;
}

// WAVE speaker bits.
constexpr uint32_t kFrontLeft = 0x1, kFrontRight = 0x2, kFrontCenter = 0x4, kLowFrequency = 0x8,
                   kBackLeft = 0x10, kBackRight = 0x20, kSideLeft = 0x200, kSideRight = 0x400;
constexpr double kSideWeight = 1.41;  // channels at 60 to 120 degrees azimuth

// The order a file without a mask is taken to have, by channel count.
uint32_t DefaultMask(unsigned channels)
{
    constexpr uint32_t front = kFrontLeft | kFrontRight, back = kBackLeft | kBackRight;
    switch (channels) {
    case 1:
        return kFrontCenter;
    case 2:
        return front;
    case 3:
        return front | kFrontCenter;
    case 4:
        return front | back;
    case 5:
        return front | kFrontCenter | back;
    case 6:
        return front | kFrontCenter | kLowFrequency | back;
    case 8:
        return front | kFrontCenter | kLowFrequency | back | kSideLeft | kSideRight;
    default:
        return 0;
    }
}

const char* const kSpeakerNames[] = { "FL", "FR", "FC", "LFE", "BL",  "BR",  "FLC", "FRC", "BC",
                                      "SL", "SR", "TC", "TFL", "TFC", "TFR", "TBL", "TBC", "TBR" };

struct NamedLayout {
    uint32_t mask;
    const char* name;
};
const NamedLayout kNamedLayouts[] = {
    { 0x4, "mono" },        { 0x3, "stereo" }, { 0xB, "2.1" },         { 0x7, "3.0" },
    { 0xF, "3.1" },         { 0x107, "4.0" },  { 0x33, "quad" },       { 0x603, "quad(side)" },
    { 0x3B, "4.1" },        { 0x37, "5.0" },   { 0x607, "5.0(side)" }, { 0x3F, "5.1" },
    { 0x60F, "5.1(side)" }, { 0x707, "6.0" },  { 0x137, "hexagonal" }, { 0x70F, "6.1" },
    { 0x637, "7.0" },       { 0x63F, "7.1" },  { 0xFF, "7.1(wide)" },
};

double LufsToPower(double lufs) { return std::pow(10.0, lufs / 10.0); }

}  // namespace

double LoudnessRangeOf(std::vector<double> shortTermLufs)
{
    std::erase_if(shortTermLufs, [](double lufs) { return !(lufs >= kAbsoluteGateLufs); });
    if (shortTermLufs.empty())
        return -HUGE_VAL;
    double power = 0.0;
    for (const double lufs : shortTermLufs)
        power += LufsToPower(lufs);
    const double gate = 10.0 * std::log10(power / static_cast<double>(shortTermLufs.size())) + kRangeGateLu;
    std::erase_if(shortTermLufs, [gate](double lufs) { return lufs < gate; });
    std::sort(shortTermLufs.begin(), shortTermLufs.end());
    // Nearest rank, as the reference library takes its percentiles.
    const auto percentile = [&shortTermLufs](double p) {
        return shortTermLufs[static_cast<size_t>(static_cast<double>(shortTermLufs.size() - 1) * p + 0.5)];
    };
    return percentile(0.95) - percentile(0.10);
}

std::vector<uint32_t> ChannelSpeakers(unsigned channels, uint32_t channelMask)
{
    uint32_t mask = channelMask != 0 ? channelMask : DefaultMask(channels);
    std::vector<uint32_t> speakers(channels, 0);
    for (unsigned c = 0; c < channels && mask != 0; ++c) {
        speakers[c] = mask & (~mask + 1);  // the lowest bit left
        mask &= mask - 1;
    }
    return speakers;
}

std::vector<double> ChannelWeights(unsigned channels, uint32_t channelMask)
{
    const std::vector<uint32_t> speakers = ChannelSpeakers(channels, channelMask);
    // The back pair stands at +-110 degrees in a layout without a side pair (5.1, quad).
    const bool hasSides = std::find(speakers.begin(), speakers.end(), kSideLeft) != speakers.end()
        || std::find(speakers.begin(), speakers.end(), kSideRight) != speakers.end();
    std::vector<double> weights;
    for (const uint32_t speaker : speakers) {
        if (speaker == kLowFrequency)
            weights.push_back(0.0);
        else if (speaker == kSideLeft || speaker == kSideRight
                 || (!hasSides && (speaker == kBackLeft || speaker == kBackRight)))
            weights.push_back(kSideWeight);
        else
            weights.push_back(1.0);
    }
    return weights;
}

std::string ChannelLayoutName(unsigned channels, uint32_t channelMask)
{
    const std::vector<uint32_t> speakers = ChannelSpeakers(channels, channelMask);
    uint32_t placed = 0;
    for (const uint32_t speaker : speakers)
        placed |= speaker;
    if (placed == 0)
        return std::to_string(channels) + " channels";
    if (std::find(speakers.begin(), speakers.end(), 0u) == speakers.end()) {
        for (const NamedLayout& layout : kNamedLayouts) {
            if (layout.mask == placed)
                return layout.name;
        }
    }
    std::string name;
    for (unsigned c = 0; c < channels; ++c) {
        if (c > 0)
            name += '+';
        const int bit = std::countr_zero(speakers[c]);
        if (speakers[c] == 0)
            name += "ch" + std::to_string(c + 1);
        else if (bit < static_cast<int>(std::size(kSpeakerNames)))
            name += kSpeakerNames[bit];
        else
            name += "bit" + std::to_string(bit);
    }
    return name;
}

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

LoudnessMeter::LoudnessMeter(unsigned channels, unsigned long sampleRate, uint32_t channelMask)
    : channels_(channels), sampleRate_(sampleRate), library_(std::make_unique<Library>()),
      truePeak_(channels, sampleRate), hopFrames_((sampleRate + 5) / 10)
{
    library_->state = ebur128_init(channels, sampleRate, EBUR128_MODE_I | EBUR128_MODE_S);
    if (library_->state == nullptr)
        return;
    // The library knows the weights by position; one position of each weight stands for all.
    const std::vector<double> weights = ChannelWeights(channels, channelMask);
    for (unsigned c = 0; c < channels; ++c) {
        const int position = weights[c] == 0.0 ? EBUR128_UNUSED
            : weights[c] == kSideWeight        ? EBUR128_LEFT_SURROUND
                                               : EBUR128_LEFT;
        ebur128_set_channel(library_->state, c, position);
    }
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
        AddLoudness(frames, frameCount);
    if (helper.valid())
        helper.get();
    else
        peaks();
}

// The momentary and short-term windows are read at the end of every 100 ms: the library is
// fed up to each of those boundaries and no further.
void LoudnessMeter::AddLoudness(const float* frames, size_t frameCount)
{
    ebur128_state* state = library_->state;
    while (frameCount > 0) {
        const size_t step = std::min(frameCount, hopFrames_ - hopFilled_);
        ebur128_add_frames_float(state, frames, step);
        frames += step * channels_;
        frameCount -= step;
        hopFilled_ += step;
        if (hopFilled_ < hopFrames_)
            break;
        hopFilled_ = 0;
        ++hopCount_;
        double lufs = -HUGE_VAL;
        if (hopCount_ >= kMomentaryHops && ebur128_loudness_momentary(state, &lufs) == EBUR128_SUCCESS)
            momentaryMaxLufs_ = std::max(momentaryMaxLufs_, lufs);
        if (hopCount_ >= kShortTermHops && ebur128_loudness_shortterm(state, &lufs) == EBUR128_SUCCESS)
            shortTerm_.push_back(lufs);
    }
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
    levels.momentaryMaxLufs = momentaryMaxLufs_;
    levels.rangeLu = LoudnessRangeOf(shortTerm_);
    if (!shortTerm_.empty())
        levels.shortTermMaxLufs = *std::max_element(shortTerm_.begin(), shortTerm_.end());
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

double AlbumRange(const std::vector<const LoudnessMeter*>& meters)
{
    std::vector<double> shortTerm;
    for (const LoudnessMeter* meter : meters) {
        if (meter != nullptr)
            shortTerm.insert(shortTerm.end(), meter->shortTerm_.begin(), meter->shortTerm_.end());
    }
    return LoudnessRangeOf(std::move(shortTerm));
}

}  // namespace orva
