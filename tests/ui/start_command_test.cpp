// The start command from the main window: its refusals as message boxes, the output-folder
// chooser and its overlap loop, the summary in the confirmation dialog and the answer of
// that dialog. Message boxes and choosers are answered by a double.

#include "tests/ui/dialog_test_support.h"

#include "batch/start_command.h"
#include "text/start_words.h"
#include "ui/options_dialog.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

using uitest::Autopilot;
using uitest::Confirm;

class StartCommandTest : public uitest::FormsFixture {
protected:
    std::vector<QString> MessageTexts() const
    {
        std::vector<QString> texts;
        for (const auto& message : services.recorder.messages)
            texts.push_back(message.text);
        return texts;
    }
};

TEST_F(StartCommandTest, UnsupportedOnlyListIsEmptiedAndRefused)
{
    AddWav("adpcm.wav", 4, 2, 44100, 0x11);
    AddWav("adpcm2.wav", 4, 1, 44100, 0x11);
    ASSERT_EQ(Form1->FileList().Count(), 2);

    Autopilot pilot;
    Form1->SpeedButton6Click();

    EXPECT_EQ(Form1->FileList().Count(), 0);
    ASSERT_EQ(services.recorder.messages.size(), 1u);
    EXPECT_EQ(services.recorder.messages[0].title, QStringLiteral("ORVA Process"));
    EXPECT_EQ(services.recorder.messages[0].text, QStringLiteral("処理可能なファイルがありません。"));
    EXPECT_EQ(services.recorder.messages[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(services.recorder.chooserStartDirs.empty());
    // Playback was asked to stop first.
    EXPECT_FALSE(player_->commands.empty());
    EXPECT_FALSE(Form1->SpeedButton6->isEnabled());
}

// In the common-peak mode only the sample width must agree; with conversion on the mode is
// forced to per-file (and stays so), so no width test is made at all.
TEST_F(StartCommandTest, CommonPeakChecksOnlyTheSampleWidth)
{
    Form1->Settings.PeakMode = 1;
    AddWav("a16.wav", 16, 2, 44100);
    AddWav("b8.wav", 8, 2, 44100);
    Autopilot pilot;
    Form1->SpeedButton6Click();
    EXPECT_EQ(MessageTexts(),
              std::vector<QString> {
                  QString::fromStdString(orva::FindingText(orva::StartFinding::MixedBits, {})) });
    EXPECT_TRUE(services.recorder.chooserStartDirs.empty());

    Form1->FileList().Clear();
    services.recorder.messages.clear();
    AddWav("c16.wav", 16, 1, 22050);
    AddWav("d16.wav", 16, 2, 48000);
    Form1->SpeedButton6Click();  // accepted; the chooser is cancelled
    EXPECT_TRUE(services.recorder.messages.empty());
    EXPECT_EQ(services.recorder.chooserStartDirs.size(), 1u);
    ASSERT_EQ(services.folderTitles.size(), 1u);
    EXPECT_EQ(services.folderTitles[0],
              QStringLiteral("正規化したファイルを保存するディレクトリを選択してください。"));

    AddWav("e8.wav", 8, 2, 44100);
    Form1->Settings.ResampleRate = 44100;
    Form1->Settings.SourceFileAction = 2;
    Form1->SpeedButton6Click();
    EXPECT_TRUE(services.recorder.messages.empty());
    EXPECT_EQ(services.recorder.chooserStartDirs.size(), 2u);
    EXPECT_EQ(Form1->Settings.PeakMode, 0);
    EXPECT_EQ(Form1->Settings.SourceFileAction, 0);
    EXPECT_EQ(pilot.confirmationsShown, 0);
}

TEST_F(StartCommandTest, MissingExternalEncoderIsRefusedWithItsPath)
{
    AddWav("a.wav");
    Form1->Settings.Mp3Bitrate = 128;
    Form1->Settings.EncoderKind = 1;
    Autopilot pilot;
    for (const std::string& path : { std::string(), Path("no-such-SCMPX.exe"), Path("in") }) {
        services.recorder.messages.clear();
        Form1->Settings.EncoderPath = path;
        Form1->SpeedButton6Click();
        EXPECT_EQ(MessageTexts(),
                  std::vector<QString> {
                      QString::fromStdString("外部エンコーダが見つかりません。\n [" + path + "]") });
    }
    EXPECT_TRUE(services.recorder.chooserStartDirs.empty());

    // With MP3 off the encoder is not looked at.
    Form1->Settings.Mp3Bitrate = 0;
    services.recorder.messages.clear();
    Form1->SpeedButton6Click();
    EXPECT_TRUE(services.recorder.messages.empty());
    EXPECT_EQ(services.recorder.chooserStartDirs.size(), 1u);
}

// Sources left in place may not be overwritten: the chooser reopens after each overlap;
// cancelling it ends the command silently, and the last folder chosen is remembered.
TEST_F(StartCommandTest, OverlapTwiceThenCancel)
{
    AddWav("a.wav");
    Form1->Settings.OutputDirMode = 0;
    Form1->Settings.FixedOutputDir = Path("out");
    const QString source = QString::fromStdString(Path("in"));
    services.recorder.folderAnswers = { source, source };

    Autopilot pilot;
    Form1->SpeedButton6Click();

    const QString overlap = QStringLiteral("変換前と変換後のﾃﾞｨﾚｸﾄﾘが重なっています。");
    EXPECT_EQ(MessageTexts(), (std::vector<QString> { overlap, overlap }));
    EXPECT_EQ(services.recorder.chooserStartDirs,
              (std::vector<QString> { QString::fromStdString(Path("out")), source, source }));
    EXPECT_EQ(Form1->Settings.FixedOutputDir, Path("in"));
    EXPECT_EQ(pilot.confirmationsShown, 0);
    EXPECT_EQ(Form1->FileList().Count(), 1);
}

// Cancel, Esc and the close box end the command without a batch; the summary stays in the
// dialog. Only Cancel and Esc record -1; the close box leaves 0.
TEST_F(StartCommandTest, ConfirmationDeclinedStartsNoBatch)
{
    AddWav("a.wav");
    AddWav("b.wav");
    struct Case {
        Confirm how;
        int answer;
    };
    for (const Case& c : { Case { Confirm::CancelButton, -1 }, Case { Confirm::EscapeKey, -1 },
                           Case { Confirm::CloseBox, 0 } }) {
        services.recorder.folderAnswers = { QString::fromStdString(Path("out")) };
        Form1->ConfirmAnswer = 99;
        Autopilot pilot;
        pilot.confirm = c.how;
        Form1->SpeedButton6Click();
        EXPECT_EQ(pilot.confirmationsShown, 1);
        EXPECT_EQ(pilot.progressShown, 0);
        EXPECT_EQ(Form1->ConfirmAnswer, c.answer);
        EXPECT_EQ(Form1->FileList().Count(), 2);
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(Path("out/a.wav"))));
    }
    const QStringList lines = OKRightDlg->RichEdit1->toPlainText().split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 6);
    EXPECT_EQ(lines[0], QString(41, QLatin1Char('-')));
    EXPECT_EQ(lines[1], QStringLiteral("         ORVA 変換オプション"));
    EXPECT_EQ(lines[3], QStringLiteral("変換するファイル数： 2 個"));
    EXPECT_EQ(lines[4], QStringLiteral("保存先ディレクトリ：") + QString::fromStdString(Path("out") + "/"));
    EXPECT_EQ(lines.last(), QString());
    EXPECT_TRUE(OKRightDlg->RichEdit1->isReadOnly());
    EXPECT_EQ(OKRightDlg->RichEdit1->palette().color(QPalette::Text), QColor(Qt::black));
}

