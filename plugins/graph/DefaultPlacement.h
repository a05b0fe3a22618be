// Where graph windows without a stored place open: a 2 x 2 tiling of the
// upper left of the desktop, each window a third of its width and three
// eighths of its height less 5 pixels; every further four windows are
// shifted 20 pixels right and down. The count is kept for the process.
#pragma once

#include "plugins/graph/PixelRect.h"

namespace veltra {

class DefaultPlacement {
 public:
  // The rectangle of window number n (counting from 0) on a desktop of the
  // given size.
  static PixelRect For(int n, int desktopWidth, int desktopHeight);
  // The next window's rectangle; counts it.
  static PixelRect Next(int desktopWidth, int desktopHeight);
  // How many windows were placed so far.
  static int Placed();
};

}  // namespace veltra
