#include "core/wave_file.h"

#include "core/byte_io.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>

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

uint64_t Read64(const uint8_t* p) { return Read32(p) | (static_cast<uint64_t>(Read32(p + 4)) << 32); }

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

void Put64(uint8_t* p, uint64_t value)
{
    Put32(p, static_cast<uint32_t>(value));
    Put32(p + 4, static_cast<uint32_t>(value >> 32));
}

// The tail that every sub-format GUID of a registered format tag shares:
// {tag-0000-0010-8000-00AA00389B71}, bytes 4..15 as stored.
constexpr uint8_t kGuidTail[12] = { 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71 };

// Delivers count bytes at a file offset; offsets asked for never go backwards. Returns 1,
// 0 when the bytes are not there (the file ends), -1 when reading failed.
using Fetch = std::function<int(uint64_t offset, size_t count, uint8_t* out)>;

// The plain 32-bit limit: a RIFF file's sizes can state at most this much.
constexpr uint64_t kPlainLimit = 0xFFFFFFFFull;

int64_t Walk(WaveFileInfo& info, const Fetch& fetch, uint64_t fileLength)
{
    uint8_t head[12];
    const int got = fetch(0, 12, head);
    if (got < 0)
        return Fail(kProbeCannotRead);
    if (got == 0)
        return Fail(kProbeTruncated);
    const bool rf64 = std::memcmp(head, "RF64", 4) == 0 || std::memcmp(head, "BW64", 4) == 0;
    if ((!rf64 && std::memcmp(head, "RIFF", 4) != 0) || std::memcmp(head + 8, "WAVE", 4) != 0)
        return Fail(kProbeNotWave);
    // 32-bit fields cannot describe such a file: its sizes have wrapped around.
    if (!rf64 && fileLength > kPlainLimit)
        return Fail(kProbeTooLarge);
    const uint32_t riffField = Read32(head + 4);

    WaveFileInfo found {};
    found.riffSize = riffField;
    found.fileLength = fileLength;
    found.rf64 = rf64;
    found.declaredLength = static_cast<uint64_t>(riffField) + 8;
    uint64_t ds64Data = 0;
    uint64_t offset = 12;
    if (rf64) {
        uint8_t ds64[8 + 24];
        const int have = fetch(offset, sizeof ds64, ds64);
        if (have < 0)
            return Fail(kProbeCannotRead);
        if (have == 0 || std::memcmp(ds64, "ds64", 4) != 0 || Read32(ds64 + 4) < 24)
            return Fail(kProbeBadDs64);
        found.ds64Offset = offset + 8;
        const uint64_t riff64 = Read64(ds64 + 8);
        found.declaredLength = riff64 > UINT64_MAX - 8 ? UINT64_MAX : riff64 + 8;
        ds64Data = Read64(ds64 + 16);
        const uint32_t size = Read32(ds64 + 4);
        offset += 8 + static_cast<uint64_t>(size) + (size & 1u);
    }

    // Chunk headers through the whole header, each followed by its body and, for an odd
    // size, the RIFF pad byte. Offsets are 64-bit and only move forward, so a huge or
    // hostile size can neither wrap around nor loop.
    bool haveFormat = false;
    WaveFormat format {};
    for (;;) {
        if (offset >= fileLength)
            return Fail(kProbeNoData);
        uint8_t chunk[8];
        const int have = fetch(offset, 8, chunk);
        if (have < 0)
            return Fail(kProbeCannotRead);
        if (have == 0)
            return Fail(kProbeTruncated);
        const uint32_t sizeField = Read32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            // A size of 2^31 or more is a negative size field: below 16.
            if (sizeField < 16 || sizeField > 0x7FFFFFFFu)
                return Fail(kProbeBadFmtSize);
            uint8_t body[40] {};
            const size_t bodyNeeded = sizeField >= 40 ? 40 : sizeField > 16 ? 18 : 16;
            const int bodyRead = fetch(offset + 8, bodyNeeded, body);
            if (bodyRead < 0)
                return Fail(kProbeCannotRead);
            if (bodyRead == 0)
                return Fail(kProbeTruncated);
            format = WaveFormat {};
            format.formatTag = Read16(body);
            format.channels = Read16(body + 2);
            format.sampleRate = Read32(body + 4);
            format.avgBytesPerSec = Read32(body + 8);
            format.blockAlign = Read16(body + 12);
            format.bitsPerSample = Read16(body + 14);
            format.extraSize = sizeField > 16 ? Read16(body + 16) : 0;
            // An extensible format without its 22 extra bytes stays unknown (sub-format 0).
            if (format.formatTag == 0xFFFE && sizeField >= 40 && format.extraSize >= 22) {
                format.validBits = Read16(body + 18);
                format.channelMask = Read32(body + 20);
                if (std::memcmp(body + 28, kGuidTail, sizeof kGuidTail) == 0 && Read16(body + 26) == 0)
                    format.subFormat = Read16(body + 24);
            }
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat)
                return Fail(kProbeFmtMissing);
            if (format.channels > kMaxChannels)
                return Fail(kProbeTooManyChannels);
            found.format = format;
            found.sampleFormat = SampleFormatOf(format);
            found.dataOffset = offset + 8;
            found.dataSizeField = rf64 && sizeField == 0xFFFFFFFFu ? ds64Data : sizeField;
            // The samples never reach past the end of the file. A size that was never
            // finalized (0 while more bytes follow and the RIFF size does not match the
            // file; a placeholder beyond the end) means every whole frame up to the end.
            const uint64_t available = fileLength > found.dataOffset ? fileLength - found.dataOffset : 0;
            const bool unfinalizedZero = found.dataSizeField == 0 && found.declaredLength != fileLength;
            const bool toTheEnd = unfinalizedZero || found.dataSizeField > available;
            if (toTheEnd) {
                const size_t sampleBytes = SampleBytes(found.sampleFormat);
                uint64_t frame = format.blockAlign;
                if (sampleBytes > 0)
                    frame = sampleBytes * std::max<uint64_t>(format.channels, 1);
                frame = std::max<uint64_t>(frame, 1);
                found.dataSize = available / frame * frame;
            } else {
                found.dataSize = found.dataSizeField;
            }
            // A copy carries the form as declared, or the samples where they reach further.
            const uint64_t carried = std::max(found.declaredLength, found.dataOffset + found.dataSize);
            const bool lonePad = fileLength - carried == 1 && (carried & 1u) != 0;
            if (!toTheEnd && fileLength > carried && !lonePad)
                found.trailingBytes = fileLength - carried;
            info = found;
            return riffField;
        }
        offset += 8 + static_cast<uint64_t>(sizeField) + (sizeField & 1u);
    }
}

}  // namespace

