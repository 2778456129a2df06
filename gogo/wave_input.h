#pragma once
// Input of libgogo.so: samples from a WAV file (8/16/24/32-bit integer or 32/64-bit float,
// plain, extensible or RF64; mono or stereo) or from the caller's read function (16-bit).
// 8- and 16-bit input is delivered as interleaved 16-bit samples, the wider formats as one
// buffer per channel of 32-bit integers or floats (LAME's wide entry points).

#include "gogo/gogo_api.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace gogo {

/// The PCM layout of an input.
struct PcmLayout {
    int channels = 0;
    int sampleRate = 0;     ///< Hz
    int bitsPerSample = 0;  ///< container width: 8, 16, 24, 32 or 64
    bool isFloat = false;   ///< IEEE float samples (32 or 64 bits)
    /// True for the formats that Read(int16_t*) delivers; the rest use ReadWide.
    bool Narrow() const { return !isFloat && bitsPerSample <= 16; }
};

/// Reads PCM sample frames (one sample per channel) from a WAV file or a read function.
class PcmInput {
public:
    PcmInput() = default;
    ~PcmInput();
    PcmInput(const PcmInput&) = delete;
    PcmInput& operator=(const PcmInput&) = delete;

    /// Opens a WAV file and finds its format and data; returns GOGO_OK or an error code.
    int OpenFile(const std::string& path);
    /// Takes a caller's read function; returns GOGO_OK or GOGO_ERR_FORMAT.
    int OpenMemory(const GogoMemoryInput& input);

    const PcmLayout& Layout() const { return layout_; }
    /// Sample frames in the input, or -1 when not known (memory input without a size).
    std::int64_t TotalFrames() const { return totalFrames_; }

    /// Reads up to `frameCount` frames as interleaved 16-bit samples into `out`; returns the
    /// frames read (0 at the end of input) or -1 when a file read comes up short of the data
    /// it stated (a read error, or the file cut while it is read).
    long Read(std::int16_t* out, long frameCount);
    /// Reads up to `frameCount` frames of a wide format into one buffer per channel (right is
    /// unused for mono): integers scaled to 32 bits (`ints`), or floats where 1.0 is full
    /// scale (`floats`, NaN as 0 and infinities as +-1). Returns like Read.
    long ReadWide(std::int32_t* intLeft, std::int32_t* intRight, float* floatLeft, float* floatRight,
                  long frameCount);
    /// True when a known-length input has been read completely or the input has ended.
    bool AtEnd() const { return ended_ || framesLeft_ == 0; }

private:
    PcmLayout layout_;
    std::int64_t totalFrames_ = -1;
    std::int64_t framesLeft_ = -1;  ///< -1: read until the input reports its end
    std::FILE* file_ = nullptr;
    GogoReadFunction read_ = nullptr;
    bool ended_ = false;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace gogo
