#pragma once
// Helpers of the batch tests: a WAV builder, files and folders, and recording doubles of the
// job's events, the MP3 step and the notifier.

#include "batch/batch_job.h"
#include "batch/mp3_encoding.h"
#include "tests/core/recorders.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace orva::test {

using Bytes = std::vector<uint8_t>;

/// A canonical PCM WAV file (44-byte header) holding `data` as its sample bytes.
Bytes MakeWav(uint16_t channels, uint32_t sampleRate, uint16_t bitsPerSample, const Bytes& data,
              uint16_t formatTag = 1);
/// 16-bit sample bytes of `frames` frames whose largest magnitude is exactly `peak` (reached
/// once, as -peak, in the middle).
Bytes Ramp16(size_t frames, uint16_t channels, int peak);
/// Largest |sample| of a 16-bit WAV file's data; -1 when it does not probe.
int Peak16(const std::string& path);

void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);
bool Exists(const std::string& path);
/// Names in a folder, sorted.
std::vector<std::string> ListFolder(const std::string& folder);

/// A fresh folder below the system's temporary folder, removed with its contents.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return m_path; }  ///< ends with "/"
    std::string Sub(const std::string& name) const;     ///< creates it; ends with "/"

private:
    std::string m_path;
};

/// Records the job's events as data among the stage events and problems, one string per
/// event in order (entries count from 1): "job start", "pass", "entry process 1/3 a.wav"
/// ("entry scan", "entry common" for the common mode's passes), "entry end 1 done"
/// ("scanned", "left out", "later step failed"), "common peak 20000 b.wav", "batch 3 3 0"
/// (entries, normalized, failed), "job end", "ask yes|no", "close". Fails the test when the
/// batch's counts disagree with the entries' outcomes. No progress unless asked for.
class RecordingEvents final : public BatchEvents, public RecordingStages {
public:
    RecordingEvents() { recordProgress = false; }
    StageEvents& Stages() override { return *this; }
    ProblemReports& Problems() override { return *this; }
    void JobStarted() override { Record("job start"); }
    void PassStarted() override { Record("pass"); }
    void EntryStarted(EntryStep step, int index, int count, const std::string& name) override;
    void EntryFinished(int index, EntryOutcome outcome) override;
    void CommonPeakFound(const SamplePeak& peak, const std::string& name) override
    {
        Record("common peak " + PeakText(peak) + " " + name);
    }
    void BatchFinished(const BatchCounts& counts) override;
    void JobEnded() override { Record("job end"); }
    bool ConfirmCancel() override;
    void CloseCancelled() override { Record("close"); }

    std::deque<bool> answers;  ///< cancel answers; when empty: No

private:
    std::mutex m_mutex;
    int m_normalized = 0, m_failed = 0;  ///< as the outcomes so far count them
};

/// Records the MP3 step's calls ("gogo SRC DST", "external SRC DST") and writes a stand-in
/// file at the destination (or fails without one when `result` is -1).
class RecordingMp3 final : public Mp3Encoding {
public:
    int EncodeWithGogo(const std::string& source, const std::string& destination, const CancelPoint&) override
    {
        return Call("gogo ", source, destination);
    }
    int EncodeWithExternalEncoder(const std::string& source, const std::string& destination,
                                  const CancelPoint&) override
    {
        return Call("external ", source, destination);
    }
    std::vector<std::string> calls;
    std::function<void()> onCall;
    int result = 0;

private:
    int Call(const std::string& kind, const std::string& source, const std::string& destination);
};

/// Records the announcements: "file NAME", "all".
class RecordingNotifier final : public BatchNotifier {
public:
    void SendFileMessage(const std::string& fileName) override { calls.push_back("file " + fileName); }
    void SendAllMessage() override { calls.push_back("all"); }
    std::vector<std::string> calls;
};

}  // namespace orva::test
