#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "platform/ConsoleUi.h"
#include "platform/RecordingUi.h"

namespace veltra {
namespace {

TEST(UiTest, ConsoleBackendPrintsCaptionAndTextAndAnswersDefault) {
  char* data = nullptr;
  size_t size = 0;
  std::FILE* stream = open_memstream(&data, &size);
  ConsoleUi console(stream);
  auto result = console.MessageBox(nullptr, "The server is busy", "Server running", MessageIcon::Warning,
                                   MessageButtons::YesNo, MessageResult::No);
  std::fclose(stream);
  EXPECT_EQ(result, MessageResult::No);
  EXPECT_EQ(std::string(data, size), "Server running: The server is busy\n");
  std::free(data);
}

TEST(UiTest, RecordingBackendKeepsBoxesAndScriptedAnswersFromAnyThread) {
  RecordingUi recording;
  Ui::Install(&recording);
  recording.QueueAnswer(MessageResult::Yes);
  std::thread other([] {
    EXPECT_EQ(Ui::MessageBox(nullptr, "first", "One", MessageIcon::Question, MessageButtons::YesNo,
                             MessageResult::No),
              MessageResult::Yes);
  });
  other.join();
  EXPECT_EQ(Ui::MessageBox(nullptr, "second", "Two", MessageIcon::Error), MessageResult::Ok);
  Ui::PostQuit(nullptr);
  Ui::Install(nullptr);

  auto boxes = recording.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, "One");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Question);
  EXPECT_EQ(boxes[1].text, "second");
  EXPECT_EQ(recording.Quits().size(), 1u);
  EXPECT_TRUE(recording.WaitForBoxes(2, 10));
  EXPECT_FALSE(recording.WaitForBoxes(3, 10));
}

}  // namespace
}  // namespace veltra
