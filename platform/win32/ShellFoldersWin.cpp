#include <windows.h>
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

}  // namespace kv::platform
