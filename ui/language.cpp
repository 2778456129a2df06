#include "ui/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

// Owned by the application object; replaced as a whole when the language changes.
QTranslator* g_translator = nullptr;

}  // namespace

void UseLanguage(orva::Language language)
{
    orva::SetProcessLanguage(language);
    auto* app = QCoreApplication::instance();
    if (app == nullptr)
        return;
    if (g_translator != nullptr) {
        QCoreApplication::removeTranslator(g_translator);
        delete g_translator;
        g_translator = nullptr;
    }
    auto* translator = new QTranslator(app);
    const bool loaded = language == orva::Language::English
        ? translator->load(QStringLiteral(":/i18n/orva_en.qm"))
        : translator->load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (loaded) {
        QCoreApplication::installTranslator(translator);
        g_translator = translator;
    } else {
        delete translator;
    }
}
