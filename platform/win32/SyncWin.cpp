// Events and threads of the system: CreateEventW, SetEvent, ResetEvent,
// WaitForSingleObject and WaitForMultipleObjects; CreateThread.
#include <windows.h>

#include "platform/Files.h"
#include "platform/Sync.h"

namespace kv::platform {

struct Event::Impl {
  HANDLE Handle = nullptr;
};

namespace {

[[noreturn]] void RaiseLastError(const char16_t* what) {
  const DWORD code = GetLastError();
  throw EOSError(String(what) + u": " + SysErrorMessage(code), code);
}

}  // namespace

Event::Event(bool manualReset, bool initiallySet) : FImpl(std::make_unique<Impl>()) {
  FImpl->Handle = CreateEventW(nullptr, manualReset ? TRUE : FALSE, initiallySet ? TRUE : FALSE, nullptr);
  if (!FImpl->Handle) RaiseLastError(u"Cannot create an event");
}

Event::~Event() {
  if (FImpl->Handle) CloseHandle(FImpl->Handle);
}

void Event::Set() { SetEvent(FImpl->Handle); }

void Event::Reset() { ResetEvent(FImpl->Handle); }

bool Event::Wait(std::uint32_t timeoutMs) {
  return WaitForSingleObject(FImpl->Handle, timeoutMs == kInfinite ? INFINITE : timeoutMs) == WAIT_OBJECT_0;
}

int WaitForAnyEvent(std::initializer_list<Event*> events, std::uint32_t timeoutMs) {
  if (events.size() == 0 || events.size() > MAXIMUM_WAIT_OBJECTS) return -1;
  HANDLE handles[MAXIMUM_WAIT_OBJECTS];
  DWORD count = 0;
  for (Event* e : events) handles[count++] = e->Handle().Handle;
  const DWORD r = WaitForMultipleObjects(count, handles, FALSE, timeoutMs == kInfinite ? INFINITE : timeoutMs);
  if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + count) return static_cast<int>(r - WAIT_OBJECT_0);
  return -1;
}

// --- Threads ---------------------------------------------------------------------

namespace {

DWORD WINAPI ThreadStart(LPVOID parameter) {
  auto* body = static_cast<std::function<void()>*>(parameter);
  // Exceptions do not leave a thread: the body is expected to catch its own,
  // and anything else ends the thread quietly rather than the process.
  try {
    (*body)();
  } catch (...) {
  }
  delete body;
  return 0;
}

}  // namespace

void Thread::Start(std::function<void()> body) {
  if (Joinable() || FId != 0) throw EOSError(u"Thread already started", 0);
  auto* owned = new std::function<void()>(std::move(body));
  DWORD id = 0;
  // Suspended until this object knows the thread, so that Id() and
  // IsCurrent() hold for the body.
  HANDLE h = CreateThread(nullptr, 0, &ThreadStart, owned, CREATE_SUSPENDED, &id);
  if (!h) {
    delete owned;
    RaiseLastError(u"Cannot start a thread");
  }
  FHandle = reinterpret_cast<std::intptr_t>(h);
  FId = id;
  ResumeThread(h);
}

void Thread::Join() {
  if (!Joinable()) return;
  WaitForSingleObject(reinterpret_cast<HANDLE>(FHandle), INFINITE);
  CloseHandle(reinterpret_cast<HANDLE>(FHandle));
  FHandle = 0;
}

void Thread::Detach() noexcept {
  if (!Joinable()) return;
  CloseHandle(reinterpret_cast<HANDLE>(FHandle));
  FHandle = 0;
}

bool Thread::IsCurrent() const noexcept { return FId != 0 && FId == GetCurrentThreadId(); }

}  // namespace kv::platform
