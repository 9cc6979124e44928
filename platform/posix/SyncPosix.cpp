// Events and threads on std::mutex, std::condition_variable and std::thread.
//
// An event keeps its state under its own mutex. A wait for several events
// registers a waiter with each of them; Set wakes the registered waiters,
// which then look at the events again, so an automatic-reset event is taken
// by exactly one of the threads that wait for it.
#include <algorithm>
#include <memory>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Process.h"
#include "platform/Sync.h"

namespace kv::platform {

namespace {

// One thread waiting for several events.
struct MultiWaiter {
  std::mutex Lock;
  std::condition_variable Wake;
  bool Woken = false;

  void Notify() {
    std::lock_guard<std::mutex> guard(Lock);
    Woken = true;
    Wake.notify_one();
  }
};

using Clock = std::chrono::steady_clock;

Clock::time_point Deadline(std::uint32_t timeoutMs) {
  if (timeoutMs == kInfinite) return Clock::time_point::max();
  return Clock::now() + std::chrono::milliseconds(timeoutMs);
}

}  // namespace

struct Event::Impl {
  std::mutex Lock;
  std::condition_variable Changed;
  bool Signalled = false;
  bool ManualReset = false;
  std::vector<MultiWaiter*> Waiters;

  // Under Lock: takes the signal when it is there.
  bool TakeLocked() {
    if (!Signalled) return false;
    if (!ManualReset) Signalled = false;
    return true;
  }
};

Event::Event(bool manualReset, bool initiallySet) : FImpl(std::make_unique<Impl>()) {
  FImpl->ManualReset = manualReset;
  FImpl->Signalled = initiallySet;
}

Event::~Event() = default;

void Event::Set() {
  std::lock_guard<std::mutex> guard(FImpl->Lock);
  FImpl->Signalled = true;
  if (FImpl->ManualReset)
    FImpl->Changed.notify_all();
  else
    FImpl->Changed.notify_one();
  for (MultiWaiter* w : FImpl->Waiters) w->Notify();
}

void Event::Reset() {
  std::lock_guard<std::mutex> guard(FImpl->Lock);
  FImpl->Signalled = false;
}

bool Event::Wait(std::uint32_t timeoutMs) {
  std::unique_lock<std::mutex> guard(FImpl->Lock);
  const auto deadline = Deadline(timeoutMs);
  while (!FImpl->TakeLocked()) {
    if (timeoutMs == kInfinite) {
      FImpl->Changed.wait(guard);
    } else if (FImpl->Changed.wait_until(guard, deadline) == std::cv_status::timeout) {
      return FImpl->TakeLocked();
    }
  }
  return true;
}

int WaitForAnyEvent(std::initializer_list<Event*> events, std::uint32_t timeoutMs) {
  if (events.size() == 0 || events.size() > 64) return -1;
  MultiWaiter waiter;
  std::vector<Event::Impl*> impls;
  for (Event* e : events) impls.push_back(&e->Handle());

  // Looks at every event in order; registers the waiter with those not set
  // when asked to.
  const auto poll = [&](bool registerWaiter) -> int {
    for (std::size_t i = 0; i < impls.size(); ++i) {
      std::lock_guard<std::mutex> guard(impls[i]->Lock);
      if (impls[i]->TakeLocked()) return static_cast<int>(i);
      if (registerWaiter) impls[i]->Waiters.push_back(&waiter);
    }
    return -1;
  };
  const auto unregister = [&] {
    for (Event::Impl* impl : impls) {
      std::lock_guard<std::mutex> guard(impl->Lock);
      auto& list = impl->Waiters;
      list.erase(std::remove(list.begin(), list.end(), &waiter), list.end());
    }
  };

  const auto deadline = Deadline(timeoutMs);
  // Registering first and then looking closes the gap in which a Set would
  // otherwise be missed: a Set after registration wakes the waiter.
  int found = poll(true);
  while (found < 0) {
    {
      std::unique_lock<std::mutex> guard(waiter.Lock);
      bool timedOut = false;
      while (!waiter.Woken && !timedOut) {
        if (timeoutMs == kInfinite)
          waiter.Wake.wait(guard);
        else
          timedOut = waiter.Wake.wait_until(guard, deadline) == std::cv_status::timeout;
      }
      waiter.Woken = false;
      if (timedOut) {
        guard.unlock();
        found = poll(false);
        break;
      }
    }
    found = poll(false);
  }
  unregister();
  return found;
}

// --- Threads ---------------------------------------------------------------------

namespace {

std::thread* AsThread(std::intptr_t h) { return reinterpret_cast<std::thread*>(h); }

}  // namespace

void Thread::Start(std::function<void()> body) {
  if (Joinable() || FId != 0) throw EOSError(u"Thread already started", 0);
  // The new thread tells its id, then waits until this object knows it, so
  // that Id() and IsCurrent() hold for the body and from the moment Start
  // returns. Both threads hold the handshake.
  struct Handshake {
    std::mutex Lock;
    std::condition_variable Changed;
    std::uint32_t Id = 0;
    bool Go = false;
  };
  auto handshake = std::make_shared<Handshake>();
  std::thread* t = nullptr;
  try {
    t = new std::thread([handshake, body = std::move(body)]() mutable {
      {
        std::unique_lock<std::mutex> guard(handshake->Lock);
        handshake->Id = CurrentThreadId();
        handshake->Changed.notify_all();
        handshake->Changed.wait(guard, [&] { return handshake->Go; });
      }
      handshake.reset();
      // Exceptions do not leave a thread: the body is expected to catch its
      // own, and anything else ends the thread quietly rather than the process.
      try {
        body();
      } catch (...) {
      }
      body = nullptr;
    });
  } catch (const std::system_error& e) {
    throw EOSError(u"Cannot start a thread: " + FromUtf8(e.what()), static_cast<std::uint32_t>(e.code().value()));
  }
  std::unique_lock<std::mutex> guard(handshake->Lock);
  handshake->Changed.wait(guard, [&] { return handshake->Id != 0; });
  FId = handshake->Id;
  FHandle = reinterpret_cast<std::intptr_t>(t);
  handshake->Go = true;
  handshake->Changed.notify_all();
}

void Thread::Join() {
  if (!Joinable()) return;
  std::thread* t = AsThread(FHandle);
  t->join();
  delete t;
  FHandle = 0;
}

void Thread::Detach() noexcept {
  if (!Joinable()) return;
  std::thread* t = AsThread(FHandle);
  t->detach();
  delete t;
  FHandle = 0;
}

bool Thread::IsCurrent() const noexcept { return FId != 0 && FId == CurrentThreadId(); }

}  // namespace kv::platform
