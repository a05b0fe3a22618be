// Run control under pressure: releases, halts and deletions that meet the
// server thread at awkward moments, and links that fail where they should
// not.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "engine/server/tests/ServerTestSupport.h"
#include "veltra/LinkManager.h"

namespace veltra::test {
namespace {

TEST_F(ServerTest, HaltOfARunThatNeverStartedLeavesNoCancelForTheNextRun) {
  SelectApplication();
  // The host reconnects from its RunFinished, halts that run before the
  // server thread could take it, and reconnects once more.
  bool first = true;
  host.onRunFinished = [&] {
    if (!first) return;
    first = false;
    server->Reconnect(false, 0);
    server->Halt();
    server->Reconnect(false, 0);
  };
  RunAndWaitUntilServing();
  HaltAndWait(1);
  ASSERT_TRUE(link->WaitForReadBlocked()) << "the last reconnect is not served";
  link->QueueBlock(Concat({Words({RequestWord(1, 4)}), StringArgument("served")}));
  ASSERT_TRUE(link->WaitForBlocks(1)) << "the last reconnect did not serve";
  ReplyReader echo(link->ReplyBlocks()[0]);
  EXPECT_EQ(echo.String(), "served");
  EXPECT_TRUE(Boxes().empty()) << Boxes()[0].text;
  host.onRunFinished = nullptr;
  server->Halt();
  ASSERT_TRUE(host.WaitForRuns(2));
}

TEST_F(ServerTest, RunTwiceInQuickSuccessionPerformsTwoRuns) {
  SelectApplication();
  constexpr int kRounds = 10;
  for (int round = 0; round < kRounds; ++round) {
    server->Run();
    server->Run();
    ASSERT_TRUE(link->WaitForReadBlocked()) << "round " << round;
    HaltAndWait(2 * round + 1);
    ASSERT_TRUE(link->WaitForReadBlocked()) << "round " << round << ": no second run";
    HaltAndWait(2 * round + 2);
  }
  EXPECT_EQ(link->loadedFiles.size(), 2u * kRounds);
  // A third release while one waits replaces it: at most one run waits.
  server->Run();
  ASSERT_TRUE(link->WaitForReadBlocked());
  server->Run();
  server->Reconnect(false, 0);
  HaltAndWait(2 * kRounds + 1);
  ASSERT_TRUE(link->WaitForReadBlocked());
  HaltAndWait(2 * kRounds + 2);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(host.RunsFinished(), 2 * kRounds + 2);
  EXPECT_EQ(link->loadedFiles.size(), 2u * kRounds + 1) << "the reconnect was not the run that waited";
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ServerTest, DeletingTheServerFromRunFinishedIsSafe) {
  SelectApplication();
  options->ExitOnStop = 1;
  LinkManager* linkManager = server->linkManager;
  host.onRunFinished = [&] {
    delete server;
    server = nullptr;
  };
  RunAndWaitUntilServing();
  server->Halt();
  ASSERT_TRUE(host.WaitForRuns(1));
  for (int wait = 0; wait < 500 && host.ThreadsEnded() == 0; ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(host.ThreadsEnded(), 1);
  EXPECT_EQ(ui.Quits().size(), 1u) << "the quit asked for was lost with the server";
  delete linkManager;
}

// A driver whose Cancel fails, as any link operation may.
class FailingCancelLink : public ScriptedLink {
 public:
  void Cancel() override {
    ScriptedLink::Cancel();
    QMXExc error{};
    error.error = 5;
    std::snprintf(error.message, sizeof error.message, "%s", "cancel refused");
    throw error;
  }
};

class FailingCancelTest : public ServerTest {
 protected:
  void SetUp() override {
    link = std::make_unique<FailingCancelLink>();
    ServerTest::SetUp();
  }
};

TEST_F(FailingCancelTest, NeitherReachesTheHostNorEndsTheProcess) {
  SelectApplication();
  RunAndWaitUntilServing();
  EXPECT_NO_THROW(server->Halt());
  ASSERT_TRUE(host.WaitForRuns(1));
  EXPECT_EQ(server->LastRunOutcome(), RunOutcome::Halted);
  EXPECT_TRUE(Boxes().empty());

  // The destructor halts a run in progress itself.
  RunAndWaitUntilServing();
  LinkManager* linkManager = server->linkManager;
  delete server;
  server = nullptr;
  delete linkManager;
  EXPECT_EQ(host.RunsFinished(), 2);
}

// The host sets the command line while the application reads it: every
// answer is one of the texts set, never a mixture.
TEST_F(ServerTest, CommandLineSetDuringARunIsReadWhole) {
  SelectApplication();
  const std::string first(200, 'a');
  const std::string second(200, 'b');
  server->SetCommandLine(first.c_str());
  RunAndWaitUntilServing();
  std::atomic<bool> done{false};
  std::thread setter([&] {
    for (int i = 0; !done; ++i) server->SetCommandLine((i % 2 ? first : second).c_str());
  });
  constexpr int kRequests = 300;
  for (int i = 0; i < kRequests; ++i) link->QueueBlock(Words({RequestWord(1, 2)}));
  bool served = link->WaitForBlocks(kRequests, 20000);
  done = true;
  setter.join();
  ASSERT_TRUE(served);
  auto replies = link->ReplyBlocks();
  for (int i = 0; i < kRequests; ++i) {
    ReplyReader reply(replies[i]);
    reply.String();  // the program name
    std::string arguments = reply.String();
    ASSERT_TRUE(arguments == first || arguments == second) << "reply " << i << ": " << arguments;
  }
  HaltAndWait();
}

}  // namespace
}  // namespace veltra::test
