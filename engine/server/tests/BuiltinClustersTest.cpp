// Byte layouts of the core, debug and debugger-interface clusters, seen on
// the link of a served application.
#include "engine/server/tests/ServerTestSupport.h"

namespace veltra::test {
namespace {

class BuiltinClustersTest : public ServerTest {
 protected:
  // Serves the queued requests and waits for count replies.
  void ServeReplies(size_t count) {
    RunAndWaitUntilServing();
    ASSERT_TRUE(link->WaitForBlocks(count)) << "fewer than " << count << " replies";
  }
  ReplyReader Reply(size_t index) {
    auto blocks = link->ReplyBlocks();
    if (index >= blocks.size()) {
      ADD_FAILURE() << "no reply " << index;
      return ReplyReader({});
    }
    return ReplyReader(blocks[index]);
  }
};

TEST_F(BuiltinClustersTest, SoftwareExceptionReportGoesToTheErrorStream) {
  SelectApplication();
  link->QueueBlock(Request(1, 1, {0x12, 3, 0xAABBCCDD, 0x11223344}));
  link->QueueBlock(Request(1, 1, {0x7, 0xFFFFFFFF, 1, 2}));
  link->QueueBlock(Request(1, 1, {0x30, 0, 0, 0}));
  ServeReplies(3);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(link->ReplyWords(i), std::vector<uint32_t>{0});
  EXPECT_EQ(host.Err(),
            "*** Software exception: 00000012 AABBCCDD 11223344 Processor=3 Severity=error\n"
            "*** Software exception: 00000007 00000001 00000002 Processor=-1 Severity=unknown\n"
            "*** Software exception: 00000030 00000000 00000000 Processor=0 Severity=information\n");
  EXPECT_EQ(host.Out(), "");
  HaltAndWait();
}

TEST_F(BuiltinClustersTest, EchoReturnsTheStringPadded) {
  SelectApplication();
  link->QueueBlock(Concat({Request(1, 4), StringArgument("hello")}));
  ServeReplies(1);
  auto blocks = link->ReplyBlocks();
  ASSERT_EQ(blocks[0].size(), 16u);  // count, two data words, result
  ReplyReader reply = Reply(0);
  EXPECT_EQ(reply.String(), "hello");
  EXPECT_EQ(reply.Word(), 0u);
  HaltAndWait();
}

TEST_F(BuiltinClustersTest, OversizedStringsAreCutToTheBufferAndTheRequestStaysInStep) {
  SelectApplication();
  std::string big(5000, 'x');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
  link->QueueBlock(Concat({Request(1, 4), StringArgument(big)}));
  link->QueueBlock(Concat({Request(1, 5), StringArgument(big)}));
  link->QueueBlock(Concat({Request(1, 4), StringArgument("after")}));
  ServeReplies(3);
  ReplyReader echo = Reply(0);
  EXPECT_EQ(echo.String(), big.substr(0, 4096));
  EXPECT_EQ(echo.Word(), 0u);
  EXPECT_EQ(link->ReplyWords(1), std::vector<uint32_t>{0});
  ReplyReader after = Reply(2);
  EXPECT_EQ(after.String(), "after");
  EXPECT_EQ(after.Word(), 0u);
  HaltAndWait();
}

TEST_F(BuiltinClustersTest, SourceSendsAtMostOneBufferAndRefusesMore) {
  SelectApplication();
  link->QueueBlock(Request(1, 6, {16}));
  link->QueueBlock(Request(1, 6, {4096}));
  link->QueueBlock(Request(1, 6, {4097}));
  link->QueueBlock(Request(1, 6, {0xFFFFFFFF}));
  link->QueueBlock(Concat({Request(1, 5), StringArgument("dropped")}));
  ServeReplies(5);
  ReplyReader small = Reply(0);
  EXPECT_EQ(small.String().size(), 16u);
  EXPECT_EQ(small.Word(), 0u);
  EXPECT_TRUE(small.AtEnd());
  ReplyReader full = Reply(1);
  EXPECT_EQ(full.String().size(), 4096u);
  EXPECT_EQ(full.Word(), 0u);
  for (size_t i : {2, 3}) {
    ReplyReader refused = Reply(i);
    EXPECT_EQ(refused.String(), "");
    EXPECT_EQ(refused.Word(), 99u);
    EXPECT_TRUE(refused.AtEnd());
  }
  EXPECT_EQ(link->ReplyWords(4), std::vector<uint32_t>{0});
  HaltAndWait();
}

TEST_F(BuiltinClustersTest, ProgramNameComesFromTheApplicationUntilOverridden) {
  SelectApplication();
  server->SetCommandLine("-n 5 input.dat");
  link->QueueBlock(Request(1, 2));
  link->QueueBlock(Concat({Request(1, 3), StringArgument("renamed"), StringArgument("one two")}));
  link->QueueBlock(Request(1, 2));
  link->QueueBlock(Concat({Request(1, 3), StringArgument(""), StringArgument("")}));
  link->QueueBlock(Request(1, 2));
  ServeReplies(5);

  ReplyReader before = Reply(0);
  EXPECT_EQ(before.String(), applicationPath);
  EXPECT_EQ(before.String(), "-n 5 input.dat");
  EXPECT_EQ(before.Word(), 0u);
  EXPECT_EQ(link->ReplyWords(1), std::vector<uint32_t>{0});
  ReplyReader after = Reply(2);
  EXPECT_EQ(after.String(), "renamed");
  EXPECT_EQ(after.String(), "one two");
  EXPECT_EQ(after.Word(), 0u);
  EXPECT_EQ(link->ReplyWords(3), std::vector<uint32_t>{0});
  ReplyReader empty = Reply(4);
  EXPECT_EQ(empty.String(), "");
  EXPECT_EQ(empty.String(), "");
  EXPECT_EQ(empty.Word(), 0u);
  HaltAndWait();
  EXPECT_STREQ(server->GetCommandLine(), "-n 5 input.dat");
}

TEST_F(BuiltinClustersTest, LinkSynchronisationSignalsBetweenTheControls) {
  SelectApplication();
  link->QueueBlock(Request(1, 7));
  ServeReplies(1);
  EXPECT_EQ(link->controls, (std::vector<std::pair<int, int>>{{1, 8296}, {2, 0}}));
  // The zero signal block comes before the reply block.
  Bytes expected = Concat({Words({0x10004, 0}), Block(Words({0}))});
  EXPECT_EQ(link->AllWritten(), expected);
  HaltAndWait();
}

TEST_F(BuiltinClustersTest, DebugClusterPrintsOnTheProcessOwnOutput) {
  SelectApplication();
  link->QueueBlock(Request(4, 1, {0xABCD}));
  link->QueueBlock(Request(4, 2, {77}));
  link->QueueBlock(Request(4, 3, {'Z'}));
  link->QueueBlock(Request(4, 3, {'\n'}));
  testing::internal::CaptureStdout();
  RunAndWaitUntilServing();
  bool replied = link->WaitForBlocks(4);
  std::string printed = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(replied);
  EXPECT_EQ(printed, "debugging value: 0000ABCD\nZ\n");
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(link->ReplyWords(i), std::vector<uint32_t>{0});
  EXPECT_EQ(host.All(), "");  // not the terminal
  HaltAndWait();
}

TEST_F(BuiltinClustersTest, DebugClusterHasNoFourthService) {
  SelectApplication();
  link->QueueBlock(Request(4, 0));
  link->QueueBlock(Request(4, 4));
  server->Run();
  ASSERT_TRUE(host.WaitForRuns(1));
  EXPECT_EQ(link->ReplyBlocks().size(), 1u);  // the probe's answer only
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Debug Cluster has no service number 4");
}

TEST_F(BuiltinClustersTest, DebuggerServicesReplyAtOnceWithoutDebug) {
  SelectApplication();
  link->QueueBlock(Concat({Request(5, 1, {1, 2}), StringArgument("symbols.out"), StringArgument("main")}));
  link->QueueBlock(Request(5, 2));
  link->QueueBlock(Request(5, 3));
  ServeReplies(3);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(link->ReplyWords(i), std::vector<uint32_t>{0});
  EXPECT_TRUE(Boxes().empty());
  HaltAndWait();
}

// Notes how many replies had gone down the link when each box appeared.
class ReplyCountingUi : public RecordingUi {
 public:
  explicit ReplyCountingUi(const ScriptedLink* link) : link_(link) {}
  MessageResult MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                           MessageIcon icon, MessageButtons buttons, MessageResult defaultButton) override {
    repliesAtBox.push_back(link_->ReplyBlocks().size());
    return RecordingUi::MessageBox(owner, text, caption, icon, buttons, defaultButton);
  }
  std::vector<size_t> repliesAtBox;

