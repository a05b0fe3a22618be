// The server object driven through the engine's exports: runs, halts,
// reconnects, resets, shutdowns and the boxes that end runs.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <stdexcept>

#include "engine/server/tests/ServerTestSupport.h"
#include "veltra/Cluster.h"
#include "veltra/RequestChannel.h"
#include "veltra/RequestFilter.h"

namespace veltra::test {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

TEST(EngineExports, VersionIsOnePointFour) {
  const Engine& engine = BoundEngine();
  ASSERT_TRUE(engine.getVersion) << engine.error;
  ASSERT_TRUE(engine.closeServer);
  int major = 0, minor = 0;
  EXPECT_EQ(engine.getVersion(&major, &minor), &major);
  EXPECT_EQ(major, 1);
  EXPECT_EQ(minor, 4);
  engine.closeServer();  // does nothing, and must be callable
}

TEST_F(ServerTest, StartReportsThreadAndTheHostHearsOfIt) {
  EXPECT_NE(threadHandle, nullptr);
  EXPECT_EQ(server->CommandLineLimit(), 254);
  server->Shutdown();
  EXPECT_EQ(host.ThreadsStarted(), 1);
  EXPECT_EQ(host.ThreadsEnded(), 1);
  EXPECT_EQ(host.RunsFinished(), 0);
}

TEST_F(ServerTest, RunWithoutApplicationShowsBoxThenFinishes) {
  server->Run();
  ASSERT_TRUE(host.WaitForRuns(1));
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "No Veltra application has been selected");
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Warning);
  EXPECT_EQ(boxes[0].owner, host.window);
  EXPECT_TRUE(link->loadedFiles.empty());
  EXPECT_EQ(link->runsEnded, 1);
  EXPECT_TRUE(ui.Quits().empty());
}

TEST_F(ServerTest, ApplicationPathMustBeShorterThanAPathBuffer) {
  EXPECT_FALSE(server->CanRun());
  std::string longest = "/" + std::string(258, 'a');
  server->SetApplication(longest.c_str());
  EXPECT_TRUE(server->CanRun());
  std::string tooLong = "/" + std::string(259, 'a');
  server->SetApplication(tooLong.c_str());
  EXPECT_FALSE(server->CanRun());
  server->SetApplication(longest.c_str());
  server->SetApplication("");
  EXPECT_FALSE(server->CanRun());
  server->SetApplication(nullptr);
  EXPECT_FALSE(server->CanRun());

  // The path selected before the refused one is not loaded either.
  server->Run();
  ASSERT_TRUE(host.WaitForRuns(1));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "No Veltra application has been selected");
  EXPECT_TRUE(link->loadedFiles.empty());
}

TEST_F(ServerTest, CanRunIsFalseWhileServing) {
  SelectApplication();
  EXPECT_TRUE(server->CanRun());
  RunAndWaitUntilServing();
  EXPECT_FALSE(server->CanRun());
  HaltAndWait();
  EXPECT_TRUE(server->CanRun());
}

TEST_F(ServerTest, RunDuringARunPerformsASecondRunAfterIt) {
  SelectApplication();
  RunAndWaitUntilServing();
  server->Run();  // taken by the next wait of the server thread
  HaltAndWait(1);
  ASSERT_TRUE(link->WaitForReadBlocked()) << "no second run";
  HaltAndWait(2);
  EXPECT_EQ(link->loadedFiles, (std::vector<std::string>{applicationPath, applicationPath}));
  EXPECT_EQ(link->runsEnded, 2);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ServerTest, ShutdownWhileWaitingEndsTheThreadAtOnce) {
  server->Run();  // a pending run loses against the stop
  auto started = Clock::now();
  server->Shutdown();
  EXPECT_LT(Clock::now() - started, milliseconds(2000));
  EXPECT_EQ(host.ThreadsEnded(), 1);
  server->Shutdown();  // a second one has nothing left to wait for
}

