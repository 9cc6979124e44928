#include <windows.h>

#include <string>

#include "platform/DynamicLibrary.h"
#include "platform/win32/LazyImport.h"

namespace kv::platform {

void* LazyImportAddress(const char* dll, const char* name) {
  // From the system folder only: a program started from a medium must not
  // take a library of that name from the medium's folder.
  LibraryHandle library = 0;
  wchar_t folder[MAX_PATH];
  const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    std::wstring path(folder, n);
    path += L'\\';
    for (const char* p = dll; *p; ++p) path += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    library = reinterpret_cast<LibraryHandle>(LoadLibraryW(path.c_str()));
  }
  if (!library) library = RequireLibrary(dll);
  return RequireFunction(library, dll, name);
}

}  // namespace kv::platform
