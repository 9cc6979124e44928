#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cstring>

#include "platform/DynamicLibrary.h"
#include "platform/Process.h"

namespace kv::platform {

// The libraries asked for by name are Windows system libraries, which do
// not exist here.
LibraryHandle LoadDynamicLibrary(StringView, bool) { return 0; }
void* LibraryFunction(LibraryHandle, const char*) { return nullptr; }
void FreeDynamicLibrary(LibraryHandle) {}

TWindowsVersion WindowsVersion() { return {10, 0, 0}; }

bool ModuleIsLibrary() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&ModuleIsLibrary), &info) || !info.dli_fname) return false;
  char self[PATH_MAX], exe[PATH_MAX];
  if (!realpath(info.dli_fname, self) || !realpath("/proc/self/exe", exe)) return false;
  return std::strcmp(self, exe) != 0;
}

}  // namespace kv::platform
