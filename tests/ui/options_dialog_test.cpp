// The options dialog over a Settings record: loading, interlocks, storing on OK, the
// choosers and the 255-byte text limits. Choosers are answered by a recording double.

#include "settings/settings_store.h"
#include "tests/ui/ui_test_support.h"
#include "ui/language.h"
#include "ui/options_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>

namespace {

/// Types `text` into the focused widget as one key press (what a keyboard or an input
/// method commit delivers).
void Type(QWidget* widget, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
}

class OptionsDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        orva::IniFilePath = dir_.filePath(QStringLiteral("ORVA.INI")).toStdString();
    }

    /// Creates the dialog over `settings` (its FormCreate loads them).
    TFormOption& Create()
    {
        dialog_ = std::make_unique<TFormOption>(settings);
        dialog_->SetServices(&services);
        return *dialog_;
    }

    QTemporaryDir dir_;
    orva::Settings settings;
    uitest::RecordingServices services;
    std::unique_ptr<TFormOption> dialog_;
};

// A rate from the settings file selects its item when one matches; otherwise the list
// keeps "44100". Either way conversion forces the peak method and the source action to 0.
TEST_F(OptionsDialogTest, ResampleRateFromTheFileAndStoredOnOk)
{
    struct Case {
        int loaded;
        const char* shown;
        int stored;
    };
    for (const Case& c :
         { Case { 32000, "32000", 32000 }, Case { 8000, "44100", 44100 }, Case { 48000, "48000", 48000 } }) {
        settings = orva::Settings {};
        settings.ResampleRate = c.loaded;
        settings.PeakMode = 1;
        settings.SourceFileAction = 2;
        TFormOption& d = Create();
        EXPECT_TRUE(d.CheckBox1->isChecked()) << c.loaded;
        EXPECT_EQ(d.ComboBox1->currentText(), QString::fromUtf8(c.shown)) << c.loaded;
        EXPECT_TRUE(d.ComboBox1->isEnabled());
        EXPECT_FALSE(d.RadioGroup1->isEnabled());
        EXPECT_FALSE(d.RadioGroup2->isEnabled());
        // The disabled groups show what conversion applies: per-file peaks, sources left.
        EXPECT_EQ(d.RadioGroup1->ItemIndex(), 0);
        EXPECT_EQ(d.RadioGroup2->ItemIndex(), 0);

        d.Button1Click();
        EXPECT_EQ(settings.ResampleRate, c.stored) << c.loaded;
        EXPECT_EQ(settings.PeakMode, 0);
        EXPECT_EQ(settings.SourceFileAction, 0);
    }
}

TEST_F(OptionsDialogTest, ConversionClearedStoresTheGroupsChoices)
{
    settings.ResampleRate = 22050;
    TFormOption& d = Create();
    d.CheckBox1->click();
    EXPECT_TRUE(d.RadioGroup1->isEnabled());
    EXPECT_FALSE(d.ComboBox1->isEnabled());
    d.RadioGroup1->Item(1)->click();
    d.RadioGroup2->Item(1)->click();
    d.Button1Click();
    EXPECT_EQ(settings.ResampleRate, 0);
    EXPECT_EQ(settings.PeakMode, 1);
    EXPECT_EQ(settings.SourceFileAction, 1);
}

