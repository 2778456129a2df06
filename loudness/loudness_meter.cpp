#include "loudness/loudness_meter.h"

#include <immintrin.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cfloat>
#include <cmath>
#include <condition_variable>
#include <mutex>
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

// The largest |x|; NaN takes no part.
float SampleMagnitude(const float* samples, size_t count)
{
    const __m128 sign = _mm_set1_ps(-0.0f);
    __m128 low = _mm_setzero_ps(), high = _mm_setzero_ps();
    size_t i = 0;
    // maxps answers its second operand when either is NaN: the running maximum.
    for (; i + 8 <= count; i += 8) {
        low = _mm_max_ps(_mm_andnot_ps(sign, _mm_loadu_ps(samples + i)), low);
        high = _mm_max_ps(_mm_andnot_ps(sign, _mm_loadu_ps(samples + i + 4)), high);
    }
    float lanes[4];
    _mm_storeu_ps(lanes, _mm_max_ps(low, high));
    float peak = std::max({ lanes[0], lanes[1], lanes[2], lanes[3] });
    for (; i < count; ++i)
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

namespace {

constexpr double kGateOffset = -0.691;  // loudness = 10 log10(weighted mean square) + this
constexpr double kRelativeGate = 0.1;   // -10 LU, as a ratio of energies

double EnergyToLufs(double energy)
{
    return energy > 0.0 ? 10.0 * std::log10(energy) + kGateOffset : -HUGE_VAL;
}

// The K-weighting filter at one rate: the high-frequency shelf and the high-pass of BS.1770,
// each from its analogue prototype by the bilinear transform, multiplied into one
// fourth-order section (b over a, a[0] = 1) as the reference library does.
struct KFilter {
    double b[5] = {};
    double a[5] = {};
    bool stable = false;  // every pole inside the unit circle (not so at very low rates)
};

// A second-order denominator 1 + a1 z^-1 + a2 z^-2 with both poles inside the unit circle.
bool StablePoles(double a1, double a2) { return std::fabs(a2) < 1.0 && std::fabs(a1) < 1.0 + a2; }

KFilter MakeKFilter(double rate)
{
    double shelfB[3], shelfA[3], passB[3] = { 1.0, -2.0, 1.0 }, passA[3];
    {
        const double f0 = 1681.974450955533, gain = 3.999843853973347, q = 0.7071752369554196;
        const double k = std::tan(M_PI * f0 / rate), vh = std::pow(10.0, gain / 20.0),
                     vb = std::pow(vh, 0.4996667741545416), a0 = 1.0 + k / q + k * k;
        shelfB[0] = (vh + vb * k / q + k * k) / a0;
        shelfB[1] = 2.0 * (k * k - vh) / a0;
        shelfB[2] = (vh - vb * k / q + k * k) / a0;
        shelfA[0] = 1.0;
        shelfA[1] = 2.0 * (k * k - 1.0) / a0;
        shelfA[2] = (1.0 - k / q + k * k) / a0;
    }
    {
        const double f0 = 38.13547087602444, q = 0.5003270373238773;
        const double k = std::tan(M_PI * f0 / rate), a0 = 1.0 + k / q + k * k;
        passA[0] = 1.0;
        passA[1] = 2.0 * (k * k - 1.0) / a0;
        passA[2] = (1.0 - k / q + k * k) / a0;
    }
    KFilter filter;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            filter.b[i + j] += shelfB[i] * passB[j];
            filter.a[i + j] += shelfA[i] * passA[j];
        }
    }
    filter.stable = StablePoles(shelfA[1], shelfA[2]) && StablePoles(passA[1], passA[2]);
    return filter;
}

}  // namespace

