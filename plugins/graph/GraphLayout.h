// Where the parts of a graph window go for a given client area and font:
// the plot in the middle, the axis strips left of and below it, the titles
// outside those, and the cursor bars above and right of it.
#pragma once

#include "plugins/graph/PixelRect.h"

namespace veltra {

struct GraphLayout {
  PixelRect outerPlot;
  PixelRect plot;
  PixelRect xTitleBand;
  PixelRect yTitleBand;
  PixelRect xCursorBar;
  PixelRect yCursorBar;
  PixelRect xAxisStrip;
  PixelRect yAxisStrip;

  // client: the window's client rectangle; textHeight and charWidth of the
  // fixed-pitch font (charWidth its widest character).
  static GraphLayout Compute(const PixelRect& client, int textHeight, int charWidth);
};

}  // namespace veltra
