// Page mode and pause, counted in Output calls made on a thread of their own
// as the server thread makes them, with the GUI thread going on.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "host/tests/HostrixTestSupport.h"

namespace veltra::test {
namespace {

class HostConsoleTest : public ::testing::Test, public HostrixFixture {
 protected:
  void SetUp() override { Start(false); }

  // Makes count Output calls on a server thread; done counts the finished ones.
  void Produce(int count) {
    producer_ = std::thread([this, count] {
      for (int i = 0; i < count; ++i) {
        doc_->Console().Output(("out " + std::to_string(i) + "\n").c_str(), false);
        ++done_;
      }
    });
  }
  // Waits until done stops at n (the n+1st call waits at the gate).
  bool HeldAfter(int n) {
    if (!WaitUntil([&] { return done_ == n && frame_->PaneText(1) == "Paused"; })) return false;
    QThread::msleep(50);
    QCoreApplication::processEvents();
    return done_ == n;
  }
  void TearDown() override {
    // Let a producer that still waits finish.
    WaitUntil([&] {
      if (doc_->Console().Paused()) doc_->OnPause();
      return !producer_.joinable() || done_ >= target_;
    });
    if (producer_.joinable()) producer_.join();
  }

  std::thread producer_;
  std::atomic<int> done_{0};
  int target_ = 0;
};

TEST_F(HostConsoleTest, PageModeHoldsTheTenthCallAndThenEveryTenthMore) {
  doc_->Console().SetPageLength(10);
  doc_->OnPageMode();
  EXPECT_EQ(frame_->PaneText(3), "Page Mode");
  target_ = 35;
  Produce(target_);
  ASSERT_TRUE(HeldAfter(9));
  EXPECT_TRUE(doc_->Console().Paused());
  doc_->OnPause();  // Pause continues
  ASSERT_TRUE(HeldAfter(19));
  doc_->OnPause();
  ASSERT_TRUE(HeldAfter(29));
  EXPECT_EQ(StoredText(doc_->Store(), 1), "out 28");
  doc_->OnPause();
  ASSERT_TRUE(WaitUntil([&] { return done_ == 35; }));
  EXPECT_EQ(frame_->PaneText(1), "");
}

TEST_F(HostConsoleTest, LinesLeftCountsCallsNotLinesAndStartsAtMinusOne) {
  HostrixFixture fresh;  // a console whose page length no view has set
  fresh.Start(false);
  HostConsole& console = fresh.doc_->Console();
  std::thread([&] { console.Output("a\nb\nc\n", false); }).join();
  EXPECT_EQ(console.LinesLeft(),
            console.PageLength() == HostConsole::kInitialPageLength ? -2 : console.PageLength() - 1);
  // Without page mode, a new page length refills the page but holds nothing.
  console.SetPageLength(2);
  EXPECT_EQ(console.LinesLeft(), 2);
  std::thread([&] {
    for (int i = 0; i < 5; ++i) console.Output("x", false);
  }).join();
  EXPECT_EQ(console.LinesLeft(), -3);
  console.SetPageLength(0);
  EXPECT_EQ(console.PageLength(), 1);
}

TEST_F(HostConsoleTest, PauseHoldsTheNextCallAndAToggleWithoutWaiterLetsOneGateThrough) {
  doc_->OnPause();
  target_ = 3;
  Produce(target_);
  ASSERT_TRUE(HeldAfter(0));
  doc_->OnPause();
  ASSERT_TRUE(WaitUntil([&] { return done_ == 3; }));
  producer_.join();

  // Pause on and off with nobody waiting leaves one release in the gate: the
  // next page end passes at once.
  doc_->OnPause();
  doc_->OnPause();
  doc_->Console().SetPageLength(2);
  doc_->OnPageMode();
  done_ = 0;
  target_ = 4;
  Produce(target_);
  // The page end (call 2) passed; the gate left paused on, so call 3 waits.
  ASSERT_TRUE(HeldAfter(2));
  doc_->OnPause();
  ASSERT_TRUE(WaitUntil([&] { return done_ == 4; }));
}

TEST_F(HostConsoleTest, OutputOnTheGuiThreadNeverWaitsAtTheGate) {
  doc_->OnPause();
  // A monitor line of a reset the GUI thread asked for.
  doc_->Console().Output("MON: Resetting DSP modules\n", true);
  EXPECT_EQ(StoredText(doc_->Store(), 1), "MON: Resetting DSP modules");
  doc_->OnPause();
}

TEST_F(HostConsoleTest, InputTitleKeeps63Characters) {
  EXPECT_EQ(doc_->Console().InputTitle(), "Standard Input");
  doc_->Console().SetInputTitle(std::string(100, 't').c_str());
  EXPECT_EQ(doc_->Console().InputTitle(), std::string(63, 't'));
  EXPECT_EQ(doc_->Console().Reserved("x", 42), 42);
}

}  // namespace
}  // namespace veltra::test
