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

std::string Printable(const std::string& text, bool keepLineBreaks)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        char escaped[8] = {};
        if (byte == '\n' && keepLineBreaks) {
            out += '\n';
        } else if (byte == '\n' || byte == '\r' || byte == '\t') {
            out += byte == '\n' ? "\\n" : byte == '\r' ? "\\r" : "\\t";
        } else if (byte < 0x20 || byte == 0x7f) {
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else if (byte == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80
                   && static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
            // U+0080..U+009F: the C1 controls, CSI (U+009B) among them.
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(text[++i]));
            out += escaped;
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

void DrawProgressLine(const std::string& text)
{
    if (!StderrIsTerminal())
        return;
    std::lock_guard lock(g_lineMutex);
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
    g_lineOpen = true;
}

void TerminalView::SetRowLabel(int, const std::string& text)
{
    if (drawsLabels)
        DrawProgressLine(Printable(text));
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
    std::fprintf(stderr, "%s\n", Printable(text, true).c_str());
}

bool TerminalView::AskYesNo(const std::string&, const std::string& text)
{
    FinishProgressLine();
    const auto terminated = [this] { return yesWithoutAsking != nullptr && yesWithoutAsking->load(); };
    if (terminated() || isatty(STDIN_FILENO) != 1)
        return true;
    std::fprintf(stderr, "%s [y/N] ", Printable(text, true).c_str());
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
