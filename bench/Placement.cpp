#include "bench/Placement.h"

#include <dirent.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>

namespace veltra::bench {

namespace {

// The CPUs this process was allowed when it started.
const cpu_set_t& StartingCpus() {
  static const cpu_set_t cpus = [] {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0)
      for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) CPU_SET(cpu, &set);
    return set;
  }();
  return cpus;
}

// Every thread, not only the calling one: the server thread serves.
bool SetEveryThread(const cpu_set_t& cpus) {
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks) return sched_setaffinity(0, sizeof cpus, &cpus) == 0;
  bool all = true;
  while (dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    pid_t tid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (tid > 0 && sched_setaffinity(tid, sizeof cpus, &cpus) != 0) all = false;
  }
  closedir(tasks);
  return all;
}

}  // namespace

const char* PlacementName(Placement placement) {
  return placement == Placement::kFree ? "free" : "pinned";
}

int PinnedCpu() {
  const cpu_set_t& cpus = StartingCpus();
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
    if (CPU_ISSET(cpu, &cpus)) return cpu;
  return 0;
}

PlacementScope::PlacementScope(Placement placement) {
  cpu_set_t cpus = StartingCpus();
  if (placement == Placement::kPinned) {
    CPU_ZERO(&cpus);
    CPU_SET(PinnedCpu(), &cpus);
  }
  applied_ = SetEveryThread(cpus);
}

PlacementScope::~PlacementScope() {
  SetEveryThread(StartingCpus());
}

}  // namespace veltra::bench
