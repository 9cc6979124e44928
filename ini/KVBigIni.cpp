#include "ini/KVBigIni.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include "text/_4Files.h"

namespace kv {

// ---------------------------------------------------------------- TSectionList

TSectionList::TSectionList() : TKVStringList() { FPrevIndex = 0; }

TKVStringList* TSectionList::GetSectionItems(int index) const {
  return static_cast<TKVStringList*>(Objects(index));
}

int TSectionList::IndexOf(const String& S) const {
  const int n = Count();
  if (n == 0) return -1;
  // A remembered position beyond the list (after Clear) starts at the top.
  int start = FPrevIndex >= 0 && FPrevIndex < n ? FPrevIndex : 0;
  for (int k = 0; k < n; ++k) {
    int i = start + k;
    if (i >= n) i -= n;
    if (CompareTextIgnoreCase(FItems[static_cast<size_t>(i)].FString, S) == 0) {
      FPrevIndex = i;
      return i;
    }
  }
  return -1;
}

int TSectionList::IndexOfName(const String& name) const {
  for (int i = 0; i < Count(); ++i)
    if (NameBeforeEqualsMatches(FItems[static_cast<size_t>(i)].FString, name)) return i;
  return -1;
}

bool TSectionList::EraseDuplicates(const TEraseSectionCallback& callBackProc) {
  const int n = Count();
  if (n < 2) return false;
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
  for (int i = 0; i < FSectionList->Count(); ++i) delete FSectionList->GetSectionItems(i);
  FSectionList->Clear();
  FSectionList->SetPrevIndex(0);
}

void TBigIniFile::SetFileName(const String& Value) {
  FlushFile();
  ClearSections();
  FFileName = Value;
  if (!Value.empty()) AppendFromFile(Value);
  FHasChanged = false;
}

void TBigIniFile::Clear() { ClearSections(); }

void TBigIniFile::FlushFile() {
  // The document is only written back by the writing operations' flush;
  // without them nothing here changes the file.
}

namespace {

bool IsBlankOrTab(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

void TBigIniFile::AppendFromFile(const String& aName) {
  FPrevSectionIndex = 0;
  TKVStringList* current = nullptr;
  if (!FileExistsEx(aName)) return;
  TUnicodeFileReader reader(aName, FForceUtf8);
  FIsUnicodeFile = reader.isUnicode();
  FIsUTF8File = reader.isUtf8();
  while (!reader.Eof()) {
    String S = reader.ReadLine();
    if (S.size() == 1 && S[0] == u'\x1A') S.clear();
    if (FFlagDropCommentLines && !S.empty() && S[0] == u';') S.clear();
    if (S.empty()) continue;
    if (S.size() >= 2 && S.front() == u'[' && S.back() == u']') {
      auto lines = std::make_unique<TKVStringList>();
      current = lines.get();
      FSectionList->AddObject(S.substr(1, S.size() - 2), lines.release());
      continue;
    }
    if (FFlagDropWhiteSpace) {
      size_t p = S.find(u'=');
      while (p != String::npos && p > 0 && IsBlankOrTab(S[p - 1])) {
        S.erase(p - 1, 1);
        p = S.find(u'=');
      }
      while (p != String::npos && p > 0 && p + 1 < S.size() && IsBlankOrTab(S[p + 1])) {
        S.erase(p + 1, 1);
        p = S.find(u'=');
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
    if (current) current->Add(S);
  }
  if (FSectionList->EraseDuplicates(FEraseSectionCallback)) FHasChanged = true;
}

std::int32_t TBigIniFile::IndexOfKey(const TKVStringList& lines, const String& aKey) {
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
    for (;;) {
      if (CompareTextIgnoreCase(FSectionList->Strings(FPrevSectionIndex), aSection) == 0) {
        *lines = FSectionList->GetSectionItems(FPrevSectionIndex);
        return IndexOfKey(**lines, aKey);
      }
      if (FPrevSectionIndex == last) break;
      FPrevSectionIndex = FPrevSectionIndex + 1 < n ? FPrevSectionIndex + 1 : 0;
    }
  }
  if (CreateSection) {
    auto list = std::make_unique<TKVStringList>();
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

}  // namespace kv
