// The measurement cursors of one axis: two outer lines that hold values and
// a middle line always halfway between them, with the rules for picking a
// line with the pointer and dragging it.
#pragma once

#include "plugins/graph/AxisScale.h"

namespace veltra {

// Low is the left (X) or bottom (Y) line, High the right or top one.
enum class CursorLine { None, Low, Middle, High };

class CursorPair {
 public:
  // Pixels within this distance of a line pick it.
  static constexpr int kPickDistance = 4;

  double low = 0;
  double high = 0;
  bool visible[3] = {false, false, false};  // low, middle, high
  bool unplaced = true;                     // not shown yet: no values of their own
  bool hover = false;                       // the pointer is near one of the lines
  CursorLine drag = CursorLine::None;

  double Middle() const { return (low + high) / 2; }
  void SetVisible(bool shown) { visible[0] = visible[1] = visible[2] = shown; }

  // First display: the lines at a third and two thirds of the axis.
  void PlaceIfUnplaced(const AxisScale& scale);

  struct Pixels {
    int low;
    int middle;
    int high;
  };
  Pixels PixelsOn(const AxisScale& scale) const;

  // The line a press at pixel p picks, None when no shown line is near.
  CursorLine Pick(const AxisScale& scale, int p) const;

  void BeginDrag(CursorLine line, int p);
  // Moves the dragged line to pixel p (kept on the axis); the middle line
  // moves both outer lines by the pointer's movement as far as both stay on
  // the axis; a line dragged past the other pushes it along.
  void DragTo(const AxisScale& scale, int p);
  void EndDrag() { drag = CursorLine::None; }

 private:
  int lastPointer_ = 0;
};

}  // namespace veltra