size_t SampleBytes(SampleFormat format)
{
    switch (format) {
    case SampleFormat::U8:
        return 1;
    case SampleFormat::S16:
        return 2;
    case SampleFormat::S24:
        return 3;
    case SampleFormat::S32:
    case SampleFormat::F32:
        return 4;
    case SampleFormat::F64:
        return 8;
    default:
        return 0;
    }
}

const char* SampleFormatName(SampleFormat format)
{
    switch (format) {
    case SampleFormat::U8:
        return "u8";
    case SampleFormat::S16:
        return "s16";
    case SampleFormat::S24:
        return "s24";
    case SampleFormat::S32:
        return "s32";
    case SampleFormat::F32:
        return "f32";
    case SampleFormat::F64:
        return "f64";
    default:
        return "none";
    }
}

SampleFormat SampleFormatOf(const WaveFormat& format)
{
    const unsigned tag = format.formatTag == 0xFFFE ? format.subFormat : format.formatTag;
    if (tag == 1) {
        switch (format.bitsPerSample) {
        case 8:
            return SampleFormat::U8;
        case 16:
            return SampleFormat::S16;
        case 24:
            return SampleFormat::S24;
        case 32:
            return SampleFormat::S32;
        default:
            return SampleFormat::None;
        }
    }
    if (tag == 3 && format.bitsPerSample == 32)
        return SampleFormat::F32;
    if (tag == 3 && format.bitsPerSample == 64)
        return SampleFormat::F64;
    return SampleFormat::None;
}

