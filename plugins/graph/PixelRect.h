// A rectangle of pixels as the drawing code thinks of it: left and top
// inside, right and bottom just outside, so an empty rectangle is one whose
// right is not beyond its left or whose bottom is not below its top.
#pragma once

namespace veltra {

struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  bool Intersects(const PixelRect& other) const {
    return !IsEmpty() && !other.IsEmpty() && left < other.right && other.left < right && top < other.bottom &&
           other.top < bottom;
  }
  bool operator==(const PixelRect&) const = default;
};

}  // namespace veltra
