// A recording stand-in for libgogo.so: exports the same entry points, answers as the test
// scripted and logs every call with its arguments. Built twice: complete, and with one entry
// point missing (FAKE_GOGO_INCOMPLETE) to check that the binding refuses such a library.

#include "tests/encoder/fake_gogo.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex mutex;
FakeGogoScript script;
std::string log;
std::string logCopy;
std::int32_t frameCalls = 0;
GogoMemoryInput memoryInput {};
std::string outputPath;

void Record(const std::string& line)
{
    std::lock_guard lock(mutex);
    log += line;
    log += '\n';
}

std::string Number(const void* pointer)
{
    return std::to_string(static_cast<long long>(reinterpret_cast<std::intptr_t>(pointer)));
}

}  // namespace

FAKE_EXPORT void FakeGogo_Reset(const FakeGogoScript* newScript)
{
    std::lock_guard lock(mutex);
    script = newScript ? *newScript : FakeGogoScript {};
    log.clear();
    frameCalls = 0;
    memoryInput = GogoMemoryInput {};
}

FAKE_EXPORT const char* FakeGogo_Log()
{
    std::lock_guard lock(mutex);
    logCopy = log;
    return logCopy.c_str();
}

FAKE_EXPORT std::int32_t FakeGogo_FrameCalls()
{
    std::lock_guard lock(mutex);
    return frameCalls;
}

FAKE_EXPORT GogoMemoryInput FakeGogo_MemoryInput()
{
    std::lock_guard lock(mutex);
    return memoryInput;
}

FAKE_EXPORT int32_t MPGE_initializeWork(void)
{
    Record("init");
    return script.initializeResult;
}

FAKE_EXPORT int32_t MPGE_setConfigure(int32_t item, int32_t value, void* pointer)
{
    std::string line = "set " + std::to_string(item) + " " + std::to_string(value);
    switch (item) {
    case GOGO_ITEM_INPUT:
        if (value == GOGO_INPUT_MEMORY) {
            const auto* record = static_cast<const GogoMemoryInput*>(pointer);
            {
                std::lock_guard lock(mutex);
                memoryInput = *record;
            }
            line += " memory " + std::to_string(record->size) + " " + std::to_string(record->bitsPerSample)
                + " " + std::to_string(record->samplesPerSec) + " " + std::to_string(record->channels)
                + (record->read ? " read" : " null");
        } else {
            line += " " + std::string(static_cast<const char*>(pointer));
        }
        break;
    case GOGO_ITEM_OUTPUT:
        line += " " + std::string(static_cast<const char*>(pointer));
        {
            std::lock_guard lock(mutex);
            outputPath = static_cast<const char*>(pointer);
        }
        break;
    case GOGO_ITEM_ID3_TAG:
    case GOGO_ITEM_RIFF_INFO:
        line += " " + std::string(static_cast<const char*>(pointer), static_cast<std::size_t>(value));
        break;
    case GOGO_ITEM_VBR_RANGE:
    case GOGO_ITEM_FILTER:
    case GOGO_ITEM_MS_SETTING:
        line += " " + Number(pointer);
        break;
    default:
        if (pointer)
            line += " pointer";
        break;
    }
    Record(line);
    return 0;
}

FAKE_EXPORT int32_t MPGE_getConfigure(int32_t item, void* cell)
{
    Record("get " + std::to_string(item));
    if (item == GOGO_QUERY_FRAMES)
        std::memcpy(cell, &script.frames, sizeof script.frames);
    return 0;
}

FAKE_EXPORT int32_t MPGE_detectConfigure(void)
{
    Record("detect");
    if (script.detectThrows)
        throw std::runtime_error("detect");
    return script.detectResult;
}

FAKE_EXPORT int32_t MPGE_processFrame(void)
{
    std::int32_t frame = 0;
    FakeGogoScript current;
    {
        std::lock_guard lock(mutex);
        frame = ++frameCalls;
        current = script;
        log += "frame\n";
    }
    if (current.frameDelayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(current.frameDelayMs));
    if (current.frameThrows)
        throw std::runtime_error("frame");
    if (current.errorAfter >= 0 && frame > current.errorAfter)
        return current.errorCode;
    if (frame < current.frames)
        return GOGO_OK;
    if (current.mp3Frames > 0) {
        std::string path;
        {
            std::lock_guard lock(mutex);
            path = outputPath;
        }
        if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
            unsigned char bytes[417] = { 0xFF, 0xFB, 0x90, 0x00 };
            for (std::int32_t i = 0; i < current.mp3Frames; ++i)
                std::fwrite(bytes, 1, sizeof bytes, out);
            std::fclose(out);
        }
    }
    return GOGO_DONE;
}

FAKE_EXPORT int32_t MPGE_closeCoder(void)
{
    Record("close");
    return 0;
}

FAKE_EXPORT int32_t MPGE_endCoder(void)
{
    Record("end");
    return 0;
}

FAKE_EXPORT int32_t MPGE_getUnitStates(uint32_t* unitBits)
{
    Record("units");
    *unitBits = script.unitBits;
    return script.unitResult;
}

#ifndef FAKE_GOGO_INCOMPLETE
FAKE_EXPORT int32_t MPGE_getVersion(uint32_t* versionCode, char* text)
{
    Record("version");
    *versionCode = script.versionCode;
    std::snprintf(text, GOGO_VERSION_TEXT_SIZE, "fake %u", script.versionCode);
    return script.versionResult;
}
#endif
