#pragma once
// Helpers shared by the desktop program's tests: a small WAV writer, doubles for the desktop
// services and the media player, and the main() body that starts a headless QApplication.

#include "ui/media_player.h"
#include "ui/ui_services.h"

#include <QStringList>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace uitest {

/// Writes a canonical WAV file (44-byte header) of `frames` frames of a quiet square wave.
/// formatTag 3 writes 32-bit float samples. Returns the path.
std::string WriteWav(const std::string& path, uint32_t sampleRate, uint16_t channels, uint16_t bitsPerSample,
                     uint32_t frames, uint16_t formatTag = 1);

/// Writes a text file.
void WriteText(const std::string& path, const std::string& text);

/// Records every message box and opened address; answers choosers and questions from queues
/// filled by the test (an empty queue answers "cancelled" / No).
class RecordingServices final : public UiServices {
public:
    struct Message {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };

    void ShowMessage(QWidget* parent, const QString& title, const QString& text,
                     QMessageBox::Icon icon) override;
    bool AskYesNo(QWidget* parent, const QString& title, const QString& text) override;
    QString ChooseFolder(QWidget* parent, const QString& title, const QString& startDir) override;
    QStringList ChooseFiles(QWidget* parent, const QString& title, const QString& startDir,
                            const QString& filter) override;
    QString ChooseFile(QWidget* parent, const QString& title, const QString& startDir,
                       const QString& filter) override;
    /// Recorded like ChooseFile, with the filter "<program>".
    QString ChooseProgram(QWidget* parent, const QString& title, const QString& startPath) override;
    bool OpenUrl(const QUrl& url) override;

    std::vector<Message> messages;
    std::vector<QUrl> openedUrls;
    std::vector<QString> questions;         ///< texts of AskYesNo
    std::vector<QString> chooserStartDirs;  ///< start folders of every chooser shown
    std::vector<QString> fileFilters;       ///< filters of ChooseFiles/ChooseFile
    std::deque<bool> yesNoAnswers;
    std::deque<QString> folderAnswers;
    std::deque<QStringList> filesAnswers;
    std::deque<QString> fileAnswers;
};

/// A player double: records the commands it receives, in order, as words ("mode", "stop",
/// "open <path>", "play", "notify"), and finishes a playback when the test says so.
class FakePlayer final : public MediaPlayer {
    Q_OBJECT
public:
    void SetFileName(const QString& path) override { fileName = path; }
    void Open() override;
    void Play() override;
    Mode GetMode() const override;
    void Stop() override;
    void SetNotify(bool on) override;

    /// The file plays to its end: the mode becomes stopped and an armed notification fires.
    void FinishPlayback();

    QString fileName;
    mutable std::vector<std::string> commands;
    Mode mode = Mode::NotReady;
    bool notifyArmed = false;
    bool failOpen = false;  ///< the next Open throws MediaPlayerError
};

/// Sets QT_QPA_PLATFORM=offscreen (unless set), loads the font aliases, creates the
/// program's application object (OrvaApplication) and runs every test.
int RunUiTests(int argc, char** argv);

}  // namespace uitest
