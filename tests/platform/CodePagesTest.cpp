#include <gtest/gtest.h>

#include <cstdlib>

#include "TestUtil.h"
#include "platform/CodePages.h"
#include "platform/Files.h"
#include "platform/Locale.h"

using namespace kv;
using namespace kv::platform;

TEST(Utf8Decoding, WellFormedTextRoundTrips) {
  String s = u"a\u00E4\u20AC\U0001F600z";
  EXPECT_EQ(DecodeUtf8Lenient(EncodeUtf8(s)), s);
  EXPECT_TRUE(IsValidUtf8(EncodeUtf8(s)));
}

TEST(Utf8Decoding, MalformedSequencesBecomeReplacementCharacters) {
  EXPECT_EQ(DecodeUtf8Lenient("\xC3"), u"\uFFFD");                // truncated
  EXPECT_EQ(DecodeUtf8Lenient("a\xFF" "b"), u"a\uFFFDb");         // invalid byte
  EXPECT_EQ(DecodeUtf8Lenient("\xE2\x82" "x"), u"\uFFFDx");       // truncated three-byte sequence, once
  EXPECT_EQ(DecodeUtf8Lenient("\xC0\xAF"), u"\uFFFD\uFFFD");      // overlong
  EXPECT_EQ(DecodeUtf8Lenient("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_FALSE(IsValidUtf8("\xC3"));
}

TEST(Utf8Encoding, UnpairedSurrogateBecomesReplacementCharacter) {
  EXPECT_EQ(EncodeUtf8(u"\xD800x"), "\xEF\xBF\xBDx");
}

TEST(Windows1252, HighBytesAndUndefinedBytes) {
  EXPECT_EQ(Windows1252ToChar(0x80), u'\u20AC');
  EXPECT_EQ(Windows1252ToChar(0x9F), u'\u0178');
  for (unsigned char b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(Windows1252ToChar(b), b);
  EXPECT_EQ(Windows1252ToChar(0xE4), u'\u00E4');
  EXPECT_EQ(DecodeWindows1252("A\x80"), u"A\u20AC");
}

TEST(Windows1252, LongTextsDecodeAsTheirBytesDo) {
  // ASCII runs go eight bytes at a time: high bytes at every place of such a
  // run, and at both ends, must decode as each byte alone does.
  for (size_t len : {0u, 1u, 7u, 8u, 9u, 16u, 17u, 31u}) {
    for (size_t at = 0; at <= len; ++at) {
      std::string bytes;
      for (size_t i = 0; i < len; ++i) bytes += static_cast<char>('a' + i % 26);
      if (at < len) bytes[at] = static_cast<char>(at % 2 ? 0x80 : 0xE4);
      String expected;
      for (unsigned char b : bytes) expected += Windows1252ToChar(b);
      EXPECT_EQ(DecodeWindows1252(bytes), expected) << "length " << len << ", high byte at " << at;
    }
  }
}

TEST(AnsiCodePage, AsciiAndUmlautsRoundTrip) {
  // Every ANSI code page the program meets holds ASCII; 1252 holds the umlauts.
  EXPECT_EQ(DecodeAnsi("Hello"), u"Hello");
  bool lossy = true;
  EXPECT_EQ(EncodeAnsi(u"Hello", &lossy), "Hello");
  EXPECT_FALSE(lossy);
  if (AnsiCodePage() == 1252) {
    EXPECT_EQ(DecodeAnsi("\xE4"), u"\u00E4");
    EXPECT_EQ(EncodeAnsi(u"\u00E4", &lossy), "\xE4");
  }
}

TEST(AnsiCodePage, UnrepresentableCharacterIsReported) {
  bool lossy = false;
  std::string s = EncodeAnsi(u"\u4E2D", &lossy);
  EXPECT_TRUE(lossy);
  EXPECT_EQ(s.size(), 1u);
}

TEST(OemCodePage, ConvertsToAnsi) {
  EXPECT_EQ(OemBytesToAnsi("abc"), "abc");
  if (OemCodePage() == 850 || OemCodePage() == 437) {
    // 0x84 is a-umlaut in both OEM pages.
    EXPECT_EQ(DecodeAnsi(OemBytesToAnsi("\x84")), u"\u00E4");
    EXPECT_EQ(AnsiBytesToOem(EncodeAnsi(u"\u00E4")), "\x84");
  }
}

TEST(Casing, LinguisticUpperCase) {
  const char16_t* up = UpperCaseTable();
  EXPECT_EQ(up[u'a'], u'A');
  EXPECT_EQ(up[u'\u00E4'], u'\u00C4');
  EXPECT_EQ(up[u'\u00FC'], u'\u00DC');
  EXPECT_EQ(up[u'\\'], u'\\');
  EXPECT_EQ(up[0xD800], 0xD800);
  EXPECT_EQ(LowerCaseTable()[u'A'], u'a');
}

TEST(Casing, ShortTextsMappedWithoutTheTablesGiveWhatTheTablesGive) {
  // Before a table is built a short text goes through the system's casing
  // directly; that must be the table's mapping, unit by unit, everywhere
  // below and above the surrogates, whatever stands around a unit.
  for (bool upper : {true, false}) {
    const char16_t* table = upper ? UpperCaseTable() : LowerCaseTable();
    std::uint32_t seed = 12345;
    for (unsigned from = 1; from < 0x10000; from += 199) {
      String run;
      for (unsigned c = from; c < from + 199 && c < 0x10000; ++c) {
        seed = seed * 1103515245u + 12345u;
        const char16_t unit = static_cast<char16_t>(c >= 0xD800 && c <= 0xDFFF ? 1 + (seed >> 16) % 0xD7FF : c);
        run += unit;
      }
      String mapped(run.size(), u'\0');
      ASSERT_TRUE(MapCaseRun(upper, run.data(), mapped.data(), static_cast<int>(run.size())));
      for (size_t i = 0; i < run.size(); ++i)
        ASSERT_EQ(mapped[i], table[run[i]]) << (upper ? "upper" : "lower") << " case of U+" << std::hex << int(run[i]);
    }
    EXPECT_EQ(upper ? LocaleUpperCase(u"bds.Exe \u00E4") : LocaleLowerCase(u"BDS.eXE \u00C4"),
              upper ? u"BDS.EXE \u00C4" : u"bds.exe \u00E4");
  }
}

TEST(Casing, ACasedTextIsToldAsCasingItWould) {
  // Every text of a few letters against the cased forms it could match:
  // the quick answers must be those of casing the text.
  const String letters = u"aBiI\u00E4\u00C4k\u212A.";
  for (bool upper : {true, false}) {
    for (const String cased : {u"BDS", u"bds", u"IK\u00C4", u"ik\u00E4", u"\u0130K", u"AI."}) {
      for (char16_t a : letters)
        for (char16_t b : letters)
          for (char16_t c : letters) {
            const String s{a, b, c};
            const String mapped = upper ? LocaleUpperCase(s) : LocaleLowerCase(s);
            ASSERT_EQ(CasedTextIs(s, cased, upper), mapped == cased)
                << (upper ? "upper" : "lower") << " case of " << ToUtf8(s) << " against " << ToUtf8(cased);
          }
    }
    EXPECT_FALSE(CasedTextIs(u"Autorun", u"bds.exe", upper));
  }
  EXPECT_TRUE(CasedTextIs(u"BDS.exe", u"bds.exe", false));
  EXPECT_TRUE(CasedTextIs(u"lbx.Exe", u"LBX.EXE", true));
}

TEST(Casing, AFailureOfTheSystemsCasingIsRaised) {
  // A table that silently kept every letter would make name comparison
  // case-sensitive without anyone noticing.
  const CaseMapRun failing = [](const char16_t*, char16_t*, int) {
    SetLastError(87);
    return false;
  };
  try {
    BuildCaseTable(failing);
    FAIL() << "no exception";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), 87u);
    EXPECT_NE(e.Message().find(u"letter case"), String::npos);
  }
  const CaseMapRun shifting = [](const char16_t* s, char16_t* t, int n) {
    for (int i = 0; i < n; ++i) t[i] = static_cast<char16_t>(s[i] + 1);
    return true;
  };
  const auto table = BuildCaseTable(shifting);
  EXPECT_EQ(table[0], 0);
  EXPECT_EQ(table[u'a'], u'b');
  EXPECT_EQ(table[0xD7FF], 0xD800);
  EXPECT_EQ(table[0xD800], 0xD800);  // surrogates stay
  EXPECT_EQ(table[0xDFFF], 0xDFFF);
  EXPECT_EQ(table[0xE000], 0xE001);
}

TEST(Collation, CaseVariantsStandTogether) {
  EXPECT_EQ(CompareStringLocale(u"abc", u"ABC", true), 0);
  EXPECT_NE(CompareStringLocale(u"abc", u"ABC", false), 0);
  // Names differing only in case sort next to each other, before the next letter.
  EXPECT_LT(CompareStringLocale(u"Name", u"other", false), 0);
  EXPECT_LT(CompareStringLocale(u"name", u"Other", false), 0);
  EXPECT_LT(CompareStringLocale(u"a", u"b", false), 0);
  EXPECT_GT(CompareStringLocale(u"b", u"a", false), 0);
}

#ifndef _WIN32
TEST(LocaleFormats, TheCLocaleGivesTheDefaultsWithoutLoadingOne) {
  // A C environment takes a shortcut; an environment naming a locale that is
  // not installed falls back to C.UTF-8 by way of the loaded locale. Both
  // must give the same formats.
  const char* old = std::getenv("LC_ALL");
  std::string saved = old ? old : "";
  // The loaded locale is the process's first one: under a real user locale
  // the comparison means nothing.
  for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* v = std::getenv(var);
    std::string name = v ? v : "";
    if (!name.empty() && name != "C" && name != "POSIX" && name.rfind("C.", 0) != 0)
      GTEST_SKIP() << var << " names the locale " << name;
  }
  kvtest::SetEnv("LC_ALL", "C");
  LocaleFormats quick = UserLocaleFormats();
  kvtest::SetEnv("LC_ALL", "zz_ZZ.UTF-8");
  LocaleFormats loaded = UserLocaleFormats();
  kvtest::SetEnv("LC_ALL", saved);
  EXPECT_EQ(quick.ShortDateFormat, loaded.ShortDateFormat);
  EXPECT_EQ(quick.LongTimeFormat, loaded.LongTimeFormat);
  EXPECT_EQ(quick.ShortTimeFormat, loaded.ShortTimeFormat);
  EXPECT_EQ(quick.DecimalSeparator, loaded.DecimalSeparator);
  EXPECT_EQ(quick.ThousandSeparator, loaded.ThousandSeparator);
  EXPECT_EQ(quick.DateSeparator, loaded.DateSeparator);
  EXPECT_EQ(quick.TimeAMString, loaded.TimeAMString);
}
#endif
