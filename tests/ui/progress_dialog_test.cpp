// Whole batches through the start command, the confirmation dialog and the progress dialog
// on real files: what the three rows show at the end, OK emptying the list, the cancel
// prompt answered No and Yes, and the worker's message boxes shown on the GUI thread over
// the progress dialog.

#include "tests/ui/dialog_test_support.h"

#include "encoder/gogo_defs.h"
#include "encoder/gogo_tea.h"
#include "ui/level_columns.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace {

using uitest::Autopilot;

class ProgressDialogTest : public uitest::FormsFixture {
protected:
    bool OutputExists(const std::string& name) const
    {
        return QFileInfo::exists(QString::fromStdString(Path("out/" + name)));
    }
};

TEST_F(ProgressDialogTest, PerFileBatchEndsWithTheLastEntryShown)
{
    AddWav("a.wav");
    AddWav("b.wav", 8, 1, 22050);
    services.recorder.folderAnswers = { QString::fromStdString(Path("out")) };
    Autopilot pilot;
    pilot.pressOkWhenFinished = false;
    // Looks at the finished dialog, then presses OK.
    QTimer inspector;
    bool inspected = false;
    QObject::connect(&inspector, &QTimer::timeout, Form3, [&] {
        if (!Form3->isVisible() || !Form3->Button1->isEnabled() || inspected)
            return;
        inspected = true;
        EXPECT_EQ(Form3->windowTitle(), QStringLiteral("完了しました"));
        EXPECT_EQ(Form3->Label1->text(), QStringLiteral("処理中ﾌｧｲﾙ(2/2):b.wav"));
        EXPECT_EQ(Form3->ProgressBar1->value(), 1000);
        // The peak row keeps its words; its level in dBFS is on the bar's tooltip.
        EXPECT_TRUE(Form3->ProgressBar2->toolTip().startsWith(QChar(0x2212)))
            << Form3->ProgressBar2->toolTip().toStdString();
        EXPECT_TRUE(Form3->ProgressBar2->toolTip().endsWith(QStringLiteral(" dBFS")));
        EXPECT_EQ(Form3->Label3->text(), QStringLiteral("正規化終了"));
        EXPECT_FALSE(Form3->Button2->isEnabled());
        EXPECT_FALSE(Form3->JobRunning());
        // Esc and the window's close request do not close the finished dialog.
        Form3->reject();
        Form3->close();
        EXPECT_TRUE(Form3->isVisible());
        Form3->Button1->click();
    });
    inspector.start(5);

    Form1->SpeedButton6Click();

    EXPECT_EQ(Form1->ConfirmAnswer, 1);
    EXPECT_EQ(pilot.progressShown, 1);
    EXPECT_TRUE(inspected);
    EXPECT_TRUE(OutputExists("a.wav"));
    EXPECT_TRUE(OutputExists("b.wav"));
    EXPECT_EQ(Form1->FileList().Count(), 0);
    EXPECT_FALSE(Form1->SpeedButton6->isEnabled());
    EXPECT_FALSE(Form1->ProGo->isEnabled());
    EXPECT_TRUE(services.recorder.messages.empty());
}

TEST_F(ProgressDialogTest, OutputsAreMeasuredWhenAskedAndShowTheirLevelsBeforeAndAfter)
{
    AddWav("a.wav");
    AddWav("b.wav");
    auto measured = [] { return QTest::qWaitFor([] { return !Form1->Measuring(); }, 20000); };
    Form1->Analyze1->trigger();
    ASSERT_TRUE(measured());
    services.recorder.folderAnswers = { QString::fromStdString(Path("out")) };
    OKRightDlg->CheckBox1->setChecked(true);
    Autopilot pilot;
    Form1->SpeedButton6Click();
    ASSERT_TRUE(measured());

    // The sources made room for their outputs, each showing "before → after".
    ASSERT_EQ(Form1->FileList().Count(), 2);
    QAbstractItemModel* view = Form1->ListView1->model();
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(Form1->FileList().Entries()[std::size_t(row)].Directory(), Path("out/"));
        EXPECT_EQ(view->index(row, SamplePeakColumn).data().toString(),
                  QStringLiteral("\u221212.25 \u2192 0.00"));
    }
    OKRightDlg->CheckBox1->setChecked(false);
}

