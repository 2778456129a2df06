#pragma once
// The true peak (inter-sample peak) of interleaved float frames at any sample rate. The
// samples are interpolated by a Kaiser-windowed sinc (64 input samples long, flat within
// 0.05 dB to 0.45 of the rate); a vectorized pass reads it at 2x, and wherever a crest on
// that grid comes close enough to the loudest so far to hide a louder peak beside it, the
// peak is searched at 16x and read off a parabola. Readings are within 0.05 dB of the peak
// for tones up to 0.45 of the rate. The signal is taken as silent before the first frame
// and after the last one. Samples are at full scale 1.0; results are linear magnitudes.

#include <cstddef>
#include <vector>

namespace orva {

/// Oversampling state of one stream; feed it frames in order, in any block sizes (the
/// result does not depend on them). Not thread-safe, except that the parts of one block
/// may be measured on several threads at once (see BeginBlock).
class TruePeakMeter {
public:
    TruePeakMeter(unsigned channels, unsigned long sampleRate);

    /// Adds frameCount interleaved frames.
    void AddFrames(const float* frames, size_t frameCount);

    /// AddFrames in parts that may be measured in any order, on several threads at once:
    /// BeginBlock, then MeasurePart for each of PartCount parts, then EndBlock. The frames
    /// must stay as they are until EndBlock. The result is that of AddFrames.
    void BeginBlock(const float* frames, size_t frameCount);
    size_t PartCount() const { return parts_.size(); }
    void MeasurePart(size_t part);
    void EndBlock();

    /// Largest magnitude so far over all channels, the ringing after the last frame
    /// included: at least the largest sample; 0 before any frame.
    double TruePeak() const;
    /// The same for one channel.
    double ChannelTruePeak(unsigned channel) const;

    /// The oversampling factor of the vectorized pass (the search around crests is finer).
    unsigned Factor() const { return 2; }

    /// Whether the 2x pass may use the processor's vector extensions (on by default); for
    /// tests that compare both paths. Results agree within float rounding.
    static void UseVectorKernels(bool allow);

private:
    struct Channel {
        std::vector<float> history;  ///< the last samples before the block being read
        float peak = 0.0f;           ///< loudest crest found before that block
    };
    struct Part {
        unsigned channel;
        size_t first;  ///< the first of its frames
        size_t count;
        float peak;  ///< loudest crest of the part (at least the channel's peak)
    };
    unsigned channels_;
    std::vector<Channel> state_;
    const float* block_ = nullptr;
    size_t blockFrames_ = 0;
    std::vector<Part> parts_;
};

}  // namespace orva
