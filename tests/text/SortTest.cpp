// The sort engine, natural sort keys, comparisons by column kind and the text
// utilities.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "text/KVTypes.h"
#include "text/SysUtils.h"
#include "text/_4Sort.h"
#include "text/_4all.h"

using namespace kv;

namespace {

// Sorts a vector of texts by a column kind, recording every call.
class VectorSort : public TSortObject {
 public:
  VectorSort(std::vector<String> v, enFeldTyp kind) : Items(std::move(v)), Kind(kind) {}
  void Swap(int a, int b) override {
    TSortObject::Swap(a, b);
    std::swap(Items[a], Items[b]);
  }
  int Comp(int a, int b) override {
    TSortObject::Comp(a, b);
    return CompareByFieldType(Items[a], Items[b], Kind);
  }
  int Count() override {
    ++CountCalls;
    return static_cast<int>(Items.size());
  }
  std::vector<String> Items;
  enFeldTyp Kind;
  int CountCalls = 0;
};

std::vector<String> Sorted(std::vector<String> v, enFeldTyp kind) {
  VectorSort s(std::move(v), kind);
  s.Sort();
  return s.Items;
}

}  // namespace

TEST(SortObjectTest, CountersAndTheSortedShortcut) {
  VectorSort none({}, feNormal);
  none.Sort();
  VectorSort one({u"x"}, feNormal);
  one.Sort();
  for (auto* s : {&none, &one}) {
    EXPECT_EQ(s->iCompares, 0);
    EXPECT_EQ(s->iSwap, 0);
    EXPECT_EQ(s->CountCalls, 1);
  }

  VectorSort ordered({u"a", u"b", u"b", u"c", u"d"}, feNormal);
  ordered.Sort();
  EXPECT_EQ(ordered.iSwap, 0);
  EXPECT_EQ(ordered.iCompares, 4);

  TSortObject base;
  try {
    base.Sort();
    FAIL() << "Count of the base must raise";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"Virtuelle Function wurde aufgerufen");
  }
}

TEST(SortObjectTest, HeapSortOrdersEveryPermutationAndMovesOnlyThroughSwap) {
  std::vector<String> v = {u"e", u"a", u"d", u"b", u"c", u"f"};
  std::sort(v.begin(), v.end());
  do {
    VectorSort s(v, feNormal);
    s.Sort();
    ASSERT_TRUE(std::is_sorted(s.Items.begin(), s.Items.end())) << "from " << ToUtf8(v[0] + v[1] + v[2]);
  } while (std::next_permutation(v.begin(), v.end()));

  // Duplicates and a reversed sequence keep their multiset.
  std::vector<String> many;
  for (int i = 0; i < 200; ++i) many.push_back(String(1, char16_t(u'a' + (i * 7) % 13)));
  auto expected = many;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Sorted(many, feNormal), expected);
}

TEST(NaturalSortTest, NumbersCompareByValue) {
  EXPECT_EQ(Sorted({u"Datei 10", u"Datei 2", u"Datei 1"}, feAutomatic),
            (std::vector<String>{u"Datei 1", u"Datei 2", u"Datei 10"}));
  EXPECT_EQ(Sorted({u"Datei 10", u"Datei 2"}, feNormal), (std::vector<String>{u"Datei 10", u"Datei 2"}));

  // A sign at the start or after a blank, ",", "." or ";"; larger magnitudes first.
  EXPECT_EQ(Sorted({u"0", u"-1", u"3", u"-5"}, feAutomatic), (std::vector<String>{u"-5", u"-1", u"0", u"3"}));
  EXPECT_EQ(Sorted({u"x -1", u"x 0", u"x -5"}, feAutomatic), (std::vector<String>{u"x -5", u"x -1", u"x 0"}));
  // After a letter the "-" is a hyphen: the number keeps its positive key.
  EXPECT_EQ(BuildNaturalSortKey(u"a-5"), u"a-10000000000005");
  EXPECT_EQ(BuildNaturalSortKey(u"-5"), u"09999999999995");
  EXPECT_EQ(BuildNaturalSortKey(u"x;-0"), u"x;-10000000000000");

  // 13 digits are a number, 14 are copied as text.
  EXPECT_EQ(BuildNaturalSortKey(u"n9999999999999"), u"n19999999999999");
  EXPECT_EQ(BuildNaturalSortKey(u"n12345678901234"), u"n12345678901234");
  EXPECT_EQ(BuildNaturalSortKey(u""), u"");
  EXPECT_EQ(BuildNaturalSortKey(u"v1.2"), u"v10000000000001.10000000000002");
}

TEST(NaturalSortTest, KeysAreCachedPerSortObject) {
  TSortObject s;
  EXPECT_EQ(s.GetCachedSortKey(u"a1"), u"a10000000000001");
  EXPECT_EQ(s.AutoStringCache->Count(), 1);
  s.GetCachedSortKey(u"a1");
  EXPECT_EQ(s.AutoStringCache->Count(), 1);
  EXPECT_EQ(s.AutoStringCache->GetValueByKey(u"a1", u"?"), u"a10000000000001");
}

