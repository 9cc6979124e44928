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

String LocaleUpperCase(StringView s) { return Mapped(s, UpperCaseTable()); }
String LocaleLowerCase(StringView s) { return Mapped(s, LowerCaseTable()); }

}  // namespace kv::platform
