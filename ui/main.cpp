// ORVA's desktop program: creates the five windows and runs until the main window closes.

#include "ui/application.h"
#include "ui/forms.h"
#include "ui/main_window.h"

#include <cstdio>
#include <cstring>
#include <exception>

int main(int argc, char** argv)
{
    // Answered before anything graphical starts, so that it works without a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("orva %s\n", ORVA_VERSION);
        return 0;
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
