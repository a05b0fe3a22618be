// Where a benchmark application reports its timed loop (VELTRA_BENCH_TIMES):
// lines of "phase count nanoseconds", appended by the application itself so
// the report never travels over the link being measured.
#pragma once

#include <optional>
#include <string>

namespace veltra::bench {

struct Timing {
  long count = 0;       // requests of the timed loop
  double seconds = 0;   // its duration, as the application saw it
  double appCpu = 0;    // processor seconds the application used in all
  long requests = 0;    // requests it made in all
  double hostCpu = -1;  // processor seconds of the host side of the run, when known
  double PerSecond() const { return seconds > 0 ? count / seconds : 0; }
  // Host processor time per request in microseconds, or -1.
  double HostMicrosecondsPerRequest() const {
    return hostCpu >= 0 && requests > 0 ? hostCpu * 1e6 / requests : -1;
  }
};

class TimingFile {
 public:
  explicit TimingFile(std::string path) : path_(std::move(path)) {}

  // "VELTRA_BENCH_TIMES=path", for the application's environment.
  std::string EnvironmentEntry() const { return "VELTRA_BENCH_TIMES=" + path_; }
  // Forgets earlier reports.
  void Clear() const;
  // The last report of phase, if the application made one.
  std::optional<Timing> Take(const std::string& phase) const;

 private:
  std::string path_;
};

}  // namespace veltra::bench
