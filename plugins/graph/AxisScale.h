// One axis of the plot as the cursors see it: the effective minimum and size
// and the axis's length in pixels. Pixels count from the plot's left edge
// (X) or upward from its bottom edge (Y).
#pragma once

#include <algorithm>

#include "plugins/graph/PixelMath.h"

namespace veltra {

struct AxisScale {
  double minimum = 0;
  double size = 0;
  int length = 0;

  // The pixel a value is drawn at, kept on the axis.
  int PixelOf(double value) const {
    return std::clamp(TruncToPixel((value - minimum) / size * length + 0.5), 0, std::max(length, 0));
  }
  // The value a pixel stands for.
  double ValueOf(int pixel) const { return length > 0 ? minimum + size * pixel / length : minimum; }
};

}  // namespace veltra
