#include <gtest/gtest.h>

#include "text/SysUtils.h"

using namespace kv;

TEST(TryStrToInt, DecimalAndHexadecimal) {
  EXPECT_EQ(TryStrToInt(u"12"), 12);
  EXPECT_EQ(TryStrToInt(u" 12"), 12);
  EXPECT_EQ(TryStrToInt(u"-7"), -7);
  EXPECT_EQ(TryStrToInt(u"$1F"), 31);
  EXPECT_EQ(TryStrToInt(u"0x1F"), 31);
  EXPECT_EQ(TryStrToInt(u"X10"), 16);
  EXPECT_EQ(TryStrToInt(u"$FFFFFFFF"), -1);
  EXPECT_EQ(TryStrToInt(u"2147483647"), 2147483647);
  EXPECT_EQ(TryStrToInt(u"-2147483648"), -2147483647 - 1);
}

TEST(TryStrToInt, RejectsAnythingElse) {
  for (auto s : {u"", u"12abc", u"12 ", u"abc", u"$", u"0x", u"-", u"2147483648", u"$100000000", u"1.5"})
    EXPECT_FALSE(TryStrToInt(s).has_value()) << ToUtf8(s);
}

TEST(TryStrToFloat, UsesTheDecimalSeparator) {
  TFormatSettings fs;
  fs.DecimalSeparator = u',';
  EXPECT_DOUBLE_EQ(*TryStrToFloat(u"1,5", fs), 1.5);
  EXPECT_FALSE(TryStrToFloat(u"1.5", fs).has_value());
  fs.DecimalSeparator = u'.';
  EXPECT_DOUBLE_EQ(*TryStrToFloat(u" -2.5E2 ", fs), -250.0);
  EXPECT_FALSE(TryStrToFloat(u"", fs).has_value());
  EXPECT_FALSE(TryStrToFloat(u"1e", fs).has_value());
  EXPECT_FALSE(TryStrToFloat(u"abc", fs).has_value());
}

TEST(Dates, EncodeAndDecode) {
  EXPECT_DOUBLE_EQ(*TryEncodeDate(1899, 12, 30), 0.0);
  EXPECT_DOUBLE_EQ(*TryEncodeDate(1900, 1, 1), 2.0);
  EXPECT_DOUBLE_EQ(*TryEncodeDate(2000, 3, 1), 36586.0);
  EXPECT_FALSE(TryEncodeDate(2023, 2, 29).has_value());
  int y, m, d;
  DecodeDate(36586.0, y, m, d);
  EXPECT_EQ(y, 2000);
  EXPECT_EQ(m, 3);
  EXPECT_EQ(d, 1);
  DecodeDate(-1.0, y, m, d);
  EXPECT_EQ(y, 1899);
  EXPECT_EQ(d, 29);
}

TEST(Dates, ParseInTheOrderOfTheShortDateFormat) {
  TFormatSettings de;
  de.DateSeparator = u'.';
  de.ShortDateFormat = u"dd.MM.yyyy";
  EXPECT_DOUBLE_EQ(*TryStrToDate(u"01.03.2000", de), 36586.0);
  EXPECT_FALSE(TryStrToDate(u"31.02.2000", de).has_value());
  EXPECT_FALSE(TryStrToDate(u"03/01/2000", de).has_value());
  TFormatSettings us;
  EXPECT_DOUBLE_EQ(*TryStrToDate(u"3/1/2000", us), 36586.0);
  TFormatSettings iso;
  iso.DateSeparator = u'-';
  iso.ShortDateFormat = u"yyyy-MM-dd";
  EXPECT_DOUBLE_EQ(*TryStrToDate(u"2000-03-01", iso), 36586.0);
}

TEST(Times, ParseWithSeparatorAndAmPm) {
  TFormatSettings fs;
  EXPECT_DOUBLE_EQ(*TryStrToTime(u"12:00", fs), 0.5);
  EXPECT_DOUBLE_EQ(*TryStrToTime(u"6:00 PM", fs), 0.75);
  EXPECT_DOUBLE_EQ(*TryStrToTime(u"12:00 AM", fs), 0.0);
  EXPECT_FALSE(TryStrToTime(u"25:00", fs).has_value());
  EXPECT_FALSE(TryStrToTime(u"", fs).has_value());
  EXPECT_DOUBLE_EQ(*TryStrToDateTime(u"3/1/2000 12:00", fs), 36586.5);
  EXPECT_DOUBLE_EQ(*TryStrToDateTime(u"3/1/2000", fs), 36586.0);
  EXPECT_FALSE(TryStrToDateTime(u"3/1/2000 x", fs).has_value());
}
