#pragma once
// Terminal adapters of the reporting interfaces: messages go to stderr, and label texts
// show as a single progress line on stderr only when stderr is a terminal.

#include "core/progress.h"

namespace orva::cli {

/// A progress row that redraws one status line on a terminal and stays silent otherwise.
class TerminalProgressRow final : public ProgressRow {
public:
    void SetLabel(const std::string& text) override;
    void SetPosition(int) override {}
};

/// Message boxes printed to stderr, one line each.
class TerminalMessageBoxes final : public MessageBoxes {
public:
    void ShowProcessMessage(const std::string& text) override;
    void ShowTitledMessage(const std::string& title, const std::string& text) override;
};

/// Ends the progress line (if one was drawn) so that later output starts on a fresh line.
void FinishProgressLine();

/// True when stderr is a terminal.
bool StderrIsTerminal();

}  // namespace orva::cli
