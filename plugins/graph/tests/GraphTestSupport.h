// What the graph window tests share: a window on screen (off screen, that
// is), the picture the screen really shows, and the plot area the plain
// functions say it should show.
#pragma once

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "plugins/graph/ColorMap.h"
#include "plugins/graph/GraphWindow.h"
#include "plugins/graph/ScaleTicks.h"
#include "plugins/graph/TraceRaster.h"
#include "plugins/graph/VideoFilter.h"
#include "tests/support/TempDir.h"

namespace veltra::test {

constexpr const char* kBranch = "Plexa_301";

inline std::unique_ptr<GraphWindow> OpenWindow(const std::string& name, int width = 640, int height = 480) {
  auto window = std::make_unique<GraphWindow>(kBranch, name);
  window->resize(width, height);
  window->show();
  if (!QTest::qWaitForWindowExposed(window.get())) return nullptr;
  QApplication::processEvents();
  return window;
}

// What the screen shows of the window: its backing store, without painting
// anything again (grab() would repaint the whole window).
inline QImage OnScreen(GraphWindow& window) {
  QApplication::processEvents();
  return window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

inline Rgb PixelAt(const QImage& image, int x, int y) {
  return image.pixel(x, y) & 0xffffffu;
}

struct Ranges {
  double xMin = 0, xSize = 100, yMin = 0, ySize = 100, physMin = 0, physSize = 100;
  long long first = 0;
  int count = 1024;
  bool filter = false;
  int map = 2;
};

// The plot area computed from the plain functions alone.
inline QImage ExpectedPlot(const GraphWindow& window, const double* data, long long size, const Ranges& r) {
  const PixelRect p = window.Layout().plot;
  const int w = p.Width();
  const int h = p.Height();
  const MapColors colors = ColorMap::ColorsOf(r.map);
  std::vector<bool> gridColumn(w, false), gridRow(h, false);
  ScaleTicks ticks;
  if (w >= 12 * window.CharWidth()) {
    ticks.Compute(r.xMin, r.xSize, w, ScaleTicks::XLabelSpacing(r.xMin, r.xSize, w, window.CharWidth()));
    for (const ScaleTick& t : ticks.Ticks()) {
      const int c = static_cast<int>(t.offset + 0.5);
      if (c >= 0 && c < w) gridColumn[c] = true;
    }
  }
  if (h >= 4 * window.TextHeight()) {
    ticks.Compute(r.yMin, r.ySize, h, ScaleTicks::YLabelSpacing(r.ySize, h, window.TextHeight()));
    for (const ScaleTick& t : ticks.Ticks()) {
      const int row = static_cast<int>(h - t.offset - 0.5);
      if (row >= 0 && row < h) gridRow[row] = true;
    }
  }
  const long long n = data ? std::clamp<long long>(r.count, 0, size) : 0;
  std::vector<double> working(data, data + n);
  if (r.filter && n > 8) ApplyVideoFilter(working.data(), static_cast<int>(n));
  TraceRaster raster;
  raster.Rasterise(working.data(), n, r.first, std::max(r.count, 0), w, h, r.physMin, r.physSize);

  QImage image(w, h, QImage::Format_RGB32);
  for (int c = 0; c < w; ++c) {
    const ColumnSpan span = raster.Span(c);
    for (int row = 0; row < h; ++row) {
      Rgb color = colors.background;
      if (gridColumn[c] || gridRow[row]) color = colors.grid;
      if (row >= span.top && row < span.bottom) color = colors.trace;
      image.setPixel(c, row, 0xff000000u | color);
    }
  }
  return image;
}

// Pixels of the plot that differ from the expected picture.
inline int PlotDifferences(const QImage& screen, const GraphWindow& window, const QImage& expected) {
  const PixelRect p = window.Layout().plot;
  int differences = 0;
  for (int y = 0; y < p.Height(); ++y)
    for (int x = 0; x < p.Width(); ++x)
      if (PixelAt(screen, p.left + x, p.top + y) != (expected.pixel(x, y) & 0xffffffu)) ++differences;
  return differences;
}

inline std::vector<double> Spectrum(int n, double phase = 0) {
  std::vector<double> values(n);
  for (int k = 0; k < n; ++k)
    values[k] = 50 + 30 * std::sin(k * 0.05 + phase) + 15 * std::cos(k * 0.71 + 2 * phase);
  return values;
}

}  // namespace veltra::test
