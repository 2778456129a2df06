#pragma once
// The language ORVA speaks, chosen from the locale as gettext reads it. Japanese is the
// program's own language (its source texts); English is the one translation. Plain C++.

#include <functional>

namespace orva {

enum class Language { Japanese, English };

/// Looks up one environment variable; null when it is unset.
using EnvironmentLookup = std::function<const char*(const char* name)>;

/// The language for an environment: LC_ALL, then LC_MESSAGES, then LANG name the locale;
/// "C"/"POSIX" (and their encodings, "C.UTF-8") keep today's Japanese and, as in gettext,
/// ignore LANGUAGE. Otherwise LANGUAGE's first entry that ORVA has (ja*, en*) wins; failing
/// that, ja* is Japanese and every other locale is English.
Language ChooseLanguage(const EnvironmentLookup& lookup);

/// The language of this process: ChooseLanguage on the environment at the first call,
/// unless SetProcessLanguage chose one.
Language ProcessLanguage();

/// Overrides the language of this process (tests, the desktop program's own choice).
void SetProcessLanguage(Language language);

}  // namespace orva
