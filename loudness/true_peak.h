#pragma once
// The true peak (inter-sample peak) of interleaved float frames: a polyphase FIR oversampler
// (4x below 96 kHz, 2x below 192 kHz, none above), built like the reference meter's so that
// the two agree to a few thousandths of a dB. Samples are at full scale 1.0; results are
// linear magnitudes.

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

    /// Largest magnitude so far over all channels: the oversampled signal or the samples
    /// themselves, whichever is larger; 0 before any frame.
    double TruePeak() const;
    /// The same for one channel.
    double ChannelTruePeak(unsigned channel) const;

    unsigned Factor() const { return factor_; }

private:
    struct Channel {
        std::vector<float> window;  ///< history taps followed by the block being filtered
        float peak = 0.0f;
    };
    unsigned channels_;
    unsigned factor_;
    std::vector<Channel> state_;
};

}  // namespace orva