TEST_F(ServerTest, ShutdownDuringARunWaitsForTheRunToEnd) {
  SelectApplication();
  RunAndWaitUntilServing();
  auto shutdown = std::async(std::launch::async, [&] { server->Shutdown(); });
  EXPECT_EQ(shutdown.wait_for(milliseconds(300)), std::future_status::timeout);
  EXPECT_EQ(host.ThreadsEnded(), 0);
  server->Halt();
  ASSERT_EQ(shutdown.wait_for(milliseconds(5000)), std::future_status::ready);
  EXPECT_EQ(host.RunsFinished(), 1);
  EXPECT_EQ(host.ThreadsEnded(), 1);
  // The cancelled read's failure is not reported while closing.
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ServerTest, LinkFailureShowsLinkDriverErrorBox) {
  SelectApplication();
  link->SetWhenEmpty(ScriptedLink::WhenEmpty::Throw);
  server->Run();
  ASSERT_TRUE(host.WaitForRuns(1));
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  // "%s Error=%d Line=%d File=%s"; the line is wherever the link threw.
  const std::string& text = boxes[0].text;
  const std::string head = "no more scripted input Error=5 Line=", tail = " File=ScriptedLink.cpp";
  ASSERT_GT(text.size(), head.size() + tail.size()) << text;
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  std::string line = text.substr(head.size(), text.size() - head.size() - tail.size());
  EXPECT_EQ(line.find_first_not_of("0123456789"), std::string::npos) << text;
  EXPECT_EQ(boxes[0].caption, "Link Driver Error");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Warning);
  EXPECT_EQ(boxes[0].owner, host.window);
}

TEST_F(ServerTest, ErrorAfterHaltShowsNoBox) {
  SelectApplication();
  RunAndWaitUntilServing();
  // Halt cancels the blocked read, which fails with a driver error.
  HaltAndWait();
  EXPECT_GE(link->cancels, 1);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(link->runsEnded, 1);
}

TEST_F(ServerTest, ServerErrorShowsItsTextUnderServerError) {
  SelectApplication();
  link->QueueBlock(Request(4, 4));
  server->Run();
  ASSERT_TRUE(host.WaitForRuns(1));
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Debug Cluster has no service number 4");
  EXPECT_EQ(boxes[0].caption, "Server Error");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Warning);
  EXPECT_TRUE(link->ReplyBlocks().empty());
}

TEST_F(ServerTest, FatalStopShowsAnEmptyServerErrorAfterTheTerminalLine) {
  SelectApplication();
  link->QueueRaw(Words({6, 0, 0}));  // a length that is no whole number of words
  server->Run();
  ASSERT_TRUE(host.WaitForRuns(1));
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "");
  EXPECT_EQ(boxes[0].caption, "Server Error");
  EXPECT_NE(host.Err().find("Server terminated: P5 protocol error: block size 00000006"), std::string::npos);
}

class ThrowingFilter : public RequestFilter {
 public:
  bool Handle(int, int, bool, RequestChannel*) override { throw std::runtime_error("not a server error"); }
};

TEST_F(ServerTest, ForeignExceptionIsAbnormalProgramTermination) {
  ThrowingFilter filter;
  server->SetRequestFilter(&filter);
  SelectApplication();
  link->QueueBlock(Request(0x77, 1));
  server->Run();
  ASSERT_TRUE(host.WaitForRuns(1));
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Abnormal program termination");
  EXPECT_EQ(boxes[0].caption, "Server Error");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Warning);
}

// A host-supplied cluster that answers every service with 40 + service.
class CountingCluster : public Cluster {
 public:
  explicit CountingCluster(bool* deleted) : deleted_(deleted) {}
  ~CountingCluster() override { *deleted_ = true; }
  const char* Name() override { return "Counting Cluster"; }
  int Dispatch(int, int service) override { return 40 + service; }

 private:
  bool* deleted_;
};

// Installs a cluster from inside the serve loop when the application asks
// for one nobody serves: the one asked for, or the given number.
class InstallingFilter : public RequestFilter {
 public:
  InstallingFilter(OrvServer* server, bool* deleted, int number = -1)
      : server_(server), deleted_(deleted), number_(number) {}
  bool Handle(int cluster, int, bool, RequestChannel*) override {
    server_->AddCluster(number_ < 0 ? cluster : number_, new CountingCluster(deleted_));
    return false;
  }

 private:
  OrvServer* server_;
  bool* deleted_;
  int number_;
};

