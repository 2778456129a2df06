#pragma once
// The terminal as the processing dialog: labels show as a single progress line on stderr
// only when stderr is a terminal, message boxes are lines on stderr, and the cancel question
// is asked on the terminal. The words are those of the desktop program's dialog.

#include "text/processing_words.h"

#include <atomic>

namespace orva::cli {

class TerminalView final : public DialogView {
public:
    void SetRowLabel(int row, const std::string& text) override;
    void SetRowPosition(int, int) override {}
    void SetCaption(const std::string&) override {}
    void SetOkEnabled(bool) override {}
    void SetCancelEnabled(bool) override {}
    void ShowMessage(Box box, const std::string& title, const std::string& text) override;
    /// Yes when stdin is not a terminal (nobody could answer) or `yesWithoutAsking` is set.
    bool AskYesNo(const std::string& title, const std::string& text) override;
    void CloseCancelled() override;

    /// When it points to true, the question is answered Yes at once (a termination request).
    const std::atomic<bool>* yesWithoutAsking = nullptr;
    /// False when another line (the batch's progress) takes the labels' place.
    bool drawsLabels = true;
};

/// A terminal view and the words of the events on it.
struct TerminalDialog {
    TerminalView view;
    DialogPresenter events { view };
};

/// Ends the progress line (if one was drawn) so that later output starts on a fresh line.
void FinishProgressLine();

/// True when stderr is a terminal.
bool StderrIsTerminal();

/// Text for the terminal with its control characters escaped ("\x1b", "\r", "\u009b"), so
/// that a file name cannot move the cursor or rewrite a line; line breaks stay when
/// `keepLineBreaks` (a message of several lines), else they are escaped too.
std::string Printable(const std::string& text, bool keepLineBreaks = false);

/// Draws the progress line: replaces the open line on stderr with `text` (a terminal only).
void DrawProgressLine(const std::string& text);

}  // namespace orva::cli
