// ORVA's desktop program: creates the five windows and runs until the main window closes.

#include "text/catalogue.h"
#include "ui/application.h"
#include "ui/forms.h"
#include "ui/main_window.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

int main(int argc, char** argv)
{
    // Answered before anything graphical starts, so that it works without a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("orva %s\n", ORVA_VERSION);
        return 0;
    }
    // Without a display Qt would abort; one line says why instead.
    if (DisplayMissing(argc, argv, [](const char* name) -> const char* { return std::getenv(name); })) {
        std::fprintf(
            stderr, "orva: %s\n",
            ORVA_TR("Startup", "画面に接続できません（DISPLAY も WAYLAND_DISPLAY も設定されていません）"));
        return 1;
    }
    PrepareDesktop();
    OrvaApplication app(argc, argv);
    int result = 1;
    try {
        TForm1* mainWindow = CreateForms();
        mainWindow->show();
        result = app.exec();
    } catch (const std::exception& error) {
        OrvaApplication::ShowException(error);
    }
    DestroyForms();
    return result;
}
