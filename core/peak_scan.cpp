#include "core/peak_scan.h"

#include "core/byte_io.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace orva {
namespace {

constexpr size_t kChunkSize = 65536;  // bytes per read
constexpr int kChunksPerUpdate = 11;  // label and bar after every 11th chunk

// 1000 * part / whole, truncated toward zero and kept on the bar (a header may declare a
// length shorter than the data it holds).
int BarPosition(double part, double whole)
{
    const double position = 1000.0 * part / whole;
    if (!(position >= 0.0))
        return 0;
    return position >= 1000.0 ? 1000 : static_cast<int>(position);
}

}  // namespace

PeakResult ScanPeakData(StageEvents& events, ByteSource& source, const WaveFileInfo& info)
{
    const bool eightBit = info.format.bitsPerSample == 8;
    const int64_t sampleBytes = eightBit ? 1 : 2;
    const int64_t dataSize = std::max<int32_t>(info.dataSize, 0);
    const double fileLength = static_cast<double>(info.riffSize) + 8.0;  // declared length

    std::unique_ptr<uint8_t[]> buffer(new uint8_t[kChunkSize]);
    PeakResult result;
    int64_t scanned = 0;
    int chunkCount = 0;
    bool sourceEnded = false;
    while (scanned < dataSize) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(dataSize - scanned, kChunkSize));
        // Bytes the source does not deliver are zero bytes; after a short read the source is
        // at its end, so the rest of the claimed data is zeros without reading. A failed read
        // is no end: the scan has no result.
        const long long read = ReadUntilEnd(source, buffer.get(), n, sourceEnded);
        if (read < 0) {
            result.readFailed = true;
            return result;
        }
        const size_t got = static_cast<size_t>(read);
        // Only a larger magnitude moves the peak, so its position is the first sample that
        // reaches the final peak.
        if (got == 0) {
            // A chunk of missing bytes only: zero bytes, whose magnitude is known (a header
            // may claim up to 2 GiB that the file does not hold).
            const int magnitude = eightBit ? 128 : 0;
            if (magnitude > result.peak) {
                result.peak = magnitude;
                result.position = scanned / sampleBytes;
            }
        } else {
            std::memset(buffer.get() + got, 0, n - got);
            const int magnitude = MaxMagnitude(buffer.get(), n, eightBit);
            if (magnitude > result.peak) {
                result.peak = magnitude;
                result.position = scanned / sampleBytes
                    + static_cast<int64_t>(FirstSampleWithMagnitude(buffer.get(), n, eightBit, magnitude));
            }
        }
        scanned += static_cast<int64_t>(n);
        if (++chunkCount >= kChunksPerUpdate) {
            events.StageProgress(Stage::Scan, scanned, dataSize,
                                 BarPosition(static_cast<double>(info.dataOffset + scanned), fileLength));
            chunkCount = 0;
        }
    }
    events.PeakFound(result.peak, result.position);
    return result;
}

int ScanPeak(StageEvents& events, ProblemReports& problems, const std::string& path)
{
    WaveFileInfo info {};
    FileSource file;
    // A file that vanished between the probe and the open fails like one that does not probe.
    if (ProbeWaveFile(path, info) < 0 || !file.Open(path)
        || !file.Skip(static_cast<uint64_t>(info.dataOffset))) {
        problems.ReportProblem(Problem::CannotRead, path);
        return -1;
    }
    const PeakResult result = ScanPeakData(events, file, info);
    if (result.readFailed) {
        problems.ReportProblem(Problem::CannotRead, path);
        return -1;
    }
    return result.peak;
}

}  // namespace orva
