#pragma once
// The RIFF WAVE header: the probe that checks a file and reads its format and sample data
// position, and the fresh 46-byte header of converted files. All numbers in the file are
// little-endian; sizes and offsets are bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace orva {

class ByteSource;
class ByteSink;

/// The fields of the `fmt ` chunk in file order (the 18-byte WAVEFORMATEX layout).
struct WaveFormat {
    uint16_t formatTag;       ///< 1 = PCM
    uint16_t channels;        ///< interleaved channels
    uint32_t sampleRate;      ///< frames per second (Hz)
    uint32_t avgBytesPerSec;  ///< bytes per second
    uint16_t blockAlign;      ///< bytes per frame (all channels)
    uint16_t bitsPerSample;   ///< 8 or 16 for supported files
    uint16_t extraSize;       ///< extra format bytes after the basic 16; 0 for a 16-byte chunk
};

/// What a successful probe found; the fields are valid only when the probe succeeded.
struct WaveFileInfo {
    int32_t riffSize;    ///< RIFF size field (bytes 4..7): the declared file length minus 8
    WaveFormat format;   ///< the last `fmt ` chunk before the `data` chunk
    int32_t dataSize;    ///< sample bytes, from the `data` chunk's size field
    int32_t dataOffset;  ///< file offset of the first sample byte (= header length)
};

/// Probe results; a successful probe returns the RIFF size field (0 or more) instead.
enum ProbeResult : int {
    kProbeCannotOpen = -2,    ///< "ファイルが開けません"
    kProbeCannotRead = -3,    ///< "ヘッダ部が読めません"
    kProbeNotWave = -4,       ///< "WAVEファイルではありません"
    kProbeBadFmtSize = -6,    ///< "fmtチャンクサイズがおかしい"
    kProbeNoData = -7,        ///< no `data` chunk header below offset 256
    kProbeFmtMissing = -8,    ///< `data` chunk before any `fmt ` chunk
    kProbeTruncated = -9,     ///< the header ends inside bytes the walk needs
    kProbeBadRiffSize = -10,  ///< RIFF size field of 2^31 or more
    kProbeBadDataSize = -11,  ///< `data` size field of 2^31 or more
};

/// Bytes of a file that the probe examines.
constexpr size_t kHeaderImageSize = 256;

/// Checks the WAV file at path and fills info; returns the RIFF size field or a negative
/// ProbeResult, and leaves the reason of a failure in ErrorText().
int ProbeWaveFile(const std::string& path, WaveFileInfo& info);

/// The same probe over an already opened source (reads at most 256 bytes from it).
int ProbeWaveSource(ByteSource& source, WaveFileInfo& info);

/// Walks the chunks of a header image (the first imageLength <= 256 bytes of a file).
/// Only the given bytes are read. Returns like ProbeWaveFile and sets ErrorText() on failure.
int ParseWaveHeader(WaveFileInfo& info, const uint8_t* image, size_t imageLength);

/// The reason of the last failed probe (UTF-8); empty before any failure. Thread-safe.
std::string ErrorText();

/// The text of one probe result code; empty for codes that are not failures.
const char* ProbeResultText(int code);

/// True for PCM (format tag 1) with 8 or 16 bits per sample; channels and rate are free.
bool IsSupportedFormat(const WaveFormat& format);

/// Size of the fresh header written before converted sample data.
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

/// Largest data byte count a fresh header can declare (its size fields read as signed).
constexpr uint32_t kFreshDataLimit = 0x7FFFFFFFu - 38u;

}  // namespace orva
