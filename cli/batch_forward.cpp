// `orva-cli batch` runs in a program of its own, orva-cli-batch, installed beside orva-cli.
// The batch needs the Qt event loop for the encoder component; keeping Qt out of orva-cli
// itself keeps every other command (probe, peak, normalize...) quick to start, which
// matters for scripts that call it once per file.

#include "cli/batch_options.h"
#include "cli/command.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace orva::cli {
namespace {

std::string SiblingProgram(const char* name)
{
    std::vector<char> path(4096);
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (length <= 0)
        return name;
    std::string self(path.data(), static_cast<size_t>(length));
    const size_t slash = self.rfind('/');
    return slash == std::string::npos ? std::string(name) : self.substr(0, slash + 1) + name;
}

int ForwardBatch(const std::vector<std::string>& args)
{
    const std::string program = SiblingProgram("orva-cli-batch");
    std::vector<std::string> words { program, "batch" };
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    std::fflush(nullptr);
    ::execv(program.c_str(), argv.data());
    std::fprintf(stderr, "orva-cli: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
    return 1;
}

const CommandRegistration kBatchForward({ "batch", kBatchUsage, ForwardBatch, false });

}  // namespace
}  // namespace orva::cli
