#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/ShellFolders.h"

namespace kv::platform {

String SpecialFolderPath(int csidl) {
  PIDLIST_ABSOLUTE list = nullptr;
  if (SHGetSpecialFolderLocation(nullptr, csidl, &list) != S_OK || !list) return String();
  wchar_t buf[261] = {};
  const BOOL ok = SHGetPathFromIDListW(list, buf);
  CoTaskMemFree(list);
  return ok ? String(reinterpret_cast<const char16_t*>(buf)) : String();
}

String ProgramDataFolder() {
  PWSTR path = nullptr;
  String result;
  if (SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &path) == S_OK && path)
    result = reinterpret_cast<const char16_t*>(path);
  CoTaskMemFree(path);
  return result;
}

}  // namespace kv::platform
