#include "text/SysUtils.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Clock.h"
#include "platform/Locale.h"

namespace kv {

TFormatSettings& FormatSettings() {
  static TFormatSettings fs;
  return fs;
}

void InitializeFormatSettings(bool literalDateSeparator) {
  platform::LocaleFormats l = platform::UserLocaleFormats();
  TFormatSettings& fs = FormatSettings();
  fs.DateSeparator = l.DateSeparator;
  fs.TimeSeparator = l.TimeSeparator;
  fs.DecimalSeparator = l.DecimalSeparator;
  fs.ThousandSeparator = l.ThousandSeparator;
  fs.ShortDateFormat = l.ShortDateFormat;
  fs.LongDateFormat = l.LongDateFormat;
  fs.ShortTimeFormat = l.ShortTimeFormat;
  fs.LongTimeFormat = l.LongTimeFormat;
  fs.TimeAMString = l.TimeAMString;
  fs.TimePMString = l.TimePMString;
  if (literalDateSeparator) NormaliseDateFormats();
}

void NormaliseDateFormats() {
  TFormatSettings& fs = FormatSettings();
  for (String* format : {&fs.ShortDateFormat, &fs.LongDateFormat})
    for (char16_t& c : *format)
      if (c == u'/') c = fs.DateSeparator;
}

namespace {

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Parses sign and digits; limit is the largest magnitude of a decimal value,
// hexBits the width a hexadecimal value wraps in.
std::optional<std::int64_t> ParseInteger(StringView s, unsigned long long limitPos, unsigned long long limitNeg,
                                         int hexDigits) {
  size_t i = 0;
  while (i < s.size() && s[i] == u' ') ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) neg = s[i++] == u'-';
  if (i >= s.size()) return std::nullopt;
  bool hex = false;
  if (s[i] == u'$' || s[i] == u'x' || s[i] == u'X') {
    hex = true;
    ++i;
  } else if (s[i] == u'0' && i + 1 < s.size() && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
    hex = true;
    i += 2;
  }
  if (i >= s.size()) return std::nullopt;
  unsigned long long v = 0;
  if (hex) {
    int digits = 0;
    for (; i < s.size(); ++i) {
      int d = HexDigit(s[i]);
      if (d < 0) return std::nullopt;
      if (v == 0 && d == 0) continue;  // leading zeros do not count
      if (++digits > hexDigits) return std::nullopt;
      v = (v << 4) | static_cast<unsigned>(d);
    }
    std::int64_t r;
    if (hexDigits == 8)
      r = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    else
      r = static_cast<std::int64_t>(v);
    return neg ? -r : r;
  }
  for (; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c < u'0' || c > u'9') return std::nullopt;
    v = v * 10 + static_cast<unsigned>(c - u'0');
    if (v > (neg ? limitNeg : limitPos)) return std::nullopt;
  }
  return neg ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
}

}  // namespace

std::optional<std::int32_t> TryStrToInt(StringView s) {
  auto v = ParseInteger(s, 2147483647ULL, 2147483648ULL, 8);
  if (!v) return std::nullopt;
  return static_cast<std::int32_t>(*v);
}

std::optional<std::int64_t> TryStrToInt64(StringView s) {
  auto v = ParseInteger(s, 9223372036854775807ULL, 9223372036854775808ULL, 16);
  return v;
}

std::optional<double> TryStrToFloat(StringView s, const TFormatSettings& fs) {
  size_t i = 0, n = s.size();
  while (i < n && s[i] == u' ') ++i;
  while (n > i && s[n - 1] == u' ') --n;
  std::string a;
  if (i < n && (s[i] == u'+' || s[i] == u'-')) a += static_cast<char>(s[i++]);
  bool digits = false;
  while (i < n && s[i] >= u'0' && s[i] <= u'9') {
    a += static_cast<char>(s[i++]);
    digits = true;
  }
  if (i < n && s[i] == fs.DecimalSeparator) {
    a += '.';
    ++i;
    while (i < n && s[i] >= u'0' && s[i] <= u'9') {
      a += static_cast<char>(s[i++]);
      digits = true;
    }
  }
  if (!digits) return std::nullopt;
  if (i < n && (s[i] == u'e' || s[i] == u'E')) {
    a += 'e';
    ++i;
    if (i < n && (s[i] == u'+' || s[i] == u'-')) a += static_cast<char>(s[i++]);
    bool exp = false;
    while (i < n && s[i] >= u'0' && s[i] <= u'9') {
      a += static_cast<char>(s[i++]);
      exp = true;
    }
    if (!exp) return std::nullopt;
  }
  if (i != n) return std::nullopt;
  char* end = nullptr;
  double d = std::strtod(a.c_str(), &end);
  if (!std::isfinite(d)) return std::nullopt;
  return d;
}

