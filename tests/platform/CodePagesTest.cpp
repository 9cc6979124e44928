#include <gtest/gtest.h>

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
