#pragma once
// Helpers shared by the encoder tests: a temporary folder, the key store pointing at a
// library, a small WAV builder, and pumping the owner thread's events.

#include "encoder/gogo_defs.h"
#include "encoder/gogo_tea.h"

#include <QCoreApplication>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace orva::test {

/// The build folder (where orva-cli and libgogo.so are): $ORVA_BUILD_DIR, else the folder
/// above this test program (tests run from <build>/tests).
inline std::string BuildDir()
{
    if (const char* value = std::getenv("ORVA_BUILD_DIR"); value && *value)
        return value;
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return ".";
    return std::filesystem::path(std::string(path, static_cast<std::size_t>(length)))
        .parent_path()
        .parent_path()
        .string();
}

/// A fresh folder under the system's temporary folder, removed at the end of the scope.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "orva-encoder-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

/// Points the per-user key store (XDG_CONFIG_HOME) at a folder of its own and writes
/// `libraryPath` as INSTPATH (nothing when empty).
inline void UseKeyStore(const TempDir& home, const std::string& libraryPath)
{
    setenv("XDG_CONFIG_HOME", home.Path().c_str(), 1);
    std::filesystem::remove(GogoKeyStorePath());
    if (!libraryPath.empty())
        WriteGogoInstallPath(GogoKeyStorePath(), libraryPath);
}

/// Runs the owner thread's events until `done` holds or `timeoutMs` passes; returns `done()`.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

/// Pumps events for a while (to see that nothing arrives).
inline void PumpFor(int milliseconds)
{
    PumpUntil([] { return false; }, milliseconds);
}

/// Writes a WAV file: `frames` sample frames of a 440 Hz tone at half scale (left) and
/// 660 Hz (right), any channel count; 8/16/24/32-bit PCM (formatTag 1) or 32/64-bit float
/// (formatTag 3).
inline void WriteWav(const std::string& path, int channels, int sampleRate, int bitsPerSample,
                     std::int64_t frames, int formatTag = 1)
{
    std::ofstream out(path, std::ios::binary);
    const auto put16 = [&out](std::uint16_t v) {
        out.put(static_cast<char>(v & 0xFF)).put(static_cast<char>(v >> 8));
    };
    const auto put32 = [&](std::uint32_t v) {
        put16(static_cast<std::uint16_t>(v & 0xFFFF));
        put16(static_cast<std::uint16_t>(v >> 16));
    };
    const int width = bitsPerSample / 8;
    const int blockAlign = channels * width;
    const auto dataSize = static_cast<std::uint32_t>(frames * blockAlign);
    out.write("RIFF", 4);
    put32(36 + dataSize);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(static_cast<std::uint16_t>(formatTag));
    put16(static_cast<std::uint16_t>(channels));
    put32(static_cast<std::uint32_t>(sampleRate));
    put32(static_cast<std::uint32_t>(sampleRate * blockAlign));
    put16(static_cast<std::uint16_t>(blockAlign));
    put16(static_cast<std::uint16_t>(bitsPerSample));
    out.write("data", 4);
    put32(dataSize);
    std::vector<char> block(static_cast<std::size_t>(blockAlign));
    for (std::int64_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double tone = (c % 2 == 0) ? 440.0 : 660.0;
            const double value = 0.5 * std::sin(2.0 * M_PI * tone * static_cast<double>(i) / sampleRate);
            char* sample = block.data() + c * width;
            if (formatTag == 3 && bitsPerSample == 32) {
                const auto f = static_cast<float>(value);
                std::memcpy(sample, &f, 4);
            } else if (formatTag == 3) {
                std::memcpy(sample, &value, 8);
            } else if (bitsPerSample == 8) {
                sample[0] = static_cast<char>(static_cast<int>(128 + value * 127.0));
            } else {
                const auto v = static_cast<std::int64_t>(value * (std::ldexp(1.0, bitsPerSample - 1) - 1));
                for (int k = 0; k < width; ++k)
                    sample[k] = static_cast<char>((static_cast<std::uint64_t>(v) >> (8 * k)) & 0xFF);
            }
        }
        out.write(block.data(), blockAlign);
    }
}

/// The bytes of a file (empty when it cannot be read).
inline std::vector<char> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

/// Everything a component reported, in the order it arrived on the owner thread.
struct EventLog {
    explicit EventLog(TGogoTea& tea)
    {
        QObject::connect(&tea, &TGogoTea::OnProgress, &tea, [this](TGogoTea*, int now, int all) {
            events.push_back("progress " + std::to_string(now) + " " + std::to_string(all));
        });
        QObject::connect(&tea, &TGogoTea::OnError, &tea,
                         [this](TGogoTea*, int code) { events.push_back("error " + std::to_string(code)); });
        QObject::connect(&tea, &TGogoTea::OnFinish, &tea, [this](TGogoTea*, bool aborted) {
            events.push_back(aborted ? "finish aborted" : "finish complete");
            ++finishes;
        });
    }
    std::vector<std::string> events;
    int finishes = 0;
};

}  // namespace orva::test
