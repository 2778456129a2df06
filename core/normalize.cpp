#include "core/normalize.h"

#include "core/byte_io.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace orva {
namespace {

constexpr size_t kChunkSize = 65536;  // bytes per read and write (times 3 for 24-bit samples)
constexpr int kChunksPerUpdate = 11;  // label and bar after every 11th data chunk

int BarPosition(double part, double whole)
{
    const double position = 1000.0 * part / whole;
    if (!(position >= 0.0))
        return 0;
    return position >= 1000.0 ? 1000 : static_cast<int>(position);
}

// Reads n bytes; what the source does not deliver is zeros. Once a read comes up short the
// source is at its end and later requests are zeros without reading.
void ReadOrZero(ByteSource& source, uint8_t* buffer, size_t n, bool& sourceEnded)
{
    const size_t got = ReadUntilEnd(source, buffer, n, sourceEnded);
    std::memset(buffer + got, 0, n - got);
}

}  // namespace

double NormalizeGain(int bitsPerSample, int peak)
{
    if (bitsPerSample == 8)
        return 127.0 / std::min(peak, 127);
    return 32767.0 / std::min(peak, 32767);
}

int NormalizeData(ProgressRow& row3, ByteSource& source, ByteSink& sink, const WaveFileInfo& info,
                  const SamplePeak& peak)
{
    const SampleFormat format = info.sampleFormat;
    if (format == SampleFormat::None || peak.format != format)
        return -1;
    const double gain = NormalizeGainFor(peak);
    // A float file without a non-zero finite sample has nothing to scale: it is copied.
    const bool scale = !IsFloatFormat(format) || peak.level > 0.0;
    const uint64_t dataSize = info.dataSize;
    const size_t chunkSize = SampleBytes(format) == 3 ? 3 * kChunkSize : kChunkSize;

    // The output ends where the declared length or the file ends, whichever comes first;
    // nothing past the file's end is invented.
    const uint64_t dataEnd = info.dataOffset + dataSize;
    const uint64_t end = std::min(info.declaredLength, info.fileLength);
    // Samples cut to the end of the file (whole frames) leave nothing after them that
    // belongs to another chunk.
    const uint64_t outputLength = info.dataSize != info.dataSizeField ? dataEnd : std::max(dataEnd, end);
    const auto edits = SizeFieldEdits(info, outputLength);

    std::unique_ptr<uint8_t[]> buffer(new uint8_t[chunkSize]);
    bool sourceEnded = false;

    // The header (everything before the samples) is copied as it is, apart from size fields
    // that claimed more than the file held.
    for (uint64_t copied = 0; copied < info.dataOffset;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(info.dataOffset - copied, chunkSize));
        ReadOrZero(source, buffer.get(), n, sourceEnded);
        for (const auto& [offset, bytes] : edits) {
            for (size_t k = 0; k < bytes.size(); ++k) {
                if (offset + k >= copied && offset + k < copied + n)
                    buffer[offset + k - copied] = bytes[k];
            }
        }
        if (!sink.Write(buffer.get(), n))
            return -1;
        copied += n;
    }

    uint64_t processed = 0;
    int chunkCount = 0;
    size_t scaledZeros = 0;  // leading bytes of the buffer that hold scaled missing bytes
    char text[96];
    while (processed < dataSize) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(dataSize - processed, chunkSize));
        const size_t got = ReadUntilEnd(source, buffer.get(), n, sourceEnded);
        processed += n;
        // Past the end of the source every chunk is the same scaled zero bytes: scale them
        // once.
        if (got > 0 || scaledZeros < n) {
            std::memset(buffer.get() + got, 0, n - got);
            if (scale)
                ScaleSamples(buffer.get(), n, format, gain);
            scaledZeros = got == 0 ? n : 0;
        }
        if (!sink.Write(buffer.get(), n))
            return -1;
        if (++chunkCount >= kChunksPerUpdate) {
            std::snprintf(text, sizeof text, "正規化処理中(%llu/%llu)", static_cast<unsigned long long>(processed),
                          static_cast<unsigned long long>(dataSize));
            row3.SetLabel(text);
            row3.SetPosition(BarPosition(static_cast<double>(processed), static_cast<double>(info.declaredLength - 8)));
            chunkCount = 0;
        }
    }

    // The chunks after the samples.
    uint64_t rest = outputLength - dataEnd;
    while (rest > 0) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(rest, chunkSize));
        ReadOrZero(source, buffer.get(), n, sourceEnded);
        if (!sink.Write(buffer.get(), n))
            return -1;
        rest -= n;
    }
    return 0;
}

int NormalizeFile(ProgressRow& row3, MessageBoxes& boxes, const std::string& source,
                  const std::string& output, const SamplePeak& peak)
{
    WaveFileInfo info {};
    if (ProbeWaveFile(source, info) < 0 || info.sampleFormat != peak.format)
        return -1;
    FileSource in;
    if (!in.Open(source))
        return -1;
    // The output is replaced whole; were it the source itself, the samples would be lost.
    FileSink out;
    if (IsSameFile(source, output) || !out.Open(output)) {
        boxes.ShowProcessMessage("ﾌｧｲﾙを正常に作成できません。(" + output + ")");
        return -1;
    }
    // A failure that shows only when the output is closed (a full disk on flush) counts as
    // a failed write: the output is not complete.
    const bool written = NormalizeData(row3, in, out, info, peak) == 0;
    const bool closed = out.Close();
    if (!written || !closed) {
        boxes.ShowProcessMessage("書きこみに失敗しました。(" + output + ")");
        return -1;
    }
    row3.SetLabel("正規化終了");
    row3.SetPosition(1000);
    return 0;
}

}  // namespace orva
