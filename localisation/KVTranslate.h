// The translation module: translating through the text hook, optionally in
// another language than the current one, and the translatable day and month
// names.
#pragma once

#include <array>

#include "localisation/_LanguageDLL.h"

namespace kv {

// Translates Text through TextTranslationHook in Language (the current
// language when empty); the current language is restored on every path.
// Without a hook the text is returned as it is.
void TranslateWithLanguage(const String& Text, const String& Language, bool Flag, String& Result);

// Sunday first; every entry marked for translation. Emptied at module stop.
extern std::array<String, 7> ShortDayNames;
extern std::array<String, 12> MonthNames;

// Start: the language "DE" (after the language module's start). Stop: the
// two tables released.
void TranslationModule_Initialize();
void TranslationModule_Finalize();

}  // namespace kv
