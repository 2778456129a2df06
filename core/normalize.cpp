#include "core/normalize.h"

#include "core/byte_io.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace orva {
namespace {

constexpr size_t kChunkSize = 65536;  // bytes per read and write
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

int NormalizeData(ProgressRow& row3, ByteSource& source, ByteSink& sink, const WaveFileInfo& info, int peak)
{
    if (peak < 1)
        return -1;
    return NormalizeDataWithGain(row3, source, sink, info, NormalizeGain(info.format.bitsPerSample, peak));
}

int NormalizeDataWithGain(ProgressRow& row3, ByteSource& source, ByteSink& sink, const WaveFileInfo& info,
                          double gain)
{
    if (!(gain >= 0.0) || info.dataOffset < 0)
        return -1;
    const bool eightBit = info.format.bitsPerSample == 8;
    const int64_t dataSize = std::max<int32_t>(info.dataSize, 0);

    std::unique_ptr<uint8_t[]> buffer(new uint8_t[kChunkSize]);
    bool sourceEnded = false;

    // The header (everything before the samples) is copied as it is; it is at most
    // 256 + 8 bytes long.
    const size_t headerSize = static_cast<size_t>(info.dataOffset);
    ReadOrZero(source, buffer.get(), headerSize, sourceEnded);
    if (!sink.Write(buffer.get(), headerSize))
        return -1;

    int64_t processed = 0;
    int chunkCount = 0;
    size_t scaledZeros = 0;  // leading bytes of the buffer that hold scaled missing bytes
    char text[96];
    while (processed < dataSize) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(dataSize - processed, kChunkSize));
        const size_t got = ReadUntilEnd(source, buffer.get(), n, sourceEnded);
        processed += static_cast<int64_t>(n);
        // Past the end of the source every chunk is the same scaled zero bytes: scale them
        // once (a header may claim up to 2 GiB that the file does not hold).
        if (got > 0 || scaledZeros < n) {
            std::memset(buffer.get() + got, 0, n - got);
            if (eightBit)
                ScaleSamples8(buffer.get(), n, gain);
            else
                ScaleSamples16(buffer.get(), n, gain);
            scaledZeros = got == 0 ? n : 0;
        }
        if (!sink.Write(buffer.get(), n))
            return -1;
        if (++chunkCount >= kChunksPerUpdate) {
            std::snprintf(text, sizeof text, "正規化処理中(%d/%d)", static_cast<int>(processed),
                          static_cast<int>(dataSize));
            row3.SetLabel(text);
            row3.SetPosition(BarPosition(static_cast<double>(processed), static_cast<double>(info.riffSize)));
            chunkCount = 0;
        }
    }

    // The chunks after the samples, up to the length the header declares.
    int64_t rest = (static_cast<int64_t>(info.riffSize) + 8) - (info.dataOffset + processed);
    while (rest > 0) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(rest, kChunkSize));
        ReadOrZero(source, buffer.get(), n, sourceEnded);
        if (!sink.Write(buffer.get(), n))
            return -1;
        rest -= static_cast<int64_t>(n);
    }
    return 0;
}

int NormalizeFile(ProgressRow& row3, MessageBoxes& boxes, const std::string& source,
                  const std::string& output, int peak)
{
    WaveFileInfo info {};
    if (peak < 1 || ProbeWaveFile(source, info) < 0)
        return -1;
    return NormalizeFileWithGain(row3, boxes, source, output, NormalizeGain(info.format.bitsPerSample, peak));
}

int NormalizeFileWithGain(ProgressRow& row3, MessageBoxes& boxes, const std::string& source,
                          const std::string& output, double gain)
{
    WaveFileInfo info {};
    if (!(gain >= 0.0) || ProbeWaveFile(source, info) < 0)
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
    const bool written = NormalizeDataWithGain(row3, in, out, info, gain) == 0;
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
