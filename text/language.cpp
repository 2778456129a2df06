#include "text/language.h"

#include <atomic>
#include <cstdlib>
#include <string_view>

namespace orva {

namespace {

bool IsCLocale(std::string_view locale)
{
    // "C.UTF-8", "C.utf8" and "POSIX" behave as "C" for message catalogues.
    return locale == "C" || locale == "POSIX" || locale.starts_with("C.") || locale.starts_with("POSIX.");
}

bool IsLanguage(std::string_view locale, std::string_view code)
{
    return locale.starts_with(code)
        && (locale.size() == code.size() || locale[code.size()] == '_' || locale[code.size()] == '.'
            || locale[code.size()] == '@');
}

constexpr int kUnchosen = -1;
std::atomic<int> g_processLanguage { kUnchosen };

}  // namespace

Language ChooseLanguage(const EnvironmentLookup& lookup)
{
    std::string_view locale;
    for (const char* name : { "LC_ALL", "LC_MESSAGES", "LANG" }) {
        const char* value = lookup(name);
        if (value != nullptr && *value != '\0') {
            locale = value;
            break;
        }
    }
    if (locale.empty() || IsCLocale(locale))
        return Language::Japanese;

    if (const char* list = lookup("LANGUAGE"); list != nullptr) {
        std::string_view rest = list;
        while (!rest.empty()) {
            const auto colon = rest.find(':');
            const std::string_view entry = rest.substr(0, colon);
            if (IsLanguage(entry, "ja"))
                return Language::Japanese;
            if (IsLanguage(entry, "en"))
                return Language::English;
            rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        }
    }
    return IsLanguage(locale, "ja") ? Language::Japanese : Language::English;
}

Language ProcessLanguage()
{
    int chosen = g_processLanguage.load();
    if (chosen == kUnchosen) {
        chosen = static_cast<int>(ChooseLanguage([](const char* name) { return std::getenv(name); }));
        g_processLanguage.store(chosen);
    }
    return static_cast<Language>(chosen);
}

void SetProcessLanguage(Language language) { g_processLanguage.store(static_cast<int>(language)); }

}  // namespace orva
