#include "plugins/graph/PlotWindow.h"

#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "plugins/graph/CursorBarLayout.h"
#include "plugins/graph/PixelMath.h"

namespace veltra {
namespace {

// Pixels around the plot where the mouse still acts on it.
constexpr int kMouseMargin = 5;

QRgb ToQRgb(Rgb rgb) {
  return 0xff000000u | rgb;
}

QRect ToQRect(const PixelRect& r) {
  return QRect(r.left, r.top, std::max(r.Width(), 0), std::max(r.Height(), 0));
}

QString FormatInt(int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  return QString::fromLatin1(text);
}

struct MapItem {
  const char* text;
  int command;
  int map;
};

constexpr MapItem kMapItems[] = {
    {"Black and white", kCommandBlackAndWhite, 0},
    {"Red", kCommandRed, 1},
    {"Light Blue", kCommandLightBlue, 2},
    {"Light Grey", kCommandLightGrey, 3},
    {"Orange", kCommandOrange, 4},
    {"RGB", kCommandRgb, 9},
};

}  // namespace

PlotWindow::PlotWindow(QWidget* parent) : QWidget(parent) {
  // Every pixel is painted by us: no erasing first, which would flicker.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setMouseTracking(true);
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  QFontMetrics metrics(font());
  textHeight_ = metrics.height();
  // The widest character we draw: QFontMetrics::maxWidth also counts the
  // font's widest symbols, far wider than any digit or letter of a label.
  // Advances are fractional: rounding up keeps a row of n characters within
  // n character widths.
  const QFontMetricsF exact(font());
  qreal widest = 1;
  for (char c = ' '; c <= '~'; ++c) widest = std::max(widest, exact.horizontalAdvance(QLatin1Char(c)));
  charWidth_ = static_cast<int>(std::ceil(widest));
  colors_ = colorMap_.Colors();
  xGrid_.reserve(ScaleTicks::kMaxTicks);
  yGrid_.reserve(ScaleTicks::kMaxTicks);
}

PlotWindow::~PlotWindow() = default;

void PlotWindow::SetColorMap(int map) {
  if (!colorMap_.SetMap(map)) return;
  offscreenValid_ = false;
  update();
}

void PlotWindow::SetCursorsShown(bool shown) {
  xCursors_.SetVisible(shown);
  yCursors_.SetVisible(shown);
  cursorsShown_ = shown;
  if (shown) {
    xCursors_.PlaceIfUnplaced(XScale());
    yCursors_.PlaceIfUnplaced(YScale());
    // Entering the mode freezes the points last prepared.
    offscreenValid_ = false;
  } else {
    xCursors_.EndDrag();
    yCursors_.EndDrag();
    unsetCursor();
  }
  update();
}

AxisScale PlotWindow::XScale() const {
  return {XMinimum(), XSize(), layout_.plot.Width()};
}

AxisScale PlotWindow::YScale() const {
  return {YMinimum(), YSize(), layout_.plot.Height()};
}

QRect PlotWindow::PlotQRect() const {
  return ToQRect(layout_.plot);
}

void PlotWindow::ComputeLayout() {
  layout_ = GraphLayout::Compute({0, 0, width(), height()}, textHeight_, charWidth_);
}

void PlotWindow::ComputeTicks() {
  const PixelRect& p = layout_.plot;
  xGrid_.clear();
  yGrid_.clear();
  if (p.IsEmpty()) {
    xTicks_.Compute(0, 0, 0, 0);
    yTicks_.Compute(0, 0, 0, 0);
    return;
  }
  xTicks_.Compute(XMinimum(), XSize(), p.Width(),
                  ScaleTicks::XLabelSpacing(XMinimum(), XSize(), p.Width(), charWidth_));
  yTicks_.Compute(YMinimum(), YSize(), p.Height(),
                  ScaleTicks::YLabelSpacing(YSize(), p.Height(), textHeight_));
  if (p.Width() >= 12 * charWidth_)
    for (const ScaleTick& t : xTicks_.Ticks()) xGrid_.push_back(p.left + TruncToPixel(t.offset + 0.5));
  if (p.Height() >= 4 * textHeight_)
    for (const ScaleTick& t : yTicks_.Ticks())
      yGrid_.push_back(p.top + TruncToPixel(p.Height() - t.offset - 0.5));
}

void PlotWindow::EnsurePlotImage() {
  const PixelRect& p = layout_.plot;
  if (p.IsEmpty()) {
    plotImage_ = QImage();
    return;
  }
  if (plotImage_.width() != p.Width() || plotImage_.height() != p.Height()) {
    plotImage_ = QImage(p.Width(), p.Height(), QImage::Format_RGB32);
    backgroundColumn_.resize(p.Height());
    gridColumn_.resize(p.Width());
    raster_.ForgetPrevious();
  }
}

void PlotWindow::DrawPlotBackground() {
  if (plotImage_.isNull()) return;
  const PixelRect& p = layout_.plot;
  const int w = p.Width();
  const int h = p.Height();
  const uint32_t background = ToQRgb(colors_.background);
  const uint32_t grid = ToQRgb(colors_.grid);
  std::fill(gridColumn_.begin(), gridColumn_.end(), 0);
  for (int x : xGrid_)
    if (x >= p.left && x < p.right) gridColumn_[x - p.left] = 1;
  std::fill(backgroundColumn_.begin(), backgroundColumn_.end(), background);
  for (int y : yGrid_)
    if (y >= p.top && y < p.bottom) backgroundColumn_[y - p.top] = grid;
  for (int row = 0; row < h; ++row) {
    uint32_t* line = reinterpret_cast<uint32_t*>(plotImage_.scanLine(row));
    std::fill(line, line + w, backgroundColumn_[row]);
    for (int c = 0; c < w; ++c)
      if (gridColumn_[c]) line[c] = grid;
  }
  raster_.ForgetPrevious();
}

void PlotWindow::DrawTraceColumns(const TracePoints& points) {
  if (plotImage_.isNull()) return;
  const int w = plotImage_.width();
  const int h = plotImage_.height();
  raster_.Rasterise(points.data, points.dataSize, points.first, points.count, w, h, PhysicalMinimum(),
                    PhysicalSize());
  const uint32_t grid = ToQRgb(colors_.grid);
  const uint32_t trace = ToQRgb(colors_.trace);
  uint32_t* pixels = reinterpret_cast<uint32_t*>(plotImage_.bits());
  const qsizetype stride = plotImage_.bytesPerLine() / 4;
  ColumnSpan parts[2];
  for (int c = 0; c < w; ++c) {
    const ColumnSpan now = raster_.Span(c);
    const int n = TraceRaster::UncoveredParts(raster_.PreviousSpan(c), now, parts);
    // Restore what the old trace covered and the new one does not: grid
    // colour on a grid column, else the background column's pixels.
    for (int i = 0; i < n; ++i)
      for (int row = parts[i].top; row < parts[i].bottom; ++row)
        pixels[row * stride + c] = gridColumn_[c] ? grid : backgroundColumn_[row];
    for (int row = now.top; row < now.bottom; ++row) pixels[row * stride + c] = trace;
  }
}

void PlotWindow::RedrawTraceImage() {
  EnsurePlotImage();
  colors_ = colorMap_.Colors();
  DrawTraceColumns(PrepareData());
}

void PlotWindow::RequestTraceRedraw() {
  if (cursorsShown_) return;  // frozen: the new data shows when the mode ends
  tracePending_ = true;
  update(PlotQRect());
}

void PlotWindow::paintEvent(QPaintEvent* event) {
  const QRegion& region = event->region();
  colors_ = colorMap_.Colors();
  QPainter painter(this);
  const QRect plotRect = PlotQRect();

  // A new data set asked for the plot area alone: the trace is all that
  // changes.
  const bool traceOnly =
      tracePending_ && !cursorsShown_ && !plotRect.isEmpty() && region == QRegion(plotRect);
  tracePending_ = false;
  if (traceOnly) {
    RedrawTraceImage();
    painter.drawImage(plotRect.topLeft(), plotImage_);
    ++traceRedraws_;
    return;
  }

  ++frameRepaints_;
  ComputeTicks();
  DrawFrame(painter, region);
  if (plotRect.isEmpty()) return;
  if (cursorsShown_) {
    if (!offscreenValid_ || plotImage_.isNull()) {
      EnsurePlotImage();
      DrawPlotBackground();
      DrawTraceColumns(PreparedPoints());
      offscreenValid_ = true;
    }
    painter.drawImage(plotRect.topLeft(), plotImage_);
    DrawCursorLines(painter);
  } else if (region.intersects(plotRect)) {
    EnsurePlotImage();
    DrawPlotBackground();
    DrawTraceColumns(PrepareData());
    painter.drawImage(plotRect.topLeft(), plotImage_);
  }
}

void PlotWindow::DrawFrame(QPainter& painter, const QRegion& region) {
  const QColor face = palette().color(QPalette::Button);
  const QRegion outside = region.subtracted(QRegion(PlotQRect()));
  for (const QRect& r : outside) painter.fillRect(r, face);
  if (layout_.plot.IsEmpty()) return;

  if (region.intersects(ToQRect(layout_.xTitleBand)) || region.intersects(ToQRect(layout_.yTitleBand)))
    DrawTitles(painter, region);
  if (region.intersects(ToQRect(layout_.xAxisStrip))) DrawXAxis(painter);
  if (region.intersects(ToQRect(layout_.yAxisStrip))) DrawYAxis(painter);
  if (cursorsShown_) {
    if (region.intersects(ToQRect(layout_.xCursorBar))) DrawXCursorBar(painter);
    if (region.intersects(ToQRect(layout_.yCursorBar))) DrawYCursorBar(painter);
  }
  DrawBorders(painter);
}

void PlotWindow::DrawTitles(QPainter& painter, const QRegion& region) {
  const QFontMetrics metrics(font());
  painter.setPen(palette().color(QPalette::WindowText));
  const PixelRect& yBand = layout_.yTitleBand;
  if (region.intersects(ToQRect(yBand)) && yBand.Width() >= 10 * charWidth_ - 2) {
    const QString text = QString::fromStdString(YTitle());
    const int width = metrics.horizontalAdvance(text);
    if (width * 1.1 <= yBand.Width())
      painter.drawText(yBand.left + (yBand.Width() - width) / 2, yBand.top + textHeight_ + metrics.ascent(),
                       text);
  }
  const PixelRect& xBand = layout_.xTitleBand;
  if (region.intersects(ToQRect(xBand)) && xBand.Height() >= 2 * textHeight_) {
    const QString text = QString::fromStdString(XTitle());
    const int width = metrics.horizontalAdvance(text);
    if (width * 1.2 <= xBand.Width())
      painter.drawText(xBand.left + (xBand.Width() - width) / 2,
                       xBand.top + (xBand.Height() - textHeight_) / 2 + metrics.ascent(), text);
  }
}

void PlotWindow::DrawXAxis(QPainter& painter) {
  const PixelRect& strip = layout_.xAxisStrip;
  const PixelRect& p = layout_.plot;
  if (strip.Height() < 2 * textHeight_) return;
  const QFontMetrics metrics(font());
  const QColor text = palette().color(QPalette::WindowText);
  painter.save();
  // Labels may reach four characters beyond either end of the plot.
  painter.setClipRect(QRect(p.left - 4 * charWidth_, strip.top, p.Width() + 8 * charWidth_, strip.Height()));
  for (const ScaleTick& t : xTicks_.Ticks()) {
    const int x = p.left + TruncToPixel(t.offset + 0.5);
    painter.setPen(Qt::black);
    painter.drawLine(x, strip.top, x, strip.top + textHeight_ / 2 - 1);
    const QString label = FormatInt(t.label);
    painter.setPen(text);
    painter.drawText(x - metrics.horizontalAdvance(label) / 2, strip.top + textHeight_ / 2 + metrics.ascent(),
                     label);
  }
  painter.restore();
}

void PlotWindow::DrawYAxis(QPainter& painter) {
  const PixelRect& strip = layout_.yAxisStrip;
  const PixelRect& p = layout_.plot;
  if (strip.Width() < 10 * charWidth_ - 2) return;
  const QFontMetrics metrics(font());
  const QColor text = palette().color(QPalette::WindowText);
  for (const ScaleTick& t : yTicks_.Ticks()) {
    const int row = p.top + TruncToPixel(p.Height() - t.offset - 0.5);
    painter.setPen(Qt::black);
    painter.drawLine(strip.right - charWidth_, row, strip.right - 1, row);
    const QString label = FormatInt(t.label);
    painter.setPen(text);
    painter.drawText(strip.right - charWidth_ - metrics.horizontalAdvance(label), row + textHeight_ / 3,
                     label);
  }
}

void PlotWindow::DrawBorders(QPainter& painter) {
  const PixelRect& o = layout_.outerPlot;
  if (o.Width() <= 2 || o.Height() <= 2) return;
  const QPalette& pal = palette();
  auto border = [&](int inset, const QColor& topLeft, const QColor& bottomRight) {
    const int l = o.left - inset;
    const int t = o.top - inset;
    const int r = o.right - 1 + inset;
    const int b = o.bottom - 1 + inset;
    painter.setPen(topLeft);
    painter.drawLine(l, t, r, t);
    painter.drawLine(l, t, l, b);
    painter.setPen(bottomRight);
    painter.drawLine(l, b, r, b);
    painter.drawLine(r, t, r, b);
  };
  border(1, pal.color(QPalette::Shadow), pal.color(QPalette::Midlight));
  border(2, pal.color(QPalette::Dark), pal.color(QPalette::Light));
}

void PlotWindow::DrawCursorLines(QPainter& painter) {
  const PixelRect& p = layout_.plot;
  painter.save();
  painter.setClipRect(PlotQRect());
  const QColor outer = QColor::fromRgb(ToQRgb(colors_.outerCursor));
  const QColor middle = QColor::fromRgb(ToQRgb(colors_.middleCursor));
  const CursorPair::Pixels xp = xCursors_.PixelsOn(XScale());
  const CursorPair::Pixels yp = yCursors_.PixelsOn(YScale());
  auto vertical = [&](int px, const QColor& color) {
    painter.setPen(color);
    painter.drawLine(p.left + px, p.top, p.left + px, p.bottom - 1);
  };
  auto horizontal = [&](int py, const QColor& color) {
    painter.setPen(color);
    painter.drawLine(p.left, p.bottom - py - 1, p.right - 1, p.bottom - py - 1);
  };
  if (xCursors_.visible[0]) vertical(xp.low, outer);
  if (xCursors_.visible[1]) vertical(xp.middle, middle);
  if (xCursors_.visible[2]) vertical(xp.high, outer);
  if (yCursors_.visible[0]) horizontal(yp.low, outer);
  if (yCursors_.visible[1]) horizontal(yp.middle, middle);
  if (yCursors_.visible[2]) horizontal(yp.high, outer);
  painter.restore();
}

void PlotWindow::DrawXCursorBar(QPainter& painter) {
  const PixelRect& bar = layout_.xCursorBar;
  const int h = textHeight_;
  if (bar.Height() < 3 * h - 2 || bar.Width() <= 0) return;
  const QFontMetrics metrics(font());
  const CursorPair::Pixels px = xCursors_.PixelsOn(XScale());
  const QString labels[3] = {FormatInt(TruncToInt(xCursors_.low)), FormatInt(TruncToInt(xCursors_.Middle())),
                             FormatInt(TruncToInt(xCursors_.high))};
  int chars = 0;
  for (const QString& label : labels) chars = std::max<int>(chars, label.size());
  const CursorLabelCentres centres =
      CursorBarLayout::PlaceLabels(px.low, px.middle, px.high, chars * charWidth_, bar.Width());
  const int centre[3] = {centres.low, centres.middle, centres.high};

  painter.save();
  painter.setClipRect(ToQRect(bar));
  painter.setPen(palette().color(QPalette::WindowText));
  const int baseline = bar.bottom - metrics.descent();
  for (int i = 0; i < 3; ++i) {
    const int width = metrics.horizontalAdvance(labels[i]);
    painter.drawText(bar.left + CursorBarLayout::LabelStart(centre[i], width), baseline, labels[i]);
  }
  const int lineY = bar.top + bar.Height() - 3 * h / 2;
  const int xl = bar.left + px.low;
  const int xr = bar.left + px.high;
  painter.setPen(Qt::black);
  painter.drawLine(xl, lineY, xr, lineY);
  const int arrow = h / 3;
  if (px.high - px.low > 2 * arrow) {
    painter.setBrush(Qt::black);
    painter.drawPolygon(QPolygon(
        {QPoint(xl, lineY), QPoint(xl + arrow, lineY - arrow / 2), QPoint(xl + arrow, lineY + arrow / 2)}));
    painter.drawPolygon(QPolygon(
        {QPoint(xr, lineY), QPoint(xr - arrow, lineY - arrow / 2), QPoint(xr - arrow, lineY + arrow / 2)}));
  }
  const int span = TruncToInt(xCursors_.high - xCursors_.low);
  if (span >= 0) {
    const std::string unit = XUnit();
    QString text = FormatInt(span);
    if (!unit.empty()) text += " " + QString::fromStdString(unit);
    const int width = metrics.horizontalAdvance(text);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(bar.left + std::max((px.low + px.high) / 2 - width / 2, 0),
                     lineY - h / 4 - metrics.descent(), text);
  }
  painter.restore();
}

void PlotWindow::DrawYCursorBar(QPainter& painter) {
  const PixelRect& bar = layout_.yCursorBar;
  const PixelRect& p = layout_.plot;
  const int h = textHeight_;
  if (p.Height() < 2 * h || bar.Width() < 10 * charWidth_) return;
  const QFontMetrics metrics(font());
  const CursorPair::Pixels px = yCursors_.PixelsOn(YScale());
  const QString labels[3] = {FormatInt(TruncToInt(yCursors_.low)), FormatInt(TruncToInt(yCursors_.Middle())),
                             FormatInt(TruncToInt(yCursors_.high))};
  // Upward along the plot's height, labels a text line apart at least.
  const CursorLabelCentres centres = CursorBarLayout::PlaceLabels(px.low, px.middle, px.high, h, p.Height());
  const int centre[3] = {centres.low, centres.middle, centres.high};
  auto rowOf = [&](int pixel) { return p.bottom - pixel - 1; };

  painter.save();
  painter.setClipRect(ToQRect(bar));
  // The arrowed line stands as far into the bar as the X bar's line lies
  // below its top; the span reads upward along its left side, the values
  // stand right of it.
  const int lineX = bar.left + 3 * h / 2;
  const int yl = rowOf(px.low);
  const int yr = rowOf(px.high);
  painter.setPen(Qt::black);
  painter.drawLine(lineX, yl, lineX, yr);
  const int arrow = h / 3;
  if (px.high - px.low > 2 * arrow) {
    painter.setBrush(Qt::black);
    painter.drawPolygon(QPolygon(
        {QPoint(lineX, yl), QPoint(lineX - arrow / 2, yl - arrow), QPoint(lineX + arrow / 2, yl - arrow)}));
    painter.drawPolygon(QPolygon(
        {QPoint(lineX, yr), QPoint(lineX - arrow / 2, yr + arrow), QPoint(lineX + arrow / 2, yr + arrow)}));
  }
  painter.setPen(palette().color(QPalette::WindowText));
  const int middleOfText = (metrics.ascent() - metrics.descent()) / 2;
  for (int i = 0; i < 3; ++i)
    painter.drawText(lineX + charWidth_, rowOf(centre[i]) + middleOfText, labels[i]);
  const int span = TruncToInt(yCursors_.high - yCursors_.low);
  if (span >= 0) {
    const std::string unit = YUnit();
    QString text = FormatInt(span);
    if (!unit.empty()) text += " " + QString::fromStdString(unit);
    painter.translate(lineX - h / 4 - metrics.descent(), rowOf((px.low + px.high) / 2));
    painter.rotate(-90);
    painter.drawText(-metrics.horizontalAdvance(text) / 2, 0, text);
  }
  painter.restore();
}

void PlotWindow::resizeEvent(QResizeEvent*) {
  ComputeLayout();
  offscreenValid_ = false;
  update();
}

void PlotWindow::UpdateCursorArea() {
  // The cursor lines and bars only: the trace comes from the frozen image.
  QRegion area(PlotQRect());
  area += ToQRect(layout_.xCursorBar);
  area += ToQRect(layout_.yCursorBar);
  update(area);
}

void PlotWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const PixelRect& p = layout_.plot;
  const QPoint pos = event->position().toPoint();
  if (p.IsEmpty() || pos.x() < p.left - kMouseMargin || pos.x() >= p.right + kMouseMargin ||
      pos.y() < p.top - kMouseMargin || pos.y() >= p.bottom + kMouseMargin)
    return;
  const int xPixel = pos.x() - p.left;
  const int yPixel = p.bottom - 1 - pos.y();
  if (cursorsShown_) {
    const CursorLine xLine = xCursors_.Pick(XScale(), xPixel);
    const CursorLine yLine = yCursors_.Pick(YScale(), yPixel);
    if (xLine != CursorLine::None || yLine != CursorLine::None) {
      // The widget keeps the mouse while the button is down.
      if (xLine != CursorLine::None) xCursors_.BeginDrag(xLine, xPixel);
      if (yLine != CursorLine::None) yCursors_.BeginDrag(yLine, yPixel);
      return;
    }
  }
  SetCursorsShown(!xCursors_.visible[0]);
}

