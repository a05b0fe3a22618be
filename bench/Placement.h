// Where the benchmark's processes run: free on every CPU this process may use,
// or all of them (this process's threads, the server thread, veltra-run and
// the applications) on one CPU, as `taskset -c 0` would place them. The two
// placements change the figures differently: free, every request crosses
// between processors and wakes one from idle; pinned, the two sides take
// turns on one processor and the host's processor time is the whole story.
#pragma once

#include <sched.h>

#include <string>

namespace veltra::bench {

enum class Placement { kFree, kPinned };

const char* PlacementName(Placement placement);

// Moves every thread of this process for its lifetime; processes started
// meanwhile inherit the placement. Restores the CPUs of the start on exit.
class PlacementScope {
 public:
  explicit PlacementScope(Placement placement);
  ~PlacementScope();
  PlacementScope(const PlacementScope&) = delete;
  PlacementScope& operator=(const PlacementScope&) = delete;

  // False when the system refused (the figure then says so).
  bool Applied() const { return applied_; }

 private:
  bool applied_ = false;
};

// The CPU the pinned placement uses: the first this process may run on.
int PinnedCpu();

}  // namespace veltra::bench
