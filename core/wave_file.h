#pragma once
// The RIFF WAVE header: the probe that checks a file and reads its format and sample data
// position, the sample formats the core processes, and the fresh header of converted
// files. All numbers in the file are little-endian; sizes and offsets are bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orva {

class ByteSource;
class ByteSink;

/// The fields of the `fmt ` chunk in file order (the 18-byte WAVEFORMATEX layout), then the
/// fields that WAVE_FORMAT_EXTENSIBLE (tag 0xFFFE) adds.
struct WaveFormat {
    uint16_t formatTag;        ///< 1 = PCM, 3 = IEEE float, 0xFFFE = extensible
    uint16_t channels;         ///< interleaved channels
    uint32_t sampleRate;       ///< frames per second (Hz)
    uint32_t avgBytesPerSec;   ///< bytes per second
    uint16_t blockAlign;       ///< bytes per frame (all channels)
    uint16_t bitsPerSample;    ///< container width of one sample (bits)
    uint16_t extraSize;        ///< extra format bytes after the basic 16; 0 for a 16-byte chunk
    uint16_t validBits = 0;    ///< extensible: significant bits of each sample; else 0
    uint32_t channelMask = 0;  ///< extensible: speaker positions; else 0
    uint16_t subFormat = 0;    ///< extensible: the tag the sub-format GUID stands for; else 0
};

/// The sample encodings the core reads and writes; None for everything else.
enum class SampleFormat : uint8_t { None, U8, S16, S24, S32, F32, F64 };

/// Bytes of one sample (0 for None).
size_t SampleBytes(SampleFormat format);

/// True for the IEEE float formats.
inline bool IsFloatFormat(SampleFormat format)
{
    return format == SampleFormat::F32 || format == SampleFormat::F64;
}

/// The short name: "u8", "s16", "s24", "s32", "f32", "f64" or "none".
const char* SampleFormatName(SampleFormat format);

/// The sample format a `fmt ` chunk describes: PCM (tag 1, or extensible with the PCM
/// sub-format) of 8, 16, 24 or 32 bits, IEEE float (tag 3, or extensible with the float
/// sub-format) of 32 or 64 bits; None for anything else. Channel count and rate are free.
SampleFormat SampleFormatOf(const WaveFormat& format);

/// What a successful probe found; the fields are valid only when the probe succeeded.
struct WaveFileInfo {
    uint32_t riffSize = 0;        ///< RIFF size field as stored (bytes 4..7); 0xFFFFFFFF in RF64
    uint64_t declaredLength = 0;  ///< file length the header declares (RIFF size + 8; ds64's in RF64)
    uint64_t fileLength = 0;      ///< bytes the file holds
    WaveFormat format {};         ///< the last `fmt ` chunk before the `data` chunk
    SampleFormat sampleFormat = SampleFormat::None;
    uint64_t dataSize = 0;       ///< sample bytes that are there: the data chunk clamped to the file
    uint64_t dataSizeField = 0;  ///< the data size the header declares (ds64's in RF64)
    uint64_t dataOffset = 0;     ///< file offset of the first sample byte (= header length)
    bool rf64 = false;           ///< an RF64 or BW64 file (sizes in its `ds64` chunk)
    uint64_t ds64Offset = 0;     ///< RF64: file offset of the `ds64` chunk body
    /// Bytes after the RIFF form (and after the samples) that a copy does not carry: an
    /// appended tag, a second file, audio written after the last header update. A lone
    /// padding byte after an odd form is not counted, nor is anything when the samples
    /// were taken to the end of the file.
    uint64_t trailingBytes = 0;
};

/// Most channels a file may have: more is no recording this program can meet, and the
/// per-channel state of the analysis would grow without bound.
constexpr unsigned kMaxChannels = 64;

/// Probe results; a successful probe returns the RIFF size field (0 or more) instead.
/// -10 and -11 (size fields of 2^31 or more) and the 256-byte limit are gone: sizes are
/// unsigned and the whole header is walked. Their codes are not given to other reasons.
enum ProbeResult : int {
    kProbeCannotOpen = -2,  ///< the file does not open for reading (missing, no access, a pipe)
    kProbeCannotRead = -3,  ///< a read of the header fails (a folder, an I/O error)
    kProbeNotWave = -4,     ///< not "RIFF"/"RF64"/"BW64" ... "WAVE"
    kProbeBadFmtSize = -6,  ///< a `fmt ` size field below 16 (or of 2^31 or more)
    kProbeNoData = -7,      ///< no `data` chunk in the file
    kProbeFmtMissing = -8,  ///< `data` chunk before any `fmt ` chunk
    kProbeTruncated = -9,   ///< the header ends inside bytes the walk needs
    /// No longer returned by the probe (RIFF sizes of 2^31 or more are read); the file
    /// list refuses a RIFF size field of 0 with no samples behind it under this code.
    kProbeBadRiffSize = -10,
    kProbeTooLarge = -12,         ///< a plain RIFF file of 4 GiB or more: its 32-bit sizes cannot state it
    kProbeBadDs64 = -13,          ///< an RF64/BW64 file without a usable `ds64` chunk first
    kProbeTooManyChannels = -14,  ///< a format of more than kMaxChannels channels
};

