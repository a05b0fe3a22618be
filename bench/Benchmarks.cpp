// The figures: each one runs the server and the raw transport alternately in
// the same process, so both see the same machine, in each placement (free,
// and everything on one CPU), and keeps every pair's measurements.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchSuite.h"
#include "bench/MemoryProbe.h"
#include "bench/Placement.h"
#include "bench/Stats.h"

namespace veltra::bench {

namespace {

constexpr double kBlockMegabytes = 4096 / 1e6;
// One AppendData request: 1034 samples of 8 bytes.
constexpr double kAppendMegabytes = 8272 / 1e6;
constexpr int kStartupPairs = 20;

using SideRun = std::function<bool(Timing&, std::string&)>;
using Check = std::function<bool(std::string&)>;

void SetSpread(benchmark::State& state, const std::string& prefix, const Spread& spread) {
  state.counters[prefix] = spread.median;
  state.counters[prefix + "_low"] = spread.low;
  state.counters[prefix + "_high"] = spread.high;
  state.counters[prefix + "_min"] = spread.min;
  state.counters[prefix + "_max"] = spread.max;
}

// Runs the configured number of trials, each the server and the raw side
// once, in alternating order; units converts a request count into the
// figure's unit (1 for requests and lines, megabytes per 4096-byte block).
void CompareWithRaw(benchmark::State& state, Placement placement, int trials, double units,
                    const SideRun& server, const SideRun& raw, const Check& check = nullptr) {
  PlacementScope scope(placement);
  if (!scope.Applied()) {
    state.SkipWithError("the processes could not be placed on one CPU");
    return;
  }
  std::vector<double> serverRates, rawRates, ratios, serverCpu, rawCpu;
  double serverSeconds = 0;
  for (auto _ : state) {
    for (int trial = 0; trial < trials; ++trial) {
      Timing serverTiming, rawTiming;
      std::string error;
      bool serverFirst = trial % 2 == 0;
      bool ok = serverFirst ? server(serverTiming, error) && raw(rawTiming, error)
                            : raw(rawTiming, error) && server(serverTiming, error);
      if (ok && check) ok = check(error);
      if (!ok) {
        state.SkipWithError(error.c_str());
        return;
      }
      serverSeconds += serverTiming.seconds;
      serverRates.push_back(serverTiming.PerSecond() * units);
      rawRates.push_back(rawTiming.PerSecond() * units);
      ratios.push_back(serverRates.back() / rawRates.back());
      serverCpu.push_back(serverTiming.HostMicrosecondsPerRequest());
      rawCpu.push_back(rawTiming.HostMicrosecondsPerRequest());
    }
    state.SetIterationTime(serverSeconds);
  }
  SetSpread(state, "server", Summarise(serverRates));
  SetSpread(state, "raw", Summarise(rawRates));
  SetSpread(state, "ratio", Summarise(ratios));
  state.counters["trials"] = static_cast<double>(ratios.size());
  state.counters["server_cpu_us"] = Median(serverCpu);
  state.counters["raw_cpu_us"] = Median(rawCpu);
}

bool SameSize(const std::string& a, const std::string& b, uintmax_t expected, std::string& error) {
  std::error_code ea, eb;
  uintmax_t sizeA = std::filesystem::file_size(a, ea);
  uintmax_t sizeB = std::filesystem::file_size(b, eb);
  if (ea || eb || sizeA != expected || sizeB != expected) {
    error = "output sizes differ from " + std::to_string(expected) + " bytes: " + std::to_string(sizeA) +
            " (server) and " + std::to_string(sizeB) + " (raw)";
    return false;
  }
  return true;
}

bool SameContent(const std::string& a, const std::string& b, std::string& error) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  std::vector<char> ba(1 << 16), bb(1 << 16);
  while (fa && fb) {
    fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
    fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
    if (fa.gcount() != fb.gcount() || !std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin())) {
      error = "the server's and the raw transport's output files differ";
      return false;
    }
  }
  return true;
}

void RoundTrip(benchmark::State& state, Placement placement, const std::string& mode) {
  BenchSuite& suite = BenchSuite::Get();
  std::string app = suite.Application("roundtrip");
  std::string line = mode + " " + std::to_string(suite.Scaled(10000));
  std::string console = suite.WorkFile("roundtrip-stdout.txt");
  CompareWithRaw(
      state, placement, suite.settings.trials, 1,
      [&](Timing& t, std::string& e) { return suite.ServeEmbedded(app, line, mode, t, e); },
      [&](Timing& t, std::string& e) { return suite.ServeRaw(app, line, console, mode, t, e); });
}

