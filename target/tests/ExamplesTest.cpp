// The example applications, run as child processes against a small scripted
// server: their output, their exit and what they send.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeServer.h"

namespace veltra::test {
namespace {

constexpr uint32_t kSetExitStatus = 0x19;  // Basalt 25, bit 31 clear
constexpr uint32_t kEndTask = 0x18;        // Basalt 24, bit 31 clear

class ExamplesTest : public ::testing::Test {
 protected:
  // Runs an example to its end with the given argument text and input.
  void RunApp(const std::string& name, const std::string& arguments = "",
              std::vector<std::string> input = {}) {
    mini.arguments = arguments;
    mini.input = std::move(input);
    ChildApp app(link, ExamplePath(name));
    mini.ServeToEnd();
    status = app.Wait();
  }

  // The last two requests: exit status, then the end of the one task.
  void ExpectCleanExit(int expected) {
    EXPECT_EQ(status, expected);
    EXPECT_EQ(mini.exitStatus, expected);
    ASSERT_GE(mini.requestWords.size(), 2u);
    EXPECT_EQ(mini.requestWords[mini.requestWords.size() - 2], kSetExitStatus);
    EXPECT_EQ(mini.requestWords.back(), kEndTask);
  }

  FakeServer link;
  MiniBasalt mini{link};
  int status = -1;
};

TEST_F(ExamplesTest, HelloPrintsItsLine) {
  RunApp("hello");
  EXPECT_EQ(mini.out, "Hello from the Veltra DSP network!\n");
  EXPECT_EQ(mini.err, "");
  ExpectCleanExit(0);
}

TEST_F(ExamplesTest, ArgsShowsTheSplitCommandLine) {
  RunApp("args", "one \"two words\"  three");
  EXPECT_EQ(mini.out,
            "argv[0]=demo.app\n"
            "argv[1]=one\n"
            "argv[2]=two words\n"
            "argv[3]=three\n"
            "argc=4\n");
  ExpectCleanExit(0);
}

TEST_F(ExamplesTest, EchoCopiesInputAndCountsLines) {
  // The long line reaches the application in two reads, as the server reads
  // at most 4095 characters at a time.
  const std::string longLine(5000, 'L');
  RunApp("echo", "", {"alpha\n", "\n", longLine + "\n", "last without newline"});
  EXPECT_TRUE(mini.out == "alpha\n\n" + longLine + "\nlast without newline") << mini.out.size() << " bytes";
  EXPECT_EQ(mini.err, "echo: 4 lines\n");
  ExpectCleanExit(0);
}

TEST_F(ExamplesTest, ExitcodeEndsWithTheGivenStatus) {
  RunApp("exitcode", "5");
  EXPECT_EQ(mini.out, "exiting with 5\n");
  ExpectCleanExit(5);
}

TEST_F(ExamplesTest, ExitcodeDefaultsToThree) {
  RunApp("exitcode");
  EXPECT_EQ(mini.out, "exiting with 3\n");
  ExpectCleanExit(3);
}

TEST_F(ExamplesTest, ExceptionSendsItsReport) {
  RunApp("exception");
  ASSERT_EQ(mini.exceptions.size(), 1u);
  EXPECT_EQ(mini.exceptions[0], (std::vector<uint32_t>{0x12, 2, 0xdeadbeef, 0x1234}));
  EXPECT_EQ(mini.out, "reported\n");
  ExpectCleanExit(0);
}

TEST_F(ExamplesTest, SemaphoresWaitsForEachSemaphoreAndKeepsEarlyOnes) {
  mini.arguments = "1 7";
  ChildApp app(link, ExamplePath("semaphores"));
  while (mini.out.find("waiting for host semaphore 1\n") == std::string::npos) ASSERT_TRUE(mini.ServeOne());
  // Semaphore 7 first: it must still count when the application gets to it.
  link.SendSignal(1u << 7);
  link.SendSignal(1u << 1);
  mini.ServeToEnd();
  status = app.Wait();
  EXPECT_EQ(mini.out,
            "waiting for host semaphore 1\n"
            "got host semaphore 1\n"
            "waiting for host semaphore 7\n"
            "got host semaphore 7\n");
  ExpectCleanExit(0);
}

TEST_F(ExamplesTest, WithoutALinkAnApplicationEndsWith127) {
  ChildApp app(link, ExamplePath("hello"), false);
  EXPECT_EQ(app.Wait(), 127);
  EXPECT_NE(app.OwnStderr().find("VELTRA_LINK_FD is not set"), std::string::npos);
}

}  // namespace
}  // namespace veltra::test
