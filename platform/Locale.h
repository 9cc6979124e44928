// The user's locale: linguistic upper-casing, collation, and the raw date,
// time and number settings from which the process-wide format settings are made.
#pragma once

#include <memory>

#include "platform/Base.h"

namespace kv::platform {

// 65536 entries: the user's linguistic upper case of every UTF-16 code unit
// (surrogates map to themselves). Built once, on first use; thread-safe.
const char16_t* UpperCaseTable();
const char16_t* LowerCaseTable();
// A case table as the two above are made: code unit 0 and the surrogates
// map to themselves; the runs below and above the surrogates go through map
// (source, target, count), one call each. A map that fails (false) raises
// EOSError with the platform's last error, as a failure of the system's
// casing must not pass for a table that leaves letters alone.
using CaseMapRun = bool (*)(const char16_t* source, char16_t* target, int count);
std::unique_ptr<char16_t[]> BuildCaseTable(CaseMapRun map);
// Whole texts as those tables map them. A short text mapped before its
// table was needed goes through the system's casing itself (giving what the
// table would): a program that only cases a name or two never builds one.
String LocaleUpperCase(StringView s);
String LocaleLowerCase(StringView s);
// True when s, cased as LocaleUpperCase (upper) or LocaleLowerCase would
// case it, is the text cased. Casing keeps the length, and no user's casing
// turns one ASCII letter into another but for I and i: most texts are told
// apart without casing them (and without loading the user's casing).
bool CasedTextIs(StringView s, StringView cased, bool upper);
// Whether the upper (or lower) case table has been built.
bool CaseTableBuilt(bool upper);
// The system's casing of a run of code units, as the tables are made of.
bool MapCaseRun(bool upper, const char16_t* source, char16_t* target, int count);

// The user's collation: -1, 0 or 1.
int CompareStringLocale(StringView a, StringView b, bool ignoreCase);

struct LocaleFormats {
  char16_t DateSeparator = u'/';
  char16_t TimeSeparator = u':';
  char16_t DecimalSeparator = u'.';
  char16_t ThousandSeparator = u',';
  // Patterns in the framework's notation: d dd ddd dddd, M MM MMM MMMM,
  // yy yyyy, h hh, n nn, s ss, z zzz, AMPM; "/" is the date separator and ":"
  // the time separator.
  String ShortDateFormat = u"M/d/yyyy";
  String LongDateFormat = u"dddd, MMMM d, yyyy";
  String ShortTimeFormat = u"h:nn AMPM";
  String LongTimeFormat = u"h:nn:ss AMPM";
  String TimeAMString = u"AM";
  String TimePMString = u"PM";
};

LocaleFormats UserLocaleFormats();

}  // namespace kv::platform
