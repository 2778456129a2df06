#pragma once
// The English catalogue for code without Qt (orva-cli and the words shared by both front
// ends). Texts are marked with ORVA_TR, which Qt Linguist's lupdate reads like
// QT_TRANSLATE_NOOP, so that they share translations/orva_en.ts with the desktop program;
// the build turns that file into a table compiled into the program.

#include "text/language.h"

namespace orva {

/// The text for `source` (UTF-8 Japanese) in the given language: the source itself for
/// Japanese, its English translation otherwise (the source when the catalogue lacks it,
/// which the catalogue test refuses).
const char* Translate(Language language, const char* context, const char* source);

/// Translate in ProcessLanguage().
inline const char* Translate(const char* context, const char* source)
{
    return Translate(ProcessLanguage(), context, source);
}

}  // namespace orva

/// Marks a text for the catalogue and returns it in the process language.
#define ORVA_TR(context, text) ::orva::Translate(context, text)
/// Marks a text for the catalogue without translating it (tables translated later).
#define ORVA_TR_NOOP(context, text) text
