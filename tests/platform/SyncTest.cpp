#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "platform/Process.h"
#include "platform/Sync.h"

using namespace kv;
using platform::Event;
using platform::kInfinite;
using platform::Thread;
using platform::WaitForAnyEvent;

TEST(Events, AutomaticResetReleasesOneWaitPerSetManualResetStaysSet) {
  Event e;
  EXPECT_FALSE(e.Wait(0));
  e.Set();
  e.Set();  // a second Set before a wait adds nothing
  EXPECT_TRUE(e.Wait(kInfinite));
  EXPECT_FALSE(e.Wait(0));

  Event manual(true, true);
  EXPECT_TRUE(manual.Wait(0));
  EXPECT_TRUE(manual.Wait(kInfinite));
  manual.Reset();
  EXPECT_FALSE(manual.Wait(0));
}

TEST(Events, WaitForAnyGivesTheLowestSetIndexAndTakesOnlyThat) {
  Event a, b, manual(true, false);
  EXPECT_EQ(WaitForAnyEvent({&a, &b, &manual}, 0), -1);
  b.Set();
  a.Set();
  EXPECT_EQ(WaitForAnyEvent({&a, &b}, kInfinite), 0);
  EXPECT_EQ(WaitForAnyEvent({&a, &b}, kInfinite), 1);
  EXPECT_EQ(WaitForAnyEvent({&a, &b}, 0), -1);
  manual.Set();
  EXPECT_EQ(WaitForAnyEvent({&a, &manual}, 0), 1);
  EXPECT_EQ(WaitForAnyEvent({&a, &manual}, 0), 1);  // still set
  EXPECT_EQ(WaitForAnyEvent({}, 0), -1);
}

TEST(Events, SetOnAnotherThreadWakesEveryKindOfWait) {
  Event single, first, second, done;
  Thread setter;
  std::atomic<int> step{0};
  setter.Start([&] {
    single.Set();
    second.Set();
    step = 1;
    done.Set();
  });
  EXPECT_TRUE(single.Wait(kInfinite));
  EXPECT_EQ(WaitForAnyEvent({&first, &second}, kInfinite), 1);
  EXPECT_TRUE(done.Wait(kInfinite));
  setter.Join();
  EXPECT_EQ(step.load(), 1);
  EXPECT_FALSE(setter.Joinable());
}

TEST(Events, ManyWaitersEachTakeOneSignal) {
  // Four threads wait for one automatic-reset event (two of them together
  // with a second event that is never set). Each Set releases exactly one of
  // them, also when it comes before that waiter waits; a Set while the event
  // is still set would add nothing, so the next Set waits for a release.
  Event shared, never, taken;
  std::atomic<int> released{0}, wrong{0};
  std::vector<std::unique_ptr<Thread>> waiters;
  for (int i = 0; i < 4; ++i) {
    waiters.push_back(std::make_unique<Thread>());
    waiters.back()->Start([&, i] {
      const bool got = i % 2 ? WaitForAnyEvent({&never, &shared}, kInfinite) == 1 : shared.Wait(kInfinite);
      ++(got ? released : wrong);
      taken.Set();
    });
  }
  for (int i = 0; i < 4; ++i) {
    shared.Set();
    ASSERT_TRUE(taken.Wait(kInfinite));
  }
  for (auto& w : waiters) w->Join();
  EXPECT_EQ(released.load(), 4);
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_FALSE(shared.Wait(0));
}

TEST(Threads, RunOnTheirOwnThreadWithTheirOwnId) {
  Thread t;
  EXPECT_FALSE(t.Joinable());
  EXPECT_EQ(t.Id(), 0u);
  std::uint32_t seenId = 0;
  bool seenCurrent = false;
  Event ran;
  t.Start([&] {
    seenId = platform::CurrentThreadId();
    seenCurrent = t.IsCurrent();
    ran.Set();
  });
  EXPECT_TRUE(ran.Wait(kInfinite));
  t.Join();
  EXPECT_EQ(seenId, t.Id());
  EXPECT_NE(seenId, platform::CurrentThreadId());
  EXPECT_TRUE(seenCurrent);
  EXPECT_FALSE(t.IsCurrent());
  EXPECT_THROW(t.Start([] {}), EOSError);  // once per object
}

namespace {

// An object that owns the thread running inside it, as the logging thread does.
struct SelfOwned {
  Thread Worker;
  std::shared_ptr<Event> Gone = std::make_shared<Event>(true, false);
  ~SelfOwned() { Gone->Set(); }
};

}  // namespace

TEST(Threads, AnObjectMayBeFreedOnTheThreadItOwns) {
  auto owner = std::make_shared<SelfOwned>();
  auto gone = owner->Gone;
  Event go;
  owner->Worker.Start([self = owner, &go]() mutable {
    go.Wait(kInfinite);
    self.reset();  // the last reference: the destructor runs here
  });
  owner.reset();
  go.Set();
  EXPECT_TRUE(gone->Wait(kInfinite));
}
