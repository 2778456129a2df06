// The loudness meter against synthesized EBU Tech 3341/3342-style signals, the oversampling
// peak meter against the reference library's, and the target gains.

#include "core/normalize.h"
#include "loudness/loudness_meter.h"
#include "loudness/target_gain.h"
#include "loudness/true_peak.h"
#include "loudness/wave_analysis.h"
#include "tests/core/wave_builder.h"

#include <gtest/gtest.h>

#include <ebur128.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>

namespace orva {
namespace {

using namespace orva::test;

constexpr double kInf = HUGE_VAL;

double DbToLinear(double db) { return std::pow(10.0, db / 20.0); }

/// Interleaved frames: channel c of frame i is f(i, c).
std::vector<float> Synth(unsigned channels, size_t frames, const std::function<double(size_t, unsigned)>& f)
{
    std::vector<float> out(frames * channels);
    for (size_t i = 0; i < frames; ++i)
        for (unsigned c = 0; c < channels; ++c)
            out[i * channels + c] = static_cast<float>(f(i, c));
    return out;
}

std::function<double(size_t, unsigned)> Sine(double hz, double rate, double dbfs, double phase = 0.0)
{
    const double a = DbToLinear(dbfs);
    return [=](size_t i, unsigned) { return a * std::sin(2.0 * M_PI * hz * double(i) / rate + phase); };
}

/// A 1 kHz sine at 48 kHz, channel c at channelDbfs[c] (-kInf: silent).
std::vector<float> Tone(double seconds, const std::vector<double>& channelDbfs)
{
    const auto channels = unsigned(channelDbfs.size());
    return Synth(channels, size_t(seconds * 48000), [&](size_t i, unsigned c) {
        return DbToLinear(channelDbfs[c]) * std::sin(2.0 * M_PI * 1000.0 * double(i) / 48000.0);
    });
}

/// A stereo 1 kHz sine at 48 kHz in steps of {seconds, dBFS}.
std::vector<float> Steps(const std::vector<std::pair<double, double>>& steps)
{
    std::vector<float> out;
    for (const auto& [seconds, dbfs] : steps) {
        const std::vector<float> step = Tone(seconds, { dbfs, dbfs });
        out.insert(out.end(), step.begin(), step.end());
    }
    return out;
}

/// background: the blocks go to AddFramesInBackground through two buffers taken in turn,
/// each overwritten as soon as the meter may have let go of it.
LoudnessLevels Measure(unsigned channels, unsigned long rate, const std::vector<float>& frames,
                       size_t block = 65536, uint32_t mask = 0, bool background = false)
{
    LoudnessMeter meter(channels, rate, mask);
    const size_t count = frames.size() / channels;
    std::vector<float> turns[2];
    for (size_t at = 0, k = 0; at < count; at += block, ++k) {
        const size_t n = std::min(block, count - at);
        if (!background) {
            meter.AddFrames(frames.data() + at * channels, n);
            continue;
        }
        std::vector<float>& turn = turns[k % 2];
        turn.assign(frames.begin() + static_cast<ptrdiff_t>(at * channels),
                    frames.begin() + static_cast<ptrdiff_t>((at + n) * channels));
        meter.AddFramesInBackground(turn.data(), n);
        std::fill(turns[(k + 1) % 2].begin(), turns[(k + 1) % 2].end(), 2.0f);
    }
    return meter.Levels();
}

/// The reference library's levels over the same frames, channels weighted as ours, fed
/// 100 ms at a time so that its short-term loudness gives the range its 10 Hz series.
LoudnessLevels ReferenceLevels(unsigned channels, unsigned long rate, const std::vector<float>& frames,
                               uint32_t mask)
{
    LoudnessLevels levels;
    ebur128_state* st = ebur128_init(channels, rate, EBUR128_MODE_I | EBUR128_MODE_S);
    if (st == nullptr)
        return levels;
    const std::vector<double> weights = ChannelWeights(channels, mask);
    for (unsigned c = 0; c < channels; ++c)
        ebur128_set_channel(st, c,
                            weights[c] == 0.0      ? EBUR128_UNUSED
                                : weights[c] > 1.0 ? EBUR128_LEFT_SURROUND
                                                   : EBUR128_LEFT);
    const size_t hop = (rate + 5) / 10, count = frames.size() / channels;
    std::vector<double> shortTerm;
    for (size_t at = 0, hops = 1; at + hop <= count; at += hop, ++hops) {
        ebur128_add_frames_float(st, frames.data() + at * channels, hop);
        double lufs = -kInf;
        if (hops >= 4 && ebur128_loudness_momentary(st, &lufs) == EBUR128_SUCCESS)
            levels.momentaryMaxLufs = std::max(levels.momentaryMaxLufs, lufs);
        if (hops >= 30 && ebur128_loudness_shortterm(st, &lufs) == EBUR128_SUCCESS) {
            shortTerm.push_back(lufs);
            levels.shortTermMaxLufs = std::max(levels.shortTermMaxLufs, lufs);
        }
    }
    ebur128_loudness_global(st, &levels.integratedLufs);
    levels.rangeLu = LoudnessRangeOf(shortTerm);
    ebur128_destroy(&st);
    return levels;
}

struct LoudnessCase {
    const char* name;
    unsigned channels;
    unsigned long rate;
    std::function<std::vector<float>()> signal;
    double lufs;        // expected integrated loudness (kInf negated: not measurable)
    double range;       // expected loudness range, or NAN when not checked
    uint32_t mask = 0;  // the WAVE channel mask
};

// The EBU Tech 3341 and 3342 signals, and channel layouts weighted as BS.1770-4 says: LFE
// left out, the side positions (60 to 120 degrees) at 1.41, everything else 1.0.
TEST(LoudnessMeter, SynthesizedReferenceSignals)
{
    const double x = -kInf;
    const LoudnessCase cases[] = {
        { "1 kHz stereo sine at -23 dBFS", 2, 48000,
          [] { return Synth(2, 20 * 48000, Sine(1000, 48000, -23)); }, -23.0, NAN },
        { "1 kHz stereo sine at -33 dBFS", 2, 48000,
          [] { return Synth(2, 20 * 48000, Sine(1000, 48000, -33)); }, -33.0, NAN },
        { "1 kHz sine at -23 dBFS, 44.1 kHz", 2, 44100,
          [] { return Synth(2, 20 * 44100, Sine(1000, 44100, -23)); }, -23.0, NAN },
        { "-36, -23, -36 dBFS", 2, 48000,
          [] {
              return Steps({ { 10, -36 }, { 60, -23 }, { 10, -36 } });
          },
          -23.0, NAN },
        // Below the absolute gate at both ends; the range from short-term loudness at 10 Hz.
        { "-72, -36, -23, -36, -72 dBFS", 2, 48000,
          [] {
              return Steps({ { 10, -72 }, { 10, -36 }, { 60, -23 }, { 10, -36 }, { 10, -72 } });
          },
          -23.0, 13.0 },
        { "-26, -20, -26 dBFS", 2, 48000,
          [] {
              return Steps({ { 20, -26 }, { 20.1, -20 }, { 20, -26 } });
          },
          -23.0, NAN },
        { "five channels without a mask: L R C Ls Rs", 5, 48000,
          [] {
              return Tone(20, { -28, -28, -24, -30, -30 });
          },
          -23.0, NAN },
        { "range: -20 then -30 dBFS", 2, 48000,
          [] {
              return Steps({ { 20, -20 }, { 20, -30 } });
          },
          NAN, 10.0 },
        { "range: -20 then -15 dBFS", 2, 48000,
          [] {
              return Steps({ { 20, -20 }, { 20, -15 } });
          },
          NAN, 5.0 },
        { "range: -40 then -20 dBFS", 2, 48000,
          [] {
              return Steps({ { 20, -40 }, { 20, -20 } });
          },
          NAN, 20.0 },
        { "range: -50, -35, -20, -35, -50 dBFS", 2, 48000,
          [] {
              return Steps({ { 20, -50 }, { 20, -35 }, { 20, -20 }, { 20, -35 }, { 20, -50 } });
          },
          NAN, 15.0 },
        // Windows every 100 ms see every share of loud and soft seconds between 1 and 2 (at 1 s
        // steps only those two: 2.95 LU).
        { "range: 1 s at -20 and 1 s at -40 dBFS by turns", 2, 48000,
          [] {
              std::vector<std::pair<double, double>> steps;
              for (int i = 0; i < 20; ++i)
                  steps.insert(steps.end(), { { 1, -20 }, { 1, -40 } });
              return Steps(steps);
          },
          NAN, 2.54 },
        // Other rates: the filter is designed for each (11025 Hz has 1103-frame 100 ms steps).
        { "96 kHz", 2, 96000, [] { return Synth(2, 10 * 96000, Sine(1000, 96000, -23)); }, -23.0, NAN },
        { "192 kHz", 2, 192000, [] { return Synth(2, 5 * 192000, Sine(1000, 192000, -23)); }, -23.0, NAN },
        { "22.05 kHz", 1, 22050, [] { return Synth(1, 10 * 22050, Sine(1000, 22050, -20)); }, -23.0, NAN },
        { "11.025 kHz", 2, 11025, [] { return Synth(2, 10 * 11025, Sine(1000, 11025, -23)); }, -23.0, NAN },
        { "8 kHz", 2, 8000, [] { return Synth(2, 10 * 8000, Sine(1000, 8000, -23)); }, -23.0, NAN },
        // Too low a rate for the filter: nothing measured, not a level from an unstable filter.
        { "2 kHz", 2, 2000, [] { return Synth(2, 10 * 2000, Sine(300, 2000, -23)); }, -kInf, -kInf },
        { "silence", 2, 48000, [] { return std::vector<float>(2 * 5 * 48000, 0.0f); }, -kInf, -kInf },
        { "shorter than one 400 ms block", 2, 48000,
          [] { return Synth(2, 48000 * 3 / 10, Sine(1000, 48000, -10)); }, -kInf, -kInf },
        { "below the -70 LUFS absolute gate", 2, 48000,
          [] { return Synth(2, 5 * 48000, Sine(1000, 48000, -80)); }, -kInf, -kInf },
        { "mono counts once", 1, 48000, [] { return Synth(1, 10 * 48000, Sine(1000, 48000, -20)); }, -23.0,
          NAN },
        { "2.1: the LFE left out", 3, 48000,
          [] {
              return Tone(10, { -23, -23, -20 });
          },
          -23.0, NAN, 0xB },
        { "4.1: the LFE left out", 5, 48000,
          [=] {
              return Tone(10, { -23, -23, -20, x, x });
          },
          -23.0, NAN, 0x3B },
        { "7.1: the side pair at 1.41", 8, 48000,
          [=] {
              return Tone(10, { x, x, x, x, x, x, -23, -23 });
          },
          -21.5, NAN, 0x63F },
        { "7.1: the back pair at 1.0", 8, 48000,
          [=] {
              return Tone(10, { x, x, x, x, -23, -23, x, x });
          },
          -23.0, NAN, 0x63F },
        { "6.0: the back centre at 1.0", 6, 48000,
          [=] {
              return Tone(10, { x, x, x, -23, x, x });
          },
          -26.0, NAN, 0x707 },
        { "5.1 without a mask: LFE out, Ls Rs at 1.41", 6, 48000,
          [=] {
              return Tone(10, { x, x, x, 0, -23, -23 });
          },
          -21.5, NAN },
        { "quad without a mask: Ls Rs at 1.41", 4, 48000,
          [=] {
              return Tone(10, { x, x, -23, -23 });
          },
          -21.5, NAN },
        { "7.1 without a mask: back pair 1.0", 8, 48000,
          [=] {
              return Tone(10, { x, x, x, -6, -23, -23, x, x });
          },
          -23.0, NAN },
        { "a channel beyond the mask counts 1.0", 3, 48000,
          [] {
              return Tone(10, { -10, -23, -23 });
          },
          -23.0, NAN, 0x8 },
    };
    for (const LoudnessCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<float> frames = c.signal();
        const LoudnessLevels levels = Measure(c.channels, c.rate, frames, 65536, c.mask);
        // Our filter and windows against the reference library's, to a hundredth of a LU.
        const LoudnessLevels reference = ReferenceLevels(c.channels, c.rate, frames, c.mask);
        for (const auto& [ours, theirs] :
             { std::pair(levels.integratedLufs, reference.integratedLufs),
               std::pair(levels.rangeLu, reference.rangeLu),
               std::pair(levels.momentaryMaxLufs, reference.momentaryMaxLufs),
               std::pair(levels.shortTermMaxLufs, reference.shortTermMaxLufs) }) {
            if (theirs == kInf)
                continue;  // the reference's filter is unstable at the lowest rates
            if (std::isinf(theirs) || std::isinf(ours))
                EXPECT_EQ(ours, theirs);
            else
                EXPECT_NEAR(ours, theirs, 0.01);
        }
        if (std::isinf(c.lufs)) {
            EXPECT_EQ(levels.integratedLufs, c.lufs);
        } else if (!std::isnan(c.lufs)) {
            EXPECT_NEAR(levels.integratedLufs, c.lufs, 0.1);
        }
        if (std::isinf(c.range)) {
            EXPECT_EQ(levels.rangeLu, c.range);
        } else if (!std::isnan(c.range)) {
            EXPECT_NEAR(levels.rangeLu, c.range, 0.1);
        }
    }
}

TEST(LoudnessMeter, SineOffItsPeaksReadsTruePeakAboveSamplePeak)
{
    // 997 Hz is prime to the rate: the samples miss the crests by varying amounts.
    const auto frames = Synth(2, 2 * 48000, Sine(997, 48000, -6.0, 0.3));
    const LoudnessLevels levels = Measure(2, 48000, frames);
    EXPECT_GT(levels.truePeak, levels.samplePeak);
    EXPECT_NEAR(MagnitudeToDb(levels.truePeak), -6.0, 0.05);

    // A quarter-rate sine sampled at 45 degrees: every sample 3 dB below the crest.
    const auto quarter = Synth(1, 48000, Sine(12000, 48000, -1.0, M_PI / 4));
    const LoudnessLevels q = Measure(1, 48000, quarter);
    EXPECT_NEAR(MagnitudeToDb(q.samplePeak), -4.01, 0.01);
    EXPECT_NEAR(MagnitudeToDb(q.truePeak), -1.0, 0.3);
}

/// The reference library's true peak over the same frames (largest over channels).
double ReferenceTruePeak(unsigned channels, unsigned long rate, const std::vector<float>& frames)
{
    ebur128_state* st = ebur128_init(channels, rate, EBUR128_MODE_TRUE_PEAK);
    ebur128_add_frames_float(st, frames.data(), frames.size() / channels);
    double peak = 0.0;
    for (unsigned c = 0; c < channels; ++c) {
        double p = 0.0;
        ebur128_true_peak(st, c, &p);
        peak = std::max(peak, p);
    }
    ebur128_destroy(&st);
    return peak;
}

TEST(TruePeakMeter, WithinATenthOfADecibelAtEveryRateFrequencyAndPhase)
{
    // Sums of tones faded in and out (raised cosine) around a steady stretch of at least two
    // periods, so that the file holds no step; the exact peak is searched on the sum itself.
    struct Partial {
        double fraction, phase, amplitude;  // frequency as a fraction of the rate
    };
    struct Row {
        const char* name;
        double hz;        // a tone of this frequency, or
        double fraction;  // of this fraction of the rate, or (0, 0)
        unsigned tones;   // this many at random frequencies from 0.01 to 0.45 of the rate
        double allowedLowDb;
    };
    const Row rows[] = {
        { "20 Hz", 20.0, 0.0, 1, 0.1 },
        { "997 Hz", 997.0, 0.0, 1, 0.1 },
        { "a quarter of the rate", 0.0, 0.25, 1, 0.1 },
        { "a third of the rate", 0.0, 1.0 / 3.0, 1, 0.1 },
        { "0.4 of the rate", 0.0, 0.4, 1, 0.1 },
        { "just below 0.45 of the rate", 0.0, 0.4493, 1, 0.1 },
        { "0.45 of the rate", 0.0, 0.45, 1, 0.1 },
        { "noise: 40 tones", 0.0, 0.0, 40, 0.2 },
    };
    std::mt19937 random(7);
    for (unsigned long rate : { 44100UL, 48000UL, 88200UL, 96000UL, 192000UL }) {
        for (const Row& row : rows) {
            for (double phase : { 0.0, 0.3, M_PI / 4, M_PI / 2 }) {
                SCOPED_TRACE(testing::Message() << row.name << " at " << rate << " Hz, phase " << phase);
                std::vector<Partial> partials;
                std::uniform_real_distribution<double> fraction(0.01, 0.45), angle(0.0, 2.0 * M_PI);
                for (unsigned k = 0; k < row.tones; ++k) {
                    const double f = row.hz > 0.0 ? row.hz / double(rate)
                        : row.fraction > 0.0      ? row.fraction
                                                  : fraction(random);
                    partials.push_back(
                        { f, row.tones == 1 ? phase : angle(random), 0.5 / std::sqrt(double(row.tones)) });
                }
                const double lowest =
                    std::min_element(partials.begin(), partials.end(), [](auto& a, auto& b) {
                        return a.fraction < b.fraction;
                    })->fraction;
                const double fade = double(rate / 50), steady = std::max(double(rate / 100), 2.5 / lowest);
                const double length = std::floor(2.0 * fade + steady);
                auto signal = [&](double t) {
                    const double edge = std::min(t, length - 1.0 - t);
                    const double gain = edge >= fade ? 1.0 : 0.5 - 0.5 * std::cos(M_PI * edge / fade);
                    double sum = 0.0;
                    for (const Partial& p : partials)
                        sum += p.amplitude * std::sin(2.0 * M_PI * p.fraction * t + p.phase);
                    return gain * sum;
                };
                const auto frames =
                    Synth(1, size_t(length), [&](size_t i, unsigned) { return signal(double(i)); });
                // The exact peak: every 1/8 sample, then every 1/1024 sample around the loudest crests.
                std::vector<double> coarse;
                for (double t = 0.0; t <= length - 1.0; t += 0.125)
                    coarse.push_back(std::fabs(signal(t)));
                const double loudest = *std::max_element(coarse.begin(), coarse.end());
                double exact = loudest;
                for (size_t c = 0; c < coarse.size(); ++c) {
                    if (coarse[c] < 0.9 * loudest || (c > 0 && coarse[c - 1] > coarse[c])
                        || (c + 1 < coarse.size() && coarse[c + 1] > coarse[c]))
                        continue;
                    for (int k = -128; k <= 128; ++k)
                        exact = std::max(exact, std::fabs(signal(double(c) * 0.125 + k / 1024.0)));
                }
                TruePeakMeter meter(1, rate);
                meter.AddFrames(frames.data(), frames.size());
                const double error = MagnitudeToDb(meter.TruePeak()) - MagnitudeToDb(exact);
                EXPECT_LE(error, 0.1);
                EXPECT_GE(error, -row.allowedLowDb);
            }
        }
    }
    // The last samples count too, read against the silence after them: a quarter-rate burst
    // at 45 degrees in the last eight samples, whose samples are 3 dB below its crests.
    const auto burst = Synth(1, 100, [](size_t i, unsigned) {
        return i < 92 ? 0.0 : 0.5 * std::sin(M_PI / 2 * double(i) + M_PI / 4);
    });
    TruePeakMeter meter(1, 48000);
    meter.AddFrames(burst.data(), burst.size());
    EXPECT_NEAR(MagnitudeToDb(meter.TruePeak()), MagnitudeToDb(0.5), 0.5);
}

TEST(TruePeakMeter, AgreesWithReferenceWhateverTheBlocksAndThreads)
{
    std::mt19937 random(12);
    std::uniform_real_distribution<double> noise(-0.5, 0.5);
    struct Case {
        const char* name;
        unsigned channels;
        unsigned long rate;
        std::vector<float> frames;
    };
    const Case cases[] = {
        { "white noise", 2, 44100, Synth(2, 100000, [&](size_t, unsigned) { return noise(random); }) },
        { "997 Hz", 2, 48000, Synth(2, 50000, Sine(997, 48000, -0.5, 1.0)) },
        { "quarter rate at 45 degrees", 1, 44100, Synth(1, 30000, Sine(11025, 44100, 0.0, M_PI / 4)) },
        { "alternating full-scale samples", 1, 48000,
          Synth(1, 5000, [](size_t i, unsigned) { return (i / 2) % 2 ? 1.0 : -1.0; }) },
        // The loudest crest just after frame 8160, the first position a block's second part of
        // the true peak reads: that position needs its neighbour from the part before.
        { "crest where a part begins", 1, 48000,
          Synth(1, 20000,
                [](size_t i, unsigned) {
                    const double t = double(i) - 8160.1;
                    return std::fabs(t) < 64.0
                        ? 0.25 * (1.0 + std::cos(M_PI * t / 64.0)) * std::cos(M_PI / 2 * t)
                        : 0.0;
                }) },
        { "impulse in the second channel", 2, 48000,
          Synth(2, 3000, [](size_t i, unsigned c) { return i == 1500 && c == 1 ? 0.9 : 0.0; }) },
        { "six channels at 96 kHz", 6, 96000,
          Synth(6, 40000, [&](size_t i, unsigned c) { return std::sin(double(i * (c + 1)) * 0.9) * 0.7; }) },
        { "192 kHz", 2, 192000, Synth(2, 20000, Sine(5000, 192000, -3.0, 0.2)) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const double reference = ReferenceTruePeak(c.channels, c.rate, c.frames);
        double first = -1.0;
        for (size_t block : { size_t(1), size_t(7), size_t(1024), size_t(20000), size_t(1) << 20 }) {
            for (bool helper : { false, true }) {
                LoudnessMeter::AllowHelperThread(helper);
                const double peak = Measure(c.channels, c.rate, c.frames, block).truePeak;
                if (first < 0.0)
                    first = peak;
                EXPECT_EQ(peak, first) << "block " << block << (helper ? " with helper" : "");
                EXPECT_EQ(Measure(c.channels, c.rate, c.frames, block, 0, true).truePeak, first)
                    << "block " << block << " in the background" << (helper ? " with helper" : "");
            }
        }
        LoudnessMeter::AllowHelperThread(true);
        // The plain loops (processors without AVX2) agree, and do not depend on the blocks either.
        TruePeakMeter::UseVectorKernels(false);
        const double plain = Measure(c.channels, c.rate, c.frames).truePeak;
        EXPECT_NEAR(plain, first, first * 1e-5) << "plain loops";
        EXPECT_EQ(Measure(c.channels, c.rate, c.frames, 7, 0, true).truePeak, plain)
            << "plain loops, block 7";
        TruePeakMeter::UseVectorKernels(true);
        // The library's filter reads low near half the rate and between its 4x positions (and
        // a few hundredths of a dB high on the ringing of an abrupt start at a quarter of it).
        EXPECT_GE(MagnitudeToDb(first), MagnitudeToDb(reference) - 0.03);
    }
}

TEST(TargetGain, EachModeAndTheAlbum)
{
    LoudnessLevels levels;
    levels.samplePeak = 0.5;
    levels.truePeak = 0.6;
    levels.integratedLufs = -20.0;
    const GainInputs file { 16, 16384, levels };
    const double classic = 32767.0 / 16384.0;
    struct Case {
        const char* name;
        NormalizationTarget target;
        GainInputs inputs;
        std::optional<double> gain;
    };
    LoudnessLevels silent;
    const Case cases[] = {
        { "sample peak at 0 dBFS is the classic gain", { TargetMode::SamplePeak, 0, -10 }, file, classic },
        { "sample peak at -1 dBFS",
          { TargetMode::SamplePeak, -10, -10 },
          file,
          classic * std::pow(10.0, -0.05) },
        { "8-bit sample peak",
          { TargetMode::SamplePeak, -60, -10 },
          { 8, 64, levels },
          127.0 / 64.0 * std::pow(10.0, -0.3) },
        { "true peak to -1 dBTP", { TargetMode::TruePeak, -10, -10 }, file, std::pow(10.0, -0.05) / 0.6 },
        { "true peak never past the classic gain",
          { TargetMode::TruePeak, 0, -10 },
          { 16, 16384, { 0.5, 0.5, -20.0, 0.0 } },
          classic },
        { "loudness to -23 LUFS", { TargetMode::Loudness, -230, -10 }, file, std::pow(10.0, -3.0 / 20.0) },
        { "loudness held at the ceiling",
          { TargetMode::Loudness, -140, -10 },
          file,
          std::pow(10.0, -0.05) / 0.6 },
        { "loudness not measurable", { TargetMode::Loudness, -230, -10 }, { 16, 1, silent }, std::nullopt },
        { "silence in true-peak mode keeps the classic gain",
          { TargetMode::TruePeak, -10, -10 },
          { 16, 1, silent },
          32767.0 },
        // Wider formats take their own full scale; float peaks are levels (past 1.0 too).
        { "24-bit sample peak to -6 dBFS",
          { TargetMode::SamplePeak, -60, -10 },
          { 24, 4194304, levels, SampleFormat::S24 },
          8388607.0 / 4194304.0 * std::pow(10.0, -0.3) },
        { "float above full scale, true peak to -1 dBTP",
          { TargetMode::TruePeak, -10, -10 },
          { 32, 1, { 2.0, 2.5, -3.0, 0.0 }, SampleFormat::F32, 2.0 },
          std::pow(10.0, -0.05) / 2.5 },
        { "silent float keeps its samples",
          { TargetMode::TruePeak, -10, -10 },
          { 32, 1, silent, SampleFormat::F32 },
          1.0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto gain = TargetGain(c.target, c.inputs);
        ASSERT_EQ(gain.has_value(), c.gain.has_value());
        if (gain) {
            EXPECT_DOUBLE_EQ(*gain, *c.gain);
        }
    }
    // The classic gain is computed exactly as the plain normalization computes it.
    EXPECT_EQ(*TargetGain({}, file), NormalizeGain(16, 16384));

    LoudnessLevels quieter = levels;
    quieter.samplePeak = 0.25, quieter.truePeak = 0.9;
    const GainInputs album = AlbumInputs({ file, { 16, 8192, quieter } }, -21.0);
    EXPECT_EQ(album.peak, 16384);
    EXPECT_EQ(album.levels.truePeak, 0.9);
    EXPECT_EQ(album.levels.integratedLufs, -21.0);
    EXPECT_DOUBLE_EQ(*TargetGain({ TargetMode::Loudness, -230, 0 }, album), std::pow(10.0, -0.1));
}

TEST(WaveAnalysis, ReadsEverySampleFormat)
{
    TempDir dir;
    std::vector<int> words;
    Bytes bytes8;
    for (int i = 0; i < 44100; ++i) {
        const double v = 0.5 * std::sin(2.0 * M_PI * 997.0 * i / 44100.0);
        words.push_back(int(std::lround(v * 32767.0)));
        bytes8.push_back(uint8_t(128 + std::lround(v * 127.0)));
    }
    NullStageEvents row;
    std::string error;
    const auto threads = [] {
        const std::filesystem::directory_iterator tasks("/proc/self/task");
        return std::distance(std::filesystem::begin(tasks), std::filesystem::end(tasks));
    };
    const auto threadsBefore = threads();
    WaveAnalysis a16;
    ASSERT_TRUE(AnalyzeWaveFile(row, dir.Write("16.wav", PcmWave(1, 44100, 16, Words(words))), a16, error));
    EXPECT_EQ(a16.peak, 16384);
    EXPECT_NEAR(MagnitudeToDb(a16.levels.truePeak), -6.02, 0.05);
    EXPECT_NEAR(a16.levels.integratedLufs, -6.02 - 3.01 + 0.0, 0.2);

    WaveAnalysis a8;
    ASSERT_TRUE(AnalyzeWaveFile(row, dir.Write("8.wav", PcmWave(1, 44100, 8, bytes8)), a8, error));
    EXPECT_EQ(a8.peak, 64);
    EXPECT_NEAR(a8.levels.integratedLufs, a16.levels.integratedLufs, 0.1);

    // A header that claims more 8-bit data than the file holds: only what is there counts.
    Bytes cut = PcmWave(1, 44100, 8, bytes8);
    cut.resize(cut.size() - 100);
    WaveAnalysis a8cut;
    ASSERT_TRUE(AnalyzeWaveFile(row, dir.Write("cut.wav", cut), a8cut, error));
    EXPECT_EQ(a8cut.peak, 64);

    // The wider formats, on their own scales: a 24-bit file and a float one with a NaN (where
    // the sine crosses zero: the meter takes it as silence).
    Bytes bytes24, bytesF32;
    for (size_t i = 0; i < words.size(); ++i) {
        const int32_t v = words[i] * 256;
        bytes24.insert(bytes24.end(), { uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16) });
        const float f = i == 0 ? NAN : float(words[i]) / 32768.0f;
        uint32_t u;
        std::memcpy(&u, &f, 4);
        Put32(bytesF32, u);
    }
    WaveAnalysis a24;
    ASSERT_TRUE(AnalyzeWaveFile(row, dir.Write("24.wav", PcmWave(1, 44100, 24, bytes24)), a24, error));
    EXPECT_EQ(a24.peak, 16384 * 256);
    EXPECT_NEAR(a24.levels.integratedLufs, a16.levels.integratedLufs, 0.01);
    Bytes chunks;
    AddChunk(chunks, "fmt ", FmtBody(3, 1, 44100, 32));
    AddChunk(chunks, "data", bytesF32);
    WaveAnalysis af;
    ASSERT_TRUE(AnalyzeWaveFile(row, dir.Write("f.wav", Riff(chunks)), af, error));
    EXPECT_EQ(af.level, 0.5);
    EXPECT_EQ(af.levels.samplePeak, 0.5);
    EXPECT_NEAR(af.levels.integratedLufs, a16.levels.integratedLufs, 0.01);
    EXPECT_NEAR(MagnitudeToDb(af.levels.truePeak), -6.02, 0.05);

    WaveAnalysis none;
    EXPECT_FALSE(AnalyzeWaveFile(row, dir.File("missing.wav"), none, error));
    EXPECT_FALSE(error.empty());
    // The meters are kept for album figures, but not the threads they measured with.
    EXPECT_EQ(threads(), threadsBefore);
}

}  // namespace
}  // namespace orva
