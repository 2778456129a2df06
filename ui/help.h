#pragma once
// The help file and the home page. ORVA's home page is its own help, shipped as
// help/index.htm beside the settings file (the folder current at start-up), or installed
// under share/orva/help beside the program's bin folder.

#include <QDialog>
#include <QSize>
#include <QString>
#include <QUrl>

class UiServices;
class QPushButton;
class QTextBrowser;
class QToolButton;
class QWidget;

/// The help file: <startDirectory>/help/index.htm when it exists, else the installed copy
/// when that exists, else the copy in the source tree above a program run from its build
/// folder, else empty.
QString FindHelpFile(const QString& startDirectory);

/// The help pages in a window of the program's own, so help shows with no browser installed:
/// links between the pages, Back and Forward, and a button that hands the page to the
/// desktop's browser. Its size is kept in the settings file once the user changes it
/// ("HelpWidth"/"HelpHeight"). GUI thread only.
class HelpWindow final : public QDialog {
    Q_OBJECT
public:
    HelpWindow(UiServices& services, QWidget* parent);

    QTextBrowser* Browser = nullptr;
    QToolButton* BackButton = nullptr;
    QToolButton* ForwardButton = nullptr;
    QPushButton* BrowserButton = nullptr;  ///< opens the page shown with the desktop's browser

    /// Shows `page` and brings the window to the front.
    void ShowPage(const QUrl& page);

protected:
    void hideEvent(QHideEvent* event) override;

private:
    UiServices& services_;
    QSize storedSize_;  ///< the size read from the settings file; invalid when none
};

/// Shows the help file in `window`, or says it is missing ("ORVA Help").
void OpenHelp(UiServices& services, QWidget* parent, const QString& startDirectory, HelpWindow& window);

/// Opens the home page with the default browser; nothing happens when it cannot be found.
void OpenHomePage(UiServices& services, const QString& startDirectory);

/// The home-page address shown in the about dialog.
QString HomePageText();
