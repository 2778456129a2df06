#pragma once
// The loudness analysis of a WAV file: its samples read from disk and fed to a LoudnessMeter.

#include "core/progress.h"
#include "core/sample_kernels.h"
#include "core/wave_file.h"
#include "core/wave_source.h"
#include "loudness/loudness_meter.h"
#include "loudness/target_gain.h"

#include <cstdint>
#include <memory>
#include <string>

namespace orva {

/// What the analysis of one file found.
struct WaveAnalysis {
    WaveFileInfo info {};
    /// The ProbeResult when the file did not probe, else 0.
    int probeFailure = 0;
    /// Integer formats: largest sample magnitude in the format's integer units, counting
    /// missing sample bytes as zero bytes as the peak scan does (0 for silence).
    int64_t peak = 0;
    /// Float formats: largest |x| over the finite samples (0 when none).
    double level = 0.0;
    LoudnessLevels levels;
    /// The meter, kept so that several files can be measured together (album loudness).
    std::unique_ptr<LoudnessMeter> meter;
};

/// Reads the WAV file at path and measures it. Samples the file does not hold (a header
/// that claims more) take no part in the loudness and true peak. Returns false when the
/// file does not probe (probeFailure says why), is not a supported format, cannot be
/// opened or a read fails; `error` says why in English. Reports its progress as the peak
/// scan does (Stage::Scan). Runs on any thread.
bool AnalyzeWaveFile(StageEvents& events, const std::string& path, WaveAnalysis& result, std::string& error);

/// The same over a probed source, read from its own descriptor.
bool AnalyzeWaveSource(StageEvents& events, const WaveSource& source, WaveAnalysis& result,
                       std::string& error);

/// Full scale of a sample format in the integer units of WaveAnalysis::peak (1 for float).
double FullScaleOf(SampleFormat format);

/// The analysis's peak in the terms of the file's sample format.
SamplePeak PeakOf(const WaveAnalysis& analysis);

/// What a normalization target needs of the analysed file.
GainInputs InputsOf(const WaveAnalysis& analysis);

}  // namespace orva
