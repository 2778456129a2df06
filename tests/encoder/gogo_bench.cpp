// gogo_bench SOURCE.wav DESTINATION.mp3 [--bitrate KBPS] [--no-psy]: encodes one file through
// TGogoTea and libgogo.so (found beside orva-cli, one folder up) and prints the seconds it
// took. Used by bench/encoder.sh; not a test.

#include "encoder/gogo_tea.h"

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: gogo_bench SOURCE DESTINATION [--bitrate KBPS] [--no-psy]\n");
        return 2;
    }
    int bitrate = 128;
    bool psy = true;
    for (int i = 3; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--bitrate") && i + 1 < argc)
            bitrate = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--no-psy"))
            psy = false;
    }

    orva::TGogoTea tea;
    int result = 1;
    QObject::connect(&tea, &orva::TGogoTea::OnFinish, &application, [&](orva::TGogoTea*, bool aborted) {
        result = aborted ? 1 : 0;
        application.quit();
    });
    const auto start = std::chrono::steady_clock::now();
    try {
        tea.SetPriority(orva::TThreadPriority::tpNormal);
        tea.SetBitrate(bitrate);
        tea.SetUsePsy(psy);
        tea.SetEncodeType(orva::TEncodeType::_JOINT);
        tea.SetSourceFile(argv[1]);
        tea.SetDestFile(argv[2]);
        tea.Execute();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "gogo_bench: %s\n", error.what());
        return 1;
    }
    application.exec();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", elapsed.count());
    return result;
}