namespace {

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysInMonth(int y, int m) {
  static const int d[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : d[m - 1];
}

struct Scanner {
  StringView s;
  size_t pos = 0;
  void SkipBlanks() {
    while (pos < s.size() && s[pos] == u' ') ++pos;
  }
  bool Number(int& v, int& digits) {
    SkipBlanks();
    digits = 0;
    v = 0;
    while (pos < s.size() && s[pos] >= u'0' && s[pos] <= u'9' && digits < 9) {
      v = v * 10 + (s[pos++] - u'0');
      ++digits;
    }
    return digits > 0;
  }
  bool Char(char16_t c) {
    SkipBlanks();
    if (pos < s.size() && s[pos] == c) {
      ++pos;
      return true;
    }
    return false;
  }
  bool Text(StringView t) {
    SkipBlanks();
    if (t.empty() || s.size() - pos < t.size()) return false;
    const char16_t* up = platform::UpperCaseTable();
    for (size_t k = 0; k < t.size(); ++k)
      if (up[s[pos + k]] != up[t[k]]) return false;
    pos += t.size();
    return true;
  }
  bool AtEnd() {
    SkipBlanks();
    return pos >= s.size();
  }
};

// The order of day, month and year in the short date format.
enum class DateOrder { MDY, DMY, YMD };
DateOrder GetDateOrder(const String& f) {
  for (char16_t c : f) {
    if (c == u'd' || c == u'D') return DateOrder::DMY;
    if (c == u'm' || c == u'M') return DateOrder::MDY;
    if (c == u'y' || c == u'Y') return DateOrder::YMD;
  }
  return DateOrder::MDY;
}

int CurrentYear() { return platform::LocalNow().Year; }

bool ScanDate(Scanner& sc, const TFormatSettings& fs, TDateTime& out) {
  int n1, n2, n3 = 0, l1, l2, l3 = 0;
  DateOrder order = GetDateOrder(fs.ShortDateFormat);
  if (!sc.Number(n1, l1)) return false;
  if (!sc.Char(fs.DateSeparator)) return false;
  if (!sc.Number(n2, l2)) return false;
  int y, m, d;
  bool yearGiven = false;
  size_t save = sc.pos;
  if (sc.Char(fs.DateSeparator) && sc.Number(n3, l3)) {
    yearGiven = true;
  } else {
    sc.pos = save;
  }
  if (!yearGiven) {
    y = CurrentYear();
    if (order == DateOrder::DMY) {
      d = n1;
      m = n2;
    } else {
      m = n1;
      d = n2;
    }
    l3 = 4;
  } else {
    switch (order) {
      case DateOrder::MDY: m = n1; d = n2; y = n3; break;
      case DateOrder::DMY: d = n1; m = n2; y = n3; break;
      default: y = n1; m = n2; d = n3; l3 = l1; break;
    }
  }
  if (l3 <= 2) {
    // Two-digit years fall into the window of the century setting.
    int cur = CurrentYear();
    int century = cur - fs.TwoDigitYearCenturyWindow;
    y += (century / 100) * 100;
    if (fs.TwoDigitYearCenturyWindow > 0 && y < century) y += 100;
  }
  auto r = TryEncodeDate(y, m, d);
  if (!r) return false;
  out = *r;
  return true;
}

bool ScanTime(Scanner& sc, const TFormatSettings& fs, TDateTime& out) {
  int h, mi = 0, se = 0, ms = 0, l;
  if (!sc.Number(h, l)) return false;
  if (sc.Char(fs.TimeSeparator)) {
    if (!sc.Number(mi, l)) return false;
    if (sc.Char(fs.TimeSeparator)) {
      if (!sc.Number(se, l)) return false;
      if (sc.Char(fs.DecimalSeparator) || sc.Char(u'.')) {
        if (!sc.Number(ms, l)) return false;
      }
    }
  } else {
    // A bare number is a time only when AM or PM follows.
    size_t save = sc.pos;
    if (!(sc.Text(fs.TimeAMString) || sc.Text(fs.TimePMString) || sc.Text(u"AM") || sc.Text(u"PM"))) return false;
    sc.pos = save;
  }
  int pm = -1;
  if (sc.Text(fs.TimeAMString) || sc.Text(u"AM"))
    pm = 0;
  else if (sc.Text(fs.TimePMString) || sc.Text(u"PM"))
    pm = 1;
  if (pm >= 0) {
    if (h == 0 || h > 12) return false;
    if (h == 12) h = 0;
    if (pm) h += 12;
  }
  auto r = TryEncodeTime(h, mi, se, ms);
  if (!r) return false;
  out = *r;
  return true;
}

}  // namespace

std::optional<TDateTime> TryEncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return std::nullopt;
  int y = year - 1;
  long long days = static_cast<long long>(y) * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  days += day;
  return static_cast<double>(days - 693594);  // 30 Dec 1899 is day 0
}

