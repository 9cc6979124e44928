#include "system/KVRegistry.h"

#include <cmath>
#include <cstdio>

#include "platform/CodePages.h"
#include "platform/Locale.h"
#include "platform/Process.h"
#include "text/SysUtils.h"

namespace kv {

using namespace platform;

namespace {

[[noreturn]] void RaiseRegistryError(StringView Key, StringView Name, const char16_t* what) {
  throw ERegistryException(u"Unable to open key \"" + String(Key) + u"\\" + String(Name) + u"\" " + what);
}

// An open key, closed when it goes.
class Key {
 public:
  ~Key() { RegClose(FHandle); }
  bool Open(TRegRoot root, StringView key, std::uint32_t access) {
    return RegOpen(root, RelativeRegistryKey(key), access, &FHandle) == 0;
  }
  RegHandle Handle() const { return FHandle; }

 private:
  RegHandle FHandle = 0;
};

std::uint32_t ReadAccess(bool Use64View) { return kKeyRead | (Use64View ? std::uint32_t(kKeyWow64_64Key) : 0u); }

}  // namespace

String RelativeRegistryKey(StringView Key) {
  if (!Key.empty() && Key[0] == u'\\') Key.remove_prefix(1);
  return String(Key);
}

String ReadRegistryString(TRegRoot Root, StringView KeyName, StringView Name, bool Use64View) {
  String result;
  Key k;
  if (!k.Open(Root, KeyName, ReadAccess(Use64View))) RaiseRegistryError(KeyName, Name, u"for read");
  std::uint32_t type = kRegNone;
  std::vector<std::uint8_t> data;
  if (RegQuery(k.Handle(), Name, &type, &data) != 0) type = kRegNone;
  if (type != kRegSz && type != kRegExpandSz) RaiseRegistryError(KeyName, Name, u"for read");
  result.resize(data.size() / 2);
  for (size_t i = 0; i < result.size(); ++i)
    result[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  if (!result.empty() && result.back() == u'\0') result.pop_back();
  return result;
}

String ReadRegistryStringDef(TRegRoot Root, StringView Key, StringView Name, StringView Default) {
  try {
    if (RegistryValueExists(Root, Key, Name, false)) return ReadRegistryString(Root, Key, Name, false);
  } catch (...) {
  }
  return String(Default);
}

std::int32_t ReadRegistryIntegerDef(TRegRoot Root, StringView Key, StringView Name, std::int32_t Default) {
  String s = ReadRegistryStringDef(Root, Key, Name, u"");
  // Decimal only: the hexadecimal prefixes of the integer parser do not count.
  if (s.find_first_of(u"$xX") != String::npos) return Default;
  auto v = TryStrToInt(s);
  return v ? *v : Default;
}

bool ReadRegistryBoolDef(TRegRoot Root, StringView Key, StringView Name, bool Default) {
  return ReadRegistryIntegerDef(Root, Key, Name, Default ? 1 : 0) != 0;
}

void WriteRegistryString(TRegRoot Root, StringView KeyName, StringView Name, StringView Value) {
  RegHandle h = 0;
  if (RegCreate(Root, RelativeRegistryKey(KeyName), kKeySetValue, &h) == 0) RegClose(h);
  WriteExistingRegistryString(Root, KeyName, Name, Value);
}

void WriteExistingRegistryString(TRegRoot Root, StringView KeyName, StringView Name, StringView Value) {
  Key k;
  if (!k.Open(Root, KeyName, kKeySetValue)) RaiseRegistryError(KeyName, Name, u"for write");
  std::vector<std::uint8_t> data = RegTextData(Value);
  if (RegSet(k.Handle(), Name, kRegSz, data.data(), data.size()) != 0) RaiseRegistryError(KeyName, Name, u"for write");
}

void WriteRegistryInteger(TRegRoot Root, StringView Key, StringView Name, std::int32_t Value) {
  WriteRegistryString(Root, Key, Name, IntToStr(Value));
}

void WriteRegistryBool(TRegRoot Root, StringView Key, StringView Name, bool Value) {
  WriteRegistryInteger(Root, Key, Name, Value ? 1 : 0);
}

bool RegistryKeyExists(TRegRoot Root, StringView KeyName, bool Use64View) {
  Key k;
  return k.Open(Root, KeyName, ReadAccess(Use64View));
}

bool RegistryValueExists(TRegRoot Root, StringView KeyName, StringView Name, bool Use64View) {
  Key k;
  if (!k.Open(Root, KeyName, ReadAccess(Use64View))) return false;
  std::uint32_t type;
  return RegQuery(k.Handle(), Name, &type, nullptr) == 0;
}

bool DeleteRegistryValue(TRegRoot Root, StringView KeyName, StringView Name) {
  Key k;
  if (!k.Open(Root, KeyName, kKeySetValue) || RegDeleteValueName(k.Handle(), Name) != 0)
    RaiseRegistryError(KeyName, Name, u"for write");
  return true;
}

// ----------------------------------------------------------------- wrappers

namespace {

bool ArgAsInt(const TFormatArg* a, std::int64_t* v) {
  if (!a) return false;
  if (auto i = std::get_if<std::int64_t>(a))
    *v = *i;
  else if (auto d = std::get_if<double>(a))
    *v = std::isfinite(*d) ? static_cast<std::int64_t>(*d) : 0;
  else
    return false;
  return true;
}

}  // namespace

String FormatText(StringView Pattern, std::initializer_list<TFormatArg> Args) {
  String out;
  auto arg = Args.begin();
  auto next = [&]() -> const TFormatArg* { return arg != Args.end() ? &*arg++ : nullptr; };
  for (size_t i = 0; i < Pattern.size(); ++i) {
    if (Pattern[i] != u'%') {
      out += Pattern[i];
      continue;
    }
    // %[flags][width][.precision]conversion
    size_t start = i, j = i + 1;
    std::string flags;
    while (j < Pattern.size() && String(u"-0+ ").find(Pattern[j]) != String::npos) flags += static_cast<char>(Pattern[j++]);
    auto number = [&](int* v) {
      if (j < Pattern.size() && Pattern[j] == u'*') {
        std::int64_t n = 0;
        ArgAsInt(next(), &n);
        *v = static_cast<int>(std::max<std::int64_t>(-500, std::min<std::int64_t>(n, 500)));
        ++j;
        return;
      }
      bool any = false;
      long long n = 0;
      while (j < Pattern.size() && Pattern[j] >= u'0' && Pattern[j] <= u'9') {
        n = std::min(n * 10 + (Pattern[j++] - u'0'), 500LL);
        any = true;
      }
      if (any) *v = static_cast<int>(n);
    };
    int width = -1, prec = -1;
    number(&width);
    if (width < -1) {
      flags += '-';
      width = -width;
    }
    if (j < Pattern.size() && Pattern[j] == u'.') {
      ++j;
      prec = 0;
      number(&prec);
    }
    if (j >= Pattern.size()) {
      out.append(Pattern.substr(i));
      break;
    }
    char16_t conv = Pattern[j];
    i = j;
    if (conv == u'%') {
      out += u'%';
      continue;
    }
    std::string cFormat = "%" + flags + (width >= 0 ? std::to_string(width) : "") +
                       (prec >= 0 ? "." + std::to_string(prec) : "");
    const TFormatArg* a = next();
    char buf[1100];
    buf[0] = 0;
    std::int64_t iv;
    switch (conv) {
      case u's': {
        String s;
        if (auto t = a ? std::get_if<String>(a) : nullptr)
          s = *t;
        else if (ArgAsInt(a, &iv) && std::holds_alternative<std::int64_t>(*a))
          s = IntToStr(iv);
        else if (a)
          s = FloatToStr(std::get<double>(*a));
        if (prec >= 0 && static_cast<size_t>(prec) < s.size()) s.resize(static_cast<size_t>(prec));
        String pad(width > 0 && s.size() < static_cast<size_t>(width) ? static_cast<size_t>(width) - s.size() : 0,
                   u' ');
        out += flags.find('-') != std::string::npos ? s + pad : pad + s;
        continue;
      }
      case u'c':
        if (ArgAsInt(a, &iv)) out += static_cast<char16_t>(iv);
        continue;
      case u'd':
      case u'i':
        if (ArgAsInt(a, &iv)) std::snprintf(buf, sizeof buf, (cFormat + "lld").c_str(), static_cast<long long>(iv));
        break;
      case u'u':
      case u'x':
      case u'X':
        if (ArgAsInt(a, &iv))
          std::snprintf(buf, sizeof buf, (cFormat + "ll" + static_cast<char>(conv)).c_str(),
                        static_cast<unsigned long long>(iv));
        break;
      case u'p':
        if (ArgAsInt(a, &iv)) std::snprintf(buf, sizeof buf, "%08llX", static_cast<unsigned long long>(iv));
        break;
      case u'e':
      case u'E':
      case u'f':
      case u'g':
      case u'G': {
        double d;
        if (auto p = a ? std::get_if<double>(a) : nullptr)
          d = *p;
        else if (auto n = a ? std::get_if<std::int64_t>(a) : nullptr)
          d = static_cast<double>(*n);
        else
          break;
        std::snprintf(buf, sizeof buf, (cFormat + static_cast<char>(conv)).c_str(), d);
        break;
      }
      default:
        // Not a conversion: the text stays as written.
        out.append(Pattern.substr(start, j - start + 1));
        if (a) --arg;
        continue;
    }
    out += FromUtf8(buf);
  }
  return out;
}

int CompareStringsOrdinal(StringView A, StringView B) {
  int r = A.compare(B);
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

String ReplaceString(StringView S, StringView Old, StringView New, std::uint8_t Flags) {
  if (Old.empty()) return String(S);
  String subject(S), pattern(Old);
  if (Flags & rfIgnoreCase) {
    const char16_t* up = UpperCaseTable();
    for (auto& c : subject) c = up[c];
    for (auto& c : pattern) c = up[c];
  }
  String out;
  size_t pos = 0;
  for (;;) {
    size_t hit = subject.find(pattern, pos);
    if (hit == String::npos) break;
    out.append(S.substr(pos, hit - pos));
    out.append(New);
    pos = hit + pattern.size();
    if (!(Flags & rfReplaceAll)) break;
  }
  out.append(S.substr(pos));
  return out;
}

std::string EncodeUtf8(StringView S) { return platform::EncodeUtf8(S); }

String DecodeUtf8(std::string_view Bytes) { return platform::DecodeUtf8Lenient(Bytes); }

int ShowMessageBox(std::uintptr_t Owner, StringView Text, StringView Caption, std::uint32_t Flags) {
  return ShowSystemMessageBox(Owner, Text, Caption, Flags);
}

}  // namespace kv
