#include "tests/ui/ui_test_support.h"

#include "ui/application.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

namespace uitest {

namespace {

void Put16(std::ofstream& out, uint32_t value)
{
    const char bytes[2] = { char(value & 0xFF), char((value >> 8) & 0xFF) };
    out.write(bytes, 2);
}

void Put32(std::ofstream& out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

}  // namespace

std::string WriteWav(const std::string& path, uint32_t sampleRate, uint16_t channels, uint16_t bitsPerSample,
                     uint32_t frames, uint16_t formatTag)
{
    const uint32_t bytesPerSample = bitsPerSample / 8;
    const uint32_t blockAlign = channels * bytesPerSample;
    const uint32_t dataSize = frames * blockAlign;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write("RIFF", 4);
    Put32(out, 36 + dataSize);
    out.write("WAVEfmt ", 8);
    Put32(out, 16);
    Put16(out, formatTag);
    Put16(out, channels);
    Put32(out, sampleRate);
    Put32(out, sampleRate * blockAlign);
    Put16(out, blockAlign);
    Put16(out, bitsPerSample);
    out.write("data", 4);
    Put32(out, dataSize);
    // A 441 Hz square wave at about a quarter of full scale.
    const uint32_t halfPeriod = std::max<uint32_t>(1, sampleRate / 882);
    for (uint32_t frame = 0; frame < frames; ++frame) {
        const bool high = (frame / halfPeriod) % 2 == 0;
        for (uint16_t channel = 0; channel < channels; ++channel) {
            if (formatTag == 3 && bitsPerSample == 32) {
                const float sample = high ? 0.25F : -0.25F;
                out.write(reinterpret_cast<const char*>(&sample), 4);
            } else if (bitsPerSample == 8) {
                out.put(char(high ? 160 : 96));
            } else {
                // Little-endian signed samples of any width: the top two bytes carry the value.
                const int32_t value = high ? 8000 : -8000;
                for (uint32_t b = 0; b + 2 < bytesPerSample; ++b)
                    out.put(0);
                Put16(out, uint32_t(value) & 0xFFFF);
            }
        }
    }
    return path;
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

void RecordingServices::ShowMessage(QWidget*, const QString& title, const QString& text,
                                    QMessageBox::Icon icon)
{
    messages.push_back({ title, text, icon });
}

bool RecordingServices::AskYesNo(QWidget*, const QString&, const QString& text)
{
    questions.push_back(text);
    if (yesNoAnswers.empty())
        return false;
    const bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
}

QString RecordingServices::ChooseFolder(QWidget*, const QString&, const QString& startDir)
{
    chooserStartDirs.push_back(startDir);
    if (folderAnswers.empty())
        return QString();
    QString answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
}

QStringList RecordingServices::ChooseFiles(QWidget*, const QString&, const QString& startDir,
                                           const QString& filter)
{
    chooserStartDirs.push_back(startDir);
    fileFilters.push_back(filter);
    if (filesAnswers.empty())
        return QStringList();
    QStringList answer = filesAnswers.front();
    filesAnswers.pop_front();
    return answer;
}

QString RecordingServices::ChooseFile(QWidget*, const QString&, const QString& startDir,
                                      const QString& filter)
{
    chooserStartDirs.push_back(startDir);
    fileFilters.push_back(filter);
    if (fileAnswers.empty())
        return QString();
    QString answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

QString RecordingServices::ChooseProgram(QWidget* parent, const QString& title, const QString& startPath)
{
    return ChooseFile(parent, title, startPath, QStringLiteral("<program>"));
}

bool RecordingServices::OpenUrl(const QUrl& url)
{
    openedUrls.push_back(url);
    return true;
}

void FakePlayer::Open()
{
    commands.push_back("open " + fileName.toStdString());
    if (failOpen) {
        failOpen = false;
        mode = Mode::NotReady;
        throw MediaPlayerError("cannot open " + fileName.toStdString());
    }
    mode = Mode::Stopped;
}

void FakePlayer::Play()
{
    commands.push_back("play");
    mode = Mode::Playing;
}

MediaPlayer::Mode FakePlayer::GetMode() const
{
    commands.push_back("mode");
    return mode;
}

void FakePlayer::Stop()
{
    commands.push_back("stop");
    mode = Mode::Stopped;
}

void FakePlayer::SetNotify(bool on)
{
    commands.push_back(on ? "notify" : "notify off");
    notifyArmed = on;
}

void FakePlayer::FinishPlayback()
{
    mode = Mode::Stopped;
    if (notifyArmed) {
        notifyArmed = false;
        Q_EMIT Notify();
    }
}

int RunUiTests(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    PrepareDesktop();
    OrvaApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

}  // namespace uitest
