#pragma once
// The desktop program's language: its own catalogue and Qt's standard texts follow one choice.

#include "text/language.h"

/// Installs the translators for `language` on the running application, replacing those of an
/// earlier call: Japanese keeps the program's own texts and translates Qt's standard ones
/// (OK, はい, いいえ); English loads the program's English catalogue and leaves Qt's own.
/// Also makes `language` the process language for the words shared with orva-cli.
void UseLanguage(orva::Language language);
