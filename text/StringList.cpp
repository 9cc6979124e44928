#include "text/StringList.h"

#include <utility>

#include "platform/CodePages.h"
#include "platform/Locale.h"
#include "text/QuickSort.h"
#include "text/Streams.h"

namespace kv {

void TStringList::Error(const char16_t* pattern, int index) {
  throw EStringListError(FormatSimple(pattern, {IntToStr(index)}));
}

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) Error(u"List index out of bounds (%d)", index);
}

const String& TStringList::Strings(int index) const {
  CheckIndex(index);
  return FItems[static_cast<size_t>(index)].FString;
}

TObject* TStringList::Objects(int index) const {
  CheckIndex(index);
  return FItems[static_cast<size_t>(index)].FObject;
}

void TStringList::Changed() {
  if (FUpdateCount == 0 && OnChange) OnChange(this);
}

void TStringList::Changing() {
  if (FUpdateCount == 0 && OnChanging) OnChanging(this);
}

void TStringList::BeginUpdate() {
  if (FUpdateCount == 0) Changing();
  ++FUpdateCount;
}

void TStringList::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) Changed();
}

int TStringList::Add(const String& s) { return AddObject(s, nullptr); }

int TStringList::AddObject(const String& s, TObject* o) {
  int index;
  if (!FSorted) {
    index = Count();
  } else if (Find(s, index)) {
    switch (FDuplicates) {
      case TDuplicates::dupIgnore: return index;
      case TDuplicates::dupError: throw EStringListError(u"String list does not allow duplicates");
      case TDuplicates::dupAccept: break;
    }
  }
  InsertItem(index, s, o);
  return index;
}

void TStringList::InsertItem(int index, const String& s, TObject* o) {
  Changing();
  FItems.insert(FItems.begin() + index, Item{s, o});
  Changed();
}

void TStringList::Insert(int index, const String& s) { InsertObject(index, s, nullptr); }

void TStringList::InsertObject(int index, const String& s, TObject* o) {
  if (FSorted) throw EStringListError(u"Operation not allowed on sorted list");
  if (index < 0 || index > Count()) Error(u"List index out of bounds (%d)", index);
  InsertItem(index, s, o);
}

void TStringList::Clear() {
  if (FItems.empty()) return;
  Changing();
  FItems.clear();
  Changed();
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  Changing();
  FItems.erase(FItems.begin() + index);
  Changed();
}

void TStringList::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  Changing();
  ExchangeItems(index1, index2);
  Changed();
}

void TStringList::ExchangeItems(int index1, int index2) {
  std::swap(FItems[static_cast<size_t>(index1)], FItems[static_cast<size_t>(index2)]);
}

void TStringList::Put(int index, const String& s) {
  if (FSorted) throw EStringListError(u"Operation not allowed on sorted list");
  CheckIndex(index);
  Changing();
  FItems[static_cast<size_t>(index)].FString = s;
  Changed();
}

void TStringList::PutObject(int index, TObject* o) {
  CheckIndex(index);
  Changing();
  FItems[static_cast<size_t>(index)].FObject = o;
  Changed();
}

int TStringList::CompareStrings(const String& s1, const String& s2) const {
  return platform::CompareStringLocale(s1, s2, !FCaseSensitive);
}

bool TStringList::Find(const String& s, int& index) const {
  bool result = false;
  int l = 0, h = Count() - 1;
  while (l <= h) {
    int i = static_cast<int>(static_cast<unsigned>(l + h) >> 1);
    int c = CompareStrings(FItems[static_cast<size_t>(i)].FString, s);
    if (c < 0) {
      l = i + 1;
    } else {
      h = i - 1;
      if (c == 0) {
        result = true;
        if (FDuplicates != TDuplicates::dupAccept) l = i;
      }
    }
  }
  index = l;
  return result;
}

int TStringList::IndexOf(const String& s) const {
  if (FSorted) {
    int i;
    return Find(s, i) ? i : -1;
  }
  // Equality by the list's comparison: exact for a case-sensitive list,
  // by the user's upper case otherwise.
  const size_t n = FItems.size();
  if (FCaseSensitive) {
    for (size_t i = 0; i < n; ++i)
      if (FItems[i].FString == s) return static_cast<int>(i);
    return -1;
  }
  const char16_t* up = platform::UpperCaseTable();
  for (size_t i = 0; i < n; ++i) {
    const String& t = FItems[i].FString;
    if (t.size() != s.size()) continue;
    size_t k = 0;
    while (k < t.size() && up[t[k]] == up[s[k]]) ++k;
    if (k == t.size()) return static_cast<int>(i);
  }
  return -1;
}

String TStringList::Names(int index) const {
  const String& s = Strings(index);
  size_t p = s.find(u'=');
  return p == String::npos ? String() : s.substr(0, p);
}

int TStringList::IndexOfName(const String& name) const {
  for (int i = 0; i < Count(); ++i) {
    const String& s = FItems[static_cast<size_t>(i)].FString;
    size_t p = s.find(u'=');
    if (p != String::npos && CompareStrings(s.substr(0, p), name) == 0) return i;
  }
  return -1;
}

