#include "ui/help.h"

#include "text/language.h"
#include "ui/ui_services.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

namespace {

// The help page of the program's language, relative to the help folder's parent.
QString HelpPage()
{
    return orva::ProcessLanguage() == orva::Language::English ? QStringLiteral("help/en/index.htm")
                                                              : QStringLiteral("help/index.htm");
}

}  // namespace

QString FindHelpFile(const QString& startDirectory)
{
    const QString local = startDirectory + QLatin1Char('/') + HelpPage();
    if (QFileInfo(local).isFile())
        return local;
    const QString installed =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/orva/") + HelpPage();
    if (QFileInfo(installed).isFile())
        return QFileInfo(installed).canonicalFilePath();
    return QString();
}

void OpenHelp(UiServices& services, QWidget* parent, const QString& startDirectory)
{
    const QString help = FindHelpFile(startDirectory);
    if (!help.isEmpty()) {
        services.OpenUrl(QUrl::fromLocalFile(help));  // a failure to open shows nothing
        return;
    }
    services.ShowMessage(
        parent, QStringLiteral("ORVA Help"),
        QCoreApplication::translate("Help", "ヘルプファイル(help\\index.htm)が見つかりません"),
        QMessageBox::Warning);
}

void OpenHomePage(UiServices& services, const QString& startDirectory)
{
    const QString help = FindHelpFile(startDirectory);
    if (!help.isEmpty())
        services.OpenUrl(QUrl::fromLocalFile(help));
}

QString HomePageText() { return HelpPage(); }
