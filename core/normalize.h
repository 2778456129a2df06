#pragma once
// Normalization: a scaled copy of one WAV file whose loudest samples land on full scale.

#include "core/progress.h"
#include "core/result.h"
#include "core/sample_kernels.h"
#include "core/wave_file.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace orva {

class ByteSource;
class ByteSink;
class WaveSource;

/// Writes the probed source, read from its own descriptor, scaled by gain to output, which
/// appears (replacing what stood under its name) only when complete; returns the output's
/// length in bytes. gain as NormalizeFileWithGain takes it (FullScaleGain for a peak). Fails
/// with CannotRead (the source cannot be read, or changed while it was read), CannotCreate
/// or WriteFailed (the output). Reports Normalization progress and its end.
Result<uint64_t> NormalizeSource(StageEvents& events, const WaveSource& source, const std::string& output,
                                 double gain);

/// The gain that brings peak to full scale (1 for a float file without a non-zero finite sample).
double FullScaleGain(const SamplePeak& peak);

/// Writes source scaled by full scale / peak to output, which appears (replacing what stood
/// under its name) only when complete. The header and every chunk around the samples are
/// copied unchanged, except size fields that claimed more than the file held: those state
/// what the output holds. Returns 0, or -1 (after reporting the problem when the source
/// cannot be read or the output cannot be created or written). peak is of the source's
/// sample format and at least its own scanned peak; a smaller one brings the loudest
/// samples to full scale, not past it. Reports Normalization progress and its end.
/// Runs on the batch worker thread.
int NormalizeFile(StageEvents& events, ProblemReports& problems, const std::string& source,
                  const std::string& output, const SamplePeak& peak, uint64_t* writtenBytes = nullptr);

/// The copy itself, from a source standing at the start of the file to a sink: the header,
/// the samples the probe found, and what follows them up to the declared length or the
/// end of the file, whichever comes first. Bytes missing at the end of the source (a file
/// that shrank) are written as zero bytes. Returns 0 or a CopyResult (no message); a peak
/// of another format is kCopyWriteFailed.
int NormalizeData(StageEvents& events, ByteSource& source, ByteSink& sink, const WaveFileInfo& info,
                  const SamplePeak& peak);

/// NormalizeFile with a gain of the caller's choosing in place of full scale / peak (for
/// targets below full scale). gain must lie between 0 and the gain NormalizeGain gives for
/// the source's scanned peak, so that no sample passes full scale; gain 1.0 copies the
/// samples unchanged.
int NormalizeFileWithGain(StageEvents& events, ProblemReports& problems, const std::string& source,
                          const std::string& output, double gain, uint64_t* writtenBytes = nullptr);

/// NormalizeData with a gain of the caller's choosing (see NormalizeFileWithGain); returns
/// 0 or a CopyResult.
int NormalizeDataWithGain(StageEvents& events, ByteSource& source, ByteSink& sink, const WaveFileInfo& info,
                          double gain);

/// The gain for a peak: 127 / min(peak, 127) for 8-bit data, 32767 / min(peak, 32767) else.
double NormalizeGain(int bitsPerSample, int peak);

/// Scales 8-bit samples in place: trunc(((b - 128) * gain) + 128), clamped to 0..255.
void ScaleSamples8(uint8_t* data, size_t byteCount, double gain);

/// Scales little-endian 16-bit words in place: trunc(v * gain), clamped to the 16-bit range. A trailing
/// odd byte is left as it is. gain lies between 0 and 32,767. Uses the vector path the
/// processor supports.
void ScaleSamples16(uint8_t* data, size_t byteCount, double gain);

/// The plain one-word-at-a-time form of ScaleSamples16 (the reference for the vector paths).
void ScaleSamples16Scalar(uint8_t* data, size_t byteCount, double gain);

/// Restricts the sample kernels to the baseline instruction set (for tests that compare the
/// vector paths); process-wide.
void UseBaselineKernelsOnly(bool baselineOnly);

}  // namespace orva
