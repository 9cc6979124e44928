#include "text/KVTypes.h"

#include "platform/Files.h"
#include "platform/Locale.h"
#include "text/QuickSort.h"
#include "text/SysUtils.h"

namespace kv {

TKVStringList::TKVStringList() { SetCaseSensitive(true); }

void TKVStringList::CustomSort(TKVStringListSortCompare compare) {
  if (Sorted() || Count() < 2) return;
  Changing();
  // Every move goes through Exchange, which a descendant may replace.
  auto byCompare = [this, compare](int a, int b) { return compare(this, a, b); };
  auto exchange = [this](int a, int b) { Exchange(a, b); };
  QuickSortIndexes(0, Count() - 1, byCompare, exchange);
  Changed();
}

void TKVStringList::SetCount(int value) {
  // The new entries go in whatever the duplicates rule says: on a sorted
  // list each empty text is a duplicate of the one before, which Add would
  // refuse, and the count would never be reached. They take their sorted
  // place, in front of every other entry.
  while (Count() < value) {
    int at = Count();
    if (Sorted()) Find(String(), at);
    InsertItem(at, String(), nullptr);
  }
  while (value < Count() && Count() > 0) Delete(Count() - 1);
}

namespace {

// The replacement of an umlaut, or nullptr.
const char16_t* UmlautReplacement(char16_t c) {
  switch (c) {
    case u'\u00C4': return u"AE\\uFFFD";
    case u'\u00D6': return u"OE\\uFFFD";
    case u'\u00DC': return u"ue\\uFFFD";
    case u'\u00E4': return u"ae\\uFFFD";
    case u'\u00F6': return u"oe\\uFFFD";
    case u'\u00FC': return u"ue\\uFFFD";
    default: return nullptr;
  }
}

// Produces the comparison key of a text one code unit at a time.
class KeyStream {
 public:
  KeyStream(StringView s, const char16_t* up) : FText(s), FUp(up) {}
  // False at the end.
  bool Next(char16_t& out) {
    if (FPending) {
      out = FUp[static_cast<char16_t>(*FPending++)];
      if (!*FPending) FPending = nullptr;
      return true;
    }
    if (FPos >= FText.size()) return false;
    char16_t c = FText[FPos++];
    if (c >= 0xC4 && c <= 0xFC) {
      if (const char16_t* r = UmlautReplacement(c)) {
        out = FUp[static_cast<char16_t>(r[0])];
        FPending = r + 1;
        return true;
      }
    }
    out = FUp[c];
    return true;
  }

 private:
  StringView FText;
  const char16_t* FUp;
  size_t FPos = 0;
  const char16_t* FPending = nullptr;
};

}  // namespace

String TransliterateUmlauts(StringView text) {
  String out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (const char16_t* r = UmlautReplacement(c))
      out += r;
    else
      out += c;
  }
  return out;
}

int CompareTextIgnoreCase(StringView a, StringView b) {
  // Texts spelled alike are equal in any locale, without the case table.
  if (a == b) return 0;
  const char16_t* up = platform::UpperCaseTable();
  // Below U+00C4 no character is an umlaut: each gives one key unit.
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  size_t i = 0;
  for (; i < n; ++i) {
    char16_t ca = a[i], cb = b[i];
    if (ca >= 0xC4 || cb >= 0xC4) break;
    if (ca != cb) {
      char16_t ua = up[ca], ub = up[cb];
      if (ua != ub) return ua < ub ? -1 : 1;
    }
  }
  if (i == n && (i == a.size() || i == b.size())) return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
  KeyStream ka(a.substr(i), up), kb(b.substr(i), up);
  for (;;) {
    char16_t ca, cb;
    bool ha = ka.Next(ca), hb = kb.Next(cb);
    if (!ha || !hb) return ha ? 1 : hb ? -1 : 0;
    if (ca != cb) return ca < cb ? -1 : 1;
  }
}