TEST_F(ServerTest, ClusterAddedDuringARunServesAndIsDeletedWithTheRun) {
  bool deleted = false;
  InstallingFilter filter(server, &deleted);
  server->SetRequestFilter(&filter);
  SelectApplication();
  link->QueueBlock(Request(0x66, 2));
  link->QueueBlock(Request(0x66, 3));
  RunAndWaitUntilServing();
  ASSERT_TRUE(link->WaitForBlocks(2));
  EXPECT_EQ(link->ReplyWords(0), std::vector<uint32_t>{42});
  EXPECT_EQ(link->ReplyWords(1), std::vector<uint32_t>{43});
  EXPECT_FALSE(deleted);
  HaltAndWait();
  EXPECT_TRUE(deleted);

  // Outside a run there is no registry to keep it.
  bool spare = false;
  server->AddCluster(0x67, new CountingCluster(&spare));
  EXPECT_TRUE(spare);
}

TEST_F(ServerTest, ExitOnStopPostsQuitToTheMainWindow) {
  options->ExitOnStop = 1;
  server->Run();
  ASSERT_TRUE(host.WaitForRuns(1));
  server->Shutdown();  // the quit follows RunFinished on the server thread
  EXPECT_EQ(ui.Quits(), std::vector<WindowHandle>{host.window});
}

TEST_F(ServerTest, ReconnectWithNotifySendsOneWordBlockThenServesWithoutLoading) {
  options->MonGeneral = 1;
  server->SetCommandLine("alpha beta");
  link->SetWhenEmpty(ScriptedLink::WhenEmpty::Block);
  link->QueueBlock(Request(1, 2));
  server->Reconnect(true, 0);
  ASSERT_TRUE(link->WaitForReadBlocked());
  auto writes = link->Writes();
  ASSERT_GE(writes.size(), 1u);
  EXPECT_EQ(writes[0], Words({4, 0}));
  // Nothing has been loaded yet, so the program name is empty.
  ASSERT_TRUE(link->WaitForBlocks(2));
  ReplyReader reply(link->ReplyBlocks()[1]);
  EXPECT_EQ(reply.String(), "");
  EXPECT_EQ(reply.String(), "alpha beta");
  EXPECT_EQ(reply.Word(), 0u);
  HaltAndWait();
  EXPECT_TRUE(link->loadedFiles.empty());
  EXPECT_NE(host.Err().find("MON: Reconnecting to running application\n"), std::string::npos);
  EXPECT_EQ(host.Err().find("MON: Loading"), std::string::npos);
}

TEST_F(ServerTest, ReconnectWithoutNotifyWritesNothingAndRunThenLoads) {
  SelectApplication();
  server->Reconnect(false, 0);
  ASSERT_TRUE(link->WaitForReadBlocked());
  EXPECT_TRUE(link->Writes().empty());
  HaltAndWait(1);
  EXPECT_TRUE(link->loadedFiles.empty());
  RunAndWaitUntilServing();
  EXPECT_EQ(link->loadedFiles, std::vector<std::string>{applicationPath});
  HaltAndWait(2);
}

TEST_F(ServerTest, ReconnectWhoseNotifyFailsEndsThatRunWithLinkDriverError) {
  link->FailNextWrite("no application on board 1");
  EXPECT_NO_THROW(server->Reconnect(true, 9));
  ASSERT_TRUE(host.WaitForRuns(1));
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  const std::string& text = boxes[0].text;
  EXPECT_EQ(text.rfind("no application on board 1 Error=5 Line=", 0), 0u) << text;
  EXPECT_NE(text.find(" File=ScriptedLink.cpp"), std::string::npos) << text;
  EXPECT_EQ(boxes[0].caption, "Link Driver Error");
  EXPECT_EQ(server->LastRunOutcome(), RunOutcome::Failed);
  EXPECT_EQ(link->runsEnded, 1);
  EXPECT_TRUE(link->Writes().empty());

  // The next reconnect sends its word and serves as usual.
  link->SetWhenEmpty(ScriptedLink::WhenEmpty::Block);
  server->Reconnect(true, 9);
  ASSERT_TRUE(link->WaitForReadBlocked());
  EXPECT_EQ(link->Writes(), std::vector<Bytes>{Words({4, 9})});
  HaltAndWait(2);
  EXPECT_EQ(Boxes().size(), 1u);
}

