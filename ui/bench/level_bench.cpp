// Measures FILEs through the main window's analyze command, as a user would, and reports
// how long that took and how long the GUI thread went without serving its event loop
// meanwhile: `orva-level-bench FILE...` prints "measure_s=S" (from the command to the last
// level, within a millisecond) and "stall_ms=N" (the longest gap between two ticks of a 10 ms
// timer), and exits 0 once every file is measured. Used by bench/ui.sh; runs offscreen.

#include "ui/application.h"
#include "ui/forms.h"
#include "ui/main_window.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: orva-level-bench FILE...\n");
        return 2;
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    PrepareDesktop();
    OrvaApplication app(argc, argv);
    TForm1* window = CreateForms();
    for (int i = 1; i < argc; ++i)
        window->AddFileToList(QDir(QString::fromLocal8Bit(argv[i])).absolutePath().toStdString());
    window->show();

    QElapsedTimer sinceTick, sinceCommand;
    qint64 longestStall = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, window,
                     [&] { longestStall = std::max(longestStall, sinceTick.restart()); });
    double measureSeconds = 0.0;
    QTimer endPoll;
    QObject::connect(&endPoll, &QTimer::timeout, window, [&] {
        if (window->Measuring())
            return;
        measureSeconds = static_cast<double>(sinceCommand.nsecsElapsed()) / 1e9;
        QCoreApplication::quit();
    });
    window->Analyze1->trigger();
    sinceCommand.start();
    sinceTick.start();
    ticks.start(10);
    endPoll.start(1);
    app.exec();
    std::printf("measure_s=%.4f\nstall_ms=%lld\n", measureSeconds, static_cast<long long>(longestStall));
    DestroyForms();
    return 0;
}
