#include <windows.h>

#include "platform/Resources.h"

namespace kv::platform {

bool LoadModuleResource(StringView name, std::uint32_t type, std::string& bytes) {
  const String n(name);
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(module, reinterpret_cast<LPCWSTR>(n.c_str()), MAKEINTRESOURCEW(type));
  if (!info) return false;
  HGLOBAL data = LoadResource(module, info);
  const void* p = data ? LockResource(data) : nullptr;
  if (!p) return false;
  bytes.assign(static_cast<const char*>(p), SizeofResource(module, info));
  return true;
}

}  // namespace kv::platform
