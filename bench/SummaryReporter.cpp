#include "bench/SummaryReporter.h"

#include <cmath>

namespace veltra::bench {

namespace {

// One row of the table: a ratio against the raw transport, or a value of
// the server alone with an upper bound.
struct Row {
  const char* benchmark;
  const char* figure;
  const char* unit;
  bool ratio;
  double target;      // lowest ratio, or highest value
  const char* value;  // for a value row: its counter,
  const char* per;    // divided by this one when given
};

const Row kRows[] = {
    {"roundtrip/echo", "round trip: core echo, empty string", "req/s", true, 0.8, nullptr, nullptr},
    {"roundtrip/time", "round trip: Basalt time", "req/s", true, 0.8, nullptr, nullptr},
    {"bulk/write", "bulk: Basalt write 4096 B to a file", "MB/s", true, 0.9, nullptr, nullptr},
    {"bulk/source", "bulk: core source 4096 B", "MB/s", true, 0.9, nullptr, nullptr},
    {"console/lines", "console: lines via veltra-run --stdout", "lines/s", true, 0.8, nullptr, nullptr},
    {"steady/echo", "steady state: allocations per request", "", false, 0, "allocations", "requests"},
    {"steady/echo", "steady state: resident growth", "kB", false, 0, "growth_kb", nullptr},
};

}  // namespace

bool SummaryReporter::ReportContext(const Context&) {
  return true;
}

void SummaryReporter::ReportRuns(const std::vector<Run>& runs) {
  for (const Run& run : runs) {
    Result& result = results_[run.run_name.function_name];
    result.failed = run.error_occurred;
    result.error = run.error_message;
    for (const auto& [name, counter] : run.counters) result.counters[name] = counter.value;
    if (run.error_occurred)
      std::fprintf(stderr, "  %-16s failed: %s\n", run.run_name.function_name.c_str(),
                   run.error_message.c_str());
    else
      std::fprintf(stderr, "  %-16s done (%.1f s measured)\n", run.run_name.function_name.c_str(),
                   run.GetAdjustedRealTime());
  }
}

int SummaryReporter::PrintTable(std::FILE* out, const std::string& heading) const {
  int misses = 0;
  std::fprintf(out, "%s\n", heading.c_str());
  std::fprintf(out, "%-48s %10s %10s %6s %7s  %-7s %s\n", "figure", "server", "raw", "ratio", "target",
               "verdict", "host CPU us/request (server, raw); notes");
  for (const Row& row : kRows) {
    std::string figure = row.figure;
    if (*row.unit) figure += std::string(" (") + row.unit + ")";
    auto found = results_.find(row.benchmark);
    if (found == results_.end()) continue;  // filtered out
    const Result& result = found->second;
    if (result.failed) {
      ++misses;
      std::fprintf(out, "%-48s %10s %10s %6s %7s  %-7s %s\n", figure.c_str(), "-", "-", "-", "-", "-",
                   ("not measured: " + result.error).c_str());
      continue;
    }
    auto counter = [&](const char* name) {
      auto it = result.counters.find(name);
      return it == result.counters.end() ? NAN : it->second;
    };
    char target[16];
    if (row.ratio) {
      double ratio = counter("ratio");
      bool met = ratio >= row.target;
      misses += met ? 0 : 1;
      std::snprintf(target, sizeof target, ">= %.2g", row.target);
      std::fprintf(out, "%-48s %10.0f %10.0f %6.3f %7s  %-7s %.2f, %.2f\n", figure.c_str(), counter("server"),
                   counter("raw"), ratio, target, met ? "met" : "MISSED", counter("server_cpu_us"),
                   counter("raw_cpu_us"));
    } else {
      double value = counter(row.value);
      if (row.per) value /= counter(row.per);
      bool met = value <= row.target;
      misses += met ? 0 : 1;
      std::snprintf(target, sizeof target, "%.0f", row.target);
      char detail[128];
      if (row.per)
        std::snprintf(detail, sizeof detail, "%.0f in %.0f requests", counter(row.value), counter(row.per));
      else
        std::snprintf(detail, sizeof detail, "VmRSS %.0f kB after warm-up, %+.0f kB at the end",
                      counter("resident_kb"), counter("final_growth_kb"));
      std::fprintf(out, "%-48s %10.4g %10s %6s %7s  %-7s %s\n", figure.c_str(), value, "-", "-", target,
                   met ? "met" : "MISSED", detail);
    }
  }
  return misses;
}

}  // namespace veltra::bench
