#include <windows.h>
#include <shellapi.h>
#include <objbase.h>

#include <cstdlib>

#include "platform/Process.h"
#include "platform/win32/WideText.h"
#include "platform/win32/LazyImport.h"

namespace kv::platform {

// The records carry their own size, which the system checks: the 32-bit
// program passes these, the 64-bit one its larger records.
#ifndef _WIN64
static_assert(sizeof(STARTUPINFOW) == 68 && sizeof(SHELLEXECUTEINFOW) == 60);
#endif

bool Process::GetExitCode(std::uint32_t* code) {
  if (!FHandle) return false;
  DWORD c = 0;
  if (!GetExitCodeProcess(reinterpret_cast<HANDLE>(FHandle), &c)) return false;
  *code = c;
  return true;
}

void Process::Wait() {
  if (FHandle) WaitForSingleObject(reinterpret_cast<HANDLE>(FHandle), INFINITE);
}

void Process::Close() noexcept {
  if (FHandle) {
    CloseHandle(reinterpret_cast<HANDLE>(FHandle));
    FHandle = 0;
  }
}

bool StartProcess(const CreateProcessArgs& args, Process* process) {
  STARTUPINFOW si;
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  ZeroMemory(&pi, sizeof pi);
  // The command line must be writable; an empty one is an empty string, not absent.
  std::wstring cmd(reinterpret_cast<const wchar_t*>(args.commandLine.c_str()), args.commandLine.size());
  if (!CreateProcessW(W(args.applicationName), cmd.data(), nullptr, nullptr, args.inheritHandles ? TRUE : FALSE,
                      args.creationFlags, nullptr, W(args.currentDirectory), &si, &pi))
    return false;
  CloseHandle(pi.hThread);
  if (process)
    process->Attach(reinterpret_cast<std::intptr_t>(pi.hProcess));
  else
    CloseHandle(pi.hProcess);
  return true;
}

namespace {
// The shell is loaded when the shell step is taken, COM for a new GUID.
const LazyImport<decltype(&ShellExecuteExW)> shellExecuteEx("shell32.dll", "ShellExecuteExW");
const LazyImport<decltype(&CoCreateGuid)> coCreateGuid("ole32.dll", "CoCreateGuid");
}  // namespace

bool ShellExecuteFile(const ShellExecuteArgs& args, Process* process) {
  SHELLEXECUTEINFOW sei;
  ZeroMemory(&sei, sizeof sei);
  sei.cbSize = sizeof sei;
  sei.fMask = args.mask;
  sei.hwnd = nullptr;
  sei.lpVerb = W(args.verb);
  sei.lpFile = args.file ? W(*args.file) : nullptr;
  sei.lpParameters = W(args.parameters);
  sei.lpDirectory = args.directory ? W(*args.directory) : nullptr;
  sei.nShow = args.show;
  if (!shellExecuteEx(&sei)) return false;
  if (process) {
    if (sei.hProcess) process->Attach(reinterpret_cast<std::intptr_t>(sei.hProcess));
  } else if (sei.hProcess) {
    CloseHandle(sei.hProcess);
  }
  return true;
}

void ExitProcess(std::uint32_t code) { ::ExitProcess(code); }

void SuppressErrorDialogs() {
  SetErrorMode(SEM_NOGPFAULTERRORBOX);
  _set_error_mode(_OUT_TO_STDERR);
}

void ShowFatalErrorBox(StringView title, StringView text) {
  String t(title), m(text);
  MessageBoxW(nullptr, W(m), W(t), MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

int ShowSystemMessageBox(std::uintptr_t owner, StringView text, StringView caption, std::uint32_t flags) {
  String t(text), c(caption);
  return MessageBoxW(reinterpret_cast<HWND>(owner), W(t), W(c), flags);
}

String GetEnvVar(StringView name) {
  String n(name);
  DWORD len = GetEnvironmentVariableW(W(n), nullptr, 0);
  if (len == 0) return {};
  std::wstring buf(len, L'\0');
  len = GetEnvironmentVariableW(W(n), buf.data(), len);
  return String(reinterpret_cast<const char16_t*>(buf.data()), len);
}

std::uint32_t CurrentProcessId() { return GetCurrentProcessId(); }
std::uint32_t CurrentThreadId() { return GetCurrentThreadId(); }

std::uint32_t ProcessPriorityClass() { return GetPriorityClass(GetCurrentProcess()); }

bool SetProcessPriorityClass(std::uint32_t priorityClass) {
  return SetPriorityClass(GetCurrentProcess(), priorityClass) != FALSE;
}

bool DisableWindowsGhosting() {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (!user32) user32 = LoadLibraryW(L"user32.dll");
  if (!user32) return false;
  using Fn = void(WINAPI*)();
  auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, "DisableProcessWindowsGhosting")));
  if (!fn) return false;
  fn();
  return true;
}

std::vector<String> EnvironmentStrings() {
  std::vector<String> result;
  wchar_t* block = GetEnvironmentStringsW();
  if (!block) return result;
  for (const wchar_t* p = block; *p; p += wcslen(p) + 1)
    result.emplace_back(reinterpret_cast<const char16_t*>(p), wcslen(p));
  FreeEnvironmentStringsW(block);
  return result;
}

Guid NewGuid() {
  GUID g{};
  coCreateGuid(&g);
  Guid r;
  r.Data1 = g.Data1;
  r.Data2 = g.Data2;
  r.Data3 = g.Data3;
  for (int i = 0; i < 8; ++i) r.Data4[i] = g.Data4[i];
  return r;
}

}  // namespace kv::platform
