#pragma once
// The length of an MP3 file as its MPEG audio frame headers state it, and whether that
// length covers the WAV file it was encoded from: the check that an encoder which stopped
// early (a read error it did not report) is not believed.

#include <cstdint>
#include <string>

namespace orva {

/// What the frame headers of an MP3 file say.
struct Mp3Length {
    bool readable = false;    ///< the file opened and was read to its end without error
    std::int64_t frames = 0;  ///< whole audio frames in a row (an Info/Xing frame included)
    int samplesPerFrame = 0;  ///< of the first frame: 384, 576 or 1152
    int sampleRate = 0;       ///< Hz, of the first frame
};

/// Walks the frames of the MP3 file at `path`: a leading ID3v2 tag is skipped; the walk
/// ends at the first bytes that are not a whole frame (a trailing tag, or the cut end).
Mp3Length MeasureMp3(const std::string& path);

/// The samples an encoder adds before the first input sample (at the MP3's rate).
inline constexpr int kMp3EncoderDelay = 576;

/// True when the MP3's frames hold the WAV's `waveFrames` sample frames at `waveRate` Hz,
/// converted to the MP3's rate, plus the encoder delay, short of it by two frames at most.
/// A WAV without samples is covered by anything.
bool Mp3CoversWave(const Mp3Length& mp3, std::uint64_t waveFrames, std::uint32_t waveRate);

}  // namespace orva