String TStringList::ValueFromIndex(int index) const {
  const String& s = Strings(index);
  size_t p = s.find(u'=');
  return p == String::npos ? String() : s.substr(p + 1);
}

String TStringList::Values(const String& name) const {
  int i = IndexOfName(name);
  return i < 0 ? String() : ValueFromIndex(i);
}

void TStringList::QuickSort(int l, int r) {
  auto compare = [this](int a, int b) {
    return CompareStrings(FItems[static_cast<size_t>(a)].FString, FItems[static_cast<size_t>(b)].FString);
  };
  // The container's own sort moves entries without notification.
  auto exchange = [this](int a, int b) {
    if (a != b) ExchangeItems(a, b);
  };
  QuickSortIndexes(l, r, compare, exchange);
}

void TStringList::Sort() {
  if (FSorted || Count() < 2) return;
  Changing();
  QuickSort(0, Count() - 1);
  Changed();
}

void TStringList::SetSorted(bool value) {
  if (FSorted == value) return;
  if (value && Count() > 1) {
    Changing();
    QuickSort(0, Count() - 1);
    Changed();
  }
  FSorted = value;
}

void TStringList::SetCaseSensitive(bool value) {
  if (FCaseSensitive == value) return;
  FCaseSensitive = value;
  if (FSorted && Count() > 1) {
    Changing();
    QuickSort(0, Count() - 1);
    Changed();
  }
}

void TStringList::Assign(const TStringList& source) {
  if (&source == this) return;
  BeginUpdate();
  try {
    Clear();
    AddStrings(source);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStringList::AddStrings(const TStringList& source) {
  // Copy first: the source may be this list.
  std::vector<Item> items = source.FItems;
  BeginUpdate();
  try {
    for (auto& it : items) AddObject(it.FString, it.FObject);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

String TStringList::Text() const {
  size_t total = 0;
  for (auto& it : FItems) total += it.FString.size() + 2;
  String out;
  out.reserve(total);
  for (auto& it : FItems) {
    out += it.FString;
    out += u"\r\n";
  }
  return out;
}

void TStringList::SetText(StringView text) {
  BeginUpdate();
  try {
    Clear();
    size_t i = 0;
    while (i < text.size()) {
      size_t start = i;
      while (i < text.size() && text[i] != u'\r' && text[i] != u'\n') ++i;
      Add(String(text.substr(start, i - start)));
      if (i < text.size() && text[i] == u'\r') ++i;
      if (i < text.size() && text[i] == u'\n') ++i;
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

String TStringList::CommaText() const {
  if (Count() == 1 && FItems[0].FString.empty()) return u"\"\"";
  String out;
  for (size_t i = 0; i < FItems.size(); ++i) {
    const String& s = FItems[i].FString;
    bool quote = false;
    for (char16_t c : s)
      if (c <= u' ' || c == u'"' || c == u',') {
        quote = true;
        break;
      }
    if (i) out += u',';
    if (quote) {
      out += u'"';
      for (char16_t c : s) {
        if (c == u'"') out += u'"';
        out += c;
      }
      out += u'"';
    } else {
      out += s;
    }
  }
  return out;
}

void TStringList::SetCommaText(StringView text) {
  auto isBlank = [](char16_t c) { return c >= 1 && c <= u' '; };
  // A NUL ends the text, as it does for the container's other text setters.
  size_t nul = text.find(u'\0');
  if (nul != StringView::npos) text = text.substr(0, nul);
  BeginUpdate();
  try {
    Clear();
    size_t p = 0, n = text.size();
    while (p < n && isBlank(text[p])) ++p;
    while (p < n) {
      String s;
      if (text[p] == u'"') {
        ++p;
        while (p < n) {
          if (text[p] == u'"') {
            if (p + 1 < n && text[p + 1] == u'"') {
              s += u'"';
              p += 2;
              continue;
            }
            ++p;
            break;
          }
          s += text[p++];
        }
      } else {
        size_t start = p;
        while (p < n && text[p] > u' ' && text[p] != u',') ++p;
        s.assign(text.substr(start, p - start));
      }
      Add(s);
      while (p < n && isBlank(text[p])) ++p;
      if (p < n && text[p] == u',') {
        if (p + 1 == n) Add(String());
        do {
          ++p;
        } while (p < n && isBlank(text[p]));
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStringList::SaveToFile(const String& fileName, TTextEncoding encoding) const {
  String text = Text();
  std::string bytes;
  switch (encoding) {
    case TTextEncoding::ANSI: bytes = platform::EncodeAnsi(text); break;
    case TTextEncoding::UTF8: bytes = "\xEF\xBB\xBF" + platform::EncodeUtf8(text); break;
    case TTextEncoding::Unicode:
    case TTextEncoding::BigEndianUnicode: {
      bool be = encoding == TTextEncoding::BigEndianUnicode;
      bytes.reserve(2 + text.size() * 2);
      text.insert(text.begin(), u'\uFEFF');
      for (char16_t c : text) {
        char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
        bytes += be ? hi : lo;
        bytes += be ? lo : hi;
      }
      break;
    }
  }
  TFileStream f(fileName, TFileMode::fmCreate);
  f.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  f.Flush();
}

}  // namespace kv
