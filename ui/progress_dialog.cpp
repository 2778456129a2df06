#include "ui/progress_dialog.h"

#include "batch/batch_job.h"
#include "batch/mp3_encoding.h"
#include "batch/mp3_step.h"
#include "encoder/gogo_tea.h"
#include "loudness/loudness_meter.h"
#include "loudness/wave_analysis.h"
#include "settings/settings.h"
#include "text/format.h"
#include "text/processing_words.h"
#include "ui/forms.h"
#include "ui/main_window.h"
#include "ui/ui_services.h"
#include "ui/window_position.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <utility>

namespace {

constexpr int kBarMaximum = 1000;

UiServices& FallbackServices()
{
    static QtUiServices services;
    return services;
}

/// Runs `call` on the GUI thread of `context` and waits for it to return. The GUI thread
/// goes on serving its event loop meanwhile (a message box runs its own).
template <typename Call> void RunOnGuiThreadAndWait(QObject* context, Call call)
{
    if (QThread::currentThread() == context->thread())
        call();
    else
        QMetaObject::invokeMethod(context, std::move(call), Qt::BlockingQueuedConnection);
}

/// Queues `call` to the GUI thread of `context`, behind every change queued before.
template <typename Call> void QueueToGuiThread(QObject* context, Call call)
{
    QMetaObject::invokeMethod(context, std::move(call), Qt::QueuedConnection);
}

/// A level in dB with two decimals, a true minus sign and "−inf" for silence; `sign` puts
/// "+" before a positive value.
QString DbText(double db, bool sign = false)
{
    if (!std::isfinite(db))
        return QStringLiteral("\u2212inf");
    QString text = QString::number(db, 'f', 2);
    if (text.startsWith(QLatin1Char('-')))
        text.replace(0, 1, QChar(0x2212));
    else if (sign)
        text.prepend(QLatin1Char('+'));
    return text;
}

/// A found peak in dB below full scale, "−inf dBFS" for silence.
QString PeakDbText(const orva::SamplePeak& peak)
{
    const double magnitude = orva::IsFloatFormat(peak.format)
        ? peak.level
        : static_cast<double>(peak.magnitude) / orva::FullScaleOf(peak.format);
    return DbText(orva::MagnitudeToDb(magnitude)) + QStringLiteral(" dBFS");
}

}  // namespace

/// The dialog's words for the job's events, and what the dialog itself keeps of them: the
/// overall bar counts the entries that have ended, the peak row's bar tells the peak in
/// dBFS, a batch with failures says how many, and each entry's last outcome is recorded for
/// OK. Worker thread; what it keeps is queued to the GUI thread.
class TForm3::Presenter final : public orva::DialogPresenter {
public:
    Presenter(TForm3& form, orva::DialogView& view)
        : orva::DialogPresenter(view), form_(form), view_(view), tips_(form, orva::DialogPresenter::Stages())
    {
    }

    orva::StageEvents& Stages() override { return tips_; }

    void JobStarted() override
    {
        QueueToGuiThread(&form_, [form = &form_] {
            form->outcomes_.clear();
            form->failedCount_ = 0;
        });
        orva::DialogPresenter::JobStarted();
    }

    void EntryStarted(orva::EntryStep step, int index, int count, const std::string& name) override
    {
        orva::DialogPresenter::EntryStarted(step, index, count, name);
        view_.SetRowPosition(1, count > 0 ? static_cast<int>((int64_t(index) * kBarMaximum) / count) : 0);
        count_ = count;
    }

    void EntryFinished(int index, orva::EntryOutcome outcome) override
    {
        orva::DialogPresenter::EntryFinished(index, outcome);
        if (count_ > 0)
            view_.SetRowPosition(1, static_cast<int>((int64_t(index + 1) * kBarMaximum) / count_));
        QueueToGuiThread(&form_, [form = &form_, index, outcome] {
            if (index >= 0)
                form->outcomes_.insert_or_assign(index, outcome);
        });
    }

