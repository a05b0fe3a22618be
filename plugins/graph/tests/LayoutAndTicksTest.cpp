// The window's layout and its axis ticks, on numbers alone.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "plugins/graph/GraphLayout.h"
#include "plugins/graph/ScaleTicks.h"

namespace veltra {
namespace {

constexpr int kH = 16;  // text height
constexpr int kW = 8;   // character width

TEST(GraphLayoutTest, RoomyWindowFramesThePlotWithStripsBandsAndBars) {
  GraphLayout l = GraphLayout::Compute({0, 0, 640, 480}, kH, kW);
  EXPECT_EQ(l.outerPlot, (PixelRect{80, 48, 544, 416}));
  EXPECT_EQ(l.plot, l.outerPlot);
  EXPECT_EQ(l.xTitleBand, (PixelRect{0, 448, 640, 480}));
  EXPECT_EQ(l.xAxisStrip, (PixelRect{0, 416, 640, 448}));
  EXPECT_EQ(l.yTitleBand, (PixelRect{0, 0, 80, 48}));
  EXPECT_EQ(l.yAxisStrip, (PixelRect{0, 48, 78, 416}));
  EXPECT_EQ(l.xCursorBar, (PixelRect{80, 0, 640, 46}));
  EXPECT_EQ(l.yCursorBar, (PixelRect{544, 46, 640, 416}));
}

TEST(GraphLayoutTest, WideAndTallWindowsAreCutBeforeThePlotIsPlaced) {
  // Wider than five heights: the usable area ends at five heights.
  GraphLayout wide = GraphLayout::Compute({0, 0, 2000, 200}, kH, kW);
  EXPECT_EQ(wide.plot, (PixelRect{80, 48, 904, 136}));
  // The strips still run to the client's right edge.
  EXPECT_EQ(wide.xAxisStrip.right, 2000);
  EXPECT_EQ(wide.yCursorBar, (PixelRect{904, 46, 2000, 136}));

  // Taller than wide: the usable area is cut to a square.
  GraphLayout tall = GraphLayout::Compute({0, 0, 400, 1000}, kH, kW);
  EXPECT_EQ(tall.plot, (PixelRect{80, 48, 304, 336}));
  EXPECT_EQ(tall.xTitleBand, (PixelRect{0, 368, 400, 400}));
}

TEST(GraphLayoutTest, SmallWindowsFallBackToAThinMarginAndThenToAnEmptyPlot) {
  GraphLayout small = GraphLayout::Compute({0, 0, 300, 100}, kH, kW);
  EXPECT_EQ(small.plot, (PixelRect{8, 8, 292, 92}));
  EXPECT_TRUE(small.xTitleBand.IsEmpty());
  EXPECT_EQ(small.xAxisStrip, (PixelRect{0, 92, 300, 100}));
  EXPECT_TRUE(small.yTitleBand.IsEmpty());
  EXPECT_EQ(small.yAxisStrip, (PixelRect{0, 0, 8, 92}));

  GraphLayout tiny = GraphLayout::Compute({0, 0, 10, 20}, kH, kW);
  EXPECT_TRUE(tiny.plot.IsEmpty());
  EXPECT_EQ(tiny.plot, (PixelRect{5, 5, 5, 5}));

  GraphLayout none = GraphLayout::Compute({0, 0, 0, 0}, kH, kW);
  EXPECT_TRUE(none.plot.IsEmpty());
}

std::vector<int32_t> Labels(const ScaleTicks& ticks) {
  std::vector<int32_t> labels;
  for (const ScaleTick& t : ticks.Ticks()) labels.push_back(t.label);
  return labels;
}

TEST(ScaleTicksTest, AudioRangeOn400PixelsStepsBy5000) {
  EXPECT_EQ(ScaleTicks::WidestLabelChars(0, 22050), 6);
  double d = ScaleTicks::XLabelSpacing(0, 22050, 400, 8);
  EXPECT_NEAR(d, 3439.8, 1e-9);
  EXPECT_EQ(ScaleTicks::NiceStep(d), 5000);
  ScaleTicks ticks;
  ticks.Compute(0, 22050, 400, d);
  EXPECT_EQ(Labels(ticks), (std::vector<int32_t>{0, 5000, 10000, 15000, 20000}));
  EXPECT_DOUBLE_EQ(ticks.Ticks()[1].offset, 5000.0 / 22050 * 400);
  EXPECT_LE(ticks.Ticks().back().offset, 400);
}

TEST(ScaleTicksTest, StepsBelowOneBecomeOneAndTwoPointFiveBecomesFive) {
  ScaleTicks ticks;
  ticks.Compute(0, 3, 400, ScaleTicks::XLabelSpacing(0, 3, 400, 8));
  EXPECT_EQ(ticks.Step(), 1);
  EXPECT_EQ(Labels(ticks), (std::vector<int32_t>{0, 1, 2, 3}));
  EXPECT_DOUBLE_EQ(ticks.Ticks()[3].offset, 400);

  EXPECT_EQ(ScaleTicks::NiceStep(2.2), 5);  // 2.5 in the ones becomes 5
  EXPECT_EQ(ScaleTicks::NiceStep(22), 25);  // but stays from ten upward
  EXPECT_EQ(ScaleTicks::NiceStep(1.5), 2);
  EXPECT_EQ(ScaleTicks::NiceStep(0.03), 1);  // labels are integers
  EXPECT_EQ(ScaleTicks::NiceStep(700), 1000);
  EXPECT_EQ(ScaleTicks::NiceStep(100), 200);  // a mantissa of exactly 1 still rises to 2
}

TEST(ScaleTicksTest, NegativeSizeCountsDownFromTheMinimum) {
  ScaleTicks ticks;
  double d = ScaleTicks::XLabelSpacing(100, -100, 400, 8);  // widest "-100"
  EXPECT_NEAR(d, 10.4, 1e-9);
  ticks.Compute(100, -100, 400, d);
  EXPECT_EQ(ticks.Step(), -20);
  EXPECT_EQ(Labels(ticks), (std::vector<int32_t>{100, 80, 60, 40, 20, 0}));
  EXPECT_DOUBLE_EQ(ticks.Ticks()[1].offset, 80);
}

TEST(ScaleTicksTest, YAxisSpacingAndRoundedNegativeLabels) {
  double d = ScaleTicks::YLabelSpacing(70, 368, kH);
  EXPECT_NEAR(d, 16 * 1.8 * 70 / 368, 1e-12);
  ScaleTicks ticks;
  ticks.Compute(-80, 70, 368, d);
  EXPECT_EQ(ticks.Step(), 10);
  EXPECT_EQ(Labels(ticks), (std::vector<int32_t>{-80, -70, -60, -50, -40, -30, -20, -10}));

  // Labels are floor(v + 0.5): a first tick just under an integer still
  // prints as that integer.
  ticks.Compute(-0.0004, 10, 400, 1);
  ASSERT_FALSE(ticks.Ticks().empty());
  EXPECT_EQ(ticks.Ticks()[0].label, 0);
}

TEST(ScaleTicksTest, DegenerateAxesHaveNoTicksAndLongOnesStopAt1024) {
  ScaleTicks ticks;
  ticks.Compute(0, 0, 400, 1);
  EXPECT_TRUE(ticks.Ticks().empty());
  ticks.Compute(0, 100, 0, 1);
  EXPECT_TRUE(ticks.Ticks().empty());
  ticks.Compute(std::numeric_limits<double>::quiet_NaN(), 100, 400, 1);
  EXPECT_TRUE(ticks.Ticks().empty());
  ticks.Compute(0, std::numeric_limits<double>::infinity(), 400, 1);
  EXPECT_TRUE(ticks.Ticks().empty());
  ticks.Compute(0, 1e6, 1000000, 0.5);
  EXPECT_EQ(ticks.Ticks().size(), static_cast<size_t>(ScaleTicks::kMaxTicks));
  // Beyond the int range the widest label is the saturated one.
  EXPECT_EQ(ScaleTicks::WidestLabelChars(0, 1e30), 11);
}

}  // namespace
}  // namespace veltra
