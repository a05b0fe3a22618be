// veltra-bench: the server's cost per request and per byte against the raw
// transport, as one table. Options of our own (before Google Benchmark's):
//   --scale=F    multiply every request count by F (a quick look: 0.1)
//   --trials=N   alternating server/raw pairs per figure (default 15)
//   --placement=free|pinned|both
//                free on every CPU, all on one CPU, or each figure in both
//                (the default)
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchSuite.h"
#include "bench/MemoryProbe.h"
#include "bench/Placement.h"
#include "bench/SummaryReporter.h"

namespace veltra::bench {
void RegisterBenchmarks(bool free, bool pinned);
}

namespace {

std::string CpuModel() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("model name", 0) == 0) {
      size_t colon = line.find(':');
      if (colon != std::string::npos) return line.substr(line.find_first_not_of(' ', colon + 1));
    }
  }
  return "unknown CPU";
}

// The first three fields of /proc/loadavg.
std::string LoadAverage() {
  std::ifstream file("/proc/loadavg");
  std::string one, five, fifteen;
  if (!(file >> one >> five >> fifteen)) return "unknown";
  return one + " " + five + " " + fifteen;
}

}  // namespace

int main(int argc, char** argv) {
  using veltra::bench::BenchSuite;
  BenchSuite& suite = BenchSuite::Get();
  std::vector<char*> rest;
  std::string placement = "both";
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--scale=", 8) == 0) {
      suite.settings.scale = std::atof(argv[i] + 8);
    } else if (std::strncmp(argv[i], "--placement=", 12) == 0) {
      placement = argv[i] + 12;
    } else if (std::strncmp(argv[i], "--trials=", 9) == 0) {
      suite.settings.trials = std::max(1, std::atoi(argv[i] + 9));
    } else {
      rest.push_back(argv[i]);
    }
  }
  int restCount = static_cast<int>(rest.size());
  benchmark::Initialize(&restCount, rest.data());
  if (benchmark::ReportUnrecognizedArguments(restCount, rest.data())) return 2;
  if (suite.settings.scale <= 0) {
    std::fprintf(stderr, "veltra-bench: --scale needs a number above 0\n");
    return 2;
  }
  if (placement != "free" && placement != "pinned" && placement != "both") {
    std::fprintf(stderr, "veltra-bench: --placement is free, pinned or both\n");
    return 2;
  }

  // Taken before anything is placed: the CPUs a free figure may use.
  int pinnedCpu = veltra::bench::PinnedCpu();
  std::string loadBefore = LoadAverage();
  veltra::bench::RegisterBenchmarks(placement != "pinned", placement != "free");
  veltra::bench::SummaryReporter reporter;
  std::fprintf(stderr, "veltra-bench: %d trials per figure, scale %g\n", suite.settings.trials,
               suite.settings.scale);
  benchmark::RunSpecifiedBenchmarks(&reporter);

  char heading[512];
  std::snprintf(heading, sizeof heading,
                "Veltra server against the raw transport: %ld x %s, %d trials, scale %g\n"
                "placements: free (every CPU) and pinned (everything on CPU %d); load average %s at the "
                "start, %s at the end\n"
                "ratio: of the two medians; pairs: median of the per-pair ratios (start-up: differences) "
                "and its 95%% interval",
                sysconf(_SC_NPROCESSORS_ONLN), CpuModel().c_str(), suite.settings.trials,
                suite.settings.scale, pinnedCpu, loadBefore.c_str(), LoadAverage().c_str());
  auto outcome = reporter.PrintTable(stdout, heading);
  if (outcome.noise > 0)
    std::printf(
        "%d figure(s) not met but within the noise of this run (\"noise\"): run again on a quieter "
        "machine before reading them as a miss\n",
        outcome.noise);
  std::fflush(stdout);
  suite.Close();
  benchmark::Shutdown();
  return outcome.missed == 0 ? 0 : 1;
}