const char* ProbeResultText(int code)
{
    switch (code) {
    case kProbeCannotOpen:
        return "cannot open the file";
    case kProbeCannotRead:
        return "a read of the header failed";
    case kProbeNotWave:
        return "not a RIFF WAVE file";
    case kProbeBadFmtSize:
        return "fmt chunk size out of range";
    case kProbeNoData:
        return "no data chunk";
    case kProbeFmtMissing:
        return "data chunk before any fmt chunk";
    case kProbeTruncated:
        return "header cut short";
    case kProbeBadRiffSize:
        return "RIFF size field of 0 and no samples";
    case kProbeTooLarge:
        return "plain RIFF file of 4 GiB or more";
    case kProbeBadDs64:
        return "RF64 without a usable ds64 chunk";
    case kProbeTooManyChannels:
        return "more than 64 channels";
    default:
        return "";
    }
}

std::string ErrorText() { return g_errorText.load(std::memory_order_relaxed); }

int64_t ParseWaveHeader(WaveFileInfo& info, const uint8_t* image, size_t imageLength, uint64_t fileLength)
{
    const Fetch fetch = [&](uint64_t offset, size_t count, uint8_t* out) {
        if (offset > imageLength || count > imageLength - offset || offset + count > fileLength)
            return 0;
        std::memcpy(out, image + offset, count);
        return 1;
    };
    return Walk(info, fetch, fileLength);
}

int64_t ProbeWaveSource(ByteSource& source, uint64_t fileLength, WaveFileInfo& info)
{
    // The source reads forward only. The header is read in blocks of up to 4 KiB (one read
    // covers an ordinary header whole); a long chunk before the samples is passed over with
    // a seek where the source can, else read into the block and dropped.
    constexpr size_t kBlock = 4096;
    uint8_t block[kBlock];
    uint64_t blockStart = 0;  // file offset of block[0]
    size_t blockLength = 0;   // bytes of the block that hold file bytes
    bool failed = false;
    // Reads the next block starting at offset (at or after the end of the current one).
    const auto load = [&](uint64_t offset) {
        const uint64_t position = blockStart + blockLength;
        if (offset > position && source.CanSkip()) {
            if (!source.Skip(offset - position))
                return false;
        } else {
            for (uint64_t at = position; at < offset;) {
                const size_t n = static_cast<size_t>(std::min<uint64_t>(offset - at, kBlock));
                const long long got = source.Read(block, n);
                // A failed read, or a source that ends before offset: the bytes are not there.
                if (got <= 0) {
                    failed = got < 0;
                    return false;
                }
                at += static_cast<uint64_t>(got);
            }
        }
        blockStart = offset;
        const size_t want =
            static_cast<size_t>(std::min<uint64_t>(kBlock, fileLength > offset ? fileLength - offset : 0));
        const long long got = want > 0 ? source.Read(block, want) : 0;
        if (got < 0) {
            failed = true;
            blockLength = 0;
            return false;
        }
        blockLength = static_cast<size_t>(got);
        return true;
    };
    const Fetch fetch = [&](uint64_t offset, size_t count, uint8_t* out) {
        if (offset + count > fileLength)
            return 0;
        while (count > 0) {
            if (offset < blockStart || offset >= blockStart + blockLength) {
                if (!load(offset))
                    return failed ? -1 : 0;
                if (blockLength == 0)
                    return 0;
            }
            const size_t n = std::min<size_t>(count, static_cast<size_t>(blockStart + blockLength - offset));
            std::memcpy(out, block + (offset - blockStart), n);
            out += n;
            offset += n;
            count -= n;
        }
        return 1;
    };
    return Walk(info, fetch, fileLength);
}

int64_t ProbeWaveFile(const std::string& path, WaveFileInfo& info)
{
    // A named pipe would block the open until some writer appears (the file list probes
    // on the GUI thread): it cannot be a WAV file that is read twice, so it is not opened.
    struct stat status {};
    const bool known = ::stat(path.c_str(), &status) == 0;
    if (known && S_ISFIFO(status.st_mode))
        return Fail(kProbeCannotOpen);
    FileSource file;
    if (!known || !file.Open(path))
        return Fail(kProbeCannotOpen);
    // A folder opens and has a length but fails to read, as it always did.
    const uint64_t length = S_ISREG(status.st_mode) ? static_cast<uint64_t>(status.st_size) : 64 * 1024;
    return ProbeWaveSource(file, length, info);
}

bool IsSupportedFormat(const WaveFormat& format) { return SampleFormatOf(format) != SampleFormat::None; }

