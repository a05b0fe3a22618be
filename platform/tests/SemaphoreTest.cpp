#include "platform/Semaphore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <thread>
#include <vector>

namespace veltra {
namespace {

using namespace std::chrono_literals;

TEST(SemaphoreTest, ReleaseBeyondMaximumFailsAndChangesNothing) {
  Semaphore semaphore(0, 1);
  EXPECT_TRUE(semaphore.Release());
  EXPECT_FALSE(semaphore.Release());
  EXPECT_EQ(semaphore.Count(), 1);
  EXPECT_TRUE(semaphore.TryWait());
  EXPECT_FALSE(semaphore.TryWait());
  EXPECT_FALSE(semaphore.Release(0));
  Semaphore counting(1, 3);
  EXPECT_FALSE(counting.Release(3));
  EXPECT_TRUE(counting.Release(2));
  EXPECT_EQ(counting.Count(), 3);
  // A count so large that adding it would overflow is beyond the maximum too.
  EXPECT_FALSE(counting.Release(std::numeric_limits<int>::max()));
  EXPECT_EQ(counting.Count(), 3);
  // An initial count outside 0..maximum is kept inside it.
  EXPECT_EQ(Semaphore(5, 2).Count(), 2);
  EXPECT_EQ(Semaphore(-1, 2).Count(), 0);
}

TEST(SemaphoreTest, WaitForTimesOutAndWakesOnRelease) {
  Semaphore semaphore(0, 1);
  EXPECT_FALSE(semaphore.WaitFor(20ms));
  std::thread releaser([&] {
    std::this_thread::sleep_for(20ms);
    semaphore.Release();
  });
  EXPECT_TRUE(semaphore.WaitFor(5s));
  releaser.join();
  EXPECT_EQ(semaphore.Count(), 0);
}

// Releases wake only when someone waits: every blocked Wait, and a WaitFor
// that timed out in between, must still be counted and woken.
TEST(SemaphoreTest, EveryBlockedWaitIsWokenByItsRelease) {
  Semaphore semaphore(0, 3);
  EXPECT_FALSE(semaphore.WaitFor(10ms));
  std::atomic<int> through{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      semaphore.Wait();
      ++through;
    });
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(through, 0);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(semaphore.Release());
    for (int spin = 0; spin < 500 && through < i + 1; ++spin) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(through, i + 1);
  }
  for (auto& waiter : waiters) waiter.join();
  // Uncontended, Wait takes at once and Release needs nobody.
  EXPECT_TRUE(semaphore.Release());
  semaphore.Wait();
  EXPECT_EQ(semaphore.Count(), 0);
}

TEST(SemaphoreTest, WaitAnyPrefersTheFirstWhenBothAreReleased) {
  Semaphore stop(0, 1), run(0, 1);
  run.Release();
  stop.Release();
  EXPECT_EQ(Semaphore::WaitAny(stop, run), 0);
  EXPECT_EQ(Semaphore::WaitAny(stop, run), 1);
  EXPECT_EQ(stop.Count() + run.Count(), 0);
}

TEST(SemaphoreTest, WaitAnyWakesForEitherFromAnotherThread) {
  for (int which = 0; which < 2; ++which) {
    Semaphore first(0, 1), second(0, 1);
    std::atomic<int> taken{-1};
    std::thread waiter([&] { taken = Semaphore::WaitAny(first, second); });
    std::this_thread::sleep_for(10ms);
    EXPECT_EQ(taken, -1);
    (which == 0 ? first : second).Release();
    waiter.join();
    EXPECT_EQ(taken, which);
    // Later plain waits still work after the any-wait detached itself.
    (which == 0 ? first : second).Release();
    EXPECT_TRUE((which == 0 ? first : second).WaitFor(1s));
  }
}

// Two threads waiting on the same pair: each release wakes one of them, and
// neither is left asleep on a count that is there.
TEST(SemaphoreTest, SeveralWaitAnyOnOneSemaphoreAreAllWoken) {
  Semaphore first(0, 2), second(0, 2);
  std::atomic<int> done{0};
  std::thread a([&] {
    Semaphore::WaitAny(first, second);
    ++done;
  });
  std::thread b([&] {
    Semaphore::WaitAny(first, second);
    ++done;
  });
  std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(first.Release());
  EXPECT_TRUE(first.Release());
  a.join();
  b.join();
  EXPECT_EQ(done, 2);
  EXPECT_EQ(first.Count(), 0);
}

}  // namespace
}  // namespace veltra
