// The registry: keys below the predefined hives, with typed values.
//
// On Windows this is the real registry. On Linux it is our own store, one
// text file per hive in the format of the registry editor's .reg files:
// HKEY_CURRENT_USER in the user's configuration folder
// ($XDG_CONFIG_HOME/kv-registry), the other hives in /var/lib/kv-registry;
// the environment variable KV_REGISTRY_DIR puts all of them into one folder
// (tests use a temporary one). Key and value names are matched ignoring
// letter case, as Windows does. Every change locks the hive's file, writes a
// new file beside it and renames it into place, so processes can write at
// once and a crash leaves the old or the new state. A hive file that cannot
// be read or does not parse is never written: every call on its hive fails
// (RegErrorDetail says where and why). Keys of another hive in a file are
// kept as they stand but not seen; short hive names (HKCU) count as the long
// ones. Names with line breaks (CR, LF, VT, FF, NEL, U+2028, U+2029), zero
// characters or unpaired surrogates are refused there, as the file could not
// hold them; text data of any kind is kept exactly (as hex(...) where quotes
// cannot hold it).
//
// Results are error numbers in the Windows numbering (0 = success).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Base.h"

namespace kv::platform {

// A predefined hive or an open key.
using RegHandle = std::uintptr_t;

constexpr RegHandle kHiveClassesRoot = 0x80000000u, kHiveCurrentUser = 0x80000001u,
                    kHiveLocalMachine = 0x80000002u, kHiveUsers = 0x80000003u, kHiveCurrentConfig = 0x80000005u,
                    kHiveDynData = 0x80000006u;

// Value types.
enum : std::uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegMultiSz = 7,
  kRegQword = 11,
};

// Access rights.
enum : std::uint32_t {
  kKeyQueryValue = 0x0001,
  kKeySetValue = 0x0002,
  kKeyRead = 0x20019,
  kKeyWrite = 0x20006,
  kKeyAllAccess = 0xF003F,
  kKeyWow64_64Key = 0x0100,
};

// The name of a hive ("HKEY_CURRENT_USER"), empty for an unknown one.
String HiveName(RegHandle hive);
// A hive from its name or short form ("HKCU"), ignoring letter case; 0 when none.
RegHandle HiveFromName(StringView name);

// Opens subKey below parent (a hive or an open key); *key must be closed.
std::uint32_t RegOpen(RegHandle parent, StringView subKey, std::uint32_t access, RegHandle* key);
// Opens or creates subKey with its missing parents, touching no value.
std::uint32_t RegCreate(RegHandle parent, StringView subKey, std::uint32_t access, RegHandle* key,
                        bool* created = nullptr);
void RegClose(RegHandle key);

// The type and raw bytes of a value (a text as UTF-16 little-endian with the
// zero characters it was stored with); name empty: the key's default value.
std::uint32_t RegQuery(RegHandle key, StringView name, std::uint32_t* type, std::vector<std::uint8_t>* data);
std::uint32_t RegSet(RegHandle key, StringView name, std::uint32_t type, const void* data, std::size_t size);
// Sets the value only when the key has none of that name yet, in one step
// with the test: kErrorFileExists when it has one. (On Windows the step is
// one among the programs that use this function.)
std::uint32_t RegSetNew(RegHandle key, StringView name, std::uint32_t type, const void* data, std::size_t size);
std::uint32_t RegDeleteValueName(RegHandle key, StringView name);
// Deletes subKey of key with everything below it.
std::uint32_t RegDeleteKeyTree(RegHandle key, StringView subKey);
// The names of the subkeys and of the values of an open key.
std::uint32_t RegSubKeys(RegHandle key, std::vector<String>* names);
std::uint32_t RegValueNames(RegHandle key, std::vector<String>* names);

// What the store knows beyond the error number about this thread's last
// failed call: the hive file and why it cannot be used (a line that does
// not parse, a read error). Empty when there is nothing more (always on
// Windows).
String RegErrorDetail();

// Whether a key or value name can stand in a .reg text: no character that
// ends a line (CR, LF, VT, FF, NEL, U+2028, U+2029), no zero character, no
// unpaired surrogate.
bool IsStorableRegName(StringView name);

// The bytes of a text value: UTF-16 little-endian with one zero character.
std::vector<std::uint8_t> RegTextData(StringView text);

// One value of a key, for the .reg text below.
struct RegValueRecord {
  String Name;
  std::uint32_t Type = kRegNone;
  std::vector<std::uint8_t> Data;
};
struct RegKeyRecord {
  String Path;  // with the hive's name: HKEY_CURRENT_USER\Software\...
  std::vector<RegValueRecord> Values;
};

// The .reg text of the registry editor ("Windows Registry Editor Version
// 5.00"): texts in quotes, numbers as dword:, everything else as hex(type):.
String FormatRegText(const std::vector<RegKeyRecord>& keys);
// Parses such a text (also the older "REGEDIT4" header and lines continued
// with "\"); false with *error naming the line when it is not one.
bool ParseRegText(StringView text, std::vector<RegKeyRecord>* keys, String* error);

}  // namespace kv::platform
