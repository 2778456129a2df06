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
/// result does not depend on them). Not thread-safe; channels may be fed from different
/// threads through separate instances (see AddChannel).
class TruePeakMeter {
public:
    TruePeakMeter(unsigned channels, unsigned long sampleRate);

    /// Adds frameCount interleaved frames.
    void AddFrames(const float* frames, size_t frameCount);
    /// Adds frameCount frames of one channel only (stride: samples between two frames);
    /// lets the channels of one block be measured in parallel.
    void AddChannel(unsigned channel, const float* samples, size_t stride, size_t frameCount);

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
        std::vector<float> window;  ///< the latest samples followed by the block being read
        float peak = 0.0f;          ///< loudest crest found so far
        float last = 0.0f;          ///< magnitude at the last 2x position read
    };
    unsigned channels_;
    std::vector<Channel> state_;
};

}  // namespace orva
