// Faults in whole runs. Each case drives one server, bound by name as a host
// binds it, on the simulated network: first through a run that meets the
// fault, then through examples/hello.app, which must greet as if nothing had
// happened. What the application had been told was done must be done.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/DynamicLibrary.h"
#include "platform/RecordingUi.h"
#include "platform/settings/Profile.h"
#include "platform/settings/Registry.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/StoreLock.h"
#include "tests/support/TempDir.h"
#include "veltra/Link.h"
#include "veltra/LinkManager.h"
#include "veltra/OptionsRecord.h"
#include "veltra/OrvServer.h"

namespace veltra::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kGreeting = "Hello from the Veltra DSP network!\n";
constexpr int kRunLimitMilliseconds = 30000;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  auto deadline = Clock::now() + limit;
  while (!condition()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Lines "line 000000", "line 000001", ... and nothing else: their count, or
// nullopt (with a failure) when a line is out of order or cut.
std::optional<size_t> CountNumberedLines(const std::string& text, const std::string& what) {
  std::istringstream in(text);
  std::string line;
  size_t count = 0;
  while (std::getline(in, line)) {
    char expected[32];
    std::snprintf(expected, sizeof expected, "line %06zu", count);
    if (line != expected || in.eof()) {
      ADD_FAILURE() << what << ": line " << count << " is \"" << line << "\"" << (in.eof() ? " (cut)" : "");
      return std::nullopt;
    }
    ++count;
  }
  return count;
}

class FaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Ui::Install(&ui_);
    const char* path = std::getenv("VELTRA_PLUGIN_PATH");
    if (path) savedPluginPath_ = path;
  }

  void TearDown() override {
    if (server_) {
      server_->Halt();
      if (link_) link_->Reset();
      server_->Shutdown();
      LinkManager* linkManager = server_->linkManager;
      delete server_;
      delete linkManager;
    }
    Ui::Install(nullptr);
    if (savedPluginPath_)
      setenv("VELTRA_PLUGIN_PATH", savedPluginPath_->c_str(), 1);
    else
      unsetenv("VELTRA_PLUGIN_PATH");
    fs::current_path(TestBinDirectory());
  }

  // Binds the engine, makes and starts the server on the simulated board.
  void MakeServer() {
    DynamicLibrary engine;
    ASSERT_TRUE(engine.Load("Orvcore.dll")) << engine.Error();
    auto getServer = engine.Function<GetOrvServerFunction>("GetOrvServer");
    ASSERT_NE(getServer, nullptr);
    engine.Detach();  // kept for the life of the process, as a host keeps it
    server_ = getServer(nullptr);
    ASSERT_NE(server_, nullptr);
    ASSERT_NE(server_->options, nullptr) << "the options manager was not bound";
    options_ = server_->options;
    options_->MonGeneral = options_->MonLink = options_->MonProt = 0;
    ui_.Clear();
    server_->Start(&host_);
    link_ = server_->linkManager->CurrentLink();
    ASSERT_NE(link_, nullptr) << "the simulator should be the selected link";
    server_->SetLink(link_);
  }

  // Starts a run of the application without waiting for its end.
  // Without a command line the one in the options stays.
  void StartRun(const std::string& application, const std::optional<std::string>& commandLine = {}) {
    ++runs_;
    server_->SetApplication(application.c_str());
    if (commandLine) server_->SetCommandLine(commandLine->c_str());
    server_->ResetBoards(false);
    server_->Run();
  }

  void WaitForRun() { ASSERT_TRUE(host_.WaitForRuns(runs_, kRunLimitMilliseconds)) << "run " << runs_; }

  void RunApplication(const std::string& application, const std::optional<std::string>& commandLine = {}) {
    StartRun(application, commandLine);
    WaitForRun();
  }

  // The run after the fault: the greeting, a normal end, no box.
  void ExpectHelloRuns() {
    size_t boxes = ui_.Boxes().size();
    host_.Clear();
    RunApplication(Example("hello"));
    EXPECT_EQ(server_->LastRunOutcome(), RunOutcome::Terminated);
    EXPECT_EQ(host_.Out(), kGreeting);
    EXPECT_EQ(ui_.Boxes().size(), boxes) << ui_.Boxes().back().caption << ": " << ui_.Boxes().back().text;
  }

  std::string LastBox() const {
    auto boxes = ui_.Boxes();
    return boxes.empty() ? "(no box)" : boxes.back().caption + ": " + boxes.back().text;
  }

  static std::string Bin(const std::string& name) { return TestBinDirectory() + "/" + name; }
  static std::string Example(const std::string& name) { return Bin("examples/" + name + ".app"); }

  // A copy of a fault application in the work directory, where it leaves
  // its files.
  std::string Copy(const std::string& app) {
    fs::path to = work_.Path() / (app + ".app");
    fs::copy_file(Bin("faultapps/" + app + ".app"), to, fs::copy_options::overwrite_existing);
    return to.string();
  }

  TempDir settings_{true};
  TempDir work_;
  RecordingUi ui_;
  RecordingHost host_;
  OrvServer* server_ = nullptr;
  OptionsRecord* options_ = nullptr;
  Link* link_ = nullptr;
  int runs_ = 0;
  std::optional<std::string> savedPluginPath_;
};

