#include "ui/media_player.h"

#include <QAudioOutput>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QUrl>

QString PlaybackFailureText(const QString& path, const QString& detail)
{
    QString text =
        QCoreApplication::translate("QtMediaPlayer", "このファイルは再生できません。\n%1").arg(path);
    // The backend's own words (English) follow as a detail for whoever can use them.
    if (!detail.isEmpty())
        text += QStringLiteral("\n\n(%1)").arg(detail);
    return text;
}

QtMediaPlayer::QtMediaPlayer(QObject* parent) : MediaPlayer(parent) {}

void QtMediaPlayer::CreatePlayer()
{
    // The multimedia backend starts with the first file played, not with the window.
    player_ = new QMediaPlayer(this);
    output_ = new QAudioOutput(this);
    player_->setAudioOutput(output_);
    // A running play command ends when the player stops: at the end of the file, by Stop,
    // or when Open closes its device.
    connect(player_, &QMediaPlayer::playbackStateChanged, this, [this](QMediaPlayer::PlaybackState state) {
        if (state == QMediaPlayer::StoppedState)
            ReportEnd();
    });
    // An unplayable file shows up only once the backend has tried it; the player may still
    // claim to be playing then, so stop it before reporting.
    // The backend may report one failure several times (one per pipeline element); the
    // user hears of it once per opened file.
    connect(player_, &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error error, const QString& text) {
                if (error == QMediaPlayer::NoError || failureReported_)
                    return;
                failureReported_ = true;
                player_->stop();
                ReportEnd();
                Q_EMIT Failed(PlaybackFailureText(openFile_, text));
            });
}

QtMediaPlayer::~QtMediaPlayer()
{
    if (player_ == nullptr)
        return;
    // Release the device quietly: nobody listens for the end any more.
    notify_ = false;
    player_->disconnect(this);
    player_->stop();
}

void QtMediaPlayer::SetFileName(const QString& path) { fileName_ = path; }

void QtMediaPlayer::Open()
{
    // Close the device of the previous file first; that ends its playback.
    if (!openFile_.isEmpty()) {
        player_->stop();
        player_->setSource(QUrl());
        openFile_.clear();
    }
    const QFileInfo info(fileName_);
    if (fileName_.isEmpty() || !info.exists())
        throw MediaPlayerError(tr("ファイルが見つかりません。\n%1").arg(fileName_).toStdString());
    if (!info.isFile() || !info.isReadable())
        throw MediaPlayerError(tr("ファイルを開けません。\n%1").arg(fileName_).toStdString());
    if (player_ == nullptr)
        CreatePlayer();
    failureReported_ = false;
    openFile_ = fileName_;
    player_->setSource(QUrl::fromLocalFile(info.absoluteFilePath()));
}

void QtMediaPlayer::Play()
{
    if (openFile_.isEmpty())
        return;
    player_->setPosition(0);
    playing_ = true;
    player_->play();
}

MediaPlayer::Mode QtMediaPlayer::GetMode() const
{
    if (openFile_.isEmpty() || player_ == nullptr)
        return Mode::NotReady;
    switch (player_->playbackState()) {
    case QMediaPlayer::PlayingState:
        return Mode::Playing;
    case QMediaPlayer::PausedState:
        return Mode::Paused;
    case QMediaPlayer::StoppedState:
        break;
    }
    return Mode::Stopped;
}

void QtMediaPlayer::Stop()
{
    if (player_ != nullptr)
        player_->stop();
}

void QtMediaPlayer::SetNotify(bool on) { notify_ = on; }

void QtMediaPlayer::ReportEnd()
{
    const bool wasPlaying = playing_;
    playing_ = false;
    if (!wasPlaying || !notify_)
        return;
    notify_ = false;
    // Like a window message: delivered after the command that ended it has returned.
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT Notify(); }, Qt::QueuedConnection);
}