TEST_F(ProgressDialogTest, CommonPeakNamesTheFirstLoudestFile)
{
    Form1->Settings.PeakMode = 1;
    AddWav("first.wav");
    AddWav("second.wav");
    services.recorder.folderAnswers = { QString::fromStdString(Path("out")) };
    Autopilot pilot;
    Form1->SpeedButton6Click();
    EXPECT_EQ(pilot.finishedCaption, QStringLiteral("完了しました"));
    EXPECT_EQ(Form3->Label2->text(), QStringLiteral("ﾋﾟｰｸ採取終了(8000 in first.wav)"));
    EXPECT_EQ(Form3->Label1->text(), QStringLiteral("処理中ﾌｧｲﾙ(2/2):second.wav"));
    EXPECT_TRUE(OutputExists("first.wav"));
    EXPECT_TRUE(OutputExists("second.wav"));
    EXPECT_EQ(Form1->FileList().Count(), 0);
}

// In-process MP3 encoding needs the GUI thread free while the worker waits: the encoder's
// progress moves the third bar on the way, and the MP3 file is written beside the output.
TEST_F(ProgressDialogTest, Mp3ThroughTheEncoderLibraryMovesTheThirdBar)
{
    const char* buildDir = std::getenv("ORVA_BUILD_DIR");
    const std::string library = buildDir != nullptr ? std::string(buildDir) + "/libgogo.so" : std::string();
    if (library.empty() || !QFileInfo::exists(QString::fromStdString(library)))
        GTEST_SKIP() << "libgogo.so is not built";

    // The encoder component finds the library through the per-user key store.
    DestroyForms();
    setenv("XDG_CONFIG_HOME", Path("config").c_str(), 1);
    ASSERT_TRUE(orva::WriteGogoInstallPath(orva::GogoKeyStorePath(), library));
    CreateForms();
    Form1->SetServices(&services);
    ASSERT_NO_THROW(Form3->GogoTea1->VersionString());

    const std::string song = Path("in/song.wav");
    uitest::WriteWav(song, 44100, 2, 16, 44100 * 5);
    Form1->AddFileToList(song);
    Form1->Settings.Mp3Bitrate = 128;
    Form1->Settings.EncoderKind = 0;
    Form1->Settings.OutputMode = 1;
    services.recorder.folderAnswers = { QString::fromStdString(Path("out")) };
    std::vector<int> bar3;
    QObject::connect(Form3->ProgressBar3, &QProgressBar::valueChanged, Form3,
                     [&bar3](int value) { bar3.push_back(value); });

    Autopilot pilot;
    Form1->SpeedButton6Click();

    EXPECT_EQ(pilot.finishedCaption, QStringLiteral("完了しました"));
    EXPECT_TRUE(services.recorder.messages.empty());
    EXPECT_TRUE(OutputExists("song.wav"));
    EXPECT_TRUE(OutputExists("song.MP3"));
    EXPECT_GT(QFileInfo(QString::fromStdString(Path("out/song.MP3"))).size(), 10000);
    EXPECT_EQ(Form3->Label3->text(), QStringLiteral("外部エンコーダ終了"));
    EXPECT_TRUE(std::any_of(bar3.begin(), bar3.end(), [](int v) { return v > 0 && v < 1000; }));
    EXPECT_EQ(bar3.back(), 1000);
    unsetenv("XDG_CONFIG_HOME");
}

/// A list whose first entry has vanished since it was added: its scan fails with a message
/// box from the worker. The test presses Cancel (here: Esc) while that box is open, so the
/// prompt comes at the next checkpoint, before the second entry is scanned.
class CancelTest : public ProgressDialogTest {
protected:
    void SetUp() override
    {
        ProgressDialogTest::SetUp();
        const std::string gone = AddWav("gone.wav");
        AddWav("a.wav");
        AddWav("b.wav");
        std::remove(gone.c_str());
        services.recorder.folderAnswers = { QString::fromStdString(Path("out")) };
        services.onMessage = [this](const QString&) {
            if (pressedCancel_)
                return;
            pressedCancel_ = true;
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(Form3, &escape);
            cancelFlagAfterPress_ = Form3->CancelRequested();
            stillVisibleAfterPress_ = Form3->isVisible();
        };
    }

