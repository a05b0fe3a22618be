// The terminal store's rules, without a window: line length, tabs, the 500
// lines and 100000 bytes it keeps, and the counters the view follows.
#include "host/TerminalStore.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/CountingAllocator.h"

namespace veltra {
namespace {

class TerminalStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(store_.Allocate()); }

  // Line C + offset (offset -1 is the last ended line), or "<gone>".
  std::string Line(int64_t offset) {
    std::lock_guard<std::mutex> lock(store_.Mutex());
    char buffer[TerminalStore::kLineLength + 1];
    if (!store_.CopyLine(store_.CurrentLine() + offset, buffer)) return "<gone>";
    return buffer;
  }
  int64_t Current() {
    std::lock_guard<std::mutex> lock(store_.Mutex());
    return store_.CurrentLine();
  }

  TerminalStore store_;
};

TEST_F(TerminalStoreTest, ClearStartsAtLine500WithEveryLineEmptyAndAllNew) {
  EXPECT_EQ(Current(), 500);
  EXPECT_EQ(store_.TakeUpdate().newLines, TerminalStore::kAllLinesNew);
  EXPECT_TRUE(store_.TakeLineEnded());
  EXPECT_EQ(Line(-1), "");
  EXPECT_EQ(Line(-499), "");
  EXPECT_EQ(Line(-500), "<gone>");
  EXPECT_EQ(Line(0), "");
}

TEST_F(TerminalStoreTest, LinesLongerThan199CharactersAreBrokenAndTheRestWaitsForItsEnd) {
  store_.TakeUpdate();
  store_.Write(std::string(450, 'x').c_str());
  EXPECT_EQ(Current(), 502);
  EXPECT_EQ(Line(-2), std::string(199, 'x'));
  EXPECT_EQ(Line(-1), std::string(199, 'x'));
  EXPECT_EQ(Line(0), std::string(52, 'x'));  // unfinished, not drawn yet
  auto update = store_.TakeUpdate();
  EXPECT_TRUE(update.changed);
  EXPECT_EQ(update.newLines, 2);
  store_.Write("\n");
  EXPECT_EQ(Line(-1), std::string(52, 'x'));
  EXPECT_EQ(Line(0), "");
}

TEST_F(TerminalStoreTest, TabsMoveToTheNextMultipleOfFiveAndEndTheLineNearItsEnd) {
  store_.Write("a\tb\n");
  EXPECT_EQ(Line(-1), "a    b");
  store_.Write("\tx\n");
  EXPECT_EQ(Line(-1), "     x");
  store_.Write("abcde\tf\n");
  EXPECT_EQ(Line(-1), "abcde     f");
  // At column 197 the next stop (200) lies beyond the line: the tab ends it.
  store_.Write((std::string(197, 'y') + "\tz\n").c_str());
  EXPECT_EQ(Line(-2), std::string(197, 'y'));
  EXPECT_EQ(Line(-1), "z");
  // At column 194 the stop is 195: one space, in place of the tab.
  store_.Write((std::string(194, 'y') + "\tz\n").c_str());
  EXPECT_EQ(Line(-1), std::string(194, 'y') + " z");
  // Other control characters are kept as they are.
  store_.Write("a\rb\x01\n");
  EXPECT_EQ(Line(-1), "a\rb\x01");
}

TEST_F(TerminalStoreTest, OnlyTheLast500LinesCanBeRead) {
  for (int i = 0; i < 600; ++i) store_.Write(("line " + std::to_string(i) + "\n").c_str());
  EXPECT_EQ(Current(), 1100);
  EXPECT_EQ(Line(-1), "line 599");
  EXPECT_EQ(Line(-499), "line 101");
  EXPECT_EQ(Line(-500), "<gone>");
}

TEST_F(TerminalStoreTest, FullLinesWrapAroundTheRingIntact) {
  // 199 characters and a NUL: 500 such lines are exactly the ring's size, so
  // the oldest readable line starts just after the newest byte.
  std::string line(199, 'q');
  for (int i = 0; i < 1203; ++i) {
    line[0] = static_cast<char>('A' + i % 26);
    line[198] = static_cast<char>('a' + i % 26);
    store_.Write(line.c_str());
    store_.Write("\n");
  }
  for (int64_t offset = -1; offset >= -499; --offset) {
    int i = 1203 + static_cast<int>(offset);
    std::string got = Line(offset);
    ASSERT_EQ(got.size(), 199u) << offset;
    EXPECT_EQ(got[0], static_cast<char>('A' + i % 26)) << offset;
    EXPECT_EQ(got[198], static_cast<char>('a' + i % 26)) << offset;
  }
}

TEST_F(TerminalStoreTest, TheLastUnfinishedLineOfARunIsEndedEvenAfterAnUpdate) {
  store_.Write("abc\ndef");
  store_.TakeUpdate();  // a display update came between the output and the end
  store_.EndLineIfChanged();
  EXPECT_EQ(Line(-1), "abc") << "the plain rule leaves def undrawn";
  store_.EndLineIfChangedOrUnfinished();
  EXPECT_EQ(Line(-1), "def");
  // Nothing new and nothing unfinished: no empty line is added.
  store_.TakeUpdate();
  int64_t before = Current();
  store_.EndLineIfChangedOrUnfinished();
  EXPECT_EQ(Current(), before);
}

TEST_F(TerminalStoreTest, PositionsBeyondThirtyTwoBitsKeepWorking) {
  // Output of many gigabytes: positions and line numbers past 2^31.
  store_.ClearAt(int64_t{1} << 33, (int64_t{1} << 32) + 500);
  for (int i = 0; i < 1000; ++i) store_.Write(("long run " + std::to_string(i) + "\n").c_str());
  EXPECT_EQ(Line(-1), "long run 999");
  EXPECT_EQ(Line(-499), "long run 501");
  EXPECT_EQ(Line(-500), "<gone>");
}

TEST_F(TerminalStoreTest, StoringNeverAllocates) {
  std::string text = std::string(300, 'z') + "\tend\n";
  store_.Write(text.c_str());
  long before = CountedAllocations();
  for (int i = 0; i < 2000; ++i) store_.Write(text.c_str());
  store_.EndLineIfChangedOrUnfinished();
  store_.Clear();
  EXPECT_EQ(CountedAllocations(), before);
}

}  // namespace
}  // namespace veltra
