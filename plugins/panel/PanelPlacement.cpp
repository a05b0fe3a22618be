#include "plugins/panel/PanelPlacement.h"

namespace veltra::PanelPlacement {
namespace {

int RightEdge(const QRect& screen, const QSize& window) {
  return screen.x() + screen.width() - window.width();
}

int Middle(const QRect& screen) {
  return screen.y() + screen.height() / 2;
}

}  // namespace

QPoint TopRight(const QRect& screen, const QSize& window) {
  return {RightEdge(screen, window), screen.y()};
}

QPoint BelowMiddle(const QRect& screen, const QSize& window) {
  return {RightEdge(screen, window), Middle(screen) + 20};
}

QPoint AboveMiddle(const QRect& screen, const QSize& window) {
  return {RightEdge(screen, window), Middle(screen) - 20 - window.height()};
}

}  // namespace veltra::PanelPlacement
