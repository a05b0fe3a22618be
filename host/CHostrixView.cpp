#include "host/CHostrixView.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <new>

#include "host/BadTty.h"
#include "host/HostConsole.h"

namespace veltra {

CHostrixView::CHostrixView(TerminalStore& store, HostConsole& console, QWidget* parent)
    : QAbstractScrollArea(parent), store_(store), console_(console) {
  try {
    lineBuffer_.reset(new char[TerminalStore::kLineLength + 1]);
  } catch (const std::bad_alloc&) {
    throw bad_tty(0);
  }
  lineBuffer_[0] = '\0';
  {
    std::lock_guard<std::mutex> lock(store_.Mutex());
    shownLine_ = store_.CurrentLine();
  }
  font_ = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  // Measured once, with the font the view draws in.
  QFontMetrics metrics(font_);
  lineHeight_ = std::max(1, metrics.height() + metrics.leading());
  columnWidth_ = std::max(1, metrics.averageCharWidth());
  ascent_ = metrics.ascent();
  viewport()->setFont(font_);
  viewport()->setAutoFillBackground(true);
  QPalette palette = viewport()->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Base));
  viewport()->setPalette(palette);
  setFocusPolicy(Qt::StrongFocus);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  timer_.setInterval(kUpdateMilliseconds);
  connect(&timer_, &QTimer::timeout, this, &CHostrixView::OnTimer);
  SyncScrollBars();
}

void CHostrixView::OnTimer() {
  if (store_.TakeLineEnded()) DisplayUpdate();
}

void CHostrixView::RepaintAll() {
  viewport()->update();
}

void CHostrixView::DisplayUpdate() {
  if (!timer_.isActive()) timer_.start();
  if (store_.TakeRepaintAll()) viewport()->update();
  TerminalStore::Update update = store_.TakeUpdate();
  shownLine_ = update.currentLine;
  if (update.changed) {
    if (verticalPosition_ != 0) {
      // New output takes the view back to the newest lines.
      verticalPosition_ = 0;
      SyncScrollBars();
      viewport()->update();
    } else {
      viewport()->update(0, clientHeight_ - lineHeight_, clientWidth_, lineHeight_);
    }
  }
  if (update.newLines > 0) {
    int64_t n = std::min<int64_t>(update.newLines, rows_);
    if (n * lineHeight_ >= clientHeight_)
      viewport()->update();
    else
      viewport()->scroll(0, -static_cast<int>(n) * lineHeight_);
  }
}

void CHostrixView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  painter.setFont(font_);
  painter.setPen(viewport()->palette().color(QPalette::Text));
  QRect area = event->rect();
  int top = area.top();
  int bottom = area.bottom() + 1;
  // Rows count up from the bottom: row -1 is the lowest full row.
  int first = (top - clientHeight_ - lineHeight_ + 1) / lineHeight_;
  int last = (bottom - clientHeight_) / lineHeight_;
  int x = -(horizontalPosition_ * columnWidth_);
  std::lock_guard<std::mutex> lock(store_.Mutex());
  int64_t current = shownLine_;
  for (int i = first; i < last; ++i) {
    if (i + verticalPosition_ < -kHistory) continue;
    int64_t line = current + verticalPosition_ + i;
    if (!store_.CopyLine(line, lineBuffer_.get()) || lineBuffer_[0] == '\0') continue;
    int y = clientHeight_ + i * lineHeight_;
    painter.drawText(x, y + ascent_, QString::fromLatin1(lineBuffer_.get()));
  }
}

void CHostrixView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  clientWidth_ = viewport()->width();
  clientHeight_ = viewport()->height();
  rows_ = clientHeight_ / lineHeight_;
  topLimit_ = std::min(0, rows_ - kHistory);
  if (verticalPosition_ < topLimit_) verticalPosition_ = topLimit_;
  rightLimit_ = std::max(0, kColumns - clientWidth_ / columnWidth_);
  horizontalPosition_ = std::min(horizontalPosition_, rightLimit_);
  SyncScrollBars();
  console_.SetPageLength(rows_ - 1);
}

void CHostrixView::SyncScrollBars() {
  syncing_ = true;
  verticalScrollBar()->setRange(topLimit_, 0);
  verticalScrollBar()->setPageStep(std::max(1, rows_));
  verticalScrollBar()->setValue(verticalPosition_);
  horizontalScrollBar()->setRange(0, rightLimit_);
  horizontalScrollBar()->setPageStep(16);
  horizontalScrollBar()->setValue(horizontalPosition_);
  syncing_ = false;
}

void CHostrixView::ScrollVertical(int d) {
  int old = verticalPosition_;
  verticalPosition_ = std::clamp(old + d, topLimit_, 0);
  if (verticalPosition_ == old) return;
  viewport()->scroll(0, (old - verticalPosition_) * lineHeight_);
  SyncScrollBars();
}

void CHostrixView::ScrollHorizontal(int d) {
  int old = horizontalPosition_;
  horizontalPosition_ = std::clamp(old + d, 0, rightLimit_);
  if (horizontalPosition_ == old) return;
  viewport()->scroll((old - horizontalPosition_) * columnWidth_, 0);
  SyncScrollBars();
}

void CHostrixView::scrollContentsBy(int, int) {
  // The scroll bars moved by the user: thumb drags, arrows, page clicks.
  if (syncing_) return;
  int vertical = verticalScrollBar()->value();
  int horizontal = horizontalScrollBar()->value();
  ScrollVertical(vertical - verticalPosition_);
  ScrollHorizontal(horizontal - horizontalPosition_);
}

void CHostrixView::keyPressEvent(QKeyEvent* event) {
  int page = lineHeight_ > 0 ? clientHeight_ / lineHeight_ : 0;
  switch (event->key()) {
    case Qt::Key_PageUp:
      ScrollVertical(-page);
      break;
    case Qt::Key_PageDown:
      ScrollVertical(page);
      break;
    case Qt::Key_End:
      ScrollVertical(-verticalPosition_);
      break;
    case Qt::Key_Home:
      ScrollVertical(topLimit_ - verticalPosition_);
      break;
    case Qt::Key_Up:
      ScrollVertical(-1);
      break;
    case Qt::Key_Down:
      ScrollVertical(1);
      break;
    case Qt::Key_Left:
      ScrollHorizontal(-1);
      break;
    case Qt::Key_Right:
      ScrollHorizontal(1);
      break;
    default:
      QAbstractScrollArea::keyPressEvent(event);
      return;
  }
  event->accept();
}

void CHostrixView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) viewport()->grabMouse();
}

void CHostrixView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) viewport()->releaseMouse();
}

void CHostrixView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  QPoint p = event->position().toPoint();
  if (p.x() < 0)
    ScrollHorizontal(-1);
  else if (p.x() >= clientWidth_)
    ScrollHorizontal(1);
  else if (p.y() < 0)
    ScrollVertical(-1);
  else if (p.y() >= clientHeight_)
    ScrollVertical(1);
}

}  // namespace veltra
