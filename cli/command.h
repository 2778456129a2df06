#pragma once
// Sub-commands of orva-cli register themselves here; main() dispatches on the first word.

#include "core/sample_kernels.h"

#include <string>
#include <vector>

namespace orva::cli {

/// One sub-command: `orva-cli <name> args...`; returns the process exit code.
struct Command {
    const char* name;
    const char* usage;  ///< one or more lines for --help, each starting with "orva-cli <name>"
    int (*run)(const std::vector<std::string>& args);
    /// True when standard output carries the command's result: a write that failed makes
    /// the exit code 1 (a batch's summary is a courtesy and never fails the batch).
    bool resultOnStdout = true;
};

/// Adds a command to the table; used through a static CommandRegistration.
void RegisterCommand(const Command& command);
const std::vector<Command>& Commands();

/// Prints "usage: " and `usage` on stderr; returns the exit code of a misuse (2).
int Usage(const char* usage);
/// Removes every `flag` from args; true when there was one.
bool TakeFlag(std::vector<std::string>& args, const char* flag);
/// True when normalize's arguments ask for a target level (--mode, --target, --ceiling).
bool HasTargetOptions(const std::vector<std::string>& args);
/// Parses the --peak value in the terms of source's sample format (a decimal for float
/// files); prints why on failure.
bool ParsePeak(const std::string& text, const std::string& source, SamplePeak& peak);
/// orva-cli normalize with a target level; `usage` is printed on misuse.
int RunTargetNormalize(const std::vector<std::string>& args, const char* usage);

struct CommandRegistration {
    explicit CommandRegistration(const Command& command) { RegisterCommand(command); }
};

}  // namespace orva::cli