// The application is killed at random moments; its requests go in two
// pieces, so some kills land inside a request and some between two. Every
// line it was told had been written is in both files, whole and in order.
TEST_F(FaultInjectionTest, ApplicationKilledAtRandomPointsLosesNothingAcknowledged) {
  ASSERT_NO_FATAL_FAILURE(MakeServer());
  fs::path output = work_.Path() / "out.txt";
  options_->StdOut.File = 1;
  options_->StdOut.Log = 1;
  std::snprintf(options_->StdOut.Filename, kPathSize, "%s", output.c_str());
  std::string app = Copy("chatter");
  fs::path pidFile = work_.Path() / "chatter.pid";
  fs::path acks = work_.Path() / "chatter.acks";

  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> delay(0, 60);
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    // A kill before the application opens its files must not leave the
    // previous round's files to be counted.
    for (const fs::path& file : {pidFile, acks, work_.Path() / "chatter.txt"}) fs::remove(file);
    StartRun(app);
    ASSERT_TRUE(WaitFor([&] { return fs::exists(pidFile); }, std::chrono::seconds(10)));
    pid_t pid = static_cast<pid_t>(std::stol(ReadFile(pidFile)));
    std::this_thread::sleep_for(std::chrono::milliseconds(delay(random)));
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    ASSERT_NO_FATAL_FAILURE(WaitForRun());

    EXPECT_EQ(server_->LastRunOutcome(), RunOutcome::Failed);
    ASSERT_FALSE(ui_.Boxes().empty());
    EXPECT_EQ(ui_.Boxes().back().caption, "Link Driver Error");
    EXPECT_NE(ui_.Boxes().back().text.find("killed by signal 9"), std::string::npos) << LastBox();

    size_t acknowledged = fs::exists(acks) ? fs::file_size(acks) : 0;
    auto toTerminal = CountNumberedLines(ReadFile(output), "standard output file");
    auto toFile = CountNumberedLines(ReadFile(work_.Path() / "chatter.txt"), "chatter.txt");
    ASSERT_TRUE(toTerminal && toFile);
    // The line in flight when the kill came may or may not have been served.
    EXPECT_GE(*toTerminal, acknowledged);
    EXPECT_LE(*toTerminal, acknowledged + 1);
    EXPECT_GE(*toFile, acknowledged);
    EXPECT_LE(*toFile, acknowledged + 1);
  }
  options_->StdOut.File = 0;
  ExpectHelloRuns();
}

// The application fills both directions of the link without reading, so the
// server blocks writing a reply; then it exits, closing the link under that
// write.
TEST_F(FaultInjectionTest, LinkClosedWhileAReplyIsWritten) {
  ASSERT_NO_FATAL_FAILURE(MakeServer());
  RunApplication(Copy("flood"));
  EXPECT_EQ(server_->LastRunOutcome(), RunOutcome::Failed);
  ASSERT_EQ(ui_.Boxes().size(), 1u);
  EXPECT_EQ(ui_.Boxes()[0].caption, "Link Driver Error");
  std::string text = ui_.Boxes()[0].text;
  EXPECT_NE(text.find("closed the link (exit status 0)"), std::string::npos) << text;
  // Broken pipe or reset: the write failed, not a read.
  EXPECT_TRUE(text.find("Error=32 ") != std::string::npos || text.find("Error=104 ") != std::string::npos)
      << text;
  ExpectHelloRuns();
}

