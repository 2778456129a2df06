#include "core/wave_file.h"

#include "core/byte_io.h"

#include <sys/stat.h>

#include <atomic>
#include <cstring>

namespace orva {
namespace {

// The reason of the last failed probe. Probes run on the GUI thread and on the batch
// worker (never at the same time); an atomic pointer to a constant text keeps it race-free.
std::atomic<const char*> g_errorText { "" };

int Fail(int code)
{
    g_errorText.store(ProbeResultText(code), std::memory_order_relaxed);
    return code;
}

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Read32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8)
        | (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void Put16(uint8_t* p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* p, uint32_t value)
{
    Put16(p, value);
    Put16(p + 2, value >> 16);
}

}  // namespace

const char* ProbeResultText(int code)
{
    switch (code) {
    case kProbeCannotOpen:
        return "ファイルが開けません";
    case kProbeCannotRead:
        return "ヘッダ部が読めません";
    case kProbeNotWave:
        return "WAVEファイルではありません";
    case kProbeBadFmtSize:
        return "fmtチャンクサイズがおかしい";
    case kProbeNoData:
        return "dataチャンクが見つかりません";
    case kProbeFmtMissing:
        return "dataチャンクの前にfmtチャンクがありません";
    case kProbeTruncated:
        return "ヘッダ部が不完全です";
    case kProbeBadRiffSize:
        return "RIFFチャンクサイズがおかしい";
    case kProbeBadDataSize:
        return "dataチャンクサイズがおかしい";
    default:
        return "";
    }
}

std::string ErrorText() { return g_errorText.load(std::memory_order_relaxed); }

int ParseWaveHeader(WaveFileInfo& info, const uint8_t* image, size_t imageLength)
{
    if (imageLength > kHeaderImageSize)
        imageLength = kHeaderImageSize;
    if (imageLength < 12)
        return Fail(kProbeTruncated);
    if (std::memcmp(image, "RIFF", 4) != 0 || std::memcmp(image + 8, "WAVE", 4) != 0)
        return Fail(kProbeNotWave);

    // Header fields are signed 32-bit values; 2^31 or more cannot describe a real file.
    const uint32_t riffField = Read32(image + 4);
    if (riffField > 0x7FFFFFFFu)
        return Fail(kProbeBadRiffSize);

    // The walk: chunk headers below offset 256, each followed by its body and, for an odd
    // size, the RIFF pad byte. Offsets are kept in 64 bits and only move forward, so a
    // huge or hostile size can neither wrap around nor loop.
    const int64_t end = static_cast<int64_t>(imageLength);
    int64_t offset = 12;
    bool haveFormat = false;
    WaveFormat format {};
    while (offset < static_cast<int64_t>(kHeaderImageSize)) {
        if (offset >= end)
            return Fail(kProbeNoData);
        if (offset + 8 > end)
            return Fail(kProbeTruncated);
        const uint8_t* chunk = image + offset;
        const uint32_t sizeField = Read32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            // A size of 2^31 or more is a negative size field: below 16.
            if (sizeField < 16 || sizeField > 0x7FFFFFFFu)
                return Fail(kProbeBadFmtSize);
            const int64_t bodyNeeded = sizeField > 16 ? 18 : 16;
            if (offset + 8 + bodyNeeded > end)
                return Fail(kProbeTruncated);
            format.formatTag = Read16(chunk + 8);
            format.channels = Read16(chunk + 10);
            format.sampleRate = Read32(chunk + 12);
            format.avgBytesPerSec = Read32(chunk + 16);
            format.blockAlign = Read16(chunk + 20);
            format.bitsPerSample = Read16(chunk + 22);
            format.extraSize = sizeField > 16 ? Read16(chunk + 24) : 0;
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat)
                return Fail(kProbeFmtMissing);
            if (sizeField > 0x7FFFFFFFu)
                return Fail(kProbeBadDataSize);
            info.riffSize = static_cast<int32_t>(riffField);
            info.format = format;
            info.dataSize = static_cast<int32_t>(sizeField);
            info.dataOffset = static_cast<int32_t>(offset + 8);
            return info.riffSize;
        }
        offset += 8 + static_cast<int64_t>(sizeField) + (sizeField & 1u);
    }
    return Fail(kProbeNoData);
}

int ProbeWaveSource(ByteSource& source, WaveFileInfo& info)
{
    uint8_t image[kHeaderImageSize];
    const long long n = source.Read(image, sizeof image);
    if (n < 0)
        return Fail(kProbeCannotRead);
    return ParseWaveHeader(info, image, static_cast<size_t>(n));
}

int ProbeWaveFile(const std::string& path, WaveFileInfo& info)
{
    // A named pipe would block the open until some writer appears (the file list probes
    // on the GUI thread): it cannot be a WAV file that is read twice, so it is not opened.
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && S_ISFIFO(status.st_mode))
        return Fail(kProbeCannotOpen);
    FileSource file;
    if (!file.Open(path))
        return Fail(kProbeCannotOpen);
    return ProbeWaveSource(file, info);
}

bool IsSupportedFormat(const WaveFormat& format)
{
    return format.formatTag == 1 && (format.bitsPerSample == 8 || format.bitsPerSample == 16);
}

WaveFormat MakePcmFormat(uint32_t sampleRate, uint16_t bitsPerSample, uint16_t channels)
{
    WaveFormat format {};
    format.formatTag = 1;
    format.channels = channels;
    format.sampleRate = sampleRate;
    format.avgBytesPerSec = channels * ((sampleRate * bitsPerSample) >> 3);
    format.blockAlign = static_cast<uint16_t>(channels * (bitsPerSample / 8));
    format.bitsPerSample = bitsPerSample;
    format.extraSize = 0;
    return format;
}

std::array<uint8_t, kFreshHeaderSize> MakeFreshHeader(const WaveFormat& format)
{
    std::array<uint8_t, kFreshHeaderSize> header {};
    uint8_t* p = header.data();
    std::memcpy(p, "RIFF", 4);
    Put32(p + 4, 36);
    std::memcpy(p + 8, "WAVEfmt ", 8);
    Put32(p + 16, 18);
    Put16(p + 20, format.formatTag);
    Put16(p + 22, format.channels);
    Put32(p + 24, format.sampleRate);
    Put32(p + 28, format.avgBytesPerSec);
    Put16(p + 32, format.blockAlign);
    Put16(p + 34, format.bitsPerSample);
    Put16(p + 36, format.extraSize);
    std::memcpy(p + 38, "data", 4);
    Put32(p + 42, 0);
    return header;
}

bool PatchFreshHeader(ByteSink& sink, uint32_t dataByteCount)
{
    uint8_t field[4];
    Put32(field, dataByteCount + 38);
    if (!sink.Seek(4) || !sink.Write(field, 4))
        return false;
    Put32(field, dataByteCount);
    return sink.Seek(42) && sink.Write(field, 4);
}

}  // namespace orva
