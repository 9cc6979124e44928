// Stack walks, faults and modules on Linux: the walk starts from registers
// taken in place (or from a signal's context) and steps through the DWARF
// call frame information; faults are signals.
#include <link.h>
#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/auxv.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>
#include <unwind.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/Files.h"
#include "platform/StackWalkImpl.h"
#include "platform/posix/PosixPath.h"

namespace kv::platform {

namespace walk {

bool ThreadStackBounds(bool quick, std::uintptr_t* low, std::uintptr_t* high) {
  if (quick) {
    // The kernel copies the program's file name to the very top of the main
    // thread's stack, followed by one null word; the stack may grow down to
    // its size limit.
    const auto* execfn = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
    rlimit limit{};
    if (syscall(SYS_gettid) != getpid() || !execfn || getrlimit(RLIMIT_STACK, &limit) != 0 ||
        limit.rlim_cur == RLIM_INFINITY)
      return false;
    const auto top = reinterpret_cast<std::uintptr_t>(execfn) + std::strlen(execfn) + 1 + sizeof(void*);
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto sp = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    if (page == 0 || top % page != 0 || top < limit.rlim_cur || sp >= top || sp < top - limit.rlim_cur) return false;
    *low = top - limit.rlim_cur;
    *high = top;
    return true;
  }
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return false;
  void* addr = nullptr;
  size_t size = 0;
  const bool ok = pthread_attr_getstack(&attr, &addr, &size) == 0;
  pthread_attr_destroy(&attr);
  if (!ok) return false;
  *low = reinterpret_cast<std::uintptr_t>(addr);
  *high = *low + size;
  return true;
}

}  // namespace walk

namespace {

// The calling thread's stack, found once per thread (the C library reads the
// process's memory map for the main thread). Trivially destructible: nothing
// runs when the thread ends.
struct StackBounds {
  std::uintptr_t Low = 0, High = 0;
};
thread_local StackBounds tThreadStack;

// The bounds of the stack that holds sp: the thread's own or its signal
// stack. A stack pointer just below the thread's stack (it overflowed) gets
// the thread's stack too: walks read only inside the bounds, so from its
// lower end up.
constexpr std::uintptr_t kOverflowReach = 1024 * 1024;
bool StackAround(std::uintptr_t sp, StackBounds* out) {
  if (tThreadStack.High == 0) {
    // The main thread's without a read of the memory map where it can be
    // told (a program's start pays for that read otherwise).
    std::uintptr_t low = 0, high = 0;
    if (walk::ThreadStackBounds(true, &low, &high) || walk::ThreadStackBounds(false, &low, &high))
      tThreadStack = {low, high};
  }
  if (sp < tThreadStack.High && sp + kOverflowReach >= tThreadStack.Low) {
    *out = tThreadStack;
    return true;
  }
  stack_t ss;
  if (sigaltstack(nullptr, &ss) == 0 && !(ss.ss_flags & SS_DISABLE)) {
    auto lo = reinterpret_cast<std::uintptr_t>(ss.ss_sp);
    if (sp >= lo && sp < lo + ss.ss_size) {
      *out = {lo, lo + ss.ss_size};
      return true;
    }
  }
  return false;
}

#if !defined(__x86_64__)
// Elsewhere than on x86-64 the unwinder of the C++ runtime walks the calling
// thread's stack; fault contexts then give only the faulting address.
struct BacktraceState {
  std::uintptr_t* Frames;
  int Max, Skip, Count, Index;
};
_Unwind_Reason_Code BacktraceFrame(_Unwind_Context* context, void* arg) {
  auto* s = static_cast<BacktraceState*>(arg);
  if (s->Count >= s->Max) return _URC_END_OF_STACK;
  std::uintptr_t pc = _Unwind_GetIP(context);
  if (pc == 0) return _URC_END_OF_STACK;
  if (s->Index++ >= s->Skip) s->Frames[s->Count++] = pc;
  return _URC_NO_REASON;
}
#endif

}  // namespace

__attribute__((noinline)) int CaptureStack(StackWalkMethod method, int skip, std::uintptr_t* frames, int maxFrames) {
  if (maxFrames <= 0) return 0;
  if (skip < 0) skip = 0;
#if defined(__x86_64__)
  // Taking the frame address gives this function a frame pointer of its own,
  // the start of a frame-pointer walk.
  auto frameAddress = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  std::uintptr_t r[8];  // pc, rsp, rbp, rbx, r12..r15 at label 1
  asm volatile(
      "leaq 1f(%%rip), %%rax\n\t"
      "movq %%rax, 0(%0)\n"
      "1:\n\t"
      "movq %%rsp, 8(%0)\n\t"
      "movq %%rbp, 16(%0)\n\t"
      "movq %%rbx, 24(%0)\n\t"
      "movq %%r12, 32(%0)\n\t"
      "movq %%r13, 40(%0)\n\t"
      "movq %%r14, 48(%0)\n\t"
      "movq %%r15, 56(%0)\n\t"
      :
      : "r"(r)
      : "rax", "memory");
  StackBounds b;
  if (!StackAround(r[1], &b)) return 0;
  if (method == StackWalkMethod::FramePointers)
    return walk::WalkFramePointers({r[0], r[1], frameAddress, r[1], b.High}, skip + 1, frames, maxFrames);
  walk::CfiRegisters regs;
  regs.Set(walk::kPcReg, r[0]);
  regs.Set(7, r[1]);
  regs.Set(6, r[2]);
  regs.Set(3, r[3]);
  for (int i = 0; i < 4; ++i) regs.Set(12 + i, r[4 + i]);
  return walk::WalkCfi(regs, true, r[1], b.High, skip + 1, frames, maxFrames);
#else
  (void)method;
  BacktraceState s{frames, maxFrames, skip + 1, 0, 0};
  _Unwind_Backtrace(&BacktraceFrame, &s);
  return s.Count;
#endif
}

int WalkStackFrom(const StackStart& start, StackWalkMethod method, std::uintptr_t* frames, int maxFrames) {
  if (maxFrames <= 0) return 0;
  if (method == StackWalkMethod::FramePointers) return walk::WalkFramePointers(start, 0, frames, maxFrames);
#if defined(KV_HAVE_DWARF_CFI_WALK)
  return walk::WalkCfiFrom(start, frames, maxFrames);
#else
  frames[0] = start.Pc;
  return start.Pc ? 1 : 0;
#endif
}

int CaptureFaultStack(const SystemException& e, StackWalkMethod method, std::uintptr_t* frames, int maxFrames) {
  if (maxFrames <= 0) return 0;
#if defined(__x86_64__)
  if (e.Context) {
    const greg_t* g = static_cast<const ucontext_t*>(e.Context)->uc_mcontext.gregs;
    auto reg = [g](int i) { return static_cast<std::uintptr_t>(g[i]); };
    std::uintptr_t sp = reg(REG_RSP), low = std::max(sp, e.StackLow), high = e.StackHigh;
    StackBounds b;
    if (high == 0 && StackAround(sp, &b)) {
      low = std::max(sp, b.Low);
      high = b.High;
    }
    if (method == StackWalkMethod::FramePointers)
      return walk::WalkFramePointers({reg(REG_RIP), sp, reg(REG_RBP), low, high}, 0, frames, maxFrames);
    walk::CfiRegisters regs;
    const int order[17] = {REG_RAX, REG_RDX, REG_RCX, REG_RBX, REG_RSI, REG_RDI, REG_RBP, REG_RSP, REG_R8,
                           REG_R9,  REG_R10, REG_R11, REG_R12, REG_R13, REG_R14, REG_R15, REG_RIP};
    for (int i = 0; i < 17; ++i) regs.Set(i, reg(order[i]));
    return walk::WalkCfi(regs, true, low, high, 0, frames, maxFrames);
  }
#else
  (void)method;
#endif
  frames[0] = e.Address;
  return e.Address ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Signals: faults inside RunGuarded, and the fatal ones.

namespace {

struct GuardState {
  sigjmp_buf Jump;
  int Depth;
};
thread_local GuardState tGuard;

std::atomic<SystemExceptionHook> gSystemHook{nullptr};
std::atomic<FatalFaultHook> gFatalHook{nullptr};
std::atomic<bool> gFatalReported{false};

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];
std::mutex gSignalLock;
struct sigaction gPrevious[kSignalCount];
bool gInstalled[kSignalCount] = {};
bool gGuardsUsed = false;

int SignalIndex(int sig) {
  for (int i = 0; i < kSignalCount; ++i)
    if (kSignals[i] == sig) return i;
  return -1;
}

SystemException FaultOf(int sig, const siginfo_t* info, void* uc) {
  SystemException e;
  e.Code = static_cast<std::uint32_t>(sig);
  e.SubCode = info ? info->si_code : 0;
  e.Context = uc;
#if defined(__x86_64__)
  const greg_t* g = static_cast<const ucontext_t*>(uc)->uc_mcontext.gregs;
  e.Address = static_cast<std::uintptr_t>(g[REG_RIP]);
  std::uintptr_t sp = static_cast<std::uintptr_t>(g[REG_RSP]);
  if ((sig == SIGSEGV || sig == SIGBUS) && info) {
    e.DataAddress = reinterpret_cast<std::uintptr_t>(info->si_addr);
    // The page fault's error code: bit 1 a write, bit 4 an instruction fetch.
    auto err = static_cast<std::uintptr_t>(g[REG_ERR]);
    e.Access = (err & 16) ? 8 : (err & 2) ? 1 : 0;
  }
  StackBounds b;
  if (StackAround(sp, &b)) {
    e.StackLow = std::max(sp, b.Low);
    e.StackHigh = b.High;
  }
#else
  if (info) e.Address = reinterpret_cast<std::uintptr_t>(info->si_addr);
#endif
  return e;
}

void OnSignal(int sig, siginfo_t* info, void* uc) {
  int savedErrno = errno;
  bool fault = sig != SIGABRT;
  SystemException e = FaultOf(sig, info, uc);
  if (fault && tGuard.Depth > 0) {
    if (SystemExceptionHook hook = gSystemHook.load()) hook(e);
    siglongjmp(tGuard.Jump, 1);
  }
  FatalFaultHook fatal = gFatalHook.load();
  if (fatal && !gFatalReported.exchange(true)) {
    // The report is not async-signal-safe (it reads the map file, allocates):
    // should the faulting code hold a lock it needs, the alarm still ends
    // the process.
    alarm(30);
    fatal(e);
  }
  // Over to the handling there was before: a fault happens again when its
  // instruction runs again; a signal that was sent is sent again.
  int i = SignalIndex(sig);
  if (i >= 0) sigaction(sig, &gPrevious[i], nullptr);
  if (!fault || !info || info->si_code <= 0) raise(sig);
  errno = savedErrno;
}

void InstallLocked(int i) {
  if (gInstalled[i]) return;
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_sigaction = &OnSignal;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  if (sigaction(kSignals[i], &sa, &gPrevious[i]) == 0) gInstalled[i] = true;
}

void UninstallLocked(int i) {
  if (!gInstalled[i]) return;
  sigaction(kSignals[i], &gPrevious[i], nullptr);
  gInstalled[i] = false;
}

// A signal stack for the calling thread, when it has none, so that a stack
// overflow can still be reported: one, for the first thread that sets the
// fatal hook (the main thread); other threads need one of their own.
void EnsureSignalStack() {
  stack_t cur;
  if (sigaltstack(nullptr, &cur) == 0 && !(cur.ss_flags & SS_DISABLE)) return;
  static bool given = false;  // under gSignalLock
  if (given) return;
  given = true;
  constexpr size_t kSize = 64 * 1024;
  alignas(16) static char stack[kSize];
  stack_t ss;
  ss.ss_sp = stack;
  ss.ss_size = kSize;
  ss.ss_flags = 0;
  sigaltstack(&ss, nullptr);
}

}  // namespace

void SetSystemExceptionHook(SystemExceptionHook hook) { gSystemHook.store(hook); }

void SetFatalFaultHook(FatalFaultHook hook) {
  std::lock_guard<std::mutex> lock(gSignalLock);
  gFatalHook.store(hook);
  if (hook) {
    gFatalReported.store(false);
    StackBounds bounds;
    StackAround(reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)), &bounds);
    EnsureSignalStack();
    for (int i = 0; i < kSignalCount; ++i) InstallLocked(i);
  } else {
    for (int i = 0; i < kSignalCount; ++i)
      if (!gGuardsUsed || kSignals[i] == SIGABRT) UninstallLocked(i);
  }
}

