#include "plugins/graph/DefaultPlacement.h"

namespace veltra {
namespace {

// Windows live on the GUI thread only, so the count needs no lock.
int placedCount = 0;

}  // namespace

PixelRect DefaultPlacement::For(int n, int desktopWidth, int desktopHeight) {
  const int c = 2 * desktopWidth;
  const int e = 3 * desktopHeight;
  PixelRect r;
  switch (n % 4) {
    case 0:
      r = {0, 0, c / 6 - 5, e / 8 - 5};
      break;
    case 1:
      r = {c / 6 + 5, 0, c / 3, e / 8 - 5};
      break;
    case 2:
      r = {0, e / 8 + 5, c / 6 - 5, e / 4};
      break;
    default:
      r = {c / 6 + 5, e / 8 + 5, c / 3, e / 4};
      break;
  }
  const int shift = (n / 4) * 20;
  return {r.left + shift, r.top + shift, r.right + shift, r.bottom + shift};
}

PixelRect DefaultPlacement::Next(int desktopWidth, int desktopHeight) {
  return For(placedCount++, desktopWidth, desktopHeight);
}

int DefaultPlacement::Placed() {
  return placedCount;
}

}  // namespace veltra
