#include "platform/Base.h"

#include "platform/CodePages.h"
#include "platform/Files.h"

namespace kv {

std::string ToUtf8(StringView s) { return platform::EncodeUtf8(s); }
String FromUtf8(std::string_view s) { return platform::DecodeUtf8Lenient(s); }

// noinline: the return address is then the code that raised the exception.
__attribute__((noinline)) Exception::Exception(String message)
    : FMessage(std::move(message)), FWhat(ToUtf8(FMessage)) {
  auto ret = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
  auto base = platform::ModuleBaseAddress();
  FAddress = ret >= base ? ret - base : 0;
}

String FormatSimple(StringView pattern, std::initializer_list<String> args) {
  String out;
  out.reserve(pattern.size() + 32);
  auto it = args.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    char16_t c = pattern[i];
    if (c == u'%' && i + 1 < pattern.size()) {
      char16_t n = pattern[i + 1];
      if (n == u'%') {
        out += u'%';
        ++i;
        continue;
      }
      if (n == u's' || n == u'd' || n == u'p') {
        if (it != args.end()) out += *it++;
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

String HexDigits(std::uint64_t v, int digits) {
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  char16_t buf[16];
  int n = 0;
  do {
    buf[16 - ++n] = kDigits[v & 15];
    v >>= 4;
  } while (v != 0);
  String out;
  if (digits > n) out.assign(static_cast<std::size_t>(digits - n), u'0');
  out.append(buf + 16 - n, static_cast<std::size_t>(n));
  return out;
}

String IntToStr(long long v) {
  std::string s = std::to_string(v);
  return String(s.begin(), s.end());
}

namespace {
char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }
}  // namespace

String AsciiUpperCase(StringView s) {
  String r(s);
  for (auto& c : r) c = AsciiUpper(c);
  return r;
}

bool EqualsIgnoringAsciiCase(StringView a, StringView b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

void CheckListIndex(int index, int count) {
  if (index < 0 || index >= count) throw EListError(u"List index out of bounds (" + IntToStr(index) + u")");
}

}  // namespace kv
