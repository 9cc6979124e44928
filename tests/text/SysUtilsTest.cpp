#include <gtest/gtest.h>

#include <cmath>

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

TEST(Dates, ValuesOffTheCalendarFormatAsItsNearestEnd) {
  // A damaged time stamp still gives a text (and no undefined conversion).
  const double nan = std::nan(""), inf = HUGE_VAL;
  EXPECT_EQ(FormatDateTime(u"yyyy-mm-dd hh:nn:ss.zzz", 1e300), u"9999-12-31 23:59:59.999");
  EXPECT_EQ(FormatDateTime(u"yyyy-mm-dd hh:nn:ss", inf), u"9999-12-31 23:59:59");
  EXPECT_EQ(FormatDateTime(u"yyyy-mm-dd hh:nn:ss", -1e300), u"0001-01-01 00:00:00");
  TFormatSettings fs;
  EXPECT_EQ(FormatDateTime(u"yyyy-mm-dd hh:nn:ss dddd", nan, fs), u"1899-12-30 00:00:00 Saturday");
  fs.DateSeparator = u'.';
  fs.ShortDateFormat = u"dd.MM.yyyy";
  fs.LongTimeFormat = u"hh:nn:ss";
  EXPECT_EQ(DateTimeToStr(1e300, fs), u"31.12.9999 23:59:59");
  EXPECT_EQ(DateTimeToStr(nan, fs), u"30.12.1899");
  int h, n, sec, ms;
  DecodeTime(-inf, h, n, sec, ms);
  EXPECT_EQ(h + n + sec + ms, 0);
  // Within the calendar nothing changes.
  EXPECT_EQ(FormatDateTime(u"yyyy-mm-dd", 2958465.0), u"9999-12-31");
  EXPECT_EQ(FormatDateTime(u"yyyy-mm-dd", -693593.0), u"0001-01-01");
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