// The target group shows the stored mode, level and ceiling; the level stays within the
// mode's range, a change of mode starts from its usual level, and the ceiling only counts
// for loudness.
TEST_F(OptionsDialogTest, TargetLevelFollowsItsMode)
{
    settings.TargetMode = 2;
    settings.Target = -160;
    settings.Ceiling = -15;
    TFormOption& d = Create();
    EXPECT_EQ(d.ComboBox6->currentIndex(), 2);
    EXPECT_DOUBLE_EQ(d.SpinEdit1->value(), -16.0);
    EXPECT_DOUBLE_EQ(d.SpinEdit2->value(), -1.5);
    EXPECT_TRUE(d.SpinEdit2->isEnabled());

    d.SpinEdit1->setValue(-3.0);  // above the loudness range: held at -5.0 LUFS
    EXPECT_DOUBLE_EQ(d.SpinEdit1->value(), -5.0);
    d.ComboBox6->setCurrentIndex(1);
    EXPECT_DOUBLE_EQ(d.SpinEdit1->value(), -1.0);
    EXPECT_FALSE(d.SpinEdit2->isEnabled());
    d.SpinEdit1->setValue(0.5);  // no target above full scale
    EXPECT_DOUBLE_EQ(d.SpinEdit1->value(), 0.0);
    d.SpinEdit1->setValue(-2.3);
    d.Button1Click();
    EXPECT_EQ(settings.TargetMode, 1);
    EXPECT_EQ(settings.Target, -23);
    EXPECT_EQ(settings.Ceiling, -15);

    settings = orva::Settings {};  // the defaults show today's full-scale peak
    TFormOption& fresh = Create();
    EXPECT_EQ(fresh.ComboBox6->currentIndex(), 0);
    EXPECT_DOUBLE_EQ(fresh.SpinEdit1->value(), 0.0);
    fresh.Button1Click();
    EXPECT_EQ(settings.TargetMode, 0);
    EXPECT_EQ(settings.Target, 0);
    EXPECT_EQ(settings.Ceiling, -10);
}

TEST_F(OptionsDialogTest, OutOfRangeIndexesFromTheFileShowARealChoice)
{
    settings.PeakMode = 7;
    settings.SourceFileAction = -3;
    settings.Mp3Bitrate = 128;
    settings.OutputMode = 9;
    settings.EncoderKind = 5;
    TFormOption& d = Create();
    EXPECT_EQ(d.RadioGroup1->ItemIndex(), 1);
    EXPECT_EQ(d.RadioGroup2->ItemIndex(), 0);
    EXPECT_EQ(d.ComboBox3->currentIndex(), 1);
    EXPECT_EQ(d.ComboBox4->currentIndex(), 0);
    d.Button1Click();
    EXPECT_EQ(settings.PeakMode, 1);
    EXPECT_EQ(settings.SourceFileAction, 0);
    EXPECT_EQ(settings.OutputMode, 1);
    EXPECT_EQ(settings.EncoderKind, 0);
}

TEST_F(OptionsDialogTest, ForcedMonoWithGogoShowsInBothLists)
{
    settings.Mp3Bitrate = 192;
    settings.OutputMode = 3;
    settings.EncoderKind = 0;
    settings.UsePsy = 0;
    TFormOption& d = Create();
    EXPECT_TRUE(d.CheckBox2->isChecked());
    EXPECT_EQ(d.ComboBox2->currentText(), QStringLiteral("192"));
    EXPECT_EQ(d.ComboBox3->currentText(), QStringLiteral("強制モノラル"));
    EXPECT_EQ(d.ComboBox5->currentText(), QStringLiteral("ステレオ"));
    EXPECT_FALSE(d.ComboBox3->isHidden());
    EXPECT_TRUE(d.ComboBox5->isHidden());
    EXPECT_FALSE(d.CheckBox3->isChecked());
    EXPECT_TRUE(d.CheckBox3->isEnabled());
    EXPECT_FALSE(d.Button2->isEnabled());
}

TEST_F(OptionsDialogTest, ScmpxStoresItsOwnModeAndNoPsychoacousticModel)
{
    settings.Mp3Bitrate = 128;
    settings.OutputMode = 3;
    settings.UsePsy = 1;
    TFormOption& d = Create();
    ASSERT_TRUE(d.CheckBox3->isChecked());
    d.ComboBox4->setCurrentIndex(1);  // SCMPX
    EXPECT_TRUE(d.ComboBox3->isHidden());
    EXPECT_FALSE(d.ComboBox5->isHidden());
    EXPECT_FALSE(d.CheckBox3->isEnabled());
    EXPECT_TRUE(d.Button2->isEnabled());
    EXPECT_EQ(d.ComboBox3->currentText(), QStringLiteral("強制モノラル"));  // unchanged while hidden
    EXPECT_EQ(d.ComboBox5->currentText(), QStringLiteral("ステレオ"));

    d.Button1Click();
    EXPECT_EQ(settings.OutputMode, 0);
    EXPECT_EQ(settings.UsePsy, 0);
    EXPECT_EQ(settings.EncoderKind, 1);
    EXPECT_EQ(settings.Mp3Bitrate, 128);
}

