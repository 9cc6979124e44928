#include "ini/KVBigIni.h"

#include <algorithm>
#include <numeric>
#include <optional>
#include <typeinfo>
#include <vector>

#include "platform/CodePages.h"
#include "platform/Locale.h"
#include "text/_4Files.h"

namespace kv {

namespace {

// Below these sizes a plain scan is as quick as an index, and needs none
// (nor the case table, for names spelled as asked).
constexpr int kIndexedSections = 8;
constexpr int kIndexedLines = 32;
// A large section gets its key index on this search since its last change:
// one that is read once is scanned, not indexed.
constexpr int kSearchesBeforeKeyIndex = 3;

// Slots for count entries at most half full, a power of two.
size_t SlotCount(size_t count) {
  size_t n = 16;
  while (n < count * 2) n *= 2;
  return n;
}

}  // namespace

// ------------------------------------------------------------ TIniSectionLines

void TIniSectionLines::AppendLoaded(std::vector<String>& Lines) {
  if (!FKeySlots.empty()) FKeySlots.clear();
  FItems.reserve(FItems.size() + Lines.size());
  for (String& line : Lines) FItems.push_back(Item{std::move(line), nullptr});
}

void TIniSectionLines::Changed() {
  FKeySlots.clear();
  FSearches = 0;
  TKVStringList::Changed();
}

void TIniSectionLines::BuildKeyIndex() {
  const size_t n = FItems.size();
  // Built aside and taken over whole: a failure on the way (the first
  // casing builds its tables) leaves no index that would miss keys.
  std::vector<Slot> slots(SlotCount(n), Slot{0, -1, 0});
  const size_t mask = slots.size() - 1;
  for (size_t i = 0; i < n; ++i) {
    const StringView line = FItems[i].FString;
    const size_t eq = line.find(u'=');
    if (eq == StringView::npos) continue;
    const StringView name = line.substr(0, eq);
    const std::uint32_t h = HashTextIgnoreCase(name);
    size_t at = h & mask;
    bool known = false;
    for (; slots[at].Index >= 0; at = (at + 1) & mask) {
      const Slot& slot = slots[at];
      if (slot.Hash == h && CompareTextIgnoreCase(StringView(FItems[static_cast<size_t>(slot.Index)].FString)
                                                      .substr(0, slot.NameLen),
                                                  name) == 0) {
        known = true;  // an earlier line of that name is the one found
        break;
      }
    }
    if (!known) slots[at] = Slot{h, static_cast<std::int32_t>(i), static_cast<std::uint32_t>(eq)};
  }
  FKeySlots.swap(slots);
}

std::int32_t TIniSectionLines::IndexOfKey(StringView aKey) {
  const int n = Count();
  if (FKeySlots.empty()) {
    if (n < kIndexedLines || ++FSearches < kSearchesBeforeKeyIndex) {
      for (int i = 0; i < n; ++i)
        if (NameBeforeEqualsMatches(FItems[static_cast<size_t>(i)].FString, aKey)) return i;
      return -1;
    }
    BuildKeyIndex();
  }
  const std::uint32_t h = HashTextIgnoreCase(aKey);
  const size_t mask = FKeySlots.size() - 1;
  for (size_t at = h & mask; FKeySlots[at].Index >= 0; at = (at + 1) & mask) {
    const Slot& slot = FKeySlots[at];
    if (slot.Hash == h &&
        CompareTextIgnoreCase(StringView(FItems[static_cast<size_t>(slot.Index)].FString).substr(0, slot.NameLen),
                              aKey) == 0)
      return slot.Index;
  }
  return -1;
}

// ---------------------------------------------------------------- TSectionList

TSectionList::TSectionList() : TKVStringList() { FPrevIndex = 0; }

TKVStringList* TSectionList::GetSectionItems(int index) const {
  return static_cast<TKVStringList*>(Objects(index));
}

void TSectionList::Changed() {
  FIndexValid = false;
  TKVStringList::Changed();
}

void TSectionList::IndexEntry(std::int32_t i, std::uint32_t hash) const {
  if (static_cast<size_t>(FIndexed + 1) * 2 > FSlots.size()) {
    std::vector<Slot> old(SlotCount(static_cast<size_t>(FIndexed + 1)), Slot{0, -1});
    old.swap(FSlots);
    const size_t mask = FSlots.size() - 1;
    for (const Slot& slot : old) {
      if (slot.Index < 0) continue;
      size_t at = slot.Hash & mask;
      while (FSlots[at].Index >= 0) at = (at + 1) & mask;
      FSlots[at] = slot;
    }
  }
  const size_t mask = FSlots.size() - 1;
  size_t at = hash & mask;
  for (; FSlots[at].Index >= 0; at = (at + 1) & mask) {
    const Slot& slot = FSlots[at];
    if (!FMatchingNames && slot.Hash == hash &&
        CompareTextIgnoreCase(FItems[static_cast<size_t>(slot.Index)].FString, FItems[static_cast<size_t>(i)].FString) ==
            0)
      FMatchingNames = true;
  }
  FSlots[at] = Slot{hash, i};
  ++FIndexed;
}

void TSectionList::EnsureIndex() const {
  if (FIndexValid) return;
  FSlots.assign(SlotCount(FItems.size()), Slot{0, -1});
  FIndexed = 0;
  FMatchingNames = false;
  for (size_t i = 0; i < FItems.size(); ++i)
    IndexEntry(static_cast<std::int32_t>(i), HashTextIgnoreCase(FItems[i].FString));
  FIndexValid = true;
}

void TSectionList::Rejoin(bool WasIndexed) {
  // The notification dropped the index; an entry appended to an indexed list
  // just joins it.
  const int i = Count() - 1;
  if (WasIndexed && !FIndexValid && FIndexed == i) {
    // Valid again only once the entry is in: should that fail, the next
    // search builds the whole index anew.
    IndexEntry(i, HashTextIgnoreCase(FItems.back().FString));
    FIndexValid = true;
  }
}

int TSectionList::AddObject(const String& s, TObject* o) {
  const bool indexed = FIndexValid && !Sorted();
  const int i = TKVStringList::AddObject(s, o);
  if (i == Count() - 1) Rejoin(indexed);
  return i;
}

void TSectionList::AppendLoaded(String&& Name, TKVStringList* Lines) {
  if (Sorted()) {
    AddObject(Name, Lines);
    return;
  }
  const bool indexed = FIndexValid;
  Changing();
  FItems.push_back(Item{std::move(Name), Lines});
  Changed();
  Rejoin(indexed);
}

int TSectionList::FindFrom(StringView S, int From) const {
  const int n = Count();
  if (From < 0 || From >= n) return -1;
  // The entry at From (the one found last) costs one comparison.
  if (CompareTextIgnoreCase(FItems[static_cast<size_t>(From)].FString, S) == 0) return From;
  if (n < kIndexedSections) {
    for (int k = 1; k < n; ++k) {
      const int i = From + k < n ? From + k : From + k - n;
      if (CompareTextIgnoreCase(FItems[static_cast<size_t>(i)].FString, S) == 0) return i;
    }
    return -1;
  }
  // Any other through the index: of the entries that match, the first at or
  // after From, else the first of all.
  EnsureIndex();
  const std::uint32_t h = HashTextIgnoreCase(S);
  const size_t mask = FSlots.size() - 1;
  int after = -1, before = -1;
  for (size_t at = h & mask; FSlots[at].Index >= 0; at = (at + 1) & mask) {
    const Slot& slot = FSlots[at];
    if (slot.Hash != h || CompareTextIgnoreCase(FItems[static_cast<size_t>(slot.Index)].FString, S) != 0) continue;
    if (slot.Index >= From) {
      if (after < 0 || slot.Index < after) after = slot.Index;
    } else if (before < 0 || slot.Index < before) {
      before = slot.Index;
    }
  }
  return after >= 0 ? after : before;
}

void TSectionList::DropIndex() {
  FIndexValid = false;
  std::vector<Slot>().swap(FSlots);
  FIndexed = 0;
}

bool TSectionList::HasMatchingNames() const {
  const int n = Count();
  if (n < kIndexedSections) {
    for (int i = 0; i < n; ++i)
      for (int j = i + 1; j < n; ++j)
        if (CompareTextIgnoreCase(FItems[static_cast<size_t>(i)].FString, FItems[static_cast<size_t>(j)].FString) == 0)
          return true;
    return false;
  }
  EnsureIndex();
  return FMatchingNames;
}

int TSectionList::IndexOf(const String& S) const {
  const int n = Count();
  if (n == 0) return -1;
  // A remembered position beyond the list (after Clear) starts at the top.
  const int i = FindFrom(S, FPrevIndex >= 0 && FPrevIndex < n ? FPrevIndex : 0);
  if (i >= 0) FPrevIndex = i;
  return i;
}

int TSectionList::IndexOfName(const String& name) const {
  for (int i = 0; i < Count(); ++i)
    if (NameBeforeEqualsMatches(FItems[static_cast<size_t>(i)].FString, name)) return i;
  return -1;
}

bool TSectionList::EraseDuplicates(const TEraseSectionCallback& callBackProc) {
  const int n = Count();
  if (n < 2) return false;
  // Most documents have no two sections of one name, which the index of
  // names tells at once: the sort in the user's collation below is spared.
  if (!HasMatchingNames()) return false;
  bool result = false;
  // A copy of the names, each remembering its document position, in the
  // list's own (locale-aware, case-sensitive) order.
  std::vector<int> pos(static_cast<size_t>(n));
  std::iota(pos.begin(), pos.end(), 0);
  std::stable_sort(pos.begin(), pos.end(), [this](int a, int b) {
    return CompareStrings(FItems[static_cast<size_t>(a)].FString, FItems[static_cast<size_t>(b)].FString) < 0;
  });
  auto nameAt = [&](int i) -> const String& { return FItems[static_cast<size_t>(pos[static_cast<size_t>(i)])].FString; };
  int b = 0;
  for (int i = 1; i < n; ++i) {
    if (CompareTextIgnoreCase(nameAt(i), nameAt(b)) != 0) {
      b = i;
      continue;
    }
    int a = i;
    if (pos[static_cast<size_t>(b)] > pos[static_cast<size_t>(a)]) std::swap(a, b);
    if (callBackProc) {
      TKVStringList* earlier = GetSectionItems(pos[static_cast<size_t>(b)]);
      TKVStringList* later = GetSectionItems(pos[static_cast<size_t>(a)]);
      if (!callBackProc(nameAt(i), *earlier, *later)) std::swap(a, b);
    }
    Item& dropped = FItems[static_cast<size_t>(pos[static_cast<size_t>(a)])];
    delete static_cast<TKVStringList*>(dropped.FObject);
    dropped.FObject = nullptr;
    result = true;
  }
  if (result) {
    Changing();
    FItems.erase(std::remove_if(FItems.begin(), FItems.end(), [](const Item& it) { return it.FObject == nullptr; }),
                 FItems.end());
    Changed();
  }
  return result;
}

// ----------------------------------------------------------------- TBigIniFile

TBigIniFile::TBigIniFile(const String& FileName, bool ForceUtf8File)
    : FSectionList(std::make_unique<TSectionList>()), FForceUtf8(ForceUtf8File) {
  SetFileName(FileName);
}

TBigIniFile::~TBigIniFile() {
  try {
    FlushFile();
  } catch (...) {
    // A destructor cannot report a failed write; UpdateFile can.
  }
  ClearSections();
}

void TBigIniFile::ClearSections() {
  // The index goes first: freeing a block that large makes the allocator
  // sweep up every small block freed before it, which would be all the lines.
  FSectionList->DropIndex();
  for (int i = FSectionList->Count(); i-- > 0;) delete FSectionList->GetSectionItems(i);
  FSectionList->Clear();
  FSectionList->SetPrevIndex(0);
  FLeadingLines.Clear();
}

void TBigIniFile::SetFileName(const String& Value) {
  FlushFile();
  ClearSections();
  FFileName = Value;
  try {
    if (!Value.empty()) AppendFromFile(Value);
  } catch (...) {
    // No half-loaded document: and a constructor that raises here would
    // otherwise leave the sections read so far to nobody.
    ClearSections();
    throw;
  }
  FHasChanged = false;
}

void TBigIniFile::Clear() { ClearSections(); }

// ---------------------------------------------------------------- writing

void TBigIniFile::WriteString(const String& aSection, const String& aKey, const String& aValue) {
  if (aKey.empty()) {
    if (aSection.empty() && aValue.empty())
      FlushFile();
    else
      EraseSection(aSection);
    return;
  }
  String line;
  line.reserve(aKey.size() + 1 + aValue.size());
  line.append(aKey).append(1, u'=').append(aValue);
  TKVStringList* lines;
  std::int32_t i = LocateKey(aSection, aKey, true, &lines);
  if (i < 0) {
    lines->Add(line);
    FHasChanged = true;
  } else if (lines->Strings(i) != line) {
    lines->Put(i, line);
    FHasChanged = true;
  }
}

void TBigIniFile::WriteInteger(const String& aSection, const String& aKey, std::int32_t aValue) {
  WriteString(aSection, aKey, IntToStr(aValue));
}

void TBigIniFile::WriteBool(const String& aSection, const String& aKey, bool aValue) {
  WriteString(aSection, aKey, aValue ? u"1" : u"0");
}

void TBigIniFile::WriteDate(const String& aSection, const String& aKey, TDateTime aValue) {
  WriteString(aSection, aKey, DateToStr(aValue));
}

void TBigIniFile::WriteDateTime(const String& aSection, const String& aKey, TDateTime aValue) {
  WriteString(aSection, aKey, DateTimeToStr(aValue));
}

void TBigIniFile::WriteTime(const String& aSection, const String& aKey, TDateTime aValue) {
  WriteString(aSection, aKey, TimeToStr(aValue));
}

void TBigIniFile::WriteFloat(const String& aSection, const String& aKey, double aValue) {
  WriteString(aSection, aKey, FloatToStr(aValue));
}

void TBigIniFile::EraseSection(const String& aSection) {
  int s = FSectionList->IndexOf(aSection);
  if (s < 0) return;
  delete FSectionList->GetSectionItems(s);
  FSectionList->Delete(s);
  FSectionList->SetPrevIndex(0);
  FHasChanged = true;
  if (FPrevSectionIndex >= FSectionList->Count()) FPrevSectionIndex = 0;
}

void TBigIniFile::DeleteKey(const String& aSection, const String& aKey) {
  TKVStringList* lines;
  std::int32_t i = LocateKey(aSection, aKey, true, &lines);
  if (i < 0) return;
  FHasChanged = true;
  lines->Delete(i);
}

void TBigIniFile::UpdateFile() { FlushFile(); }

namespace {

constexpr size_t kFlushChunk = 1 << 20;

enum class FlushStep { Create, Write, Replace };

// The file error of a failed flush, with the system's reason.
[[noreturn]] void RaiseFlushError(FlushStep step, const String& target) {
  const std::uint32_t code = platform::LastError();
  String reason = platform::SysErrorMessage(code);
  const char16_t* what = step == FlushStep::Create  ? u"Cannot create file %s"
                         : step == FlushStep::Write ? u"Cannot write file %s"
                                                    : u"Cannot replace file %s";
  String msg = FormatSimple(what, {platform::DisplayPath(target)});
  if (!reason.empty()) msg += u": " + reason;
  if (step == FlushStep::Write) {
    EWriteError e(msg);
    e.SetErrorCode(code);
    throw e;
  }
  EFCreateError e(msg);
  e.SetErrorCode(code);
  throw e;
}

void WriteOut(platform::FileHandle& out, std::string& buf, const String& target) {
  if (buf.empty()) return;
  if (out.Write(buf.data(), static_cast<std::int64_t>(buf.size())) != static_cast<std::int64_t>(buf.size()))
    RaiseFlushError(FlushStep::Write, target);
  buf.clear();
}

void AppendUtf16Le(std::string& buf, StringView text) {
  size_t at = buf.size();
  buf.resize(at + text.size() * 2);
  char* p = buf.data() + at;
  for (char16_t c : text) {
    *p++ = static_cast<char>(c & 0xFF);
    *p++ = static_cast<char>(c >> 8);
  }
}

}  // namespace

bool TBigIniFile::EncodeDocument(bool utf16, const std::function<void(std::string& Bytes)>& out) const {
  std::string buf;
  buf.reserve(kFlushChunk + 4096);
  String pending;  // ANSI: texts gathered so that the code page converts them in large pieces
  bool lossy = false;
  // ANSI text that begins as a byte-order mark would be read back in that
  // coding (leading lines can begin with any text): such a document cannot
  // be written in ANSI either.
  bool first = true;
  auto encodePending = [&] {
    buf = platform::EncodeAnsi(pending, &lossy);
    pending.clear();
    if (first && !lossy) {
      first = false;
      auto startsWith = [&](const char* mark, size_t n) { return buf.size() >= n && buf.compare(0, n, mark, n) == 0; };
      if (startsWith("\xFF\xFE", 2) || startsWith("\xFE\xFF", 2) || startsWith("\xEF\xBB\xBF", 3)) lossy = true;
    }
  };
  auto put = [&](StringView text) {
    if (utf16) {
      AppendUtf16Le(buf, text);
      if (buf.size() >= kFlushChunk) out(buf);
    } else {
      pending.append(text);
      if (pending.size() >= kFlushChunk) {
        encodePending();
        if (!lossy) out(buf);
      }
    }
  };
  if (utf16) buf.append("\xFF\xFE");
  static const String kCrLf = u"\r\n";
  for (int i = 0; i < FLeadingLines.Count() && !lossy; ++i) {
    put(FLeadingLines.Strings(i));
    put(kCrLf);
  }
  for (int s = 0; s < FSectionList->Count() && !lossy; ++s) {
    const TKVStringList& lines = *FSectionList->GetSectionItems(s);
    if (lines.Count() == 0) continue;
    put(u"[");
    put(FSectionList->Strings(s));
    put(u"]\r\n");
    for (int i = 0; i < lines.Count() && !lossy; ++i) {
      put(lines.Strings(i));
      put(kCrLf);
    }
    put(kCrLf);
  }
  if (!utf16 && !lossy) encodePending();
  if (lossy) return false;
  out(buf);
  return true;
}

bool TBigIniFile::WritesUtf16() const { return FIsUnicodeFile || FIsUTF8File || FForceUtf8; }

std::string TBigIniFile::DocumentBytes() const {
  std::string bytes;
  const auto collect = [&](std::string& buf) {
    bytes += buf;
    buf.clear();
  };
  if (!EncodeDocument(WritesUtf16(), collect)) {
    bytes.clear();
    EncodeDocument(true, collect);
  }
  return bytes;
}

void TBigIniFile::FlushFile() {
  if (!FHasChanged) return;
  if (!FFileName.empty()) {
    platform::ReplacementFile file;
    if (!file.Create(FFileName)) RaiseFlushError(FlushStep::Create, FFileName);
    const auto write = [&](std::string& buf) { WriteOut(file.Handle(), buf, FFileName); };
    bool utf16 = WritesUtf16();
    if (!EncodeDocument(utf16, write)) {
      // The ANSI code page would replace some characters: keep them all in
      // UTF-16, which the loader reads back as well.
      if (!file.Handle().Seek(0) || !file.Handle().Truncate()) RaiseFlushError(FlushStep::Write, FFileName);
      utf16 = true;
      EncodeDocument(true, write);
    }
    if (!file.Commit()) RaiseFlushError(FlushStep::Replace, FFileName);
    if (utf16) FIsUnicodeFile = true;
  }
  FHasChanged = false;
}

namespace {

bool IsBlankOrTab(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

void TBigIniFile::AppendFromFile(const String& aName) {
  FPrevSectionIndex = 0;
  if (!FileExistsEx(aName)) return;
  TUnicodeFileReader reader(aName, FForceUtf8);
  AppendFromReader(reader);
}

void TBigIniFile::LoadFromBytes(std::string Bytes) {
  FlushFile();
  ClearSections();
  FPrevSectionIndex = 0;
  TUnicodeFileReader reader(std::make_unique<TBytesStream>(std::move(Bytes)), FForceUtf8);
  AppendFromReader(reader);
  FHasChanged = false;
}

void TBigIniFile::AppendFromReader(TUnicodeFileReader& reader) {
  TIniSectionLines* current = nullptr;
  FIsUnicodeFile = reader.isUnicode();
  FIsUTF8File = reader.isUtf8();
  String S;
  // The lines of the current section gather here and go into its list in
  // one piece when the section ends: each list is allocated once, at its
  // size, and this buffer serves every section.
  std::vector<String> pending;
  auto flushPending = [&] {
    if (current && !pending.empty()) current->AppendLoaded(pending);
    pending.clear();
  };
  struct FlushAtEnd {
    decltype(flushPending)& flush;
    // Also when a read error ends the load, so that an appending caller that
    // goes on keeps the lines read (SetFileName clears a failed load).
    ~FlushAtEnd() {
      try {
        flush();
      } catch (...) {
      }
    }
  } flushAtEnd{flushPending};
  while (!reader.Eof()) {
    reader.ReadLineInto(S);
    if (S.size() == 1 && S[0] == u'\x1A') S.clear();
    if (FFlagDropCommentLines && !S.empty() && S[0] == u';') S.clear();
    if (S.empty()) continue;
    if (S.size() >= 2 && S.front() == u'[' && S.back() == u']') {
      flushPending();
      auto lines = std::make_unique<TIniSectionLines>();
      current = lines.get();
      FSectionList->AppendLoaded(S.substr(1, S.size() - 2), lines.release());
      continue;
    }
    if (FFlagDropWhiteSpace) {
      // The blanks and tabs right before the first "=", then, unless that
      // leaves the "=" first in the line, those right after it: each run in
      // one piece, so that a long run costs no more than its length.
      size_t p = S.find(u'=');
      if (p != String::npos) {
        size_t from = p;
        while (from > 0 && IsBlankOrTab(S[from - 1])) --from;
        S.erase(from, p - from);
        p = from;
        if (p > 0) {
          size_t to = p + 1;
          while (to < S.size() && IsBlankOrTab(S[to])) ++to;
          S.erase(p + 1, to - p - 1);
        }
      }
    }
    if (FFlagDropApostrophes) {
      size_t eq = S.find(u'=');
      size_t P = eq == String::npos ? 0 : eq + 1;  // 1-based
      size_t L = S.size();
      if (P > 1 && P + 1 < L && S[P] == S[L - 1] && (S[P] == u'"' || S[P] == u'\'')) {
        S.pop_back();
        S.erase(P, 1);
      }
    }
    if (FFlagTrimRight) {
      while (!S.empty() && S.back() < 33) S.pop_back();
    }
    if (FFlagFilterOutInvalid && S.find(u'=') == String::npos) continue;
    // The line's text moves into its section; lines before the first
    // section header are kept aside.
    if (current)
      pending.push_back(std::move(S));
    else
      FLeadingLines.Add(S);
  }
  flushPending();
  if (FSectionList->EraseDuplicates(FEraseSectionCallback)) FHasChanged = true;
}

std::int32_t TBigIniFile::IndexOfKey(TKVStringList& lines, const String& aKey) {
  // The document's own sections keep an index of their keys.
  if (typeid(lines) == typeid(TIniSectionLines)) return static_cast<TIniSectionLines&>(lines).IndexOfKey(aKey);
  const int n = lines.Count();
  for (int i = 0; i < n; ++i)
    if (NameBeforeEqualsMatches(lines.Strings(i), aKey)) return i;
  return -1;
}

std::int32_t TBigIniFile::LocateKey(const String& aSection, const String& aKey, bool CreateSection,
                                    TKVStringList** lines) {
  *lines = nullptr;
  const int n = FSectionList->Count();
  if (n > 0) {
    if (FPrevSectionIndex < 0 || FPrevSectionIndex >= n) FPrevSectionIndex = 0;
    int last = FPrevSectionIndex - 1;
    if (last < 0) last = n - 1;
    // The search goes round from the section found last.
    const int found = FSectionList->FindFrom(aSection, FPrevSectionIndex);
    // Without a match the search ends at the entry before its start.
    FPrevSectionIndex = found >= 0 ? found : last;
    if (found >= 0) {
      *lines = FSectionList->GetSectionItems(found);
      return IndexOfKey(**lines, aKey);
    }
  }
  if (CreateSection) {
    auto list = std::make_unique<TIniSectionLines>();
    *lines = list.get();
    FPrevSectionIndex = FSectionList->AddObject(aSection, list.release());
  }
  return -1;
}

String TBigIniFile::ReadString(const String& aSection, const String& aKey, const String& aDefault) {
  TKVStringList* lines;
  std::int32_t i = LocateKey(aSection, aKey, false, &lines);
  if (i < 0) return aDefault;
  // The matched line's name is its text before the first "=": the value is
  // what follows it. For a name spelled like aKey that is the line without its
  // first (length of aKey + 1) characters; a name that matched through the
  // umlaut transcription has another length.
  const String& line = lines->Strings(i);
  return line.substr(line.find(u'=') + 1);
}

std::int32_t TBigIniFile::ReadInteger(const String& aSection, const String& aKey, std::int32_t aDefault) {
  String s = ReadString(aSection, aKey, String());
  if (s.size() >= 2 && s[0] == u'0' && (s[1] == u'x' || s[1] == u'X')) s = u"$" + s.substr(2, 255);
  auto v = TryStrToInt(s);
  return v ? *v : aDefault;
}

bool TBigIniFile::ReadBool(const String& aSection, const String& aKey, bool aDefault) {
  return ReadInteger(aSection, aKey, aDefault ? 1 : 0) != 0;
}

TDateTime TBigIniFile::ReadDate(const String& aSection, const String& aKey, TDateTime aDefault) {
  auto v = TryStrToDate(ReadString(aSection, aKey, String()));
  return v ? *v : aDefault;
}

TDateTime TBigIniFile::ReadDateTime(const String& aSection, const String& aKey, TDateTime aDefault) {
  auto v = TryStrToDateTime(ReadString(aSection, aKey, String()));
  return v ? *v : aDefault;
}

TDateTime TBigIniFile::ReadTime(const String& aSection, const String& aKey, TDateTime aDefault) {
  auto v = TryStrToTime(ReadString(aSection, aKey, String()));
  return v ? *v : aDefault;
}

double TBigIniFile::ReadFloat(const String& aSection, const String& aKey, double aDefault) {
  auto v = TryStrToFloat(ReadString(aSection, aKey, String()));
  return v ? *v : aDefault;
}

void TBigIniFile::ReadSection(const String& aSection, TStringList& aStrings) {
  int s = FSectionList->IndexOf(aSection);
  if (s < 0) return;
  const TKVStringList& lines = *FSectionList->GetSectionItems(s);
  aStrings.BeginUpdate();
  try {
    for (int i = 0; i < lines.Count(); ++i) {
      const String& line = lines.Strings(i);
      size_t eq = line.find(u'=');
      if (eq == String::npos || eq == 0) continue;
      if (FFlagDropCommentLines && line[0] == u';') continue;
      aStrings.Add(line.substr(0, eq));
    }
  } catch (...) {
    aStrings.EndUpdate();
    throw;
  }
  aStrings.EndUpdate();
}

void TBigIniFile::ReadSections(TStringList& aStrings) {
  aStrings.BeginUpdate();
  try {
    aStrings.Clear();
    for (int i = 0; i < FSectionList->Count(); ++i)
      aStrings.AddObject(FSectionList->Strings(i), FSectionList->GetSectionItems(i));
  } catch (...) {
    aStrings.EndUpdate();
    throw;
  }
  aStrings.EndUpdate();
}

void TBigIniFile::ReadSectionValues(const String& aSection, TStringList& aStrings) {
  int s = FSectionList->IndexOf(aSection);
  if (s < 0) return;
  const TKVStringList& lines = *FSectionList->GetSectionItems(s);
  aStrings.BeginUpdate();
  try {
    if (FFlagClearOnReadSectionValues) aStrings.Clear();
    for (int i = 0; i < lines.Count(); ++i) aStrings.Add(lines.Strings(i));
  } catch (...) {
    aStrings.EndUpdate();
    throw;
  }
  aStrings.EndUpdate();
}

void TBigIniFile::ReadAll(TStringList& aStrings) {
  aStrings.BeginUpdate();
  try {
    for (int s = 0; s < FSectionList->Count(); ++s) {
      const TKVStringList& lines = *FSectionList->GetSectionItems(s);
      if (lines.Count() == 0) continue;
      aStrings.Add(u"[" + FSectionList->Strings(s) + u"]");
      for (int i = 0; i < lines.Count(); ++i) aStrings.Add(lines.Strings(i));
      aStrings.Add(String());
    }
  } catch (...) {
    aStrings.EndUpdate();
    throw;
  }
  aStrings.EndUpdate();
}

bool TBigIniFile::HasSection(const String& aSection) { return FSectionList->IndexOf(aSection) != -1; }

bool TBigIniFile::SectionExists(const String& aSection) { return HasSection(aSection); }

bool TBigIniFile::ValueExists(const String& aSection, const String& aValue) {
  TKVStringList names;
  ReadSection(aSection, names);
  return names.IndexOf(aValue) >= 0;
}

// ------------------------------------------------------------ colours, fonts

String ColorToString(TColor c) {
  if (auto ident = ColorToIdent(c)) return *ident;
  return u"$" + IntToHex(static_cast<std::uint32_t>(c), 8);
}

TColor StringToColor(StringView s) {
  if (auto c = IdentToColor(s)) return *c;
  if (auto v = TryStrToInt(s)) return *v;
  throw EConvertError(FormatSimple(u"'%s' is not a valid integer value", {String(s)}));
}

TCommaSeparatedInfo::TCommaSeparatedInfo() : FValues(std::make_unique<TKVStringList>()) {}

TCommaSeparatedInfo::~TCommaSeparatedInfo() = default;

String TCommaSeparatedInfo::Value() const { return FValues->CommaText(); }

void TCommaSeparatedInfo::SetValue(const String& v) { FValues->SetCommaText(v); }

String TCommaSeparatedInfo::Element(int index) const { return FValues->Strings(index); }

void TCommaSeparatedInfo::SetElement(int index, const String& v) {
  if (index < 0) FValues->Put(index, v);  // raises the list's index error
  while (FValues->Count() <= index) FValues->Add(String());
  FValues->Put(index, v);
}

std::int32_t TCommaSeparatedInfo::AsInteger(int index) const {
  auto v = TryStrToInt(Element(index));
  return v ? *v : -1;
}

void TCommaSeparatedInfo::SetAsInteger(int index, std::int32_t v) { SetElement(index, IntToStr(v)); }

bool TCommaSeparatedInfo::AsBoolean(int index) const { return Element(index) == u"1"; }

void TCommaSeparatedInfo::SetAsBoolean(int index, bool v) { SetElement(index, v ? u"1" : u""); }

TColor TCommaSeparatedInfo::GetColor(int index) const {
  String e = Element(index);
  auto hex = TryStrToInt(u"$" + e);
  TColor c = hex ? *hex : -1;
  if (c != -1) return c;
  try {
    return StringToColor(e);
  } catch (const EConvertError&) {
    return clBlack;
  }
}

void TCommaSeparatedInfo::SetColor(int Index, TColor Value) { SetElement(Index, ColorToString(Value)); }

TFontStyles TCSIFont::FontStyle() const {
  TFontStyles st;
  if (AsBoolean(2)) st.Include(TFontStyle::fsBold);
  if (AsBoolean(3)) st.Include(TFontStyle::fsItalic);
  if (AsBoolean(4)) st.Include(TFontStyle::fsUnderline);
  if (AsBoolean(5)) st.Include(TFontStyle::fsStrikeOut);
  return st;
}

void TCSIFont::SetFontStyle(TFontStyles v) {
  SetAsBoolean(2, v.Contains(TFontStyle::fsBold));
  SetAsBoolean(3, v.Contains(TFontStyle::fsItalic));
  SetAsBoolean(4, v.Contains(TFontStyle::fsUnderline));
  SetAsBoolean(5, v.Contains(TFontStyle::fsStrikeOut));
}

// ------------------------------------------------------------- TBiggerIniFile

TColor TBiggerIniFile::ReadColor(const String& aSection, const String& aKey, TColor aDefault) {
  String s = u"$" + ReadString(aSection, aKey, IntToHex(static_cast<std::uint32_t>(aDefault), 8));
  // Hexadecimal digits only: no blanks, no sign.
  bool pure = s.size() > 1;
  for (size_t i = 1; i < s.size() && pure; ++i) {
    char16_t c = s[i];
    pure = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
  }
  auto v = pure ? TryStrToInt(s) : std::nullopt;
  if (!v) throw EConvertError(FormatSimple(u"'%s' is not a valid integer value", {s}));
  return *v;
}

void TBiggerIniFile::WriteColor(const String& aSection, const String& aKey, TColor aValue) {
  WriteString(aSection, aKey, IntToHex(static_cast<std::uint32_t>(aValue), 8));
}

TFont& TBiggerIniFile::ReadFont(const String& aSection, const String& aKey, TFont& aFont) {
  TCSIFont f;
  f.SetValue(ReadString(aSection, aKey, String()));
  aFont.Name = f.FontName();
  aFont.Size = f.FontSize();
  aFont.Style = f.FontStyle();
  aFont.Color = f.FontColor();
  aFont.Charset = f.FontCharset();
  std::int32_t pitch = f.FontPitch();
  aFont.Pitch = pitch >= 0 && pitch <= 2 ? static_cast<TFontPitch>(pitch) : TFontPitch::fpDefault;
  return aFont;
}

void TBiggerIniFile::WriteFont(const String& aSection, const String& aKey, const TFont& aFont) {
  TCSIFont f;
  f.SetFontName(aFont.Name);
  f.SetFontSize(aFont.Size);
  f.SetFontStyle(aFont.Style);
  f.SetFontColor(aFont.Color);
  f.SetFontCharset(aFont.Charset);
  f.SetFontPitch(static_cast<std::int32_t>(aFont.Pitch));
  WriteString(aSection, aKey, f.Value());
}

namespace {

String CountKey(const String& aPrefix, bool usePrefixOnCount) {
  return usePrefixOnCount ? aPrefix + u"Count" : String(u"Count");
}

// The number k in [first, end) for which name is the item key aPrefix + k
// (names compared as keys are: by CompareTextIgnoreCase), or nothing. The
// number is the decimal text at the end of name, as IntToStr writes it: the
// comparison key of a text ends in digits exactly where the text does, so
// only the splits of name's trailing digits (and a sign before them) can
// match, and at most one of them does.
std::optional<std::int64_t> ItemNumber(StringView name, const String& aPrefix, std::int64_t first, std::int64_t end) {
  std::size_t digits = 0;
  while (digits < name.size() && digits < 12 && name[name.size() - 1 - digits] >= u'0' &&
         name[name.size() - 1 - digits] <= u'9')
    ++digits;
  for (std::size_t len = 1; len <= digits + 1 && len <= name.size(); ++len) {
    const std::size_t at = name.size() - len;
    const bool negative = name[at] == u'-';
    if (len > digits && !negative) break;
    const StringView number = name.substr(negative ? at + 1 : at);
    if (number.empty() || (number.size() > 1 && number[0] == u'0') || (negative && number == u"0")) continue;
    std::int64_t k = 0;
    for (char16_t c : number) k = k * 10 + (c - u'0');
    if (negative) k = -k;
    if (k < first || k >= end) continue;
    if (CompareTextIgnoreCase(name.substr(0, at), aPrefix) == 0) return k;
  }
  return std::nullopt;
}

}  // namespace

void TBiggerIniFile::ReadNumberedList(const String& Section, TStringList& aStrings, const String& Deflt,
                                      const String& aPrefix, std::int32_t IndexStart, bool usePrefixOnCount) {
  std::int32_t n = ReadInteger(Section, CountKey(aPrefix, usePrefixOnCount), 0);
  // Every item is a line of the section beside the count's own: a larger
  // count comes from a damaged file, and reading all of it would never end.
  const int s = FSectionList->IndexOf(Section);
  const int lines = s < 0 ? 0 : FSectionList->GetSectionItems(s)->Count();
  n = std::min(n, lines - 1);
  aStrings.BeginUpdate();
  try {
    for (std::int32_t i = 0; i < n; ++i)
      aStrings.Add(ReadString(Section, aPrefix + IntToStr(static_cast<std::int64_t>(IndexStart) + i), Deflt));
  } catch (...) {
    aStrings.EndUpdate();
    throw;
  }
  aStrings.EndUpdate();
}

void TBiggerIniFile::WriteNumberedList(const String& Section, const TStringList& aStrings, const String& aPrefix,
                                       std::int32_t IndexStart, bool usePrefixOnCount) {
  TKVStringList before;
  ReadSectionValues(Section, before);
  String countKey = CountKey(aPrefix, usePrefixOnCount);
  std::int32_t oldCount = ReadInteger(Section, countKey, 0);
  WriteInteger(Section, countKey, aStrings.Count());
  bool changedBefore = FHasChanged;
  // The old items are deleted by number, each that exists, found in one pass
  // over the section's lines: a count from a damaged file may be far larger
  // than the section, and deleting every number up to it would never end.
  std::vector<std::int64_t> old;
  if (oldCount > 0) {
    const std::int64_t first = IndexStart, end = first + oldCount;
    const int s = FSectionList->IndexOf(Section);
    const TKVStringList* lines = s < 0 ? nullptr : FSectionList->GetSectionItems(s);
    for (int i = 0; lines && i < lines->Count(); ++i) {
      const String& line = lines->Strings(i);
      const std::size_t eq = line.find(u'=');
      if (eq == String::npos) continue;
      if (auto k = ItemNumber(StringView(line).substr(0, eq), aPrefix, first, end)) old.push_back(*k);
    }
    std::sort(old.begin(), old.end());
    old.erase(std::unique(old.begin(), old.end()), old.end());
  }
  for (std::int64_t k : old) DeleteKey(Section, aPrefix + IntToStr(k));
  for (int i = 0; i < aStrings.Count(); ++i)
    WriteString(Section, aPrefix + IntToStr(static_cast<std::int64_t>(IndexStart) + i), aStrings.Strings(i));
  if (!changedBefore) {
    TKVStringList after;
    ReadSectionValues(Section, after);
    bool differ = after.Count() != before.Count();
    for (int i = 0; !differ && i < after.Count(); ++i) differ = after.Strings(i) != before.Strings(i);
    FHasChanged = differ;
  }
}

void TBiggerIniFile::RenameSection(const String& OldSection, const String& NewSection) {
  if (OldSection == NewSection) return;
  int s = FSectionList->IndexOf(OldSection);
  if (s >= 0) FSectionList->Put(s, NewSection);
  FHasChanged = true;
}

void TBiggerIniFile::RenameKey(const String& aSection, const String& OldKey, const String& NewKey) {
  // An empty name is no key: WriteString would take it as the order to
  // erase the whole section.
  if (OldKey == NewKey || NewKey.empty()) return;
  TKVStringList* lines;
  std::int32_t i = LocateKey(aSection, OldKey, false, &lines);
  if (i < 0) return;
  if (CompareTextIgnoreCase(OldKey, NewKey) == 0) {
    // Both names find the same line: writing the new one and deleting the
    // old one would lose the key. Rename the line where it stands.
    const String& line = lines->Strings(i);
    String renamed = NewKey + line.substr(line.find(u'='));
    if (renamed != line) {
      lines->Put(i, renamed);
      FHasChanged = true;
    }
    return;
  }
  String value = ReadString(aSection, OldKey, String());
  WriteString(aSection, NewKey, value);
  DeleteKey(aSection, OldKey);
}

void TBiggerIniFile::WriteBoolDef(const String& aSection, const String& aKey, bool aValue, bool aDefault) {
  if (aValue == aDefault)
    DeleteKey(aSection, aKey);
  else
    WriteBool(aSection, aKey, aValue);
}

void TBiggerIniFile::WriteSectionValues(const String& aSection, const TStringList& aStrings) {
  int s = FSectionList->IndexOf(aSection);
  if (s < 0) {
    auto lines = std::make_unique<TIniSectionLines>();
    for (int i = 0; i < aStrings.Count(); ++i) lines->Add(aStrings.Strings(i));
    FSectionList->AddObject(aSection, lines.release());
    FHasChanged = true;
    return;
  }
  TKVStringList& lines = *FSectionList->GetSectionItems(s);
  if (lines.Count() == aStrings.Count()) {
    for (int i = 0; i < lines.Count(); ++i) {
      if (lines.Strings(i) != aStrings.Strings(i)) {
        lines.Put(i, aStrings.Strings(i));
        FHasChanged = true;
      }
    }
    return;
  }
  lines.BeginUpdate();
  lines.Clear();
  for (int i = 0; i < aStrings.Count(); ++i) lines.Add(aStrings.Strings(i));
  lines.EndUpdate();
  FHasChanged = true;
}

}  // namespace kv
