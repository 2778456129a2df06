#include "cli/terminal.h"

#include <unistd.h>

#include <cstdio>
#include <mutex>

namespace orva::cli {
namespace {
std::mutex g_lineMutex;
bool g_lineOpen = false;
}  // namespace

bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

void TerminalProgressRow::SetLabel(const std::string& text)
{
    if (!StderrIsTerminal())
        return;
    std::lock_guard lock(g_lineMutex);
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
    g_lineOpen = true;
}

void FinishProgressLine()
{
    std::lock_guard lock(g_lineMutex);
    if (g_lineOpen) {
        std::fputs("\n", stderr);
        g_lineOpen = false;
    }
}

void TerminalMessageBoxes::ShowProcessMessage(const std::string& text)
{
    FinishProgressLine();
    std::fprintf(stderr, "%s\n", text.c_str());
}

void TerminalMessageBoxes::ShowTitledMessage(const std::string&, const std::string& text)
{
    ShowProcessMessage(text);
}

}  // namespace orva::cli
