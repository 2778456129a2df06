#pragma once
// The main window's hidden media player: the small set of operations playback relies on
// (set file name, open, play, mode, stop, notify on) with an asynchronous completion event.
// QtMediaPlayer drives Qt Multimedia; tests put a double in place (TForm1::SetPlayer).
// GUI thread only.

#include <QObject>
#include <QString>

#include <memory>
#include <stdexcept>
#include <string>

class QMediaPlayer;
class QAudioOutput;

/// Thrown by MediaPlayer::Open when the file cannot be opened; what() is the UTF-8 reason.
class MediaPlayerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class MediaPlayer : public QObject {
    Q_OBJECT
public:
    /// Player modes, numbered from 0 in this order.
    enum class Mode { NotReady, Stopped, Playing, Recording, Seeking, Paused, Open };

    using QObject::QObject;
    ~MediaPlayer() override = default;

    /// The file the next Open uses.
    virtual void SetFileName(const QString& path) = 0;
    /// Closes a device still open (ending its playback), then opens one for the file.
    /// Throws MediaPlayerError with the reason when the file cannot be opened.
    virtual void Open() = 0;
    /// Starts playing from the beginning without waiting; the end is reported by Notify
    /// when notification was turned on.
    virtual void Play() = 0;
    /// The current mode.
    virtual Mode GetMode() const = 0;
    /// Stops a playback; the device stays open.
    virtual void Stop() = 0;
    /// Asks that the next command report its end (finished, aborted, superseded) by Notify.
    virtual void SetNotify(bool on) = 0;

Q_SIGNALS:
    /// The command that notification was on for has ended. Queued to the GUI thread.
    void Notify();
    /// The opened file turned out unplayable after Open returned (no decoder for it, no
    /// output device); text is the reason. The player is stopped when this arrives.
    void Failed(const QString& text);
};

/// The message for a file the player cannot play: the program's own words and the path,
/// then the backend's detail (when it gave one) in brackets.
QString PlaybackFailureText(const QString& path, const QString& detail);

/// The real player over QMediaPlayer and the default audio output.
class QtMediaPlayer final : public MediaPlayer {
    Q_OBJECT
public:
    explicit QtMediaPlayer(QObject* parent = nullptr);
    ~QtMediaPlayer() override;

    void SetFileName(const QString& path) override;
    void Open() override;
    void Play() override;
    Mode GetMode() const override;
    void Stop() override;
    void SetNotify(bool on) override;

private:
    void CreatePlayer();
    void ReportEnd();

    QString fileName_;
    QString openFile_;                ///< the file of the device now open; empty when none
    bool notify_ = false;             ///< the next command reports its end
    bool playing_ = false;            ///< a play command is running (set by Play, cleared at its end)
    bool failureReported_ = false;    ///< Failed was emitted for the file now open
    QMediaPlayer* player_ = nullptr;  ///< owned as a QObject child; made by the first Open
    QAudioOutput* output_ = nullptr;  ///< owned as a QObject child
};
