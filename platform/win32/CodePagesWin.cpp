#include <windows.h>

#include "platform/CodePages.h"

namespace kv::platform {

unsigned AnsiCodePage() { return GetACP(); }
unsigned OemCodePage() { return GetOEMCP(); }

String DecodeAnsi(std::string_view bytes) {
  if (bytes.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  String out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                      reinterpret_cast<wchar_t*>(out.data()), n);
  return out;
}

std::string EncodeAnsi(StringView text, bool* lossy) {
  if (lossy) *lossy = false;
  if (text.empty()) return {};
  BOOL used = FALSE;
  const wchar_t* w = reinterpret_cast<const wchar_t*>(text.data());
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w, static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w, static_cast<int>(text.size()), out.data(), n, nullptr,
                      &used);
  if (lossy) *lossy = used != FALSE;
  return out;
}

std::string OemBytesToAnsi(std::string_view bytes) {
  std::string out(bytes);
  if (!out.empty()) OemToCharBuffA(out.data(), out.data(), static_cast<DWORD>(out.size()));
  return out;
}

std::string AnsiBytesToOem(std::string_view bytes) {
  std::string out(bytes);
  if (!out.empty()) CharToOemBuffA(out.data(), out.data(), static_cast<DWORD>(out.size()));
  return out;
}

}  // namespace kv::platform
