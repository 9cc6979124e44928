// Process-wide format settings and the conversions of texts to numbers and
// dates that the INI engine's typed reads and writes use.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/Base.h"

namespace kv {

// Days since 30 December 1899; the fraction is the time of day.
using TDateTime = double;

struct TFormatSettings {
  char16_t DateSeparator = u'/';
  char16_t TimeSeparator = u':';
  char16_t DecimalSeparator = u'.';
  char16_t ThousandSeparator = u',';
  String ShortDateFormat = u"M/d/yyyy";
  String LongDateFormat = u"dddd, MMMM d, yyyy";
  String ShortTimeFormat = u"h:nn AMPM";
  String LongTimeFormat = u"h:nn:ss AMPM";
  String TimeAMString = u"AM";
  String TimePMString = u"PM";
  int TwoDigitYearCenturyWindow = 50;
};

// The process-wide settings; filled from the user's locale by
// InitializeFormatSettings at start-up.
TFormatSettings& FormatSettings();
// Reads the user's locale into FormatSettings(). When literalDateSeparator,
// every "/" in the two date formats becomes the locale's date separator.
void InitializeFormatSettings(bool literalDateSeparator);

// Integer text: leading blanks, a sign, decimal digits or hexadecimal ones
// after "$", "x", "X", "0x" or "0X" (at most 32 bits, wrapping above 0x7FFFFFFF).
std::optional<std::int32_t> TryStrToInt(StringView s);
std::optional<std::int64_t> TryStrToInt64(StringView s);
std::optional<double> TryStrToFloat(StringView s, const TFormatSettings& fs = FormatSettings());
std::optional<TDateTime> TryStrToDate(StringView s, const TFormatSettings& fs = FormatSettings());
std::optional<TDateTime> TryStrToTime(StringView s, const TFormatSettings& fs = FormatSettings());
std::optional<TDateTime> TryStrToDateTime(StringView s, const TFormatSettings& fs = FormatSettings());

std::optional<TDateTime> TryEncodeDate(int year, int month, int day);
std::optional<TDateTime> TryEncodeTime(int hour, int min, int sec, int msec);
void DecodeDate(TDateTime d, int& year, int& month, int& day);
void DecodeTime(TDateTime d, int& hour, int& min, int& sec, int& msec);

}  // namespace kv