    void TargetGainFound(const orva::LoudnessLevels& levels, double gain) override
    {
        // The peak row's tooltip gains a second line: what the target measured and the gain.
        const QString line =
            TForm3::tr("ラウドネス %1 LUFS、トゥルーピーク %2 dBTP、ゲイン %3 dB")
                .arg(DbText(levels.integratedLufs), DbText(orva::MagnitudeToDb(levels.truePeak)),
                     DbText(20.0 * std::log10(gain), true));
        QueueToGuiThread(&form_, [form = &form_, line] {
            const QString tip = form->Label2->toolTip();
            const QString text =
                tip.isEmpty() ? line : tip.section(QLatin1Char('\n'), 0, 0) + QLatin1Char('\n') + line;
            form->ProgressBar2->setToolTip(text);
            form->Label2->setToolTip(text);
        });
    }

    void BatchFinished(const orva::BatchCounts& counts) override
    {
        orva::DialogPresenter::BatchFinished(counts);
        if (counts.failedCount > 0) {
            const std::string format = TForm3::tr("完了しました（失敗 %d 件）").toStdString();
            view_.SetCaption(orva::Format(format.c_str(), counts.failedCount));
            QueueToGuiThread(&form_,
                             [form = &form_, failed = counts.failedCount] { form->failedCount_ = failed; });
        }
    }

private:
    /// The stages as the base words them; the peak's level also goes on the peak row's
    /// tooltip.
    class PeakTips final : public orva::StageEvents {
    public:
        PeakTips(TForm3& form, orva::StageEvents& words) : form_(form), words_(words) {}
        void StageStarted(orva::Stage stage, const std::string& path) override
        {
            words_.StageStarted(stage, path);
        }
        void StageProgress(orva::Stage stage, int64_t doneBytes, int64_t totalBytes, int share) override
        {
            words_.StageProgress(stage, doneBytes, totalBytes, share);
        }
        void PeakFound(const orva::SamplePeak& peak) override
        {
            words_.PeakFound(peak);
            QueueToGuiThread(&form_, [form = &form_, text = PeakDbText(peak)] {
                form->ProgressBar2->setToolTip(text);
                form->Label2->setToolTip(text);
            });
        }
        void StageFinished(orva::Stage stage) override { words_.StageFinished(stage); }

    private:
        TForm3& form_;
        orva::StageEvents& words_;
    };

    TForm3& form_;
    orva::DialogView& view_;
    PeakTips tips_;
    int count_ = 0;
};

/// Everything one batch needs, built by FormShow and kept until the next one: the job's
/// inputs, the words of its events on this dialog, the MP3 step and the job itself.
class TForm3::Batch final : public orva::DialogView, public orva::Mp3Encoding {
public:
    Batch(TForm3& form, std::vector<orva::FileEntry> entries, std::string outputDirectory,
          const orva::Settings& settings)
        : form_(form), settings_(settings), presenter_(form, *this),
          notifier_(orva::MakeSstpNotifier(settings_)),
          job_(std::move(entries), std::move(outputDirectory), settings_, presenter_, this, notifier_.get(),
               cancelRequested_),
          mp3_(settings_, presenter_.Stages(), presenter_.Problems(), *form.GogoTea1, cancelRequested_)
    {
    }

    /// Joins the worker before the step, the notifier and the rows it uses go away.
    ~Batch() override { job_.Wait(); }

    orva::BatchJob& Job() { return job_; }
    /// The cancel button's flag, which the job and the MP3 step read.
    std::atomic<int>& CancelFlag() { return cancelRequested_; }
    bool Running() const { return running_.load(); }

    void Start()
    {
        running_ = true;
        job_.Start([this](const orva::BatchOutcome&) { running_ = false; });
    }

    // orva::DialogView (worker thread): changes are queued to the dialog's thread in order.
    void SetRowLabel(int row, const std::string& text) override
    {
        QueueToGuiThread(&form_,
                         [label = Label(row), text = QString::fromStdString(text)] { label->setText(text); });
    }
    void SetRowPosition(int row, int position) override
    {
        QueueToGuiThread(&form_,
                         [bar = Bar(row), position] { bar->setValue(std::clamp(position, 0, kBarMaximum)); });
    }

    void SetCaption(const std::string& text) override
    {
        QueueToGuiThread(
            &form_, [form = &form_, text = QString::fromStdString(text)] { form->setWindowTitle(text); });
    }
    void SetOkEnabled(bool enabled) override
    {
        QueueToGuiThread(&form_, [button = form_.Button1, enabled] { button->setEnabled(enabled); });
    }
    void SetCancelEnabled(bool enabled) override
    {
        QueueToGuiThread(&form_, [button = form_.Button2, enabled] { button->setEnabled(enabled); });
    }

