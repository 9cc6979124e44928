#include "diagnostics/KVStackTrace.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "diagnostics/KVDebugInfo.h"
#include "platform/Console.h"
#include "platform/StackWalk.h"

namespace kv {

namespace {

constexpr int kMaxFrames = 64;
constexpr int kMaxCurrentFrames = 128;
constexpr int kRecordsPerThread = 4;
constexpr int kMaxNotifiers = 8;

// The stacks of a thread's last exceptions, newest at Next - 1. Plain,
// trivially destructible thread-local data: nothing has to run when a thread
// ends, and raw addresses only, named when lines are asked for.
struct TStackRecord {
  const void* Object;
  std::uint32_t Code;
  std::int32_t Count;
  bool FirstExact;
  std::uintptr_t Frames[kMaxFrames];
};
struct TThreadRecords {
  TStackRecord Records[kRecordsPerThread];
  std::uint32_t Next;
  std::uint32_t Used;
};
thread_local TThreadRecords tRecords;

std::atomic<bool> gTracking{false};
TStackTrackingOptions gOptions{stExceptFrame, stRawMode};
std::mutex gTrackingLock;
std::atomic<TExceptionNotifier> gNotifiers[kMaxNotifiers];
std::atomic<TFatalFaultHandler> gFatalHandler{nullptr};
std::atomic<bool> gFatalReported{false};
std::terminate_handler gPreviousTerminate = nullptr;

platform::StackWalkMethod WalkMethod() {
  return gOptions.Contains(stRawMode) ? platform::StackWalkMethod::UnwindTables
                                      : platform::StackWalkMethod::FramePointers;
}

TStackRecord& NewRecord() {
  TThreadRecords& t = tRecords;
  TStackRecord& r = t.Records[t.Next % kRecordsPerThread];
  t.Next = (t.Next + 1) % kRecordsPerThread;
  if (t.Used < kRecordsPerThread) ++t.Used;
  r.Count = 0;
  return r;
}

// The newest record (of that object, unless any).
const TStackRecord* FindRecord(const void* object, bool any) {
  const TThreadRecords& t = tRecords;
  for (std::uint32_t i = 1; i <= t.Used; ++i) {
    const TStackRecord& r = t.Records[(t.Next + kRecordsPerThread - i) % kRecordsPerThread];
    if (any || r.Object == object) return &r;
  }
  return nullptr;
}

std::vector<String> LinesOf(const TStackRecord* r) {
  if (!r) return {};
  return StackLines(r->Frames, r->Count, r->FirstExact);
}

void Notify(const void* object, const std::type_info* type, std::uint32_t code) {
  TRaisedException e;
  e.Object = object;
  e.Type = type;
  e.SystemCode = code;
  bool cast = false;
  for (auto& slot : gNotifiers) {
    TExceptionNotifier n = slot.load(std::memory_order_acquire);
    if (!n) continue;
    if (!cast && object && type) {
      // The test a "catch (const Exception&)" makes, with its pointer adjustment.
      void* p = const_cast<void*>(object);
      if (typeid(Exception).__do_catch(type, &p, 1)) e.FrameworkException = static_cast<const Exception*>(p);
      cast = true;
    }
    try {
      n(e);
    } catch (...) {
    }
  }
}

// Called through the platform's wrapper of the runtime's throw; the frames
// above the thrower are this hook and that wrapper.
__attribute__((noinline)) void OnThrow(void* object, const std::type_info* type) {
  if (!gTracking.load(std::memory_order_acquire)) return;
  TStackRecord& r = NewRecord();
  r.Object = object;
  r.Code = 0;
  r.FirstExact = false;
  r.Count = platform::CaptureStack(WalkMethod(), 2, r.Frames, kMaxFrames);
  Notify(object, type, 0);
}

void OnSystemException(const platform::SystemException& e) {
  if (!gTracking.load(std::memory_order_acquire) || !gOptions.Contains(stExceptFrame)) return;
  TStackRecord& r = NewRecord();
  r.Object = nullptr;
  r.Code = e.Code;
  r.FirstExact = true;
  if (e.Code == platform::kExceptionStackOverflow) {
    // No stack is left to walk with: the faulting address only.
    r.Frames[0] = e.Address;
    r.Count = 1;
  } else {
    r.Count = platform::CaptureFaultStack(e, WalkMethod(), r.Frames, kMaxFrames);
  }
  Notify(nullptr, nullptr, e.Code);
}

void ReportFatal(TFatalFault fault) {
  if (TFatalFaultHandler h = gFatalHandler.load()) {
    h(fault);
    return;
  }
  String text = fault.Description + u"\n";
  for (const String& line : fault.StackLines) text += line + u"\n";
  platform::WriteStandardError(text);
}

void OnFatalFault(const platform::SystemException& e) {
  if (gFatalReported.exchange(true)) return;
  std::uintptr_t frames[kMaxFrames];
  int n = platform::CaptureFaultStack(e, platform::StackWalkMethod::UnwindTables, frames, kMaxFrames);
  ReportFatal({platform::DescribeSystemException(e), StackLines(frames, n, true)});
}

// A C++ exception nobody caught (or another call of std::terminate): the
// report names it and gives the stack recorded when it was raised.
[[noreturn]] void OnTerminate() {
  if (!gFatalReported.exchange(true)) {
    TFatalFault fault;
    if (std::exception_ptr current = std::current_exception()) {
      try {
        std::rethrow_exception(current);  // the runtime's rethrow: nothing new is recorded
      } catch (const Exception& x) {
        fault.Description = u"Unhandled exception " + FromUtf8(x.ClassName()) + u": " + x.Message();
        fault.StackLines = ExceptionStackLines(x);
      } catch (const std::exception& x) {
        fault.Description = u"Unhandled exception: " + FromUtf8(x.what());
        fault.StackLines = ExceptionStackLines(x);
      } catch (...) {
        fault.Description = u"Unhandled exception";
      }
      if (fault.StackLines.empty()) fault.StackLines = LastExceptionStackLines();
    } else {
      fault.Description = u"Abnormal program termination";
      fault.StackLines = CurrentStackLines(0);
    }
    ReportFatal(std::move(fault));
  }
  if (gPreviousTerminate) gPreviousTerminate();
  std::abort();
}

}  // namespace

__attribute__((noinline)) std::vector<String> CurrentStackLines(int Skip) {
  std::uintptr_t frames[kMaxCurrentFrames];
  // Frame 0 of the walk is this function.
  int n = platform::CaptureStack(platform::StackWalkMethod::UnwindTables, (Skip > 0 ? Skip : 0) + 1, frames,
                                 kMaxCurrentFrames);
  return StackLines(frames, n, false);
}

TStackTrackingOptions& StackTrackingOptions() { return gOptions; }

void StartExceptionTracking() {
  std::lock_guard<std::mutex> lock(gTrackingLock);
  if (gTracking.load()) return;
  platform::SetThrowHook(&OnThrow);
  platform::SetSystemExceptionHook(&OnSystemException);
  platform::SetFatalFaultHook(&OnFatalFault);
  gPreviousTerminate = std::set_terminate(&OnTerminate);
  gTracking.store(true, std::memory_order_release);
}

void StopExceptionTracking() {
  std::lock_guard<std::mutex> lock(gTrackingLock);
  if (!gTracking.load()) return;
  gTracking.store(false, std::memory_order_release);
  std::set_terminate(gPreviousTerminate);
  gPreviousTerminate = nullptr;
  platform::SetFatalFaultHook(nullptr);
  platform::SetSystemExceptionHook(nullptr);
  platform::SetThrowHook(nullptr);
}

bool ExceptionTrackingActive() { return gTracking.load(std::memory_order_acquire); }

std::vector<String> LastExceptionStackLines() { return LinesOf(FindRecord(nullptr, true)); }

std::vector<String> ExceptionStackLines(const std::exception& E) {
  return LinesOf(FindRecord(dynamic_cast<const void*>(&E), false));
}

bool RegisterExceptionNotifier(TExceptionNotifier Notifier) {
  if (!Notifier) return false;
  std::lock_guard<std::mutex> lock(gTrackingLock);
  for (auto& slot : gNotifiers)
    if (slot.load() == Notifier) return false;
  for (auto& slot : gNotifiers)
    if (!slot.load()) {
      slot.store(Notifier, std::memory_order_release);
      return true;
    }
  return false;
}

void UnregisterExceptionNotifier(TExceptionNotifier Notifier) {
  std::lock_guard<std::mutex> lock(gTrackingLock);
  for (auto& slot : gNotifiers)
    if (slot.load() == Notifier) slot.store(nullptr, std::memory_order_release);
}

void SetFatalFaultHandler(TFatalFaultHandler Handler) { gFatalHandler.store(Handler); }

}  // namespace kv
