#include <windows.h>

#include <string>

#include "platform/Files.h"
#include "platform/VersionInfo.h"
#include "platform/win32/LazyImport.h"

namespace kv::platform {

namespace {
const LazyImport<decltype(&GetFileVersionInfoSizeW)> getFileVersionInfoSize("version.dll", "GetFileVersionInfoSizeW");
const LazyImport<decltype(&GetFileVersionInfoW)> getFileVersionInfo("version.dll", "GetFileVersionInfoW");
}  // namespace

// GetFileVersionInfoW hands out the file's VS_VERSIONINFO block, which the
// same reader as on Linux then takes apart.
bool VersionInfoReader::Load(StringView fileName) {
  *this = VersionInfoReader();
  const String name = fileName.empty() ? ModuleFileName() : String(fileName);
  const auto* w = reinterpret_cast<const wchar_t*>(name.c_str());
  DWORD handle = 0;
  const DWORD size = getFileVersionInfoSize(w, &handle);
  if (size == 0) return false;
  std::string buffer(size, '\0');
  if (!getFileVersionInfo(w, 0, size, buffer.data())) return false;
  return ParseVersionBlock(buffer, this);
}

}  // namespace kv::platform
