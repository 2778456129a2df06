#pragma once
// Control interface of the recording fake encoder library (libfakegogo.so): a test scripts
// its answers, then reads back every entry-point call as one text line each.

#include "gogo/gogo_api.h"

#include <cstdint>

extern "C" {

/// How the fake answers; FakeGogo_Reset restores these defaults.
struct FakeGogoScript {
    std::int32_t initializeResult = 0;
    std::int32_t detectResult = 0;
    bool detectThrows = false;
    std::int32_t versionResult = 0;
    std::uint32_t versionCode = 560;
    std::int32_t unitResult = 0;
    std::uint32_t unitBits = 0x2 | 0x4 | 0x8 | 0x20;
    std::int32_t frames = 10;      ///< frame calls until the output is complete
    std::int32_t errorAfter = -1;  ///< frames that succeed before errorCode is returned
    std::int32_t errorCode = 0;
    bool frameThrows = false;
    std::int32_t frameDelayMs = 0;  ///< time each frame call takes
    /// MP3 frames (128 kbps, 44.1 kHz) written to the output path when the output is complete
    std::int32_t mp3Frames = 0;
};

void FakeGogo_Reset(const FakeGogoScript* script);
/// Every call so far, one line each ("set 4 128", "frame", "close" ...), '\n'-separated.
const char* FakeGogo_Log();
/// Frame calls so far (thread-safe).
std::int32_t FakeGogo_FrameCalls();
/// The memory-input record last passed with item 1, value 2.
GogoMemoryInput FakeGogo_MemoryInput();
}
