#pragma once
// Reading a WAV file's samples as numbers, block by block, whatever their sample format:
// for measurements that look at the audio rather than at its bytes.

#include "core/byte_io.h"
#include "core/wave_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orva {

/// Reads the samples of one supported WAV file from front to back as interleaved values on
/// one scale, where full scale is 1.0: v / 2^(N-1) for N-bit integers ((b - 128) / 128 for
/// 8-bit), the stored value for float (NaN and infinities included). Not thread-safe; one
/// reader per thread.
class SampleReader {
public:
    /// Probes and opens the file; false when it does not probe (reason in ErrorText()), its
    /// sample format is not supported, or it cannot be opened.
    bool Open(const std::string& path);
    /// The probe's findings (valid after a successful Open).
    const WaveFileInfo& Info() const { return info_; }
    /// Channels per frame.
    unsigned Channels() const { return info_.format.channels; }
    /// Reads up to frameCount frames into out (room for frameCount * Channels() values).
    /// Returns the frames delivered, 0 at the end of the samples, -1 when a read fails.
    long long Read(double* out, size_t frameCount);
    /// The same in single precision.
    long long Read(float* out, size_t frameCount);

private:
    long long Fill(size_t frameCount);

    FileSource file_;
    WaveFileInfo info_ {};
    size_t frameBytes_ = 0;
    uint64_t remaining_ = 0;  // sample bytes not yet delivered
    std::vector<uint8_t> raw_;
};

}  // namespace orva
