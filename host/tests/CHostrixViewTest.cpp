// The terminal view on the off-screen platform: its scroll limits, keys,
// following new output, and painting the newest lines at the bottom.
#include "host/CHostrixView.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

#include "host/tests/HostrixTestSupport.h"

namespace veltra::test {
namespace {

class CHostrixViewTest : public ::testing::Test, public HostrixFixture {
 protected:
  void SetUp() override { Start(false); }
  CHostrixView& View() { return *frame_->View(); }
  void Lines(int count) {
    for (int i = 0; i < count; ++i) doc_->Store().Write(("line " + std::to_string(i) + "\n").c_str());
  }
  // Rows of the viewport (in line heights from the bottom) that hold ink.
  std::vector<bool> InkedRows() {
    QImage image = View().viewport()->grab().toImage();
    QColor background = View().viewport()->palette().color(QPalette::Base);
    int height = View().LineHeight();
    std::vector<bool> rows;
    for (int bottom = image.height(); bottom - height >= 0; bottom -= height) {
      bool ink = false;
      for (int y = bottom - height; y < bottom && !ink; ++y)
        for (int x = 0; x < image.width() && !ink; ++x) ink = image.pixelColor(x, y) != background;
      rows.push_back(ink);
    }
    return rows;
  }
};

TEST_F(CHostrixViewTest, ResizeSetsTheLimitsAndThePageLength) {
  int rows = View().viewport()->height() / View().LineHeight();
  EXPECT_EQ(View().Rows(), rows);
  EXPECT_EQ(View().TopLimit(), std::min(0, rows - 499));
  EXPECT_EQ(View().RightLimit(), std::max(0, 200 - View().viewport()->width() / View().ColumnWidth()));
  EXPECT_EQ(doc_->Console().PageLength(), std::max(1, rows - 1));
  EXPECT_EQ(View().verticalScrollBar()->minimum(), View().TopLimit());
  EXPECT_EQ(View().verticalScrollBar()->maximum(), 0);
  // Wide enough for 200 columns: no horizontal range at all.
  frame_->resize(260 * View().ColumnWidth(), 400);
  QCoreApplication::processEvents();
  EXPECT_EQ(View().RightLimit(), 0);
}

TEST_F(CHostrixViewTest, KeysScrollWithinTheLimitsAndNewOutputSnapsBack) {
  Lines(600);
  View().DisplayUpdate();
  QTest::keyClick(&View(), Qt::Key_Home);
  EXPECT_EQ(View().VerticalPosition(), View().TopLimit());
  QTest::keyClick(&View(), Qt::Key_Up);
  EXPECT_EQ(View().VerticalPosition(), View().TopLimit());
  QTest::keyClick(&View(), Qt::Key_Down);
  EXPECT_EQ(View().VerticalPosition(), View().TopLimit() + 1);
  QTest::keyClick(&View(), Qt::Key_PageDown);
  EXPECT_EQ(View().VerticalPosition(), View().TopLimit() + 1 + View().Rows());
  QTest::keyClick(&View(), Qt::Key_End);
  EXPECT_EQ(View().VerticalPosition(), 0);
  QTest::keyClick(&View(), Qt::Key_PageUp);
  EXPECT_EQ(View().VerticalPosition(), -View().Rows());
  QTest::keyClick(&View(), Qt::Key_Right);
  QTest::keyClick(&View(), Qt::Key_Right);
  QTest::keyClick(&View(), Qt::Key_Left);
  EXPECT_EQ(View().HorizontalPosition(), 1);
  QTest::keyClick(&View(), Qt::Key_Left);
  QTest::keyClick(&View(), Qt::Key_Left);
  EXPECT_EQ(View().HorizontalPosition(), 0);
  // Output while scrolled back: the view jumps to the newest line.
  doc_->Store().Write("more\n");
  View().DisplayUpdate();
  EXPECT_EQ(View().VerticalPosition(), 0);
  EXPECT_EQ(View().verticalScrollBar()->value(), 0);
}

TEST_F(CHostrixViewTest, DraggingOutsideTheWindowScrolls) {
  Lines(100);
  View().DisplayUpdate();
  QWidget* viewport = View().viewport();
  QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
  QMouseEvent above(QEvent::MouseMove, QPointF(10, -5), QPointF(10, -5), Qt::NoButton, Qt::LeftButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(viewport, &above);
  EXPECT_EQ(View().VerticalPosition(), -1);
  QMouseEvent right(QEvent::MouseMove, QPointF(viewport->width() + 3, 10), QPointF(viewport->width() + 3, 10),
                    Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(viewport, &right);
  EXPECT_EQ(View().HorizontalPosition(), View().RightLimit() > 0 ? 1 : 0);
  QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
  QMouseEvent free(QEvent::MouseMove, QPointF(10, -5), QPointF(10, -5), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(viewport, &free);
  EXPECT_EQ(View().VerticalPosition(), -1);
}

TEST_F(CHostrixViewTest, NewestLinesArePaintedAtTheBottomAndTheUnfinishedLineIsNot) {
  doc_->Store().Write("first\nsecond\nunfinished");
  View().DisplayUpdate();
  auto rows = InkedRows();
  ASSERT_GE(rows.size(), 4u);
  EXPECT_TRUE(rows[0]);   // "second", the last ended line
  EXPECT_TRUE(rows[1]);   // "first"
  EXPECT_FALSE(rows[2]);  // empty lines from the clear
  doc_->Store().Write("\n");
  View().DisplayUpdate();
  rows = InkedRows();
  EXPECT_TRUE(rows[2]);
  // The timer follows from the first update on.
  EXPECT_TRUE(View().TimerStarted());
}

TEST_F(CHostrixViewTest, APaintBetweenAnUpdateAndMoreOutputLeavesTheScreenAsAFullRepaintDrawsIt) {
  // The pixels the window really shows, scrolled and painted in parts.
  auto onScreen = [&] {
    QCoreApplication::processEvents();
    QPoint origin = View().viewport()->mapTo(View().window(), QPoint(0, 0));
    return QGuiApplication::primaryScreen()
        ->grabWindow(View().window()->winId(), origin.x(), origin.y(), View().viewport()->width(),
                     View().viewport()->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
  };
  for (int i = 0; i < 40; ++i) doc_->Store().Write(("first " + std::to_string(i) + "\n").c_str());
  View().DisplayUpdate();
  onScreen();
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 3; ++i)
      doc_->Store().Write(("next " + std::to_string(round * 10 + i) + "\n").c_str());
    View().DisplayUpdate();  // scrolls by three rows and leaves them to paint
    // More output before that paint comes.
    for (int i = 0; i < 2; ++i)
      doc_->Store().Write(("more " + std::to_string(round * 10 + i) + "\n").c_str());
    onScreen();
    View().DisplayUpdate();
    QImage shown = onScreen();
    View().viewport()->repaint();
    ASSERT_EQ(shown, onScreen()) << "round " << round;
  }
}

}  // namespace
}  // namespace veltra::test