    bool AskYesNo(const std::string& title, const std::string& text) override
    {
        bool yes = false;
        RunOnGuiThreadAndWait(&form_, [this, &yes, &title, &text] {
            yes = form_.Services().AskYesNo(&form_, QString::fromStdString(title),
                                            QString::fromStdString(text));
        });
        return yes;
    }

    void CloseCancelled() override
    {
        // done() rather than reject(): reject() only presses Cancel.
        QueueToGuiThread(&form_, [form = &form_] { form->done(QDialog::Rejected); });
    }

    // Message boxes (worker thread): modal over the dialog, blocking only the worker. The
    // encoder's failure box has an OK button and no icon.
    void ShowMessage(Box box, const std::string& title, const std::string& text) override
    {
        RunOnGuiThreadAndWait(&form_, [this, box, &title, &text] {
            form_.Services().ShowMessage(&form_, QString::fromStdString(title), QString::fromStdString(text),
                                         box == Box::Plain ? QMessageBox::NoIcon : QMessageBox::Warning);
        });
    }

    // orva::Mp3Encoding (worker thread): the MP3 step over GogoTea1 and the job's cancel flag.
    int EncodeWithGogo(const std::string& source, const std::string& destination,
                       const CancelPoint& cancelPoint) override
    {
        return mp3_.EncodeWithGogo(source, destination, cancelPoint);
    }
    int EncodeWithExternalEncoder(const std::string& source, const std::string& destination,
                                  const CancelPoint& cancelPoint) override
    {
        return mp3_.EncodeWithExternalEncoder(source, destination, cancelPoint);
    }

private:
    QLabel* Label(int row) const { return row == 1 ? form_.Label1 : row == 2 ? form_.Label2 : form_.Label3; }
    QProgressBar* Bar(int row) const
    {
        return row == 1 ? form_.ProgressBar1 : row == 2 ? form_.ProgressBar2 : form_.ProgressBar3;
    }

    TForm3& form_;
    const orva::Settings settings_;
    TForm3::Presenter presenter_;
    std::unique_ptr<orva::BatchNotifier> notifier_;
    std::atomic<int> cancelRequested_ { 0 };  // the cancel button, for the job and the MP3 step
    orva::BatchJob job_;
    orva::Mp3Step mp3_;
    std::atomic<bool> running_ { false };
};

TForm3::TForm3(QWidget* parent) : QDialog(parent)
{
    // A fixed dialog frame without any title-bar button; the ways out are OK after the job
    // and Cancel answered with Yes.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(tr("ORVA 正規化中です..."));
    QFont dialogFont(QStringLiteral("ＭＳ Ｐゴシック"));
    dialogFont.setPixelSize(12);
    setFont(dialogFont);

    QFont labelFont(QStringLiteral("ＭＳ Ｐゴシック"));
    labelFont.setPixelSize(16);
    auto makeRow = [this, &labelFont](QLabel*& label, QProgressBar*& bar) {
        label = new QLabel(this);
        label->setFont(labelFont);
        label->setFixedWidth(420);
        bar = new QProgressBar(this);
        bar->setRange(0, kBarMaximum);
        bar->setValue(0);
        bar->setTextVisible(false);
        bar->setFixedWidth(420);
    };
    makeRow(Label1, ProgressBar1);
    makeRow(Label2, ProgressBar2);
    makeRow(Label3, ProgressBar3);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setDefault(true);
    Button2 = new QPushButton(tr("キャンセル"), this);
    Button2->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    for (auto [label, bar] : { std::pair { Label1, ProgressBar1 }, std::pair { Label2, ProgressBar2 },
                               std::pair { Label3, ProgressBar3 } }) {
        layout->addWidget(label);
        layout->addWidget(bar);
        layout->addSpacing(6);
    }
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });

    // The values the form gives its encoder component; the MP3 step changes some per file.
    GogoTea1 = new orva::TGogoTea(this);
    GogoTea1->SetPriority(orva::TThreadPriority::tpIdle);
    GogoTea1->SetFrequency(100);
    GogoTea1->SetProcessors(1);
    GogoTea1->SetEmphasis(orva::TEmphasis::_NO_EMPH);
    GogoTea1->SetUsePsy(false);
    GogoTea1->SetUseLPF16(false);
    GogoTea1->SetUseVBR(false);
    GogoTea1->SetVBRLevel(5);
    GogoTea1->SetSetOfUseUnit({ orva::TUseUnit::_USE_MMX, orva::TUseUnit::_USE_3DNOW,
                                orva::TUseUnit::_USE_KNI, orva::TUseUnit::_USE_EX_3DNOW });
    GogoTea1->SetEncodeFormat(orva::TEncodeFormat::_FORMAT_OF_MP3);
    GogoTea1->SetEncodeMode(orva::TEncodeMode::_FILE);
    GogoTea1->SetEncodeType(orva::TEncodeType::_JOINT);
    GogoTea1->SetSameRate(false);
    GogoTea1->SetBitrate(128);
    GogoTea1->SetExtFilter(orva::TExtFilter { 55, 70, false });
    GogoTea1->SetVBRBitrate(orva::TVBRBitrate { false, 40, 128 });
    GogoTea1->SetMSSetting(orva::TMSSetting { false, 75, 66 });
    connect(GogoTea1, &orva::TGogoTea::OnProgress, this,
            [this](orva::TGogoTea* sender, int nowFrames, int allFrames) {
                GogoTea1Progress(sender, nowFrames, allFrames);
            });
}

