#include "core/normalize.h"

#include "core/byte_io.h"
#include "core/output_file.h"
#include "core/read_ahead.h"
#include "core/wave_source.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <optional>

namespace orva {
namespace {

constexpr size_t kChunkSize = 65536;  // bytes per progress step
constexpr size_t kIoSize = 262144;    // bytes per read and write (a quarter MiB costs less CPU than 64 KiB)
// For three-byte samples: whole samples and whole pages (21 * 12 KiB).
constexpr size_t kIoSize24 = 258048;
constexpr size_t kPageSize = 4096;
constexpr int kChunksPerUpdate = 11;  // label and bar after every 11th data chunk

// Sample bytes that go out with the last headerBytes of the header in the first write: as
// many as end both on a page boundary of the output and on a sample boundary, so that every
// later write (whole chunks, multiples of both) starts aligned. Without such an end (an odd
// header before 16-bit samples), as many whole samples as fit.
size_t FirstSampleBytes(size_t headerBytes, size_t chunkSize, size_t sampleBytes)
{
    for (size_t end = chunkSize; end > headerBytes; end -= kPageSize) {
        if ((end - headerBytes) % sampleBytes == 0)
            return end - headerBytes;
    }
    return (chunkSize - headerBytes) / sampleBytes * sampleBytes;
}

}  // namespace

double FullScaleGain(const SamplePeak& peak)
{
    // A float file without a non-zero finite sample has nothing to scale: it is copied.
    const bool scale = !IsFloatFormat(peak.format) || peak.level > 0.0;
    return scale ? NormalizeGainFor(peak) : 1.0;
}

double NormalizeGain(int bitsPerSample, int peak)
{
    if (bitsPerSample == 8)
        return 127.0 / std::min(peak, 127);
    return 32767.0 / std::min(peak, 32767);
}

int NormalizeData(StageEvents& events, ByteSource& source, ByteSink& sink, const WaveFileInfo& info,
                  const SamplePeak& peak)
{
    if (info.sampleFormat == SampleFormat::None || peak.format != info.sampleFormat)
        return kCopyWriteFailed;
    return NormalizeDataWithGain(events, source, sink, info, FullScaleGain(peak));
}

int NormalizeDataWithGain(StageEvents& events, ByteSource& source, ByteSink& sink, const WaveFileInfo& info,
                          double gain)
{
    const SampleFormat format = info.sampleFormat;
    if (format == SampleFormat::None || !(gain >= 0.0))
        return kCopyWriteFailed;
    // Gain 1 leaves every sample as it is.
    const bool scale = gain != 1.0;
    const size_t sampleBytes = SampleBytes(format);
    const uint64_t dataSize = info.dataSize;
    // Reads and writes of whole samples and whole pages.
    const size_t chunkSize = sampleBytes == 3 ? kIoSize24 : kIoSize;

    // The output ends where the declared length or the file ends, whichever comes first:
    // nothing past the file's end is invented. Samples cut to the end of the file (whole
    // frames) leave nothing after them that belongs to another chunk.
    const uint64_t dataEnd = info.dataOffset + dataSize;
    const uint64_t outputLength = info.dataSize != info.dataSizeField
        ? dataEnd
        : std::max(dataEnd, std::min(info.declaredLength, info.fileLength));
    const auto edits = SizeFieldEdits(info, outputLength);

    // The pieces read and written: whole chunks of header; the header's last part together
    // with the first samples, so that every later write starts on a page boundary of a fresh
    // output (a write that straddles pages costs about 1.4 times an aligned one); chunks of
    // samples up to the data's end; chunks of the rest.
    const auto pieceSizes = [&](uint64_t at) -> size_t {
        if (at < info.dataOffset) {
            const uint64_t header = info.dataOffset - at;
            if (header >= chunkSize)
                return chunkSize;
            return static_cast<size_t>(
                header + std::min<uint64_t>(dataSize, FirstSampleBytes(header, chunkSize, sampleBytes)));
        }
        return static_cast<size_t>(
            std::min<uint64_t>((at < dataEnd ? dataEnd : outputLength) - at, chunkSize));
    };
    // The header (everything before the samples) and the samples in the piece at `at`.
    const auto headerIn = [&](uint64_t at, size_t n) -> size_t {
        return at < info.dataOffset ? static_cast<size_t>(std::min<uint64_t>(info.dataOffset - at, n)) : 0;
    };
    const auto samplesIn = [&](uint64_t at, size_t n) -> size_t {
        return at < dataEnd ? n - headerIn(at, n) : 0;
    };
    // Both threads scale: the reader thread the first three fifths of the samples of each
    // piece it read in full, while they are fresh in its cache, the caller the rest besides
    // writing. So both take about as long per piece, whatever the sample format.
    const auto scaledAhead = [&](uint64_t at, size_t n) -> size_t {
        return scale ? samplesIn(at, n) * 3 / 5 / sampleBytes * sampleBytes : 0;
    };
    ReadAhead reader(source, chunkSize, outputLength, pieceSizes, [&](uint8_t* data, size_t n, uint64_t at) {
        if (const size_t ahead = scaledAhead(at, n); ahead > 0)
            ScaleSamples(data + headerIn(at, n), ahead, format, gain);
    });

    // Progress as if the samples went in 64 KiB chunks: a label after every 11th chunk.
    const int64_t labelStep = kChunksPerUpdate * static_cast<int64_t>(kChunkSize);
    const auto total = static_cast<int64_t>(dataSize);
    int64_t processed = 0;
    int64_t nextLabelAt = labelStep;
    const uint8_t* scaledZeros = nullptr;  // a buffer that starts with a chunk of scaled missing bytes
    for (uint64_t at = 0;;) {
        const ReadAhead::Piece piece = reader.Next();
        if (piece.size == 0)
            break;
        if (piece.got < 0)
            return kCopyReadFailed;
        const size_t n = piece.size;
        const auto got = static_cast<size_t>(piece.got);
        uint8_t* const data = piece.data;
        const size_t header = headerIn(at, n);
        const size_t samples = samplesIn(at, n);
        // Past the end of the source every chunk of samples is the same scaled zero bytes:
        // they are scaled once.
        if (got > 0 || samples < n || data != scaledZeros) {
            std::memset(data + got, 0, n - got);
            // The header is copied as it is, apart from size fields that claimed more than
            // the file held.
            for (const auto& [offset, bytes] : edits) {
                for (size_t k = 0; k < bytes.size(); ++k) {
                    if (offset + k >= at && offset + k < at + header)
                        data[offset + k - at] = bytes[k];
                }
            }
            const size_t ahead = got == n ? scaledAhead(at, n) : 0;
            if (scale && samples > ahead)
                ScaleSamples(data + header + ahead, samples - ahead, format, gain);
            scaledZeros = got == 0 && samples == n ? data : nullptr;
        }
        if (!sink.Write(data, n))
            return kCopyWriteFailed;
        at += n;
        processed += static_cast<int64_t>(samples);
        // Each label reports the end of its 64 KiB chunk (the data's end for the last one).
        while (nextLabelAt - static_cast<int64_t>(kChunkSize) < total
               && std::min(nextLabelAt, total) <= processed) {
            const int64_t labelAt = std::min(nextLabelAt, total);
            events.StageProgress(
                Stage::Normalization, labelAt, total,
                BarPosition(static_cast<double>(labelAt), static_cast<double>(info.declaredLength - 8)));
            nextLabelAt += labelStep;
        }
    }
    return 0;
}

namespace {

// True when the name output stands for the open source itself (the same name or a hard link;
// a symbolic link there is replaced, not followed).
bool IsSourceEntry(const WaveSource& source, const std::string& output)
{
    struct stat status {};
    return ::lstat(output.c_str(), &status) == 0
        && static_cast<uint64_t>(status.st_dev) == source.Identity().device
        && static_cast<uint64_t>(status.st_ino) == source.Identity().inode;
}

}  // namespace

Result<uint64_t> NormalizeSource(StageEvents& events, const WaveSource& source, const std::string& output,
                                 double gain)
{
    const WaveFileInfo& info = source.Info();
    DescriptorReader in = source.ReaderAt(0);
    const Failure cannotRead { Problem::CannotRead, source.Path() };
    if (!in.IsOpen() || info.sampleFormat == SampleFormat::None || !(gain >= 0.0))
        return cannotRead;
    // The output replaces the name it is given; were that name the source's own (or a hard
    // link to it), the source would be gone.
    OutputFile out;
    if (IsSourceEntry(source, output) || !out.Open(output))
        return Failure { Problem::CannotCreate, output };
    const int copied = NormalizeDataWithGain(events, in, out, info, gain);
    // What was read must be the file that was measured: one written to meanwhile gives no
    // output (its new samples could pass full scale with this gain).
    if (copied == kCopyReadFailed || (copied == 0 && !source.Unchanged())) {
        out.Discard();
        return cannotRead;
    }
    // A failure that shows only when the output is closed (a full disk on flush) counts as
    // a failed write: the output is not complete and does not appear.
    const uint64_t length = out.WrittenBytes();
    if (copied != 0) {
        out.Discard();
        return Failure { Problem::WriteFailed, output };
    }
    if (!out.Close())
        return Failure { Problem::WriteFailed, output };
    events.StageFinished(Stage::Normalization);
    return length;
}

namespace {

// The path-taking forms: the source opened for this one copy. A source that does not probe
// fails without a message unless a read of its header failed.
int NormalizePath(StageEvents& events, ProblemReports& problems, const std::string& path,
                  const std::string& output, const std::optional<SamplePeak>& peak, double gain,
                  uint64_t* writtenBytes)
{
    Result<WaveSource> source = WaveSource::OpenProbed(path, WaveSource::Locking::None);
    if (!source) {
        if (source.Error().detail == kProbeCannotRead)
            problems.ReportProblem(Problem::CannotRead, path);
        return -1;
    }
    if (peak && source->Info().sampleFormat != peak->format)
        return -1;
    if (!peak && !(gain >= 0.0))
        return -1;
    // An unsupported format fails as a write, as it always did.
    if (source->Info().sampleFormat == SampleFormat::None) {
        problems.ReportProblem(Problem::WriteFailed, output);
        return -1;
    }
    const Result<uint64_t> written =
        NormalizeSource(events, *source, output, peak ? FullScaleGain(*peak) : gain);
    if (!written) {
        problems.ReportProblem(written.Error().problem, written.Error().path);
        return -1;
    }
    if (writtenBytes)
        *writtenBytes = *written;
    return 0;
}

}  // namespace

int NormalizeFile(StageEvents& events, ProblemReports& problems, const std::string& source,
                  const std::string& output, const SamplePeak& peak, uint64_t* writtenBytes)
{
    return NormalizePath(events, problems, source, output, peak, 0.0, writtenBytes);
}

int NormalizeFileWithGain(StageEvents& events, ProblemReports& problems, const std::string& source,
                          const std::string& output, double gain, uint64_t* writtenBytes)
{
    return NormalizePath(events, problems, source, output, std::nullopt, gain, writtenBytes);
}

}  // namespace orva
