#include <windows.h>

#include "platform/Registry.h"
#include "platform/win32/WideText.h"

namespace kv::platform {

namespace {
HKEY K(RegHandle h) { return reinterpret_cast<HKEY>(h); }
}  // namespace

std::uint32_t RegOpen(RegHandle parent, StringView subKey, std::uint32_t access, RegHandle* key) {
  HKEY h = nullptr;
  LONG r = RegOpenKeyExW(K(parent), W(String(subKey)), 0, access, &h);
  *key = r == ERROR_SUCCESS ? reinterpret_cast<RegHandle>(h) : 0;
  return static_cast<std::uint32_t>(r);
}

std::uint32_t RegCreate(RegHandle parent, StringView subKey, std::uint32_t access, RegHandle* key, bool* created) {
  HKEY h = nullptr;
  DWORD disposition = 0;
  LONG r = RegCreateKeyExW(K(parent), W(String(subKey)), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &h,
                           &disposition);
  *key = r == ERROR_SUCCESS ? reinterpret_cast<RegHandle>(h) : 0;
  if (created) *created = r == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
  return static_cast<std::uint32_t>(r);
}

void RegClose(RegHandle key) {
  if (key) RegCloseKey(K(key));
}

std::uint32_t RegQuery(RegHandle key, StringView name, std::uint32_t* type, std::vector<std::uint8_t>* data) {
  String n(name);
  DWORD t = 0, size = 0;
  LONG r = RegQueryValueExW(K(key), W(n), nullptr, &t, nullptr, &size);
  if (r != ERROR_SUCCESS) return static_cast<std::uint32_t>(r);
  std::vector<std::uint8_t> d(size);
  for (;;) {
    DWORD got = static_cast<DWORD>(d.size());
    r = RegQueryValueExW(K(key), W(n), nullptr, &t, d.empty() ? nullptr : d.data(), &got);
    if (r == ERROR_MORE_DATA) {
      d.resize(got);
      continue;
    }
    if (r != ERROR_SUCCESS) return static_cast<std::uint32_t>(r);
    d.resize(got);
    break;
  }
  if (type) *type = t;
  if (data) *data = std::move(d);
  return 0;
}

std::uint32_t RegSet(RegHandle key, StringView name, std::uint32_t type, const void* data, std::size_t size) {
  return static_cast<std::uint32_t>(RegSetValueExW(K(key), W(String(name)), 0, type,
                                                   static_cast<const BYTE*>(data), static_cast<DWORD>(size)));
}

std::uint32_t RegSetNew(RegHandle key, StringView name, std::uint32_t type, const void* data, std::size_t size) {
  // The registry has no such step of its own: a mutex of the session makes
  // the test and the write one step among the programs that use it.
  HANDLE m = CreateMutexW(nullptr, FALSE, L"Local\\KVRegistrySetNew");
  if (m) WaitForSingleObject(m, INFINITE);
  std::uint32_t r = RegQuery(key, name, nullptr, nullptr);
  if (r == ERROR_SUCCESS)
    r = ERROR_FILE_EXISTS;
  else if (r == ERROR_FILE_NOT_FOUND)
    r = RegSet(key, name, type, data, size);
  if (m) {
    ReleaseMutex(m);
    CloseHandle(m);
  }
  return r;
}

String RegErrorDetail() { return String(); }

std::uint32_t RegDeleteValueName(RegHandle key, StringView name) {
  return static_cast<std::uint32_t>(RegDeleteValueW(K(key), W(String(name))));
}

std::uint32_t RegDeleteKeyTree(RegHandle key, StringView subKey) {
  String sub(subKey);
  if (sub.empty()) return ERROR_ACCESS_DENIED;
  HKEY h = nullptr;
  LONG r = RegOpenKeyExW(K(key), W(sub), 0, KEY_READ | KEY_WRITE | DELETE, &h);
  if (r != ERROR_SUCCESS) return static_cast<std::uint32_t>(r);
  // Children first, then the key itself.
  std::vector<String> children;
  RegSubKeys(reinterpret_cast<RegHandle>(h), &children);
  for (const auto& c : children) {
    r = RegDeleteKeyTree(reinterpret_cast<RegHandle>(h), c);
    if (r != ERROR_SUCCESS) {
      RegCloseKey(h);
      return static_cast<std::uint32_t>(r);
    }
  }
  RegCloseKey(h);
  return static_cast<std::uint32_t>(RegDeleteKeyW(K(key), W(sub)));
}

std::uint32_t RegSubKeys(RegHandle key, std::vector<String>* names) {
  names->clear();
  for (DWORD i = 0;; ++i) {
    wchar_t buf[256];
    DWORD len = 256;
    LONG r = RegEnumKeyExW(K(key), i, buf, &len, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) return 0;
    if (r != ERROR_SUCCESS) return static_cast<std::uint32_t>(r);
    names->emplace_back(reinterpret_cast<const char16_t*>(buf), len);
  }
}

std::uint32_t RegValueNames(RegHandle key, std::vector<String>* names) {
  names->clear();
  std::wstring buf(16384, L'\0');
  for (DWORD i = 0;; ++i) {
    DWORD len = static_cast<DWORD>(buf.size());
    LONG r = RegEnumValueW(K(key), i, buf.data(), &len, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) return 0;
    if (r != ERROR_SUCCESS) return static_cast<std::uint32_t>(r);
    names->emplace_back(reinterpret_cast<const char16_t*>(buf.data()), len);
  }
}

}  // namespace kv::platform