TEST_F(OptionsDialogTest, Mp3OffClearsFourFieldsAndKeepsTheEncoderPath)
{
    settings.Mp3Bitrate = 320;
    settings.EncoderKind = 1;
    settings.OutputMode = 1;
    settings.UsePsy = 1;
    settings.EncoderPath = "/opt/scmpx/SCMPX.exe";
    TFormOption& d = Create();
    EXPECT_EQ(d.ComboBox5->currentText(), QStringLiteral("ジョイントステレオ"));
    EXPECT_TRUE(d.Button2->isEnabled());
    d.CheckBox2->click();
    for (QWidget* w : std::initializer_list<QWidget*> { d.ComboBox2, d.ComboBox3, d.ComboBox4, d.ComboBox5,
                                                        d.CheckBox3, d.Button2 })
        EXPECT_FALSE(w->isEnabled());
    d.Button1Click();
    EXPECT_EQ(settings.Mp3Bitrate, 0);
    EXPECT_EQ(settings.OutputMode, 0);
    EXPECT_EQ(settings.UsePsy, 0);
    EXPECT_EQ(settings.EncoderKind, 0);
    EXPECT_EQ(settings.EncoderPath, "/opt/scmpx/SCMPX.exe");
}

TEST_F(OptionsDialogTest, LastFolderModeKeepsTheFixedFolder)
{
    settings.OutputDirMode = 1;
    settings.FixedOutputDir = "/data/out";
    TFormOption& d = Create();
    EXPECT_TRUE(d.Edit1->isEnabled());
    EXPECT_TRUE(d.Button3->isEnabled());
    d.Edit1->setText(QStringLiteral("/somewhere/else"));
    d.RadioGroup3->Item(0)->click();
    EXPECT_FALSE(d.Edit1->isEnabled());
    EXPECT_FALSE(d.Button3->isEnabled());
    d.Button1Click();
    EXPECT_EQ(settings.OutputDirMode, 0);
    EXPECT_EQ(settings.FixedOutputDir, "/data/out");

    // Fixed again: the edited text is stored.
    d.RadioGroup3->Item(1)->click();
    d.Edit1->setText(QStringLiteral("/somewhere/else"));
    d.Button1Click();
    EXPECT_EQ(settings.OutputDirMode, 1);
    EXPECT_EQ(settings.FixedOutputDir, "/somewhere/else");
}

// Every showing shows the settings in effect: edits left by Esc are gone, a folder the start
// command remembered appears, and the next OK does not store the abandoned edits.
TEST_F(OptionsDialogTest, EveryShowingShowsTheStoredSettings)
{
    settings.SstpEnabled = 1;
    TFormOption& d = Create();
    d.show();
    d.Edit2->setText(QStringLiteral("edited"));
    d.CheckBox2->setChecked(true);
    d.CheckBox1->setChecked(true);
    d.RadioGroup3->Item(1)->click();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&d, &escape);
    ASSERT_FALSE(d.isVisible());

    settings.FixedOutputDir = "/remembered/by/start";
    d.show();
    EXPECT_EQ(d.Edit1->text(), QStringLiteral("/remembered/by/start"));
    EXPECT_FALSE(d.Edit1->isEnabled());
    EXPECT_EQ(d.Edit2->text(), QString::fromStdString(settings.SstpFileMessage));
    EXPECT_FALSE(d.CheckBox1->isChecked());
    EXPECT_FALSE(d.CheckBox2->isChecked());
    EXPECT_FALSE(d.ComboBox1->isEnabled());
    d.RadioGroup1->Item(1)->click();
    d.Button1Click();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(settings.PeakMode, 1);
    EXPECT_EQ(settings.Mp3Bitrate, 0);
    EXPECT_EQ(settings.ResampleRate, 0);
    EXPECT_EQ(settings.OutputDirMode, 0);
    EXPECT_EQ(settings.SstpFileMessage, orva::Settings {}.SstpFileMessage);
}

