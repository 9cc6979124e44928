#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "TestUtil.h"
#include "text/KVTypes.h"

using namespace kv;

namespace {
std::vector<String> Items(const TStringList& l) {
  std::vector<String> v;
  for (int i = 0; i < l.Count(); ++i) v.push_back(l.Strings(i));
  return v;
}

// Records every exchange the sort makes.
class RecordingList : public TKVStringList {
 public:
  void Exchange(int a, int b) override {
    moves.emplace_back(a, b);
    TKVStringList::Exchange(a, b);
  }
  std::vector<std::pair<int, int>> moves;
};

int ByText(TKVStringList* l, int a, int b) { return l->Strings(a).compare(l->Strings(b)); }
int AlwaysEqual(TKVStringList*, int, int) { return 0; }
}  // namespace

TEST(KVStringList, IsCaseSensitiveFromTheStart) {
  TKVStringList l;
  l.Add(u"abc");
  EXPECT_TRUE(l.CaseSensitive());
  EXPECT_EQ(l.IndexOf(u"abc"), 0);
  EXPECT_EQ(l.IndexOf(u"ABC"), -1);
  l.SetCaseSensitive(false);
  EXPECT_EQ(l.IndexOf(u"ABC"), 0);
}

TEST(KVStringList, IndexErrorsRaise) {
  TKVStringList l;
  l.Add(u"a");
  EXPECT_THROW(l.Strings(1), EStringListError);
  EXPECT_THROW(l.Strings(-1), EStringListError);
  EXPECT_THROW(l.Delete(5), EStringListError);
  EXPECT_THROW(l.Insert(3, u"x"), EStringListError);
  try {
    l.Strings(7);
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.Message(), u"List index out of bounds (7)");
  }
}

TEST(KVStringList, WritingCountGrowsAndShrinks) {
  TKVStringList l;
  l.SetCount(3);
  EXPECT_EQ(Items(l), (std::vector<String>{u"", u"", u""}));
  l.SetStrings(0, u"x");
  l.SetCount(1);
  EXPECT_EQ(Items(l), std::vector<String>{u"x"});
  l.SetCount(-1);
  EXPECT_EQ(l.Count(), 0);
}

TEST(KVStringList, WritingCountOnASortedListAddsEmptyEntriesInOrder) {
  // The empty entries are duplicates of each other, which a sorted list
  // would otherwise refuse: the count is what was asked for all the same.
  for (TDuplicates d : {TDuplicates::dupIgnore, TDuplicates::dupError, TDuplicates::dupAccept}) {
    TKVStringList l;
    l.SetSorted(true);
    l.SetDuplicates(d);
    l.Add(u"b");
    l.SetCount(3);
    EXPECT_EQ(Items(l), (std::vector<String>{u"", u"", u"b"}));
    int i = -1;
    EXPECT_TRUE(l.Find(u"b", i));
    EXPECT_EQ(i, 2);
    l.SetCount(1);
    EXPECT_EQ(Items(l), std::vector<String>{u""});
  }
}

TEST(KVStringList, ChangeNotificationsAndUpdates) {
  TKVStringList l;
  int changing = 0, changed = 0;
  l.OnChanging = [&](TStringList*) { ++changing; };
  l.OnChange = [&](TStringList*) { ++changed; };
  l.Add(u"a");
  l.Insert(0, u"b");
  l.Exchange(0, 1);
  l.Delete(0);
  EXPECT_EQ(changing, 4);
  EXPECT_EQ(changed, 4);
  l.BeginUpdate();
  l.Add(u"c");
  l.Add(u"d");
  l.EndUpdate();
  EXPECT_EQ(changing, 5);
  EXPECT_EQ(changed, 5);
}

TEST(KVStringListCustomSort, SortsThroughExchange) {
  RecordingList l;
  for (auto s : {u"d", u"a", u"c", u"b", u"e"}) l.Add(s);
  l.CustomSort(&ByText);
  EXPECT_EQ(Items(l), (std::vector<String>{u"a", u"b", u"c", u"d", u"e"}));
  EXPECT_FALSE(l.moves.empty());
}

TEST(KVStringListCustomSort, ExactExchangeSequence) {
  // The quicksort's moves on a small input, worked by hand: pivot "c" at 1.
  RecordingList l;
  for (auto s : {u"b", u"c", u"a"}) l.Add(s);
  l.CustomSort(&ByText);
  EXPECT_EQ(Items(l), (std::vector<String>{u"a", u"b", u"c"}));
  // Pivot "c" at 1: I stops at 1, J at 2; exchange (1,2) and the pivot index
  // follows to 2. Left part 0..1 with pivot "b" at 0: exchange (0,1). Done.
  std::vector<std::pair<int, int>> expected{{1, 2}, {0, 1}};
  EXPECT_EQ(l.moves, expected);
}

TEST(KVStringListCustomSort, SortedOrShortListsStayUntouched) {
  RecordingList one;
  one.Add(u"x");
  int notes = 0;
  one.OnChange = [&](TStringList*) { ++notes; };
  one.CustomSort(&ByText);
  EXPECT_TRUE(one.moves.empty());
  EXPECT_EQ(notes, 0);

  RecordingList sorted;
  sorted.Add(u"b");
  sorted.Add(u"a");
  sorted.SetSorted(true);
  sorted.moves.clear();
  sorted.OnChange = [&](TStringList*) { ++notes; };
  sorted.CustomSort(&ByText);
  EXPECT_TRUE(sorted.moves.empty());
  EXPECT_EQ(notes, 0);
}