std::optional<TDateTime> TryEncodeTime(int hour, int min, int sec, int msec) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999)
    return std::nullopt;
  return (hour * 3600000.0 + min * 60000.0 + sec * 1000.0 + msec) / 86400000.0;
}

namespace {

// The first moment of 1 January 0001 and the last of 31 December 9999.
constexpr TDateTime kMinDateTime = -693593.0;
constexpr TDateTime kMaxDateTime = 2958465.99999999;

// A value the calendar can take: values beyond its ends (infinities too)
// become the nearest end, and not-a-number the day the count starts from.
// Outside it the day number would not fit the integers the date is taken
// apart with.
TDateTime OnTheCalendar(TDateTime dt) {
  if (std::isnan(dt)) return 0.0;
  return std::clamp(dt, kMinDateTime, kMaxDateTime);
}

}  // namespace

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
  dt = OnTheCalendar(dt);
  // Days since 1 Jan 1970, then the civil date on the proleptic Gregorian calendar.
  long long z = static_cast<long long>(std::floor(dt)) - 25569 + 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec) {
  dt = OnTheCalendar(dt);
  double frac = std::fabs(dt - std::trunc(dt));
  long long ms = std::llround(frac * 86400000.0);
  if (ms >= 86400000) ms = 86399999;
  hour = static_cast<int>(ms / 3600000);
  min = static_cast<int>(ms / 60000 % 60);
  sec = static_cast<int>(ms / 1000 % 60);
  msec = static_cast<int>(ms % 1000);
}

std::optional<TDateTime> TryStrToDate(StringView s, const TFormatSettings& fs) {
  Scanner sc{s};
  TDateTime d;
  if (!ScanDate(sc, fs, d) || !sc.AtEnd()) return std::nullopt;
  return d;
}

std::optional<TDateTime> TryStrToTime(StringView s, const TFormatSettings& fs) {
  Scanner sc{s};
  TDateTime t;
  if (!ScanTime(sc, fs, t) || !sc.AtEnd()) return std::nullopt;
  return t;
}

std::optional<TDateTime> TryStrToDateTime(StringView s, const TFormatSettings& fs) {
  Scanner sc{s};
  TDateTime d = 0, t = 0;
  size_t save = sc.pos;
  if (ScanDate(sc, fs, d)) {
    if (sc.AtEnd()) return d;
    if (!ScanTime(sc, fs, t) || !sc.AtEnd()) return std::nullopt;
    return d < 0 ? d - t : d + t;
  }
  sc.pos = save;
  if (ScanTime(sc, fs, t) && sc.AtEnd()) return t;
  return std::nullopt;
}

}  // namespace kv