    bool pressedCancel_ = false;
    int cancelFlagAfterPress_ = 0;
    bool stillVisibleAfterPress_ = false;
};

TEST_F(CancelTest, AnsweredNoTheBatchGoesOnAndOkKeepsOnlyTheFailedEntry)
{
    services.recorder.yesNoAnswers = { false };
    Autopilot pilot;
    Form1->SpeedButton6Click();

    EXPECT_TRUE(pressedCancel_);
    EXPECT_EQ(cancelFlagAfterPress_, 1);
    EXPECT_TRUE(stillVisibleAfterPress_);
    // The scan's message: on the GUI thread, over the progress dialog.
    ASSERT_EQ(services.recorder.messages.size(), 1u);
    EXPECT_TRUE(
        services.recorder.messages[0].text.startsWith(QStringLiteral("ﾌｧｲﾙを正常に読み込めません。")));
    EXPECT_EQ(services.recorder.messages[0].title, QStringLiteral("ORVA Process"));
    EXPECT_EQ(services.messageParents[0], Form3);
    EXPECT_TRUE(services.messagesOnGuiThread[0]);
    // One prompt, titled and worded as the cancel prompt, over the dialog.
    ASSERT_EQ(services.recorder.questions.size(), 1u);
    EXPECT_EQ(services.questionTitles[0], QStringLiteral("キャンセル"));
    EXPECT_EQ(services.recorder.questions[0],
              QStringLiteral("正規化は終了していません。キャンセルしますか？\n注：不正なファイルや作業ファイ"
                             "ルが残される場合があります。"));
    EXPECT_EQ(services.questionParents[0], Form3);

    // The caption counts the entry that failed, and OK leaves it in the list for a retry.
    EXPECT_EQ(pilot.finishedCaption, QStringLiteral("完了しました（失敗 1 件）"));
    EXPECT_EQ(Form3->CancelRequested(), 0);
    EXPECT_TRUE(OutputExists("a.wav"));
    EXPECT_TRUE(OutputExists("b.wav"));
    EXPECT_EQ(Form3->FailedCount(), 1);
    EXPECT_EQ(Form3->DoneEntries(), (std::set<int> { 1, 2 }));
    ASSERT_EQ(Form1->FileList().Count(), 1);
    EXPECT_EQ(Form1->FileList().Entries()[0].caption, "gone.wav");
    EXPECT_TRUE(Form1->SpeedButton6->isEnabled());
}

TEST_F(CancelTest, AnsweredYesTheDialogClosesAndTheListStays)
{
    services.recorder.yesNoAnswers = { true };
    Autopilot pilot;
    Form1->SpeedButton6Click();

    EXPECT_EQ(services.recorder.questions.size(), 1u);
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_TRUE(pilot.finishedCaption.isEmpty());  // OK never became usable
    EXPECT_FALSE(OutputExists("a.wav"));
    EXPECT_FALSE(OutputExists("b.wav"));
    EXPECT_EQ(Form1->FileList().Count(), 3);
    EXPECT_TRUE(Form1->SpeedButton6->isEnabled());

    // The start command runs again; the new batch starts with no cancel request.
    services.onMessage = nullptr;
    services.recorder.folderAnswers = { QString::fromStdString(Path("out")) };
    Form1->SpeedButton6Click();
    EXPECT_EQ(services.recorder.questions.size(), 1u);
    EXPECT_EQ(pilot.finishedCaption, QStringLiteral("完了しました（失敗 1 件）"));
    EXPECT_TRUE(OutputExists("a.wav"));
    EXPECT_TRUE(OutputExists("b.wav"));
    EXPECT_EQ(Form1->FileList().Count(), 1);
}

}  // namespace

int main(int argc, char** argv) { return uitest::RunUiTests(argc, argv); }
