// The colour maps of a graph window: each names the window's background,
// trace and grid colours and its cursor colours, and carries a 64-entry
// palette. Six maps are offered in the context menu; map 5 and any other
// number can come only from stored settings.
#pragma once

#include <array>
#include <cstdint>

namespace veltra {

// 0x00RRGGBB, as QRgb without alpha.
using Rgb = uint32_t;

constexpr Rgb MakeRgb(int r, int g, int b) {
  return (static_cast<Rgb>(r & 0xff) << 16) | (static_cast<Rgb>(g & 0xff) << 8) | static_cast<Rgb>(b & 0xff);
}

struct PaletteEntry {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t flags = 0;
  bool operator==(const PaletteEntry&) const = default;
};

struct MapColors {
  Rgb background;
  Rgb trace;
  Rgb grid;
  Rgb outerCursor;
  Rgb middleCursor;
};

class ColorMap {
 public:
  static constexpr int kPaletteSize = 64;
  static constexpr int kPaletteVersion = 0x300;

  ColorMap();

  int Map() const { return map_; }
  // False when the map was already set (nothing is rebuilt then).
  bool SetMap(int map);
  const std::array<PaletteEntry, kPaletteSize>& Palette() const { return palette_; }
  // How often the palette was built, for the check that choosing the map
  // already set rebuilds nothing.
  int PaletteBuilds() const { return builds_; }

  MapColors Colors() const { return ColorsOf(map_); }
  static MapColors ColorsOf(int map);
  static PaletteEntry PaletteEntryOf(int map, int index);

 private:
  int map_ = 0;
  int builds_ = 0;
  std::array<PaletteEntry, kPaletteSize> palette_{};
};

}  // namespace veltra