namespace kv {

namespace {

void AppendNumber(String& out, long long v, int minDigits) {
  String d = IntToStr(v < 0 ? -v : v);
  if (v < 0) out += u'-';
  for (int i = static_cast<int>(d.size()); i < minDigits; ++i) out += u'0';
  out += d;
}

bool StartsWithIgnoreCase(StringView s, size_t pos, StringView what) {
  if (s.size() - pos < what.size()) return false;
  for (size_t k = 0; k < what.size(); ++k) {
    char16_t c = s[pos + k];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    if (c != what[k]) return false;
  }
  return true;
}

// Whether an am/pm pattern follows, which makes hours count to 12.
bool HasAmPm(StringView f, size_t from) {
  char16_t quote = 0;
  for (size_t i = from; i < f.size(); ++i) {
    char16_t c = f[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == u'\'' || c == u'"') {
      quote = c;
    } else if (c == u'a' || c == u'A') {
      if (StartsWithIgnoreCase(f, i, u"am/pm") || StartsWithIgnoreCase(f, i, u"a/p") ||
          StartsWithIgnoreCase(f, i, u"ampm"))
        return true;
    }
  }
  return false;
}

void FormatInto(String& out, StringView f, TDateTime dt, const TFormatSettings& fs, int depth) {
  dt = OnTheCalendar(dt);
  int year, month, day, hour, min, sec, msec;
  DecodeDate(dt, year, month, day);
  DecodeTime(dt, hour, min, sec, msec);
  bool lastWasHour = false;
  size_t i = 0;
  while (i < f.size()) {
    char16_t c = f[i];
    char16_t lc = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    size_t run = 1;
    while (i + run < f.size() && (f[i + run] == c || f[i + run] == static_cast<char16_t>(lc - 32) ||
                                  f[i + run] == lc))
      ++run;
    switch (lc) {
      case u'\'':
      case u'"': {
        size_t e = f.find(c, i + 1);
        if (e == StringView::npos) e = f.size();
        out.append(f.substr(i + 1, e - i - 1));
        i = e < f.size() ? e + 1 : e;
        continue;
      }
      case u'd': {
        int dow = static_cast<int>(((static_cast<long long>(std::floor(dt)) - 1) % 7 + 7) % 7);  // 0 = Sunday
        if (run == 1 || run == 2)
          AppendNumber(out, day, static_cast<int>(run));
        else if (run == 3)
          out += fs.ShortDayNames[dow];
        else if (run == 4)
          out += fs.LongDayNames[dow];
        else if (depth < 2)
          FormatInto(out, run == 5 ? fs.ShortDateFormat : fs.LongDateFormat, dt, fs, depth + 1);
        run = std::min<size_t>(run, 6);
        break;
      }
      case u'm':
        if (lastWasHour && run <= 2) {
          AppendNumber(out, min, static_cast<int>(run));
        } else if (run <= 2) {
          AppendNumber(out, month, static_cast<int>(run));
        } else {
          out += run == 3 ? fs.ShortMonthNames[month - 1] : fs.LongMonthNames[month - 1];
          run = std::min<size_t>(run, 4);
        }
        break;
      case u'y':
        if (run <= 2)
          AppendNumber(out, year % 100, 2);
        else
          AppendNumber(out, year, 4);
        break;
      case u'h': {
        run = std::min<size_t>(run, 2);
        int h = hour;
        if (HasAmPm(f, i + run)) {
          h %= 12;
          if (h == 0) h = 12;
        }
        AppendNumber(out, h, static_cast<int>(run));
        break;
      }
      case u'n':
        run = std::min<size_t>(run, 2);
        AppendNumber(out, min, static_cast<int>(run));
        break;
      case u's':
        run = std::min<size_t>(run, 2);
        AppendNumber(out, sec, static_cast<int>(run));
        break;
      case u'z':
        run = run >= 3 ? 3 : 1;
        AppendNumber(out, msec, static_cast<int>(run));
        break;
      case u't':
        run = std::min<size_t>(run, 2);
        if (depth < 2) FormatInto(out, run == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat, dt, fs, depth + 1);
        break;
      case u'c':
        run = 1;
        if (depth < 2) {
          FormatInto(out, fs.ShortDateFormat, dt, fs, depth + 1);
          if (hour || min || sec || msec) {
            out += u' ';
            FormatInto(out, fs.LongTimeFormat, dt, fs, depth + 1);
          }
        }
        break;
      case u'a':
        if (StartsWithIgnoreCase(f, i, u"am/pm")) {
          out.append(f.substr(hour < 12 ? i : i + 3, 2));
          run = 5;
        } else if (StartsWithIgnoreCase(f, i, u"a/p")) {
          out += f[hour < 12 ? i : i + 2];
          run = 3;
        } else if (StartsWithIgnoreCase(f, i, u"ampm")) {
          out += hour < 12 ? fs.TimeAMString : fs.TimePMString;
          run = 4;
        } else {
          out += c;
          run = 1;
        }
        break;
      case u'/':
        run = 1;
        out += fs.DateSeparator;
        break;
      case u':':
        run = 1;
        out += fs.TimeSeparator;
        break;
      default:
        run = 1;
        out += c;
        break;
    }
    if (lc == u'h') {
      lastWasHour = true;
    } else if (lc != u' ' && lc != u':' && lc != u'\'' && lc != u'"') {
      lastWasHour = false;
    }
    i += run;
  }
}

}  // namespace

String FormatDateTime(StringView format, TDateTime dt, const TFormatSettings& fs) {
  String out;
  FormatInto(out, format.empty() ? StringView(u"c") : format, dt, fs, 0);
  return out;
}

String DateToStr(TDateTime dt, const TFormatSettings& fs) { return FormatDateTime(fs.ShortDateFormat, dt, fs); }

String TimeToStr(TDateTime dt, const TFormatSettings& fs) { return FormatDateTime(fs.LongTimeFormat, dt, fs); }

String DateTimeToStr(TDateTime dt, const TFormatSettings& fs) { return FormatDateTime(u"c", dt, fs); }

String FloatToStr(double v, const TFormatSettings& fs) {
  if (std::isnan(v)) return u"NAN";
  if (std::isinf(v)) return v < 0 ? u"-INF" : u"INF";
  if (v == 0) return u"0";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14e", v);
  // buf: [-]d.dddddddddddddde[+-]xx
  std::string s(buf);
  bool neg = s[0] == '-';
  if (neg) s.erase(0, 1);
  size_t e = s.find('e');
  int exp = std::atoi(s.c_str() + e + 1);
  std::string digits = s.substr(0, 1) + s.substr(2, e - 2);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  String out;
  if (neg) out += u'-';
  auto put = [&](const std::string& d) {
    for (char ch : d) out += static_cast<char16_t>(ch);
  };
  if (exp < -5 || exp >= 15) {
    put(digits.substr(0, 1));
    if (digits.size() > 1) {
      out += fs.DecimalSeparator;
      put(digits.substr(1));
    }
    out += u'E';
    if (exp < 0) out += u'-';
    out += IntToStr(exp < 0 ? -exp : exp);
  } else if (exp < 0) {
    out += u'0';
    out += fs.DecimalSeparator;
    for (int k = -1; k > exp; --k) out += u'0';
    put(digits);
  } else {
    size_t intLen = static_cast<size_t>(exp) + 1;
    if (digits.size() <= intLen) {
      put(digits);
      for (size_t k = digits.size(); k < intLen; ++k) out += u'0';
    } else {
      put(digits.substr(0, intLen));
      out += fs.DecimalSeparator;
      put(digits.substr(intLen));
    }
  }
  return out;
}

String IntToHex(std::uint32_t v, int digits) { return HexDigits(v, digits); }

TDateTime Now() {
  const auto t = platform::LocalNow();
  return TryEncodeDate(t.Year, t.Month, t.Day).value_or(0) +
         TryEncodeTime(t.Hour, t.Minute, t.Second, t.Millisecond).value_or(0);
}

}  // namespace kv
