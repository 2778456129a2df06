#include "cli/terminal.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

namespace orva::cli {
namespace {
std::mutex g_lineMutex;
bool g_lineOpen = false;
}  // namespace

bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

void TerminalView::SetRowLabel(int, const std::string& text)
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

void TerminalView::ShowMessage(Box, const std::string&, const std::string& text)
{
    FinishProgressLine();
    std::fprintf(stderr, "%s\n", text.c_str());
}

bool TerminalView::AskYesNo(const std::string&, const std::string& text)
{
    FinishProgressLine();
    const auto terminated = [this] { return yesWithoutAsking != nullptr && yesWithoutAsking->load(); };
    if (terminated() || isatty(STDIN_FILENO) != 1)
        return true;
    std::fprintf(stderr, "%s [y/N] ", text.c_str());
    std::fflush(stderr);
    std::string answer;
    for (;;) {
        char c = 0;
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR) {
            if (terminated())
                return true;
            continue;  // another Ctrl-C while asking: the flag is set again, keep reading
        }
        if (got <= 0 || c == '\n')
            break;
        answer.push_back(c);
    }
    return answer == "y" || answer == "Y" || answer == "yes";
}

void TerminalView::CloseCancelled() { FinishProgressLine(); }

}  // namespace orva::cli
