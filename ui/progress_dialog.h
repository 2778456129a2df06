#pragma once
// The progress dialog: showing it starts a batch job over the main window's list on a worker
// thread; its three label-and-bar rows show the job's progress; Cancel asks the job to stop at
// its next checkpoint; OK, usable once the job has ended, empties the list (of the entries
// that were done, when some failed). It also carries
// the MP3 encoder component GogoTea1, which lives on the GUI thread.
//
// Threads: the dialog and GogoTea1 live on the GUI thread. The job's changes to the rows,
// caption and buttons are queued to the GUI thread in the order made; its message boxes and
// the cancel prompt block the worker until the user has answered them on the GUI thread.

#include "batch/batch_events.h"

#include <QDialog>

#include <map>
#include <memory>
#include <set>

class QLabel;
class QProgressBar;
class QPushButton;
class UiServices;

namespace orva {
class TGogoTea;
}

class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
    /// Waits for a job that is still ending (never one that waits for the user).
    ~TForm3() override;

    /// Puts a double in place of the message boxes (not owned); nullptr uses Form1's services.
    void SetServices(UiServices* services) { services_ = services; }

    // Controls, named as in the form description. Owned by the dialog (Qt parents).
    QLabel* Label1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Label2 = nullptr;
    QProgressBar* ProgressBar2 = nullptr;
    QLabel* Label3 = nullptr;
    QProgressBar* ProgressBar3 = nullptr;
    QPushButton* Button1 = nullptr;  ///< "OK"
    QPushButton* Button2 = nullptr;  ///< "キャンセル"
    /// The MP3 encoder component (owned by the dialog, GUI thread).
    orva::TGogoTea* GogoTea1 = nullptr;

    /// 1 while the user's cancel request waits for the job's next checkpoint, else 0.
    int CancelRequested() const;
    /// True from FormShow until the job's worker has ended.
    bool JobRunning() const;

    /// Prepares the buttons and caption and starts the job over Form1's list, OutputDirectory
    /// and Settings (run at every showing).
    void FormShow();
    /// Asks the job to stop at its next checkpoint.
    void Button2Click();
    /// Ends the showing with OK: empties Form1's list and disables the start command after a
    /// batch without failures; after one with failures removes only the entries that were
    /// done, so the others can be tried again.
    void Button1Click();
    /// Indexes of the last batch's entries that ended done (every step succeeded).
    std::set<int> DoneEntries() const;
    /// Entries of the last batch that failed or were left out (0 while it runs).
    int FailedCount() const { return failedCount_; }
    /// OnProgress of GogoTea1: moves ProgressBar3.
    void GogoTea1Progress(orva::TGogoTea* Sender, int nowFrames, int AllFrames);

    /// Esc presses Cancel; the dialog never closes by it.
    void reject() override;
    /// Centres the dialog on the main window before each showing.
    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    class Batch;
    friend class Batch;
    class Presenter;
    friend class Presenter;

    UiServices& Services() const;

    UiServices* services_ = nullptr;
    std::unique_ptr<Batch> batch_;
    std::map<int, orva::EntryOutcome> outcomes_;  ///< last outcome of each entry that ended
    int failedCount_ = 0;
};