TEST(NaturalSortTest, FieldKinds) {
  TSortObject s;
  const TFormatSettings saved = FormatSettings();
  FormatSettings().DecimalSeparator = u',';
  EXPECT_EQ(s.CompareByFieldType(u"2,5", u"10", feZahl), -1);
  EXPECT_EQ(s.CompareByFieldType(u"", u"-1", feZahl), 1);   // empty is 0
  EXPECT_EQ(s.CompareByFieldType(u"", u"0", feZahl), 0);
  EXPECT_EQ(s.CompareByFieldType(u"abc", u"5", feZahl), 0);  // unreadable: equal
  EXPECT_TRUE(IsNumberText(u"1,5"));
  EXPECT_FALSE(IsNumberText(u"1.5"));
  EXPECT_FALSE(IsNumberText(u""));
  FormatSettings() = saved;

  EXPECT_EQ(s.CompareByFieldType(u"abc", u"ABC", feNormal), 0);
  EXPECT_EQ(s.CompareByFieldType(u"abc", u"ABC", feSortDate), 0);
  EXPECT_EQ(s.CompareByFieldType(u"abc", u"ABC", feBinary), 1);
  EXPECT_EQ(s.CompareByFieldType(u"Ärger", u"Aerger", feNormal), 1);
  EXPECT_EQ(s.CompareByFieldType(u"b2", u"B10", feSortEnum), -1);
  EXPECT_EQ(s.CompareByFieldType(u"x", u"y", static_cast<enFeldTyp>(99)), -1);
}

TEST(TextUtilitiesTest, CuttingRemovingReplacing) {
  EXPECT_EQ(TextBeforeChar(u"key=value", u'='), u"key");
  EXPECT_EQ(TextBeforeChar(u"novalue", u'='), u"");
  EXPECT_EQ(TextAfterChar(u"key=value=x", u'='), u"value=x");
  EXPECT_EQ(TextAfterChar(u"novalue", u'='), u"novalue");
  EXPECT_EQ(RemoveAllOccurrences(u"!!!", u"!!"), u"!");
  EXPECT_EQ(RemoveAllOccurrences(u"aabbb", u"ab"), u"b");  // each removal forms a new "ab"
  EXPECT_EQ(RemoveAllOccurrences(u"x", u""), u"x");
  EXPECT_EQ(RemoveChar(u"a-b-c", u'-'), u"abc");
  EXPECT_EQ(ReplaceText(u"Abc abc", u"ABC", u"x", true), u"x x");
  EXPECT_EQ(ReplaceText(u"Abc abc", u"abc", u"x", false), u"Abc x");
  EXPECT_TRUE(HasWildcards(u"*.log"));
  EXPECT_TRUE(HasWildcards(u"a?"));
  EXPECT_FALSE(HasWildcards(u"a.log"));
  EXPECT_TRUE(AllEmpty({}));
  EXPECT_TRUE(AllEmpty({u"", u""}));
  EXPECT_FALSE(AllEmpty(std::vector<String>{u"", u"x"}));
  TStringList list;
  EXPECT_TRUE(AllEmpty(list));
  list.Add(u"one");
  EXPECT_EQ(JoinListItems(list, u";", true), u"one;");
  list.Add(u"two");
  EXPECT_EQ(JoinListItems(list, u", ", false), u"one, two");
  EXPECT_EQ(JoinListItems(TStringList(), u";", true), u"");
}

TEST(TextUtilitiesTest, CharacterPatterns) {
  EXPECT_TRUE(CharMatchesPatterns(u'5', {u"0..9"}));
  EXPECT_FALSE(CharMatchesPatterns(u'a', {u"0..9"}));
  EXPECT_TRUE(CharMatchesPatterns(u'a', {u"", u"0..9", u"a"}));
  EXPECT_TRUE(CharMatchesPatterns(u'\x01', {u"..A"}));
  EXPECT_FALSE(CharMatchesPatterns(u'B', {u"..A"}));
  EXPECT_TRUE(CharMatchesPatterns(u'\xFFFF', {u"z.."}));
  EXPECT_FALSE(CharMatchesPatterns(u'y', {u"z.."}));
  EXPECT_TRUE(CharMatchesPatterns(u'c', {u"abc"}));
  EXPECT_TRUE(CharMatchesPatterns(u'.', {u"a.b"}));  // not a range: a list
  EXPECT_TRUE(CharMatchesPatterns(u'e', {u"abcde"}));
  EXPECT_FALSE(CharMatchesPatterns(u'x', {}));
  EXPECT_EQ(LastIndexOfMatchingChar(u"\\/", u"C:\\dir/file"), 7);
  EXPECT_EQ(LastIndexOfMatchingChar(u"\\/", u"file"), 0);
}

TEST(TextUtilitiesTest, GuidsDatesAndCodePages) {
  const String g = NewGuidString();
  EXPECT_EQ(g.size(), 32u);
  EXPECT_EQ(std::count_if(g.begin(), g.end(), [](char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'); }),
            32);
  EXPECT_NE(g, NewGuidString());

  const TFormatSettings saved = FormatSettings();
  FormatSettings().TimeSeparator = u'.';
  EXPECT_EQ(DateTimeToSortableText(*TryEncodeDate(2024, 3, 7) + *TryEncodeTime(9, 5, 2, 0)), u"2024-03-07 09.05.02");
  FormatSettings() = saved;

  SortModule_Initialize();
  EXPECT_EQ(DecodeWindows1252("\x80\x81\x9F\xE4" "A"), String(u"\u20AC\u0081\u0178\u00E4A"));
  EXPECT_EQ(DecodeWindows1252("\x8D\x8F\x90\x9D"), String(u"\u008D\u008F\u0090\u009D"));
  const std::string ansi = "Gr\xFC\xDF";
  EXPECT_EQ(OemToAnsiText(AnsiToOemText(ansi)), ansi);
  EXPECT_EQ(AnsiToOemText(ansi).size(), ansi.size());
}
