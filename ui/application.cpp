#include "ui/application.h"

#include "ui/forms.h"
#include "ui/language.h"
#include "ui/main_window.h"

#include <QFile>

#include <fontconfig/fontconfig.h>

#include <cstdlib>

OrvaApplication::OrvaApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // No display name: Qt would append it to every window title ("… — ORVA"), and the
    // titles are the program's own.
    setApplicationName(QStringLiteral("ORVA"));
    setDesktopFileName(QStringLiteral("orva"));
    UseLanguage(orva::ProcessLanguage());
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    setFont(font);
}

bool OrvaApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowException(error);
    } catch (...) {
        ShowException(std::runtime_error(tr("予期しないエラーが発生しました。").toStdString()));
    }
    return false;
}

void OrvaApplication::ShowException(const std::exception& error)
{
    const QString text = QString::fromUtf8(error.what());
    if (Form1 != nullptr) {
        Form1->Services().ShowMessage(Form1, QStringLiteral("ORVA"), text, QMessageBox::Critical);
    } else {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("ORVA"), text, QMessageBox::Ok);
        box.exec();
    }
}

void PrepareDesktop()
{
    setenv("QT_MEDIA_BACKEND", "gstreamer", 0);
    LoadFontAliases();
}

bool LoadFontAliases()
{
    QFile file(QStringLiteral(":/orva/orva-fonts.conf"));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray conf = file.readAll();
    // Qt initialises fontconfig with the current configuration later; add ours to it now.
    if (FcInit() == FcFalse)
        return false;
    FcConfig* config = FcConfigGetCurrent();
    return FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(conf.constData()), FcTrue)
        == FcTrue;
}