// The filter state of every channel pair and the energies the gates work on. Energies are
// weighted sums of squares of the filtered samples; a window's energy is its mean square.
struct LoudnessMeter::Loudness {
    struct Pair {
        __m128d v[4];      // the filter's delay line, newest first, one channel per lane
        __m128d sum;       // squares summed in the current 100 ms
        double weight[2];  // the channels' weights (0 for a lane without a channel)
    };
    KFilter filter;
    std::vector<Pair> pairs;
    size_t hopFrames = 0;  // frames in 100 ms
    size_t hopFilled = 0;  // frames of the current 100 ms filtered so far
    uint64_t hopCount = 0;
    double hops[kShortTermHops] = {};  // weighted sums of the last 3 s of 100 ms steps (ring)
    double momentaryMax = 0.0;         // largest 400 ms energy
    std::vector<double> blocks;        // 400 ms energies, every 100 ms, at or above -70 LUFS
    std::vector<double> shortTerm;     // short-term loudness (LUFS) every 100 ms from 3 s on

    template <bool Single>
    void Filter(Pair& pair, const float* samples, size_t stride, size_t frameCount) const;
    void Add(const float* frames, unsigned channels, size_t frameCount);
    void EndHop();
};

// The filter is recursive: time runs down the loop, and the two lanes carry two channels.
// Direct form II, as the reference computes it, in double precision.
// Single: the pair's second lane has no channel.
template <bool Single>
void LoudnessMeter::Loudness::Filter(Pair& pair, const float* samples, size_t stride, size_t frameCount) const
{
    const __m128d b0 = _mm_set1_pd(filter.b[0]), b1 = _mm_set1_pd(filter.b[1]), b2 = _mm_set1_pd(filter.b[2]),
                  b3 = _mm_set1_pd(filter.b[3]), b4 = _mm_set1_pd(filter.b[4]);
    const __m128d a1 = _mm_set1_pd(filter.a[1]), a2 = _mm_set1_pd(filter.a[2]), a3 = _mm_set1_pd(filter.a[3]),
                  a4 = _mm_set1_pd(filter.a[4]);
    __m128d v1 = pair.v[0], v2 = pair.v[1], v3 = pair.v[2], v4 = pair.v[3], sum = pair.sum;
    for (size_t i = 0; i < frameCount; ++i, samples += stride) {
        const __m128d x = Single
            ? _mm_set_sd(static_cast<double>(*samples))
            : _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples))));
        // The oldest terms first: a term of the frame k back then has k frames for its product
        // and the k subtractions after it, and only a1 * v1 waits for the previous frame.
        const __m128d v0 = (((x - a4 * v4) - a3 * v3) - a2 * v2) - a1 * v1;
        const __m128d y = b0 * v0 + b1 * v1 + b2 * v2 + b3 * v3 + b4 * v4;
        sum += y * y;
        v4 = v3, v3 = v2, v2 = v1, v1 = v0;
    }
    pair.v[0] = v1, pair.v[1] = v2, pair.v[2] = v3, pair.v[3] = v4, pair.sum = sum;
}

// Callers may come from AVX code that left the upper halves of the vector registers in use,
// which slows every SSE instruction after it on some processors until they are cleared.
__attribute__((target("avx"))) void ClearUpperVectorHalves() { _mm256_zeroupper(); }

void LoudnessMeter::Loudness::Add(const float* frames, unsigned channels, size_t frameCount)
{
    static const bool haveAvx = __builtin_cpu_supports("avx");
    if (haveAvx)
        ClearUpperVectorHalves();
    while (frameCount > 0) {
        const size_t step = std::min(frameCount, hopFrames - hopFilled);
        for (size_t p = 0; p < pairs.size(); ++p) {
            const bool single = 2 * p + 1 == channels;
            if (single)
                Filter<true>(pairs[p], frames + 2 * p, channels, step);
            else
                Filter<false>(pairs[p], frames + 2 * p, channels, step);
        }
        frames += step * channels;
        frameCount -= step;
        hopFilled += step;
        if (hopFilled == hopFrames)
            EndHop();
    }
    // A decaying state would reach subnormal numbers, which are slow: they count as zero.
    for (Pair& pair : pairs) {
        for (__m128d& v : pair.v) {
            const __m128d tiny = _mm_cmplt_pd(_mm_andnot_pd(_mm_set1_pd(-0.0), v), _mm_set1_pd(DBL_MIN));
            v = _mm_andnot_pd(tiny, v);
        }
    }
}

