#pragma once
// Runs the orva-cli program under test for the end-to-end tests.

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

namespace orva::test {

// The program under test: in ORVA_BUILD_DIR, or beside the tests folder the tests run in.
inline std::string OrvaCliPath()
{
    const char* buildDir = std::getenv("ORVA_BUILD_DIR");
    return std::string(buildDir && *buildDir ? buildDir : "..") + "/orva-cli";
}

// Runs orva-cli with arguments for the shell; returns the exit code and stdout.
// `environment` goes before the program ("env LC_ALL=... ").
inline std::pair<int, std::string> OrvaCli(const std::string& args, const std::string& errFile = "/dev/null",
                                           const std::string& environment = "")
{
    FILE* pipe = ::popen((environment + OrvaCliPath() + " " + args + " 2>" + errFile).c_str(), "r");
    std::string out;
    char buffer[4096];
    for (size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    const int status = pipe ? ::pclose(pipe) : -1;
    return { WIFEXITED(status) ? WEXITSTATUS(status) : -1, out };
}

}  // namespace orva::test