// With MP3 off every MP3 control is unusable, the psychoacoustic check box and the chooser
// included, whichever encoder the file names.
TEST_F(OptionsDialogTest, Mp3ControlsFollowTheMp3CheckBox)
{
    for (int kind : { 0, 1 }) {
        settings = orva::Settings {};
        settings.EncoderKind = kind;
        TFormOption& d = Create();
        EXPECT_FALSE(d.CheckBox2->isChecked());
        for (QWidget* w : std::initializer_list<QWidget*> { d.ComboBox2, d.ComboBox3, d.ComboBox4,
                                                            d.ComboBox5, d.CheckBox3, d.Button2 })
            EXPECT_FALSE(w->isEnabled()) << kind << " " << w->metaObject()->className();
        d.CheckBox2->click();
        EXPECT_TRUE(d.CheckBox3->isEnabled());
        EXPECT_FALSE(d.Button2->isEnabled());
    }
}

TEST_F(OptionsDialogTest, SstpCheckEnablesTheMessagesButNeverServerAndPort)
{
    settings.SstpServer = "mascot.local";
    settings.SstpPort = "11000";
    TFormOption& d = Create();
    d.CheckBox4->click();
    EXPECT_TRUE(d.Edit2->isEnabled());
    EXPECT_TRUE(d.Edit3->isEnabled());
    EXPECT_FALSE(d.Edit4->isEnabled());
    EXPECT_FALSE(d.Edit5->isEnabled());
    d.Edit3->setText(QStringLiteral("おわり"));
    d.Button1Click();
    EXPECT_EQ(settings.SstpEnabled, 1);
    EXPECT_EQ(settings.SstpAllMessage, "おわり");
    EXPECT_EQ(settings.SstpServer, "mascot.local");
    EXPECT_EQ(settings.SstpPort, "11000");
}

// Typing stops at 255 bytes of Shift-JIS: a double-byte character that would need the
// 256th byte is refused whole, a single-byte one still fits.
TEST_F(OptionsDialogTest, TypingStopsAtTheShiftJisByteLimit)
{
    settings.SstpEnabled = 1;
    TFormOption& d = Create();
    d.show();
    for (QLineEdit* edit : { d.Edit2, d.Edit1 }) {
        edit->setEnabled(true);
        edit->setFocus();
        edit->setText(QString(127, QChar(0x3042)));  // "あ" x 127 = 254 bytes
        edit->end(false);
        Type(edit, QStringLiteral("い"));
        EXPECT_EQ(edit->text().size(), 127);
        Type(edit, QStringLiteral("a"));
        EXPECT_EQ(edit->text().size(), 128);
        Type(edit, QStringLiteral("b"));
        EXPECT_EQ(edit->text().size(), 128);
    }
    // The port takes 16 characters.
    d.Edit5->setEnabled(true);
    d.Edit5->setText(QString(16, QLatin1Char('9')));
    d.Edit5->setFocus();
    d.Edit5->end(false);
    Type(d.Edit5, QStringLiteral("1"));
    EXPECT_EQ(d.Edit5->text().size(), 16);
}

