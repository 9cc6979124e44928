#include <errno.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/CodePages.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/posix/PosixPath.h"

extern char** environ;

namespace kv::platform {

namespace {

std::vector<std::string> SplitCommandLine(const std::string& s) {
  std::vector<std::string> out;
  std::string cur;
  bool quoted = false, any = false;
  for (char c : s) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) out.push_back(cur);
      cur.clear();
      any = false;
    } else {
      cur += c;
      any = true;
    }
  }
  if (any) out.push_back(cur);
  return out;
}

bool Spawn(const std::string& file, const std::vector<std::string>& args, const std::string& dir, bool search,
           Process* process) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (!dir.empty() && dir != ".") posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
  pid_t pid = 0;
  int rc = search ? posix_spawnp(&pid, file.c_str(), &fa, nullptr, argv.data(), environ)
                  : posix_spawn(&pid, file.c_str(), &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) {
    errno = rc;
    SetLastError(rc == ENOENT ? std::uint32_t{kErrorFileNotFound} : rc == ENOEXEC ? std::uint32_t{193} /* ERROR_BAD_EXE_FORMAT */ : std::uint32_t{kErrorAccessDenied});
    return false;
  }
  if (process) process->Attach(pid);
  SetLastError(0);
  return true;
}

bool OnPath(const std::string& name) {
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  std::string p = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= p.size()) {
    size_t end = p.find(':', start);
    if (end == std::string::npos) end = p.size();
    std::string cand = p.substr(start, end - start) + "/" + name;
    if (::access(cand.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

bool Process::GetExitCode(std::uint32_t* code) {
  if (FHandle <= 0) return false;
  if (!FEnded) {
    int status = 0;
    pid_t r = ::waitpid(static_cast<pid_t>(FHandle), &status, WNOHANG);
    if (r < 0) return false;
    if (r == 0) {
      *code = kStillActive;
      return true;
    }
    FExitCode = WIFEXITED(status) ? static_cast<std::uint32_t>(WEXITSTATUS(status))
                                  : 0xC0000000u | static_cast<std::uint32_t>(WTERMSIG(status));
    FEnded = true;
  }
  *code = FExitCode;
  return true;
}

void Process::Wait() {
  if (FHandle <= 0 || FEnded) return;
  siginfo_t info;
  while (::waitid(P_PID, static_cast<id_t>(FHandle), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
}

void Process::Close() noexcept { FHandle = 0; }

bool StartProcess(const CreateProcessArgs& args, Process* process) {
  std::string file = NativePath(args.applicationName);
  struct stat st;
  if (::stat(file.c_str(), &st) != 0) {
    SetLastError(errno == ENOENT ? kErrorFileNotFound : kErrorPathNotFound);
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  std::vector<std::string> argv{file};
  for (auto& a : SplitCommandLine(EncodeUtf8(args.commandLine))) argv.push_back(a);
  return Spawn(file, argv, NativePath(args.currentDirectory), false, process);
}

bool ShellExecuteFile(const ShellExecuteArgs& args, Process* process) {
  if (!args.file) {
    SetLastError(kErrorFileNotFound);
    return false;
  }
  std::string opener;
  if (args.verb == u"runas") {
    opener = "pkexec";
  } else {
    const char* o = std::getenv("KV_SHELL_OPENER");
    opener = o && *o ? o : "xdg-open";
  }
  if (!OnPath(opener)) {
    SetLastError(1155);  // ERROR_NO_ASSOCIATION
    return false;
  }
  std::vector<std::string> argv{opener, NativePath(*args.file)};
  for (auto& a : SplitCommandLine(EncodeUtf8(args.parameters))) argv.push_back(a);
  std::string dir = args.directory ? NativePath(*args.directory) : std::string();
  if (!Spawn(opener, argv, dir, true, process)) return false;
  if ((args.mask & 0x40) == 0 && process) process->Close();
  return true;
}

void ExitProcess(std::uint32_t code) { std::exit(static_cast<int>(code)); }

void SuppressErrorDialogs() {}

void ShowFatalErrorBox(StringView title, StringView text) {
  std::string t = EncodeUtf8(title), m = EncodeUtf8(text);
  std::fprintf(stderr, "%s: %s", t.c_str(), m.c_str());
  std::fflush(stderr);
}

int ShowSystemMessageBox(std::uintptr_t, StringView text, StringView caption, std::uint32_t flags) {
  std::string t = EncodeUtf8(caption), m = EncodeUtf8(text);
  std::fprintf(stderr, "%s: %s\n", t.c_str(), m.c_str());
  std::fflush(stderr);
  // The buttons of each box kind (MB_OK .. MB_CANCELTRYCONTINUE), in order.
  static const int buttons[][3] = {{1, 0, 0}, {1, 2, 0}, {3, 4, 5}, {6, 7, 2}, {6, 7, 0}, {4, 2, 0}, {2, 10, 11}};
  std::uint32_t kind = flags & 0xF;
  if (kind > 6) kind = 0;
  std::uint32_t def = (flags >> 8) & 0xF;  // MB_DEFBUTTON2 = 0x100, ...
  if (def > 2 || buttons[kind][def] == 0) def = 0;
  return buttons[kind][def];
}

String GetEnvVar(StringView name) {
  const char* v = std::getenv(EncodeUtf8(name).c_str());
  return v ? FromUtf8(v) : String();
}

std::uint32_t CurrentProcessId() { return static_cast<std::uint32_t>(::getpid()); }

std::uint32_t CurrentThreadId() {
  thread_local const std::uint32_t id = static_cast<std::uint32_t>(::gettid());
  return id;
}

namespace {
constexpr std::pair<std::uint32_t, int> kNice[] = {
    {kRealtimePriorityClass, -20}, {kHighPriorityClass, -10}, {kAboveNormalPriorityClass, -5},
    {kNormalPriorityClass, 0},     {kBelowNormalPriorityClass, 10}, {kIdlePriorityClass, 19}};
}  // namespace

std::uint32_t ProcessPriorityClass() {
  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, 0);
  if (nice == -1 && errno != 0) return kNormalPriorityClass;
  // The class whose nice value is nearest.
  std::uint32_t best = kNormalPriorityClass;
  int distance = 100;
  for (const auto& [cls, n] : kNice) {
    const int d = nice > n ? nice - n : n - nice;
    if (d < distance) {
      distance = d;
      best = cls;
    }
  }
  return best;
}

bool SetProcessPriorityClass(std::uint32_t priorityClass) {
  for (const auto& [cls, n] : kNice)
    if (cls == priorityClass) return ::setpriority(PRIO_PROCESS, 0, n) == 0;
  return false;
}

bool DisableWindowsGhosting() { return false; }

std::vector<String> EnvironmentStrings() {
  std::vector<String> result;
  for (char** e = environ; e && *e; ++e) result.push_back(FromUtf8(*e));
  return result;
}

Guid NewGuid() {
  // A random (version 4) identifier from the kernel's random source.
  std::uint8_t b[16];
  std::random_device rd;
  for (int i = 0; i < 16; i += 4) {
    const std::uint32_t r = rd();
    for (int k = 0; k < 4; ++k) b[i + k] = static_cast<std::uint8_t>(r >> (8 * k));
  }
  Guid g;
  g.Data1 = (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) | b[3];
  g.Data2 = static_cast<std::uint16_t>((b[4] << 8) | b[5]);
  g.Data3 = static_cast<std::uint16_t>(((b[6] << 8) | b[7]) & 0x0FFF) | 0x4000;
  for (int i = 0; i < 8; ++i) g.Data4[i] = b[8 + i];
  g.Data4[0] = static_cast<std::uint8_t>((g.Data4[0] & 0x3F) | 0x80);
  return g;
}

}  // namespace kv::platform