TEST_F(ServerTest, ResetHonoursInhibitResetUnlessForced) {
  options->InhibitReset = 1;
  server->ResetBoards(false);
  EXPECT_EQ(link->resets, 0);
  server->ResetBoards(true);
  EXPECT_EQ(link->resets, 1);
  options->InhibitReset = 0;
  server->ResetBoards(false);
  EXPECT_EQ(link->resets, 2);
  server->SetLink(nullptr);
  server->ResetBoards(true);  // no link: nothing to reset
  EXPECT_EQ(link->resets, 2);
  EXPECT_EQ(host.Err(), "");  // no monitor lines without MonGeneral
}

TEST_F(ServerTest, ResetDelayWaitsAndIsMonitored) {
  options->MonGeneral = 1;
  options->ResetDelay = 500;
  auto started = Clock::now();
  server->ResetBoards(false);
  EXPECT_GE(Clock::now() - started, milliseconds(500));
  EXPECT_EQ(link->resets, 1);
  EXPECT_EQ(host.Err(), "MON: Resetting DSP modules\nMON: Delay after reset of 500ms\n");

  host.Clear();
  options->ResetDelay = 0;
  started = Clock::now();
  server->ResetBoards(false);
  EXPECT_LT(Clock::now() - started, milliseconds(400));
  EXPECT_EQ(host.Err(), "MON: Resetting DSP modules\n");
}

TEST_F(ServerTest, LoadingWithKernelIsMonitoredStepByStep) {
  options->MonGeneral = 1;
  options->C4x = 1;
  SelectApplication();
  RunAndWaitUntilServing();
  EXPECT_EQ(link->loadedFiles, (std::vector<std::string>{"TIM40.KRN", applicationPath}));
  HaltAndWait();
  EXPECT_EQ(host.Err(), "MON: Loading C4x kernel file TIM40.KRN\nMON: Loading " + applicationPath +
                            "\nMON: Loading completed\nMON: Server terminated\n");
}

TEST_F(ServerTest, WithoutC4xTheKernelIsNeitherLoadedNorShown) {
  options->MonGeneral = 1;
  SelectApplication();
  RunAndWaitUntilServing();
  EXPECT_EQ(link->loadedFiles, std::vector<std::string>{applicationPath});
  HaltAndWait();
  EXPECT_EQ(host.Err().find("TIM40"), std::string::npos);
}

TEST_F(ServerTest, KernelLoadFailureEndsTheRun) {
  options->C4x = 1;
  link->loadResult = false;
  SelectApplication();
  server->Run();
  ASSERT_TRUE(host.WaitForRuns(1));
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Cannot load C4x kernel");
  EXPECT_EQ(boxes[0].caption, "Loading");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Error);
  EXPECT_EQ(boxes[0].owner, host.window);
  EXPECT_EQ(link->loadedFiles, std::vector<std::string>{"TIM40.KRN"});
}

TEST_F(ServerTest, ApplicationLoadFailureShowsTheLinksReason) {
  link->loadResult = false;
  link->loadError_ = "board 2 did not answer";
  SelectApplication();
  server->Run();
  ASSERT_TRUE(host.WaitForRuns(1));
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "board 2 did not answer");
  EXPECT_EQ(boxes[0].caption, "Failed to load " + applicationPath);
  EXPECT_EQ(boxes[0].icon, MessageIcon::Error);
  EXPECT_EQ(link->runsEnded, 1);
}

// A link whose application load waits for the test, or fails as a driver.
class LoadingLink : public ScriptedLink {
 public:
  bool LoadFile(const char* path) override {
    if (throwOnLoad) {
      QMXExc error{};
      error.error = 31;
      error.line = 12;
      std::snprintf(error.file, sizeof error.file, "%s", "boot.cpp");
      std::snprintf(error.message, sizeof error.message, "%s", "board did not boot");
      throw error;
    }
    loading.set_value();
    proceed.get_future().wait();
    return ScriptedLink::LoadFile(path);
  }
  bool throwOnLoad = false;
  std::promise<void> loading;
  std::promise<void> proceed;
};

