#include "test_support.h"

#include "core/wave_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace orva::test {
namespace {

void Put(Bytes& out, uint32_t value, int byteCount)
{
    for (int i = 0; i < byteCount; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

Bytes MakeWav(uint16_t channels, uint32_t sampleRate, uint16_t bitsPerSample, const Bytes& data,
              uint16_t formatTag)
{
    const uint32_t blockAlign = channels * (bitsPerSample / 8u);
    Bytes out = { 'R', 'I', 'F', 'F' };
    Put(out, static_cast<uint32_t>(36 + data.size()), 4);
    out.insert(out.end(), { 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0 });
    Put(out, formatTag, 2);
    Put(out, channels, 2);
    Put(out, sampleRate, 4);
    Put(out, sampleRate * blockAlign, 4);
    Put(out, blockAlign, 2);
    Put(out, bitsPerSample, 2);
    out.insert(out.end(), { 'd', 'a', 't', 'a' });
    Put(out, static_cast<uint32_t>(data.size()), 4);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes Ramp16(size_t frames, uint16_t channels, int peak)
{
    const size_t count = frames * channels;
    Bytes out;
    for (size_t i = 0; i < count; ++i) {
        const long ramp = static_cast<long>((i % 200) * static_cast<size_t>(peak) / 200);  // below peak
        Put(out, static_cast<uint16_t>(i == count / 2 ? -peak : i % 2 ? -ramp : ramp), 2);
    }
    return out;
}

int Peak16(const std::string& path)
{
    WaveFileInfo info {};
    if (ProbeWaveFile(path, info) < 0)
        return -1;
    const Bytes bytes = ReadFile(path);
    const size_t end =
        std::min(bytes.size(), static_cast<size_t>(info.dataOffset) + static_cast<size_t>(info.dataSize));
    int peak = 0;
    for (size_t i = static_cast<size_t>(info.dataOffset); i + 1 < end; i += 2)
        peak =
            std::max(peak, std::abs(static_cast<int>(static_cast<int16_t>(bytes[i] | (bytes[i + 1] << 8)))));
    return peak;
}

void WriteFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}

std::vector<std::string> ListFolder(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(folder))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TempFolder::TempFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "orva-batch-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern + "/";
}

TempFolder::~TempFolder()
{
    std::error_code error;
    std::filesystem::remove_all(m_path, error);
}

std::string TempFolder::Sub(const std::string& name) const
{
    std::filesystem::create_directories(m_path + name);
    return m_path + name + "/";
}

void RecordingEvents::EntryStarted(EntryStep step, int index, int count, const std::string& name)
{
    const char* const steps[] = { "process", "scan", "common" };
    Record(std::string("entry ") + steps[static_cast<int>(step)] + " " + std::to_string(index + 1) + "/"
           + std::to_string(count) + " " + name);
}

void RecordingEvents::EntryFinished(int index, EntryOutcome outcome)
{
    const char* const outcomes[] = { "done", "scanned", "left out", "later step failed" };
    {
        std::lock_guard lock(m_mutex);
        m_normalized += outcome == EntryOutcome::Done || outcome == EntryOutcome::LaterStepFailed;
        m_failed += outcome == EntryOutcome::LeftOut || outcome == EntryOutcome::LaterStepFailed;
    }
    Record("entry end " + std::to_string(index + 1) + " " + outcomes[static_cast<int>(outcome)]);
}

void RecordingEvents::BatchFinished(const BatchCounts& counts)
{
    {
        std::lock_guard lock(m_mutex);
        EXPECT_EQ(counts.normalizedCount, m_normalized);
        EXPECT_EQ(counts.failedCount, m_failed);
    }
    Record("batch " + std::to_string(counts.entryCount) + " " + std::to_string(counts.normalizedCount) + " "
           + std::to_string(counts.failedCount));
}

bool RecordingEvents::ConfirmCancel()
{
    bool yes = false;
    {
        std::lock_guard lock(m_mutex);
        if (!answers.empty()) {
            yes = answers.front();
            answers.pop_front();
        }
    }
    Record(yes ? "ask yes" : "ask no");
    return yes;
}

int RecordingMp3::Call(const std::string& kind, const std::string& source, const std::string& destination)
{
    calls.push_back(kind + source + " " + destination);
    if (result == 0)
        WriteFile(destination, { 0xFF, 0xFB });
    if (onCall)
        onCall();
    return result;
}

}  // namespace orva::test
