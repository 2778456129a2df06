#pragma once
// Helpers of the batch tests: a WAV builder, files and folders, and recording doubles of the
// processing dialog, the MP3 step and the notifier.

#include "batch/batch_job.h"
#include "batch/mp3_encoding.h"

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

/// Records every call as one event, in order: "row1.label TEXT", "row3.pos 0", "caption TEXT",
/// "ok 1", "cancel 0", "ask TITLE yes|no", "close", "message TEXT", "titled TITLE TEXT".
class RecordingDialog final : public ProcessingDialog, private MessageBoxes {
public:
    ProgressRow& Row1() override { return m_rows[0]; }
    ProgressRow& Row2() override { return m_rows[1]; }
    ProgressRow& Row3() override { return m_rows[2]; }
    MessageBoxes& Messages() override { return *this; }
    void SetCaption(const std::string& text) override { Record("caption " + text); }
    void SetOkEnabled(bool enabled) override { Record(enabled ? "ok 1" : "ok 0"); }
    void SetCancelEnabled(bool enabled) override { Record(enabled ? "cancel 1" : "cancel 0"); }
    bool AskYesNo(const std::string& title, const std::string& text) override;
    void CloseCancelled() override { Record("close"); }

    std::deque<bool> answers;                         ///< prompt answers; when empty: No
    std::vector<std::string> promptTexts;             ///< texts of the prompts shown
    std::function<void(const std::string&)> onEvent;  ///< runs after each event

    std::vector<std::string> Events() const;
    std::vector<std::string> EventsStartingWith(const std::string& prefix) const;
    void Record(const std::string& event);

private:
    void ShowProcessMessage(const std::string& text) override { Record("message " + text); }
    void ShowTitledMessage(const std::string& title, const std::string& text) override
    {
        Record("titled " + title + " " + text);
    }

    struct Row final : ProgressRow {
        Row(RecordingDialog* owner, const char* name) : owner(owner), name(name) {}
        void SetLabel(const std::string& text) override { owner->Record(name + ".label " + text); }
        void SetPosition(int position) override { owner->Record(name + ".pos " + std::to_string(position)); }
        RecordingDialog* owner;
        std::string name;
    };

    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
    Row m_rows[3] = { { this, "row1" }, { this, "row2" }, { this, "row3" } };
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
