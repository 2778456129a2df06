#pragma once
// Test doubles of the reporting interfaces: they record every call in order.

#include "core/progress.h"
#include "core/sample_kernels.h"

#include <string>
#include <vector>

namespace orva::test {

/// An integer peak of an 8- or 16-bit file.
inline SamplePeak IntPeak(int bits, int64_t magnitude)
{
    SamplePeak peak;
    peak.format = bits == 8 ? SampleFormat::U8 : SampleFormat::S16;
    peak.magnitude = magnitude;
    return peak;
}

struct RecordingRow final : ProgressRow {
    void SetLabel(const std::string& text) override { labels.push_back(text); }
    void SetPosition(int position) override { positions.push_back(position); }
    std::vector<std::string> labels;
    std::vector<int> positions;
};

struct RecordingBoxes final : MessageBoxes {
    void ShowProcessMessage(const std::string& text) override { messages.push_back(text); }
    void ShowTitledMessage(const std::string& title, const std::string& text) override
    {
        messages.push_back(title + text);
    }
    std::vector<std::string> messages;
};

}  // namespace orva::test
