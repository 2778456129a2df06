#pragma once
// The batch job's MP3 step: encodes one normalized WAV file in-process through the encoder
// component GogoTea1, or by starting the external encoder program named in the settings.
// Runs on the batch worker thread and blocks it until the encoding has ended.

#include "batch/mp3_encoding.h"

#include <atomic>
#include <string>
#include <vector>

namespace orva {

struct Settings;
class StageEvents;
class ProblemReports;
class TGogoTea;

/// The MP3 step; it reports the Encoding stage's start and end. All references must outlive it.
/// Each encoding writes to a hidden temporary file in the destination's folder and renames
/// it over the destination only when it is complete. A failure (a library error, a full
/// disk, an external encoder that exits with a status other than 0, is ended by a signal or
/// writes nothing, an MP3 whose frames fall short of the source's length) reports
/// Problem::EncodeFailed for the source and removes the temporary file.
class Mp3Step final : public Mp3Encoding {
public:
    /// `GogoTea1` lives on the owner (GUI or CLI main) thread, which must keep handling
    /// events while the step waits; while `CancelRequested` is not 0 the waits call the
    /// job's cancel point.
    Mp3Step(const Settings& settings, StageEvents& stages, ProblemReports& problems, TGogoTea& GogoTea1,
            const std::atomic<int>& CancelRequested);

    /// Configures GogoTea1 from the settings, starts it and waits for its finish. A
    /// confirmed cancel aborts the encoding. Returns 0 or -1 (see Mp3Encoding).
    int EncodeWithGogo(const std::string& source, const std::string& destination,
                       const CancelPoint& cancelPoint) override;
    /// Runs the external encoder without a shell, in a process group of its own with its
    /// input from /dev/null, and waits for it. A confirmed cancel ends the group (SIGTERM,
    /// SIGKILL after 2 s). Returns 0 or -1 (see Mp3Encoding).
    int EncodeWithExternalEncoder(const std::string& source, const std::string& destination,
                                  const CancelPoint& cancelPoint) override;

private:
    /// Hands a pending cancel request to the cancel point (see Mp3Encoding::CancelPoint).
    void CheckCancel(const CancelPoint& cancelPoint) const;
    bool RunGogo(const std::string& source, const std::string& temporary, const CancelPoint& cancelPoint);
    bool RunExternalEncoder(const std::string& source, const std::string& temporary,
                            const CancelPoint& cancelPoint);
    using Runner = bool (Mp3Step::*)(const std::string& source, const std::string& temporary,
                                     const CancelPoint& cancelPoint);
    /// Runs one encoder into a temporary file and publishes it when complete, or reports
    /// the failure; 0 or -1.
    int Encode(Runner run, const std::string& source, const std::string& destination,
               const CancelPoint& cancelPoint);

    const Settings& settings_;
    StageEvents& stages_;
    ProblemReports& problems_;
    TGogoTea& gogoTea_;
    const std::atomic<int>& cancelRequested_;
};

/// ProgressBar3's position for GogoTea1's OnProgress: nowFrames * 1000 / AllFrames,
/// 0 when AllFrames is 0 or less, kept within 0..1000.
int GogoTea1Progress(int nowFrames, int AllFrames);

/// The external encoder's argument vector: EncoderPath, "-e", "-l3", the bitrate option,
/// "-s" / "-j" / nothing for the output mode, the source and the destination.
std::vector<std::string> ExternalEncoderArguments(const Settings& settings, const std::string& source,
                                                  const std::string& destination);

}  // namespace orva
