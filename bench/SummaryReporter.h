// Collects the benchmark runs, shows progress on standard error, and prints
// the one table of figures with their targets at the end.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace veltra::bench {

class SummaryReporter final : public benchmark::BenchmarkReporter {
 public:
  bool ReportContext(const Context& context) override;
  void ReportRuns(const std::vector<Run>& runs) override;

  struct Outcome {
    int missed = 0;  // beyond the measured noise, or not measured at all
    int noise = 0;   // not met, but within the noise of the measurements
  };
  // Prints the table and counts what was not met.
  Outcome PrintTable(std::FILE* out, const std::string& heading) const;

 private:
  struct Result {
    bool failed = false;
    std::string error;
    std::map<std::string, double> counters;
  };
  std::map<std::string, Result> results_;
};

}  // namespace veltra::bench
