#pragma once
// Loudness analysis of one stream of interleaved float frames (full scale 1.0): the
// integrated loudness and loudness range of ITU-R BS.1770 with the EBU R128 gates, every
// channel weighted by where it plays, and the sample and true peaks. The K-weighting filter
// runs in double precision, two channels to a vector; the gates work on energies summed
// over 100 ms, which the 400 ms and 3 s windows are built from. libebur128 is the reference
// the results are checked against. A helper thread starts on the true peak of each block
// while the calling thread measures its loudness, and then both share what is left of it;
// results do not depend on whether the helper runs.

#include "loudness/true_peak.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace orva {

/// Levels of one file (or of several taken together). Linear magnitudes are at full
/// scale 1.0; a level with nothing to measure is -infinity in dB and 0 as a magnitude.
struct LoudnessLevels {
    double samplePeak = 0.0;  ///< largest sample magnitude
    double truePeak = 0.0;    ///< largest oversampled magnitude (at least samplePeak)
    double integratedLufs = -std::numeric_limits<double>::infinity();    ///< integrated loudness, LUFS
    double rangeLu = -std::numeric_limits<double>::infinity();           ///< loudness range, LU
    double momentaryMaxLufs = -std::numeric_limits<double>::infinity();  ///< loudest 400 ms window
    double shortTermMaxLufs = -std::numeric_limits<double>::infinity();  ///< loudest 3 s window
};

/// Linear magnitude to dB; 0 (or less) gives -infinity.
double MagnitudeToDb(double magnitude);

/// The speaker bit (WAVE channel mask) of each of `channels` channels: the mask's set bits
/// in channel order, or for a mask of 0 the usual order for the count (mono, L R, L R C,
/// L R Ls Rs, L R C Ls Rs, 5.1, 7.1); 0 for a channel the mask does not place.
std::vector<uint32_t> ChannelSpeakers(unsigned channels, uint32_t channelMask);

/// The BS.1770-4 weight of each channel: 0 for LFE, 1.41 for the side positions (the side
/// pair, or the back pair of a layout without one), 1.0 for the rest and for unplaced channels.
std::vector<double> ChannelWeights(unsigned channels, uint32_t channelMask);

/// A short name of the layout the weights follow: "stereo", "5.1", ... or the speakers one by
/// one ("FL+FR+TFL", "ch3" for an unplaced third channel).
std::string ChannelLayoutName(unsigned channels, uint32_t channelMask);

/// The loudness range (LU) of a series of short-term loudness values (LUFS, 3 s windows
/// taken every 100 ms) as EBU Tech 3342 gates it: values below -70 LUFS and more than 20 LU
/// below the power mean of the rest are left out, and the range runs from the 10th to the
/// 95th percentile of what remains. -infinity when nothing remains.
double LoudnessRangeOf(std::vector<double> shortTermLufs);

class LoudnessMeter {
public:
    /// A meter for `channels` channels at `sampleRate` Hz, weighted as channelMask says
    /// (ChannelWeights). Rates outside 16 Hz to 2.8224 MHz, or so low that the K-weighting
    /// filter is not stable (below about 3.4 kHz), leave the loudness at -infinity; the
    /// peaks are still measured.
    LoudnessMeter(unsigned channels, unsigned long sampleRate, uint32_t channelMask = 0);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    /// Adds frameCount interleaved frames (channels floats each). Large blocks are split
    /// between the calling thread and one helper thread.
    void AddFrames(const float* frames, size_t frameCount);
    /// AddFrames that may leave the true peak of these frames still being measured on the
    /// helper thread when it returns, so that the caller can fetch the next block meanwhile.
    /// The frames must stay as they are until the next AddFrames, AddFramesInBackground or
    /// Levels call (each waits for it), or until the meter is destroyed.
    void AddFramesInBackground(const float* frames, size_t frameCount);
    /// Finishes the work on the frames added so far and lets the helper thread go, for a
    /// meter kept after its stream has ended (a later AddFrames starts another).
    void Finish();
    /// The levels of everything added so far.
    LoudnessLevels Levels() const;
    uint64_t FrameCount() const { return frameCount_; }
    /// False when the rate allows no loudness measurement (the loudness is then -infinity).
    bool MeasuresLoudness() const { return loudness_ != nullptr; }

    /// Whether AddFrames may use a helper thread (on by default when the machine has more
    /// than one processor); for tests that compare both ways.
    static void AllowHelperThread(bool allow);

private:
    friend double AlbumLoudness(const std::vector<const LoudnessMeter*>& meters);
    friend double AlbumRange(const std::vector<const LoudnessMeter*>& meters);

    unsigned channels_;
    unsigned long sampleRate_;
    struct Loudness;  // filter state and energies; none when the rate cannot be measured
    std::unique_ptr<Loudness> loudness_;
    void FinishTruePeak() const;
    bool StartHelper();

    // The last block's true peak is finished (and taken in) by whichever call comes next,
    // Levels included.
    mutable TruePeakMeter truePeak_;
    mutable bool pendingTruePeak_ = false;  ///< the helper may still be measuring the last block
    class Helper;
    std::unique_ptr<Helper> helper_;  ///< started with the first block large enough to share
    bool helperFailed_ = false;
    float samplePeak_ = 0.0f;
    uint64_t frameCount_ = 0;
};

/// The integrated loudness of several streams taken together (album loudness); streams
/// without a state are left out. -infinity when nothing is measurable.
double AlbumLoudness(const std::vector<const LoudnessMeter*>& meters);

/// The loudness range of several streams taken together (their short-term series as one).
double AlbumRange(const std::vector<const LoudnessMeter*>& meters);

}  // namespace orva
