#include "plugins/panel/BigText.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace veltra {

BigText::BigText(QWidget* parent, int height, int width) : QWidget(parent), height_(height), width_(width) {
  // Every pixel comes from the pixmap: nothing to erase first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void BigText::SetText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  stale_ = true;
  update();
}

QFont BigText::TextFont() const {
  QFont bold = font();
  bold.setBold(true);
  bold.setPixelSize(height_);
  // The character width is asked for through the stretch: the font's own
  // average width scaled to the width wanted.
  const int natural = QFontMetrics(bold).averageCharWidth();
  if (natural > 0) bold.setStretch(std::clamp(width_ * 100 / natural, 1, 4000));
  return bold;
}

void BigText::Render() {
  const qreal ratio = devicePixelRatioF();
  buffer_ = QPixmap(size() * ratio);
  buffer_.setDevicePixelRatio(ratio);
  buffer_.fill(palette().color(QPalette::Window));
  QPainter painter(&buffer_);
  painter.setFont(TextFont());
  painter.setPen(isEnabled() ? QColor(Qt::black) : palette().color(QPalette::Disabled, QPalette::WindowText));
  painter.drawText(rect(), Qt::AlignLeft | Qt::AlignTop, text_);
  stale_ = false;
}

void BigText::paintEvent(QPaintEvent*) {
  if (stale_ || buffer_.isNull()) Render();
  QPainter(this).drawPixmap(0, 0, buffer_);
}

void BigText::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange || event->type() == QEvent::PaletteChange ||
      event->type() == QEvent::FontChange) {
    stale_ = true;
    update();
  }
  QWidget::changeEvent(event);
}

void BigText::resizeEvent(QResizeEvent* event) {
  stale_ = true;
  QWidget::resizeEvent(event);
}

}  // namespace veltra
