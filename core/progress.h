#pragma once
// The small interfaces through which the audio core and the batch job report to the user.
// The desktop window adapts them (queued to the GUI thread, in the order made), orva-cli
// adapts them on the terminal, and tests record them. Texts are UTF-8.

#include <string>

namespace orva {

/// One label-and-bar row of the processing dialog; bar positions run from 0 to 1000.
/// Called on the batch worker thread.
class ProgressRow {
public:
    virtual ~ProgressRow() = default;
    virtual void SetLabel(const std::string& text) = 0;
    virtual void SetPosition(int position) = 0;
};

/// The "ORVA Process" message box (exclamation icon, one OK button). Blocks the calling
/// thread until the user has dismissed it; the answer is not used.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void ShowProcessMessage(const std::string& text) = 0;
    /// The same box with another title (the encoder's failure box is titled "ORVA").
    virtual void ShowTitledMessage(const std::string& title, const std::string& text) = 0;
};

/// A row that shows nothing (for callers that want no progress).
class NullProgressRow final : public ProgressRow {
public:
    void SetLabel(const std::string&) override {}
    void SetPosition(int) override {}
};

}  // namespace orva
