// The real player over Qt Multimedia, and the font set-up the windows rely on.

#include "tests/ui/ui_test_support.h"
#include "ui/media_player.h"

#include <QAudioDevice>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(QtMediaPlayerTest, ShortFilePlaysToItsEndAndReportsIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string wav =
        uitest::WriteWav(dir.filePath(QStringLiteral("short.wav")).toStdString(), 22050, 2, 16,
                         22050 * 3 / 10);  // 0.3 s
    QtMediaPlayer player;
    QSignalSpy notified(&player, &MediaPlayer::Notify);
    QSignalSpy failed(&player, &MediaPlayer::Failed);
    EXPECT_EQ(player.GetMode(), MediaPlayer::Mode::NotReady);

    player.SetFileName(QString::fromStdString(wav));
    player.Open();
    player.SetNotify(true);
    player.Play();
    player.SetNotify(true);
    EXPECT_EQ(player.GetMode(), MediaPlayer::Mode::Playing);

    const bool ended = notified.wait(10000);
    if (!failed.isEmpty())
        GTEST_SKIP() << "no audio sink here (the player said: "
                     << failed.first().first().toString().toStdString() << "); real playback not tested";
    ASSERT_TRUE(ended) << "no completion within 10 s";
    EXPECT_EQ(player.GetMode(), MediaPlayer::Mode::Stopped);
    EXPECT_EQ(notified.count(), 1);
    if (QMediaDevices::audioOutputs().isEmpty())
        std::printf("note: no audio device; played through the backend's null sink\n");
}

TEST(QtMediaPlayerTest, OpenRefusesAMissingFileAndStopWithoutFileIsHarmless)
{
    QtMediaPlayer player;
    player.Stop();
    player.SetFileName(QStringLiteral("/nonexistent/folder/x.wav"));
    EXPECT_THROW(player.Open(), MediaPlayerError);
    EXPECT_EQ(player.GetMode(), MediaPlayer::Mode::NotReady);
}

TEST(QtMediaPlayerTest, UnplayableFileIsReportedAsAFailureAndEndsThePlayback)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("noise.wav"));
    uitest::WriteText(path.toStdString(), std::string(4096, '\x5a'));
    QtMediaPlayer player;
    QSignalSpy notified(&player, &MediaPlayer::Notify);
    QSignalSpy failed(&player, &MediaPlayer::Failed);
    player.SetFileName(path);
    player.Open();
    player.SetNotify(true);
    player.Play();
    ASSERT_TRUE(failed.wait(10000));
    EXPECT_TRUE(failed.first().first().toString().startsWith(
        QStringLiteral("このファイルは再生できません。\n") + path))
        << failed.first().first().toString().toStdString();
    EXPECT_NE(player.GetMode(), MediaPlayer::Mode::Playing);

    // The backend's further reports of the same failure make no further message.
    auto* backend = player.findChild<QMediaPlayer*>();
    ASSERT_NE(backend, nullptr);
    Q_EMIT backend->errorOccurred(QMediaPlayer::FormatError, QStringLiteral("Internal data stream error."));
    Q_EMIT backend->errorOccurred(QMediaPlayer::ResourceError, QString());
    EXPECT_EQ(failed.count(), 1);
    // A new file is a new failure.
    player.Open();
    Q_EMIT backend->errorOccurred(QMediaPlayer::FormatError, QString());
    ASSERT_EQ(failed.count(), 2);
    EXPECT_EQ(failed.last().first().toString(), QStringLiteral("このファイルは再生できません。\n") + path);
}

// The windows ask for Windows font names; the aliases loaded at start-up must give the IPA
// fonts, which hold the Japanese glyphs (without them the texts render as boxes).
TEST(FontAliasTest, WindowsJapaneseFontNamesResolveToFontsWithJapaneseGlyphs)
{
    struct Case {
        const char* requested;
        const char* expected;
    };
    for (const Case& c :
         { Case { "ＭＳ Ｐゴシック", "IPAPGothic" }, Case { "ＭＳ ゴシック", "IPAGothic" } }) {
        QFont font(QString::fromUtf8(c.requested));
        font.setPixelSize(12);
        EXPECT_EQ(QFontInfo(font).family().toStdString(), c.expected) << c.requested;
        const QFontMetrics metrics(font);
        for (const char32_t ch : { U'あ', U'ｵ', U'正', U'　' })
            EXPECT_TRUE(metrics.inFontUcs4(ch)) << c.requested << " lacks U+" << std::hex << unsigned(ch);
    }
}

}  // namespace

int main(int argc, char** argv) { return uitest::RunUiTests(argc, argv); }
