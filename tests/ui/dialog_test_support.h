#pragma once
// Shared pieces of the start-command and progress-dialog tests: the five windows over a
// temporary settings file, with every message box and chooser answered by a double, and an
// autopilot that answers the confirmation dialog and finishes the progress dialog while the
// start command runs its modal loops.

#include "batch/file_list.h"
#include "settings/settings_store.h"
#include "tests/ui/ui_test_support.h"
#include "ui/confirm_dialog.h"
#include "ui/forms.h"
#include "ui/main_window.h"
#include "ui/progress_dialog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace uitest {

/// Records like RecordingServices and lets a test act inside a message box (on the GUI
/// thread, while the batch worker waits for the box to be dismissed).
class HookedServices final : public UiServices {
public:
    void ShowMessage(QWidget* parent, const QString& title, const QString& text,
                     QMessageBox::Icon icon) override
    {
        messageParents.push_back(parent);
        messagesOnGuiThread.push_back(QThread::currentThread() == qApp->thread());
        recorder.ShowMessage(parent, title, text, icon);
        if (onMessage)
            onMessage(text);
    }
    bool AskYesNo(QWidget* parent, const QString& title, const QString& text) override
    {
        questionTitles.push_back(title);
        questionParents.push_back(parent);
        return recorder.AskYesNo(parent, title, text);
    }
    QString ChooseFolder(QWidget* parent, const QString& title, const QString& startDir) override
    {
        folderTitles.push_back(title);
        return recorder.ChooseFolder(parent, title, startDir);
    }
    QStringList ChooseFiles(QWidget* parent, const QString& title, const QString& startDir,
                            const QString& filter) override
    {
        return recorder.ChooseFiles(parent, title, startDir, filter);
    }
    QString ChooseFile(QWidget* parent, const QString& title, const QString& startDir,
                       const QString& filter) override
    {
        return recorder.ChooseFile(parent, title, startDir, filter);
    }
    QString ChooseProgram(QWidget* parent, const QString& title, const QString& startPath) override
    {
        return recorder.ChooseProgram(parent, title, startPath);
    }
    bool OpenUrl(const QUrl& url) override { return recorder.OpenUrl(url); }

    RecordingServices recorder;
    std::function<void(const QString& text)> onMessage;
    std::vector<QWidget*> messageParents;
    std::vector<bool> messagesOnGuiThread;
    std::vector<QString> questionTitles;
    std::vector<QWidget*> questionParents;
    std::vector<QString> folderTitles;
};

/// How the autopilot answers the confirmation dialog.
enum class Confirm { OkButton, CancelButton, EscapeKey, CloseBox };

/// Answers the confirmation dialog and presses the progress dialog's OK once it is enabled,
/// polling every few milliseconds inside the modal loops. Gives up after 30 s.
class Autopilot {
public:
    Autopilot()
    {
        clock_.start();
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { Tick(); });
        timer_.start();
    }

    Confirm confirm = Confirm::OkButton;
    bool pressOkWhenFinished = true;
    int confirmationsShown = 0;
    int progressShown = 0;
    bool timedOut = false;
    /// The progress dialog's state when OK became enabled.
    QString finishedCaption;

private:
    void Tick()
    {
        if (OKRightDlg->isVisible()) {
            ++confirmationsShown;
            switch (confirm) {
            case Confirm::OkButton:
                OKRightDlg->OKBtn->click();
                break;
            case Confirm::CancelButton:
                OKRightDlg->CancelBtn->click();
                break;
            case Confirm::EscapeKey: {
                QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(OKRightDlg, &escape);
                break;
            }
            case Confirm::CloseBox:
                OKRightDlg->close();
                break;
            }
            return;
        }
        if (Form3->isVisible()) {
            if (!progressSeen_) {
                progressSeen_ = true;
                ++progressShown;
            }
            if (pressOkWhenFinished && Form3->Button1->isEnabled()) {
                finishedCaption = Form3->windowTitle();
                Form3->Button1->click();
            }
        } else {
            progressSeen_ = false;
        }
        if (clock_.elapsed() > 30000 && !timedOut) {
            timedOut = true;
            ADD_FAILURE() << "the dialogs did not finish in time";
            if (Form3->isVisible() && !Form3->JobRunning())
                Form3->done(QDialog::Rejected);
        }
    }

    QTimer timer_;
    QElapsedTimer clock_;
    bool progressSeen_ = false;
};

/// The five windows over a temporary settings file and a temporary folder for WAV files.
class FormsFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        orva::IniFilePath = Path("ORVA.INI");
        CreateForms();
        Form1->SetServices(&services);
        auto player = std::make_unique<FakePlayer>();
        player_ = player.get();
        Form1->SetPlayer(std::move(player));
        QDir(dir_.path()).mkpath(QStringLiteral("in"));
        QDir(dir_.path()).mkpath(QStringLiteral("out"));
    }

    void TearDown() override { DestroyForms(); }

    std::string Path(const std::string& relative) const
    {
        return dir_.filePath(QString::fromStdString(relative)).toStdString();
    }
    /// The source folder as the list's directory column shows it (ends with "/").
    std::string InDir() const { return Path("in") + "/"; }

    /// Writes a 16-bit WAV file into the source folder and adds it to the list.
    std::string AddWav(const std::string& name, uint16_t bits = 16, uint16_t channels = 2,
                       uint32_t rate = 44100, uint16_t formatTag = 1)
    {
        const std::string path = Path("in/" + name);
        WriteWav(path, rate, channels, bits, 4410, formatTag);
        Form1->AddFileToList(path);
        return path;
    }

    QTemporaryDir dir_;
    HookedServices services;
    FakePlayer* player_ = nullptr;
};

}  // namespace uitest
