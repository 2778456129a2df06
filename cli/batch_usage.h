#pragma once
// The usage text of `orva-cli batch`, shared by orva-cli (which forwards the command) and
// orva-cli-batch (which runs it).

namespace orva::cli {

constexpr const char* kBatchUsage =
    "  orva-cli batch [--settings FILE] --output DIR FILE...\n"
    "                                          normalize WAV files as the settings say\n"
    "                                          (exit 0 all done, 1 some failed, 2 refused, 3 cancelled)";

}  // namespace orva::cli
