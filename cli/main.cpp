// orva-cli: the command-line front end over the same engine as the desktop program.

#include "cli/command.h"
#include "cli/terminal.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace orva::cli {

std::vector<Command>& CommandTable()
{
    static std::vector<Command> table;
    return table;
}

void RegisterCommand(const Command& command) { CommandTable().push_back(command); }

const std::vector<Command>& Commands() { return CommandTable(); }

}  // namespace orva::cli

namespace {

void PrintHelp(std::FILE* out)
{
    std::fputs("ORVA command-line front end: peak-normalizes WAV files.\n\nUsage:\n", out);
    auto commands = orva::cli::Commands();
    std::sort(commands.begin(), commands.end(),
              [](const auto& a, const auto& b) { return std::strcmp(a.name, b.name) < 0; });
    for (const auto& command : commands)
        std::fprintf(out, "%s\n", command.usage);
    std::fputs("  orva-cli --help\n  orva-cli --version\n", out);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        PrintHelp(stderr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintHelp(stdout);
        return 0;
    }
    if (name == "--version") {
        std::printf("orva %s\n", ORVA_VERSION);
        return 0;
    }
    for (const auto& command : orva::cli::Commands()) {
        if (name == command.name) {
            const int code = command.run(std::vector<std::string>(argv + 2, argv + argc));
            orva::cli::FinishProgressLine();
            // A result that did not reach its reader (a full disk, `> /dev/full`) is a failure.
            errno = 0;
            if (command.resultOnStdout && (std::fflush(stdout) != 0 || std::ferror(stdout))) {
                std::fprintf(stderr, "orva-cli %s: cannot write the output: %s\n", command.name,
                             std::strerror(errno != 0 ? errno : EIO));
                return code == 0 ? 1 : code;
            }
            return code;
        }
    }
    std::fprintf(stderr, "orva-cli: unknown command '%s'\n\n", name.c_str());
    PrintHelp(stderr);
    return 2;
}
