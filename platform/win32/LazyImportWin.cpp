#include <windows.h>

#include <string>

#include "platform/DynamicLibrary.h"
#include "platform/win32/LazyImport.h"

namespace kv::platform {

void* LazyImportAddress(const char* dll, const char* name) {
  // From the system folder only: a program started from a medium must not
  // take a library of that name from the medium's folder. Should that fail,
  // the failure names the library's full path; nothing else is searched.
  std::string path = dll;
  wchar_t folder[MAX_PATH];
  const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  if (n > 0 && n < MAX_PATH) path = ToUtf8(String(reinterpret_cast<const char16_t*>(folder), n)) + "\\" + dll;
  return RequireFunction(RequireLibrary(path.c_str()), dll, name);
}

}  // namespace kv::platform
