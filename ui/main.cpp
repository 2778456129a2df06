// ORVA's desktop program: creates the five windows and runs until the main window closes.

#include "ui/application.h"
#include "ui/forms.h"
#include "ui/main_window.h"

#include <exception>

int main(int argc, char** argv)
{
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
