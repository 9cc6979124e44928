#include "system/kvInstRegistry.h"

namespace kv {

using namespace platform;

TRegistry::TRegistry() = default;

TRegistry::TRegistry(std::uint32_t AAccess) : FAccess(AAccess) {}

TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetRootKey(TRegRoot Value) {
  CloseKey();
  FRootKey = Value;
}

void TRegistry::CloseKey() {
  if (FCurrentKey) RegClose(FCurrentKey);
  FCurrentKey = 0;
  FCurrentPath.clear();
}

void TRegistry::ChangeKey(TRegRoot Value, const String& Path) {
  CloseKey();
  FCurrentKey = Value;
  FCurrentPath = Path;
}

TRegRoot TRegistry::BaseKeyFor(const String& Key, String* relative, bool* isRelative) const {
  *isRelative = Key.empty() || Key[0] != u'\\';
  *relative = *isRelative ? Key : Key.substr(1);
  return *isRelative && FCurrentKey ? FCurrentKey : FRootKey;
}

bool TRegistry::KeyExistsWith(const String& Key, std::uint32_t access) const {
  String rel;
  bool isRel;
  RegHandle h = 0, base = BaseKeyFor(Key, &rel, &isRel);
  bool ok = RegOpen(base, rel, access, &h) == 0;
  RegClose(h);
  return ok;
}

// The object's own access setting; the installer's variant always reads.
bool TRegistry::KeyExists(const String& Key) { return KeyExistsWith(Key, FAccess); }

bool TRegistry::OpenKey(const String& Key, bool CanCreate) {
  String rel;
  bool isRel;
  RegHandle base = BaseKeyFor(Key, &rel, &isRel), h = 0;
  std::uint32_t r = CanCreate && !rel.empty() ? RegCreate(base, rel, FAccess, &h) : RegOpen(base, rel, FAccess, &h);
  if (r != 0) return false;
  String path = isRel && FCurrentKey ? FCurrentPath + u"\\" + rel : rel;
  ChangeKey(h, path);
  return true;
}

bool TRegistry::DeleteKey(const String& Key) {
  String rel;
  bool isRel;
  RegHandle base = BaseKeyFor(Key, &rel, &isRel);
  return RegDeleteKeyTree(base, rel) == 0;
}

bool TRegistry::ValueExists(const String& Name) {
  std::uint32_t type;
  return FCurrentKey && RegQuery(FCurrentKey, Name, &type, nullptr) == 0;
}

String TRegistry::ReadString(const String& Name) {
  std::uint32_t type = kRegNone;
  std::vector<std::uint8_t> data;
  if (!FCurrentKey || RegQuery(FCurrentKey, Name, &type, &data) != 0) return String();
  if (type != kRegSz && type != kRegExpandSz)
    throw ERegistryException(FormatSimple(u"Invalid data type for '%s'", {Name}));
  String s(data.size() / 2, u'\0');
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  // The text ends at its first zero character.
  size_t nul = s.find(u'\0');
  if (nul != String::npos) s.resize(nul);
  return s;
}

void TRegistry::WriteString(const String& Name, const String& Value) {
  std::vector<std::uint8_t> data = RegTextData(Value);
  if (!FCurrentKey || RegSet(FCurrentKey, Name, kRegSz, data.data(), data.size()) != 0)
    throw ERegistryException(FormatSimple(u"Failed to set data for '%s'", {Name}));
}

bool TKVInstRegistry::KeyExists(const String& Key) { return KeyExistsWith(Key, kKeyRead); }

bool TKVInstRegistry::OpenKey(const String& Key, bool CanCreate) {
  String rel;
  bool isRel;
  RegHandle base = BaseKeyFor(Key, &rel, &isRel), h = 0;
  std::uint32_t r;
  if (!CanCreate || rel.empty() || KeyExists(Key))
    r = RegOpen(base, rel, kKeyRead | kKeyWrite, &h);
  else
    r = RegCreate(base, rel, kKeyAllAccess, &h);
  if (r != 0) return false;
  ChangeKey(h, isRel && FCurrentKey ? FCurrentPath + u"\\" + rel : rel);
  return true;
}

bool TKVInstRegistry::DeleteKey(const String& Key) { return TRegistry::DeleteKey(Key); }

void TKVInstRegistry::SetRootKeyByIndex(int Number) {
  static const TRegRoot hives[] = {kHiveClassesRoot, kHiveCurrentConfig, kHiveCurrentUser,
                                   kHiveDynData,     kHiveLocalMachine,  kHiveUsers};
  if (Number >= 0 && Number < 6) SetRootKey(hives[Number]);
}

String ReadInstRegistryString(int RootNumber, const String& Key, const String& Name, const String& Default) {
  try {
    TKVInstRegistry reg;
    reg.SetRootKeyByIndex(RootNumber);
    if (reg.KeyExists(Key) && reg.OpenKey(Key, false) && reg.ValueExists(Name)) {
      try {
        return reg.ReadString(Name);
      } catch (...) {
        return Default;
      }
    }
  } catch (...) {
  }
  return Default;
}

}  // namespace kv
