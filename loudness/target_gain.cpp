#include "loudness/target_gain.h"

#include "core/normalize.h"
#include "core/sample_kernels.h"

#include <algorithm>
#include <cmath>

namespace orva {

double TenthsToFactor(int tenths) { return std::pow(10.0, (tenths / 10.0) / 20.0); }

std::optional<double> TargetGain(const NormalizationTarget& target, const GainInputs& inputs)
{
    // The classic gain of the file's own format: its rounding and clamping rules then hold.
    const double classic = inputs.format == SampleFormat::None
        ? NormalizeGain(inputs.bitsPerSample, static_cast<int>(std::clamp<int64_t>(inputs.peak, 1, 32768)))
        : NormalizeGainFor(SamplePeak { inputs.format, inputs.peak, inputs.level, 0 });
    switch (target.mode) {
    case TargetMode::SamplePeak:
        // At 0 dBFS exactly the classic gain, so that the output is what it always was.
        if (target.levelTenths == 0)
            return classic;
        return std::min(classic, classic * TenthsToFactor(target.levelTenths));
    case TargetMode::TruePeak:
        if (!(inputs.levels.truePeak > 0.0))
            return classic;  // silence: nothing to scale, as in the classic mode
        return std::min(classic, TenthsToFactor(target.levelTenths) / inputs.levels.truePeak);
    case TargetMode::Loudness: {
        const double loudness = inputs.levels.integratedLufs;
        if (!std::isfinite(loudness))
            return std::nullopt;
        double gain = std::pow(10.0, (target.levelTenths / 10.0 - loudness) / 20.0);
        if (inputs.levels.truePeak > 0.0)
            gain = std::min(gain, TenthsToFactor(target.ceilingTenths) / inputs.levels.truePeak);
        return std::min(classic, gain);
    }
    }
    return classic;
}

GainInputs AlbumInputs(const std::vector<GainInputs>& files, double albumLufs)
{
    GainInputs album;
    album.levels.integratedLufs = albumLufs;
    if (!files.empty()) {
        album.bitsPerSample = files.front().bitsPerSample;
        album.format = files.front().format;
    }
    for (const GainInputs& file : files) {
        album.peak = std::max(album.peak, file.peak);
        album.level = std::max(album.level, file.level);
        album.levels.samplePeak = std::max(album.levels.samplePeak, file.levels.samplePeak);
        album.levels.truePeak = std::max(album.levels.truePeak, file.levels.truePeak);
    }
    return album;
}

}  // namespace orva