TEST_F(OptionsDialogTest, EncoderChooserSetsThePathAtOnceAndRefusesWhatCannotRun)
{
    QTemporaryDir tools;
    auto program = [&tools](const char* name, bool runnable) {
        const QString path = tools.filePath(QString::fromLatin1(name));
        uitest::WriteText(path.toStdString(), "#!/bin/sh\n");
        if (runnable)
            QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
        return path;
    };
    const std::string encoder = program("scmpx-lame", true).toStdString();
    settings.Mp3Bitrate = 128;
    settings.EncoderKind = 1;
    settings.EncoderPath = encoder;
    TFormOption& d = Create();
    EXPECT_FALSE(d.Label7->text().contains(QStringLiteral(".exe")));

    d.Button2Click();  // cancelled
    ASSERT_EQ(services.chooserStartDirs.size(), 1u);
    EXPECT_EQ(services.chooserStartDirs[0], tools.path());  // the folder, no Windows name
    EXPECT_EQ(services.fileFilters[0], QStringLiteral("<program>"));
    EXPECT_EQ(settings.EncoderPath, encoder);

    struct Answer {
        QString chosen;
        bool taken;
        bool told;
    };
    const QString other = program("other-lame", true);
    for (const Answer& a :
         { Answer { other, true, false },
           Answer { program("notes.txt", false), false, true },             // not runnable
           Answer { tools.filePath(QStringLiteral("gone")), false, true },  // missing
           Answer { QStringLiteral("/") + QString(300, QLatin1Char('x')), false, false } }) {
        const std::string before = settings.EncoderPath;
        const std::size_t messages = services.messages.size();
        services.fileAnswers.push_back(a.chosen);
        d.Button2Click();
        EXPECT_EQ(settings.EncoderPath, a.taken ? a.chosen.toStdString() : before) << a.chosen.toStdString();
        EXPECT_EQ(services.messages.size(), messages + (a.told ? 1 : 0)) << a.chosen.toStdString();
    }
    EXPECT_TRUE(services.messages.back().text.startsWith(QStringLiteral("実行できないファイルです。")));

    // A missing encoder opens the chooser in the packaged tools folder (none beside a test).
    settings.EncoderPath = "/no/such/SCMPX.exe";
    d.Button2Click();
    EXPECT_EQ(services.chooserStartDirs.back(), QString());
}

// Within a session each target mode keeps its own level, MP3 and resampling switched off
// and on again bring back what was chosen, and resampling shows the options it forces.
TEST_F(OptionsDialogTest, ChoicesComeBackWithinTheSession)
{
    TFormOption& d = Create();
    struct Step {
        int mode;
        double set;       // NAN: leave the level alone
        double expected;  // the level shown after the step
    };
    for (const Step& s :
         { Step { 2, -14.0, -14.0 }, Step { 1, NAN, -1.0 }, Step { 2, NAN, -14.0 }, Step { 0, -3.0, -3.0 },
           Step { 1, -2.0, -2.0 }, Step { 0, NAN, -3.0 }, Step { 2, NAN, -14.0 } }) {
        d.ComboBox6->setCurrentIndex(s.mode);
        if (!std::isnan(s.set))
            d.SpinEdit1->setValue(s.set);
        EXPECT_DOUBLE_EQ(d.SpinEdit1->value(), s.expected) << s.mode;
    }

    // MP3 on with choices of its own, off, OK; the next showing switched on shows them again.
    d.CheckBox2->setChecked(true);
    d.ComboBox2->setCurrentIndex(6);  // 192
    d.ComboBox4->setCurrentIndex(1);  // SCMPX
    d.ComboBox5->setCurrentIndex(1);
    d.CheckBox1->setChecked(true);
    d.ComboBox1->setCurrentIndex(0);  // 22050
    d.CheckBox2->setChecked(false);
    d.CheckBox1->setChecked(false);
    d.Button1Click();
    EXPECT_EQ(settings.Mp3Bitrate, 0);
    EXPECT_EQ(settings.ResampleRate, 0);
    d.FormShow();
    d.CheckBox2->setChecked(true);
    d.CheckBox1->setChecked(true);
    EXPECT_EQ(d.ComboBox2->currentText(), QStringLiteral("192"));
    EXPECT_EQ(d.ComboBox4->currentIndex(), 1);
    EXPECT_EQ(d.ComboBox5->currentIndex(), 1);
    EXPECT_EQ(d.ComboBox1->currentText(), QStringLiteral("22050"));
    EXPECT_DOUBLE_EQ(d.SpinEdit1->value(), -14.0);  // the mode stored on OK, with its level

    // Resampling shows per-file peaks and untouched sources; off again, the user's choices.
    d.CheckBox1->setChecked(false);
    d.RadioGroup1->SetItemIndex(1);
    d.RadioGroup2->SetItemIndex(2);
    d.CheckBox1->setChecked(true);
    EXPECT_EQ(d.RadioGroup1->ItemIndex(), 0);
    EXPECT_EQ(d.RadioGroup2->ItemIndex(), 0);
    EXPECT_FALSE(d.RadioGroup1->isEnabled());
    d.CheckBox1->setChecked(false);
    EXPECT_EQ(d.RadioGroup1->ItemIndex(), 1);
    EXPECT_EQ(d.RadioGroup2->ItemIndex(), 2);
    EXPECT_EQ(d.CheckBox1->text(), QStringLiteral("サンプリングレート変換(&S)"));  // no "(ACM)"
}

