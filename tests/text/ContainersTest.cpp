// The text map and the two-dimensional text table with its sort.
#include <gtest/gtest.h>

#include "text/_4all.h"

using namespace kv;

TEST(MapStrToStrTest, KeysAreUniqueSortedAndCaseSensitive) {
  TMapStrToStr m;
  EXPECT_TRUE(m.Sorted());
  m.SetValue(u"b", u"2");
  m.SetValue(u"A", u"1");
  m.SetValue(u"c", u"");
  m.SetValue(u"b", u"two");
  EXPECT_EQ(m.Count(), 3);
  EXPECT_EQ(m.GetKey(0), u"A");
  EXPECT_EQ(m.GetKey(1), u"b");
  EXPECT_EQ(m.GetKey(3), u"");
  EXPECT_EQ(m.GetKey(-1), u"");
  EXPECT_EQ(m.GetValueByKey(u"b", u"?"), u"two");
  EXPECT_EQ(m.GetValueByKey(u"a", u"?"), u"?");
  String v = u"untouched";
  EXPECT_FALSE(m.GetValue(u"B", v));
  EXPECT_EQ(v, u"untouched");
  EXPECT_TRUE(m.GetValue(u"c", v));
  EXPECT_EQ(v, u"");

  m.Delete(7);
  m.Delete(u"missing");
  EXPECT_EQ(m.Count(), 3);
  m.Delete(u"A");
  m.Delete(0);
  EXPECT_EQ(m.Count(), 1);
  EXPECT_EQ(m.GetKey(0), u"c");

  // Unsorted: a linear search still finds every key.
  m.SetSorted(false);
  m.SetValue(u"a", u"x");
  EXPECT_EQ(m.GetValueByKey(u"a", u""), u"x");
  m.Clear();
  EXPECT_EQ(m.Count(), 0);
}

TEST(MapStrToStrTest, UnsortingKeepsTheSortedOrderReachedSoFar) {
  // Keys added while sorted stand in key order once the map is unsorted,
  // whether or not a position was asked for in between; later keys follow.
  TMapStrToStr m;
  m.SetValue(u"b", u"2");
  m.SetValue(u"a", u"1");
  m.SetSorted(false);
  EXPECT_EQ(m.GetKey(0), u"a");
  EXPECT_EQ(m.GetKey(1), u"b");
  m.SetValue(u"0", u"0");
  EXPECT_EQ(m.GetKey(2), u"0");
  m.SetSorted(true);
  EXPECT_EQ(m.GetKey(0), u"0");
  m.Delete(0);
  EXPECT_EQ(m.GetValueByKey(u"0", u"gone"), u"gone");
}

namespace {

String CellError(const T2DStringArray& t, int c, int r) {
  try {
    t.Cells(c, r);
  } catch (const Exception& e) {
    return e.Message();
  }
  return u"no error";
}

}  // namespace

