#include <dlfcn.h>
#include <sys/auxv.h>
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
  // This code lies in a library when the object that holds it is not the
  // one that holds the program's own headers (the loader's note of them).
  Dl_info self{}, program{};
  const auto* headers = reinterpret_cast<const void*>(getauxval(AT_PHDR));
  if (!headers || !dladdr(reinterpret_cast<void*>(&ModuleIsLibrary), &self) || !dladdr(headers, &program))
    return false;
  return self.dli_fbase != program.dli_fbase;
}

}  // namespace kv::platform
