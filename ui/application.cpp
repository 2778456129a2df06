#include "ui/application.h"

#include "ui/forms.h"
#include "ui/language.h"
#include "ui/main_window.h"

#include <QFile>

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

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

bool DisplayMissing(int argc, char** argv, const char* (*environment)(const char*))
{
    auto set = [environment](const char* name) {
        const char* value = environment(name);
        return value != nullptr && *value != '\0';
    };
    std::string platform = set("QT_QPA_PLATFORM") ? environment("QT_QPA_PLATFORM") : "";
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            platform = argv[i + 1];
    }
    // A list of platforms ("wayland;xcb") is tried in order: the first that can connect wins.
    platform = platform.substr(0, platform.find(':'));
    const bool x11 = set("DISPLAY");
    const bool wayland = set("WAYLAND_DISPLAY");
    if (platform.empty())
        return !x11 && !wayland;
    std::size_t start = 0;
    while (start <= platform.size()) {
        const std::size_t end = std::min(platform.find(';', start), platform.size());
        const std::string name = platform.substr(start, end - start);
        if ((name == "xcb" && x11) || (name.rfind("wayland", 0) == 0 && wayland)
            || (name != "xcb" && name.rfind("wayland", 0) != 0))
            return false;
        start = end + 1;
    }
    return true;
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
