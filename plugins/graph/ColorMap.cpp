#include "plugins/graph/ColorMap.h"

#include <algorithm>

namespace veltra {
namespace {

uint8_t Channel(int value) {
  return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

}  // namespace

ColorMap::ColorMap() {
  for (int i = 0; i < kPaletteSize; ++i) palette_[i] = PaletteEntryOf(map_, i);
  ++builds_;
}

bool ColorMap::SetMap(int map) {
  if (map == map_) return false;
  map_ = map;
  for (int i = 0; i < kPaletteSize; ++i) palette_[i] = PaletteEntryOf(map_, i);
  ++builds_;
  return true;
}

MapColors ColorMap::ColorsOf(int map) {
  const Rgb white = MakeRgb(255, 255, 255);
  const Rgb black = MakeRgb(0, 0, 0);
  const Rgb darkGrid = MakeRgb(64, 64, 64);
  const Rgb lightGrid = MakeRgb(224, 224, 224);
  const Rgb silver = MakeRgb(192, 192, 192);
  switch (map) {
    case 0:
      return {white, black, lightGrid, MakeRgb(0, 0, 255), MakeRgb(0, 0, 192)};
    case 1:
      return {black, MakeRgb(255, 128, 128), darkGrid, white, silver};
    case 2:
      return {MakeRgb(0, 128, 128), MakeRgb(0, 255, 255), darkGrid, white, silver};
    case 3:
      return {white, black, lightGrid, darkGrid, silver};
    case 4:
      return {black, MakeRgb(255, 164, 128), darkGrid, MakeRgb(0, 255, 0), silver};
    case 9:
      return {black, MakeRgb(0, 255, 0), darkGrid, white, silver};
    default:
      return {white, black, lightGrid, darkGrid, silver};
  }
}

PaletteEntry ColorMap::PaletteEntryOf(int map, int i) {
  int r, g, b;
  switch (map) {
    case 1:
      r = 12 * i;
      g = 12 * i - 252;
      b = 12 * i - 504;
      break;
    case 2:
      r = 4 * i;
      g = 252 - 4 * i;
      b = 255;
      break;
    case 3:
      r = 328 * i / 80 - 6;
      g = 354 * i / 80 - 6;
      b = 326 * i / 80 + 16;
      break;
    case 4:
      r = 414 * i / 80;
      g = 266 * i / 80;
      b = 170 * i / 80;
      break;
    case 5: {
      const int n = 1528 - 24 * i;
      const int a = 24 * i - 1008;
      r = n >= 760 ? n - 1008 : a;
      g = n > 1024 ? a + 1008 : n - 504;
      b = n > 496 ? a + 504 : n;
      break;
    }
    case 9:
      r = 16 * i - 512;
      g = std::min(16 * i, 1024 - 16 * i);
      b = 512 - 16 * i;
      break;
    default:
      r = g = b = 4 * i;
      break;
  }
  return {Channel(r), Channel(g), Channel(b), 0};
}

}  // namespace veltra
