#include "plugins/graph/GraphLayout.h"

namespace veltra {

GraphLayout GraphLayout::Compute(const PixelRect& client, int textHeight, int charWidth) {
  const int h = textHeight;
  const int w = charWidth;
  const int cl = client.left;
  const int ct = client.top;
  const int cr = client.right;
  const int cb = client.bottom;

  // A very wide window keeps a plot no wider than five times its height, and
  // a tall one a plot no taller than it is wide.
  int r = cr;
  int b = cb;
  if (r - cl > 5 * (b - ct)) r = cl + 5 * (b - ct);
  if (b - ct > r - cl) b = ct + (r - cl);

  GraphLayout layout;
  const int usableWidth = r - cl;
  const int usableHeight = b - ct;
  if (usableWidth > 40 * w && usableHeight > 10 * h) {
    layout.outerPlot = {cl + 10 * w, ct + 3 * h, r - 12 * w, b - 4 * h};
  } else if (usableWidth > 2 * w && usableHeight > 2 * h) {
    layout.outerPlot = {cl + w, ct + h / 2, r - w, b - h / 2};
  } else {
    const int x = cl + usableWidth / 2;
    const int y = ct + usableHeight / 2;
    layout.outerPlot = {x, y, x, y};
  }

  const PixelRect& p = layout.outerPlot;
  layout.plot = p;
  if (cb - p.bottom >= 4 * h) {
    layout.xTitleBand = {cl, p.bottom + 2 * h, cr, p.bottom + 4 * h};
    layout.xAxisStrip = {cl, p.bottom, cr, p.bottom + 2 * h};
  } else {
    layout.xTitleBand = {};
    layout.xAxisStrip = {cl, p.bottom, cr, cb};
  }
  if (p.left - cl >= 10 * w) {
    layout.yTitleBand = {cl, ct, p.left, p.top};
    layout.yAxisStrip = {cl, p.top, p.left - 2, p.bottom};
  } else {
    layout.yTitleBand = {};
    layout.yAxisStrip = {cl, ct, p.left, p.bottom};
  }
  layout.xCursorBar = {p.left, ct, cr, p.top - 2};
  layout.yCursorBar = {p.right, p.top - 2, cr, p.bottom};
  return layout;
}

}  // namespace veltra
