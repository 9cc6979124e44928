// The sort engine that knows nothing about its data, the comparisons used for
// sorting (natural sort keys, comparison by column kind) and small text
// utilities.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/Base.h"
#include "text/SysUtils.h"

namespace kv {

class TStringList;
class TMapStrToStr;

// The comparison kind of a sort column.
enum enFeldTyp : std::uint8_t {
  feNormal = 0,
  feZahl = 1,
  feAutomatic = 2,
  feSortPicture = 3,
  feSortBoolean = 4,
  feSortEnum = 5,
  feBinary = 6,
  feSortDate = 7,
};

// A heap sort over positions 0 .. Count - 1 of whatever a descendant holds:
// the descendant compares two positions and exchanges two positions, calling
// the base operations so that the counters stay true.
class TSortObject : public TObject {
 public:
  TSortObject();
  ~TSortObject() override;
  TSortObject(const TSortObject&) = delete;
  TSortObject& operator=(const TSortObject&) = delete;

  virtual void Swap(int x1, int x2);
  virtual int Comp(int x1, int x2);
  // The base raises: a descendant must say how many elements there are.
  virtual int Count();

  // Ascending by Comp, elements moved only through Swap; an ordered sequence
  // costs Count - 1 comparisons and no exchange. Not stable.
  void Sort();
  // The natural sort key of text, computed once per sort object.
  String GetCachedSortKey(const String& Text);
  // -1, 0 or 1; never raises.
  int CompareByFieldType(const String& A, const String& B, enFeldTyp Kind);

  std::int32_t iSwap = 0;
  std::int32_t iCompares = 0;
  TDateTime StartTime = 0;
  std::unique_ptr<TMapStrToStr> AutoStringCache;

 private:
  // The cached key without copying it; valid until the cache changes.
  const String& CachedSortKey(const String& Text);
  bool IsSorted();
  void HeapSort();
  void SiftUp(int i);
  void SiftDown(int m);
};

// Every character a digit or the user's decimal separator; false when empty.
bool IsNumberText(StringView Text);
// KeySoFar extended by the key of a run of at most 13 digits: "1" and the
// value in 13 digits, or, for a negative number (a "-" at the very start or
// after a blank, ",", "." or ";"), the "-" replaced by "0" and the ten's
// complement of the value in 13 digits.
String NumberSortKey(StringView Digits, StringView KeySoFar);
// A key in which runs of digits compare by their value.
String BuildNaturalSortKey(StringView Text);
String JoinListItems(const TStringList& List, StringView Separator, bool TrailingSeparator);

String TextBeforeChar(StringView S, char16_t Ch);
String TextAfterChar(StringView S, char16_t Ch);
// Removes Sub from the start again and again until S holds none.
String RemoveAllOccurrences(StringView S, StringView Sub);
String ReplaceText(StringView S, StringView Old, StringView New, bool IgnoreCase);
std::string AnsiToOemText(std::string_view S);
std::string OemToAnsiText(std::string_view S);
String RemoveChar(StringView S, char16_t Ch);
// "yyyy-mm-dd hh:nn:ss" with the user's time separator.
String DateTimeToSortableText(TDateTime DateTime);
// 1-based position of the last character of S matching Pattern; 0 when none.
int LastIndexOfMatchingChar(StringView Pattern, StringView S);
// Patterns: one to four characters listing characters, "..x" (U+0001 to x),
// "x.." (x to U+FFFF), "x..y" (x to y); longer ones list characters.
bool CharMatchesPatterns(char16_t Ch, std::initializer_list<StringView> Patterns);
bool CharMatchesPatterns(char16_t Ch, const std::vector<String>& Patterns);
// 32 upper-case hexadecimal digits.
String NewGuidString();
bool HasWildcards(StringView S);
String DecodeWindows1252(std::string_view S);
bool AllEmpty(std::initializer_list<StringView> Texts);
bool AllEmpty(const std::vector<String>& Texts);
bool AllEmpty(const TStringList& List);

// Module start-up: fills the Windows-1252 table.
void SortModule_Initialize();

}  // namespace kv