class LoadingTest : public ServerTest {
 protected:
  void SetUp() override {
    link = std::make_unique<LoadingLink>();
    loading = static_cast<LoadingLink*>(link.get());
    ServerTest::SetUp();
  }
  LoadingLink* loading = nullptr;
};

TEST_F(LoadingTest, HaltWhileLoadingEndsTheRunWithoutServing) {
  SelectApplication();
  link->QueueBlock(Request(1, 0));
  server->Run();
  ASSERT_EQ(loading->loading.get_future().wait_for(milliseconds(5000)), std::future_status::ready);
  server->Halt();
  loading->proceed.set_value();
  ASSERT_TRUE(host.WaitForRuns(1));
  EXPECT_EQ(link->loadedFiles, std::vector<std::string>{applicationPath});
  EXPECT_GT(link->PendingInput(), 0u);  // the request was never read
  EXPECT_TRUE(link->ReplyBlocks().empty());
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(LoadingTest, DriverFailureWhileLoadingIsReported) {
  loading->throwOnLoad = true;
  SelectApplication();
  server->Run();
  ASSERT_TRUE(host.WaitForRuns(1));
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "board did not boot Error=31 Line=12 File=boot.cpp");
  EXPECT_EQ(boxes[0].caption, "Link Driver Error");
}

TEST_F(ServerTest, StandaloneApplicationIsLoadedButNotServed) {
  options->Alone = 1;
  SelectApplication();
  link->QueueBlock(Request(1, 0));
  server->Run();
  ASSERT_TRUE(host.WaitForRuns(1));
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "Standalone application running\nSee View/Options/Parameters/Standalone application");
  EXPECT_EQ(boxes[0].caption, "Loaded");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Information);
  EXPECT_EQ(link->loadedFiles, std::vector<std::string>{applicationPath});
  EXPECT_GT(link->PendingInput(), 0u);  // its request was never read
}

TEST_F(ServerTest, HostSemaphoreSignalGoesDownTheLink) {
  server->SignalHostSemaphore(3);
  EXPECT_EQ(link->AllWritten(), Words({0x10004, 8}));
  server->SignalHostSemaphore(40);  // no such semaphore
  EXPECT_EQ(link->AllWritten().size(), 8u);
}

}  // namespace
}  // namespace veltra::test

