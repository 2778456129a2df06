#pragma once
// Sample-rate conversion of a WAV file into a fresh-header WAV file (libsoxr, high quality).

#include "core/progress.h"
#include "core/result.h"
#include "core/wave_file.h"

#include <string>

namespace orva {

class WaveSource;

/// Converts the samples of a probed source, read from its own descriptor, to rate Hz into
/// destination as ConvertSampleRate does (width and channel count stay the source's), and
/// hands back the converted file opened and probed. Fails with CannotRead when a read of the
/// source fails, else CannotCreate naming destination.
Result<WaveSource> ConvertSource(StageEvents& events, const WaveSource& source,
                                 const std::string& destination, int rate);

/// Converts the samples of source to rate Hz and writes them to destination (replaced whole)
/// in the source's sample format, with a fresh header: 46 bytes for 8/16-bit mono or stereo,
/// WAVE_FORMAT_EXTENSIBLE for the rest, RF64 for an RF64 source. bitsPerSample and channels
/// are the source's.
/// Returns 0, kCopyReadFailed when a read of the source failed, or -1, all without a
/// message; the destination appears only when complete (a failed conversion leaves
/// whatever stood under its name).
/// Reports Conversion progress after every 51st 4,096-byte block.
/// Runs on the batch worker thread.
int ConvertSampleRate(StageEvents& events, const std::string& source, const std::string& destination,
                      int rate, int bitsPerSample, int channels);

/// The conversion itself: source stands at the first sample byte of a file described by
/// info; writes the fresh header and the samples to sink and patches the header. Only the
/// rate and channel count of destinationFormat are used. Returns 0 or a CopyResult.
int ConvertSampleRateData(StageEvents& events, ByteSource& source, ByteSink& sink, const WaveFileInfo& info,
                          const WaveFormat& destinationFormat);

}  // namespace orva