// The confirmation and options dialogs write their places at every close and read them
// once, at creation.
TEST_F(StartCommandTest, DialogPositionsPersistAcrossShowingsAndRuns)
{
    OKRightDlg->show();
    OKRightDlg->move(77, 66);
    OKRightDlg->CancelBtnClick();
    OKRightDlg->show();
    EXPECT_EQ(OKRightDlg->pos(), QPoint(77, 66));
    OKRightDlg->close();
    FormOption->show();
    FormOption->move(55, 44);
    FormOption->Button1Click();

    QFile ini(QString::fromStdString(orva::IniFilePath));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    for (const char* line : { "Form5Top=66", "Form5Left=77", "Form4Top=44", "Form4Left=55" })
        EXPECT_TRUE(text.contains(line)) << line << "\n" << text.toStdString();
    // A size is stored only once the user has chosen one.
    EXPECT_FALSE(text.contains("Form5Width")) << text.toStdString();

    DestroyForms();
    CreateForms();
    Form1->SetServices(&services);
    EXPECT_EQ(OKRightDlg->pos(), QPoint(77, 66));
    EXPECT_EQ(FormOption->pos(), QPoint(55, 44));
}

/// Writes a summary of `count` lines into the confirmation dialog, one of them long.
void FillSummary(int count)
{
    OKRightDlg->ClearSummary();
    for (int line = 0; line < count; ++line)
        OKRightDlg->AppendSummaryLine(line == 3
                                          ? QStringLiteral("　実行ファイル：") + QString(70, QLatin1Char('x'))
                                          : QStringLiteral("ﾋﾟｰｸ採取 %1").arg(line));
}

bool ScrollsNeeded()
{
    QApplication::processEvents();
    return OKRightDlg->RichEdit1->verticalScrollBar()->maximum() > 0
        || OKRightDlg->RichEdit1->horizontalScrollBar()->maximum() > 0;
}

// The dialog opens large enough for the whole summary; a size the user chooses is kept,
// across runs too, but never below what a summary needs.
TEST_F(StartCommandTest, ConfirmationShowsTheWholeSummaryAndKeepsAChosenSize)
{
    FillSummary(24);
    OKRightDlg->show();
    EXPECT_FALSE(ScrollsNeeded());
    EXPECT_EQ(OKRightDlg->size(), OKRightDlg->minimumSize());
    const QSize chosen = OKRightDlg->size() + QSize(60, 40);
    OKRightDlg->resize(chosen);
    OKRightDlg->CancelBtnClick();

    DestroyForms();
    CreateForms();
    Form1->SetServices(&services);
    FillSummary(5);
    OKRightDlg->show();
    EXPECT_EQ(OKRightDlg->size(), chosen);
    OKRightDlg->close();

    FillSummary(34);
    OKRightDlg->show();
    EXPECT_FALSE(ScrollsNeeded());
    EXPECT_GT(OKRightDlg->height(), chosen.height());
    OKRightDlg->CancelBtnClick();

    // The longer summary's size did not replace the one the user chose.
    FillSummary(5);
    OKRightDlg->show();
    EXPECT_EQ(OKRightDlg->size(), chosen);
    OKRightDlg->close();
    QFile ini(QString::fromStdString(orva::IniFilePath));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    EXPECT_TRUE(text.contains("Form5Width=" + QByteArray::number(chosen.width()))) << text.toStdString();
    EXPECT_TRUE(text.contains("Form5Height=" + QByteArray::number(chosen.height()))) << text.toStdString();
}

}  // namespace

int main(int argc, char** argv) { return uitest::RunUiTests(argc, argv); }
