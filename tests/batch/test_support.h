#pragma once
// Helpers of the batch tests: a WAV builder, files and folders, and recording doubles of the
// processing dialog, the MP3 step and the notifier.

#include "batch/batch_job.h"
#include "batch/mp3_encoding.h"
#include "text/processing_words.h"

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

/// Records the job's events as the processing dialog words them, one string per change in
/// order: "row1.label TEXT", "row3.pos 0", "caption TEXT", "ok 1", "cancel 0",
/// "ask TITLE yes|no", "close", "message TEXT", "titled TITLE TEXT".
class RecordingDialog final : private DialogView, public DialogPresenter {
public:
    RecordingDialog() : DialogPresenter(static_cast<DialogView&>(*this)) {}

private:
    void SetRowLabel(int row, const std::string& text) override
    {
        Record("row" + std::to_string(row) + ".label " + text);
    }
    void SetRowPosition(int row, int position) override
    {
        Record("row" + std::to_string(row) + ".pos " + std::to_string(position));
    }
    void ShowMessage(Box box, const std::string& title, const std::string& text) override
    {
        Record(box == Box::Plain ? "titled " + title + " " + text : "message " + text);
    }
    void SetCaption(const std::string& text) override { Record("caption " + text); }
    void SetOkEnabled(bool enabled) override { Record(enabled ? "ok 1" : "ok 0"); }
    void SetCancelEnabled(bool enabled) override { Record(enabled ? "cancel 1" : "cancel 0"); }
    bool AskYesNo(const std::string& title, const std::string& text) override;
    void CloseCancelled() override { Record("close"); }

public:
    std::deque<bool> answers;                         ///< prompt answers; when empty: No
    std::vector<std::string> promptTexts;             ///< texts of the prompts shown
    std::function<void(const std::string&)> onEvent;  ///< runs after each event

    std::vector<std::string> Events() const;
    std::vector<std::string> EventsStartingWith(const std::string& prefix) const;
    void Record(const std::string& event);

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
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
