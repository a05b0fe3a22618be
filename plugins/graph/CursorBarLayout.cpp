#include "plugins/graph/CursorBarLayout.h"

#include <algorithm>

namespace veltra {

CursorLabelCentres CursorBarLayout::PlaceLabels(int pl, int pm, int pr, int widestLabel, int barLength) {
  const int g = static_cast<int>(1.25 * widestLabel);
  int xl = pl;
  int xm = pm;
  int xr = pr;
  if (pm - xl < g) xl = pm - g;
  if (xr - pm < g) xr = pm + g;
  xr = std::min(xr, barLength - g / 2);
  if (xr - xm < g) xm = xr - g;
  if (xm - xl < g) xl = xm - g;
  xl = std::max(xl, g / 2);
  if (xm - xl < g) xm = xl + g;
  if (xr - xm < g) xr = xm + g;
  return {xl, xm, xr};
}

int CursorBarLayout::LabelStart(int centre, int width) {
  return std::max(centre - width / 2, 0);
}

}  // namespace veltra
