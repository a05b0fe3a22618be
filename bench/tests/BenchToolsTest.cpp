// The benchmark's own arithmetic and placement: a wrong interval or a thread
// left on the wrong CPUs would make every verdict of the table wrong.
#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <thread>

#include "bench/Placement.h"
#include "bench/Stats.h"

namespace veltra::bench {
namespace {

TEST(StatsTest, MedianIntervalComesFromTheOrderStatistics) {
  std::vector<double> values;
  for (int i = 15; i >= 1; --i) values.push_back(i);  // unsorted on purpose
  Spread spread = Summarise(values);
  EXPECT_EQ(spread.median, 8);
  // 15 values: the 4th and the 12th enclose the median with 96.5%.
  EXPECT_EQ(spread.low, 4);
  EXPECT_EQ(spread.high, 12);
  EXPECT_EQ(spread.min, 1);
  EXPECT_EQ(spread.max, 15);

  // 20 values: the 6th and the 15th (95.9%); the median of an even count
  // is the mean of the middle two.
  values.clear();
  for (int i = 1; i <= 20; ++i) values.push_back(i);
  spread = Summarise(values);
  EXPECT_EQ(spread.median, 10.5);
  EXPECT_EQ(spread.low, 6);
  EXPECT_EQ(spread.high, 15);

  // Too few values for 95%: the whole range.
  spread = Summarise({3, 1, 2, 5, 4});
  EXPECT_EQ(spread.median, 3);
  EXPECT_EQ(spread.low, 1);
  EXPECT_EQ(spread.high, 5);

  spread = Summarise({});
  EXPECT_EQ(spread.median, 0);
}

int CpuCount(pid_t tid) {
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  if (sched_getaffinity(tid, sizeof cpus, &cpus) != 0) return -1;
  return CPU_COUNT(&cpus);
}

TEST(PlacementTest, PinningMovesThreadsThatAlreadyRunAndLeavingRestoresThem) {
  int starting = CpuCount(0);
  int pinned = PinnedCpu();
  std::atomic<pid_t> tid{0};
  std::atomic<bool> done{false};
  std::thread other([&] {
    tid = gettid();
    while (!done) std::this_thread::yield();
  });
  while (tid == 0) std::this_thread::yield();
  {
    PlacementScope scope(Placement::kPinned);
    ASSERT_TRUE(scope.Applied());
    EXPECT_EQ(CpuCount(0), 1);
    EXPECT_EQ(CpuCount(tid), 1) << "a thread started before the scope must move too";
    cpu_set_t cpus;
    sched_getaffinity(tid, sizeof cpus, &cpus);
    EXPECT_TRUE(CPU_ISSET(pinned, &cpus));
  }
  EXPECT_EQ(CpuCount(0), starting);
  EXPECT_EQ(CpuCount(tid), starting);
  done = true;
  other.join();
}

}  // namespace
}  // namespace veltra::bench
