#pragma once
// Test doubles of the reporting interfaces: they record every call in order.

#include "core/progress.h"

#include <string>
#include <vector>

namespace orva::test {

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
