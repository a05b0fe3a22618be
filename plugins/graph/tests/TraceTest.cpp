// The trace rasteriser and the video filter, on numbers alone.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "plugins/graph/TraceRaster.h"
#include "plugins/graph/VideoFilter.h"

namespace veltra {
namespace {

TEST(TraceRasterTest, TwoPointsPerColumnWidenTheColumnAndTouchTheNext) {
  std::vector<double> ramp(1024);
  for (int k = 0; k < 1024; ++k) ramp[k] = k;
  TraceRaster raster;
  raster.Rasterise(ramp.data(), 1024, 0, 1024, 512, 1024, 0, 1024);
  for (int c = 0; c < 512; ++c) {
    SCOPED_TRACE(c);
    // Points 2c and 2c + 1, and the bridge from the column before.
    EXPECT_EQ(raster.Lo(c), std::max(2 * c - 1, 0));
    EXPECT_EQ(raster.Hi(c), 2 * c + 2);
  }
  EXPECT_EQ(raster.Span(0).top, 1022);
  EXPECT_EQ(raster.Span(0).bottom, 1024);
}

TEST(TraceRasterTest, SparsePointsAreBridgedIntoOneConnectedLine) {
  std::vector<double> values(100);
  for (int k = 0; k < 100; ++k) values[k] = 10.0 * k;
  TraceRaster raster;
  raster.Rasterise(values.data(), 100, 0, 100, 512, 1000, 0, 1000);
  // Point 1 lies in column 5 (5.12 columns per point): columns 0 to 5 climb
  // in steps of two pixels.
  const int lo[] = {0, 1, 3, 5, 7, 9};
  const int hi[] = {1, 3, 5, 7, 9, 11};
  for (int c = 0; c < 6; ++c) {
    EXPECT_EQ(raster.Lo(c), lo[c]) << c;
    EXPECT_EQ(raster.Hi(c), hi[c]) << c;
  }
  // Every column up to the last point's carries a span touching the next.
  const int last = static_cast<int>(99 * 5.12);
  for (int c = 0; c < last; ++c) {
    ASSERT_LT(raster.Lo(c), raster.Hi(c)) << c;
    EXPECT_LE(raster.Lo(c + 1), raster.Hi(c)) << c;
    EXPECT_LE(raster.Lo(c), raster.Hi(c + 1)) << c;
  }
  for (int c = last + 1; c < 512; ++c) EXPECT_TRUE(raster.Span(c).IsEmpty()) << c;
}

TEST(TraceRasterTest, FlatSetsAtTheBottomAndTopAndTheCutAtThePlotEdges) {
  std::vector<double> flat(64, -50.0);
  TraceRaster raster;
  raster.Rasterise(flat.data(), 64, 0, 64, 128, 100, -50, 40);
  // The last point lies in column 126: the trace ends there.
  for (int c = 0; c < 127; ++c) {
    EXPECT_EQ(raster.Span(c).top, 99);
    EXPECT_EQ(raster.Span(c).bottom, 100);
  }
  EXPECT_TRUE(raster.Span(127).IsEmpty());
  std::fill(flat.begin(), flat.end(), -10.0);  // minimum + size
  raster.Rasterise(flat.data(), 64, 0, 64, 128, 100, -50, 40);
  for (int c = 0; c < 128; ++c) EXPECT_TRUE(raster.Span(c).IsEmpty()) << c;

  // A line from far below to far above is cut at both edges.
  double steep[] = {-1e9, 1e9};
  raster.Rasterise(steep, 2, 0, 2, 10, 100, 0, 100);
  for (int c = 0; c < 10; ++c) {
    EXPECT_GE(raster.Span(c).top, 0);
    EXPECT_LE(raster.Span(c).bottom, 100);
  }
  EXPECT_EQ(raster.Span(5).top, 0);  // the top reached where the second point lies
}

TEST(TraceRasterTest, NoPointsNoSizeAndWildValuesDrawNothingUnsafe) {
  double values[] = {1, 2, 3, 4};
  TraceRaster raster;
  raster.Rasterise(values, 4, 0, 0, 64, 64, 0, 10);
  for (int c = 0; c < 64; ++c) EXPECT_TRUE(raster.Span(c).IsEmpty());
  raster.Rasterise(values, 4, 0, 4, 0, 64, 0, 10);
  EXPECT_EQ(raster.Width(), 0);

  // A physical size of 0 makes every height infinite or undefined.
  raster.Rasterise(values, 4, 0, 4, 64, 64, 2, 0);
  for (int c = 0; c < 64; ++c) EXPECT_LE(raster.Span(c).bottom, 64);
  double wild[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), -1e300,
                   5};
  raster.Rasterise(wild, 4, 0, 4, 64, 64, 0, 10);
  for (int c = 0; c < 64; ++c) {
    EXPECT_GE(raster.Span(c).top, 0);
    EXPECT_LE(raster.Span(c).bottom, 64);
  }
}

TEST(TraceRasterTest, OnlyThePointsThatExistAreDrawnAtTheirOwnColumns) {
  std::vector<double> values(10, 5.0);
  TraceRaster raster;
  // Ten of forty points exist: they take the first quarter of the plot.
  raster.Rasterise(values.data(), 10, 0, 40, 80, 10, 0, 10);
  for (int c = 0; c < 80; ++c) EXPECT_EQ(raster.Span(c).IsEmpty(), c > 18) << c;
  // From index 4: six points exist, drawn from the left edge.
  raster.Rasterise(values.data(), 10, 4, 10, 100, 10, 0, 10);
  for (int c = 0; c < 100; ++c) EXPECT_EQ(raster.Span(c).IsEmpty(), c > 50) << c;
  // From index -4: the first four points lie before the data.
  raster.Rasterise(values.data(), 10, -4, 10, 100, 10, 0, 10);
  for (int c = 0; c < 100; ++c) EXPECT_EQ(raster.Span(c).IsEmpty(), c < 40 || c > 90) << c;
  // Entirely beyond the data.
  raster.Rasterise(values.data(), 10, 10, 10, 100, 10, 0, 10);
  for (int c = 0; c < 100; ++c) EXPECT_TRUE(raster.Span(c).IsEmpty()) << c;
}

TEST(TraceRasterTest, PreviousSpansAndTheirUncoveredParts) {
  double before[] = {2, 2};
  double after[] = {5, 5};
  TraceRaster raster;
  raster.Rasterise(before, 2, 0, 2, 4, 10, 0, 10);
  EXPECT_TRUE(raster.PreviousSpan(0).IsEmpty());  // zeroed when grown
  raster.Rasterise(after, 2, 0, 2, 4, 10, 0, 10);
  EXPECT_EQ(raster.PreviousSpan(0).top, 7);
  EXPECT_EQ(raster.PreviousSpan(0).bottom, 8);
  EXPECT_EQ(raster.Span(0).top, 4);

  ColumnSpan parts[2];
  ASSERT_EQ(TraceRaster::UncoveredParts({7, 8}, {4, 5}, parts), 1);
  EXPECT_EQ(parts[0].top, 7);
  EXPECT_EQ(parts[0].bottom, 8);
  ASSERT_EQ(TraceRaster::UncoveredParts({2, 9}, {4, 6}, parts), 2);
  EXPECT_EQ(parts[0].top, 2);
  EXPECT_EQ(parts[0].bottom, 4);
  EXPECT_EQ(parts[1].top, 6);
  EXPECT_EQ(parts[1].bottom, 9);
  EXPECT_EQ(TraceRaster::UncoveredParts({4, 6}, {2, 9}, parts), 0);
  EXPECT_EQ(TraceRaster::UncoveredParts({0, 0}, {2, 9}, parts), 0);
  ASSERT_EQ(TraceRaster::UncoveredParts({3, 5}, {0, 0}, parts), 1);
  EXPECT_EQ(parts[0].bottom, 5);

  raster.ForgetPrevious();
  EXPECT_TRUE(raster.PreviousSpan(0).IsEmpty());
}

TEST(VideoFilterTest, EightPointsStayAndNineSmoothOnlyTheMiddle) {
  std::vector<double> eight = {1, 9, 2, 8, 3, 7, 4, 6};
  std::vector<double> copy = eight;
  ApplyVideoFilter(eight.data(), 8);
  EXPECT_EQ(eight, copy);

  const std::vector<double> original = {1, 9, 2, 8, 3, 7, 4, 6, 5};
  std::vector<double> nine = original;
  ApplyVideoFilter(nine.data(), 9);
  for (int k = 0; k < 9; ++k)
    if (k != 4) {
      EXPECT_EQ(nine[k], original[k]) << k;
    }
  EXPECT_DOUBLE_EQ(nine[4],
                   0.3255 * 3 + 0.2397 * (8 + 7) + 0.0888 * (2 + 4) + 0.0129 * (9 + 6) + 0.0016 * (1 + 5));
}

TEST(VideoFilterTest, EveryPointIsSmoothedFromTheUnsmoothedValues) {
  // An impulse: smoothing from smoothed neighbours would spread it further.
  std::vector<double> x(16, 0.0);
  x[8] = 1;
  ApplyVideoFilter(x.data(), 16);
  const double expected[] = {0, 0, 0, 0, 0.0016, 0.0129, 0.0888, 0.2397, 0.3255, 0.2397, 0.0888, 0.0129};
  for (int k = 0; k < 12; ++k) EXPECT_DOUBLE_EQ(x[k], expected[k]) << k;
  EXPECT_EQ(x[12], 0);  // among the last four, which stay (smoothing would give 0.0016)

  std::vector<double> ones(20, 1.0);
  ApplyVideoFilter(ones.data(), 20);
  EXPECT_NEAR(ones[10], 1.0115, 1e-12);
  EXPECT_EQ(ones[3], 1.0);
  EXPECT_EQ(ones[16], 1.0);
}

}  // namespace
}  // namespace veltra
