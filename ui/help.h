#pragma once
// The help file and the home page. ORVA's home page is its own help, shipped as
// help/index.htm beside the settings file (the folder current at start-up), or installed
// under share/orva/help beside the program's bin folder.

#include <QString>

class UiServices;
class QWidget;

/// The help file: <startDirectory>/help/index.htm when it exists, else the installed copy
/// when that exists, else empty.
QString FindHelpFile(const QString& startDirectory);

/// Opens the help file with the default program, or says it is missing ("ORVA Help").
void OpenHelp(UiServices& services, QWidget* parent, const QString& startDirectory);

/// Opens the home page with the default browser; nothing happens when it cannot be found.
void OpenHomePage(UiServices& services, const QString& startDirectory);

/// The home-page address shown in the about dialog.
QString HomePageText();