TEST_F(OptionsDialogTest, AccessKeysReachEveryChoiceAndDifferOnEachPage)
{
    for (const orva::Language language : { orva::Language::Japanese, orva::Language::English }) {
        UseLanguage(language);
        TFormOption& d = Create();
        for (QWidget* page : { d.TabSheet1, d.TabSheet2, d.TabSheet3 }) {
            std::map<QChar, QString> keys;
            auto take = [&](const QString& text, bool needed) {
                const int amp = text.indexOf(QLatin1Char('&'));
                EXPECT_TRUE(!needed || (amp >= 0 && amp + 1 < text.size())) << text.toStdString();
                if (amp < 0 || amp + 1 >= text.size())
                    return;
                const QChar key = text.at(amp + 1).toUpper();
                EXPECT_TRUE(keys.emplace(key, text).second)
                    << text.toStdString() << " and " << keys[key].toStdString();
            };
            for (QAbstractButton* button : page->findChildren<QAbstractButton*>())
                take(button->text(), button != d.Button3);  // "・・・" sits beside its field
            for (QGroupBox* group : page->findChildren<QGroupBox*>())
                take(group->title(), false);
            for (QLabel* label : page->findChildren<QLabel*>())
                take(label->text(), label->buddy() != nullptr);
        }
    }
    UseLanguage(orva::Language::Japanese);
}

// The program chooser lists what can be run first (a Linux stand-in has no ".exe"), and
// every file on request.
TEST_F(OptionsDialogTest, ProgramChooserListsExecutablesFirst)
{
    const std::unique_ptr<QFileDialog> chooser =
        MakeProgramChooser(nullptr, QStringLiteral("開く"), dir_.path());
    ASSERT_GE(chooser->nameFilters().size(), 2);
    EXPECT_EQ(chooser->selectedNameFilter(), chooser->nameFilters().first());
    EXPECT_TRUE(chooser->filter() & QDir::Executable);
    EXPECT_TRUE(chooser->filter() & QDir::AllDirs);
    chooser->selectNameFilter(chooser->nameFilters().last());
    Q_EMIT chooser->filterSelected(chooser->nameFilters().last());
    EXPECT_FALSE(chooser->filter() & QDir::Executable);
}

TEST_F(OptionsDialogTest, FolderChooserFillsTheFieldOnly)
{
    settings.OutputDirMode = 1;
    settings.FixedOutputDir = "/start/here";
    TFormOption& d = Create();
    services.folderAnswers.push_back(QStringLiteral("/picked"));
    d.Button3Click();
    EXPECT_EQ(services.chooserStartDirs.at(0), QStringLiteral("/start/here"));
    EXPECT_EQ(d.Edit1->text(), QStringLiteral("/picked"));
    EXPECT_EQ(settings.FixedOutputDir, "/start/here");
    d.Button3Click();  // cancelled: nothing changes
    EXPECT_EQ(d.Edit1->text(), QStringLiteral("/picked"));
    d.Button1Click();
    EXPECT_EQ(settings.FixedOutputDir, "/picked");
}

}  // namespace

int main(int argc, char** argv) { return uitest::RunUiTests(argc, argv); }