void BulkWrite(benchmark::State& state, Placement placement) {
  BenchSuite& suite = BenchSuite::Get();
  std::string app = suite.Application("bulk");
  long count = suite.Scaled(5000);
  std::string serverFile = suite.WorkFile("bulk-server.bin");
  std::string rawFile = suite.WorkFile("bulk-raw.bin");
  std::string console = suite.WorkFile("bulk-stdout.txt");
  std::string serverLine = "write " + std::to_string(count) + " " + serverFile;
  std::string rawLine = "write " + std::to_string(count) + " " + rawFile;
  // The warm-up blocks are written too.
  uintmax_t expected = static_cast<uintmax_t>(count + std::max(200L, count / 20)) * 4096;
  CompareWithRaw(
      state, placement, suite.settings.trials, kBlockMegabytes,
      [&](Timing& t, std::string& e) { return suite.ServeEmbedded(app, serverLine, "write", t, e); },
      [&](Timing& t, std::string& e) { return suite.ServeRaw(app, rawLine, console, "write", t, e); },
      [&](std::string& e) { return SameSize(serverFile, rawFile, expected, e); });
}

void BulkSource(benchmark::State& state, Placement placement) {
  BenchSuite& suite = BenchSuite::Get();
  std::string app = suite.Application("bulk");
  std::string line = "source " + std::to_string(suite.Scaled(5000));
  std::string console = suite.WorkFile("bulk-stdout.txt");
  CompareWithRaw(
      state, placement, suite.settings.trials, kBlockMegabytes,
      [&](Timing& t, std::string& e) { return suite.ServeEmbedded(app, line, "source", t, e); },
      [&](Timing& t, std::string& e) { return suite.ServeRaw(app, line, console, "source", t, e); });
}

// Streaming samples into a graph: AppendData of 1034 samples (8272 bytes, a
// whole request block) through veltra-run, whose graph cluster draws off
// screen, against the raw transport taking the same blocks as a sink. The
// application's clock stops around the Show that rewinds the graph's buffer
// every 64 requests, so both sides time AppendData alone.
void BulkAppend(benchmark::State& state, Placement placement) {
  BenchSuite& suite = BenchSuite::Get();
  std::string app = suite.Application("stream");
  std::string line = std::to_string(suite.Scaled(5000));
  std::string serverConsole = suite.WorkFile("stream-server.txt");
  std::string rawConsole = suite.WorkFile("stream-raw.txt");
  CompareWithRaw(
      state, placement, suite.settings.trials, kAppendMegabytes,
      [&](Timing& t, std::string& e) { return suite.ServeRunner(app, line, serverConsole, "stream", t, e); },
      [&](Timing& t, std::string& e) { return suite.ServeRaw(app, line, rawConsole, "stream", t, e); });
}

// buffering: the application's standard output buffering, "none" or "full".
void ConsoleLines(benchmark::State& state, Placement placement, const std::string& buffering) {
  BenchSuite& suite = BenchSuite::Get();
  std::string app = suite.Application("console");
  // A million lines on each side, split over the trials so that the server
  // and the raw transport still alternate within a few minutes in all.
  int trials = suite.settings.trials;
  std::string line = std::to_string((suite.Scaled(1000000) + trials - 1) / trials) + " " + buffering;
  std::string serverFile = suite.WorkFile("console-server.txt");
  std::string rawFile = suite.WorkFile("console-raw.txt");
  CompareWithRaw(
      state, placement, trials, 1,
      [&](Timing& t, std::string& e) { return suite.ServeRunner(app, line, serverFile, "console", t, e); },
      [&](Timing& t, std::string& e) { return suite.ServeRaw(app, line, rawFile, "console", t, e); },
      [&](std::string& e) { return SameContent(serverFile, rawFile, e); });
}

