#include "platform/Locale.h"

namespace kv::platform {

namespace {
String Mapped(StringView s, const char16_t* table) {
  String r(s);
  for (char16_t& c : r) c = table[c];
  return r;
}
}  // namespace

String LocaleUpperCase(StringView s) { return Mapped(s, UpperCaseTable()); }
String LocaleLowerCase(StringView s) { return Mapped(s, LowerCaseTable()); }

}  // namespace kv::platform