bool RunGuarded(void (*fn)(void*), void* arg) {
  // The thread's stack bounds are looked up now: the C library's lookup is no
  // business of a signal handler.
  StackBounds bounds;
  StackAround(reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)), &bounds);
  {
    std::lock_guard<std::mutex> lock(gSignalLock);
    gGuardsUsed = true;
    for (int i = 0; i < kSignalCount; ++i)
      if (kSignals[i] != SIGABRT) InstallLocked(i);
  }
  GuardState& g = tGuard;
  sigjmp_buf outer;
  std::memcpy(&outer, &g.Jump, sizeof outer);
  const int depth = g.Depth;
  volatile bool completed = false;
  if (sigsetjmp(g.Jump, 1) == 0) {
    g.Depth = depth + 1;
    fn(arg);
    completed = true;
  }
  g.Depth = depth;
  std::memcpy(&g.Jump, &outer, sizeof outer);
  return completed;
}

String DescribeSystemException(const SystemException& e) {
  const char* what = "Signal";
  switch (e.Code) {
    case SIGSEGV: what = "Access violation (SIGSEGV)"; break;
    case SIGBUS: what = "Bus error (SIGBUS)"; break;
    case SIGILL: what = "Illegal instruction (SIGILL)"; break;
    case SIGABRT: what = "Abnormal termination (SIGABRT)"; break;
    case SIGFPE:
      what = e.SubCode == FPE_INTDIV   ? "Integer division by zero (SIGFPE)"
             : e.SubCode == FPE_INTOVF ? "Integer overflow (SIGFPE)"
                                       : "Floating point error (SIGFPE)";
      break;
    default: break;
  }
  String text = FromUtf8(what);
  if (std::strcmp(what, "Signal") == 0) {
    text += u" ";
    text += IntToStr(e.Code);
  }
  return walk::DescribeFault(text, e);
}

