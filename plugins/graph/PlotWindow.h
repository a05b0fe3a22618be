// A generic plot window: axes with ticks and labels, grid, a trace redrawn
// column by column, measurement cursors and a colour map. What it plots
// (ranges, titles, units, the points) it asks of the derived class.
//
// The plot area lives in an image of its own that holds background, grid
// and trace. A new data set redraws only the trace in that image, column by
// column, erasing just what the new trace no longer covers, and repaints
// only the plot area: the frame is not drawn again. While the cursors are
// shown the image stays frozen and the cursor lines are drawn over it.
#pragma once

#include <QImage>
#include <QWidget>
#include <string>
#include <vector>

#include "plugins/graph/ColorMap.h"
#include "plugins/graph/CursorPair.h"
#include "plugins/graph/GraphLayout.h"
#include "plugins/graph/ScaleTicks.h"
#include "plugins/graph/TraceRaster.h"

class QMenu;
class QPainter;
class QRegion;

namespace veltra {

// The context menu's commands.
enum GraphCommand {
  kCommandLightBlue = 32771,
  kCommandOrange = 32772,
  kCommandBlackAndWhite = 32773,
  kCommandRed = 32774,
  kCommandRgb = 32775,
  kCommandVideoFilter = 32776,
  kCommandSaveToFile = 32777,
  kCommandGraphProperties = 32778,
  kCommandLightGrey = 32779,
};

// The points of a trace: point k is data[first + k] for k below count, where
// it lies inside the dataSize values of data.
struct TracePoints {
  const double* data = nullptr;
  long long dataSize = 0;
  long long first = 0;
  int count = 0;
};

class PlotWindow : public QWidget {
  Q_OBJECT

 public:
  explicit PlotWindow(QWidget* parent = nullptr);
  ~PlotWindow() override;

  int ColorMapNumber() const { return colorMap_.Map(); }
  // Sets the map and repaints the whole window; nothing when already set.
  void SetColorMap(int map);
  const ColorMap& Colors() const { return colorMap_; }
  bool VideoFilter() const { return videoFilter_; }
  // Takes effect at the next trace redraw.
  void SetVideoFilter(bool on) { videoFilter_ = on; }

  bool CursorsShown() const { return cursorsShown_; }
  // As a click away from the cursor lines does.
  void SetCursorsShown(bool shown);
  const CursorPair& XCursors() const { return xCursors_; }
  const CursorPair& YCursors() const { return yCursors_; }

  const GraphLayout& Layout() const { return layout_; }
  int TextHeight() const { return textHeight_; }
  int CharWidth() const { return charWidth_; }
  // Tick positions of the last frame: pixels of the vertical and the
  // horizontal grid lines.
  const std::vector<int>& XGrid() const { return xGrid_; }
  const std::vector<int>& YGrid() const { return yGrid_; }
  const TraceRaster& Raster() const { return raster_; }

  // Paints counted since construction: those that drew the frame, and
  // those that only redrew the trace after a new data set.
  int FrameRepaints() const { return frameRepaints_; }
  int TraceRedraws() const { return traceRedraws_; }

  // The context menu as it would open now; the caller owns it.
  QMenu* BuildContextMenu();
  // Carries out a context-menu command.
  virtual void Command(int command);

  // Redraws the trace in the plot image from the data as a new data set's
  // paint does (no allocation once the buffers have grown).
  void RedrawTraceImage();

 protected:
  // The effective values, from the derived class.
  virtual double XMinimum() const = 0;
  virtual double XSize() const = 0;
  virtual double YMinimum() const = 0;
  virtual double YSize() const = 0;
  virtual double PhysicalMinimum() const = 0;
  virtual double PhysicalSize() const = 0;
  virtual std::string XTitle() const = 0;
  virtual std::string XUnit() const = 0;
  virtual std::string YTitle() const = 0;
  virtual std::string YUnit() const = 0;
  // Copies the data into the working buffer (smoothing it when the video
  // filter is on) and returns the points to draw; PreparedPoints returns
  // them again without reading the data.
  virtual TracePoints PrepareData() = 0;
  virtual TracePoints PreparedPoints() const = 0;

  // A new data set: repaint only the trace, unless the display is frozen.
  void RequestTraceRedraw();

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  AxisScale XScale() const;
  AxisScale YScale() const;
  void ComputeLayout();
  void ComputeTicks();
  void EnsurePlotImage();
  // Background and grid into the plot image, and the background column.
  void DrawPlotBackground();
  // The trace into the plot image from points, column by column.
  void DrawTraceColumns(const TracePoints& points);
  void DrawFrame(QPainter& painter, const QRegion& region);
  void DrawTitles(QPainter& painter, const QRegion& region);
  void DrawXAxis(QPainter& painter);
  void DrawYAxis(QPainter& painter);
  void DrawBorders(QPainter& painter);
  void DrawCursorLines(QPainter& painter);
  void DrawXCursorBar(QPainter& painter);
  void DrawYCursorBar(QPainter& painter);
  void UpdateCursorArea();
  void UpdateHover(int x, int y);
  QRect PlotQRect() const;

  ColorMap colorMap_;
  MapColors colors_;
  bool videoFilter_ = true;

  GraphLayout layout_;
  int textHeight_ = 0;
  int charWidth_ = 0;
  ScaleTicks xTicks_;
  ScaleTicks yTicks_;
  std::vector<int> xGrid_;
  std::vector<int> yGrid_;

  QImage plotImage_;
  // Background with the horizontal grid lines, one entry per plot row: what
  // an erased part of a trace column is restored from.
  std::vector<uint32_t> backgroundColumn_;
  // 1 for plot columns that carry a vertical grid line.
  std::vector<uint8_t> gridColumn_;
  TraceRaster raster_;

  bool cursorsShown_ = false;
  bool offscreenValid_ = false;
  bool tracePending_ = false;
  CursorPair xCursors_;
  CursorPair yCursors_;

  int frameRepaints_ = 0;
  int traceRedraws_ = 0;
};

}  // namespace veltra