 private:
  const ScriptedLink* link_;
};

class DebugPauseTest : public BuiltinClustersTest {
 protected:
  // Outlives the server, which the base class's TearDown ends.
  ReplyCountingUi counting{link.get()};
};

TEST_F(DebugPauseTest, DebugPauseShowsItsBoxBeforeReplying) {
  Ui::Install(&counting);
  options->Debug = 1;
  SelectApplication();
  link->QueueBlock(Request(1, 0));
  link->QueueBlock(Request(5, 3));
  ServeReplies(2);
  auto boxes = counting.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Paused");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Information);
  EXPECT_EQ(boxes[0].buttons, MessageButtons::Ok);
  EXPECT_EQ(boxes[0].owner, host.window);
  EXPECT_EQ(boxes[0].text,
            "You have selected View/Options/Parameters/Debug Application, so your\n"
            "application has now paused to allow you to take control with a debugger\n"
            "(which should already be running in the \"Run Free\" state).\n\n"
            "At this point you would usually enter the debugger, load the application's\n"
            "symbol table, and select \"Go Main\".\n\n"
            "Press OK to allow the application to continue.");
  EXPECT_EQ(counting.repliesAtBox, std::vector<size_t>{1});  // the probe's reply only
  EXPECT_EQ(link->ReplyWords(1), std::vector<uint32_t>{0});
  HaltAndWait();
}

}  // namespace
}  // namespace veltra::test
