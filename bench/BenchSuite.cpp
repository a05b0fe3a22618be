#include "bench/BenchSuite.h"

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "bench/BenchProcess.h"
#include "platform/DynamicLibrary.h"

namespace veltra::bench {

namespace {

using Clock = std::chrono::steady_clock;

std::string MakeWorkDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "veltra-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  return pattern;
}

// Processor time of this process (all its threads, not its children).
double OwnCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Starts one of our programs quietly and waits for it: when it started and
// when it was reaped. A program that is not built, or that ends with another
// status than 0, is an error.
bool TimeProgram(const std::string& path, const std::vector<std::string>& args,
                 const std::vector<std::string>& environment, Clock::time_point& started,
                 Clock::time_point& reaped, std::string& error) {
  std::string name = std::filesystem::path(path).filename().string();
  if (access(path.c_str(), X_OK) != 0) {
    error = name + " is not built";
    return false;
  }
  started = Clock::now();
  BenchProcess process;
  if (!process.Start(path, args, environment, -1, true, error)) return false;
  int status = process.Wait();
  reaped = Clock::now();
  if (status != 0) {
    error = name + " ended with status " + std::to_string(status);
    return false;
  }
  return true;
}

}  // namespace

BenchSuite& BenchSuite::Get() {
  static BenchSuite suite;
  return suite;
}

BenchSuite::BenchSuite()
    : bin_(DynamicLibrary::ProgramDirectory()), work_(MakeWorkDirectory()), timings_(work_ + "/times.txt") {
  // The server, its libraries and veltra-run keep their settings here, never
  // in the user's own.
  std::filesystem::create_directories(work_ + "/config");
  setenv("VELTRA_CONFIG_DIR", (work_ + "/config").c_str(), 1);
  unsetenv("VELTRA_PLUGIN_PATH");
}

BenchSuite::~BenchSuite() {
  Close();
}

void BenchSuite::Close() {
  server_.reset();
  serverFailed_ = true;
  serverError_ = "the benchmarks are closed";
  std::error_code ec;
  if (!work_.empty()) std::filesystem::remove_all(work_, ec);
  work_.clear();
}

long BenchSuite::Scaled(long count) const {
  return std::max(1L, std::lround(static_cast<double>(count) * settings.scale));
}

std::string BenchSuite::Application(const std::string& name) const {
  return bin_ + "bench/" + name + ".app";
}

std::string BenchSuite::WorkFile(const std::string& name) const {
  return work_ + "/" + name;
}

std::string BenchSuite::RunnerPath() const {
  return bin_ + "veltra-run";
}

EmbeddedServer* BenchSuite::Server(std::string& error) {
  if (!server_ && !serverFailed_) {
    server_ = std::make_unique<EmbeddedServer>();
    if (!server_->Open(serverError_)) {
      serverFailed_ = true;
      server_.reset();
    }
  }
  if (!server_) error = serverError_;
  return server_.get();
}

bool BenchSuite::TakeTiming(const std::string& phase, Timing& timing, std::string& error) {
  auto taken = timings_.Take(phase);
  if (!taken) {
    if (error.empty()) error = "the application reported no \"" + phase + "\" timing";
    return false;
  }
  timing = *taken;
  return true;
}

bool BenchSuite::ServeEmbedded(const std::string& application, const std::string& commandLine,
                               const std::string& phase, Timing& timing, std::string& error) {
  EmbeddedServer* server = Server(error);
  if (!server) return false;
  timings_.Clear();
  // The simulator hands our environment on to the application.
  std::string entry = timings_.EnvironmentEntry();
  size_t equals = entry.find('=');
  setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
  double cpu = OwnCpuSeconds();
  bool ran = server->Run(application, commandLine, error);
  cpu = OwnCpuSeconds() - cpu;
  if (!TakeTiming(phase, timing, error) || !ran) return false;
  timing.hostCpu = cpu;
  return true;
}

bool BenchSuite::ServeRunner(const std::string& application, const std::string& commandLine,
                             const std::string& stdoutFile, const std::string& phase, Timing& timing,
                             std::string& error) {
  if (access(RunnerPath().c_str(), X_OK) != 0) {
    error = "veltra-run is not built";
    return false;
  }
  timings_.Clear();
  BenchProcess runner;
  if (!runner.Start(RunnerPath(),
                    {"--timeout", "300", "--stdout", stdoutFile, "--args", commandLine, application},
                    {timings_.EnvironmentEntry()}, -1, true, error))
    return false;
  double cpu = 0;
  int status = runner.Wait(&cpu);
  if (status != 0) error = "veltra-run ended with status " + std::to_string(status);
  if (!TakeTiming(phase, timing, error) || status != 0) return false;
  // The runner's figure includes the application it started and reaped.
  timing.hostCpu = std::max(0.0, cpu - timing.appCpu);
  return true;
}

bool BenchSuite::ServeRaw(const std::string& application, const std::string& commandLine,
                          const std::string& stdoutFile, const std::string& phase, Timing& timing,
                          std::string& error) {
  timings_.Clear();
  RawResponder raw(stdoutFile);
  double cpu = OwnCpuSeconds();
  bool ran = raw.Run(application, commandLine, {timings_.EnvironmentEntry()}, error);
  cpu = OwnCpuSeconds() - cpu;
  if (!TakeTiming(phase, timing, error) || !ran) return false;
  timing.hostCpu = cpu;
  return true;
}

bool BenchSuite::SplitSpan(std::chrono::steady_clock::time_point started,
                           std::chrono::steady_clock::time_point reaped, Span& span, std::string& error) {
  Timing begun, ended;
  if (!TakeTiming("begun", begun, error) || !TakeTiming("ended", ended, error)) return false;
  // steady_clock is the monotonic clock the application reads.
  auto ms = [](std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double, std::milli>(t.time_since_epoch()).count();
  };
  span.total = ms(reaped) - ms(started);
  span.start = begun.seconds * 1e3 - ms(started);
  span.end = ms(reaped) - ended.seconds * 1e3;
  return true;
}

bool BenchSuite::TimeRunner(const std::string& application, Span& span, std::string& error) {
  timings_.Clear();
  Clock::time_point started, reaped;
  return TimeProgram(RunnerPath(), {application}, {timings_.EnvironmentEntry()}, started, reaped, error) &&
         SplitSpan(started, reaped, span, error);
}

bool BenchSuite::TimeFloor(Span& span, std::string& error) {
  Clock::time_point started, reaped;
  if (!TimeProgram(bin_ + "veltra-bench-floor", {}, {}, started, reaped, error)) return false;
  span = Span{std::chrono::duration<double, std::milli>(reaped - started).count(), 0, 0};
  return true;
}

bool BenchSuite::TimeBare(const std::string& application, Span& span, std::string& error) {
  timings_.Clear();
  // Standard output goes nowhere, as veltra-run's does here.
  RawResponder raw("/dev/null");
  auto started = std::chrono::steady_clock::now();
  bool ran = raw.Run(application, "", {timings_.EnvironmentEntry()}, error);
  auto reaped = std::chrono::steady_clock::now();
  return ran && SplitSpan(started, reaped, span, error);
}

}  // namespace veltra::bench
