// One server, bound by name as a host binds it, on the simulated network:
// a run that fails in the middle of a request leaves the server able to run
// again.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/DynamicLibrary.h"
#include "platform/RecordingUi.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"
#include "veltra/Link.h"
#include "veltra/LinkManager.h"
#include "veltra/OptionsRecord.h"
#include "veltra/OrvServer.h"

namespace veltra::test {
namespace {

class SameServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Ui::Install(&ui);
    DynamicLibrary engine;
    ASSERT_TRUE(engine.Load("Orvcore.dll")) << engine.Error();
    auto getServer = engine.Function<GetOrvServerFunction>("GetOrvServer");
    ASSERT_NE(getServer, nullptr);
    engine.Detach();  // kept for the life of the process, as a host keeps it
    server = getServer(nullptr);
    ASSERT_NE(server, nullptr);
    ASSERT_NE(server->options, nullptr);
    server->options->SayStop = 0;
    server->options->StdOut.File = 1;
    server->options->StdOut.Log = 1;
    std::snprintf(server->options->StdOut.Filename, kPathSize, "%s", output.c_str());
    server->Start(&host);
    link = server->linkManager->CurrentLink();
    ASSERT_NE(link, nullptr) << "the simulator should be the selected link";
    server->SetLink(link);
  }

  void TearDown() override {
    if (server) {
      server->Halt();
      if (link) link->Reset();
      server->Shutdown();
      delete server;
    }
    Ui::Install(nullptr);
  }

  void RunApplication(const std::string& path, const std::string& commandLine, int runs) {
    server->SetApplication(path.c_str());
    server->SetCommandLine(commandLine.c_str());
    server->ResetBoards(false);
    server->Run();
    ASSERT_TRUE(host.WaitForRuns(runs, 20000));
  }

  std::string Output() const {
    std::ifstream in(output);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  TempDir settings{true};
  TempDir work;
  std::string output = work.File("out.txt");
  RecordingUi ui;
  RecordingHost host;
  OrvServer* server = nullptr;
  Link* link = nullptr;
};

TEST_F(SameServerTest, FailedRunsAreReportedAndTheNextRunWorks) {
  const std::string bin = TestBinDirectory();

  // Killed in the middle of a request.
  setenv("PARTIAL_END", "kill", 1);
  RunApplication(bin + "/testapps/partial.app", "", 1);
  unsetenv("PARTIAL_END");
  EXPECT_EQ(server->LastRunOutcome(), RunOutcome::Failed);
  auto boxes = ui.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Link Driver Error");
  EXPECT_NE(boxes[0].text.find("killed by signal"), std::string::npos) << boxes[0].text;

  // An application file that went away after it was selected.
  auto gone = work.File("gone.app");
  std::filesystem::copy_file(bin + "/examples/hello.app", gone);
  server->SetApplication(gone.c_str());
  std::filesystem::remove(gone);
  RunApplication(gone, "", 2);
  boxes = ui.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].caption, "Failed to load " + gone);
  EXPECT_NE(boxes[1].text.find(gone), std::string::npos) << boxes[1].text;
  EXPECT_EQ(server->LastRunOutcome(), RunOutcome::Failed);

  // The same server runs the next application as if nothing had happened.
  RunApplication(bin + "/examples/exitcode.app", "4", 3);
  EXPECT_EQ(ui.Boxes().size(), 2u);
  EXPECT_EQ(server->LastRunOutcome(), RunOutcome::Terminated);
  EXPECT_EQ(server->ExitStatus(), 4);
  EXPECT_EQ(host.Out(), "exiting with 4\n");
  EXPECT_EQ(Output(), "exiting with 4\n");
}

}  // namespace
}  // namespace veltra::test