// Standard output redirected to a device that is always full: the terminal
// still shows everything, the failure is reported, and the next run writes
// its file.
TEST_F(FaultInjectionTest, RedirectionFileOnAFullDevice) {
  ASSERT_NO_FATAL_FAILURE(MakeServer());
  options_->StdOut.File = 1;
  options_->StdOut.Log = 1;
  std::snprintf(options_->StdOut.Filename, kPathSize, "/dev/full");
  RunApplication(Example("hello"));
  EXPECT_EQ(server_->LastRunOutcome(), RunOutcome::Terminated);
  EXPECT_EQ(host_.Out(), kGreeting);
  ASSERT_EQ(ui_.Boxes().size(), 1u) << "the lost output is reported";
  EXPECT_EQ(ui_.Boxes()[0].caption, "Standard I/O");
  EXPECT_NE(ui_.Boxes()[0].text.find("Cannot write to /dev/full"), std::string::npos) << LastBox();

  fs::path output = work_.Path() / "out.txt";
  std::snprintf(options_->StdOut.Filename, kPathSize, "%s", output.c_str());
  ExpectHelloRuns();
  EXPECT_EQ(ReadFile(output), kGreeting);
}

// Another process holds the settings database in an exclusive transaction
// while the server starts: start-up waits for it and loses no stored option.
TEST_F(FaultInjectionTest, SettingsDatabaseLockedDuringStartUp) {
  ASSERT_TRUE(WriteProfileString(kSettingsSection, "CommandLine", "stored \"two words\""));
  ASSERT_TRUE(WriteProfileInt(kSettingsSection, "ResetDelay", 5));
  // The sqlite3 shell takes the lock and keeps it for five seconds.
  StoreLock lock(Registry::DatabasePath(RegistryRoot::CurrentUser), 5);
  ASSERT_TRUE(lock.WaitUntilHeld()) << "the shell never took the lock";

  auto start = Clock::now();
  ASSERT_NO_FATAL_FAILURE(MakeServer());
  auto waited = Clock::now() - start;
  EXPECT_TRUE(lock.Finish()) << "the shell's transaction failed";
  EXPECT_GE(waited, std::chrono::milliseconds(1000)) << "start-up did not meet the lock";

  EXPECT_STREQ(options_->CommandLine, "stored \"two words\"");
  EXPECT_EQ(options_->ResetDelay, 5);
  EXPECT_TRUE(ui_.Boxes().empty()) << LastBox();
  RunApplication(Example("args"));
  EXPECT_EQ(server_->LastRunOutcome(), RunOutcome::Terminated);
  EXPECT_NE(host_.Out().find("argv[1]=stored\nargv[2]=two words\n"), std::string::npos) << host_.Out();
  ExpectHelloRuns();
}

// Cluster libraries that exist but cannot be loaded: one needs a function
// nothing defines, one is no library at all. The probe says the cluster is
// absent, a service of it ends the run with the missing-cluster box, and the
// monitor line gives the loader's reason.
TEST_F(FaultInjectionTest, ClusterLibraryThatCannotBeLoaded) {
  std::ofstream(work_.Path() / "Plexa_7b2.so") << std::string(4096, '\x7f');
  setenv("VELTRA_PLUGIN_PATH", (Bin("faultclusters") + ":" + work_.Path().string()).c_str(), 1);
  ASSERT_NO_FATAL_FAILURE(MakeServer());
  options_->MonGeneral = 1;
  std::string app = Copy("clusters");
  size_t boxes = 0;
  for (const auto& [number, decimal, reason] :
       {std::tuple<std::string, int, std::string>{"7b1", 0x7b1, "VeltraFaultNowhere"},
        std::tuple<std::string, int, std::string>{"7b2", 0x7b2, "Plexa_7b2.so"}}) {
    SCOPED_TRACE(number);
    host_.Clear();
    RunApplication(app, number);
    EXPECT_EQ(server_->LastRunOutcome(), RunOutcome::Failed);
    EXPECT_NE(host_.Out().find("probe: 128\n"), std::string::npos) << host_.Out();
    EXPECT_EQ(host_.Out().find("service 1:"), std::string::npos) << host_.Out();
    ASSERT_EQ(ui_.Boxes().size(), ++boxes) << host_.Err();
    EXPECT_EQ(ui_.Boxes().back().caption, "Missing service cluster");
    EXPECT_EQ(ui_.Boxes().back().text, "Cannot locate file \"Plexa_" + number +
                                           ".so\"\nto satisfy request for cluster " +
                                           std::to_string(decimal) + " service 1");
    std::string line = "MON: Cannot load library Plexa_" + number + ".so: ";
    size_t at = host_.Err().find(line);
    ASSERT_NE(at, std::string::npos) << host_.Err();
    EXPECT_NE(host_.Err().find(reason, at), std::string::npos) << host_.Err();
  }
  options_->MonGeneral = 0;
  ExpectHelloRuns();
}

}  // namespace
}  // namespace veltra::test
