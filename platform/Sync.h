// Threads and events: the system's own on Windows (CreateThread, CreateEventW,
// WaitForMultipleObjects), a portable stand-in on std::mutex and
// std::condition_variable elsewhere, with the same behaviour.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>

#include "platform/Base.h"

namespace kv::platform {

// A wait without time limit.
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// An event object. With automatic reset, a wait that finds it set clears it
// again, so that each Set releases one waiter; with manual reset it stays set
// until Reset and releases every waiter. Set, Reset and the waits may be
// called from any thread.
class Event {
 public:
  // Raises EOSError when the system cannot make one.
  explicit Event(bool manualReset = false, bool initiallySet = false);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  // True when the event was (or became) set within timeoutMs milliseconds.
  bool Wait(std::uint32_t timeoutMs);

  struct Impl;
  Impl& Handle() { return *FImpl; }

 private:
  std::unique_ptr<Impl> FImpl;
};

// Waits until one of the events is set, at most timeoutMs milliseconds: the
// index of that event in the list (an automatic-reset one is cleared), the
// lowest index when several are set; -1 after the time-out. At most 64 events.
int WaitForAnyEvent(std::initializer_list<Event*> events, std::uint32_t timeoutMs);

// A thread of the system that runs one function.
//
// The function object lives on the new thread and is destroyed there when it
// returns, before the thread ends, so what it holds is released on that thread.
// The destructor waits for a thread that still runs, unless it runs on that
// very thread, where it lets the thread finish on its own.
class Thread {
 public:
  Thread() = default;
  ~Thread() {
    if (!Joinable()) return;
    if (IsCurrent())
      Detach();
    else
      Join();
  }
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts the function on a new thread; raises EOSError when the system
  // cannot start one. Only once per object.
  void Start(std::function<void()> body);
  // A thread was started and neither joined nor let go.
  bool Joinable() const noexcept { return FHandle != 0; }
  // Waits until the thread has ended.
  void Join();
  // Lets the thread finish on its own; the object no longer refers to it.
  void Detach() noexcept;
  // The operating system's id of the thread (0 before Start).
  std::uint32_t Id() const noexcept { return FId; }
  // The calling thread is this one.
  bool IsCurrent() const noexcept;

 private:
  std::intptr_t FHandle = 0;  // a thread handle on Windows, a std::thread* elsewhere
  std::uint32_t FId = 0;
};

}  // namespace kv::platform