std::vector<std::pair<uint64_t, std::vector<uint8_t>>> SizeFieldEdits(const WaveFileInfo& info,
                                                                      uint64_t outputLength)
{
    std::vector<std::pair<uint64_t, std::vector<uint8_t>>> edits;
    // A header that stated the file truly is copied as it is, field for field.
    if (info.dataSize == info.dataSizeField && info.declaredLength <= info.fileLength)
        return edits;
    std::vector<uint8_t> field(4);
    if (info.rf64) {
        std::vector<uint8_t> sizes(16);
        Put64(sizes.data(), outputLength - 8);
        Put64(sizes.data() + 8, info.dataSize);
        edits.emplace_back(info.ds64Offset, sizes);
        // The data chunk's own field becomes the "see ds64" mark.
        Put32(field.data(), 0xFFFFFFFFu);
        edits.emplace_back(info.dataOffset - 4, field);
        return edits;
    }
    Put32(field.data(), static_cast<uint32_t>(outputLength - 8));
    edits.emplace_back(4, field);
    Put32(field.data(), static_cast<uint32_t>(info.dataSize));
    edits.emplace_back(info.dataOffset - 4, field);
    return edits;
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

FreshHeader MakeHeaderFor(SampleFormat sampleFormat, uint32_t sampleRate, uint16_t channels,
                          uint32_t channelMask, bool rf64)
{
    FreshHeader header;
    header.rf64 = rf64;
    const auto bits = static_cast<uint16_t>(8 * SampleBytes(sampleFormat));
    header.extensible =
        !((sampleFormat == SampleFormat::U8 || sampleFormat == SampleFormat::S16) && channels <= 2);
    if (!header.extensible && !rf64) {
        const auto fresh = MakeFreshHeader(MakePcmFormat(sampleRate, bits, channels));
        header.bytes.assign(fresh.begin(), fresh.end());
        return header;
    }
    std::vector<uint8_t>& b = header.bytes;
    auto add = [&b](const void* bytes, size_t n) {
        b.insert(b.end(), static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + n);
    };
    auto add16 = [&](uint32_t v) {
        uint8_t f[2];
        Put16(f, v);
        add(f, 2);
    };
    auto add32 = [&](uint32_t v) {
        uint8_t f[4];
        Put32(f, v);
        add(f, 4);
    };
    add(rf64 ? "RF64" : "RIFF", 4);
    add32(rf64 ? 0xFFFFFFFFu : 0);
    add("WAVE", 4);
    if (rf64) {
        add("ds64", 4);
        add32(28);
        b.resize(b.size() + 28, 0);
    }
    add("fmt ", 4);
    add32(header.extensible ? 40 : 18);
    const uint16_t blockAlign = static_cast<uint16_t>(channels * (bits / 8));
    add16(header.extensible ? 0xFFFE : 1);
    add16(channels);
    add32(sampleRate);
    add32(sampleRate * blockAlign);
    add16(blockAlign);
    add16(bits);
    if (header.extensible) {
        add16(22);
        add16(bits);
        add32(channelMask);
        add16(IsFloatFormat(sampleFormat) ? 3 : 1);
        add16(0);
        add(kGuidTail, sizeof kGuidTail);
    } else {
        add16(0);
    }
    add("data", 4);
    add32(rf64 ? 0xFFFFFFFFu : 0);
    return header;
}

bool PatchHeader(ByteSink& sink, const FreshHeader& header, uint64_t dataByteCount)
{
    const uint64_t riffSize = header.bytes.size() - 8 + dataByteCount;
    if (header.rf64) {
        uint8_t sizes[24];
        // ds64 ends at offset 48 and fmt's body starts at 56: blockAlign is at 68.
        const uint64_t frameBytes = Read16(header.bytes.data() + 68);
        Put64(sizes, riffSize);
        Put64(sizes + 8, dataByteCount);
        Put64(sizes + 16, frameBytes > 0 ? dataByteCount / frameBytes : 0);
        return sink.Seek(20) && sink.Write(sizes, sizeof sizes);
    }
    if (riffSize > kPlainLimit)
        return false;
    uint8_t field[4];
    Put32(field, static_cast<uint32_t>(riffSize));
    if (!sink.Seek(4) || !sink.Write(field, 4))
        return false;
    Put32(field, static_cast<uint32_t>(dataByteCount));
    return sink.Seek(header.bytes.size() - 4) && sink.Write(field, 4);
}

}  // namespace orva
