// The translators with and without a language library, and the translation
// through the hook in another language.
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "localisation/KVTranslate.h"
#include "localisation/_LanguageDLL.h"

using namespace kv;

namespace {

// A library of a few texts: German sources, English and French answers.
class TestLibrary : public TLanguageLibrary {
 public:
  std::int32_t FindTextId(const String& Language, const String& Text) override {
    ++Lookups;
    EXPECT_EQ(Language, u"DE");
    for (const auto& [id, texts] : Texts)
      if (texts.at(u"DE") == Text) return id;
    return 0;
  }
  String GetText(const String& Language, std::int32_t Id) override {
    if (Language == u"XX") throw std::runtime_error("library failure");
    const auto& texts = Texts.at(Id);
    const auto it = texts.find(Language);
    return it == texts.end() ? Language + (Id % 2 ? u"?" : u"??") : it->second;
  }
  std::map<std::int32_t, std::map<String, String>> Texts = {
      {1, {{u"DE", u"Abbrechen"}, {u"EN", u"Cancel"}, {u"FR", u"Annuler"}}},
      {2, {{u"DE", u"Schlie\u00DFen"}, {u"EN", u"Close"}}},
      {3, {{u"DE", u"!!Hilfe"}}},
  };
  int Lookups = 0;
};

class TranslationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LanguageModule_Initialize();
    TranslationModule_Initialize();
  }
  void TearDown() override {
    SetLanguageLibrary(nullptr);
    TranslationModule_Finalize();
    LanguageModule_Finalize();
  }
  String Text(const String& t) {
    String r = u"unset";
    TextTranslationHook(t, true, r);
    return r;
  }
  String ComponentText(TComponent* owner, const String& t, const String& ident) {
    String r = u"unset";
    ComponentTextTranslationHook(owner, t, ident, r);
    return r;
  }
};

}  // namespace

TEST_F(TranslationTest, WithoutALibraryTheGermanTextLosesItsMarker) {
  EXPECT_EQ(GetLanguage(), u"DE");
  EXPECT_EQ(Text(u"!!Abbrechen"), u"Abbrechen");
  EXPECT_EQ(Text(u"OK"), u"OK");
  EXPECT_EQ(Text(u"!"), u"!");
  EXPECT_EQ(Text(u""), u"");
  EXPECT_EQ(Text(u"a!!b"), u"a!!b");
  TComponent owner(nullptr);
  EXPECT_EQ(ComponentText(&owner, u"a!!b!!", u"Label1"), u"ab");
  EXPECT_EQ(owner.ComponentCount(), 0);
  EXPECT_EQ(StripLanguageMarker(u"x"), u"");
  EXPECT_EQ(StripLanguageMarker(u"ab"), u"");
  EXPECT_EQ(ShortDayNames[0], u"!!So");
  EXPECT_EQ(MonthNames[2], u"!!M\u00E4rz");
  String r;
  TranslateWithLanguage(MonthNames[11], u"", true, r);
  EXPECT_EQ(r, u"Dezember");
}

TEST_F(TranslationTest, TextTranslatorWithALibrary) {
  TestLibrary lib;
  SetLanguageLibrary(&lib);
  SetLanguage(u"EN");
  EXPECT_EQ(Text(u"!!Abbrechen"), u"Cancel");
  EXPECT_EQ(Text(u"!!Unbekannt"), u"Unbekannt");  // not in the library
  EXPECT_EQ(Text(u"Abbrechen"), u"Abbrechen");    // not marked: not looked up
  SetLanguage(u"FR");
  EXPECT_EQ(Text(u"!!Schlie\u00DFen"), u"Schlie\u00DFen");  // "FR??" means none
  EXPECT_EQ(Text(u"!!Abbrechen"), u"Annuler");
}

TEST_F(TranslationTest, TranslateWithLanguageRestoresTheLanguage) {
  TestLibrary lib;
  SetLanguageLibrary(&lib);
  String r;
  TranslateWithLanguage(u"!!Abbrechen", u"EN", true, r);
  EXPECT_EQ(r, u"Cancel");
  EXPECT_EQ(GetLanguage(), u"DE");
  SetLanguage(u"FR");
  TranslateWithLanguage(u"!!Abbrechen", u"", true, r);
  EXPECT_EQ(r, u"Annuler");
  EXPECT_THROW(TranslateWithLanguage(u"!!Abbrechen", u"XX", true, r), std::runtime_error);
  EXPECT_EQ(GetLanguage(), u"FR");
}

TEST_F(TranslationTest, ComponentTranslatorRemembersEntries) {
  TestLibrary lib;
  SetLanguageLibrary(&lib);
  SetLanguage(u"EN");
  TComponent form(nullptr);

  // Translated: the second call uses the entry of the first and adds none.
  EXPECT_EQ(ComponentText(&form, u"!!Abbrechen", u"Button1"), u"Cancel");
  ASSERT_EQ(form.ComponentCount(), 1);
  auto* entry = dynamic_cast<TUebersetzungsobject*>(form.Components(0));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->Ident, u"Button1");
  EXPECT_EQ(entry->Id, 1);
  EXPECT_EQ(entry->Text, u"!!Abbrechen");
  const int lookups = lib.Lookups;
  EXPECT_EQ(ComponentText(&form, u"!!Abbrechen", u"Button1"), u"Cancel");
  EXPECT_EQ(form.ComponentCount(), 1);
  EXPECT_EQ(lib.Lookups, lookups);
  // The text has lost its marker by now; the entry still translates it.
  SetLanguage(u"FR");
  EXPECT_EQ(ComponentText(&form, u"Cancel", u"Button1"), u"Annuler");

  // Untranslated: the German text, and a further entry on every call.
  EXPECT_EQ(ComponentText(&form, u"!!Schlie\u00DFen", u"Button2"), u"Schlie\u00DFen");
  EXPECT_EQ(ComponentText(&form, u"!!Schlie\u00DFen", u"Button2"), u"Schlie\u00DFen");
  EXPECT_EQ(form.ComponentCount(), 3);
  // The first call strips only the leading marker; through the entry the
  // German text loses every marker.
  SetLanguage(u"EN");
  EXPECT_EQ(ComponentText(&form, u"!!!!Hilfe", u"Help"), u"!!Hilfe");
  EXPECT_EQ(ComponentText(&form, u"x", u"Help"), u"Hilfe");
  // Unknown marked text: only the marker goes, no entry.
  EXPECT_EQ(ComponentText(&form, u"!!Fremd", u"Other"), u"Fremd");
  EXPECT_EQ(form.ComponentCount(), 4);
  // No owner to keep an entry: translated all the same.
  EXPECT_EQ(ComponentText(nullptr, u"!!Abbrechen", u"Button1"), u"Cancel");
}

TEST_F(TranslationTest, ModuleStopClearsTheState) {
  TranslationModule_Finalize();
  EXPECT_EQ(ShortDayNames[0], u"");
  LanguageModule_Finalize();
  EXPECT_EQ(GetLanguage(), u"");
}
