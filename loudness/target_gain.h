#pragma once
// The one linear gain per file (or per album) that brings a measured level to a target:
// the sample peak to T dBFS, the true peak to T dBTP, or the integrated loudness to T LUFS
// under a true-peak ceiling. Levels and targets are in tenths of a dB where they come from
// the settings.

#include "core/wave_file.h"
#include "loudness/loudness_meter.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace orva {

enum class TargetMode : int {
    SamplePeak = 0,  ///< the loudest sample to T dBFS (T = 0: full scale, the classic gain)
    TruePeak = 1,    ///< the oversampled peak to T dBTP
    Loudness = 2,    ///< the integrated loudness to T LUFS, the true peak at most C dBTP
};

/// What the normalization aims at.
struct NormalizationTarget {
    TargetMode mode = TargetMode::SamplePeak;
    int levelTenths = 0;      ///< T in tenths of a dB
    int ceilingTenths = -10;  ///< C in tenths of a dB (loudness mode only)

    /// True for the classic normalization (sample peak to full scale).
    bool IsClassic() const { return mode == TargetMode::SamplePeak && levelTenths == 0; }
};

/// What the gain is computed from; `peak` is the largest sample magnitude in the format's
/// integer units (at least 1, as the peak scan gives it), `level` the largest finite |x| of
/// a float file, the rest as LoudnessLevels. Without a sample format the peak is that of
/// an 8-bit (bitsPerSample 8) or 16-bit file.
struct GainInputs {
    int bitsPerSample = 16;
    int64_t peak = 1;
    LoudnessLevels levels;
    SampleFormat format = SampleFormat::None;
    double level = 0.0;
};

/// The gain for a target. Sample peak: full scale / peak (the classic gain), times
/// 10^(T/20) below 0 dBFS. True peak: 10^(T/20) / true peak. Loudness: 10^((T - L)/20),
/// lowered so that the true peak stays at or below C. No gain exceeds the classic one
/// (which already puts the loudest sample on full scale). Empty when the loudness is not
/// measurable: such a file is copied unchanged.
std::optional<double> TargetGain(const NormalizationTarget& target, const GainInputs& inputs);

/// The inputs of one gain for several files together (album mode): the largest peaks and
/// the loudness of all files together, which the caller measures (AlbumLoudness).
GainInputs AlbumInputs(const std::vector<GainInputs>& files, double albumLufs);

/// Decibels (tenths) as a linear factor: 10^(tenths / 200).
double TenthsToFactor(int tenths);

}  // namespace orva
