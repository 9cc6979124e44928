// The registry object: a root key, a current key and its path, and the
// installer's variant of it with fixed access rights.
#pragma once

#include "platform/Registry.h"
#include "system/KVRegistry.h"

namespace kv {

// A registry object in the manner of the usual registry class: a root key
// (HKEY_CURRENT_USER at first), an open current key and its path.
class TRegistry : public TObject {
 public:
  TRegistry();
  explicit TRegistry(std::uint32_t AAccess);
  ~TRegistry() override;

  TRegRoot RootKey() const { return FRootKey; }
  // Closes the current key.
  void SetRootKey(TRegRoot Value);
  TRegRoot CurrentKey() const { return FCurrentKey; }
  const String& CurrentPath() const { return FCurrentPath; }
  std::uint32_t Access() const { return FAccess; }
  void SetAccess(std::uint32_t v) { FAccess = v; }

  virtual bool KeyExists(const String& Key);
  virtual bool OpenKey(const String& Key, bool CanCreate);
  virtual bool DeleteKey(const String& Key);
  void CloseKey();
  bool ValueExists(const String& Name);
  // Raises ERegistryException "Invalid data type for '%s'" for a value that
  // is not text; a missing value reads as the empty text.
  String ReadString(const String& Name);
  void WriteString(const String& Name, const String& Value);

 protected:
  // The key a path names: below the root when absolute ("\..."), or when no
  // key is open; below the current key otherwise.
  TRegRoot BaseKeyFor(const String& Key, String* relative, bool* isRelative) const;
  void ChangeKey(TRegRoot Value, const String& Path);
  bool KeyExistsWith(const String& Key, std::uint32_t access) const;

  TRegRoot FRootKey = platform::kHiveCurrentUser;
  TRegRoot FCurrentKey = 0;
  String FCurrentPath;
  std::uint32_t FAccess = platform::kKeyAllAccess;
};

// KeyExists always opens with KEY_READ; OpenKey opens with read and write
// access and creates with KEY_ALL_ACCESS.
class TKVInstRegistry : public TRegistry {
 public:
  using TRegistry::TRegistry;
  bool KeyExists(const String& Key) override;
  bool OpenKey(const String& Key, bool CanCreate) override;
  bool DeleteKey(const String& Key) override;
  // 0 HKEY_CLASSES_ROOT, 1 HKEY_CURRENT_CONFIG, 2 HKEY_CURRENT_USER,
  // 3 HKEY_DYN_DATA, 4 HKEY_LOCAL_MACHINE, 5 HKEY_USERS; others change nothing.
  void SetRootKeyByIndex(int Number);
};

// A text value read through a TKVInstRegistry on the hive of that number;
// Default when anything fails. Never raises.
String ReadInstRegistryString(int RootNumber, const String& Key, const String& Name, const String& Default);

}  // namespace kv
