// A graph fed at the DSP's pace must not touch the heap once its buffers
// have grown: the working buffer and the column arrays are grown and then
// reused. Every global operator new is counted.
#include <gtest/gtest.h>

#include "plugins/graph/tests/GraphTestSupport.h"
#include "tests/support/CountingAllocator.h"

namespace veltra {
namespace {

TEST(GraphAllocationTest, ShowAndTheTraceRedrawAllocateNothingOnceGrown) {
  test::TempDir config(true);
  auto window = test::OpenWindow("allocation");
  ASSERT_TRUE(window);
  window->SetVideoFilter(true);
  const std::vector<double> a = test::Spectrum(1024);
  const std::vector<double> b = test::Spectrum(1024, 1.0);
  for (int i = 0; i < 3; ++i) {
    window->Show(i % 2 ? a.data() : b.data(), 1024);
    QApplication::processEvents();
  }
  // The first repaint request of a paint cycle is Qt's posted event (its
  // allocation belongs to the event loop, once per painted frame); the
  // requests after it join that one.
  window->Show(a.data(), 1024);
  const long before = CountedAllocations();
  for (int i = 0; i < 200; ++i) {
    window->Show(i % 2 ? a.data() : b.data(), 1024);
    window->RedrawTraceImage();
  }
  EXPECT_EQ(CountedAllocations() - before, 0);
  // The redraws really happened (the trace of b is in the picture).
  EXPECT_EQ(window->Raster().Width(), window->Layout().plot.Width());
}

TEST(GraphAllocationTest, ALargerDataSetGrowsTheBuffersOnceAndNotAgain) {
  test::TempDir config(true);
  auto window = test::OpenWindow("growth");
  ASSERT_TRUE(window);
  const std::vector<double> small = test::Spectrum(256);
  const std::vector<double> large = test::Spectrum(8192);
  window->SetAxisRangesPhis(0, 256, 0, 100);
  QApplication::processEvents();
  window->Show(small.data(), 256);
  window->RedrawTraceImage();
  window->SetAxisRangesPhis(0, 8192, 0, 100);
  QApplication::processEvents();
  window->Show(small.data(), 256);
  long before = CountedAllocations();
  window->Show(large.data(), 8192);
  window->RedrawTraceImage();
  EXPECT_GT(CountedAllocations() - before, 0);  // the working buffer grew
  before = CountedAllocations();
  for (int i = 0; i < 50; ++i) {
    window->Show(i % 2 ? small.data() : large.data(), i % 2 ? 256 : 8192);
    window->RedrawTraceImage();
  }
  EXPECT_EQ(CountedAllocations() - before, 0);
}

}  // namespace
}  // namespace veltra
