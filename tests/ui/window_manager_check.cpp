// Window placement under a real window manager (run by under_window_manager.sh on a virtual
// display with openbox): stored places round-trip exactly across program runs, places off
// every screen come back onto one, the progress dialog opens centred, and titles are the
// program's own. Each "run" is a child process of this program that creates the windows
// over a settings file, shows each dialog, reports where the window manager framed it, and
// closes it the way a user would.

#include "settings/settings_store.h"
#include "tests/ui/ui_test_support.h"
#include "ui/about_dialog.h"
#include "ui/application.h"
#include "ui/confirm_dialog.h"
#include "ui/forms.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"
#include "ui/progress_dialog.h"

#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

constexpr const char* kChildVariable = "ORVA_WINDOW_MANAGER_RUN";

/// A frame's place and size in screen pixels, as the X server sees it.
struct Frame {
    QRect rect;
    QString title;
};

/// The number after "label:" in xwininfo's output.
int XwininfoValue(const QString& output, const QString& label)
{
    const QRegularExpression pattern(QRegularExpression::escape(label) + QStringLiteral(":\\s*(-?\\d+)"));
    return pattern.match(output).captured(1).toInt();
}

QString RunTool(const QString& program, const QStringList& arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    tool.waitForFinished(5000);
    return QString::fromUtf8(tool.readAllStandardOutput());
}

/// Where the window manager has framed `window`: the client's place grown by the frame
/// extents the manager announces. Empty until the manager has announced them.
QRect QueryFrame(QWidget* window)
{
    const QString id = QString::number(window->winId());
    const QString extents =
        RunTool(QStringLiteral("xprop"), { QStringLiteral("-id"), id, QStringLiteral("_NET_FRAME_EXTENTS") });
    const QRegularExpressionMatch numbers =
        QRegularExpression(QStringLiteral("= (\\d+), (\\d+), (\\d+), (\\d+)")).match(extents);
    if (!numbers.hasMatch())
        return QRect();
    const QString info = RunTool(QStringLiteral("xwininfo"), { QStringLiteral("-id"), id });
    const QRect client(XwininfoValue(info, QStringLiteral("Absolute upper-left X")),
                       XwininfoValue(info, QStringLiteral("Absolute upper-left Y")),
                       XwininfoValue(info, QStringLiteral("Width")),
                       XwininfoValue(info, QStringLiteral("Height")));
    return client.adjusted(-numbers.captured(1).toInt(), -numbers.captured(3).toInt(),
                           numbers.captured(2).toInt(), numbers.captured(4).toInt());
}

/// Shows nothing itself: waits until the shown window is framed and stays put, then reports.
Frame WaitForFrame(QWidget* window)
{
    QRect last;
    for (int attempt = 0; attempt < 250; ++attempt) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
        const QRect now = window->isVisible() ? QueryFrame(window) : QRect();
        if (now.isValid() && now == last)
            break;
        last = now;
    }
    const QString name =
        RunTool(QStringLiteral("xprop"),
                { QStringLiteral("-id"), QString::number(window->winId()), QStringLiteral("_NET_WM_NAME") });
    const int quote = name.indexOf(QLatin1Char('"'));
    QString title = quote >= 0 ? name.mid(quote + 1) : QString();
    title.chop(title.endsWith(QStringLiteral("\"\n")) ? 2 : 0);
    return { last, title };
}

void Report(QTextStream& out, const char* name, const Frame& frame)
{
    out << name << ' ' << frame.rect.x() << ' ' << frame.rect.y() << ' ' << frame.rect.width() << ' '
        << frame.rect.height() << ' ' << frame.title << '\n';
    out.flush();
}

/// One program run: every window shown once, reported and closed (which stores its place).
int ChildRun()
{
    orva::IniFilePath = qEnvironmentVariable(kChildVariable).toStdString();
    QTextStream out(stdout);
    CreateForms();
    uitest::RecordingServices services;
    Form1->SetServices(&services);
    Form1->show();
    Report(out, "Form1", WaitForFrame(Form1));

    FormOption->show();
    Report(out, "Form4", WaitForFrame(FormOption));
    FormOption->reject();

    OKRightDlg->show();
    Report(out, "Form5", WaitForFrame(OKRightDlg));
    OKRightDlg->CancelBtnClick();

    Form2->show();
    Report(out, "Form2", WaitForFrame(Form2));
    Form2->reject();

    // The progress dialog runs a batch of nothing and waits for OK.
    Form3->show();
    Report(out, "Form3", WaitForFrame(Form3));
    Form3->Button1Click();

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    out << "Screen " << screen.x() << ' ' << screen.y() << ' ' << screen.width() << ' ' << screen.height()
        << " -\n";
    Form1->close();
    DestroyForms();
    return 0;
}

/// The windows of one run by name.
using RunReport = std::map<std::string, Frame>;

class WindowManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        ini_ = dir_.filePath(QStringLiteral("ORVA.INI"));
    }

    RunReport Run()
    {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(kChildVariable), ini_);
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {});
        EXPECT_TRUE(child.waitForFinished(60000));
        EXPECT_EQ(child.exitCode(), 0);
        RunReport report;
        for (const QString& line :
             QString::fromUtf8(child.readAllStandardOutput()).split(QLatin1Char('\n'))) {
            const QStringList words = line.split(QLatin1Char(' '));
            if (words.size() < 6)
                continue;
            report[words[0].toStdString()] = { QRect(words[1].toInt(), words[2].toInt(), words[3].toInt(),
                                                     words[4].toInt()),
                                               words.mid(5).join(QLatin1Char(' ')) };
        }
        return report;
    }

    void WriteIni(const std::string& text) { uitest::WriteText(ini_.toStdString(), text); }

    QString IniText() const
    {
        QFile file(ini_);
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
    }

    QTemporaryDir dir_;
    QString ini_;
};

// First run with nothing stored, then two more runs: every dialog opens where it was, to
// the pixel, and the progress dialog is centred on the main window each time.
TEST_F(WindowManagerTest, PlacesRoundTripAcrossRunsFromTheFirstShowing)
{
    std::vector<RunReport> runs;
    for (int run = 0; run < 3; ++run)
        runs.push_back(Run());
    const QRect screen = runs[0]["Screen"].rect;
    ASSERT_FALSE(screen.isEmpty());
    for (const char* name : { "Form1", "Form2", "Form4", "Form5", "Form3" }) {
        ASSERT_TRUE(runs[0][name].rect.isValid()) << name << " was never framed";
        EXPECT_TRUE(screen.contains(runs[0][name].rect)) << name;
        for (int run = 1; run < 3; ++run)
            EXPECT_EQ(runs[run][name].rect, runs[0][name].rect) << name << " in run " << run + 1;
    }
    for (const RunReport& run : runs) {
        const QRect progress = run.at("Form3").rect;
        const QRect main = run.at("Form1").rect;
        ASSERT_TRUE(progress.isValid());
        QRect centred = progress;
        centred.moveCenter(main.center());
        if (!screen.contains(centred))
            continue;  // brought onto the screen instead
        // QRect::center() rounds down on both rectangles.
        EXPECT_LE(std::abs(progress.center().x() - main.center().x()), 2) << progress.x();
        EXPECT_LE(std::abs(progress.center().y() - main.center().y()), 2) << progress.y();
    }
    // A window never resized stores no size.
    EXPECT_FALSE(IniText().contains(QStringLiteral("Form1Width")));
}

// The main window opens with its stored size, and one stored by the bottom-right corner
// shows its whole frame, title bar included.
TEST_F(WindowManagerTest, MainWindowSizeComesBackAndACornerPlaceShowsTheWholeFrame)
{
    WriteIni("[Window]\r\nForm1Top=740\r\nForm1Left=1000\r\nForm1Width=700\r\nForm1Height=400\r\n");
    const RunReport first = Run();
    const QRect screen = first.at("Screen").rect;
    const QRect frame = first.at("Form1").rect;
    EXPECT_EQ(frame.bottom(), screen.bottom());
    EXPECT_EQ(frame.right(), screen.right());
    EXPECT_GE(frame.width(), 700);
    EXPECT_GE(frame.height(), 400);
    EXPECT_LT(frame.height(), 460);
    EXPECT_TRUE(IniText().contains(QStringLiteral("Form1Width=700")));
    // The next start finds the place it saved and opens there, the same size.
    EXPECT_EQ(Run().at("Form1").rect, frame);
}

// Stored places are those of the frames; one off every screen comes back onto the screen.
TEST_F(WindowManagerTest, StoredPlacesAreFramesAndOffScreenOnesComeBack)
{
    WriteIni("[Window]\r\nForm1Top=100\r\nForm1Left=-3000\r\nForm2Top=40\r\nForm2Left=30\r\n"
             "Form4Top=252\r\nForm4Left=300\r\nForm5Top=700\r\nForm5Left=200\r\n");
    RunReport run = Run();
    const QRect screen = run["Screen"].rect;
    EXPECT_EQ(run["Form1"].rect.topLeft(), QPoint(0, 100));
    EXPECT_EQ(run["Form2"].rect.topLeft(), QPoint(30, 40));
    EXPECT_EQ(run["Form4"].rect.topLeft(), QPoint(300, 252));
    // Below the screen's bottom edge: lifted until the whole frame shows.
    EXPECT_EQ(run["Form5"].rect.x(), 200);
    EXPECT_EQ(run["Form5"].rect.bottom(), screen.bottom());
    const QString ini = IniText();
    for (const char* line : { "Form4Top=252", "Form4Left=300", "Form2Top=40", "Form1Left=0" })
        EXPECT_TRUE(ini.contains(QString::fromLatin1(line))) << line << "\n" << ini.toStdString();
}

TEST_F(WindowManagerTest, TitlesAreTheProgramsOwn)
{
    RunReport run = Run();
    EXPECT_EQ(run["Form1"].title, QStringLiteral("ORVA"));
    EXPECT_EQ(run["Form2"].title, QStringLiteral("About ORVA"));
    EXPECT_EQ(run["Form4"].title, QStringLiteral("ORVA ｵﾌﾟｼｮﾝ"));
    EXPECT_EQ(run["Form5"].title, QStringLiteral("変換オプション"));
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet(kChildVariable)) {
        PrepareDesktop();
        OrvaApplication app(argc, argv);
        return ChildRun();
    }
    return uitest::RunUiTests(argc, argv);
}
