// The figures: each one runs the server and the raw transport alternately in
// the same process, so both see the same machine, and reports the server's
// rate, the raw rate and the median of the per-trial ratios.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchSuite.h"
#include "bench/MemoryProbe.h"

namespace veltra::bench {

namespace {

constexpr double kBlockMegabytes = 4096 / 1e6;

using SideRun = std::function<bool(Timing&, std::string&)>;
using Check = std::function<bool(std::string&)>;

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Runs the configured number of trials, each the server and the raw side
// once, in alternating order; units converts a request count into the
// figure's unit (1 for requests and lines, megabytes per 4096-byte block).
void CompareWithRaw(benchmark::State& state, int trials, double units, const SideRun& server,
                    const SideRun& raw, const Check& check = nullptr) {
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
  state.counters["server"] = Median(serverRates);
  state.counters["raw"] = Median(rawRates);
  state.counters["ratio"] = Median(ratios);
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

void RoundTrip(benchmark::State& state, const std::string& mode) {
  BenchSuite& suite = BenchSuite::Get();
  std::string app = suite.Application("roundtrip");
  std::string line = mode + " " + std::to_string(suite.Scaled(10000));
  std::string console = suite.WorkFile("roundtrip-stdout.txt");
  CompareWithRaw(
      state, suite.settings.trials, 1,
      [&](Timing& t, std::string& e) { return suite.ServeEmbedded(app, line, mode, t, e); },
      [&](Timing& t, std::string& e) { return suite.ServeRaw(app, line, console, mode, t, e); });
}

void BulkWrite(benchmark::State& state) {
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
      state, suite.settings.trials, kBlockMegabytes,
      [&](Timing& t, std::string& e) { return suite.ServeEmbedded(app, serverLine, "write", t, e); },
      [&](Timing& t, std::string& e) { return suite.ServeRaw(app, rawLine, console, "write", t, e); },
      [&](std::string& e) { return SameSize(serverFile, rawFile, expected, e); });
}

void BulkSource(benchmark::State& state) {
  BenchSuite& suite = BenchSuite::Get();
  std::string app = suite.Application("bulk");
  std::string line = "source " + std::to_string(suite.Scaled(5000));
  std::string console = suite.WorkFile("bulk-stdout.txt");
  CompareWithRaw(
      state, suite.settings.trials, kBlockMegabytes,
      [&](Timing& t, std::string& e) { return suite.ServeEmbedded(app, line, "source", t, e); },
      [&](Timing& t, std::string& e) { return suite.ServeRaw(app, line, console, "source", t, e); });
}

void ConsoleLines(benchmark::State& state) {
  BenchSuite& suite = BenchSuite::Get();
  std::string app = suite.Application("console");
  // A million lines on each side, split over the trials so that the server
  // and the raw transport still alternate within a few minutes in all.
  int trials = suite.settings.trials;
  std::string line = std::to_string((suite.Scaled(1000000) + trials - 1) / trials);
  std::string serverFile = suite.WorkFile("console-server.txt");
  std::string rawFile = suite.WorkFile("console-raw.txt");
  CompareWithRaw(
      state, trials, 1,
      [&](Timing& t, std::string& e) { return suite.ServeRunner(app, line, serverFile, "console", t, e); },
      [&](Timing& t, std::string& e) { return suite.ServeRaw(app, line, rawFile, "console", t, e); },
      [&](std::string& e) { return SameContent(serverFile, rawFile, e); });
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

void Register(const char* name, void (*function)(benchmark::State&)) {
  benchmark::RegisterBenchmark(name, function)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
}

}  // namespace

void RegisterBenchmarks() {
  benchmark::RegisterBenchmark("roundtrip/echo", RoundTrip, std::string("echo"))
      ->Iterations(1)
      ->UseManualTime()
      ->Unit(benchmark::kSecond);
  benchmark::RegisterBenchmark("roundtrip/time", RoundTrip, std::string("time"))
      ->Iterations(1)
      ->UseManualTime()
      ->Unit(benchmark::kSecond);
  Register("bulk/write", BulkWrite);
  Register("bulk/source", BulkSource);
  Register("console/lines", ConsoleLines);
  Register("steady/echo", SteadyState);
}

}  // namespace veltra::bench
