// The registry's hive names and the .reg text format, the same on every
// platform.
#include "platform/CodePages.h"
#include "platform/Registry.h"

namespace kv::platform {

namespace {

struct HiveNames {
  RegHandle Hive;
  const char16_t* Name;
  const char16_t* Short;
};

const HiveNames kHives[] = {
    {kHiveClassesRoot, u"HKEY_CLASSES_ROOT", u"HKCR"},   {kHiveCurrentUser, u"HKEY_CURRENT_USER", u"HKCU"},
    {kHiveLocalMachine, u"HKEY_LOCAL_MACHINE", u"HKLM"}, {kHiveUsers, u"HKEY_USERS", u"HKU"},
    {kHiveCurrentConfig, u"HKEY_CURRENT_CONFIG", u"HKCC"}, {kHiveDynData, u"HKEY_DYN_DATA", u"HKDD"},
};

const char16_t kHex[] = u"0123456789abcdef";

void AppendQuoted(String& out, StringView s) {
  out += u'"';
  for (char16_t c : s) {
    if (c == u'\\' || c == u'"') out += u'\\';
    out += c;
  }
  out += u'"';
}

bool IsLoneSurrogateAt(StringView s, size_t i) {
  const char16_t c = s[i];
  if (c >= 0xD800 && c <= 0xDBFF) return i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF;
  if (c >= 0xDC00 && c <= 0xDFFF) return i == 0 || s[i - 1] < 0xD800 || s[i - 1] > 0xDBFF;
  return false;
}

// The text of REG_SZ data when it can stand in quotes: one terminating zero
// character and no other zero, CR, LF or unpaired surrogate (which a UTF-8
// file could not hold).
bool PlainText(const std::vector<std::uint8_t>& d, String* text) {
  if (d.size() < 2 || d.size() % 2) return false;
  size_t n = d.size() / 2 - 1;
  if (d[2 * n] || d[2 * n + 1]) return false;
  text->clear();
  for (size_t i = 0; i < n; ++i) {
    char16_t c = static_cast<char16_t>(d[2 * i] | (d[2 * i + 1] << 8));
    if (c == 0 || c == u'\r' || c == u'\n') return false;
    *text += c;
  }
  for (size_t i = 0; i < text->size(); ++i)
    if (IsLoneSurrogateAt(*text, i)) return false;
  return true;
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

bool ParseHexBytes(StringView s, std::vector<std::uint8_t>* out) {
  out->clear();
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t')) ++i;
    if (i >= s.size()) break;
    if (i + 1 >= s.size()) return false;
    int h = HexValue(s[i]), l = HexValue(s[i + 1]);
    if (h < 0 || l < 0) return false;
    out->push_back(static_cast<std::uint8_t>(h * 16 + l));
    i += 2;
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t')) ++i;
    if (i < s.size()) {
      if (s[i] != u',') return false;
      ++i;
    }
  }
  return true;
}

// A quoted text at s[*pos]; *pos ends after the closing quote.
bool ParseQuoted(StringView s, size_t* pos, String* out) {
  if (*pos >= s.size() || s[*pos] != u'"') return false;
  out->clear();
  for (size_t i = *pos + 1; i < s.size(); ++i) {
    if (s[i] == u'\\' && i + 1 < s.size()) {
      *out += s[++i];
    } else if (s[i] == u'"') {
      *pos = i + 1;
      return true;
    } else {
      *out += s[i];
    }
  }
  return false;
}

}  // namespace

String HiveName(RegHandle hive) {
  for (const auto& h : kHives)
    if (h.Hive == hive) return h.Name;
  return String();
}

RegHandle HiveFromName(StringView name) {
  for (const auto& h : kHives)
    if (EqualsIgnoringAsciiCase(name, h.Name) || EqualsIgnoringAsciiCase(name, h.Short)) return h.Hive;
  return 0;
}

bool IsStorableRegName(StringView name) {
  for (size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    if (c == 0 || (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029 || IsLoneSurrogateAt(name, i))
      return false;
  }
  return true;
}

std::vector<std::uint8_t> RegTextData(StringView text) {
  const std::string bytes = EncodeUtf16Le(String(text) + u'\0');
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

String FormatRegText(const std::vector<RegKeyRecord>& keys) {
  String out = u"Windows Registry Editor Version 5.00\r\n";
  for (const auto& k : keys) {
    out += u"\r\n[" + k.Path + u"]\r\n";
    for (const auto& v : k.Values) {
      if (v.Name.empty())
        out += u'@';
      else
        AppendQuoted(out, v.Name);
      out += u'=';
      String text;
      if (v.Type == kRegSz && PlainText(v.Data, &text)) {
        AppendQuoted(out, text);
      } else if (v.Type == kRegDword && v.Data.size() == 4) {
        std::uint32_t d = v.Data[0] | (v.Data[1] << 8) | (v.Data[2] << 16) | (static_cast<std::uint32_t>(v.Data[3]) << 24);
        out += u"dword:";
        for (int shift = 28; shift >= 0; shift -= 4) out += kHex[(d >> shift) & 15];
      } else {
        if (v.Type == kRegBinary) {
          out += u"hex:";
        } else {
          String t;
          std::uint32_t type = v.Type;
          do {
            t.insert(t.begin(), kHex[type & 15]);
            type >>= 4;
          } while (type);
          out += u"hex(" + t + u"):";
        }
        for (size_t i = 0; i < v.Data.size(); ++i) {
          if (i) out += u',';
          out += kHex[v.Data[i] >> 4];
          out += kHex[v.Data[i] & 15];
        }
      }
      out += u"\r\n";
    }
  }
  return out;
}

bool ParseRegText(StringView text, std::vector<RegKeyRecord>* keys, String* error) {
  keys->clear();
  if (!text.empty() && text[0] == u'\uFEFF') text.remove_prefix(1);
  std::vector<String> lines;
  {
    size_t start = 0;
    while (start <= text.size()) {
      size_t nl = text.find(u'\n', start);
      if (nl == StringView::npos) nl = text.size();
      String line(text.substr(start, nl - start));
      if (!line.empty() && line.back() == u'\r') line.pop_back();
      lines.push_back(line);
      start = nl + 1;
    }
  }
  auto fail = [&](size_t lineNo, const char16_t* what) {
    *error = FormatSimple(u"line %d: %s", {IntToStr(static_cast<std::int64_t>(lineNo + 1)), what});
    return false;
  };
  bool header = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    String line = lines[i];
    size_t first = i;
    // Hexadecimal data may continue on the next lines after a backslash.
    while (!line.empty() && line.back() == u'\\' && line.find(u"=hex") != String::npos && i + 1 < lines.size()) {
      line.pop_back();
      String next = lines[++i];
      size_t b = next.find_first_not_of(u" \t");
      line += b == String::npos ? String() : next.substr(b);
    }
    size_t b = line.find_first_not_of(u" \t");
    if (b == String::npos || line[b] == u';') continue;
    line.erase(0, b);
    while (!line.empty() && (line.back() == u' ' || line.back() == u'\t')) line.pop_back();
    if (!header) {
      if (line != u"Windows Registry Editor Version 5.00" && line != u"REGEDIT4")
        return fail(first, u"not a registry file (the first line must be \"Windows Registry Editor Version 5.00\")");
      header = true;
      continue;
    }
    if (line[0] == u'[') {
      if (line.back() != u']' || line.size() < 3) return fail(first, u"a key line must be [KEY]");
      if (line[1] == u'-') return fail(first, u"deleting keys ([-KEY]) is not supported");
      keys->push_back({line.substr(1, line.size() - 2), {}});
      continue;
    }
    if (keys->empty()) return fail(first, u"a value before the first key");
    RegValueRecord v;
    size_t pos = 0;
    if (line[0] == u'@') {
      pos = 1;
    } else if (!ParseQuoted(line, &pos, &v.Name)) {
      return fail(first, u"a value line must be \"NAME\"=DATA or @=DATA");
    }
    if (pos >= line.size() || line[pos] != u'=') return fail(first, u"\"=\" expected after the value name");
    StringView data = StringView(line).substr(pos + 1);
    if (!data.empty() && data[0] == u'"') {
      size_t q = 0;
      String s;
      if (!ParseQuoted(data, &q, &s) || q != data.size()) return fail(first, u"a text value must end with \"");
      v.Type = kRegSz;
      v.Data = RegTextData(s);
    } else if (data.substr(0, 6) == u"dword:") {
      StringView digits = data.substr(6);
      if (digits.empty() || digits.size() > 8) return fail(first, u"dword: needs 1 to 8 hexadecimal digits");
      std::uint32_t d = 0;
      for (char16_t c : digits) {
        int h = HexValue(c);
        if (h < 0) return fail(first, u"dword: needs hexadecimal digits");
        d = d * 16 + static_cast<std::uint32_t>(h);
      }
      v.Type = kRegDword;
      v.Data = {static_cast<std::uint8_t>(d), static_cast<std::uint8_t>(d >> 8), static_cast<std::uint8_t>(d >> 16),
                static_cast<std::uint8_t>(d >> 24)};
    } else if (data.substr(0, 4) == u"hex:" || data.substr(0, 4) == u"hex(") {
      size_t colon = data.find(u':');
      v.Type = kRegBinary;
      if (data[3] == u'(') {
        size_t close = data.find(u')');
        if (close == StringView::npos || close + 1 != colon || close == 4) return fail(first, u"hex(TYPE): expected");
        std::uint32_t t = 0;
        for (size_t k = 4; k < close; ++k) {
          int h = HexValue(data[k]);
          if (h < 0 || t > 0x0FFFFFFF) return fail(first, u"hex(TYPE): needs a hexadecimal type");
          t = t * 16 + static_cast<std::uint32_t>(h);
        }
        v.Type = t;
      }
      if (!ParseHexBytes(data.substr(colon + 1), &v.Data)) return fail(first, u"bytes must be hexadecimal pairs");
    } else if (data == u"-") {
      return fail(first, u"deleting values (=-) is not supported");
    } else {
      return fail(first, u"unknown kind of value data");
    }
    keys->back().Values.push_back(std::move(v));
  }
  if (!header) return fail(0, u"empty registry file");
  return true;
}

}  // namespace kv::platform
