#include "core/peak_scan.h"

#include "core/byte_io.h"
#include "core/wave_source.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace orva {
namespace {

constexpr size_t kChunkSize = 65536;  // bytes per step of the scan (times the sample width for 24-bit)
constexpr int kChunksPerUpdate = 11;  // label and bar after every 11th chunk
// Chunks per read: one read() per chunk costs a fifth of the whole scan in system calls.
constexpr size_t kChunksPerRead = 4;

}  // namespace

std::optional<SamplePeak> ScanPeakData(StageEvents& events, ByteSource& source, const WaveFileInfo& info)
{
    const SampleFormat format = info.sampleFormat;
    const bool isFloat = IsFloatFormat(format);
    const int64_t sampleBytes = static_cast<int64_t>(std::max<size_t>(SampleBytes(format), 1));
    const int64_t dataSize = static_cast<int64_t>(info.dataSize);
    const double fileLength = static_cast<double>(info.declaredLength);
    // Whole samples in every chunk: three-byte samples get chunks of 3 * 64 KiB.
    const size_t chunkSize = sampleBytes == 3 ? 3 * kChunkSize : kChunkSize;

    const IoBuffer buffer(kChunksPerRead * chunkSize, info.dataOffset);
    SamplePeak result;
    result.format = format;
    int64_t scanned = 0;
    int chunkCount = 0;
    bool sourceEnded = false;
    size_t held = 0;     // bytes of the current read in the buffer (missing ones as zeros)
    size_t arrived = 0;  // of those, the ones the source delivered
    size_t offset = 0;   // where the current chunk starts in the buffer
    while (scanned < dataSize) {
        if (offset == held) {
            // Bytes the source does not deliver are zero bytes; after a short read the source
            // is at its end, so the rest of the data is zeros without reading. A failed read is
            // no end: the scan has no result.
            held = static_cast<size_t>(
                std::min<int64_t>(dataSize - scanned, static_cast<int64_t>(kChunksPerRead * chunkSize)));
            const long long read = ReadUntilEnd(source, buffer.data(), held, sourceEnded);
            if (read < 0)
                return std::nullopt;
            arrived = static_cast<size_t>(read);
            if (arrived < held)
                std::memset(buffer.data() + arrived, 0, held - arrived);
            offset = 0;
        }
        const size_t n = std::min(held - offset, chunkSize);
        const size_t got = arrived > offset ? std::min(arrived - offset, n) : 0;
        uint8_t* const chunk = buffer.data() + offset;
        offset += n;
        // Only a louder chunk moves the position, so it names the first sample that reaches
        // the final peak. Integer peaks count from 1, as the position always has.
        if (isFloat) {
            const double level = got == 0 ? 0.0 : MaxFiniteLevel(chunk, n, format);
            if (level > result.level) {
                result.level = level;
                result.position =
                    scanned / sampleBytes + static_cast<int64_t>(FirstSampleAtPeak(chunk, n, result));
            }
        } else {
            // A chunk of missing bytes only: zero bytes, whose magnitude is known.
            const int64_t magnitude =
                got == 0 ? (format == SampleFormat::U8 ? 128 : 0) : MaxIntegerMagnitude(chunk, n, format);
            if (magnitude > result.Integer()) {
                SamplePeak found = result;
                found.magnitude = magnitude;
                result.position = scanned / sampleBytes
                    + (got == 0 ? 0 : static_cast<int64_t>(FirstSampleAtPeak(chunk, n, found)));
            }
            result.magnitude = std::max(result.magnitude, magnitude);
        }
        scanned += static_cast<int64_t>(n);
        if (++chunkCount >= kChunksPerUpdate) {
            events.StageProgress(
                Stage::Scan, scanned, dataSize,
                BarPosition(static_cast<double>(info.dataOffset + static_cast<uint64_t>(scanned)),
                            fileLength));
            chunkCount = 0;
        }
    }
    events.PeakFound(result);
    return result;
}

Result<SamplePeak> ScanPeak(StageEvents& events, const WaveSource& source)
{
    const WaveFileInfo& info = source.Info();
    DescriptorReader reader = source.ReaderAt(info.dataOffset);
    const Failure cannotRead { Problem::CannotRead, source.Path() };
    if (info.sampleFormat == SampleFormat::None || !reader.IsOpen())
        return cannotRead;
    const std::optional<SamplePeak> peak = ScanPeakData(events, reader, info);
    if (!peak)
        return cannotRead;
    return *peak;
}

std::optional<SamplePeak> ScanPeak(StageEvents& events, ProblemReports& problems, const std::string& path)
{
    Result<WaveSource> source = WaveSource::OpenProbed(path, WaveSource::Locking::None);
    Result<SamplePeak> peak = source ? ScanPeak(events, *source) : Result<SamplePeak>(source.Error());
    if (!peak) {
        problems.ReportProblem(Problem::CannotRead, path);
        return std::nullopt;
    }
    return *peak;
}

}  // namespace orva
