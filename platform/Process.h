// Starting programs: as a child process and through the shell.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/Base.h"

namespace kv::platform {

constexpr std::uint32_t kStillActive = 259;

// A started process; closing it does not end the process.
class Process {
 public:
  Process() = default;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  Process(Process&& o) noexcept : FHandle(o.FHandle), FExitCode(o.FExitCode), FEnded(o.FEnded) { o.FHandle = 0; }
  ~Process() { Close(); }

  bool IsValid() const noexcept { return FHandle != 0; }
  // kStillActive while it runs; false when there is no process or the query fails.
  bool GetExitCode(std::uint32_t* code);
  void Wait();
  void Close() noexcept;
  void Attach(std::intptr_t handle) noexcept {
    Close();
    FHandle = handle;
    FEnded = false;
  }

 private:
  std::intptr_t FHandle = 0;  // a process handle on Windows, a process id on Linux
  // Linux: the exit code once the ended process has been reaped, so that
  // every later query gives it again, as a Windows process handle does.
  std::uint32_t FExitCode = 0;
  bool FEnded = false;
};

struct CreateProcessArgs {
  String applicationName;
  String commandLine;          // passed as a (possibly empty) text, never absent
  bool inheritHandles = true;
  std::uint32_t creationFlags = 0x20;  // NORMAL_PRIORITY_CLASS
  String currentDirectory = u".";
};

// CreateProcessW with these arguments and a STARTUPINFOW of the platform's
// size, zero but for it (Linux: posix_spawn of applicationName with the
// command line split at blanks). False with LastError() set on failure.
bool StartProcess(const CreateProcessArgs& args, Process* process);

struct ShellExecuteArgs {
  std::uint32_t mask = 0x40;       // SEE_MASK_NOCLOSEPROCESS (0x100: SEE_MASK_NOASYNC)
  String verb = u"open";           // "open" or "runas"
  std::optional<String> file;      // absent when empty
  String parameters;
  std::optional<String> directory;
  int show = 1;                    // SW_SHOWNORMAL
};

// ShellExecuteExW with a SHELLEXECUTEINFOW of the platform's size. On Linux
// the verb "open" hands the file to the desktop's opener (xdg-open, or the
// program named by KV_SHELL_OPENER) and "runas" to pkexec. False with
// LastError() set on failure.
bool ShellExecuteFile(const ShellExecuteArgs& args, Process* process);

// SetErrorMode(SEM_NOGPFAULTERRORBOX) and no runtime error boxes; nothing on Linux.
void SuppressErrorDialogs();

// The task-modal error box of the last-resort handling; on Linux the title
// and text go to standard error.
void ShowFatalErrorBox(StringView title, StringView text);

// The system message box with MessageBoxW's flags; the button chosen (IDOK 1,
// IDCANCEL 2, ...). On Linux the caption and text go to standard error and
// the result is the box's default button, as if Enter were pressed.
int ShowSystemMessageBox(std::uintptr_t owner, StringView text, StringView caption, std::uint32_t flags);

// The running Windows version. Elsewhere the newest version the program
// knows (10.0), so that version checks pass.
struct TWindowsVersion {
  std::uint32_t Major = 0, Minor = 0, Build = 0;
};
TWindowsVersion WindowsVersion();
// Whether the running Windows is at least major.minor.
inline bool WindowsVersionAtLeast(std::uint32_t major, std::uint32_t minor) {
  const TWindowsVersion v = WindowsVersion();
  return v.Major > major || (v.Major == major && v.Minor >= minor);
}

// Ends the process at once with the exit code.
[[noreturn]] void ExitProcess(std::uint32_t code);

String GetEnvVar(StringView name);
// Every variable of the process's environment as "NAME=VALUE", in the
// environment's order (on Windows including the "=C:=C:\..." entries).
std::vector<String> EnvironmentStrings();

// A new globally unique identifier, laid out as the Windows GUID.
struct Guid {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0, Data3 = 0;
  std::uint8_t Data4[8] = {};
};
Guid NewGuid();
std::uint32_t CurrentProcessId();
// The operating system's id of the calling thread (Linux: its kernel thread id).
std::uint32_t CurrentThreadId();

// The process's priority class, as the platform's GetPriorityClass; on Linux
// the nice value mapped onto the classes (0 normal, 10 below normal, 19
// idle, -5 above normal, -10 high, -20 realtime).
constexpr std::uint32_t kIdlePriorityClass = 0x40, kBelowNormalPriorityClass = 0x4000,
                        kNormalPriorityClass = 0x20, kAboveNormalPriorityClass = 0x8000,
                        kHighPriorityClass = 0x80, kRealtimePriorityClass = 0x100;
std::uint32_t ProcessPriorityClass();
// False when the system refuses (on Linux raising the priority back needs
// the privilege to do so, unless the limits allow it).
bool SetProcessPriorityClass(std::uint32_t priorityClass);

// Stops the system from replacing windows that do not answer by a ghost
// window ("DisableProcessWindowsGhosting" of user32.dll, when it exists).
// False where there is no such function (always on Linux).
bool DisableWindowsGhosting();

}  // namespace kv::platform
