#include <windows.h>

#include <atomic>
#include <memory>

#include "platform/Locale.h"

namespace kv::platform {

namespace {

template <DWORD Flag>
bool MapRun(const char16_t* source, char16_t* target, int count) {
  return LCMapStringW(LOCALE_USER_DEFAULT, Flag | LCMAP_LINGUISTIC_CASING, reinterpret_cast<const wchar_t*>(source),
                      count, reinterpret_cast<wchar_t*>(target), count) == count;
}

String Info(LCTYPE type, const char16_t* fallback) {
  wchar_t buf[128];
  int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buf, 128);
  if (n <= 1) return fallback;
  return String(reinterpret_cast<const char16_t*>(buf), static_cast<size_t>(n - 1));
}

// A Windows time picture in the framework's notation: H and h to h, m to n, t and tt to AMPM.
String TimePattern(const String& w) {
  String out;
  for (size_t i = 0; i < w.size(); ++i) {
    char16_t c = w[i];
    if (c == u'\'') {
      size_t e = w.find(u'\'', i + 1);
      if (e == String::npos) e = w.size();
      out.append(w, i + 1, e - i - 1);
      i = e;
    } else if (c == u'H') {
      out += u'h';
    } else if (c == u'm') {
      out += u'n';
    } else if (c == u't') {
      while (i + 1 < w.size() && w[i + 1] == u't') ++i;
      out += u"AMPM";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

namespace {
// Set once a table is there: texts mapped before go through the map itself.
std::atomic<bool> gUpperBuilt{false}, gLowerBuilt{false};
}  // namespace

const char16_t* UpperCaseTable() {
  static const auto t = [] {
    auto table = BuildCaseTable(&MapRun<LCMAP_UPPERCASE>);
    gUpperBuilt.store(true);
    return table;
  }();
  return t.get();
}

const char16_t* LowerCaseTable() {
  static const auto t = [] {
    auto table = BuildCaseTable(&MapRun<LCMAP_LOWERCASE>);
    gLowerBuilt.store(true);
    return table;
  }();
  return t.get();
}

bool CaseTableBuilt(bool upper) { return upper ? gUpperBuilt.load() : gLowerBuilt.load(); }

bool MapCaseRun(bool upper, const char16_t* source, char16_t* target, int count) {
  return upper ? MapRun<LCMAP_UPPERCASE>(source, target, count) : MapRun<LCMAP_LOWERCASE>(source, target, count);
}

int CompareStringLocale(StringView a, StringView b, bool ignoreCase) {
  int r = CompareStringW(LOCALE_USER_DEFAULT, ignoreCase ? NORM_IGNORECASE : 0,
                         reinterpret_cast<const wchar_t*>(a.data()), static_cast<int>(a.size()),
                         reinterpret_cast<const wchar_t*>(b.data()), static_cast<int>(b.size()));
  if (r == 0) return a < b ? -1 : a > b ? 1 : 0;
  return r - 2;
}

LocaleFormats UserLocaleFormats() {
  LocaleFormats f;
  String ds = Info(LOCALE_SDATE, u"/"), ts = Info(LOCALE_STIME, u":"), dec = Info(LOCALE_SDECIMAL, u".");
  String th = Info(LOCALE_STHOUSAND, u",");
  f.DateSeparator = ds.empty() ? u'/' : ds[0];
  f.TimeSeparator = ts.empty() ? u':' : ts[0];
  f.DecimalSeparator = dec.empty() ? u'.' : dec[0];
  f.ThousandSeparator = th.empty() ? u',' : th[0];
  auto withPlaceholders = [](String s, char16_t sep, char16_t ph) {
    for (auto& c : s)
      if (c == sep) c = ph;
    return s;
  };
  f.ShortDateFormat = withPlaceholders(Info(LOCALE_SSHORTDATE, u"M/d/yyyy"), f.DateSeparator, u'/');
  f.LongDateFormat = Info(LOCALE_SLONGDATE, u"dddd, MMMM d, yyyy");
  f.LongTimeFormat = withPlaceholders(TimePattern(Info(LOCALE_STIMEFORMAT, u"h:mm:ss tt")), f.TimeSeparator, u':');
  f.ShortTimeFormat = withPlaceholders(TimePattern(Info(0x00000079 /* LOCALE_SSHORTTIME */, u"h:mm tt")),
                                       f.TimeSeparator, u':');
  f.TimeAMString = Info(LOCALE_S1159, u"AM");
  f.TimePMString = Info(LOCALE_S2359, u"PM");
  return f;
}

}  // namespace kv::platform
