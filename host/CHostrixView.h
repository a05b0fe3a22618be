// The terminal window: paints the last lines of the store bottom-up in a
// fixed-pitch font, scrolls back over the last 500 lines, and follows new
// output on a 100 ms timer, scrolling its contents rather than repainting
// them while it shows the newest lines.
#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <QTimer>
#include <memory>

#include "host/TerminalStore.h"

namespace veltra {

class HostConsole;

class CHostrixView final : public QAbstractScrollArea {
  Q_OBJECT

 public:
  static constexpr int kColumns = 200;
  static constexpr int kHistory = 499;
  static constexpr int kUpdateMilliseconds = 100;

  CHostrixView(TerminalStore& store, HostConsole& console, QWidget* parent = nullptr);

  // The display update: run at a timer tick after a line ended, and when the
  // program asks for one (GuiRequest kind 0, start-up).
  void DisplayUpdate();
  void RepaintAll();

  // Vertical scrolling by d lines, horizontal by d columns, within the limits.
  void ScrollVertical(int d);
  void ScrollHorizontal(int d);

  int Rows() const { return rows_; }
  int LineHeight() const { return lineHeight_; }
  int ColumnWidth() const { return columnWidth_; }
  int TopLimit() const { return topLimit_; }
  int RightLimit() const { return rightLimit_; }
  int VerticalPosition() const { return verticalPosition_; }
  int HorizontalPosition() const { return horizontalPosition_; }
  bool TimerStarted() const { return timer_.isActive(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void OnTimer();
  void SyncScrollBars();

  TerminalStore& store_;
  HostConsole& console_;
  QTimer timer_;
  QFont font_;
  std::unique_ptr<char[]> lineBuffer_;
  int clientHeight_ = 0;
  int clientWidth_ = 0;
  int rows_ = 0;
  int lineHeight_ = 1;
  int columnWidth_ = 1;
  int ascent_ = 0;
  int topLimit_ = -kHistory;
  int verticalPosition_ = 0;
  int rightLimit_ = kColumns;
  int horizontalPosition_ = 0;
  bool syncing_ = false;
  // The store's current line as of the last display update. Painting counts
  // from it, not from the store's line of the moment: the pixels on screen
  // were scrolled for that line, and a paint that came between an update and
  // more output would otherwise draw rows the next scroll moves again.
  int64_t shownLine_ = 0;
};

}  // namespace veltra
