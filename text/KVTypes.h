// The framework's string list and the basic functions every subsystem uses.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "platform/Base.h"
#include "platform/SmallSet.h"
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
  // Grows with empty entries (on a sorted list at their sorted place, also
  // where duplicates are refused) or drops entries from the end; negative
  // empties.
  void SetCount(int value);
};

// The six German umlauts become two letters followed by the six characters
// "\uFFFD" (backslash, u, F, F, F, D); everything else is copied.
String TransliterateUmlauts(StringView text);

// The framework's name comparison: both texts transliterated, upper-cased by
// the user's locale and compared by UTF-16 code units; -1, 0 or 1.
// Allocates nothing.
int CompareTextIgnoreCase(StringView a, StringView b);

// A hash of the key CompareTextIgnoreCase compares (the transliterated,
// upper-cased text): texts that compare equal hash alike. Allocates nothing.
std::uint32_t HashTextIgnoreCase(StringView text);

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


// ------------------------------------------------------------- log kinds
// The names are stored in the log configuration and written into log lines,
// so they are spelled exactly as declared (IcImageConvert with a capital I).

enum TMessageLogType : std::uint8_t { tmlMessage, tmlWarning, tmlError, tmlDebug };
enum TLogChannel : std::uint8_t {
  lcApplication, lcDatabase, lcImageViewer, IcImageConvert, lcAutomation, lcPlugins,
  lcImport, lcSQLPerformance, lcAppPerformance, lcPluginPerformance, lcDebug
};
enum TLogSQLCommand : std::uint8_t { scSelect, scInsert, scUpdate, scDelete };

using TMessageLogTypes = TSmallSet<TMessageLogType>;
using TLogChannels = TSmallSet<TLogChannel>;
using TLogSQLCommands = TSmallSet<TLogSQLCommand>;

// The member's name; empty for a value outside the enumeration.
StringView MessageLogTypeName(TMessageLogType t);
StringView LogChannelName(TLogChannel c);
StringView LogSQLCommandName(TLogSQLCommand c);

// The names of the members in declaration order joined by "," without
// blanks; the empty set gives the empty text.
String MessageLogTypesToText(TMessageLogTypes s);
String LogChannelsToText(TLogChannels s);
String LogSQLCommandsToText(TLogSQLCommands s);

// Adds to s every member whose name occurs in text (case-sensitive
// substring test); members already in s stay.
void AddMessageLogTypesFromText(StringView text, TMessageLogTypes& s);
void AddLogChannelsFromText(StringView text, TLogChannels& s);
void AddLogSQLCommandsFromText(StringView text, TLogSQLCommands& s);

}  // namespace kv
