#pragma once
// The user's options, held in memory for the whole run and persisted in ORVA.INI.
// Text fields are UTF-8 here; the INI file holds them as Shift-JIS (CP932), at most
// 255 bytes each.

#include <string>

namespace orva {

/// Every option, in declaration order (the order `orva-cli settings` prints them).
struct Settings {
    std::string StartDirectory;  ///< current directory at start-up; not stored
    int PeakMode = 0;            ///< Mathod/CONVERT: 0 per file, 1 common peak
    int SourceFileAction = 0;    ///< Mathod/DELETE: 0 leave, 1 rename "_", 2 rename and delete
    int ResampleRate = 0;        ///< Mathod/SAMPLE: 0 off, else target rate in Hz
    int Mp3Bitrate = 0;          ///< ENCODE/RATE: 0 off, else kbps
    int EncoderKind = 0;         ///< ENCODE/ENCODER: 0 gogo library, 1 external SCMPX
    int OutputMode = 0;          ///< ENCODE/OUTMODE: index into the channel-mode list
    int UsePsy = 0;              ///< ENCODE/PSY: psychoacoustic model (gogo only)
    std::string EncoderPath;     ///< ENCODE/PATH: external encoder executable
    int OutputDirMode = 0;       ///< WDIR/STATE: 0 remember last folder, 1 fixed
    std::string FixedOutputDir;  ///< WDIR/PATH
    int SstpEnabled = 0;         ///< SSTP/STATE
    std::string SstpFileMessage = "「$S」の正規化が終了しました！";  ///< SSTP/ONE
    std::string SstpAllMessage = "すべての正規化が終了しました！";   ///< SSTP/ALL
    std::string SstpServer = "127.0.0.1";                            ///< SSTP/SERVER
    std::string SstpPort = "9801";                                   ///< SSTP/PORT, text; parsed where used
    int TargetMode = 0;  ///< Mathod/TARGETMODE: 0 sample peak, 1 true peak, 2 loudness
    int Target = 0;      ///< Mathod/TARGET: the level, tenths of a dBFS, dBTP or LUFS by mode
    int Ceiling = -10;   ///< Mathod/CEILING: true-peak ceiling of the loudness mode, tenths of a dBTP
};

/// The target level a mode starts from, tenths of a dB: 0.0 dBFS, -1.0 dBTP, -23.0 LUFS.
constexpr int DefaultTargetTenths(int targetMode)
{
    return targetMode == 1 ? -10 : targetMode == 2 ? -230 : 0;
}
/// The levels a mode accepts, tenths of a dB: peaks from -30.0 to 0.0, loudness from
/// -50.0 to -5.0 LUFS.
constexpr int MinTargetTenths(int targetMode) { return targetMode == 2 ? -500 : -300; }
constexpr int MaxTargetTenths(int targetMode) { return targetMode == 2 ? -50 : 0; }
constexpr int kMinCeilingTenths = -300;
constexpr int kMaxCeilingTenths = 0;
constexpr int kDefaultCeilingTenths = -10;

}  // namespace orva
