// The graph window on the off-screen platform: what it shows after Show and
// after full repaints, checked pixel by pixel against the plain functions;
// the frozen cursor mode, the mouse and the context menu.
#include <gtest/gtest.h>

#include <QMenu>
#include <QTimer>

#include "platform/settings/Registry.h"
#include "plugins/graph/tests/GraphTestSupport.h"

namespace veltra {
namespace {

using test::ExpectedPlot;
using test::OnScreen;
using test::PixelAt;
using test::PlotDifferences;
using test::Ranges;
using test::Spectrum;

QColor Theme(const QWidget& widget, QPalette::ColorRole role) {
  return widget.palette().color(role);
}

TEST(GraphWindowTest, ShowRedrawsOnlyTheTraceAndLeavesExactlyTheNewOne) {
  test::TempDir config(true);
  auto window = test::OpenWindow("pixels");
  ASSERT_TRUE(window);
  const std::vector<double> first = Spectrum(1024);
  const std::vector<double> second = Spectrum(1024, 1.3);

  const int frames = window->FrameRepaints();
  window->Show(first.data(), 1024);
  QImage screen = OnScreen(*window);
  EXPECT_EQ(window->FrameRepaints(), frames);
  EXPECT_EQ(window->TraceRedraws(), 1);
  EXPECT_EQ(PlotDifferences(screen, *window, ExpectedPlot(*window, first.data(), 1024, Ranges())), 0);

  // The old trace is erased where the new one does not cover it, grid
  // lines included.
  for (int i = 0; i < 10; ++i) {
    window->Show(i % 2 ? first.data() : second.data(), 1024);
    QApplication::processEvents();
  }
  screen = OnScreen(*window);
  EXPECT_EQ(window->FrameRepaints(), frames);
  EXPECT_EQ(window->TraceRedraws(), 11);
  EXPECT_EQ(PlotDifferences(screen, *window, ExpectedPlot(*window, first.data(), 1024, Ranges())), 0);

  // A range change in the same cycle needs the whole window: one full
  // repaint serves both.
  window->SetAxisRangesUser(0, 50, -20, 200);
  window->Show(second.data(), 1024);
  screen = OnScreen(*window);
  EXPECT_EQ(window->FrameRepaints(), frames + 1);
  EXPECT_EQ(window->TraceRedraws(), 11);
  Ranges r;
  r.xSize = 50;
  r.yMin = -20;
  r.ySize = 200;
  EXPECT_EQ(PlotDifferences(screen, *window, ExpectedPlot(*window, second.data(), 1024, r)), 0);
}

TEST(GraphWindowTest, FrameHasThemeBordersTickMarksAndButtonFaceStrips) {
  test::TempDir config(true);
  auto window = test::OpenWindow("frame");
  ASSERT_TRUE(window);
  const QImage screen = OnScreen(*window);
  const PixelRect p = window->Layout().plot;
  EXPECT_EQ(PixelAt(screen, p.left - 1, p.top - 1), Theme(*window, QPalette::Shadow).rgb() & 0xffffffu);
  EXPECT_EQ(PixelAt(screen, p.left - 2, p.top + 10), Theme(*window, QPalette::Dark).rgb() & 0xffffffu);
  EXPECT_EQ(PixelAt(screen, p.right, p.bottom - 10), Theme(*window, QPalette::Midlight).rgb() & 0xffffffu);
  EXPECT_EQ(PixelAt(screen, p.left + 10, p.bottom + 1), Theme(*window, QPalette::Light).rgb() & 0xffffffu);
  EXPECT_EQ(PixelAt(screen, 2, 2), Theme(*window, QPalette::Button).rgb() & 0xffffffu);

  // X tick marks hang h/2 below the plot at the tick positions; Y marks are
  // w long at the Y strip's right edge.
  ScaleTicks ticks;
  ticks.Compute(0, 100, p.Width(), ScaleTicks::XLabelSpacing(0, 100, p.Width(), window->CharWidth()));
  ASSERT_GE(ticks.Ticks().size(), 3u);
  const int x = p.left + static_cast<int>(ticks.Ticks()[1].offset + 0.5);
  EXPECT_EQ(PixelAt(screen, x, p.bottom + 3), 0u);
  EXPECT_NE(PixelAt(screen, x + 2, p.bottom + 3), 0u);
  const int stripRight = window->Layout().yAxisStrip.right;
  EXPECT_EQ(PixelAt(screen, stripRight - 1, p.bottom - 1), 0u);
  EXPECT_EQ(PixelAt(screen, stripRight - window->CharWidth(), p.bottom - 1), 0u);
  // An empty data set: background and grid only, in the fresh map's colours.
  EXPECT_EQ(PlotDifferences(screen, *window, ExpectedPlot(*window, nullptr, 0, Ranges())), 0);
}

TEST(GraphWindowTest, RangesCountsAndFirstBeyondTheDataDrawOnlyWhatExists) {
  test::TempDir config(true);
  auto window = test::OpenWindow("bounds");
  ASSERT_TRUE(window);
  std::vector<double> data = Spectrum(1024);
  struct Case {
    const char* what;
    long long first;
    int count;
    double physMin, physSize;
    double xMin, xSize;
  } cases[] = {
      {"100 points bridged", 0, 100, 0, 100, 0, 100},
      {"count beyond the data", 0, 4096, 0, 100, 0, 100},
      {"first beyond the data", 2000, 1024, 0, 100, 0, 100},
      {"first inside, count beyond", 900, 1024, 0, 100, 0, 100},
      {"negative first", -300, 1024, 0, 100, 0, 100},
      {"count 0", 0, 0, 0, 100, 0, 100},
      {"negative count", 0, -5, 0, 100, 0, 100},
      {"physical size 0", 0, 1024, 50, 0, 0, 100},
      {"reversed physical range", 0, 1024, 100, -100, 0, 100},
      {"reversed X axis", 0, 1024, 0, 100, 22050, -22050},
      {"X size 0", 0, 1024, 0, 100, 5, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    window->SetAxisRangesPhis(static_cast<int>(c.first), c.count, c.physMin, c.physSize);
    window->SetAxisRangesUser(c.xMin, c.xSize, 0, 100);
    window->Show(data.data(), 1024);
    const QImage screen = OnScreen(*window);
    Ranges r;
    r.first = c.first;
    r.count = c.count;
    r.physMin = c.physMin;
    r.physSize = c.physSize;
    r.xMin = c.xMin;
    r.xSize = c.xSize;
    EXPECT_EQ(PlotDifferences(screen, *window, ExpectedPlot(*window, data.data(), 1024, r)), 0);
  }
}

TEST(GraphWindowTest, VideoFilterSmoothsTheDrawnPointsFromTheNextRedraw) {
  test::TempDir config(true);
  auto window = test::OpenWindow("filter");
  ASSERT_TRUE(window);
  std::vector<double> data = Spectrum(1024);
  window->Show(data.data(), 1024);
  QApplication::processEvents();
  window->Command(kCommandVideoFilter);
  EXPECT_TRUE(window->VideoFilter());
  Ranges r;
  // Nothing changes until the next trace redraw.
  EXPECT_EQ(PlotDifferences(OnScreen(*window), *window, ExpectedPlot(*window, data.data(), 1024, r)), 0);
  window->Show(data.data(), 1024);
  r.filter = true;
  EXPECT_EQ(PlotDifferences(OnScreen(*window), *window, ExpectedPlot(*window, data.data(), 1024, r)), 0);
  EXPECT_NE(window->Working()[500], data[500]);
}

TEST(GraphWindowTest, TinyWindowsDrawNoTraceAndNoLabels) {
  test::TempDir config(true);
  auto window = test::OpenWindow("tiny", 20, 20);
  ASSERT_TRUE(window);
  std::vector<double> data = Spectrum(1024);
  window->Show(data.data(), 1024);
  const QImage screen = OnScreen(*window);
  EXPECT_TRUE(window->Layout().plot.IsEmpty());
  const Rgb face = Theme(*window, QPalette::Button).rgb() & 0xffffffu;
  for (int y = 0; y < screen.height(); ++y)
    for (int x = 0; x < screen.width(); ++x) ASSERT_EQ(PixelAt(screen, x, y), face) << x << "," << y;
}

// A point of the plot well away from every cursor line.
QPoint AwayFromCursors(const GraphWindow& window) {
  const PixelRect p = window.Layout().plot;
  return QPoint(p.left + p.Width() / 6, p.top + p.Height() / 6);
}

TEST(GraphWindowTest, FrozenModeKeepsThePictureUntilTheNextClick) {
  test::TempDir config(true);
  auto window = test::OpenWindow("frozen");
  ASSERT_TRUE(window);
  const std::vector<double> first = Spectrum(1024);
  const std::vector<double> second = Spectrum(1024, 2.0);
  window->Show(first.data(), 1024);
  QApplication::processEvents();

  QTest::mouseClick(window.get(), Qt::LeftButton, Qt::NoModifier, AwayFromCursors(*window));
  ASSERT_TRUE(window->CursorsShown());
  EXPECT_TRUE(window->XCursors().visible[0] && window->XCursors().visible[1] &&
              window->YCursors().visible[2]);
  const QImage frozen = OnScreen(*window);
  const int traces = window->TraceRedraws();
  window->Show(second.data(), 1024);
  EXPECT_EQ(OnScreen(*window), frozen);
  EXPECT_EQ(window->TraceRedraws(), traces);

  // The cursors start at a third and two thirds of each axis.
  const PixelRect p = window->Layout().plot;
  const AxisScale xs{0, 100, p.Width()};
  EXPECT_EQ(xs.PixelOf(window->XCursors().low), p.Width() / 3);
  EXPECT_EQ(xs.PixelOf(window->XCursors().high), 2 * p.Width() / 3);
  const MapColors colors = ColorMap::ColorsOf(2);
  EXPECT_EQ(PixelAt(frozen, p.left + p.Width() / 3, p.top + 3), colors.outerCursor);
  EXPECT_EQ(PixelAt(frozen, p.left + (p.Width() / 3 + 2 * p.Width() / 3) / 2, p.top + 3),
            colors.middleCursor);
  EXPECT_EQ(PixelAt(frozen, p.left + 3, p.bottom - p.Height() / 3 - 1), colors.outerCursor);

  QTest::mouseClick(window.get(), Qt::LeftButton, Qt::NoModifier, AwayFromCursors(*window));
  ASSERT_FALSE(window->CursorsShown());
  EXPECT_EQ(PlotDifferences(OnScreen(*window), *window, ExpectedPlot(*window, second.data(), 1024, Ranges())),
            0);
}

TEST(GraphWindowTest, ColourMapChangeWhileFrozenRedrawsTheFrozenPointsInTheNewColours) {
  test::TempDir config(true);
  auto window = test::OpenWindow("frozenmap");
  ASSERT_TRUE(window);
  const std::vector<double> first = Spectrum(1024);
  const std::vector<double> second = Spectrum(1024, 2.0);
  window->Show(first.data(), 1024);
  QApplication::processEvents();
  window->SetCursorsShown(true);
  window->Show(second.data(), 1024);
  window->SetColorMap(0);
  const QImage screen = OnScreen(*window);
  // Away from the cursor lines the plot shows the first data set in map 0.
  Ranges r;
  r.map = 0;
  const QImage expected = ExpectedPlot(*window, first.data(), 1024, r);
  const PixelRect p = window->Layout().plot;
  int differences = 0;
  for (int y = 0; y < p.Height() / 4; ++y)
    for (int x = 0; x < p.Width() / 4; ++x)
      if (PixelAt(screen, p.left + x, p.top + y) != (expected.pixel(x, y) & 0xffffffu)) ++differences;
  EXPECT_EQ(differences, 0);
}

TEST(GraphWindowTest, DraggingTheLeftCursorPastTheRightPushesItAlong) {
  test::TempDir config(true);
  auto window = test::OpenWindow("drag");
  ASSERT_TRUE(window);
  window->SetCursorsShown(true);
  QApplication::processEvents();
  const PixelRect p = window->Layout().plot;
  const AxisScale xs{0, 100, p.Width()};
  const int left = p.left + xs.PixelOf(window->XCursors().low);
  const int right = p.left + xs.PixelOf(window->XCursors().high);
  const int y = p.top + p.Height() / 6;
  QTest::mousePress(window.get(), Qt::LeftButton, Qt::NoModifier, QPoint(left + 2, y));
  QTest::mouseMove(window.get(), QPoint(right + 40, y));
  QTest::mouseRelease(window.get(), Qt::LeftButton, Qt::NoModifier, QPoint(right + 40, y));
  EXPECT_TRUE(window->CursorsShown());
  EXPECT_EQ(window->XCursors().low, window->XCursors().high);
  EXPECT_EQ(xs.PixelOf(window->XCursors().low), right + 40 - p.left);
  EXPECT_EQ(window->XCursors().drag, CursorLine::None);

  // The middle line moves both as far as both stay in the plot.
  const int middle = p.left + xs.PixelOf(window->XCursors().Middle());
  QTest::mousePress(window.get(), Qt::LeftButton, Qt::NoModifier, QPoint(middle, y));
  QTest::mouseMove(window.get(), QPoint(middle + 1000, y));
  QTest::mouseRelease(window.get(), Qt::LeftButton, Qt::NoModifier, QPoint(middle + 1000, y));
  EXPECT_DOUBLE_EQ(window->XCursors().high, 100);
}

TEST(GraphWindowTest, PointerShapeShowsWhichCursorsAreNear) {
  test::TempDir config(true);
  auto window = test::OpenWindow("hover");
  ASSERT_TRUE(window);
  window->SetCursorsShown(true);
  QApplication::processEvents();
  const PixelRect p = window->Layout().plot;
  const int x = p.left + AxisScale{0, 100, p.Width()}.PixelOf(window->XCursors().low);
  const int y = p.bottom - 1 - AxisScale{0, 100, p.Height()}.PixelOf(window->YCursors().low);
  QTest::mouseMove(window.get(), QPoint(x + 3, y - 2));
  EXPECT_EQ(window->cursor().shape(), Qt::SizeAllCursor);
  QTest::mouseMove(window.get(), QPoint(x + 3, p.top + 5));
  EXPECT_EQ(window->cursor().shape(), Qt::SizeHorCursor);
  QTest::mouseMove(window.get(), QPoint(p.left + 5, y + 4));
  EXPECT_EQ(window->cursor().shape(), Qt::SizeVerCursor);
  QTest::mouseMove(window.get(), AwayFromCursors(*window));
  EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
}

std::vector<std::pair<QString, bool>> MenuItems(QMenu& menu) {
  std::vector<std::pair<QString, bool>> items;
  for (QAction* action : menu.actions())
    items.emplace_back(action->isSeparator() ? "-" : action->text(), action->isChecked());
  return items;
}

TEST(GraphWindowTest, ContextMenuChecksTheCurrentMapAndTheFilter) {
  test::TempDir config(true);
  auto window = test::OpenWindow("menu");
  ASSERT_TRUE(window);
  std::unique_ptr<QMenu> menu(window->BuildContextMenu());
  using Item = std::pair<QString, bool>;
  EXPECT_EQ(MenuItems(*menu), (std::vector<Item>{{"Black and white", false},
                                                 {"Red", false},
                                                 {"Light Blue", true},
                                                 {"Light Grey", false},
                                                 {"Orange", false},
                                                 {"RGB", false},
                                                 {"-", false},
                                                 {"Video filter", false},
                                                 {"-", false},
                                                 {"Save to file", false},
                                                 {"Graph properties", false}}));
  menu->actions()[5]->trigger();  // "RGB"
  EXPECT_EQ(window->ColorMapNumber(), 9);
  QApplication::processEvents();
  const int builds = window->Colors().PaletteBuilds();
  const int frames = window->FrameRepaints();
  window->Command(kCommandRgb);  // already set: nothing happens
  QApplication::processEvents();
  EXPECT_EQ(window->Colors().PaletteBuilds(), builds);
  EXPECT_EQ(window->FrameRepaints(), frames);
  menu->actions()[7]->trigger();
  EXPECT_TRUE(window->VideoFilter());
  menu.reset(window->BuildContextMenu());
  EXPECT_TRUE(menu->actions()[5]->isChecked());
  EXPECT_TRUE(menu->actions()[7]->isChecked());
  EXPECT_FALSE(menu->actions()[2]->isChecked());
}

TEST(GraphWindowTest, RightClickOpensTheMenuAndItsChoiceActs) {
  test::TempDir config(true);
  auto window = test::OpenWindow("rightclick");
  ASSERT_TRUE(window);
  bool seen = false;
  QTimer::singleShot(50, [&seen] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    seen = true;
    for (QAction* action : menu->actions())
      if (action->text() == "Orange") menu->setActiveAction(action);
    QTest::keyClick(menu, Qt::Key_Return);
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(100, 100), window->mapToGlobal(QPoint(100, 100)));
  QApplication::sendEvent(window.get(), &event);
  EXPECT_TRUE(seen);
  EXPECT_EQ(window->ColorMapNumber(), 4);
  std::vector<double> data = Spectrum(1024);
  window->Show(data.data(), 1024);
  Ranges r;
  r.map = 4;
  EXPECT_EQ(PlotDifferences(OnScreen(*window), *window, ExpectedPlot(*window, data.data(), 1024, r)), 0);
}

TEST(GraphWindowTest, StoredColourSevenIsGreyWithoutACheckedMapItem) {
  test::TempDir config(true);
  {
    Registry key(RegistryRoot::LocalMachine, "SOFTWARE\\Orv Limited\\Plexa_301\\seven");
    ASSERT_EQ(key.WriteInt("Color", 7), RegistryStatus::Ok);
  }
  auto window = test::OpenWindow("seven");
  ASSERT_TRUE(window);
  EXPECT_EQ(window->ColorMapNumber(), 7);
  std::unique_ptr<QMenu> menu(window->BuildContextMenu());
  for (int i = 0; i < 6; ++i) EXPECT_FALSE(menu->actions()[i]->isChecked()) << i;
  std::vector<double> data = Spectrum(1024);
  window->Show(data.data(), 1024);
  Ranges r;
  r.map = 7;
  const QImage screen = OnScreen(*window);
  EXPECT_EQ(PlotDifferences(screen, *window, ExpectedPlot(*window, data.data(), 1024, r)), 0);
  const PixelRect p = window->Layout().plot;
  EXPECT_EQ(PixelAt(screen, p.left + 1, p.top + 1), MakeRgb(255, 255, 255));
  window->SetCursorsShown(true);
  const AxisScale xs{0, 100, p.Width()};
  EXPECT_EQ(PixelAt(OnScreen(*window), p.left + xs.PixelOf(window->XCursors().low), p.top + 2),
            MakeRgb(64, 64, 64));
}

}  // namespace
}  // namespace veltra
