#include "text/_4Sort.h"

#include <cstdio>

#include "platform/CodePages.h"
#include "platform/Process.h"
#include "system/KVRegistry.h"
#include "text/KVTypes.h"
#include "text/_4all.h"

namespace kv {

namespace {

char16_t gWindows1252[256];

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

}  // namespace

// --- TSortObject -------------------------------------------------------------

TSortObject::TSortObject() : StartTime(Now()), AutoStringCache(std::make_unique<TMapStrToStr>()) {}

TSortObject::~TSortObject() = default;

void TSortObject::Swap(int, int) { ++iSwap; }

int TSortObject::Comp(int, int) {
  ++iCompares;
  return 0;
}

int TSortObject::Count() { throw Exception(u"Virtuelle Function wurde aufgerufen"); }

void TSortObject::Sort() {
  if (!IsSorted()) HeapSort();
}

bool TSortObject::IsSorted() {
  const int n = Count();
  for (int i = 0; i + 1 < n; ++i)
    if (Comp(i, i + 1) > 0) return false;
  return true;
}

// The heap is rooted at 0, whose only child is 1; every other position p has
// the children 2p and 2p + 1.
void TSortObject::HeapSort() {
  const int n = Count();
  for (int i = 1; i < n; ++i) SiftUp(i);
  for (int last = n - 1; last >= 1; --last) {
    Swap(0, last);
    SiftDown(last - 1);
  }
}

void TSortObject::SiftUp(int i) {
  for (;;) {
    const int p = i / 2;
    if (Comp(i, p) <= 0) return;
    Swap(p, i);
    i = p;
  }
}

void TSortObject::SiftDown(int m) {
  int c = 0;
  for (;;) {
    int b = 2 * c;
    if (b > m) return;
    if (b + 1 <= m && Comp(b + 1, b) > 0) b = b + 1;
    if (Comp(c, b) >= 0) return;
    Swap(c, b);
    c = b;
  }
}

String TSortObject::GetCachedSortKey(const String& Text) { return CachedSortKey(Text); }

const String& TSortObject::CachedSortKey(const String& Text) {
  if (const String* key = AutoStringCache->FindValue(Text)) return *key;
  AutoStringCache->SetValue(Text, BuildNaturalSortKey(Text));
  return *AutoStringCache->FindValue(Text);
}

int TSortObject::CompareByFieldType(const String& A, const String& B, enFeldTyp Kind) {
  switch (Kind) {
    case feZahl: {
      const auto x = A.empty() ? std::optional<double>(0.0) : TryStrToFloat(A);
      const auto y = B.empty() ? std::optional<double>(0.0) : TryStrToFloat(B);
      if (!x || !y) return 0;
      return *x < *y ? -1 : (*x > *y ? 1 : 0);
    }
    case feAutomatic:
    case feSortPicture:
    case feSortBoolean:
    case feSortEnum:
    {
      // The cache's values stay where they are when others are added.
      const String& keyA = CachedSortKey(A);
      const String& keyB = CachedSortKey(B);
      return CompareTextIgnoreCase(keyA, keyB);
    }
    case feBinary:
      return CompareStringsOrdinal(A, B);
    default:
      return CompareTextIgnoreCase(A, B);
  }
}

// --- Natural sort keys -------------------------------------------------------

bool IsNumberText(StringView Text) {
  if (Text.empty()) return false;
  const char16_t dec = FormatSettings().DecimalSeparator;
  for (char16_t c : Text)
    if (!IsDigit(c) && c != dec) return false;
  return true;
}

namespace {

// Key extended in place by the key of a run of at most 13 digits.
void AppendNumberKey(String& key, StringView Digits) {
  constexpr std::int64_t kTenPow13 = 10000000000000LL;
  std::int64_t n = 0;
  for (char16_t c : Digits)
    if (IsDigit(c)) n = n * 10 + (c - u'0');
  bool negative = false;
  if (n > 0 && !key.empty() && key.back() == u'-') {
    if (key.size() == 1) {
      negative = true;
    } else {
      const char16_t before = key[key.size() - 2];
      negative = before == u' ' || before == u',' || before == u'.' || before == u';';
    }
    if (negative) n = kTenPow13 - n;
  }
  if (negative)
    key.back() = u'0';
  else
    key.push_back(u'1');
  char16_t digits[13];
  for (int i = 12; i >= 0; --i) {
    digits[i] = static_cast<char16_t>(u'0' + n % 10);
    n /= 10;
  }
  key.append(digits, 13);
}

}  // namespace

String NumberSortKey(StringView Digits, StringView KeySoFar) {
  String key(KeySoFar);
  AppendNumberKey(key, Digits);
  return key;
}

String BuildNaturalSortKey(StringView Text) {
  String key;
  key.reserve(Text.size() + 16);
  std::size_t start = 0;
  auto addChunk = [&](std::size_t end) {
    const StringView chunk = Text.substr(start, end - start);
    if (chunk.empty()) return;
    if (chunk.size() <= 13 && IsNumberText(chunk))
      AppendNumberKey(key, chunk);
    else
      key.append(chunk);
  };
  for (std::size_t i = 0; i < Text.size(); ++i) {
    if (IsDigit(Text[i])) continue;
    addChunk(i);
    key.push_back(Text[i]);
    start = i + 1;
  }
  addChunk(Text.size());
  return key;
}

String JoinListItems(const TStringList& List, StringView Separator, bool TrailingSeparator) {
  String result;
  for (int i = 0; i < List.Count(); ++i) {
    if (i > 0) result.append(Separator);
    result += List.Strings(i);
  }
  if (TrailingSeparator && List.Count() > 0) result.append(Separator);
  return result;
}

// --- Text utilities ----------------------------------------------------------

String TextBeforeChar(StringView S, char16_t Ch) {
  const auto p = S.find(Ch);
  return p == StringView::npos ? String() : String(S.substr(0, p));
}

String TextAfterChar(StringView S, char16_t Ch) {
  const auto p = S.find(Ch);
  return p == StringView::npos ? String(S) : String(S.substr(p + 1));
}

String RemoveAllOccurrences(StringView S, StringView Sub) {
  String result(S);
  if (Sub.empty()) return result;
  // A removal joins the texts on both sides, which may form a new occurrence
  // that starts up to Sub.size() - 1 characters earlier.
  std::size_t from = 0;
  for (;;) {
    const auto p = result.find(Sub, from);
    if (p == String::npos) return result;
    result.erase(p, Sub.size());
    from = p >= Sub.size() ? p - (Sub.size() - 1) : 0;
  }
}

String ReplaceText(StringView S, StringView Old, StringView New, bool IgnoreCase) {
  return ReplaceString(S, Old, New, static_cast<std::uint8_t>(rfReplaceAll | (IgnoreCase ? rfIgnoreCase : 0)));
}

std::string AnsiToOemText(std::string_view S) { return platform::AnsiBytesToOem(S); }

std::string OemToAnsiText(std::string_view S) { return platform::OemBytesToAnsi(S); }

String RemoveChar(StringView S, char16_t Ch) {
  String result;
  result.reserve(S.size());
  for (char16_t c : S)
    if (c != Ch) result.push_back(c);
  return result;
}

String DateTimeToSortableText(TDateTime DateTime) { return FormatDateTime(u"yyyy-mm-dd hh:nn:ss", DateTime); }

namespace {

bool CharMatchesPattern(char16_t Ch, StringView p) {
  switch (p.size()) {
    case 0:
      return false;
    case 1:
      return Ch == p[0];
    case 2:
      return Ch == p[0] || Ch == p[1];
    case 3:
      if (p[0] == u'.' && p[1] == u'.') return Ch >= 1 && Ch <= p[2];
      if (p[1] == u'.' && p[2] == u'.') return Ch >= p[0];
      return p.find(Ch) != StringView::npos;
    case 4:
      if (p[1] == u'.' && p[2] == u'.') return Ch >= p[0] && Ch <= p[3];
      return p.find(Ch) != StringView::npos;
    default:
      return p.find(Ch) != StringView::npos;
  }
}

}  // namespace

bool CharMatchesPatterns(char16_t Ch, std::initializer_list<StringView> Patterns) {
  for (StringView p : Patterns)
    if (CharMatchesPattern(Ch, p)) return true;
  return false;
}

bool CharMatchesPatterns(char16_t Ch, const std::vector<String>& Patterns) {
  for (const String& p : Patterns)
    if (CharMatchesPattern(Ch, p)) return true;
  return false;
}

int LastIndexOfMatchingChar(StringView Pattern, StringView S) {
  for (std::size_t i = S.size(); i > 0; --i)
    if (CharMatchesPattern(S[i - 1], Pattern)) return static_cast<int>(i);
  return 0;
}

String NewGuidString() {
  const platform::Guid g = platform::NewGuid();
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08X%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X", static_cast<unsigned>(g.Data1),
                g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5],
                g.Data4[6], g.Data4[7]);
  return String(buf, buf + 32);
}

bool HasWildcards(StringView S) { return S.find_first_of(u"*?") != StringView::npos; }

String DecodeWindows1252(std::string_view S) {
  String result(S.size(), u'\0');
  for (std::size_t i = 0; i < S.size(); ++i) result[i] = gWindows1252[static_cast<unsigned char>(S[i])];
  return result;
}

bool AllEmpty(std::initializer_list<StringView> Texts) {
  for (StringView t : Texts)
    if (!t.empty()) return false;
  return true;
}

bool AllEmpty(const std::vector<String>& Texts) {
  for (const String& t : Texts)
    if (!t.empty()) return false;
  return true;
}

bool AllEmpty(const TStringList& List) {
  for (int i = 0; i < List.Count(); ++i)
    if (!List.Strings(i).empty()) return false;
  return true;
}

void SortModule_Initialize() {
  for (int b = 0; b < 256; ++b) gWindows1252[b] = platform::Windows1252ToChar(static_cast<unsigned char>(b));
}

}  // namespace kv
