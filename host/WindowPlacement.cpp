#include "host/WindowPlacement.h"

namespace veltra {

WindowRect PlaceWindow(const WindowRect& stored, int instanceCounter, const WorkArea& area) {
  int offset = kInstanceOffset * (instanceCounter - 1);
  WindowRect r{stored.top + offset, stored.bottom + offset, stored.left + offset, stored.right + offset};
  if (r.top < 0) r.top = 0;
  if (r.bottom < 0) r.bottom = r.top + area.height / 2;
  if (r.left < 0) r.left = 0;
  if (r.right < 0) r.right = r.left + area.width / 2;
  if (r.bottom - r.top > area.height) r.bottom = r.top + area.height / 2;
  if (r.right - r.left > area.width) r.right = r.left + area.width / 2;
  if (r.bottom - r.top < kMinimumHeight) r.bottom = r.top + kMinimumHeight;
  if (r.right - r.left < kMinimumWidth) r.right = r.left + kMinimumWidth;
  if (r.bottom > area.bottom) {
    r.top -= r.bottom - area.bottom;
    r.bottom = area.bottom;
  }
  if (r.right > area.right) {
    r.left -= r.right - area.right;
    r.right = area.right;
  }
  return r;
}

DialogPlace PlaceDialog(int top, int left, int width, int height, const WorkArea& area) {
  DialogPlace place{top, left};
  if (place.top + height > area.bottom) place.top = area.bottom - height;
  if (place.left + width > area.right) place.left = area.right - width;
  // Last, so that a dialog larger than the work area keeps its caption on
  // the screen, where it can be taken and moved.
  if (place.top < 0) place.top = 0;
  if (place.left < 0) place.left = 0;
  return place;
}

}  // namespace veltra
