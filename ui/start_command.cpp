// The start command of the main window: the checks and the summary of batch/start_command.h
// driven with the window's pieces (the player, message boxes, the folder chooser, the
// confirmation and progress dialogs). GUI thread only.

#include "batch/start_command.h"

#include "encoder/gogo_tea.h"
#include "settings/sjis.h"
#include "text/start_words.h"
#include "ui/confirm_dialog.h"
#include "ui/forms.h"
#include "ui/level_columns.h"
#include "ui/main_window.h"
#include "ui/progress_dialog.h"

#include <QAction>
#include <QCheckBox>
#include <QToolButton>

namespace {

constexpr const char* kProcessTitle = "ORVA Process";

bool FitsTextSetting(const std::string& text)
{
    return orva::ShiftJisLength(text) <= orva::kMaxShiftJisTextBytes;
}

/// The start command's view of the main window and its dialogs.
class WindowStartHost final : public orva::StartCommandHost {
public:
    explicit WindowStartHost(TForm1& form) : form_(form), lastFittingFolder_(form.Settings.FixedOutputDir) {}

    /// The last chosen folder that fits FixedOutputDir's 255 bytes, or the value it had.
    const std::string& LastFittingFolder() const { return lastFittingFolder_; }

    void StopPlayback() override { form_.SpeedButton3Click(); }

    void ReportFinding(orva::StartFinding finding, const std::string& path) override
    {
        form_.Services().ShowMessage(&form_, QString::fromLatin1(kProcessTitle),
                                     QString::fromStdString(orva::FindingText(finding, path)),
                                     QMessageBox::Warning);
    }

    orva::GogoEncoderInfo ReadGogoEncoderInfo() override
    {
        if (Form3 == nullptr || Form3->GogoTea1 == nullptr)
            throw orva::EGogoLibraryMissing();
        // VersionString throws when the encoder library is not loaded.
        orva::GogoEncoderInfo info;
        info.VersionString = Form3->GogoTea1->VersionString();
        info.DLLPath = Form3->GogoTea1->DLLPath();
        return info;
    }

    std::optional<std::string> ChooseFolder(const std::string& initialFolder) override
    {
        const QString chosen = form_.Services().ChooseFolder(
            &form_, TForm1::tr("正規化したファイルを保存するディレクトリを選択してください。"),
            QString::fromStdString(initialFolder));
        if (chosen.isEmpty())
            return std::nullopt;
        std::string path = chosen.toStdString();
        if (FitsTextSetting(path))
            lastFittingFolder_ = path;
        return path;
    }

    int ShowConfirmation(const orva::StartSummary& summary) override
    {
        OKRightDlg->ClearSummary();
        for (const std::string& line : orva::BuildSummaryLines(summary))
            OKRightDlg->AppendSummaryLine(QString::fromStdString(line));
        form_.ConfirmAnswer = 0;
        OKRightDlg->exec();
        return form_.ConfirmAnswer;
    }

    void RunBatch(const std::string& outputDirectory) override
    {
        form_.OutputDirectory = outputDirectory;
        // What the sources measured, while they are still listed: OK removes the done ones.
        const std::vector<orva::FileEntry> entries = form_.FileList().Entries();
        std::vector<std::optional<FileLevels>> before;
        for (const orva::FileEntry& entry : entries) {
            const FileLevels* levels = form_.LevelColumns().LevelsOf(entry.FullPath());
            before.push_back(levels != nullptr ? std::optional<FileLevels>(*levels) : std::nullopt);
        }
        if (Form3->exec() != QDialog::Accepted || !OKRightDlg->CheckBox1->isChecked())
            return;
        std::vector<std::pair<std::string, const FileLevels*>> outputs;
        for (const int index : Form3->DoneEntries()) {
            if (index >= 0 && std::size_t(index) < entries.size())
                outputs.emplace_back(outputDirectory + entries[std::size_t(index)].caption,
                                     before[std::size_t(index)] ? &*before[std::size_t(index)] : nullptr);
        }
        form_.MeasureOutputs(outputs);
    }

private:
    TForm1& form_;
    std::string lastFittingFolder_;
};

}  // namespace

void TForm1::SpeedButton6Click()
{
    // The batch may set sources aside: a measurement of them ends first.
    if (measurement_ != nullptr)
        measurement_->Cancel();
    WindowStartHost host(*this);
    orva::StartCommandFields fields;
    fields.OutputDirectory = OutputDirectory;
    fields.ConfirmAnswer = ConfirmAnswer;
    orva::RunStartCommand(FileList(), Settings, host, fields);
    OutputDirectory = fields.OutputDirectory;
    ConfirmAnswer = fields.ConfirmAnswer;
    // Linux folders may be longer than the 255 bytes the settings file keeps: such a folder
    // serves this batch, but the one remembered for the next is the last that fits whole.
    if (!FitsTextSetting(Settings.FixedOutputDir))
        Settings.FixedOutputDir = host.LastFittingFolder();
    UpdateCommandStates();
}

void TForm1::BrowseOutputFolder(std::string& destination)
{
    WindowStartHost host(*this);
    destination = orva::BrowseOutputFolder(Settings, host);
}
