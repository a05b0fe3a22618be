// How fast a graph window takes new data sets and repaints, off screen:
//   graph-bench [--seconds=S]
// Prints one line per figure and exits with 1 when a target is missed:
// Show of 1024 points into a 640 x 480 window at least 5000 per second with
// no frame repaint, a full repaint under 2 ms, no allocation of ours per
// Show.
#include <QApplication>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "plugins/graph/GraphWindow.h"
#include "tests/support/CountingAllocator.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

std::vector<double> Spectrum(int n, double phase) {
  std::vector<double> values(n);
  for (int k = 0; k < n; ++k)
    values[k] = -60 + 25 * std::sin(k * 0.05 + phase) + 10 * std::cos(k * 0.71 + 2 * phase);
  return values;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 2.0;
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--seconds=", 10) == 0) seconds = std::atof(argv[i] + 10);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // A scratch settings store: the benchmark never touches the user's.
  const std::string config = (std::filesystem::temp_directory_path() / "veltra-graph-bench").string();
  std::filesystem::create_directories(config);
  setenv("VELTRA_CONFIG_DIR", config.c_str(), 1);
  QApplication app(argc, argv);

  veltra::GraphWindow window("Plexa_301", "bench");
  window.resize(640, 480);
  window.SetAxisRangesPhis(0, 1024, -100, 100);
  window.SetAxisRangesUser(0, 22050, -100, 100);
  window.SetVideoFilter(true);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  std::vector<std::vector<double>> sets;
  for (int i = 0; i < 16; ++i) sets.push_back(Spectrum(1024, i * 0.4));
  for (int i = 0; i < 100; ++i) {
    window.Show(sets[i % 16].data(), 1024);
    QApplication::processEvents();
  }
  bool ok = true;

  // Show through Qt's whole paint cycle: repaint request, paint event, the
  // trace redrawn into the plot image, the plot copied to the window.
  {
    const int frames = window.FrameRepaints();
    const int traces = window.TraceRedraws();
    const long allocations = veltra::CountedAllocations();
    long shows = 0;
    const Clock::time_point start = Clock::now();
    Clock::time_point now = start;
    while (Seconds(now - start) < seconds) {
      for (int i = 0; i < 100; ++i, ++shows) {
        window.Show(sets[shows % 16].data(), 1024);
        QApplication::processEvents();
      }
      now = Clock::now();
    }
    const double rate = shows / Seconds(now - start);
    const double perShow = double(veltra::CountedAllocations() - allocations) / shows;
    const bool met =
        rate >= 5000 && window.FrameRepaints() == frames && window.TraceRedraws() - traces == shows;
    ok = ok && met;
    std::printf(
        "show/cycle       %9.0f per second  (target >= 5000)  frame repaints %d, trace redraws %ld of %ld,"
        " Qt allocations per cycle %.1f  %s\n",
        rate, window.FrameRepaints() - frames, long(window.TraceRedraws() - traces), shows, perShow,
        met ? "ok" : "MISSED");
  }

  // The trace redraw alone, as Show's paint does it, and its allocations.
  {
    const long allocations = veltra::CountedAllocations();
    long shows = 0;
    window.Show(sets[0].data(), 1024);
    const long afterRequest = veltra::CountedAllocations();
    const Clock::time_point start = Clock::now();
    Clock::time_point now = start;
    while (Seconds(now - start) < seconds / 2) {
      for (int i = 0; i < 100; ++i, ++shows) {
        window.Show(sets[shows % 16].data(), 1024);
        window.RedrawTraceImage();
      }
      now = Clock::now();
    }
    const long ours = veltra::CountedAllocations() - afterRequest;
    QApplication::processEvents();
    const bool met = ours == 0;
    ok = ok && met;
    std::printf("show/trace       %9.0f per second  %.2f us each, allocations %ld (first request %ld)  %s\n",
                shows / Seconds(now - start), 1e6 * Seconds(now - start) / shows, ours,
                afterRequest - allocations, met ? "ok" : "MISSED");
  }

  // Full repaints: frame, titles, labels, grid and trace.
  {
    std::vector<double> times;
    const Clock::time_point begin = Clock::now();
    while (Seconds(Clock::now() - begin) < seconds / 2) {
      const Clock::time_point start = Clock::now();
      window.repaint();
      times.push_back(Seconds(Clock::now() - start));
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2] * 1e3;
    const double p99 = times[times.size() * 99 / 100] * 1e3;
    const bool met = median < 2.0;
    ok = ok && met;
    std::printf(
        "repaint/full     %9.3f ms median, %.3f ms 99th percentile, %zu repaints  (target < 2 ms)  %s\n",
        median, p99, times.size(), met ? "ok" : "MISSED");
  }
  window.Destroy();
  std::filesystem::remove_all(config);
  return ok ? 0 : 1;
}
