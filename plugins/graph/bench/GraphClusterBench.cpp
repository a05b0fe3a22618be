// The graph cluster through the whole path: a DSP application, the link,
// veltra-run with the engine and Plexa_301 off screen, the repaint and the
// reply. Prints Shows of 1024 points per second, and the bytes per second
// of AppendData beside the engine's core sink service with its largest
// blocks (4096 bytes, half an AppendData).
//   graph-cluster-bench [--count N]
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

// Nanoseconds of the timed loop, or -1.
double Measure(const std::string& bin, const std::string& mode, long count) {
  veltra::test::TempDir settings;
  veltra::test::ProcessOptions options;
  options.environment["VELTRA_CONFIG_DIR"] = settings.Path().string();
  options.environment["DISPLAY"] = std::nullopt;
  options.timeoutMilliseconds = 600000;
  auto result = veltra::test::RunProcess(
      bin + "/veltra-run", {"--args", mode + " " + std::to_string(count), bin + "/bench/graphbench.app"},
      options);
  std::istringstream line(result.out);
  std::string name;
  long got = 0;
  double ns = -1;
  if (!(line >> name >> got >> ns) || name != mode || got != count || result.exitStatus != 0) {
    std::fprintf(stderr, "%s: %s%s\n", mode.c_str(), result.out.c_str(), result.err.c_str());
    return -1;
  }
  return ns;
}

}  // namespace

int main(int argc, char** argv) {
  long count = 20000;
  if (argc == 3 && std::string(argv[1]) == "--count") count = std::atol(argv[2]);
  const char* binEnv = std::getenv("VELTRA_TEST_BIN");
  std::string bin = binEnv ? binEnv : veltra::test::TestBinDirectory();
  const double bytes = 8.0 * 1034;

  double show = Measure(bin, "show", count);
  double append = Measure(bin, "append", count);
  double sink = Measure(bin, "sink", count);
  if (show < 0 || append < 0 || sink < 0) return 1;
  std::printf("Show of 1024 points (AppendData + Show, repainted off screen): %.0f /s\n", count / show * 1e9);
  std::printf("AppendData of 1034 samples: %.1f MB/s\n", count * bytes / append * 1e3);
  std::printf("AppendData: %.0f requests/s\n", count / append * 1e9);
  std::printf("core sink of 4096 bytes: %.1f MB/s, %.0f requests/s\n", count * 4096.0 / sink * 1e3,
              count / sink * 1e9);
  return 0;
}
