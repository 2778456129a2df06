#include "ui/help.h"

#include "ui/ui_services.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

QString FindHelpFile(const QString& startDirectory)
{
    const QString local = startDirectory + QStringLiteral("/help/index.htm");
    if (QFileInfo(local).isFile())
        return local;
    const QString installed =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/orva/help/index.htm");
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
    services.ShowMessage(parent, QStringLiteral("ORVA Help"),
                         QStringLiteral("ヘルプファイル(help\\index.htm)が見つかりません"),
                         QMessageBox::Warning);
}

void OpenHomePage(UiServices& services, const QString& startDirectory)
{
    const QString help = FindHelpFile(startDirectory);
    if (!help.isEmpty())
        services.OpenUrl(QUrl::fromLocalFile(help));
}

QString HomePageText() { return QStringLiteral("help/index.htm"); }
