// The language module: the current language, the attached language library,
// and the two translators it installs into the process-wide hooks.
//
// Translatable texts carry the marker "!!" in front ("!!Abbrechen"). Without
// a language library, or for a text the library does not hold, a marked text
// becomes its German source without the marker.
#pragma once

#include <cstdint>

#include "platform/Base.h"
#include "toolkit/Classes.h"

namespace kv {

// What the translators ask of a language library.
class TLanguageLibrary {
 public:
  virtual ~TLanguageLibrary() = default;
  // The number of Text in Language; 0 or less when the library lacks it.
  virtual std::int32_t FindTextId(const String& Language, const String& Text) = 0;
  // The text of that number in Language; Language + "?" or + "??" when
  // there is no translation.
  virtual String GetText(const String& Language, std::int32_t Id) = 0;
};

using TTextTranslationHook = void (*)(const String& Text, bool Flag, String& Result);
using TComponentTextTranslationHook = void (*)(TComponent* Owner, const String& Text, const String& Ident,
                                               String& Result);

// Set at module start; null before.
extern TTextTranslationHook TextTranslationHook;
extern TComponentTextTranslationHook ComponentTextTranslationHook;

// The attached library (not owned); nothing in the program attaches one.
TLanguageLibrary* LanguageLibrary();
void SetLanguageLibrary(TLanguageLibrary* Library);

void SetLanguage(const String& Code);
String GetLanguage();
// Text without its first two characters; empty for shorter texts.
String StripLanguageMarker(StringView Text);

// The plain text translator; Flag is accepted and not used.
void TranslateText(const String& Text, bool Flag, String& Result);
// The translator of a control's text: the library number of a marked text
// is remembered under Ident in a TUebersetzungsobject owned by Owner, so that
// the text can be translated again after it lost its marker.
void TranslateComponentText(TComponent* Owner, const String& Text, const String& Ident, String& Result);

// One remembered translation, owned by the component whose text it is.
class TUebersetzungsobject : public TComponent {
 public:
  using TComponent::TComponent;
  String Ident;
  std::int32_t Id = 0;
  String Text;
};

// Start: both hooks installed. Stop: the current language cleared.
void LanguageModule_Initialize();
void LanguageModule_Finalize();

}  // namespace kv
