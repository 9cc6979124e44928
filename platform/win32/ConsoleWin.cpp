#include <windows.h>

#include <shellapi.h>

#include "platform/CodePages.h"
#include "platform/Console.h"
#include "platform/win32/LazyImport.h"

namespace kv::platform {

std::vector<String> CommandLineArguments(int, char**) {
  static const LazyImport<decltype(&CommandLineToArgvW)> commandLineToArgv("shell32.dll", "CommandLineToArgvW");
  std::vector<String> args;
  int n = 0;
  wchar_t** argv = commandLineToArgv(GetCommandLineW(), &n);
  if (!argv) return args;
  for (int i = 1; i < n; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  LocalFree(argv);
  return args;
}

std::vector<int> InvalidCommandLineArguments(int, char**) { return {}; }

namespace {

void WriteTo(DWORD which, StringView text) {
  HANDLE h = GetStdHandle(which);
  if (h == nullptr || h == INVALID_HANDLE_VALUE || text.empty()) return;
  DWORD mode, done;
  if (GetConsoleMode(h, &mode)) {
    WriteConsoleW(h, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    return;
  }
  std::string bytes = EncodeUtf8(text);
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

}  // namespace

void WriteStandardOutput(StringView text) { WriteTo(STD_OUTPUT_HANDLE, text); }
void WriteStandardError(StringView text) { WriteTo(STD_ERROR_HANDLE, text); }

}  // namespace kv::platform
