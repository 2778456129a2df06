#include "batch/batch_job.h"

#include "notify/sstp.h"

namespace orva {
namespace {

/// Announces over SSTP with its own copy of the settings (the notifier decides whether
/// SSTP is enabled). Runs on the batch worker thread.
class SstpBatchNotifier final : public BatchNotifier {
public:
    explicit SstpBatchNotifier(const Settings& settings) : m_settings(settings) {}
    void SendFileMessage(const std::string& fileName) override { SendSstpFileMessage(m_settings, fileName); }
    void SendAllMessage() override { SendSstpAllMessage(m_settings); }

private:
    const Settings m_settings;
};

}  // namespace

std::unique_ptr<BatchNotifier> MakeSstpNotifier(const Settings& settings)
{
    return std::make_unique<SstpBatchNotifier>(settings);
}

}  // namespace orva