std::uint32_t HashTextIgnoreCase(StringView text) {
  const char16_t* up = platform::UpperCaseTable();
  // FNV-1a over the key's code units.
  std::uint32_t h = 2166136261u;
  auto mix = [&h](char16_t c) {
    h = (h ^ c) * 16777619u;
  };
  size_t i = 0;
  for (; i < text.size() && text[i] < 0xC4; ++i) mix(up[text[i]]);
  if (i < text.size()) {
    KeyStream k(text.substr(i), up);
    char16_t c;
    while (k.Next(c)) mix(c);
  }
  return h;
}

bool NameBeforeEqualsMatches(StringView line, StringView name) {
  size_t eq = line.find(u'=');
  if (eq == StringView::npos) return false;
  return CompareTextIgnoreCase(line.substr(0, eq), name) == 0;
}

bool FileExistsEx(StringView name) {
  if (platform::FileExists(name)) return true;
  if (name.size() >= 2 && name[0] == u'\\' && name[1] == u'\\') {
    bool isDir = true;
    return platform::FindExactEntry(name, &isDir) && !isDir;
  }
  return false;
}

String ExtractPathUpToDelimiter(StringView path, StringView delimiters) {
  for (size_t i = path.size(); i-- > 0;) {
    char16_t c = path[i];
    if (c == u':' || delimiters.find(c) != StringView::npos) return String(path.substr(0, i + 1));
  }
  return String();
}

void KVTypes_Initialize() { InitializeFormatSettings(true); }


// ------------------------------------------------------------- log kinds

namespace {

constexpr StringView kMessageLogTypeNames[] = {u"tmlMessage", u"tmlWarning", u"tmlError", u"tmlDebug"};
constexpr StringView kLogChannelNames[] = {
    u"lcApplication", u"lcDatabase",       u"lcImageViewer",     u"IcImageConvert",
    u"lcAutomation",  u"lcPlugins",        u"lcImport",          u"lcSQLPerformance",
    u"lcAppPerformance", u"lcPluginPerformance", u"lcDebug"};
constexpr StringView kLogSQLCommandNames[] = {u"scSelect", u"scInsert", u"scUpdate", u"scDelete"};

template <class E, size_t N>
StringView NameOf(const StringView (&names)[N], E value) {
  return unsigned(value) < N ? names[unsigned(value)] : StringView();
}

template <class E, size_t N>
String SetToText(const StringView (&names)[N], TSmallSet<E> s) {
  String r;
  for (size_t i = 0; i < N; ++i) {
    if (!s.Contains(E(i))) continue;
    if (!r.empty()) r += u',';
    r.append(names[i]);
  }
  return r;
}

template <class E, size_t N>
void AddFromText(const StringView (&names)[N], StringView text, TSmallSet<E>& s) {
  for (size_t i = 0; i < N; ++i)
    if (text.find(names[i]) != StringView::npos) s.Include(E(i));
}

}  // namespace

StringView MessageLogTypeName(TMessageLogType t) { return NameOf(kMessageLogTypeNames, t); }
StringView LogChannelName(TLogChannel c) { return NameOf(kLogChannelNames, c); }
StringView LogSQLCommandName(TLogSQLCommand c) { return NameOf(kLogSQLCommandNames, c); }

String MessageLogTypesToText(TMessageLogTypes s) { return SetToText(kMessageLogTypeNames, s); }
String LogChannelsToText(TLogChannels s) { return SetToText(kLogChannelNames, s); }
String LogSQLCommandsToText(TLogSQLCommands s) { return SetToText(kLogSQLCommandNames, s); }

void AddMessageLogTypesFromText(StringView text, TMessageLogTypes& s) { AddFromText(kMessageLogTypeNames, text, s); }
void AddLogChannelsFromText(StringView text, TLogChannels& s) { AddFromText(kLogChannelNames, text, s); }
void AddLogSQLCommandsFromText(StringView text, TLogSQLCommands& s) { AddFromText(kLogSQLCommandNames, text, s); }

}  // namespace kv
