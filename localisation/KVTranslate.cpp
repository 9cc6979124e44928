#include "localisation/KVTranslate.h"

namespace kv {

std::array<String, 7> ShortDayNames;
std::array<String, 12> MonthNames;

namespace {

// Puts the saved language back however the translation ends.
class LanguageRestorer {
 public:
  LanguageRestorer() : FSaved(GetLanguage()) {}
  ~LanguageRestorer() { SetLanguage(FSaved); }
  LanguageRestorer(const LanguageRestorer&) = delete;
  LanguageRestorer& operator=(const LanguageRestorer&) = delete;

 private:
  String FSaved;
};

}  // namespace

void TranslateWithLanguage(const String& Text, const String& Language, bool Flag, String& Result) {
  LanguageRestorer restore;
  if (!Language.empty()) SetLanguage(Language);
  if (TextTranslationHook)
    TextTranslationHook(Text, Flag, Result);
  else
    Result = Text;
}

void TranslationModule_Initialize() {
  ShortDayNames = {u"!!So", u"!!Mo", u"!!Di", u"!!Mi", u"!!Do", u"!!Fr", u"!!Sa"};
  MonthNames = {u"!!Januar", u"!!Februar",  u"!!M\u00E4rz",   u"!!April",    u"!!Mai",      u"!!Juni",
                u"!!Juli",   u"!!August",   u"!!September", u"!!Oktober", u"!!November", u"!!Dezember"};
  SetLanguage(u"DE");
}

void TranslationModule_Finalize() {
  ShortDayNames = {};
  MonthNames = {};
}

}  // namespace kv
