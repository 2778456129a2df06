#pragma once
// Scenes of the options, confirmation and progress dialogs for orva-screenshots: the three
// option pages, the confirmation dialog holding a summary, and a real batch over the list
// pictured while it runs and once it has finished (its OK then empties the list, so these
// come last). Run in a scratch current folder: the batch writes into ./out/.

#include "batch/start_command.h"
#include "encoder/gogo_tea.h"
#include "text/start_words.h"
#include "ui/confirm_dialog.h"
#include "ui/forms.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"
#include "ui/progress_dialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace dialogscenes {

/// Writes a 16-bit stereo 44.1 kHz WAV file of `seconds` seconds (a 220 Hz triangle wave),
/// long enough for the batch to be pictured while it works on it.
inline std::string WriteLongWav(const std::string& path, int seconds)
{
    const std::uint32_t frames = 44100u * std::uint32_t(seconds);
    const std::uint32_t dataSize = frames * 4;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    auto put = [&out](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.put(char((value >> (8 * i)) & 0xFF));
    };
    out.write("RIFF", 4);
    put(36 + dataSize, 4);
    out.write("WAVEfmt ", 8);
    put(16, 4);
    put(1, 2);
    put(2, 2);
    put(44100, 4);
    put(44100 * 4, 4);
    put(4, 2);
    put(16, 2);
    out.write("data", 4);
    put(dataSize, 4);
    std::vector<char> block(4 * 44100);
    for (int second = 0; second < seconds; ++second) {
        for (std::uint32_t frame = 0; frame < 44100; ++frame) {
            const int phase = int(frame % 200);
            const int sample = (phase < 100 ? phase : 200 - phase) * 240 - 12000;
            for (int channel = 0; channel < 2; ++channel) {
                block[4 * frame + 2 * channel] = char(sample & 0xFF);
                block[4 * frame + 2 * channel + 1] = char((sample >> 8) & 0xFF);
            }
        }
        out.write(block.data(), std::streamsize(block.size()));
    }
    return path;
}

/// Handles events until `done` says so or `limitMs` has passed.
template <typename Done> void ProcessUntil(Done done, int limitMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

/// Appends the dialogs' scenes. SceneT has the members name, show and close.
template <typename SceneT> void AddDialogScenes(std::vector<SceneT>& scenes, TForm1* form1)
{
    auto optionPage = [](int page) {
        return [page] {
            FormOption->show();
            // What a user switching MP3 encoding and SSTP on sees (stored only on OK).
            FormOption->CheckBox2->setChecked(true);
            FormOption->CheckBox4->setChecked(true);
            FormOption->PageControl1->setCurrentIndex(page);
            return static_cast<QWidget*>(FormOption);
        };
    };
    auto hide = [](QWidget* window) { window->hide(); };
    scenes.push_back({ "options_basic", optionPage(0), hide });
    scenes.push_back({ "options_mp3", optionPage(1), hide });
    scenes.push_back({ "options_sstp", optionPage(2), hide });

    scenes.push_back({ "confirm_dialog",
                       [form1] {
                           form1->KC1Click();
                           // A summary with every kind of line: MP3 through the encoder library,
                           // conversion, SSTP and the rename warning.
                           orva::Settings shown = form1->Settings;
                           shown.Mp3Bitrate = 128;
                           shown.EncoderKind = 0;
                           shown.OutputMode = 1;
                           shown.UsePsy = 1;
                           shown.SstpEnabled = 1;
                           shown.SourceFileAction = 1;
                           orva::GogoEncoderInfo gogo;
                           try {
                               gogo.VersionString = Form3->GogoTea1->VersionString();
                               gogo.DLLPath = Form3->GogoTea1->DLLPath();
                           } catch (const std::exception&) {
                               // The summary shows empty texts without the library.
                           }
                           const std::string out =
                               QDir::current().absoluteFilePath(QStringLiteral("out/")).toStdString();
                           OKRightDlg->ClearSummary();
                           for (const std::string& line :
                                orva::BuildSummaryLines(shown, form1->FileList().Count(), out, gogo))
                               OKRightDlg->AppendSummaryLine(QString::fromStdString(line));
                           OKRightDlg->show();
                           return static_cast<QWidget*>(OKRightDlg);
                       },
                       hide });

    scenes.push_back(
        { "progress_running",
          [form1] {
              QDir::current().mkpath(QStringLiteral("out"));
              form1->AddFileToList(WriteLongWav(
                  QDir::current().absoluteFilePath(QStringLiteral("long_take.wav")).toStdString(), 900));
              form1->OutputDirectory = QDir::current().absoluteFilePath(QStringLiteral("out/")).toStdString();
              Form3->show();  // starts the batch
              // Picture it while it normalizes the long file. The picture is taken
              // at once, before the batch moves on, and handed over as a still.
              ProcessUntil(
                  [] {
                      return Form3->Label1->text().contains(QStringLiteral("long_take"))
                          && Form3->ProgressBar3->value() > 200 && Form3->ProgressBar3->value() < 1000;
                  },
                  20000);
              auto* still = new QLabel;
              still->setPixmap(Form3->grab());
              still->resize(still->pixmap().size());
              return static_cast<QWidget*>(still);
          },
          [](QWidget* still) { delete still; } });
    scenes.push_back({ "progress_finished",
                       [] {
                           ProcessUntil([] { return Form3->Button1->isEnabled(); }, 60000);
                           return static_cast<QWidget*>(Form3);
                       },
                       [](QWidget*) { Form3->Button1->click(); } });
}

}  // namespace dialogscenes
