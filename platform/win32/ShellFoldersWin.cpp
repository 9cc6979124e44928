#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/ShellFolders.h"
#include "platform/win32/LazyImport.h"

namespace kv::platform {

namespace {
// The shell and COM are loaded when a folder is first asked for.
const LazyImport<decltype(&SHGetSpecialFolderLocation)> shGetSpecialFolderLocation("shell32.dll",
                                                                                    "SHGetSpecialFolderLocation");
const LazyImport<decltype(&SHGetPathFromIDListW)> shGetPathFromIDList("shell32.dll", "SHGetPathFromIDListW");
const LazyImport<decltype(&SHGetKnownFolderPath)> shGetKnownFolderPath("shell32.dll", "SHGetKnownFolderPath");
const LazyImport<decltype(&CoTaskMemFree)> coTaskMemFree("ole32.dll", "CoTaskMemFree");
}  // namespace

String SpecialFolderPath(int csidl) {
  PIDLIST_ABSOLUTE list = nullptr;
  if (shGetSpecialFolderLocation(nullptr, csidl, &list) != S_OK || !list) return String();
  wchar_t buf[261] = {};
  const BOOL ok = shGetPathFromIDList(list, buf);
  coTaskMemFree(list);
  return ok ? String(reinterpret_cast<const char16_t*>(buf)) : String();
}

String ProgramDataFolder() {
  PWSTR path = nullptr;
  String result;
  if (shGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &path) == S_OK && path)
    result = reinterpret_cast<const char16_t*>(path);
  coTaskMemFree(path);
  return result;
}

}  // namespace kv::platform
