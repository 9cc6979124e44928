#include <windows.h>

#include <string>

#include "platform/Files.h"
#include "platform/VersionInfo.h"

namespace kv::platform {

// GetFileVersionInfoW hands out the file's VS_VERSIONINFO block, which the
// same reader as on Linux then takes apart.
bool VersionInfoReader::Load(StringView fileName) {
  *this = VersionInfoReader();
  const String name = fileName.empty() ? ModuleFileName() : String(fileName);
  const auto* w = reinterpret_cast<const wchar_t*>(name.c_str());
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(w, &handle);
  if (size == 0) return false;
  std::string buffer(size, '\0');
  if (!GetFileVersionInfoW(w, 0, size, buffer.data())) return false;
  return ParseVersionBlock(buffer, this);
}

}  // namespace kv::platform
