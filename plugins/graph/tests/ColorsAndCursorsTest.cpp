// Colour maps, default placement and the cursor rules, on numbers alone.
#include <gtest/gtest.h>

#include "plugins/graph/ColorMap.h"
#include "plugins/graph/CursorBarLayout.h"
#include "plugins/graph/CursorPair.h"
#include "plugins/graph/DefaultPlacement.h"

namespace veltra {
namespace {

PaletteEntry Entry(int r, int g, int b) {
  return {static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b), 0};
}

TEST(ColorMapTest, PalettesFollowTheirFormulasClampedToAByte) {
  EXPECT_EQ(ColorMap::PaletteEntryOf(1, 21), Entry(252, 0, 0));
  EXPECT_EQ(ColorMap::PaletteEntryOf(1, 63), Entry(255, 255, 252));
  EXPECT_EQ(ColorMap::PaletteEntryOf(2, 0), Entry(0, 252, 255));
  EXPECT_EQ(ColorMap::PaletteEntryOf(2, 63), Entry(252, 0, 255));
  EXPECT_EQ(ColorMap::PaletteEntryOf(3, 1), Entry(0, 0, 20));  // 328 / 80 - 6 truncates to -2
  EXPECT_EQ(ColorMap::PaletteEntryOf(3, 63), Entry(252, 255, 255));
  EXPECT_EQ(ColorMap::PaletteEntryOf(4, 63), Entry(255, 209, 133));
  EXPECT_EQ(ColorMap::PaletteEntryOf(5, 0), Entry(255, 0, 0));
  EXPECT_EQ(ColorMap::PaletteEntryOf(5, 32), Entry(0, 255, 255));
  EXPECT_EQ(ColorMap::PaletteEntryOf(5, 63), Entry(255, 0, 16));
  EXPECT_EQ(ColorMap::PaletteEntryOf(9, 0), Entry(0, 0, 255));
  EXPECT_EQ(ColorMap::PaletteEntryOf(9, 32), Entry(0, 255, 0));
  EXPECT_EQ(ColorMap::PaletteEntryOf(9, 63), Entry(255, 16, 0));
  EXPECT_EQ(ColorMap::PaletteEntryOf(0, 10), Entry(40, 40, 40));
  EXPECT_EQ(ColorMap::PaletteEntryOf(7, 63), Entry(252, 252, 252));
}

TEST(ColorMapTest, ChoosingTheMapAlreadySetRebuildsNothing) {
  ColorMap map;
  EXPECT_EQ(map.Map(), 0);
  EXPECT_EQ(map.PaletteBuilds(), 1);
  EXPECT_FALSE(map.SetMap(0));
  EXPECT_EQ(map.PaletteBuilds(), 1);
  EXPECT_TRUE(map.SetMap(2));
  EXPECT_EQ(map.PaletteBuilds(), 2);
  EXPECT_EQ(map.Palette()[63], Entry(252, 0, 255));
  EXPECT_FALSE(map.SetMap(2));
  EXPECT_EQ(map.PaletteBuilds(), 2);
}

TEST(ColorMapTest, WindowColoursOfEveryMapAndOfAnUnknownOne) {
  MapColors blue = ColorMap::ColorsOf(2);
  EXPECT_EQ(blue.background, MakeRgb(0, 128, 128));
  EXPECT_EQ(blue.trace, MakeRgb(0, 255, 255));
  EXPECT_EQ(blue.grid, MakeRgb(64, 64, 64));
  EXPECT_EQ(ColorMap::ColorsOf(0).outerCursor, MakeRgb(0, 0, 255));
  EXPECT_EQ(ColorMap::ColorsOf(0).middleCursor, MakeRgb(0, 0, 192));
  EXPECT_EQ(ColorMap::ColorsOf(4).trace, MakeRgb(255, 164, 128));
  EXPECT_EQ(ColorMap::ColorsOf(4).outerCursor, MakeRgb(0, 255, 0));
  EXPECT_EQ(ColorMap::ColorsOf(9).trace, MakeRgb(0, 255, 0));
  MapColors seven = ColorMap::ColorsOf(7);
  EXPECT_EQ(seven.background, MakeRgb(255, 255, 255));
  EXPECT_EQ(seven.trace, MakeRgb(0, 0, 0));
  EXPECT_EQ(seven.grid, MakeRgb(224, 224, 224));
  EXPECT_EQ(seven.outerCursor, MakeRgb(64, 64, 64));
}

TEST(DefaultPlacementTest, FourWindowsTileTheUpperLeftThenShiftBy20) {
  // A 1920 x 1080 desktop: c = 3840, e = 3240.
  EXPECT_EQ(DefaultPlacement::For(0, 1920, 1080), (PixelRect{0, 0, 635, 400}));
  EXPECT_EQ(DefaultPlacement::For(1, 1920, 1080), (PixelRect{645, 0, 1280, 400}));
  EXPECT_EQ(DefaultPlacement::For(2, 1920, 1080), (PixelRect{0, 410, 635, 810}));
  EXPECT_EQ(DefaultPlacement::For(3, 1920, 1080), (PixelRect{645, 410, 1280, 810}));
  EXPECT_EQ(DefaultPlacement::For(4, 1920, 1080), (PixelRect{20, 20, 655, 420}));
  EXPECT_EQ(DefaultPlacement::For(9, 1920, 1080), (PixelRect{685, 40, 1320, 440}));

  const int before = DefaultPlacement::Placed();
  PixelRect next = DefaultPlacement::Next(1920, 1080);
  EXPECT_EQ(next, DefaultPlacement::For(before, 1920, 1080));
  EXPECT_EQ(DefaultPlacement::Placed(), before + 1);
}

TEST(CursorPairTest, PixelsAndValuesConvertBothWaysAndStayOnTheAxis) {
  AxisScale x{0, 22050, 441};
  EXPECT_EQ(x.PixelOf(11025), 221);  // 220.5 + 0.5 truncated
  EXPECT_EQ(x.PixelOf(-100), 0);
  EXPECT_EQ(x.PixelOf(1e9), 441);
  EXPECT_DOUBLE_EQ(x.ValueOf(147), 7350);
  AxisScale reversed{100, -100, 200};
  EXPECT_EQ(reversed.PixelOf(25), 150);
  EXPECT_DOUBLE_EQ(reversed.ValueOf(50), 75);
  AxisScale flat{5, 0, 200};
  EXPECT_GE(flat.PixelOf(7), 0);
  EXPECT_LE(flat.PixelOf(7), 200);

  CursorPair pair;
  pair.PlaceIfUnplaced({0, 300, 300});
  EXPECT_DOUBLE_EQ(pair.low, 100);
  EXPECT_DOUBLE_EQ(pair.high, 200);
  pair.low = 10;
  pair.PlaceIfUnplaced({0, 300, 300});  // placed once only
  EXPECT_DOUBLE_EQ(pair.low, 10);
}

TEST(CursorPairTest, APressPicksTheNearestLineInTheOrderLowMiddleHigh) {
  AxisScale s{0, 400, 400};
  CursorPair pair;
  pair.low = 100;
  pair.high = 200;
  EXPECT_EQ(pair.Pick(s, 103), CursorLine::None);  // not shown yet
  pair.SetVisible(true);
  EXPECT_EQ(pair.Pick(s, 103), CursorLine::Low);
  EXPECT_EQ(pair.Pick(s, 146), CursorLine::Middle);
  EXPECT_EQ(pair.Pick(s, 204), CursorLine::High);
  EXPECT_EQ(pair.Pick(s, 205), CursorLine::None);
  EXPECT_EQ(pair.Pick(s, 125), CursorLine::None);

  pair.low = 100;
  pair.high = 104;  // middle at 102
  EXPECT_EQ(pair.Pick(s, 101), CursorLine::Low);
  EXPECT_EQ(pair.Pick(s, 102), CursorLine::Middle);
  EXPECT_EQ(pair.Pick(s, 104), CursorLine::High);
}

TEST(CursorPairTest, DraggingPushesTheOtherLineAndTheMiddleMovesBoth) {
  AxisScale s{0, 1000, 500};
  CursorPair pair;
  pair.SetVisible(true);
  pair.low = 200;   // pixel 100
  pair.high = 400;  // pixel 200
  pair.BeginDrag(CursorLine::Low, 100);
  pair.DragTo(s, 250);
  EXPECT_DOUBLE_EQ(pair.low, 500);
  EXPECT_DOUBLE_EQ(pair.high, 500);  // pushed along: the span reads 0
  pair.DragTo(s, -30);
  EXPECT_DOUBLE_EQ(pair.low, 0);  // kept on the axis; the pushed line stays
  EXPECT_DOUBLE_EQ(pair.high, 500);
  pair.EndDrag();

  pair.BeginDrag(CursorLine::High, 250);
  pair.DragTo(s, 900);
  EXPECT_DOUBLE_EQ(pair.high, 1000);

  // Middle: both lines move by the pointer's movement, as far as both stay.
  pair.low = 200;
  pair.high = 400;
  pair.BeginDrag(CursorLine::Middle, 150);
  pair.DragTo(s, 170);
  EXPECT_DOUBLE_EQ(pair.low, 240);
  EXPECT_DOUBLE_EQ(pair.high, 440);
  pair.DragTo(s, 600);  // would take the high line to pixel 650
  EXPECT_DOUBLE_EQ(pair.high, 1000);
  EXPECT_DOUBLE_EQ(pair.low, 800);
  EXPECT_DOUBLE_EQ(pair.Middle(), 900);
}

TEST(CursorBarLayoutTest, LabelsKeepApartAndInsideTheBar) {
  CursorLabelCentres roomy = CursorBarLayout::PlaceLabels(50, 200, 350, 40, 400);
  EXPECT_EQ(roomy.low, 50);
  EXPECT_EQ(roomy.middle, 200);
  EXPECT_EQ(roomy.high, 350);

  CursorLabelCentres crowded = CursorBarLayout::PlaceLabels(100, 100, 100, 40, 400);
  EXPECT_EQ(crowded.low, 50);
  EXPECT_EQ(crowded.middle, 100);
  EXPECT_EQ(crowded.high, 150);

  CursorLabelCentres right = CursorBarLayout::PlaceLabels(400, 400, 400, 40, 400);
  EXPECT_EQ(right.low, 275);
  EXPECT_EQ(right.middle, 325);
  EXPECT_EQ(right.high, 375);

  CursorLabelCentres left = CursorBarLayout::PlaceLabels(0, 0, 0, 40, 400);
  EXPECT_EQ(left.low, 25);
  EXPECT_EQ(left.middle, 75);
  EXPECT_EQ(left.high, 125);

  EXPECT_EQ(CursorBarLayout::LabelStart(25, 40), 5);
  EXPECT_EQ(CursorBarLayout::LabelStart(10, 40), 0);
}

}  // namespace
}  // namespace veltra