// The worker never outlives the dialog it reports to: ~Batch joins it.
TForm3::~TForm3() = default;

UiServices& TForm3::Services() const
{
    if (services_ != nullptr)
        return *services_;
    return Form1 != nullptr ? Form1->Services() : FallbackServices();
}

int TForm3::CancelRequested() const { return batch_ != nullptr ? batch_->CancelFlag().load() : 0; }

bool TForm3::JobRunning() const { return batch_ != nullptr && batch_->Running(); }

void TForm3::setVisible(bool visible)
{
    // Centred before the window manager sees the window: moving a shown window races the
    // manager's own placement of it.
    if (visible && !isVisible())
        CentreFrameOnWindow(this, Form1);
    QDialog::setVisible(visible);
}

void TForm3::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // A spontaneous show is the window system restoring the window, not a new showing.
    if (!event->spontaneous())
        FormShow();
}

void TForm3::FormShow()
{
    Button1->setEnabled(false);
    Button2->setEnabled(true);
    setWindowTitle(tr("ORVA 正規化中です..."));
    ProgressBar2->setToolTip(QString());
    Label2->setToolTip(QString());
    outcomes_.clear();
    failedCount_ = 0;

    // The previous worker has already made its last change; joining it takes no time.
    batch_.reset();
    if (Form1 == nullptr)
        return;
    // A fresh job starts with CancelRequested 0.
    batch_ =
        std::make_unique<Batch>(*this, Form1->FileList().Entries(), Form1->OutputDirectory, Form1->Settings);
    batch_->Start();
}

void TForm3::Button2Click()
{
    if (batch_ != nullptr)
        batch_->CancelFlag().store(1);
}

void TForm3::reject()
{
    if (Button2->isEnabled())
        Button2Click();
}

void TForm3::Button1Click()
{
    if (Form1 != nullptr && failedCount_ == 0) {
        Form1->FileList().Clear();
        Form1->SpeedButton6->setEnabled(false);
        Form1->ProGo->setEnabled(false);
    } else if (Form1 != nullptr) {
        // The failed entries stay for another try.
        Form1->FileList().RemoveSelectedFiles(DoneEntries());
        Form1->UpdateCommandStates();
    }
    done(QDialog::Accepted);
}

std::set<int> TForm3::DoneEntries() const
{
    std::set<int> done;
    for (const auto& [index, outcome] : outcomes_) {
        if (outcome == orva::EntryOutcome::Done)
            done.insert(index);
    }
    return done;
}

void TForm3::GogoTea1Progress(orva::TGogoTea* /*Sender*/, int nowFrames, int AllFrames)
{
    // An encoder left running by a withdrawn cancel may still report after the job has
    // ended; the bars then keep the job's last positions.
    if (!JobRunning())
        return;
    ProgressBar3->setValue(orva::GogoTea1Progress(nowFrames, AllFrames));
}
