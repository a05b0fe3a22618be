// A program started by the benchmarks: a DSP application on the raw
// transport, or veltra-run. Started with posix_spawn, waited for by pid.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace veltra::bench {

class BenchProcess {
 public:
  BenchProcess() = default;
  // A process still running is killed: no application outlives a benchmark.
  ~BenchProcess();
  BenchProcess(const BenchProcess&) = delete;
  BenchProcess& operator=(const BenchProcess&) = delete;

  // environment: "NAME=value" entries that replace or add to ours. keepFd,
  // when not -1, stays open in the child under the same number. Standard
  // output goes to /dev/null when quiet. Returns false with error set.
  bool Start(const std::string& program, const std::vector<std::string>& args,
             const std::vector<std::string>& environment, int keepFd, bool quiet, std::string& error);
  // The exit status, or -1 when a signal ended it. cpuSeconds, when given,
  // receives the processor time of the process and of the children it waited for.
  int Wait(double* cpuSeconds = nullptr);

 private:
  pid_t pid_ = -1;
};

}  // namespace veltra::bench
