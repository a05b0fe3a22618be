// What the benchmarks share in one process: the settings, a scratch
// directory, the embedded server (opened on first use), the raw transport
// and the file through which the applications report their timed loops.
// Each Serve* call is one complete run of a benchmark application.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "bench/EmbeddedServer.h"
#include "bench/RawResponder.h"
#include "bench/TimingFile.h"

namespace veltra::bench {

struct BenchSettings {
  double scale = 1.0;  // multiplies every request count
  // Alternating server/raw pairs per figure: many short runs follow the
  // changing load of a shared machine more closely than a few long ones.
  int trials = 15;
};

class BenchSuite {
 public:
  static BenchSuite& Get();
  ~BenchSuite();
  // Stops the embedded server and removes the scratch directory; called
  // before the process exits, while the libraries are all still there.
  void Close();

  BenchSettings settings;

  long Scaled(long count) const;
  // <bin>/bench/NAME.app
  std::string Application(const std::string& name) const;
  std::string WorkFile(const std::string& name) const;
  std::string RunnerPath() const;

  // One run through the embedded OrvServer and the simulator link.
  bool ServeEmbedded(const std::string& application, const std::string& commandLine, const std::string& phase,
                     Timing& timing, std::string& error);
  // One run through veltra-run, standard output to stdoutFile.
  bool ServeRunner(const std::string& application, const std::string& commandLine,
                   const std::string& stdoutFile, const std::string& phase, Timing& timing,
                   std::string& error);
  // One run on the raw transport; standard output goes to stdoutFile.
  bool ServeRaw(const std::string& application, const std::string& commandLine, const std::string& stdoutFile,
                const std::string& phase, Timing& timing, std::string& error);

  // Wall-clock milliseconds of a whole veltra-run of application, from
  // starting it to reaping it; and of the application started bare on the
  // raw transport. start: until the application began, end: from the end of
  // its own work (both as it reported them on the monotonic clock).
  struct Span {
    double total = 0;
    double start = 0;
    double end = 0;
  };
  bool TimeRunner(const std::string& application, Span& span, std::string& error);
  // The same for veltra-bench-floor, which loads veltra-run's libraries and
  // ends: only total is set.
  bool TimeFloor(Span& span, std::string& error);
  bool TimeBare(const std::string& application, Span& span, std::string& error);

  EmbeddedServer* Server(std::string& error);

 private:
  BenchSuite();
  bool TakeTiming(const std::string& phase, Timing& timing, std::string& error);
  // Fills span from the clock readings around a run and the application's
  // "begun" and "ended" reports.
  bool SplitSpan(std::chrono::steady_clock::time_point started, std::chrono::steady_clock::time_point reaped,
                 Span& span, std::string& error);

  std::string bin_;
  std::string work_;
  TimingFile timings_;
  std::unique_ptr<EmbeddedServer> server_;
  bool serverFailed_ = false;
  std::string serverError_;
};

}  // namespace veltra::bench
