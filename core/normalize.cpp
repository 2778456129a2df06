#include "core/normalize.h"

#include "core/byte_io.h"
#include "core/output_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace orva {
namespace {

constexpr size_t kChunkSize = 65536;  // bytes per progress step
constexpr size_t kIoSize = 262144;    // bytes per read and write (a quarter MiB costs less CPU than 64 KiB)
constexpr int kChunksPerUpdate = 11;  // label and bar after every 11th data chunk

int BarPosition(double part, double whole)
{
    const double position = 1000.0 * part / whole;
    if (!(position >= 0.0))
        return 0;
    return position >= 1000.0 ? 1000 : static_cast<int>(position);
}

// Reads n bytes; what a source at its end does not deliver is zeros. False when the read
// failed: a read error is never taken for the end of the file.
bool ReadOrZero(ByteSource& source, uint8_t* buffer, size_t n, bool& sourceEnded)
{
    const long long got = ReadUntilEnd(source, buffer, n, sourceEnded);
    if (got < 0)
        return false;
    std::memset(buffer + got, 0, n - static_cast<size_t>(got));
    return true;
}

}  // namespace

double NormalizeGain(int bitsPerSample, int peak)
{
    if (bitsPerSample == 8)
        return 127.0 / std::min(peak, 127);
    return 32767.0 / std::min(peak, 32767);
}

int NormalizeData(StageEvents& events, ByteSource& source, ByteSink& sink, const WaveFileInfo& info, int peak)
{
    if (peak < 1 || info.dataOffset < 0 || static_cast<size_t>(info.dataOffset) >= kIoSize)
        return kCopyWriteFailed;
    const bool eightBit = info.format.bitsPerSample == 8;
    const double gain = NormalizeGain(info.format.bitsPerSample, peak);
    const int64_t dataSize = std::max<int32_t>(info.dataSize, 0);

    std::unique_ptr<uint8_t[]> buffer(new uint8_t[kIoSize]);
    bool sourceEnded = false;

    // The header (everything before the samples) is copied as it is; it is at most
    // 256 + 8 bytes long. It goes out together with the first samples, so that every later
    // write starts on a page boundary of a fresh output (a write that straddles
    // pages costs about 1.4 times an aligned one).
    const size_t headerSize = static_cast<size_t>(info.dataOffset);
    if (!ReadOrZero(source, buffer.get(), headerSize, sourceEnded))
        return kCopyReadFailed;

    // Progress as if the samples went in 64 KiB chunks: a label after every 11th chunk.
    int64_t processed = 0;
    int64_t nextLabelAt = kChunksPerUpdate * static_cast<int64_t>(kChunkSize);
    size_t filled = headerSize;  // bytes of the buffer already holding output
    bool zerosScaled = false;    // the buffer starts with a chunk of scaled missing bytes
    while (processed < dataSize) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(dataSize - processed, kIoSize - filled));
        uint8_t* samples = buffer.get() + filled;
        const long long got = ReadUntilEnd(source, samples, n, sourceEnded);
        if (got < 0)
            return kCopyReadFailed;
        // Past the end of the source every chunk is the same scaled zero bytes: scale them
        // once (a header may claim up to 2 GiB that the file does not hold).
        if (got > 0 || filled > 0 || !zerosScaled) {
            std::memset(samples + got, 0, n - static_cast<size_t>(got));
            if (eightBit)
                ScaleSamples8(samples, n, gain);
            else
                ScaleSamples16(samples, n, gain);
            zerosScaled = got == 0 && filled == 0;
        }
        if (!sink.Write(buffer.get(), filled + n))
            return kCopyWriteFailed;
        filled = 0;
        processed += static_cast<int64_t>(n);
        // Each label reports the end of its 64 KiB chunk (the data's end for the last one).
        while (nextLabelAt - static_cast<int64_t>(kChunkSize) < dataSize
               && std::min(nextLabelAt, dataSize) <= processed) {
            const int64_t labelAt = std::min(nextLabelAt, dataSize);
            events.StageProgress(
                Stage::Normalization, labelAt, dataSize,
                BarPosition(static_cast<double>(labelAt), static_cast<double>(info.riffSize)));
            nextLabelAt += kChunksPerUpdate * static_cast<int64_t>(kChunkSize);
        }
    }
    if (filled > 0 && !sink.Write(buffer.get(), filled))
        return kCopyWriteFailed;

    // The chunks after the samples, up to the length the header declares.
    int64_t rest = (static_cast<int64_t>(info.riffSize) + 8) - (info.dataOffset + processed);
    while (rest > 0) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(rest, kIoSize));
        if (!ReadOrZero(source, buffer.get(), n, sourceEnded))
            return kCopyReadFailed;
        if (!sink.Write(buffer.get(), n))
            return kCopyWriteFailed;
        rest -= static_cast<int64_t>(n);
    }
    return 0;
}

int NormalizeFile(StageEvents& events, ProblemReports& problems, const std::string& source,
                  const std::string& output, int peak, uint64_t* writtenBytes)
{
    WaveFileInfo info {};
    if (peak < 1)
        return -1;
    const int probed = ProbeWaveFile(source, info);
    if (probed == kProbeCannotRead) {
        problems.ReportProblem(Problem::CannotRead, source);
        return -1;
    }
    if (probed < 0)
        return -1;
    FileSource in;
    if (!in.Open(source))
        return -1;
    // The output replaces the name it is given; were that name the source's own (or a hard
    // link to it), the source would be gone. A symbolic link there is replaced, not followed.
    OutputFile out;
    if (IsSameEntry(source, output) || !out.Open(output)) {
        problems.ReportProblem(Problem::CannotCreate, output);
        return -1;
    }
    const int copied = NormalizeData(events, in, out, info, peak);
    if (copied == kCopyReadFailed) {
        out.Discard();
        problems.ReportProblem(Problem::CannotRead, source);
        return -1;
    }
    // A failure that shows only when the output is closed (a full disk on flush) counts as
    // a failed write: the output is not complete and does not appear.
    if (copied != 0) {
        out.Discard();
        problems.ReportProblem(Problem::WriteFailed, output);
        return -1;
    }
    const uint64_t length = out.WrittenBytes();
    if (!out.Close()) {
        problems.ReportProblem(Problem::WriteFailed, output);
        return -1;
    }
    if (writtenBytes)
        *writtenBytes = length;
    events.StageFinished(Stage::Normalization);
    return 0;
}

}  // namespace orva