void LoudnessMeter::Loudness::EndHop()
{
    double energy = 0.0;
    for (Pair& pair : pairs) {
        double sums[2];
        _mm_storeu_pd(sums, pair.sum);
        energy += pair.weight[0] * sums[0] + pair.weight[1] * sums[1];
        pair.sum = _mm_setzero_pd();
    }
    hops[hopCount % kShortTermHops] = energy;
    ++hopCount;
    hopFilled = 0;
    // Each window is summed afresh from its 100 ms parts: exact, and a few additions.
    const auto window = [this](uint64_t count) {
        double total = 0.0;
        for (uint64_t i = hopCount - count; i < hopCount; ++i)
            total += hops[i % kShortTermHops];
        return total / static_cast<double>(count * hopFrames);
    };
    if (hopCount >= kMomentaryHops) {
        const double block = window(kMomentaryHops);
        momentaryMax = std::max(momentaryMax, block);
        if (EnergyToLufs(block) >= kAbsoluteGateLufs)
            blocks.push_back(block);
    }
    if (hopCount >= kShortTermHops)
        shortTerm.push_back(EnergyToLufs(window(kShortTermHops)));
}

void LoudnessMeter::AllowHelperThread(bool allow) { g_helperAllowed.store(allow); }

// A second thread that measures parts of the true peak beside the calling thread: both take
// the next part from one counter until none is left.
class LoudnessMeter::Helper {
public:
    explicit Helper(TruePeakMeter& truePeak) : truePeak_(truePeak), thread_([this] { Run(); }) {}
    ~Helper()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }

    /// Lets the helper start on the block's parts.
    void Start(size_t partCount)
    {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            partCount_ = partCount;
            next_.store(0);
            ++started_;
        }
        wake_.notify_one();
    }
    /// Measures what parts of the block are left beside the helper, and waits for its last.
    void Wait()
    {
        for (size_t part; (part = next_.fetch_add(1)) < partCount_;)
            truePeak_.MeasurePart(part);
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return finished_ == started_; });
    }

private:
    void Run()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || finished_ != started_; });
            if (stopping_)
                return;
            const size_t partCount = partCount_;
            lock.unlock();
            for (size_t part; (part = next_.fetch_add(1)) < partCount;)
                truePeak_.MeasurePart(part);
            lock.lock();
            finished_ = started_;
            done_.notify_one();
        }
    }

    TruePeakMeter& truePeak_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    size_t partCount_ = 0;                 // parts of the block being measured
    std::atomic<size_t> next_ { 0 };       // the next part to take
    uint64_t started_ = 0, finished_ = 0;  // blocks handed to the helper and finished by it
    bool stopping_ = false;
    std::thread thread_;
};

LoudnessMeter::LoudnessMeter(unsigned channels, unsigned long sampleRate, uint32_t channelMask)
    : channels_(channels), sampleRate_(sampleRate), truePeak_(channels, sampleRate)
{
    if (channels == 0 || sampleRate < 16 || sampleRate > 2822400)
        return;
    auto loudness = std::make_unique<Loudness>();
    loudness->filter = MakeKFilter(static_cast<double>(sampleRate));
    if (!loudness->filter.stable)
        return;
    loudness->hopFrames = (sampleRate + 5) / 10;
    const std::vector<double> weights = ChannelWeights(channels, channelMask);
    loudness->pairs.resize((channels + 1) / 2);
    for (size_t p = 0; p < loudness->pairs.size(); ++p) {
        Loudness::Pair& pair = loudness->pairs[p];
        for (__m128d& v : pair.v)
            v = _mm_setzero_pd();
        pair.sum = _mm_setzero_pd();
        pair.weight[0] = weights[2 * p];
        pair.weight[1] = 2 * p + 1 < channels ? weights[2 * p + 1] : 0.0;
    }
    loudness_ = std::move(loudness);
}

LoudnessMeter::~LoudnessMeter() { FinishTruePeak(); }

void LoudnessMeter::AddFrames(const float* frames, size_t frameCount)
{
    AddFramesInBackground(frames, frameCount);
    FinishTruePeak();
}

