// Call stacks for failure reports and logs: the calling thread's stack, the
// stack recorded for every raised exception (per thread), notifiers of
// raised exceptions, and the report of a fault that ends the process.
//
// Stack lines name module, unit, procedure, source file and line of each
// frame (see FormatStackLine in KVDebugInfo.h) from the symbol map the build
// writes beside every program.
#pragma once

#include <cstdint>
#include <exception>
#include <typeinfo>
#include <vector>

#include "platform/Base.h"
#include "platform/SmallSet.h"

namespace kv {

// The calling thread's stack by a raw walk (no frame pointers needed), one
// line per frame in the failure report's stack line format, innermost first;
// the first `Skip` frames counted from the caller of CurrentStackLines are
// left out (Skip 0: the first line is the function that called
// CurrentStackLines).
std::vector<String> CurrentStackLines(int Skip);

// Options of exception stack recording, read at each raised exception.
enum TStackTrackingOption : std::uint8_t {
  // Exceptions the system raises are recorded too, from the frame that
  // raised them: on Windows access violations, integer divisions by zero and
  // the other error exceptions; on Linux the faults inside
  // platform::RunGuarded (any other fault ends the process).
  stExceptFrame,
  // Stacks are walked through the code's unwind tables (every frame, no frame
  // pointers needed); without it along the frame-pointer chain, which is
  // cheaper but ends at the first function built without frame pointers.
  stRawMode,
};
using TStackTrackingOptions = TSmallSet<TStackTrackingOption>;
// Both options are set at first; change them before starting the tracking.
TStackTrackingOptions& StackTrackingOptions();

// From Start until Stop, the call stack of every exception raised on any
// thread is recorded for that thread: C++ throws in both builds (rethrows
// keep the stack of the first throw), and with stExceptFrame the system's
// exceptions. Start also reports faults that end the process (see
// SetFatalFaultHandler) and C++ exceptions that no handler caught.
void StartExceptionTracking();
void StopExceptionTracking();
bool ExceptionTrackingActive();

// The stack recorded for the last exception raised on the calling thread, in
// the stack line format; empty when none was recorded.
std::vector<String> LastExceptionStackLines();
// The stack recorded when E was raised, when that was on the calling thread
// and among its last few exceptions; empty otherwise. Unlike the last
// exception's stack, it stays right when code handling E raises and catches
// exceptions of its own.
std::vector<String> ExceptionStackLines(const std::exception& E);

// A raised exception, as notifiers see it.
struct TRaisedException {
  const void* Object = nullptr;                   // the thrown object; none for system exceptions
  const std::type_info* Type = nullptr;           // its type
  const Exception* FrameworkException = nullptr;  // the object as the framework's Exception, when it is one
  std::uint32_t SystemCode = 0;                   // system exceptions: the code (Windows) or signal (Linux)
};
// Called on the raising thread for every exception raised while tracking is
// active, after its stack was recorded. A notifier must not raise (what it
// raises is dropped); for a system exception on Linux it runs inside the
// signal handler, so it should not allocate then.
using TExceptionNotifier = void (*)(const TRaisedException& E);
// False when the notifier is registered already or eight are.
bool RegisterExceptionNotifier(TExceptionNotifier Notifier);
void UnregisterExceptionNotifier(TExceptionNotifier Notifier);

// A fault that ends the process: an exception the system raised that no
// handler took (Windows: an access violation outside any handler, a stack
// overflow; Linux: SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT), or a C++
// exception no handler caught.
struct TFatalFault {
  String Description;  // "Access violation at address 0040123A in module 'Autorun.exe'. Write of address 00000000"
  std::vector<String> StackLines;
};
// Called once, while tracking is active, when such a fault is about to end
// the process; the process then ends as it would have. It runs in a damaged
// process (on Windows on a thread of its own; on Linux inside the signal
// handler, ended after 30 seconds should it hang), so it should do little.
// On Linux a stack overflow is reported only on threads with a signal stack
// (the thread that started the tracking has one).
// Null (the default) writes the description and the lines to standard error.
using TFatalFaultHandler = void (*)(const TFatalFault& Fault);
void SetFatalFaultHandler(TFatalFaultHandler Handler);

}  // namespace kv
