#include "plugins/graph/CursorPair.h"

#include <cstdlib>

namespace veltra {

void CursorPair::PlaceIfUnplaced(const AxisScale& scale) {
  if (!unplaced) return;
  low = scale.ValueOf(scale.length / 3);
  high = scale.ValueOf(2 * scale.length / 3);
  unplaced = false;
}

CursorPair::Pixels CursorPair::PixelsOn(const AxisScale& scale) const {
  const int pl = scale.PixelOf(low);
  const int pr = scale.PixelOf(high);
  return {pl, (pl + pr) / 2, pr};
}

CursorLine CursorPair::Pick(const AxisScale& scale, int p) const {
  if (!visible[0]) return CursorLine::None;
  const Pixels px = PixelsOn(scale);
  const int dl = std::abs(p - px.low);
  const int dm = std::abs(p - px.middle);
  const int dr = std::abs(p - px.high);
  if (dl <= kPickDistance && dl <= dm) return CursorLine::Low;
  if (dm <= kPickDistance && dm <= dr) return CursorLine::Middle;
  if (dr <= kPickDistance) return CursorLine::High;
  return CursorLine::None;
}

void CursorPair::BeginDrag(CursorLine line, int p) {
  drag = line;
  lastPointer_ = p;
}

void CursorPair::DragTo(const AxisScale& scale, int p) {
  const int n = std::max(scale.length, 0);
  Pixels px = PixelsOn(scale);
  switch (drag) {
    case CursorLine::Low: {
      const int pl = std::clamp(p, 0, n);
      low = scale.ValueOf(pl);
      if (pl > px.high) high = low;
      break;
    }
    case CursorLine::High: {
      const int pr = std::clamp(p, 0, n);
      high = scale.ValueOf(pr);
      if (pr < px.low) low = high;
      break;
    }
    case CursorLine::Middle: {
      const int lowest = std::min(px.low, px.high);
      const int highest = std::max(px.low, px.high);
      const int delta = std::clamp(p - lastPointer_, -lowest, n - highest);
      low = scale.ValueOf(px.low + delta);
      high = scale.ValueOf(px.high + delta);
      break;
    }
    case CursorLine::None:
      break;
  }
  lastPointer_ = p;
}

}  // namespace veltra