void LoudnessMeter::AddFramesInBackground(const float* frames, size_t frameCount)
{
    FinishTruePeak();
    if (frameCount == 0 || channels_ == 0)
        return;
    frameCount_ += frameCount;
    // The true peak costs more than the rest: the helper starts on it at once, while this
    // thread measures the loudness, returns, and reads the next block; what the helper has
    // not finished by then, both finish together (FinishTruePeak). So neither waits while
    // the other has work.
    truePeak_.BeginBlock(frames, frameCount);
    pendingTruePeak_ = frameCount >= kParallelFrames && g_helperAllowed.load() && StartHelper();
    if (pendingTruePeak_)
        helper_->Start(truePeak_.PartCount());
    if (loudness_)
        loudness_->Add(frames, channels_, frameCount);
    samplePeak_ = std::max(samplePeak_, SampleMagnitude(frames, frameCount * channels_));
    if (pendingTruePeak_)
        return;
    for (size_t part = 0; part < truePeak_.PartCount(); ++part)
        truePeak_.MeasurePart(part);
    truePeak_.EndBlock();
}

bool LoudnessMeter::StartHelper()
{
    if (!helper_ && !helperFailed_) {
        try {
            helper_ = std::make_unique<Helper>(truePeak_);
        } catch (const std::system_error&) {
            helperFailed_ = true;  // no thread to be had: this thread measures everything
        }
    }
    return helper_ != nullptr;
}

void LoudnessMeter::Finish()
{
    FinishTruePeak();
    helper_.reset();
}

void LoudnessMeter::FinishTruePeak() const
{
    if (!pendingTruePeak_)
        return;
    helper_->Wait();
    truePeak_.EndBlock();
    pendingTruePeak_ = false;
}

namespace {

// The integrated loudness of 400 ms block energies that passed the absolute gate: the mean
// of those within 10 LU of their own mean.
double GatedLoudness(const std::vector<const std::vector<double>*>& blockLists)
{
    double total = 0.0;
    size_t count = 0;
    for (const auto* blocks : blockLists) {
        for (const double block : *blocks)
            total += block;
        count += blocks->size();
    }
    if (count == 0)
        return -HUGE_VAL;
    const double gate = total / static_cast<double>(count) * kRelativeGate;
    double gated = 0.0;
    size_t gatedCount = 0;
    for (const auto* blocks : blockLists) {
        for (const double block : *blocks) {
            if (block >= gate)
                gated += block, ++gatedCount;
        }
    }
    return gatedCount == 0 ? -HUGE_VAL : EnergyToLufs(gated / static_cast<double>(gatedCount));
}

}  // namespace

LoudnessLevels LoudnessMeter::Levels() const
{
    FinishTruePeak();
    LoudnessLevels levels;
    levels.samplePeak = samplePeak_;
    levels.truePeak = std::max<double>(truePeak_.TruePeak(), samplePeak_);
    if (!loudness_)
        return levels;
    const Loudness& loudness = *loudness_;
    levels.integratedLufs = GatedLoudness({ &loudness.blocks });
    levels.momentaryMaxLufs = EnergyToLufs(loudness.momentaryMax);
    levels.rangeLu = LoudnessRangeOf(loudness.shortTerm);
    if (!loudness.shortTerm.empty())
        levels.shortTermMaxLufs = *std::max_element(loudness.shortTerm.begin(), loudness.shortTerm.end());
    return levels;
}

double AlbumLoudness(const std::vector<const LoudnessMeter*>& meters)
{
    std::vector<const std::vector<double>*> blocks;
    for (const LoudnessMeter* meter : meters) {
        if (meter != nullptr && meter->loudness_)
            blocks.push_back(&meter->loudness_->blocks);
    }
    return GatedLoudness(blocks);
}

double AlbumRange(const std::vector<const LoudnessMeter*>& meters)
{
    std::vector<double> shortTerm;
    for (const LoudnessMeter* meter : meters) {
        if (meter != nullptr && meter->loudness_)
            shortTerm.insert(shortTerm.end(), meter->loudness_->shortTerm.begin(),
                             meter->loudness_->shortTerm.end());
    }
    return LoudnessRangeOf(std::move(shortTerm));
}

}  // namespace orva