TEST(StringArrayTest, LazyRowsAndShape) {
  T2DStringArray t;
  EXPECT_EQ(t.ColCount(), 0);
  EXPECT_EQ(t.RowCount(), 0);
  t.Add(std::vector<String>{u"a", u"b", u"c"});
  EXPECT_EQ(t.ColCount(), 3);
  EXPECT_EQ(t.RowCount(), 1);

  t.SetRowCount(3);
  t.SetCells(1, 1, u"");
  EXPECT_EQ(t.Cells(1, 1), u"");
  EXPECT_EQ(t.IndexOf(std::vector<String>{u"", u"", u"", u""}), 1);
  EXPECT_EQ(t.IndexOf(std::vector<String>{u"a"}), 0);
  EXPECT_EQ(t.IndexOf(std::vector<String>{u"a", u"x"}), -1);
  TStringList search;
  search.Add(u"a");
  search.Add(u"b");
  EXPECT_EQ(t.IndexOf(search), 0);

  EXPECT_EQ(CellError(t, 3, 0), u"T2DStringArray, Indexfehler Col: Wert 3 liegt nicht zwischen 0 und 2");
  EXPECT_EQ(CellError(t, -1, 9), u"T2DStringArray, Indexfehler Col: Wert -1 liegt nicht zwischen 0 und 2");
  EXPECT_EQ(CellError(t, 0, 3), u"T2DStringArray, Indexfehler Row: Wert 3 liegt nicht zwischen 0 und 2");
  EXPECT_THROW(t.SetCells(0, -1, u"x"), Exception);

  // Cutting the width loses the cut cells for good.
  t.SetColCount(1);
  t.SetColCount(3);
  EXPECT_EQ(t.Cells(0, 0), u"a");
  EXPECT_EQ(t.Cells(1, 0), u"");

  // Wider rows widen the table; other tables append all their rows.
  t.Add(std::vector<String>{u"1", u"2", u"3", u"4"});
  EXPECT_EQ(t.ColCount(), 4);
  EXPECT_EQ(t.Cells(3, 3), u"4");
  T2DStringArray other;
  other.Add(std::vector<String>{u"x"});
  other.Add(other);
  EXPECT_EQ(other.RowCount(), 2);
  t.Add(other);
  EXPECT_EQ(t.RowCount(), 6);
  EXPECT_EQ(t.Cells(0, 5), u"x");
}

TEST(StringArrayTest, InsertDeleteClear) {
  T2DStringArray t;
  t.Add(std::vector<String>{u"r0"});
  t.Add(std::vector<String>{u"r1"});
  t.Insert(1, {u"new", u"wide"});
  EXPECT_EQ(t.RowCount(), 3);
  EXPECT_EQ(t.ColCount(), 2);
  EXPECT_EQ(t.Cells(0, 1), u"new");
  EXPECT_EQ(t.Cells(0, 2), u"r1");
  EXPECT_EQ(t.Cells(1, 2), u"");
  EXPECT_THROW(t.Insert(4, {u"x"}), Exception);
  EXPECT_EQ(t.RowCount(), 3);

  t.Delete(-1);
  t.Delete(3);
  EXPECT_EQ(t.RowCount(), 3);
  t.Delete(0);
  EXPECT_EQ(t.Cells(0, 0), u"new");
  t.Delete(1);
  EXPECT_EQ(t.RowCount(), 1);
  t.Clear();
  EXPECT_EQ(t.RowCount(), 0);
  EXPECT_EQ(t.ColCount(), 2);
}

TEST(StringArrayTest, SortByColumnsKindsAndDirections) {
  T2DStringArray t;
  t.Add(std::vector<String>{u"b", u"10"});
  t.Add(std::vector<String>{u"a", u"2"});
  t.Add(std::vector<String>{u"b", u"2"});
  t.SetRowCount(4);  // a row without text sorts first by text
  t.Sort({0, 1});
  EXPECT_EQ(t.Cells(0, 0), u"");
  EXPECT_EQ(t.Cells(0, 1), u"a");
  EXPECT_EQ(t.Cells(1, 2), u"10");  // text order: "10" before "2"
  t.Sort({0, 1}, {feNormal, feAutomatic});
  EXPECT_EQ(t.Cells(1, 2), u"2");
  t.Sort({0, 7, 1}, {feNormal, feNormal, feZahl}, {true, false, true});
  EXPECT_EQ(t.Cells(0, 0), u"b");
  EXPECT_EQ(t.Cells(1, 0), u"10");
  EXPECT_EQ(t.Cells(0, 3), u"");

  T2DStringArraySortObject s(t, {0}, {}, {});
  s.Sort();  // the rows are in descending order: ascending needs exchanges
  EXPECT_EQ(s.Count(), 4);
  EXPECT_GT(s.iSwap, 0);
  EXPECT_THROW(T2DStringArraySortObject(t, std::vector<int>(257, 0), {}, {}), Exception);
}