/// Checks the WAV file at path and fills info; returns the RIFF size field or a negative
/// ProbeResult, and leaves the reason of a failure in ErrorText().
int64_t ProbeWaveFile(const std::string& path, WaveFileInfo& info);

/// The same probe over an already opened source that stands at the start of a file of
/// fileLength bytes; reads the header up to the first sample byte.
int64_t ProbeWaveSource(ByteSource& source, uint64_t fileLength, WaveFileInfo& info);

/// Walks the chunks of a file given in memory (the whole file, or its first imageLength
/// bytes of a file that is fileLength long). Only the given bytes are read. Returns like
/// ProbeWaveFile and sets ErrorText() on failure.
int64_t ParseWaveHeader(WaveFileInfo& info, const uint8_t* image, size_t imageLength, uint64_t fileLength);
inline int64_t ParseWaveHeader(WaveFileInfo& info, const uint8_t* image, size_t imageLength)
{
    return ParseWaveHeader(info, image, imageLength, imageLength);
}

/// The reason of the last failed probe, ProbeResultText of its code; empty before any
/// failure. Thread-safe. A text for logs: front ends word the code itself.
std::string ErrorText();

/// A short English description of one probe result code, for developers and logs; empty
/// for codes that are not failures.
const char* ProbeResultText(int code);

/// True for every format SampleFormatOf knows.
bool IsSupportedFormat(const WaveFormat& format);

/// The header fields of the output of a copy that holds dataSize sample bytes and ends at
/// outputLength: the RIFF and `data` size fields (and ds64's in RF64) where the source's
/// did not state that, as (offset, bytes) edits of the copied header. Empty when the
/// source's header already states the truth.
std::vector<std::pair<uint64_t, std::vector<uint8_t>>> SizeFieldEdits(const WaveFileInfo& info,
                                                                      uint64_t outputLength);

/// Size of the fresh header written before converted 8/16-bit mono or stereo sample data.
constexpr size_t kFreshHeaderSize = 46;

/// The PCM format of a converted file: tag 1, the given rate, width and channel count,
/// avgBytesPerSec = channels * ((rate * bits) >> 3) in unsigned 32 bits,
/// blockAlign = channels * (bits / 8), extraSize 0.
WaveFormat MakePcmFormat(uint32_t sampleRate, uint16_t bitsPerSample, uint16_t channels);

/// The 46-byte header "RIFF" <36> "WAVE" "fmt " <18> format "data" <0>; the two size fields
/// are patched once the sample data is written.
std::array<uint8_t, kFreshHeaderSize> MakeFreshHeader(const WaveFormat& format);

/// Patches a fresh header after dataByteCount sample bytes were written: offset 4 gets
/// dataByteCount + 38, offset 42 gets dataByteCount. False when a seek or write fails.
bool PatchFreshHeader(ByteSink& sink, uint32_t dataByteCount);

/// Largest data byte count a 46-byte fresh header can declare (its size fields read as signed).
constexpr uint32_t kFreshDataLimit = 0x7FFFFFFFu - 38u;

/// A fresh header for any sample format: the 46-byte one for 8/16-bit PCM of one or two
/// channels; WAVE_FORMAT_EXTENSIBLE (fmt of 40 bytes) for the rest; with a `ds64` chunk
/// (RF64) when rf64 is set. Size fields are patched by PatchHeader.
struct FreshHeader {
    std::vector<uint8_t> bytes;
    bool rf64 = false;
    bool extensible = false;
};
FreshHeader MakeHeaderFor(SampleFormat format, uint32_t sampleRate, uint16_t channels, uint32_t channelMask,
                          bool rf64);

/// Patches a fresh header after dataByteCount sample bytes; false when the plain header
/// cannot state that many bytes or a seek or write fails.
bool PatchHeader(ByteSink& sink, const FreshHeader& header, uint64_t dataByteCount);

}  // namespace orva
