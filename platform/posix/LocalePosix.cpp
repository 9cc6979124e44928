#include <langinfo.h>
#include <locale.h>

#include <cwchar>
#include <cwctype>
#include <atomic>
#include <memory>
#include <cstdlib>
#include <string>

#include "platform/CodePages.h"
#include "platform/Locale.h"

namespace kv::platform {

namespace {

// The user's locale from the environment; C.UTF-8 when it is missing or not
// a UTF-8 locale, so that casing and collation cover all of Unicode. Only
// the parts used here are loaded (character classes and casing, collation,
// date and number formats); the rest stays the C locale's.
locale_t UserLocale() {
  constexpr int kUsed = LC_CTYPE_MASK | LC_COLLATE_MASK | LC_TIME_MASK | LC_NUMERIC_MASK;
  static locale_t loc = [] {
    locale_t l = newlocale(kUsed, "", static_cast<locale_t>(nullptr));
    if (l) {
      std::string cs = nl_langinfo_l(CODESET, l);
      if (cs != "UTF-8") {
        freelocale(l);
        l = nullptr;
      }
    }
    if (!l) l = newlocale(kUsed, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (!l) l = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return l;
  }();
  return loc;
}

// A character whose case partner lies beyond the 16-bit range stays itself.
template <bool Upper>
bool MapRun(const char16_t* source, char16_t* target, int count) {
  locale_t l = UserLocale();
  for (int i = 0; i < count; ++i) {
    const wint_t m = Upper ? towupper_l(source[i], l) : towlower_l(source[i], l);
    target[i] = m <= 0xFFFF ? static_cast<char16_t>(m) : source[i];
  }
  return true;
}

std::wstring ToWide(StringView s) {
  std::wstring w;
  w.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    w += static_cast<wchar_t>(c);
  }
  return w;
}

// A strftime pattern as a pattern of the framework's notation.
String FromStrftime(const std::string& f, char16_t* firstSeparator) {
  String out;
  for (size_t i = 0; i < f.size(); ++i) {
    char c = f[i];
    if (c != '%' || i + 1 >= f.size()) {
      if (firstSeparator && !*firstSeparator && c != ' ') *firstSeparator = static_cast<char16_t>(c);
      out += static_cast<char16_t>(c);
      continue;
    }
    char k = f[++i];
    if (k == 'E' || k == 'O' || k == '-') {
      if (i + 1 < f.size()) k = f[++i];
    }
    switch (k) {
      case 'd': out += u"dd"; break;
      case 'e': out += u"d"; break;
      case 'm': out += u"MM"; break;
      case 'y': out += u"yy"; break;
      case 'Y': out += u"yyyy"; break;
      case 'b':
      case 'h': out += u"MMM"; break;
      case 'B': out += u"MMMM"; break;
      case 'a': out += u"ddd"; break;
      case 'A': out += u"dddd"; break;
      case 'H': out += u"hh"; break;
      case 'I': out += u"hh"; break;
      case 'l': out += u"h"; break;
      case 'M': out += u"nn"; break;
      case 'S': out += u"ss"; break;
      case 'p': out += u"AMPM"; break;
      case 'T': out += u"hh:nn:ss"; break;
      case 'R': out += u"hh:nn"; break;
      case 'r': out += u"hh:nn:ss AMPM"; break;
      case 'D': out += u"MM/dd/yy"; break;
      case 'F': out += u"yyyy-MM-dd"; break;
      default: break;
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
    auto table = BuildCaseTable(&MapRun<true>);
    gUpperBuilt.store(true);
    return table;
  }();
  return t.get();
}

const char16_t* LowerCaseTable() {
  static const auto t = [] {
    auto table = BuildCaseTable(&MapRun<false>);
    gLowerBuilt.store(true);
    return table;
  }();
  return t.get();
}

bool CaseTableBuilt(bool upper) { return upper ? gUpperBuilt.load() : gLowerBuilt.load(); }

bool MapCaseRun(bool upper, const char16_t* source, char16_t* target, int count) {
  return upper ? MapRun<true>(source, target, count) : MapRun<false>(source, target, count);
}

int CompareStringLocale(StringView a, StringView b, bool ignoreCase) {
  // Primary order: the locale's collation of the upper-cased texts, so that
  // names differing only in case stand together as in Windows' word sort;
  // case-sensitive ties put the lower-case letter first.
  const char16_t* up = UpperCaseTable();
  String ua(a), ub(b);
  for (auto& c : ua) c = up[c];
  for (auto& c : ub) c = up[c];
  int r = 0;
  if (ua != ub) {
    std::wstring wa = ToWide(ua), wb = ToWide(ub);
    r = wcscoll_l(wa.c_str(), wb.c_str(), UserLocale());
    if (r == 0) r = ua < ub ? -1 : 1;  // embedded NULs, ignorable characters: by code unit
  } else if (!ignoreCase) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
      if (a[i] != b[i]) {
        bool aLower = up[a[i]] != a[i];
        bool bLower = up[b[i]] != b[i];
        if (aLower != bLower) return aLower ? -1 : 1;
        return a[i] < b[i] ? -1 : 1;
      }
    }
  }
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

namespace {
// The locale name the environment gives a category, as the C library
// resolves it: LC_ALL, then the category's own variable, then LANG.
std::string LocaleNameOf(const char* category) {
  for (const char* var : {"LC_ALL", category, "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) return v;
  }
  return std::string();
}

bool IsCLocaleName(const std::string& name) {
  return name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0;
}
}  // namespace

LocaleFormats UserLocaleFormats() {
  LocaleFormats f;
  // The C locale's formats are the defaults: no locale need be loaded for them.
  if (IsCLocaleName(LocaleNameOf("LC_TIME")) && IsCLocaleName(LocaleNameOf("LC_NUMERIC"))) return f;
  locale_t l = UserLocale();
  std::string dfmt = nl_langinfo_l(D_FMT, l);
  std::string tfmt = nl_langinfo_l(T_FMT, l);
  std::string radix = nl_langinfo_l(RADIXCHAR, l);
  std::string thousands = nl_langinfo_l(THOUSEP, l);
  std::string am = nl_langinfo_l(AM_STR, l);
  std::string pm = nl_langinfo_l(PM_STR, l);
  if (dfmt == "%m/%d/%y") return f;  // the C locale: keep the US settings
  char16_t dsep = 0, tsep = 0;
  String shortDate = FromStrftime(dfmt, &dsep);
  String longTime = FromStrftime(tfmt, &tsep);
  if (dsep) f.DateSeparator = dsep;
  if (tsep) f.TimeSeparator = tsep;
  // Separators become the placeholders "/" and ":" of the framework's notation.
  for (auto& c : shortDate)
    if (c == dsep) c = u'/';
  for (auto& c : longTime)
    if (c == tsep) c = u':';
  if (!shortDate.empty()) f.ShortDateFormat = shortDate;
  f.LongDateFormat = u"dddd, d. MMMM yyyy";
  if (!longTime.empty()) {
    f.LongTimeFormat = longTime;
    String shortTime = longTime;
    size_t s = shortTime.find(u":ss");
    if (s != String::npos) shortTime.erase(s, 3);
    f.ShortTimeFormat = shortTime;
  }
  String r = FromUtf8(radix), t = FromUtf8(thousands);
  if (r.size() == 1) f.DecimalSeparator = r[0];
  if (t.size() == 1) f.ThousandSeparator = t[0];
  f.TimeAMString = FromUtf8(am);
  f.TimePMString = FromUtf8(pm);
  return f;
}

}  // namespace kv::platform
