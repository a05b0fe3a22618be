// hostrix-bench: the terminal store's own write rate (it must never allocate),
// and the console throughput of Hostrix against veltra-run for the same
// application, measured in the same run.
//
//   hostrix-bench [--lines=N] [--trials=N] [google benchmark options]
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "host/TerminalStore.h"
#include "platform/DynamicLibrary.h"
#include "tests/support/CountingAllocator.h"

extern char** environ;

namespace veltra {
namespace {

// Lines of 32 bytes as an application writes them, the newline included.
void StoreWrite(benchmark::State& state) {
  TerminalStore store;
  if (!store.Allocate()) {
    state.SkipWithError("no memory for the store");
    return;
  }
  char line[33];
  std::snprintf(line, sizeof line, "line 0000000 of the store test.\n");
  long allocations = CountedAllocations();
  for (auto _ : state) {
    for (int i = 0; i < 1000; ++i) store.Write(line);
  }
  if (CountedAllocations() != allocations) state.SkipWithError("storing allocated memory");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 1000 * 32);
}
BENCHMARK(StoreWrite);

// Text with tabs and lines longer than the store keeps, for the slow paths.
void StoreWriteTabsAndLongLines(benchmark::State& state) {
  TerminalStore store;
  if (!store.Allocate()) return;
  std::string text;
  for (int i = 0; i < 40; ++i) text += "col\tumn\t";
  text += std::string(500, 'x') + "\n";
  long allocations = CountedAllocations();
  for (auto _ : state) store.Write(text.c_str());
  if (CountedAllocations() != allocations) state.SkipWithError("storing allocated memory");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(StoreWriteTabsAndLongLines);

// Runs a program to its end with the environment changes; seconds, or -1.
double TimeProgram(const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& environment) {
  std::vector<std::string> envStore;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    if (!environment.count(name)) envStore.push_back(entry);
  }
  for (const auto& [name, value] : environment) envStore.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStore = args;
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

int CompareConsole(long lines, int trials) {
  std::string bin = DynamicLibrary::ProgramDirectory();
  std::string app = bin + "bench/console.app";
  char config[] = "/tmp/hostrix-bench-XXXXXX";
  if (!mkdtemp(config)) return 1;
  std::string settings = bin + "veltra-settings";
  std::string key = "Software\\Orv\\Veltra\\Server\\Settings";
  std::map<std::string, std::string> environment{{"VELTRA_CONFIG_DIR", config}};
  // Hostrix takes the application's arguments from the options.
  TimeProgram({settings, "set", key, "CommandLine", "string", std::to_string(lines)}, environment);
  TimeProgram({settings, "set", key, "SayStop", "dword", "0"}, environment);
  std::map<std::string, std::string> gui = environment;
  if (!std::getenv("DISPLAY")) gui["QT_QPA_PLATFORM"] = "offscreen";
  gui["VELTRA_BOXES"] = "stderr";

  std::vector<double> runner, hostrix;
  for (int trial = 0; trial < trials; ++trial) {
    runner.push_back(TimeProgram({bin + "veltra-run", "-a", std::to_string(lines), app}, environment));
    hostrix.push_back(TimeProgram({bin + "Hostrix", app, "-exit"}, gui));
  }
  std::filesystem::remove_all(config);
  auto best = [](std::vector<double> v) {
    v.erase(std::remove_if(v.begin(), v.end(), [](double s) { return s <= 0; }), v.end());
    return v.empty() ? -1.0 : *std::min_element(v.begin(), v.end());
  };
  double r = best(runner), h = best(hostrix);
  if (r <= 0 || h <= 0) {
    std::fprintf(stderr, "hostrix-bench: a console run failed (veltra-run %.3f s, Hostrix %.3f s)\n", r, h);
    return 1;
  }
  std::printf("\nconsole, %ld lines of 33 bytes, best of %d (whole process, start-up included)\n", lines,
              trials);
  std::printf("  veltra-run  %8.3f s  %10.0f lines/s\n", r, lines / r);
  std::printf("  Hostrix     %8.3f s  %10.0f lines/s\n", h, lines / h);
  std::printf("  Hostrix / veltra-run throughput: %.2f\n", r / h);
  return 0;
}

}  // namespace
}  // namespace veltra

int main(int argc, char** argv) {
  long lines = 1000000;
  int trials = 3;
  std::vector<char*> rest{argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--lines=", 8) == 0)
      lines = std::atol(argv[i] + 8);
    else if (std::strncmp(argv[i], "--trials=", 9) == 0)
      trials = std::max(1, std::atoi(argv[i] + 9));
    else
      rest.push_back(argv[i]);
  }
  int restCount = static_cast<int>(rest.size());
  benchmark::Initialize(&restCount, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return veltra::CompareConsole(lines, trials);
}
