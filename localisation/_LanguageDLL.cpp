#include "localisation/_LanguageDLL.h"

#include "text/_4Sort.h"

namespace kv {

TTextTranslationHook TextTranslationHook = nullptr;
TComponentTextTranslationHook ComponentTextTranslationHook = nullptr;

namespace {

// The language every text is written in, and in which the library is searched.
const String kSourceLanguage = u"DE";

String gCurrentLanguage = u"DE";
TLanguageLibrary* gLanguageLibrary = nullptr;

bool IsMarked(StringView Text) { return Text.size() >= 2 && Text[0] == u'!' && Text[1] == u'!'; }

bool IsNoTranslation(const String& Answer) {
  return Answer == gCurrentLanguage + u"?" || Answer == gCurrentLanguage + u"??";
}

}  // namespace

TLanguageLibrary* LanguageLibrary() { return gLanguageLibrary; }
void SetLanguageLibrary(TLanguageLibrary* Library) { gLanguageLibrary = Library; }

void SetLanguage(const String& Code) { gCurrentLanguage = Code; }
String GetLanguage() { return gCurrentLanguage; }

String StripLanguageMarker(StringView Text) { return Text.size() < 2 ? String() : String(Text.substr(2)); }

void TranslateText(const String& Text, bool, String& Result) {
  Result = Text;
  if (!IsMarked(Text)) return;
  if (!gLanguageLibrary) {
    Result = StripLanguageMarker(Text);
    return;
  }
  const std::int32_t id = gLanguageLibrary->FindTextId(kSourceLanguage, Text.substr(2));
  if (id <= 0) {
    Result = StripLanguageMarker(Text);
    return;
  }
  Result = gLanguageLibrary->GetText(gCurrentLanguage, id);
  if (IsNoTranslation(Result)) Result = StripLanguageMarker(Text);
}

void TranslateComponentText(TComponent* Owner, const String& Text, const String& Ident, String& Result) {
  Result = Text;
  if (!gLanguageLibrary) {
    Result = RemoveAllOccurrences(Result, u"!!");
    return;
  }
  bool done = false;
  // Every entry of that identifier is looked at; the last one decides.
  for (int i = 0; Owner && i < Owner->ComponentCount(); ++i) {
    auto* entry = dynamic_cast<TUebersetzungsobject*>(Owner->Components(i));
    if (!entry || entry->Ident != Ident) continue;
    Result = gLanguageLibrary->GetText(gCurrentLanguage, entry->Id);
    if (!IsNoTranslation(Result)) {
      done = true;
    } else {
      Result = RemoveAllOccurrences(gLanguageLibrary->GetText(kSourceLanguage, entry->Id), u"!!");
      done = false;
    }
  }
  if (done || !IsMarked(Text)) return;
  const std::int32_t id = gLanguageLibrary->FindTextId(kSourceLanguage, Text.substr(2));
  if (id <= 0) {
    Result = StripLanguageMarker(Text);
    return;
  }
  // Without an owner there is nobody to keep the entry: translate only.
  if (Owner) {
    auto* entry = new TUebersetzungsobject(Owner);
    entry->Ident = Ident;
    entry->Id = id;
    entry->Text = Text;
  }
  Result = gLanguageLibrary->GetText(gCurrentLanguage, id);
  if (IsNoTranslation(Result)) Result = StripLanguageMarker(Text);
}

void LanguageModule_Initialize() {
  TextTranslationHook = TranslateText;
  ComponentTextTranslationHook = TranslateComponentText;
}

void LanguageModule_Finalize() { gCurrentLanguage.clear(); }

}  // namespace kv
