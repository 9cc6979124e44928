#include "tools/kvreg/RegTool.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <optional>

#include "platform/CodePages.h"
#include "platform/Files.h"
#include "platform/Registry.h"

namespace kv::regtool {

using namespace platform;

namespace {

const char16_t kGeneralHelp[] =
    u"Usage: kvreg COMMAND KEY [OPTIONS]\n"
    u"\n"
    u"Queries and edits the registry: on Windows the system's registry, on Linux the\n"
    u"program's own store (see KV_REGISTRY_DIR). KEY starts with a hive, written out or\n"
    u"short: HKCU (HKEY_CURRENT_USER), HKLM, HKCR, HKU, HKCC; for example\n"
    u"HKCU\\SOFTWARE\\Tarnwick\\Viewer\\DebugLog. Names are matched ignoring letter case.\n"
    u"\n"
    u"Commands:\n"
    u"  query KEY [/v NAME | /ve] [/s]                 show values and subkeys\n"
    u"  add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]  create the key, set a value\n"
    u"  delete KEY [/v NAME | /ve | /va] /f            delete a value, the values, or the key\n"
    u"  export KEY FILE [/y]                           write the key and its subkeys to a .reg file\n"
    u"  help [COMMAND]                                 show this text, or a command's\n"
    u"\n"
    u"Key and value names must not hold line breaks (CR, LF and the like), zero\n"
    u"characters or unpaired surrogates. Several kvreg processes may change the same\n"
    u"hive at once: each change is made whole, one after the other.\n"
    u"\n"
    u"Exit codes: 0 done, 1 failed (nothing changed), 2 wrong usage.\n";

struct Command {
  const char16_t* name;
  const char16_t* help;
};

const Command kCommands[] = {
    {u"query",
     u"Usage: kvreg query KEY [/v NAME | /ve] [/s]\n"
     u"Prints the key's path, then one line per value (name, type, data), then the\n"
     u"paths of its subkeys. /v shows only the value NAME, /ve only the default value,\n"
     u"/s goes through all subkeys. REG_DWORD and REG_QWORD data are shown in hex,\n"
     u"REG_BINARY as hex bytes, REG_MULTI_SZ with \\0 between the texts. Texts are\n"
     u"shown as stored: a text of several lines takes several lines here.\n"},
    {u"add",
     u"Usage: kvreg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/s SEPARATOR] [/f]\n"
     u"Creates KEY with its missing parents (no value of an existing key changes) and,\n"
     u"with /v or /ve, sets the value NAME or the default value.\n"
     u"TYPE: REG_SZ (the default), REG_EXPAND_SZ, REG_DWORD, REG_QWORD, REG_BINARY or\n"
     u"REG_MULTI_SZ. DATA: the text; a number in decimal or with 0x in hex; hex digits\n"
     u"for REG_BINARY; texts separated by \\0 (or by SEPARATOR) for REG_MULTI_SZ.\n"
     u"An existing value is only replaced with /f; without it, the test and the write\n"
     u"are one step, so of several kvreg processes adding the same value one succeeds.\n"
     u"A text may hold several lines: the store keeps it exactly (in hex form in a\n"
     u".reg file). Names with line breaks are refused.\n"
     u"Example: kvreg add HKCU\\SOFTWARE\\Tarnwick\\Viewer\\DebugLog /v Active /d 1 /f\n"},
    {u"delete",
     u"Usage: kvreg delete KEY [/v NAME | /ve | /va] /f\n"
     u"Deletes the value NAME, the default value, all values of KEY (/va), or, without\n"
     u"any of these, KEY with everything below it. /f confirms the deletion.\n"},
    {u"export",
     u"Usage: kvreg export KEY FILE [/y]\n"
     u"Writes KEY and all its subkeys to FILE in the registry editor's format\n"
     u"(\"Windows Registry Editor Version 5.00\", UTF-16 with byte-order mark).\n"
     u"An existing FILE is only replaced with /y.\n"},
};

const Command* FindCommand(StringView name) {
  for (const Command& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

struct Options {
  std::vector<String> positional;
  std::optional<String> valueName;  // /v NAME, or empty for /ve
  bool allValues = false;           // /va
  std::optional<String> type, data, separator;
  bool recursive = false, force = false, overwrite = false, help = false;
};

// False with a message when an option is unknown or lacks its argument.
bool ParseOptions(const std::vector<String>& args, std::size_t from, Options& o, String& error) {
  for (std::size_t i = from; i < args.size(); ++i) {
    const String& a = args[i];
    // Only the known options: anything else, such as "/tmp/x.reg", is an argument.
    static const String kKnown[] = {u"?", u"HELP", u"H", u"V", u"VE", u"VA", u"T", u"D", u"S", u"F", u"Y"};
    const String opt = a.size() >= 2 && (a[0] == u'/' || a[0] == u'-') ? AsciiUpperCase(a.substr(a[1] == u'-' ? 2 : 1))
                                                                          : String();
    if (std::find(std::begin(kKnown), std::end(kKnown), opt) == std::end(kKnown)) {
      o.positional.push_back(a);
      continue;
    }
    auto argument = [&](std::optional<String>& target) {
      if (i + 1 >= args.size()) {
        error = u"option " + a + u" needs an argument";
        return false;
      }
      target = args[++i];
      return true;
    };
    if (opt == u"?" || opt == u"HELP" || opt == u"H") {
      o.help = true;
    } else if (opt == u"V") {
      if (!argument(o.valueName)) return false;
    } else if (opt == u"VE") {
      o.valueName = String();
    } else if (opt == u"VA") {
      o.allValues = true;
    } else if (opt == u"T") {
      if (!argument(o.type)) return false;
    } else if (opt == u"D") {
      if (!argument(o.data)) return false;
    } else if (opt == u"S") {
      // /s is the recursion of query and the separator of add.
      if (!o.positional.empty() && o.positional[0] == u"add") {
        if (!argument(o.separator)) return false;
      } else {
        o.recursive = true;
      }
    } else if (opt == u"F") {
      o.force = true;
    } else if (opt == u"Y") {
      o.overwrite = true;
    }
  }
  return true;
}

struct KeyPath {
  RegHandle hive = 0;
  String sub;   // below the hive, without leading or trailing backslashes
  String full;  // the hive's long name and sub
};

bool ParseKey(const String& text, KeyPath& key, String& error) {
  const auto cut = text.find(u'\\');
  key.hive = HiveFromName(text.substr(0, cut));
  if (!key.hive) {
    error = u"\"" + text + u"\" does not start with a hive (HKCU, HKLM, HKCR, HKU, HKCC)";
    return false;
  }
  key.sub = cut == String::npos ? String() : text.substr(cut + 1);
  while (!key.sub.empty() && key.sub.back() == u'\\') key.sub.pop_back();
  while (!key.sub.empty() && key.sub.front() == u'\\') key.sub.erase(0, 1);
  key.full = HiveName(key.hive) + (key.sub.empty() ? String() : u"\\" + key.sub);
  if (!IsStorableRegName(key.sub)) {
    error = u"the key name holds a line break, a zero character or an unpaired surrogate: \"" + text + u"\"";
    return false;
  }
  return true;
}

// The system's reason for a failed registry call, and what the store adds
// to it (the hive file and the line that does not parse, for instance).
String ErrorText(std::uint32_t code) {
  String text = SysErrorMessage(code);
  if (text.empty()) text = u"error " + IntToStr(code);
  const String detail = RegErrorDetail();
  return detail.empty() ? text : text + u" (" + detail + u")";
}

// Reports a failed registry call: what was tried, and the system's reason.
int Fail(Output& out, const String& what, std::uint32_t rc) {
  out.err += u"kvreg: " + what + u": " + ErrorText(rc) + u"\n";
  return kFailed;
}

// An open key that closes itself.
class Key {
 public:
  ~Key() {
    if (FHandle) RegClose(FHandle);
  }
  RegHandle* Out() { return &FHandle; }
  RegHandle Get() const { return FHandle; }

 private:
  RegHandle FHandle = 0;
};

const char16_t* TypeName(std::uint32_t type) {
  switch (type) {
    case kRegSz: return u"REG_SZ";
    case kRegExpandSz: return u"REG_EXPAND_SZ";
    case kRegBinary: return u"REG_BINARY";
    case kRegDword: return u"REG_DWORD";
    case kRegMultiSz: return u"REG_MULTI_SZ";
    case kRegQword: return u"REG_QWORD";
    case kRegNone: return u"REG_NONE";
    default: return nullptr;
  }
}

std::optional<std::uint32_t> TypeFromName(const String& name) {
  for (std::uint32_t t : {kRegSz, kRegExpandSz, kRegBinary, kRegDword, kRegMultiSz, kRegQword, kRegNone})
    if (EqualsIgnoringAsciiCase(TypeName(t), name)) return t;
  return std::nullopt;
}

String Hex(std::uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
  return FromUtf8(buf);
}

// The text of a text value, without its terminating zero characters.
String StoredText(const std::vector<std::uint8_t>& d) {
  String s = DecodeUtf16Le(std::string_view(reinterpret_cast<const char*>(d.data()), d.size()));
  while (!s.empty() && s.back() == 0) s.pop_back();
  return s;
}

String DataText(std::uint32_t type, const std::vector<std::uint8_t>& d) {
  std::uint64_t n = 0;
  switch (type) {
    case kRegSz:
    case kRegExpandSz:
      return StoredText(d);
    case kRegMultiSz: {
      String out;
      for (char16_t c : StoredText(d)) out += c == 0 ? String(u"\\0") : String(1, c);
      return out;
    }
    case kRegDword:
    case kRegQword:
      for (std::size_t i = 0; i < d.size() && i < 8; ++i) n |= std::uint64_t(d[i]) << (8 * i);
      return Hex(n);
    default: {
      String out;
      static const char16_t digits[] = u"0123456789ABCDEF";
      for (std::uint8_t b : d) {
        out += digits[b >> 4];
        out += digits[b & 15];
      }
      return out;
    }
  }
}

String ValueLine(const String& name, std::uint32_t type, const std::vector<std::uint8_t>& data) {
  const char16_t* t = TypeName(type);
  const String typeText = t ? String(t) : u"REG_0x" + Hex(type).substr(2);
  return u"    " + (name.empty() ? String(u"(Default)") : name) + u"    " + typeText + u"    " + DataText(type, data) +
         u"\n";
}

// Visits the key and, when recursive, every key below it, depth first: with
// a list of its own rather than by recursion, so a hive of any depth is
// walked. visit (open key, full path, names of its subkeys) returns false
// with error set to stop; false with error also when a key cannot be opened.
template <typename Visit>
bool WalkKeys(RegHandle hive, const String& sub, const String& full, bool recursive, String& error, Visit visit) {
  struct Pending {
    String sub, full;
  };
  std::vector<Pending> pending{{sub, full}};
  while (!pending.empty()) {
    const Pending item = std::move(pending.back());
    pending.pop_back();
    Key key;
    const std::uint32_t rc = RegOpen(hive, item.sub, kKeyRead, key.Out());
    if (rc != kErrorSuccess) {
      error = u"cannot open " + item.full + u": " + ErrorText(rc);
      return false;
    }
    std::vector<String> subKeys;
    RegSubKeys(key.Get(), &subKeys);
    if (!visit(key.Get(), item.full, subKeys)) return false;
    if (!recursive) continue;
    for (auto s = subKeys.rbegin(); s != subKeys.rend(); ++s)
      pending.push_back({item.sub.empty() ? *s : item.sub + u"\\" + *s, item.full + u"\\" + *s});
  }
  return true;
}

// Prints the key (with /s every key below it too); false with an error when
// one cannot be read.
bool QueryKey(RegHandle hive, const String& sub, const String& full, const Options& o, Output& out) {
  String error;
  const bool ok = WalkKeys(hive, sub, full, o.recursive, error,
                           [&](RegHandle key, const String& path, const std::vector<String>& subKeys) {
    std::vector<String> names;
    RegValueNames(key, &names);
    if (o.valueName) {
      // The one value, shown with its name as stored.
      const auto it = std::find_if(names.begin(), names.end(),
                                   [&](const String& n) { return EqualsIgnoringAsciiCase(n, *o.valueName); });
      names = {it == names.end() ? *o.valueName : *it};
    }
    String lines;
    bool found = false;
    for (const String& name : names) {
      std::uint32_t type = 0;
      std::vector<std::uint8_t> data;
      if (RegQuery(key, name, &type, &data) != kErrorSuccess) continue;
      lines += ValueLine(name, type, data);
      found = true;
    }
    if (o.valueName && !found && !o.recursive) {
      error = path + u" has no value " +
              (o.valueName->empty() ? String(u"(Default)") : u"\"" + *o.valueName + u"\"");
      return false;
    }
    if (found || !o.valueName) out.out += u"\n" + path + u"\n" + lines;
    if (!o.recursive && !o.valueName) {
      for (const String& s : subKeys)
        out.out += (out.out.empty() || out.out.back() != u'\n' ? u"\n" : u"") + path + u"\\" + s + u"\n";
    }
    return true;
  });
  if (!ok) out.err += u"kvreg: " + error + u"\n";
  return ok;
}

// The bytes of /d DATA for a type; false with a message when it does not fit.
bool EncodeData(std::uint32_t type, const String& text, const String& separator, std::vector<std::uint8_t>& data,
                String& error) {
  auto number = [&](std::uint64_t max, std::uint64_t& v) {
    const std::string s = text.empty() ? std::string("0") : ToUtf8(text);
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    const std::size_t start = hex ? 2 : 0;
    v = 0;
    for (std::size_t i = start; i < s.size(); ++i) {
      const char c = s[i];
      int digit = c >= '0' && c <= '9' ? c - '0' : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                   : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                                 : -1;
      const std::uint64_t base = hex ? 16 : 10;
      if (digit < 0 || v > (max - std::uint64_t(digit)) / base) {
        error = u"\"" + text + u"\" is not a number for " + String(type == kRegDword ? u"REG_DWORD" : u"REG_QWORD");
        return false;
      }
      v = v * base + std::uint64_t(digit);
    }
    return true;
  };
  auto utf16 = [&](StringView s) {
    const std::string bytes = EncodeUtf16Le(s);
    data.insert(data.end(), bytes.begin(), bytes.end());
  };
  std::uint64_t v = 0;
  switch (type) {
    case kRegDword:
    case kRegQword: {
      if (!number(type == kRegDword ? 0xFFFFFFFFull : ~0ull, v)) return false;
      for (int i = 0; i < (type == kRegDword ? 4 : 8); ++i) data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
      return true;
    }
    case kRegBinary:
    case kRegNone: {
      if (text.size() % 2 != 0) {
        error = u"\"" + text + u"\" is not a sequence of hex bytes";
        return false;
      }
      for (std::size_t i = 0; i < text.size(); i += 2) {
        int b = 0;
        for (char16_t c : {text[i], text[i + 1]}) {
          const int d = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'f' ? c - u'a' + 10
                                                          : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                                                                   : -1;
          if (d < 0) {
            error = u"\"" + text + u"\" is not a sequence of hex bytes";
            return false;
          }
          b = b * 16 + d;
        }
        data.push_back(static_cast<std::uint8_t>(b));
      }
      return true;
    }
    case kRegMultiSz: {
      std::size_t start = 0;
      while (!text.empty()) {
        const auto p = text.find(separator, start);
        utf16(text.substr(start, p == String::npos ? String::npos : p - start));
        data.push_back(0);
        data.push_back(0);
        if (p == String::npos) break;
        start = p + separator.size();
      }
      data.push_back(0);
      data.push_back(0);
      return true;
    }
    default:
      data = RegTextData(text);
      return true;
  }
}

int Add(const KeyPath& path, const Options& o, Output& out) {
  std::uint32_t type = kRegSz;
  if (o.type) {
    const auto t = TypeFromName(*o.type);
    if (!t) {
      out.err += u"kvreg: unknown type " + *o.type + u"\n";
      return kUsage;
    }
    type = *t;
  }
  if (o.separator && o.separator->empty()) {
    out.err += u"kvreg: the separator of /s must not be empty\n";
    return kUsage;
  }
  if (o.valueName && !IsStorableRegName(*o.valueName)) {
    out.err += u"kvreg: the value name holds a line break, a zero character or an unpaired surrogate\n";
    return kUsage;
  }
  std::vector<std::uint8_t> data;
  String error;
  if (o.valueName && !EncodeData(type, o.data.value_or(String()), o.separator.value_or(u"\\0"), data, error)) {
    out.err += u"kvreg: " + error + u"\n";
    return kFailed;
  }
  Key key;
  std::uint32_t rc = RegCreate(path.hive, path.sub, kKeyAllAccess, key.Out());
  if (rc != kErrorSuccess) return Fail(out, u"cannot create " + path.full, rc);
  if (!o.valueName) return kOk;
  // Without /f the test for an existing value and the write are one step.
  rc = o.force ? RegSet(key.Get(), *o.valueName, type, data.data(), data.size())
               : RegSetNew(key.Get(), *o.valueName, type, data.data(), data.size());
  if (rc == kErrorFileExists && !o.force) {
    out.err += u"kvreg: " + path.full + u" already has the value " +
               (o.valueName->empty() ? String(u"(Default)") : u"\"" + *o.valueName + u"\"") +
               u"; add /f to replace it\n";
    return kFailed;
  }
  if (rc != kErrorSuccess) return Fail(out, u"cannot set the value in " + path.full, rc);
  return kOk;
}

int Delete(const KeyPath& path, const Options& o, Output& out) {
  if (!o.force) {
    out.err += u"kvreg: add /f to confirm the deletion\n";
    return kUsage;
  }
  if (!o.valueName && !o.allValues) {
    if (path.sub.empty()) {
      out.err += u"kvreg: a hive cannot be deleted\n";
      return kUsage;
    }
    // The key is deleted through its parent.
    const auto cut = path.sub.rfind(u'\\');
    Key parent;
    std::uint32_t rc = RegOpen(path.hive, cut == String::npos ? String() : path.sub.substr(0, cut), kKeyAllAccess,
                               parent.Out());
    if (rc == kErrorSuccess) rc = RegDeleteKeyTree(parent.Get(), path.sub.substr(cut == String::npos ? 0 : cut + 1));
    if (rc != kErrorSuccess) return Fail(out, u"cannot delete " + path.full, rc);
    return kOk;
  }
  Key key;
  std::uint32_t rc = RegOpen(path.hive, path.sub, kKeyAllAccess, key.Out());
  if (rc != kErrorSuccess) return Fail(out, u"cannot open " + path.full, rc);
  std::vector<String> names;
  if (o.allValues)
    RegValueNames(key.Get(), &names);
  else
    names.push_back(*o.valueName);
  for (const String& name : names) {
    rc = RegDeleteValueName(key.Get(), name);
    if (rc != kErrorSuccess) {
      out.err += u"kvreg: cannot delete the value " + (name.empty() ? String(u"(Default)") : u"\"" + name + u"\"") +
                 u" of " + path.full + u": " + ErrorText(rc) + u"\n";
      return kFailed;
    }
  }
  return kOk;
}

// The key and every key below it, depth first, as records for the .reg text.
bool CollectKeys(RegHandle hive, const String& sub, const String& full, std::vector<RegKeyRecord>& keys,
                 String& error) {
  return WalkKeys(hive, sub, full, true, error, [&](RegHandle key, const String& path, const std::vector<String>&) {
    RegKeyRecord record;
    record.Path = path;
    std::vector<String> names;
    RegValueNames(key, &names);
    for (const String& name : names) {
      RegValueRecord v;
      v.Name = name;
      if (RegQuery(key, name, &v.Type, &v.Data) == kErrorSuccess) record.Values.push_back(std::move(v));
    }
    keys.push_back(std::move(record));
    return true;
  });
}

int Export(const KeyPath& path, const String& file, const Options& o, Output& out) {
  if (!o.overwrite && FileExists(file)) {
    out.err += u"kvreg: " + DisplayPath(file) + u" exists; add /y to replace it\n";
    return kFailed;
  }
  std::vector<RegKeyRecord> keys;
  String error;
  if (!CollectKeys(path.hive, path.sub, path.full, keys, error)) {
    out.err += u"kvreg: " + error + u"\n";
    return kFailed;
  }
  // As the registry editor writes it: every key followed by an empty line.
  String text = FormatRegText(keys);
  if (text.size() < 4 || text.compare(text.size() - 4, 4, u"\r\n\r\n") != 0) text += u"\r\n";
  const std::string bytes = "\xFF\xFE" + EncodeUtf16Le(text);
  // Written beside the target and renamed into place: a failure leaves the old file.
  ReplacementFile replacement;
  bool ok = replacement.Create(file);
  ok = ok && replacement.Handle().Write(bytes.data(), static_cast<std::int64_t>(bytes.size())) ==
                 static_cast<std::int64_t>(bytes.size());
  ok = ok && replacement.Commit();
  if (!ok) {
    out.err += u"kvreg: cannot write " + DisplayPath(file) + u": " + SysErrorMessage(LastError()) + u"\n";
    return kFailed;
  }
  return kOk;
}

}  // namespace

int Run(const std::vector<String>& args, Output& out) {
  Options o;
  String error;
  if (!ParseOptions(args, 0, o, error)) {
    out.err += u"kvreg: " + error + u"\n" + u"Try \"kvreg help\".\n";
    return kUsage;
  }
  if (o.positional.empty() || o.positional[0] == u"help") {
    const Command* c = o.positional.size() > 1 ? FindCommand(o.positional[1]) : nullptr;
    if (o.positional.size() > 1 && !c) {
      out.err += u"kvreg: unknown command " + o.positional[1] + u"\n";
      return kUsage;
    }
    out.out += c ? c->help : kGeneralHelp;
    if (o.positional.empty() && !o.help) return kUsage;
    return kOk;
  }
  const String& name = o.positional[0];
  const Command* command = FindCommand(name);
  if (!command) {
    out.err += u"kvreg: unknown command " + name + u"\nTry \"kvreg help\".\n";
    return kUsage;
  }
  if (o.help) {
    out.out += command->help;
    return kOk;
  }
  const std::size_t wanted = name == u"export" ? 3 : 2;
  if (o.positional.size() != wanted) {
    out.err += String(u"kvreg: wrong number of arguments\n") + command->help;
    return kUsage;
  }
  KeyPath path;
  if (!ParseKey(o.positional[1], path, error)) {
    out.err += u"kvreg: " + error + u"\n";
    return kUsage;
  }
  if (o.valueName && o.allValues) {
    out.err += u"kvreg: /v, /ve and /va exclude each other\n";
    return kUsage;
  }
  if (name == u"query") return QueryKey(path.hive, path.sub, path.full, o, out) ? kOk : kFailed;
  if (name == u"add") return Add(path, o, out);
  if (name == u"delete") return Delete(path, o, out);
  return Export(path, o.positional[2], o, out);
}

}  // namespace kv::regtool