TEST(KVStringListCustomSort, AlwaysEqualStillExchangesAndKeepsEntries) {
  RecordingList l;
  for (auto s : {u"3", u"1", u"2", u"1"}) l.Add(s);
  l.CustomSort(&AlwaysEqual);
  EXPECT_FALSE(l.moves.empty());
  auto v = Items(l);
  std::sort(v.begin(), v.end());
  EXPECT_EQ(v, (std::vector<String>{u"1", u"1", u"2", u"3"}));
}

TEST(StringListSorted, FindsAndHandlesDuplicates) {
  TStringList l;
  l.SetSorted(true);
  l.Add(u"pear");
  l.Add(u"apple");
  l.Add(u"fig");
  EXPECT_EQ(Items(l), (std::vector<String>{u"apple", u"fig", u"pear"}));
  EXPECT_EQ(l.Add(u"fig"), 1);  // ignored duplicate
  EXPECT_EQ(l.Count(), 3);
  l.SetDuplicates(TDuplicates::dupError);
  EXPECT_THROW(l.Add(u"fig"), EStringListError);
  l.SetDuplicates(TDuplicates::dupAccept);
  l.Add(u"fig");
  EXPECT_EQ(l.Count(), 4);
  EXPECT_THROW(l.Insert(0, u"x"), EStringListError);
  EXPECT_EQ(l.IndexOf(u"PEAR"), 3);  // the base container ignores case
}

TEST(StringList, NamesValuesAndIndexOfName) {
  TKVStringList l;
  l.Add(u"key=value=more");
  l.Add(u"novalue");
  EXPECT_EQ(l.Names(0), u"key");
  EXPECT_EQ(l.Names(1), u"");
  EXPECT_EQ(l.Values(u"key"), u"value=more");
  EXPECT_EQ(l.IndexOfName(u"key"), 0);
  EXPECT_EQ(l.IndexOfName(u"novalue"), -1);
}

TEST(StringList, AssignAndAddStringsCopyObjects) {
  TKVStringList a, b;
  TKVStringList obj;
  a.AddObject(u"x", &obj);
  a.Add(u"y");
  b.Add(u"old");
  b.Assign(a);
  EXPECT_EQ(Items(b), (std::vector<String>{u"x", u"y"}));
  EXPECT_EQ(b.Objects(0), &obj);
  b.AddStrings(b);
  EXPECT_EQ(b.Count(), 4);
}

TEST(StringList, TextUsesCrLfAndSplitsAnyLineEnd) {
  TKVStringList l;
  l.SetText(u"a\r\nb\nc\rd");
  EXPECT_EQ(Items(l), (std::vector<String>{u"a", u"b", u"c", u"d"}));
  EXPECT_EQ(l.Text(), u"a\r\nb\r\nc\r\nd\r\n");
}

TEST(CommaText, WritesQuotesWhereNeeded) {
  TKVStringList l;
  l.Add(u"plain");
  l.Add(u"with blank");
  l.Add(u"a,b");
  l.Add(u"say \"hi\"");
  l.Add(u"");
  EXPECT_EQ(l.CommaText(), u"plain,\"with blank\",\"a,b\",\"say \"\"hi\"\"\",");
  TKVStringList one;
  one.Add(u"");
  EXPECT_EQ(one.CommaText(), u"\"\"");
}

TEST(CommaText, ParsesQuotesBlanksAndEmptyFields) {
  TKVStringList l;
  l.SetCommaText(u"  a b,\"c, d\" ,,\"e\"\"f\",");
  EXPECT_EQ(Items(l), (std::vector<String>{u"a", u"b", u"c, d", u"", u"e\"f", u""}));
  l.SetCommaText(u"");
  EXPECT_EQ(l.Count(), 0);
  l.SetCommaText(u"\"unterminated");
  EXPECT_EQ(Items(l), std::vector<String>{u"unterminated"});
}

TEST(CommaText, RoundTrips) {
  TKVStringList l, r;
  for (auto s : {u"Segoe UI", u"", u"x\"y", u"1,2", u"\ttab", u"plain"}) l.Add(s);
  r.SetCommaText(l.CommaText());
  EXPECT_EQ(Items(r), Items(l));
}

TEST(SaveToFile, WritesTheEncodingsByteOrderMark) {
  kvtest::TempDir dir;
  TKVStringList l;
  l.Add(u"\u00E4");
  l.SaveToFile(dir.File("u8.txt"), TTextEncoding::UTF8);
  EXPECT_EQ(kvtest::ReadBytes(dir.NativeFile("u8.txt")), "\xEF\xBB\xBF\xC3\xA4\r\n");
  l.SaveToFile(dir.File("u16.txt"), TTextEncoding::Unicode);
  EXPECT_EQ(kvtest::ReadBytes(dir.NativeFile("u16.txt")), kvtest::Utf16Le(u"\u00E4\r\n"));
  l.SaveToFile(dir.File("be.txt"), TTextEncoding::BigEndianUnicode);
  EXPECT_EQ(kvtest::ReadBytes(dir.NativeFile("be.txt")), kvtest::Utf16Be(u"\u00E4\r\n"));
  TKVStringList a;
  a.Add(u"abc");
  a.SaveToFile(dir.File("a.txt"));
  EXPECT_EQ(kvtest::ReadBytes(dir.NativeFile("a.txt")), "abc\r\n");
}