// A whole veltra-run of an application that does nothing, against starting
// the same application bare on the raw transport: wall-clock milliseconds
// from starting the process to reaping it, in alternating pairs. Each pair
// also times veltra-bench-floor, which only loads the libraries a run loads
// and ends: a run is that process and the application, so its whole time is
// the least a run can add with these libraries ("floor"), and the run's extra
// beyond it is the server's own share ("work").
void Startup(benchmark::State& state, Placement placement) {
  BenchSuite& suite = BenchSuite::Get();
  PlacementScope scope(placement);
  if (!scope.Applied()) {
    state.SkipWithError("the processes could not be placed on one CPU");
    return;
  }
  std::string app = suite.Application("empty");
  using Span = BenchSuite::Span;
  auto run = [&](Span& span, std::string& e) { return suite.TimeRunner(app, span, e); };
  auto bare = [&](Span& span, std::string& e) { return suite.TimeBare(app, span, e); };
  auto floor = [&](Span& span, std::string& e) { return suite.TimeFloor(span, e); };
  std::vector<double> runMs, bareMs, extra, startExtra, endExtra, floorMs, work;
  double seconds = 0;
  for (auto _ : state) {
    // One of each first: the files are in the page cache for every pair.
    Span ignored;
    std::string error;
    if (!run(ignored, error) || !bare(ignored, error) || !floor(ignored, error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    for (int pair = 0; pair < kStartupPairs; ++pair) {
      // The bare run in the middle, the other two taking turns before it.
      Span a, b, f;
      bool ok = pair % 2 == 0 ? run(a, error) && bare(b, error) && floor(f, error)
                              : floor(f, error) && bare(b, error) && run(a, error);
      if (!ok) {
        state.SkipWithError(error.c_str());
        return;
      }
      runMs.push_back(a.total);
      bareMs.push_back(b.total);
      extra.push_back(a.total - b.total);
      startExtra.push_back(a.start - b.start);
      endExtra.push_back(a.end - b.end);
      floorMs.push_back(f.total);
      work.push_back(a.total - b.total - f.total);
      seconds += a.total / 1e3;
    }
    state.SetIterationTime(seconds);
  }
  SetSpread(state, "server", Summarise(runMs));
  SetSpread(state, "raw", Summarise(bareMs));
  SetSpread(state, "extra", Summarise(extra));
  state.counters["start_extra"] = Median(startExtra);
  state.counters["end_extra"] = Median(endExtra);
  state.counters["floor"] = Median(floorMs);
  state.counters["work"] = Median(work);
  state.counters["trials"] = static_cast<double>(extra.size());
}

// A million echo requests through the embedded server, sampled at every
// "mark" line the application prints (after warm-up, then every 100000).
void SteadyState(benchmark::State& state) {
  BenchSuite& suite = BenchSuite::Get();
  struct Sample {
    long resident;
    long allocations;
  };
  std::array<Sample, 256> samples{};
  size_t taken = 0;
  std::string error;
  EmbeddedServer* server = suite.Server(error);
  if (!server) {
    state.SkipWithError(error.c_str());
    return;
  }
  server->SetMarkHook([&] {
    if (taken < samples.size()) samples[taken++] = {ResidentKilobytes(), AllocationCount()};
  });
  long count = suite.Scaled(1000000);
  long every = std::max(1L, count / 10);
  std::string line = "steady " + std::to_string(count) + " " + std::to_string(every);
  Timing timing;
  for (auto _ : state) {
    taken = 0;
    bool ok = suite.ServeEmbedded(suite.Application("roundtrip"), line, "steady", timing, error);
    if (ok && taken < 2) {
      ok = false;
      error = "the application printed no marks";
    }
    if (!ok) break;
    state.SetIterationTime(timing.seconds);
  }
  server->SetMarkHook(nullptr);
  if (!error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  long peak = samples[0].resident;
  for (size_t i = 0; i < taken; ++i) peak = std::max(peak, samples[i].resident);
  // The marks are requests too: every one of them is counted.
  double requests = static_cast<double>(timing.count + static_cast<long>(taken) - 1);
  state.counters["requests"] = requests;
  state.counters["rate"] = timing.PerSecond();
  state.counters["resident_kb"] = static_cast<double>(samples[0].resident);
  state.counters["growth_kb"] = static_cast<double>(peak - samples[0].resident);
  state.counters["final_growth_kb"] = static_cast<double>(samples[taken - 1].resident - samples[0].resident);
  state.counters["allocations"] =
      static_cast<double>(samples[taken - 1].allocations - samples[0].allocations);
}

template <class Function, class... Args>
void Register(const std::string& name, Function function, Args... args) {
  benchmark::RegisterBenchmark(name.c_str(), function, args...)
      ->Iterations(1)
      ->UseManualTime()
      ->Unit(benchmark::kSecond);
}

}  // namespace

void RegisterBenchmarks(bool free, bool pinned) {
  std::vector<Placement> placements;
  if (free) placements.push_back(Placement::kFree);
  if (pinned) placements.push_back(Placement::kPinned);
  for (Placement p : placements) {
    std::string suffix = std::string("/") + PlacementName(p);
    Register("roundtrip/echo" + suffix, RoundTrip, p, std::string("echo"));
    Register("roundtrip/time" + suffix, RoundTrip, p, std::string("time"));
    Register("bulk/write" + suffix, BulkWrite, p);
    Register("bulk/source" + suffix, BulkSource, p);
    Register("bulk/append" + suffix, BulkAppend, p);
    Register("console/lines" + suffix, ConsoleLines, p, std::string("none"));
    Register("console/full" + suffix, ConsoleLines, p, std::string("full"));
    Register("startup/empty" + suffix, Startup, p);
  }
  // Allocations and resident size do not depend on the placement.
  Register("steady/echo", SteadyState);
}

}  // namespace veltra::bench
