#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "platform/DynamicLibrary.h"
#include "platform/Process.h"
#include "platform/win32/WideText.h"

namespace kv::platform {

LibraryHandle LoadDynamicLibrary(StringView name, bool suppressErrorBox) {
  const UINT previous = suppressErrorBox ? SetErrorMode(SEM_NOOPENFILEERRORBOX) : 0;
  HMODULE h = LoadLibraryW(W(String(name)));
  if (suppressErrorBox) SetErrorMode(previous);
  return reinterpret_cast<LibraryHandle>(h);
}

void* LibraryFunction(LibraryHandle library, const char* name) {
  if (!library || !name) return nullptr;
  HMODULE module = reinterpret_cast<HMODULE>(library);
  FARPROC fn;
  if (name[0] == '#') {
    const unsigned long ordinal = std::strtoul(name + 1, nullptr, 10);
    if (ordinal == 0 || ordinal > 0xFFFF) return nullptr;
    fn = GetProcAddress(module, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal)));
  } else {
    fn = GetProcAddress(module, name);
  }
  return reinterpret_cast<void*>(fn);
}

void FreeDynamicLibrary(LibraryHandle library) {
  if (library) FreeLibrary(reinterpret_cast<HMODULE>(library));
}

bool ModuleIsLibrary() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&ModuleIsLibrary), &self))
    return false;
  return self != GetModuleHandleW(nullptr);
}

TWindowsVersion WindowsVersion() {
  // RtlGetVersion tells the truth whatever the program's manifest claims.
  struct OsVersionInfo {
    ULONG Size, Major, Minor, Build, Platform;
    WCHAR ServicePack[128];
  };
  using Fn = LONG(WINAPI*)(OsVersionInfo*);
  static const TWindowsVersion version = [] {
    TWindowsVersion v;
    if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
      if (auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))) {
        OsVersionInfo info{};
        info.Size = sizeof info;
        if (fn(&info) == 0) return TWindowsVersion{info.Major, info.Minor, info.Build};
      }
    }
    const DWORD packed = GetVersion();
    v.Major = LOBYTE(LOWORD(packed));
    v.Minor = HIBYTE(LOWORD(packed));
    return v;
  }();
  return version;
}

}  // namespace kv::platform