void PlotWindow::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  const PixelRect& p = layout_.plot;
  if (xCursors_.drag != CursorLine::None || yCursors_.drag != CursorLine::None) {
    if (xCursors_.drag != CursorLine::None) xCursors_.DragTo(XScale(), pos.x() - p.left);
    if (yCursors_.drag != CursorLine::None) yCursors_.DragTo(YScale(), p.bottom - 1 - pos.y());
    UpdateCursorArea();
    return;
  }
  UpdateHover(pos.x(), pos.y());
}

void PlotWindow::UpdateHover(int x, int y) {
  const PixelRect& p = layout_.plot;
  xCursors_.hover =
      cursorsShown_ && y >= p.top && y < p.bottom && xCursors_.Pick(XScale(), x - p.left) != CursorLine::None;
  yCursors_.hover = cursorsShown_ && x >= p.left && x < p.right &&
                    yCursors_.Pick(YScale(), p.bottom - 1 - y) != CursorLine::None;
  Qt::CursorShape shape = Qt::ArrowCursor;
  if (xCursors_.hover && yCursors_.hover)
    shape = Qt::SizeAllCursor;
  else if (xCursors_.hover)
    shape = Qt::SizeHorCursor;
  else if (yCursors_.hover)
    shape = Qt::SizeVerCursor;
  if (cursor().shape() != shape) setCursor(shape);
}

void PlotWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  xCursors_.EndDrag();
  yCursors_.EndDrag();
}

QMenu* PlotWindow::BuildContextMenu() {
  auto* menu = new QMenu(this);
  for (const MapItem& item : kMapItems) {
    QAction* action = menu->addAction(QString::fromLatin1(item.text));
    action->setData(item.command);
    action->setCheckable(true);
    action->setChecked(colorMap_.Map() == item.map);
  }
  menu->addSeparator();
  QAction* filter = menu->addAction(QStringLiteral("Video filter"));
  filter->setData(static_cast<int>(kCommandVideoFilter));
  filter->setCheckable(true);
  filter->setChecked(videoFilter_);
  menu->addSeparator();
  menu->addAction(QStringLiteral("Save to file"))->setData(static_cast<int>(kCommandSaveToFile));
  menu->addAction(QStringLiteral("Graph properties"))->setData(static_cast<int>(kCommandGraphProperties));
  connect(menu, &QMenu::triggered, this, [this](QAction* action) { Command(action->data().toInt()); });
  return menu;
}

void PlotWindow::contextMenuEvent(QContextMenuEvent* event) {
  std::unique_ptr<QMenu> menu(BuildContextMenu());
  menu->exec(event->globalPos());
}

void PlotWindow::Command(int command) {
  for (const MapItem& item : kMapItems)
    if (item.command == command) {
      SetColorMap(item.map);
      return;
    }
  if (command == kCommandVideoFilter) SetVideoFilter(!videoFilter_);
}

}  // namespace veltra
