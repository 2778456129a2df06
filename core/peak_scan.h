#pragma once
// The peak scan: the largest sample magnitude of one WAV file, over all channels.

#include "core/progress.h"
#include "core/result.h"
#include "core/sample_kernels.h"
#include "core/wave_file.h"

#include <cstdint>
#include <optional>
#include <string>

namespace orva {

class ByteSource;
class WaveSource;

/// Scans a probed source from its own descriptor; CannotRead when its sample format is not
/// supported or a read of it fails. Runs on the batch worker thread.
Result<SamplePeak> ScanPeak(StageEvents& events, const WaveSource& source);

/// Scans the WAV file at path; returns its peak, or nothing after reporting
/// Problem::CannotRead when the file does not probe, its sample format is not supported or a
/// read of it fails. Runs on the batch worker thread.
std::optional<SamplePeak> ScanPeak(StageEvents& events, ProblemReports& problems, const std::string& path);

/// The scan's pass over the sample data of a probed file; source stands at the first sample
/// byte. Bytes missing at the end of the source (a file that shrank since the probe) count
/// as zero bytes; a failed read stops the scan with no result (and no PeakFound). Reports Scan
/// progress every 11 chunks and PeakFound at the end.
std::optional<SamplePeak> ScanPeakData(StageEvents& events, ByteSource& source, const WaveFileInfo& info);

/// Largest sample magnitude in a block (0 for an empty block). 8-bit data: |b - 128|;
/// other data: |v| of little-endian 16-bit words (a trailing odd byte is ignored).
/// Uses the vector path the processor supports.
int MaxMagnitude(const uint8_t* data, size_t byteCount, bool eightBit);

/// Index of the first sample in the block whose magnitude equals magnitude, or the block's
/// sample count when there is none.
size_t FirstSampleWithMagnitude(const uint8_t* data, size_t byteCount, bool eightBit, int magnitude);

}  // namespace orva
