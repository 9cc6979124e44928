// Libraries bound at run time, for functions that may be missing on older
// systems: load a library by name, look up its functions, release it.
#pragma once

#include <cstdint>

#include "platform/Base.h"

namespace kv::platform {

using LibraryHandle = std::uintptr_t;

// 0 when the library cannot be loaded. Windows libraries ("comctl32.dll")
// exist only on Windows; elsewhere every name gives 0.
LibraryHandle LoadDynamicLibrary(StringView name);
// The function of that name (or, for a name given as "#<number>", of that
// ordinal); null when the library has none.
void* LibraryFunction(LibraryHandle library, const char* name);
void FreeDynamicLibrary(LibraryHandle library);

// The running Windows version. Elsewhere the newest version the program
// knows (10.0), so that version checks pass.
struct TWindowsVersion {
  std::uint32_t Major = 0, Minor = 0, Build = 0;
};
TWindowsVersion WindowsVersion();
// Whether the running Windows is at least major.minor.
inline bool WindowsVersionAtLeast(std::uint32_t major, std::uint32_t minor) {
  const TWindowsVersion v = WindowsVersion();
  return v.Major > major || (v.Major == major && v.Minor >= minor);
}

}  // namespace kv::platform
