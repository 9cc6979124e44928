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
  String ShortMonthNames[12] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
  String LongMonthNames[12] = {u"January", u"February", u"March",     u"April",   u"May",      u"June",
                               u"July",    u"August",   u"September", u"October", u"November", u"December"};
  String ShortDayNames[7] = {u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat"};
  String LongDayNames[7] = {u"Sunday", u"Monday", u"Tuesday", u"Wednesday", u"Thursday", u"Friday", u"Saturday"};
};

// The process-wide settings; filled from the user's locale by
// InitializeFormatSettings at start-up.
TFormatSettings& FormatSettings();
// Every "/" of the process's short and long date formats becomes the user's
// date separator.
void NormaliseDateFormats();
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

// Texts of numbers and dates, the inverses of the conversions above.
// FormatDateTime knows the patterns d dd ddd dddd ddddd dddddd, m mm mmm mmmm
// (minutes after an hour), yy yyyy, h hh, n nn, s ss, z zzz, c, t tt, ampm,
// am/pm, a/p, "/" and ":" for the separators, and quoted literals.
// The current local date and time.
TDateTime Now();

String FormatDateTime(StringView format, TDateTime dt, const TFormatSettings& fs = FormatSettings());
// The short date format.
String DateToStr(TDateTime dt, const TFormatSettings& fs = FormatSettings());
// The long time format.
String TimeToStr(TDateTime dt, const TFormatSettings& fs = FormatSettings());
// Date, a blank and time; without the time when it is exactly midnight.
String DateTimeToStr(TDateTime dt, const TFormatSettings& fs = FormatSettings());
// Shortest general form with up to 15 significant digits: fixed notation for
// exponents from -5 to 14, otherwise mantissa, "E" and exponent (1E20, 1.5E-7).
String FloatToStr(double v, const TFormatSettings& fs = FormatSettings());
// Upper-case hexadecimal digits of the 32-bit pattern, at least digits of them.
String IntToHex(std::uint32_t v, int digits);

std::optional<TDateTime> TryEncodeDate(int year, int month, int day);
std::optional<TDateTime> TryEncodeTime(int hour, int min, int sec, int msec);
// Values before 1 January 0001 or after 31 December 9999 are taken as the
// nearest of the two, not-a-number as 30 December 1899 0:00; the formatting
// above does the same.
void DecodeDate(TDateTime d, int& year, int& month, int& day);
void DecodeTime(TDateTime d, int& hour, int& min, int& sec, int& msec);

}  // namespace kv