namespace veltra::test {
namespace {

TEST_F(ServerTest, OutcomeAndExitStatusOfEachRun) {
  EXPECT_EQ(server->LastRunOutcome(), RunOutcome::None);
  SelectApplication();
  // The application sets exit status 7, then ends its only task.
  link->QueueBlock(Request(0, 25, {7}));
  link->QueueBlock(Request(0, 24, {0}));
  server->Run();
  ASSERT_TRUE(host.WaitForRuns(1));
  EXPECT_EQ(server->LastRunOutcome(), RunOutcome::Terminated);
  EXPECT_EQ(server->ExitStatus(), 7);

  // A run that an error ends in the middle of a block is a failure, and the
  // rest of that block is not taken as the next run's first request.
  link->QueueBlock(Concat({Request(0, 10), Request(0, 24, {0})}));
  server->Run();
  ASSERT_TRUE(host.WaitForRuns(2));
  EXPECT_EQ(server->LastRunOutcome(), RunOutcome::Failed);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Basalt Cluster has no service number 10");
  RunAndWaitUntilServing();  // waits for a new block instead of exiting at once
  HaltAndWait(3);
  EXPECT_EQ(server->LastRunOutcome(), RunOutcome::Halted);

  // Each run starts without the status of the run before.
  link = std::make_unique<ScriptedLink>();
  server->SetLink(link.get());
  link->QueueBlock(Request(0, 24, {0}));
  server->Run();
  ASSERT_TRUE(host.WaitForRuns(4));
  EXPECT_EQ(server->LastRunOutcome(), RunOutcome::Terminated);
  EXPECT_EQ(server->ExitStatus(), 0);
}

TEST_F(ServerTest, HaltRightAfterRunHaltsThatRun) {
  SelectApplication();
  // The halt comes before or after the server thread wakes for the run;
  // either way the run ends halted and says nothing.
  for (int run = 1; run <= 50; ++run) {
    server->Run();
    server->Halt();
    ASSERT_TRUE(host.WaitForRuns(run)) << "run " << run;
    ASSERT_EQ(server->LastRunOutcome(), RunOutcome::Halted) << "run " << run;
  }
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(link->runsEnded, 50);

  // A halt applies to no later run: a run released after it serves.
  RunAndWaitUntilServing();
  HaltAndWait(51);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ServerTest, HaltWithoutARunLeavesTheNextRunAlone) {
  SelectApplication();
  server->Halt();  // nothing is running or released
  link->QueueBlock(Concat({Words({RequestWord(1, 4)}), StringArgument("ok")}));
  RunAndWaitUntilServing();
  ASSERT_TRUE(link->WaitForBlocks(1));
  ReplyReader echo(link->ReplyBlocks()[0]);
  EXPECT_EQ(echo.String(), "ok");
  HaltAndWait();
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(server->LastRunOutcome(), RunOutcome::Halted);
}

// Answers every request it is asked about with the word 55, counting them.
class AnsweringFilter : public RequestFilter {
 public:
  bool Handle(int, int, bool reply, RequestChannel* channel) override {
    ++calls;
    if (reply) channel->WriteWord(55);
    return true;
  }
  std::atomic<int> calls{0};
};

TEST_F(ServerTest, FilterChangedDuringARunAppliesFromTheNextRequest) {
  SelectApplication();
  RunAndWaitUntilServing();
  link->QueueBlock(Request(0x77, 0));  // probe of an absent cluster
  ASSERT_TRUE(link->WaitForBlocks(1));
  EXPECT_EQ(link->ReplyWords(0), std::vector<uint32_t>{128});

  AnsweringFilter filter;
  server->SetRequestFilter(&filter);
  link->QueueBlock(Request(0x77, 0));
  ASSERT_TRUE(link->WaitForBlocks(2));
  EXPECT_EQ(link->ReplyWords(1), std::vector<uint32_t>{55});
  EXPECT_EQ(filter.calls, 1);

  server->SetRequestFilter(nullptr);
  link->QueueBlock(Request(0x77, 0));
  ASSERT_TRUE(link->WaitForBlocks(3));
  EXPECT_EQ(link->ReplyWords(2), std::vector<uint32_t>{128});
  EXPECT_EQ(filter.calls, 1);
  HaltAndWait();
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ServerTest, DuplicateClusterFromTheHostsThreadEndsTheRunWithServerError) {
  SelectApplication();
  RunAndWaitUntilServing();
  bool kept = false, refused = false;
  server->AddCluster(0x66, new CountingCluster(&kept));
  EXPECT_NO_THROW(server->AddCluster(0x66, new CountingCluster(&refused)));
  EXPECT_TRUE(refused);  // the cluster not added is not leaked
  ASSERT_TRUE(host.WaitForRuns(1)) << "the run went on";
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "duplicate cluster number 102");
  EXPECT_EQ(boxes[0].caption, "Server Error");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Warning);
  EXPECT_EQ(server->LastRunOutcome(), RunOutcome::Failed);
  EXPECT_TRUE(kept);  // deleted with the run

  // The refusal belongs to that run only.
  RunAndWaitUntilServing();
  HaltAndWait(2);
  EXPECT_EQ(server->LastRunOutcome(), RunOutcome::Halted);
  EXPECT_EQ(Boxes().size(), 1u);
}

TEST_F(ServerTest, DuplicateClusterFromAFilterEndsTheRunWithServerError) {
  bool deleted = false;
  InstallingFilter filter(server, &deleted, 4);  // a second debug cluster
  server->SetRequestFilter(&filter);
  SelectApplication();
  link->QueueBlock(Request(0x66, 1));
  server->Run();
  ASSERT_TRUE(host.WaitForRuns(1));
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "duplicate cluster number 4");
  EXPECT_EQ(boxes[0].caption, "Server Error");
  EXPECT_TRUE(deleted);
  EXPECT_EQ(server->LastRunOutcome(), RunOutcome::Failed);
}

}  // namespace
}  // namespace veltra::test
