#include "platform/Locale.h"

#include <utility>

#include "platform/Files.h"

namespace kv::platform {

namespace {
String Mapped(StringView s, const char16_t* table) {
  String r(s);
  for (char16_t& c : r) c = table[c];
  return r;
}
}  // namespace

std::unique_ptr<char16_t[]> BuildCaseTable(CaseMapRun map) {
  std::unique_ptr<char16_t[]> source(new char16_t[65536]);
  std::unique_ptr<char16_t[]> table(new char16_t[65536]);
  for (unsigned c = 0; c < 65536; ++c) source[c] = table[c] = static_cast<char16_t>(c);
  for (auto [from, to] : {std::pair<unsigned, unsigned>{1, 0xD800}, {0xE000, 0x10000}}) {
    if (!map(source.get() + from, table.get() + from, static_cast<int>(to - from))) {
      const std::uint32_t code = LastError();
      throw EOSError(u"The letter case of the user's locale is not available: " + SysErrorMessage(code), code);
    }
  }
  return table;
}

namespace {
// A text that the system's casing maps unit by unit as the tables do: short,
// without NUL and surrogates (which the tables leave alone).
constexpr size_t kDirectCaseLimit = 256;
bool MapsLikeTheTable(StringView s) {
  if (s.size() > kDirectCaseLimit) return false;
  for (char16_t c : s)
    if (c == 0 || (c >= 0xD800 && c <= 0xDFFF)) return false;
  return true;
}

String Cased(StringView s, bool upper) {
  if (!s.empty() && !CaseTableBuilt(upper) && MapsLikeTheTable(s)) {
    String r(s.size(), u'\0');
    if (MapCaseRun(upper, s.data(), r.data(), static_cast<int>(s.size()))) return r;
  }
  return Mapped(s, upper ? UpperCaseTable() : LowerCaseTable());
}
}  // namespace

String LocaleUpperCase(StringView s) { return Cased(s, true); }

bool CasedTextIs(StringView s, StringView cased, bool upper) {
  if (s.size() != cased.size()) return false;
  auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; };
  auto plain = [](char16_t c) { return c < 0x80 && c != u'i' && c != u'I'; };
  for (size_t i = 0; i < s.size(); ++i)
    if (plain(s[i]) && plain(cased[i]) && fold(s[i]) != fold(cased[i])) return false;
  return Cased(s, upper) == cased;
}
String LocaleLowerCase(StringView s) { return Cased(s, false); }

}  // namespace kv::platform
