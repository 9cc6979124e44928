// Stack walks of the calling thread, the system's exceptions and fatal
// faults, the raising of C++ exceptions, and the modules code addresses
// belong to: what the diagnostics library needs of the operating system.
#pragma once

#include <cstdint>
#include <string>
#include <typeinfo>

#include "platform/Base.h"

namespace kv::platform {

// How a walk finds the caller of a frame.
enum class StackWalkMethod : std::uint8_t {
  // The unwind tables of the code (DWARF call frame information; on Windows
  // x64 the unwind data of the program file): every frame is found, frame
  // pointers are not needed.
  UnwindTables,
  // The chain of saved frame pointers: cheaper, but it ends at the first
  // function that keeps none (most optimised code).
  FramePointers,
};

// Where a walk starts: the registers of the innermost frame and the bounds of
// the stack it runs on. A walk reads memory only inside [Low, High).
struct StackStart {
  std::uintptr_t Pc = 0, Sp = 0, Fp = 0;
  std::uintptr_t Low = 0, High = 0;
};

// Code addresses of the calling thread's stack, innermost first; skip 0: the
// first is in the function that called CaptureStack. The walk reads only the
// thread's own stack and the modules' unwind tables, so a damaged stack ends
// it early instead of faulting. Returns how many were stored (at most
// maxFrames). Every address but a fault's first is a return address.
int CaptureStack(StackWalkMethod method, int skip, std::uintptr_t* frames, int maxFrames);

// A walk from given registers (only Pc, Sp and Fp known): for stacks that are
// not the calling thread's own, and to prove that damaged stacks end walks.
int WalkStackFrom(const StackStart& start, StackWalkMethod method, std::uintptr_t* frames, int maxFrames);

// An exception the system raised in a thread: a hardware fault, or a
// Windows exception such as an integer division by zero.
struct SystemException {
  std::uint32_t Code = 0;          // Windows: the exception code; POSIX: the signal number
  std::int32_t SubCode = 0;        // POSIX: the signal's si_code
  std::uintptr_t Address = 0;      // code address where it was raised
  int Access = -1;                 // access violations: 0 read, 1 write, 8 execute; -1 otherwise
  std::uintptr_t DataAddress = 0;  // access violations: the address accessed
  const void* Context = nullptr;   // the CPU state at the fault (CONTEXT, ucontext_t)
  std::uintptr_t StackLow = 0, StackHigh = 0;  // the faulting thread's stack
};

constexpr std::uint32_t kExceptionAccessViolation = 0xC0000005u;
constexpr std::uint32_t kExceptionIntegerDivideByZero = 0xC0000094u;
constexpr std::uint32_t kExceptionStackOverflow = 0xC00000FDu;

// The faulting thread's stack from the fault on: the first address is the
// faulting instruction's, the others are return addresses. The walk may run
// on another thread than the faulting one.
int CaptureFaultStack(const SystemException& e, StackWalkMethod method, std::uintptr_t* frames, int maxFrames);

// "Access violation at address 0040123A. Write of address 00000000",
// "Integer division by zero at address ...", "Signal SIGSEGV (...) at ...".
String DescribeSystemException(const SystemException& e);

// Called on the faulting thread for every system exception a program can
// survive, before any handler of it runs: on Windows the error exceptions
// (access violation, integer division by zero, ...) raised in any thread;
// on POSIX the faults inside RunGuarded. The hook must neither raise nor
// fault. Null removes it.
using SystemExceptionHook = void (*)(const SystemException&);
void SetSystemExceptionHook(SystemExceptionHook hook);

// Called once when a fault is about to end the process (Windows: an
// exception no handler took, through the unhandled-exception filter, and a
// stack overflow as soon as it is raised, while some stack is left; POSIX:
// the signals SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT). On Windows it
// runs on a thread of its own. The process then ends as it would have
// without the hook. Null removes the hook and restores the handling there
// was before.
using FatalFaultHook = void (*)(const SystemException&);
void SetFatalFaultHook(FatalFaultHook hook);

// Runs fn(arg): false when a system exception (access violation, division by
// zero, ...) ended it, true when it returned. Objects of the code the fault
// ended are not destroyed. A stack overflow is not caught.
bool RunGuarded(void (*fn)(void*), void* arg);

// Called for every C++ throw with the thrown object and its type, on the
// throwing thread, before the exception is raised; rethrows do not call it.
// The hook must not raise. Null removes it.
using ThrowHook = void (*)(void* object, const std::type_info* type);
void SetThrowHook(ThrowHook hook);

// The program or library that holds a code address.
struct ModuleInfo {
  std::uintptr_t Base = 0;  // the address symbol maps count from: the image base
  String FileName;          // full path, written with "\" everywhere
  std::string BuildId;      // the linker's build id in lower-case hex; empty when none
};
bool FindModule(std::uintptr_t address, ModuleInfo* info);

}  // namespace kv::platform
