// Where each panel goes when the store has no place for it, from the screen's
// rectangle and the window's size.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace veltra::PanelPlacement {

// The main control panel: the screen's top right corner.
QPoint TopRight(const QRect& screen, const QSize& window);
// The input window: at the right edge, its top 20 pixels below the middle.
QPoint BelowMiddle(const QRect& screen, const QSize& window);
// The status window: at the right edge, its bottom 20 pixels above the middle.
QPoint AboveMiddle(const QRect& screen, const QSize& window);

}  // namespace veltra::PanelPlacement