// ---------------------------------------------------------------------------
// Modules.

namespace {

struct ModuleSearch {
  std::uintptr_t Address = 0;
  bool Found = false;
  std::uintptr_t Base = 0;
  std::string Name;
  std::string BuildId;
};

std::string GnuBuildId(std::uintptr_t start, std::size_t size) {
  const auto* p = reinterpret_cast<const unsigned char*>(start);
  const auto* end = p + size;
  auto align4 = [](std::uint32_t n) { return (n + 3u) & ~3u; };
  while (end - p >= 12) {
    std::uint32_t nameSize, descSize, type;
    std::memcpy(&nameSize, p, 4);
    std::memcpy(&descSize, p + 4, 4);
    std::memcpy(&type, p + 8, 4);
    p += 12;
    if (static_cast<std::size_t>(end - p) < std::size_t(align4(nameSize)) + align4(descSize)) break;
    const unsigned char* desc = p + align4(nameSize);
    if (type == 3 && nameSize == 4 && std::memcmp(p, "GNU", 4) == 0) return walk::HexBytes(desc, descSize);
    p = desc + align4(descSize);
  }
  return {};
}

int FindModuleOf(dl_phdr_info* info, size_t, void* arg) {
  auto* s = static_cast<ModuleSearch*>(arg);
  bool inside = false;
  std::uintptr_t firstLoad = ~std::uintptr_t(0);
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const auto& ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_LOAD) continue;
    std::uintptr_t start = info->dlpi_addr + ph.p_vaddr;
    if (s->Address >= start && s->Address - start < ph.p_memsz) inside = true;
    if (ph.p_vaddr < firstLoad) firstLoad = ph.p_vaddr;
  }
  if (!inside) return 0;
  s->Found = true;
  // Symbol maps count from the first loaded page: the load address of a
  // position-independent program, the fixed address of any other.
  s->Base = info->dlpi_addr + (firstLoad & ~std::uintptr_t(4095));
  s->Name = info->dlpi_name ? info->dlpi_name : "";
  for (int i = 0; i < info->dlpi_phnum && s->BuildId.empty(); ++i) {
    const auto& ph = info->dlpi_phdr[i];
    if (ph.p_type == PT_NOTE) s->BuildId = GnuBuildId(info->dlpi_addr + ph.p_vaddr, ph.p_memsz);
  }
  return 1;
}

}  // namespace

bool FindModule(std::uintptr_t address, ModuleInfo* info) {
  ModuleSearch s;
  s.Address = address;
  dl_iterate_phdr(&FindModuleOf, &s);
  if (!s.Found) return false;
  info->Base = s.Base;
  info->FileName = s.Name.empty() ? ModuleFileName() : WindowsStylePath(s.Name);
  info->BuildId = std::move(s.BuildId);
  return true;
}

}  // namespace kv::platform
