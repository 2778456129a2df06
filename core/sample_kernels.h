#pragma once
// Sample-format aware pieces of the audio core: the peak of a file in its format's terms,
// the normalization gain, and the inner loops that scan and scale blocks of samples of any
// supported format (24-bit packed three bytes a sample, 32-bit integer, 32/64-bit float).

#include "core/wave_file.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace orva {

/// The loudest sample of a file, in the terms of its sample format.
struct SamplePeak {
    SampleFormat format = SampleFormat::None;
    /// Integer formats: the largest |v| (8-bit: |b - 128|); 0 when every sample is zero.
    int64_t magnitude = 0;
    /// Float formats: the largest |x| over the finite samples (NaN and infinities take no part).
    double level = 0.0;
    /// Sample index (from the start of the data) where the peak first occurred.
    int64_t position = 0;

    /// The integer peak as normalization and the progress texts use it: at least 1.
    int64_t Integer() const { return magnitude > 1 ? magnitude : 1; }
    /// True when no sample differs from zero (no finite one, for float).
    bool IsSilent() const { return IsFloatFormat(format) ? !(level > 0.0) : magnitude == 0; }
    /// The peak relative to the format's full scale in dB; -infinity when silent.
    double Dbfs() const;
    /// True when this peak is louder than other (both of one format).
    bool LouderThan(const SamplePeak& other) const
    {
        return IsFloatFormat(format) ? level > other.level : Integer() > other.Integer();
    }
};

/// The peak as text: the integer peak for integer formats; for float a decimal that reads
/// back to the exact value (9 significant digits for 32-bit, 17 for 64-bit).
std::string PeakText(const SamplePeak& peak);

/// Full scale of a format as normalization targets it: 127 for 8-bit, 2^(N-1) - 1 for
/// N-bit integers, 1.0 for float.
double FullScale(SampleFormat format);

/// The gain that brings peak to full scale: F / min(p, F) for integer formats, 1 / p for
/// float (1 for a silent float file, whose samples are then copied unchanged).
double NormalizeGainFor(const SamplePeak& peak);

/// The largest magnitude of the integer samples of a block (U8, S16, S24, S32); 0 for an
/// empty block. A trailing partial sample is ignored.
int64_t MaxIntegerMagnitude(const uint8_t* data, size_t byteCount, SampleFormat format);

/// The largest |x| of the finite float samples of a block (F32, F64); 0 when none.
double MaxFiniteLevel(const uint8_t* data, size_t byteCount, SampleFormat format);

/// Index of the first sample of the block at the peak's magnitude (or level), or the
/// block's sample count when there is none.
size_t FirstSampleAtPeak(const uint8_t* data, size_t byteCount, const SamplePeak& peak);

/// Scales a block of samples in place by gain: integer formats trunc(v * gain) in double,
/// clamped to the format's range (8-bit about its midpoint 128); float formats x * gain in
/// double, clamped to [-1, 1] and rounded to the file's width, NaN and infinities left as
/// they are. A trailing partial sample is left as it is. Uses the vector path the processor
/// supports; the 8- and 16-bit forms are ScaleSamples8/ScaleSamples16.
void ScaleSamples(uint8_t* data, size_t byteCount, SampleFormat format, double gain);

/// The plain one-sample-at-a-time form of ScaleSamples (the reference for the vector paths).
void ScaleSamplesScalar(uint8_t* data, size_t byteCount, SampleFormat format, double gain);

/// count packed 24-bit samples as floats at full scale 1 (v / 2^23, exact).
void S24ToFloat(const uint8_t* data, size_t count, float* out);

/// One sample as a double on the scale where full scale is 1: v / 2^(N-1) for integers
/// ((b - 128) / 128 for 8-bit), x for float.
double SampleValue(const uint8_t* sample, SampleFormat format);

}  // namespace orva
