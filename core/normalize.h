#pragma once
// Normalization: a scaled copy of one WAV file whose loudest samples land on full scale.

#include "core/progress.h"
#include "core/wave_file.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace orva {

class ByteSource;
class ByteSink;

/// Writes source scaled by full scale / peak to output, which appears (replacing what stood
/// under its name) only when complete. The header and every chunk around the samples are
/// copied unchanged. Returns 0, or -1 (after reporting the problem when the source cannot be
/// read or the output cannot be created or written).
/// peak must be at least 1 and at least the source's own scanned peak.
/// Reports Normalization progress and its end. Runs on the batch worker thread.
/// writtenBytes, when given, receives the length of the published output (bytes).
int NormalizeFile(StageEvents& events, ProblemReports& problems, const std::string& source,
                  const std::string& output, int peak, uint64_t* writtenBytes = nullptr);

/// The copy itself, from a source standing at the start of the file to a sink. Bytes
/// missing at the end of the source are written as zero bytes. Returns 0 or a CopyResult
/// (no message).
int NormalizeData(StageEvents& events, ByteSource& source, ByteSink& sink, const WaveFileInfo& info,
                  int peak);

/// The gain for a peak: 127 / min(peak, 127) for 8-bit data, 32767 / min(peak, 32767) else.
double NormalizeGain(int bitsPerSample, int peak);

/// Scales 8-bit samples in place: trunc(((b - 128) * gain) + 128), low 8 bits kept.
void ScaleSamples8(uint8_t* data, size_t byteCount, double gain);

/// Scales little-endian 16-bit words in place: trunc(v * gain), low 16 bits kept. A trailing
/// odd byte is left as it is. gain lies between 0 and 32,767. Uses the vector path the
/// processor supports.
void ScaleSamples16(uint8_t* data, size_t byteCount, double gain);

/// The plain one-word-at-a-time form of ScaleSamples16 (the reference for the vector paths).
void ScaleSamples16Scalar(uint8_t* data, size_t byteCount, double gain);

/// Restricts the sample kernels to the baseline instruction set (for tests that compare the
/// vector paths); process-wide.
void UseBaselineKernelsOnly(bool baselineOnly);

}  // namespace orva
