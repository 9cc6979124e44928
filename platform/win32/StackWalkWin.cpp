// Stack walks, system exceptions and modules on Windows. A walk starts from
// a CONTEXT (captured in place, or the one of a fault) and steps through the
// unwind data of the x64 program file, or the DWARF call frame information
// of the 32-bit program. System exceptions reach a vectored handler before
// any other handler; the fatal ones the unhandled-exception filter.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/StackWalkImpl.h"

namespace kv::platform {

namespace {

struct StackBounds {
  std::uintptr_t Low = 0, High = 0;
};

// StackBase and StackLimit of the thread information block that starts the
// thread environment block (read directly: the intrinsics of NtCurrentTeb
// trip the compiler's bounds checks).
StackBounds CurrentThreadStack() {
  std::uintptr_t base, limit;
#if defined(__x86_64__)
  asm("movq %%gs:0x08, %0\n\tmovq %%gs:0x10, %1" : "=r"(base), "=r"(limit));
#else
  asm("movl %%fs:0x04, %0\n\tmovl %%fs:0x08, %1" : "=r"(base), "=r"(limit));
#endif
  return {limit, base};
}

#if defined(__x86_64__)
// The integer registers in the x64 numbering of the unwind data (rax, rcx,
// rdx, rbx, rsp, rbp, rsi, rdi, r8..r15), and rip.
struct X64Registers {
  std::uintptr_t R[16] = {};
  std::uintptr_t Rip = 0;
};

X64Registers FromContext(const CONTEXT& c) {
  X64Registers r;
  const DWORD64 regs[16] = {c.Rax, c.Rcx, c.Rdx, c.Rbx, c.Rsp, c.Rbp, c.Rsi, c.Rdi,
                            c.R8,  c.R9,  c.R10, c.R11, c.R12, c.R13, c.R14, c.R15};
  for (int i = 0; i < 16; ++i) r.R[i] = regs[i];
  r.Rip = c.Rip;
  return r;
}

// Slots an unwind code takes (UWOP_ALLOC_LARGE and the SAVE codes carry
// their operand in the following slots).
unsigned CodeSlots(unsigned op, unsigned info) {
  switch (op) {
    case 1: return info ? 3 : 2;  // ALLOC_LARGE
    case 4: case 8: return 2;     // SAVE_NONVOL, SAVE_XMM128
    case 5: case 9: return 3;     // SAVE_NONVOL_FAR, SAVE_XMM128_FAR
    default: return 1;
  }
}

// One frame up through the function's unwind data: what the prologue did is
// undone in reverse (pushes, allocations, saved registers, the frame
// register), then the return address is taken. Functions without unwind data
// are leaves whose return address is on top of the stack. Every read stays
// inside [low, high). Epilogues are not recognised: a fault inside one is
// unwound as if the epilogue had not begun.
bool X64Step(X64Registers& r, bool exact, std::uintptr_t low, std::uintptr_t high) {
  using walk::ReadStackWord;
  DWORD64 imageBase = 0;
  DWORD64 lookup = exact ? r.Rip : r.Rip - 1;
  // The return address on top of the stack, as a ret takes it.
  auto popReturnAddress = [&] {
    std::uintptr_t ret;
    if (!ReadStackWord(r.R[4], low, high, &ret)) return false;
    r.Rip = ret;
    r.R[4] += 8;
    return true;
  };
  PRUNTIME_FUNCTION fn = RtlLookupFunctionEntry(lookup, &imageBase, nullptr);
  if (!fn) return popReturnAddress();
  std::uint64_t prologOffset = lookup - imageBase - fn->BeginAddress;
  bool machineFrame = false;
  for (int chain = 0; chain < 32; ++chain) {
    const auto* info = reinterpret_cast<const std::uint8_t*>(imageBase + fn->UnwindData);
    unsigned flags = info[0] >> 3, prologSize = info[1], count = info[2];
    unsigned frameReg = info[3] & 15, frameOffset = info[3] >> 4;
    const auto* codes = reinterpret_cast<const std::uint16_t*>(info + 4);
    if (prologOffset >= prologSize) prologOffset = ~std::uint64_t(0);

    std::uintptr_t frame = r.R[4];
    if (frameReg) {
      bool frameSet = true;
      for (unsigned i = 0; i < count; i += CodeSlots((codes[i] >> 8) & 15, codes[i] >> 12))
        if (((codes[i] >> 8) & 15) == 3) frameSet = prologOffset >= (codes[i] & 0xff);
      if (frameSet) frame = r.R[frameReg] - 16 * frameOffset;
    }
    for (unsigned i = 0; i < count;) {
      unsigned codeOffset = codes[i] & 0xff, op = (codes[i] >> 8) & 15, opInfo = codes[i] >> 12;
      unsigned slots = CodeSlots(op, opInfo);
      if (i + slots > count) return false;
      if (prologOffset >= codeOffset) {
        std::uintptr_t v = 0;
        switch (op) {
          case 0:  // PUSH_NONVOL
            if (!ReadStackWord(r.R[4], low, high, &v)) return false;
            r.R[opInfo] = v;
            r.R[4] += 8;
            break;
          case 1:  // ALLOC_LARGE
            r.R[4] += opInfo ? (codes[i + 1] | std::uint32_t(codes[i + 2]) << 16) : codes[i + 1] * 8u;
            break;
          case 2: r.R[4] += opInfo * 8u + 8u; break;  // ALLOC_SMALL
          case 3: r.R[4] = frame; break;              // SET_FPREG
          case 4:                                     // SAVE_NONVOL
            if (!ReadStackWord(frame + codes[i + 1] * 8u, low, high, &v)) return false;
            r.R[opInfo] = v;
            break;
          case 5:  // SAVE_NONVOL_FAR
            if (!ReadStackWord(frame + (codes[i + 1] | std::uint32_t(codes[i + 2]) << 16), low, high, &v))
              return false;
            r.R[opInfo] = v;
            break;
          case 10: {  // PUSH_MACHFRAME: an interrupt or exception frame
            std::uintptr_t base = r.R[4] + (opInfo ? 8 : 0), rip = 0, rsp = 0;
            if (!ReadStackWord(base, low, high, &rip) || !ReadStackWord(base + 24, low, high, &rsp)) return false;
            r.Rip = rip;
            r.R[4] = rsp;
            machineFrame = true;
            break;
          }
          default: break;  // vector registers: no part of a walk
        }
      }
      i += slots;
    }
    if (!(flags & UNW_FLAG_CHAININFO)) break;
    fn = reinterpret_cast<PRUNTIME_FUNCTION>(const_cast<std::uint16_t*>(codes) + ((count + 1) & ~1u));
    prologOffset = ~std::uint64_t(0);
  }
  return machineFrame || popReturnAddress();
}

int WalkX64(X64Registers r, std::uintptr_t low, std::uintptr_t high, int skip, std::uintptr_t* frames,
            int maxFrames) {
  int n = 0;
  bool exact = true;
  for (int step = 0; n < maxFrames && step < walk::kMaxSteps; ++step) {
    if (r.Rip == 0) break;
    if (step >= skip) frames[n++] = r.Rip;
    std::uintptr_t sp = r.R[4];
    if (!X64Step(r, exact, low, high)) break;
    exact = false;
    if (r.R[4] <= sp || r.R[4] > high) break;
  }
  return n;
}
#endif

#if defined(__i386__)
walk::CfiRegisters FromContext(const CONTEXT& c) {
  walk::CfiRegisters regs;
  const DWORD values[9] = {c.Eax, c.Ecx, c.Edx, c.Ebx, c.Esp, c.Ebp, c.Esi, c.Edi, c.Eip};
  for (int i = 0; i < 9; ++i) regs.Set(i, values[i]);
  return regs;
}
#endif

// The start of a walk from a context, up to high.
StackStart StartOf(const CONTEXT& c, std::uintptr_t high) {
#if defined(__x86_64__)
  return {c.Rip, c.Rsp, c.Rbp, c.Rsp, high};
#else
  return {c.Eip, c.Esp, c.Ebp, c.Esp, high};
#endif
}

// The walk from a context; frame 0 is the context's own address.
int WalkContext(const CONTEXT& c, StackWalkMethod method, std::uintptr_t high, int skip, std::uintptr_t* frames,
                int maxFrames) {
  const StackStart start = StartOf(c, high);
  const std::uintptr_t sp = start.Sp;
  if (method == StackWalkMethod::FramePointers) return walk::WalkFramePointers(start, skip, frames, maxFrames);
#if defined(__x86_64__)
  return WalkX64(FromContext(c), sp, high, skip, frames, maxFrames);
#else
  return walk::WalkCfi(FromContext(c), true, sp, high, skip, frames, maxFrames);
#endif
}

}  // namespace

__attribute__((noinline)) int CaptureStack(StackWalkMethod method, int skip, std::uintptr_t* frames, int maxFrames) {
  if (maxFrames <= 0) return 0;
  if (skip < 0) skip = 0;
  CONTEXT c;
  std::memset(&c, 0, sizeof c);
#if defined(__x86_64__)
  RtlCaptureContext(&c);
#else
  // The 32-bit RtlCaptureContext describes its caller's caller (it assumes
  // a frame pointer): the registers are taken here instead, at label 1.
  std::uintptr_t r[6];
  asm volatile(
      "call 1f\n"
      "1:\n\t"
      "popl %%eax\n\t"
      "movl %%eax, 0(%0)\n\t"
      "movl %%esp, 4(%0)\n\t"
      "movl %%ebp, 8(%0)\n\t"
      "movl %%ebx, 12(%0)\n\t"
      "movl %%esi, 16(%0)\n\t"
      "movl %%edi, 20(%0)\n\t"
      :
      : "r"(r)
      : "eax", "memory");
  c.Eip = r[0];
  c.Esp = r[1];
  c.Ebp = r[2];
  c.Ebx = r[3];
  c.Esi = r[4];
  c.Edi = r[5];
#endif
  if (method == StackWalkMethod::FramePointers) {
    // Taking the frame address gives this function a frame pointer of its
    // own, the start of the chain.
#if defined(__x86_64__)
    c.Rbp = reinterpret_cast<DWORD64>(__builtin_frame_address(0));
#else
    c.Ebp = reinterpret_cast<DWORD>(__builtin_frame_address(0));
#endif
  }
  return WalkContext(c, method, CurrentThreadStack().High, skip + 1, frames, maxFrames);
}

int WalkStackFrom(const StackStart& start, StackWalkMethod method, std::uintptr_t* frames, int maxFrames) {
  if (maxFrames <= 0) return 0;
  if (method == StackWalkMethod::FramePointers) return walk::WalkFramePointers(start, 0, frames, maxFrames);
#if defined(__x86_64__)
  X64Registers r;
  r.Rip = start.Pc;
  r.R[4] = start.Sp;
  r.R[5] = start.Fp;
  return WalkX64(r, start.Low, start.High, 0, frames, maxFrames);
#else
  return walk::WalkCfiFrom(start, frames, maxFrames);
#endif
}

int CaptureFaultStack(const SystemException& e, StackWalkMethod method, std::uintptr_t* frames, int maxFrames) {
  if (maxFrames <= 0) return 0;
  if (!e.Context) {
    frames[0] = e.Address;
    return e.Address ? 1 : 0;
  }
  const CONTEXT& c = *static_cast<const CONTEXT*>(e.Context);
  std::uintptr_t high = e.StackHigh ? e.StackHigh : CurrentThreadStack().High;
  return WalkContext(c, method, high, 0, frames, maxFrames);
}

// ---------------------------------------------------------------------------
// System exceptions: the vectored handler, guarded calls, the fatal filter.

namespace {

struct GuardState {
  void* Jump[5];
  int Depth;
  std::uintptr_t RecoverySp;
};
thread_local GuardState tGuard;
thread_local bool tInHook;

std::atomic<SystemExceptionHook> gSystemHook{nullptr};
std::atomic<FatalFaultHook> gFatalHook{nullptr};
std::atomic<bool> gFatalReported{false};
std::once_flag gVectoredOnce;
std::mutex gFilterLock;
bool gFilterInstalled = false;
LPTOP_LEVEL_EXCEPTION_FILTER gPreviousFilter = nullptr;

// Error exceptions of the system (severity "error", not an application's own
// code): not the C++ runtime's own exceptions (0x2047xxxx on x64), not an
// MSVC C++ exception (0xE06D7363), not the debugger's notifications.
bool IsSystemError(DWORD code) { return (code & 0xF0000000u) == 0xC0000000u; }

SystemException FromRecord(const EXCEPTION_POINTERS* ep) {
  SystemException e;
  const EXCEPTION_RECORD* rec = ep->ExceptionRecord;
  e.Code = rec->ExceptionCode;
  e.Address = reinterpret_cast<std::uintptr_t>(rec->ExceptionAddress);
  if ((rec->ExceptionCode == EXCEPTION_ACCESS_VIOLATION || rec->ExceptionCode == EXCEPTION_IN_PAGE_ERROR) &&
      rec->NumberParameters >= 2) {
    e.Access = static_cast<int>(rec->ExceptionInformation[0]);
    e.DataAddress = rec->ExceptionInformation[1];
  }
  e.Context = ep->ContextRecord;
  StackBounds b = CurrentThreadStack();
  e.StackLow = StartOf(*ep->ContextRecord, 0).Sp;
  e.StackHigh = b.High;
  return e;
}

struct FatalReport {
  FatalFaultHook Hook;
  SystemException Fault;
};

DWORD WINAPI RunFatalReport(void* arg) {
  auto* r = static_cast<FatalReport*>(arg);
  r->Hook(r->Fault);
  return 0;
}

// The report runs on a thread of its own: the faulting thread's stack may be
// used up (a stack overflow). The fault's context stays valid while the
// faulting thread waits here.
void ReportFatalFault(EXCEPTION_POINTERS* ep) {
  FatalFaultHook hook = gFatalHook.load();
  if (!hook || gFatalReported.exchange(true)) return;
  FatalReport report{hook, FromRecord(ep)};
  HANDLE t = CreateThread(nullptr, 1024 * 1024, &RunFatalReport, &report, 0, nullptr);
  if (t) {
    WaitForSingleObject(t, 30000);
    CloseHandle(t);
  } else {
    RunFatalReport(&report);
  }
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* ep) {
  if (IsSystemError(ep->ExceptionRecord->ExceptionCode)) ReportFatalFault(ep);
  // The C runtime's own filter comes next: it also lets the C++ runtime end
  // an exception nobody caught with std::terminate.
  return gPreviousFilter ? gPreviousFilter(ep) : EXCEPTION_CONTINUE_SEARCH;
}

// Entered in place of the faulting code, on a fresh frame above it: back to
// RunGuarded.
[[noreturn]] __attribute__((noinline)) void GuardRecovery() { __builtin_longjmp(tGuard.Jump, 1); }

LONG CALLBACK OnVectoredException(EXCEPTION_POINTERS* ep) {
  DWORD code = ep->ExceptionRecord->ExceptionCode;
  if (!IsSystemError(code)) return EXCEPTION_CONTINUE_SEARCH;
  SystemExceptionHook hook = gSystemHook.load();
  if (hook && !tInHook) {
    tInHook = true;
    hook(FromRecord(ep));
    tInHook = false;
  }
  // Nothing of ours handles a stack overflow, and what stack is left now is
  // all there is: the dispatch to frame handlers and to the unhandled-
  // exception filter may itself overflow. The fatal report starts here.
  if (code == EXCEPTION_STACK_OVERFLOW && tGuard.Depth == 0) ReportFatalFault(ep);
  if (tGuard.Depth > 0 && code != EXCEPTION_STACK_OVERFLOW) {
    CONTEXT* c = ep->ContextRecord;
#if defined(__x86_64__)
    c->Rsp = (tGuard.RecoverySp & ~std::uintptr_t(15)) - 8;  // as if called
    c->Rip = reinterpret_cast<DWORD64>(&GuardRecovery);
#else
    c->Esp = (tGuard.RecoverySp & ~std::uintptr_t(15)) - 4;
    c->Eip = reinterpret_cast<DWORD>(&GuardRecovery);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

void EnsureVectoredHandler() {
  std::call_once(gVectoredOnce, [] { AddVectoredExceptionHandler(1, &OnVectoredException); });
}

}  // namespace

void SetSystemExceptionHook(SystemExceptionHook hook) {
  if (hook) EnsureVectoredHandler();
  gSystemHook.store(hook);
}

void SetFatalFaultHook(FatalFaultHook hook) {
  if (hook) EnsureVectoredHandler();
  std::lock_guard<std::mutex> lock(gFilterLock);
  gFatalHook.store(hook);
  if (hook && !gFilterInstalled) {
    gFatalReported.store(false);
    gPreviousFilter = SetUnhandledExceptionFilter(&OnUnhandledException);
    gFilterInstalled = true;
  } else if (!hook && gFilterInstalled) {
    SetUnhandledExceptionFilter(gPreviousFilter);
    gPreviousFilter = nullptr;
    gFilterInstalled = false;
  }
}

bool RunGuarded(void (*fn)(void*), void* arg) {
  EnsureVectoredHandler();
  GuardState& g = tGuard;
  void* outer[5];
  std::memcpy(outer, g.Jump, sizeof outer);
  const int depth = g.Depth;
  const std::uintptr_t outerSp = g.RecoverySp;
  volatile bool completed = false;
  // Below this frame, where fn's frames were: the recovery's own frame.
  volatile char here = 0;
  g.RecoverySp = reinterpret_cast<std::uintptr_t>(&here) - 1024;
  if (__builtin_setjmp(g.Jump) == 0) {
    g.Depth = depth + 1;
    fn(arg);
    completed = true;
  }
  g.Depth = depth;
  g.RecoverySp = outerSp;
  std::memcpy(g.Jump, outer, sizeof outer);
  return completed;
}

String DescribeSystemException(const SystemException& e) {
  const char* what = nullptr;
  switch (e.Code) {
    case EXCEPTION_ACCESS_VIOLATION: what = "Access violation"; break;
    case EXCEPTION_IN_PAGE_ERROR: what = "In-page error"; break;
    case EXCEPTION_INT_DIVIDE_BY_ZERO: what = "Integer division by zero"; break;
    case EXCEPTION_INT_OVERFLOW: what = "Integer overflow"; break;
    case EXCEPTION_STACK_OVERFLOW: what = "Stack overflow"; break;
    case EXCEPTION_ILLEGAL_INSTRUCTION: what = "Illegal instruction"; break;
    case EXCEPTION_PRIV_INSTRUCTION: what = "Privileged instruction"; break;
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED: what = "Array bounds exceeded"; break;
    case EXCEPTION_FLT_DIVIDE_BY_ZERO: what = "Floating point division by zero"; break;
    case EXCEPTION_FLT_INVALID_OPERATION: what = "Invalid floating point operation"; break;
    case EXCEPTION_FLT_OVERFLOW: what = "Floating point overflow"; break;
    case EXCEPTION_FLT_UNDERFLOW: what = "Floating point underflow"; break;
    case 0xC0000409u: what = "Stack buffer overrun"; break;
    default: break;
  }
  String text = what ? FromUtf8(what) : u"System exception " + HexDigits(e.Code, 8);
  return walk::DescribeFault(text, e);
}

// ---------------------------------------------------------------------------
// Modules.

namespace {

// The GUID of the CodeView record the linker's --build-id writes into the
// debug directory, read from the loaded image.
std::string PeBuildId(std::uintptr_t base) {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return {};
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return {};
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DEBUG];
  if (dir.VirtualAddress == 0 || dir.Size < sizeof(IMAGE_DEBUG_DIRECTORY)) return {};
  const auto* entries = reinterpret_cast<const IMAGE_DEBUG_DIRECTORY*>(base + dir.VirtualAddress);
  for (DWORD i = 0; i < dir.Size / sizeof(IMAGE_DEBUG_DIRECTORY); ++i) {
    const IMAGE_DEBUG_DIRECTORY& d = entries[i];
    if (d.Type != IMAGE_DEBUG_TYPE_CODEVIEW || d.AddressOfRawData == 0 || d.SizeOfData < 24) continue;
    const auto* cv = reinterpret_cast<const unsigned char*>(base + d.AddressOfRawData);
    if (std::memcmp(cv, "RSDS", 4) == 0) return walk::HexBytes(cv + 4, 16);
  }
  return {};
}

}  // namespace

bool FindModule(std::uintptr_t address, ModuleInfo* info) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(address), &module) ||
      !module)
    return false;
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(module, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return false;
    if (n < buf.size()) {
      buf.resize(n);
      break;
    }
    buf.resize(buf.size() * 2);
  }
  info->Base = reinterpret_cast<std::uintptr_t>(module);
  info->FileName.assign(reinterpret_cast<const char16_t*>(buf.data()), buf.size());
  info->BuildId = PeBuildId(info->Base);
  return true;
}

}  // namespace kv::platform
