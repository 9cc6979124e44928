// Libraries bound at run time, for functions that may be missing on older
// systems: load a library by name, look up its functions, release it.
#pragma once

#include <cstdint>

#include <string>

#include "platform/Base.h"

namespace kv::platform {

using LibraryHandle = std::uintptr_t;

// 0 when the library cannot be loaded. Windows libraries ("comctl32.dll")
// exist only on Windows; elsewhere every name gives 0. With
// suppressErrorBox the system shows no box for a file it cannot open.
LibraryHandle LoadDynamicLibrary(StringView name, bool suppressErrorBox = false);
// The function of that name (or, for a name given as "#<number>", of that
// ordinal); null when the library has none.
void* LibraryFunction(LibraryHandle library, const char* name);
void FreeDynamicLibrary(LibraryHandle library);

// What the failure hook of libraries bound at run time is told: which
// library, and which function (by name or by number).
struct DelayLoadInfo {
  std::string DllName;
  bool ImportByName = true;
  std::string ProcName;
  std::uint32_t Ordinal = 0;
};
constexpr int kDelayLoadFailLoadLibrary = 3, kDelayLoadFailGetProcAddress = 4;
// Raises (or returns a replacement function, or null to leave the failure
// to the default handling).
using DelayLoadFailureHookFunc = void* (*)(int notification, const DelayLoadInfo& info);
// Installs a hook and returns the one before, in one atomic exchange.
DelayLoadFailureHookFunc ExchangeDelayLoadFailureHook(DelayLoadFailureHookFunc hook);
// A library or function the caller cannot do without: when it is missing
// the failure hook is told (and raises); without a hook, or when the hook
// leaves it, EOSError names what is missing.
LibraryHandle RequireLibrary(const char* name);
void* RequireFunction(LibraryHandle library, const char* libraryName, const char* name);

// Whether the code runs inside a library rather than the program itself.
bool ModuleIsLibrary();

}  // namespace kv::platform
