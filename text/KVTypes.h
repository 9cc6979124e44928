// The framework's string list and the basic functions every subsystem uses.
#pragma once

#include "platform/Base.h"
#include "text/StringList.h"

namespace kv {

class TKVStringList;
// Negative when the entry at index1 sorts before the one at index2, 0 when
// equal, positive after.
using TKVStringListSortCompare = int (*)(TKVStringList* list, int index1, int index2);

// Case-sensitive from construction; sorts through its own exchange operation;
// Count can be written.
class TKVStringList : public TStringList {
 public:
  TKVStringList();

  // A quicksort over 0 .. Count - 1 that moves entries only through
  // Exchange, so that a descendant replacing Exchange sees every move.
  // A sorted list, or one with fewer than 2 entries, is left alone.
  virtual void CustomSort(TKVStringListSortCompare compare);

  using TStringList::Count;
  // Grows with empty entries or drops entries from the end; negative empties.
  void SetCount(int value);

 private:
  void SortRange(TKVStringListSortCompare compare, int l, int r);
};

// The six German umlauts become two letters followed by the six characters
// "\uFFFD" (backslash, u, F, F, F, D); everything else is copied.
String TransliterateUmlauts(StringView text);

// The framework's name comparison: both texts transliterated, upper-cased by
// the user's locale and compared by UTF-16 code units; -1, 0 or 1.
// Allocates nothing.
int CompareTextIgnoreCase(StringView a, StringView b);

// Whether the text of line before its first "=" matches name by
// CompareTextIgnoreCase; a line without "=" never matches. Allocates nothing.
bool NameBeforeEqualsMatches(StringView line, StringView name);

// True when a file (not a folder) of that name exists; for a network path
// (starting with two backslashes) a directory search is the second test.
bool FileExistsEx(StringView name);

// Path up to and including the last character that is one of delimiters or
// ":"; empty when there is none.
String ExtractPathUpToDelimiter(StringView path, StringView delimiters);

// Module start-up: the process-wide format settings from the user's locale,
// with every "/" of the date formats replaced by the date separator.
void KVTypes_Initialize();

}  // namespace kv
