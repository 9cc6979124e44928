// Registry helpers: text values, integers and Booleans stored as text, key
// and value tests, and the small wrappers of the same module.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>

#include "platform/Base.h"
#include "platform/Registry.h"

namespace kv {

KV_DECLARE_EXCEPTION(ERegistryException, Exception)

// A hive (platform::kHiveCurrentUser, ...) or an open key.
using TRegRoot = platform::RegHandle;

// The key without one leading backslash.
String RelativeRegistryKey(StringView Key);

// The text of a REG_SZ or REG_EXPAND_SZ value (not expanded), without its
// terminating zero character. Raises ERegistryException "Unable to open key
// "KEY\NAME" for read" when the key cannot be opened, the value is missing
// or of another type.
String ReadRegistryString(TRegRoot Root, StringView Key, StringView Name, bool Use64View = false);
// These never raise: Default when the value is missing or cannot be read.
String ReadRegistryStringDef(TRegRoot Root, StringView Key, StringView Name, StringView Default);
// Default also when the text is not a decimal integer.
std::int32_t ReadRegistryIntegerDef(TRegRoot Root, StringView Key, StringView Name, std::int32_t Default);
bool ReadRegistryBoolDef(TRegRoot Root, StringView Key, StringView Name, bool Default);

// Creates the key with its missing parents (no value of an existing key is
// touched), then WriteExistingRegistryString.
void WriteRegistryString(TRegRoot Root, StringView Key, StringView Name, StringView Value);
// Stores Value as REG_SZ with its terminating zero character; raises
// ERegistryException "Unable to open key "KEY\NAME" for write".
void WriteExistingRegistryString(TRegRoot Root, StringView Key, StringView Name, StringView Value);
void WriteRegistryInteger(TRegRoot Root, StringView Key, StringView Name, std::int32_t Value);
void WriteRegistryBool(TRegRoot Root, StringView Key, StringView Name, bool Value);

bool RegistryKeyExists(TRegRoot Root, StringView Key, bool Use64View = false);
// A value of any type.
bool RegistryValueExists(TRegRoot Root, StringView Key, StringView Name, bool Use64View = false);
// Raises the write error also when the value does not exist; true otherwise.
bool DeleteRegistryValue(TRegRoot Root, StringView Key, StringView Name);

// ----------------------------------------------------------------- wrappers

// One argument of FormatText.
using TFormatArg = std::variant<std::int64_t, double, String>;

// printf-style formatting on texts: %s %d %i %u %x %X %c %e %f %g %p %%,
// with the flags "-" and "0", a width and a precision ("*" takes them from
// the arguments). A missing or unfitting argument prints nothing for its
// conversion.
String FormatText(StringView Pattern, std::initializer_list<TFormatArg> Args);

// By UTF-16 code units: -1, 0 or 1.
int CompareStringsOrdinal(StringView A, StringView B);

enum TReplaceFlag : std::uint8_t { rfReplaceAll = 1, rfIgnoreCase = 2 };
// Old replaced by New: the first occurrence, or all with rfReplaceAll;
// rfIgnoreCase compares by the user's upper case.
String ReplaceString(StringView S, StringView Old, StringView New, std::uint8_t Flags);

std::string EncodeUtf8(StringView S);
// Malformed sequences become U+FFFD.
String DecodeUtf8(std::string_view Bytes);

// The system message box; the identifier of the button chosen.
int ShowMessageBox(std::uintptr_t Owner, StringView Text, StringView Caption, std::uint32_t Flags);

}  // namespace kv
