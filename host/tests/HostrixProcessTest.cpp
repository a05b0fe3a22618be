// Hostrix as a user starts it: separate processes on the off-screen platform,
// with boxes written to standard error (VELTRA_BOXES=stderr) and answered
// with their default button.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "host/SharedInstanceBlock.h"
#include "host/tests/HostrixTestSupport.h"
#include "platform/settings/Profile.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace veltra::test {
namespace {

namespace fs = std::filesystem;

// One Hostrix process with its standard error in a file.
class HostrixProcess {
 public:
  HostrixProcess(const std::string& program, const std::vector<std::string>& args, const std::string& errFile,
                 const std::map<std::string, std::string>& extraEnvironment = {},
                 const std::string& workingDirectory = "")
      : errFile_(errFile) {
    std::vector<std::string> argStore{program};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::map<std::string, std::string> environment;
    for (char** e = environ; *e; ++e) {
      std::string entry = *e;
      auto eq = entry.find('=');
      if (eq != std::string::npos) environment[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    environment["QT_QPA_PLATFORM"] = "offscreen";
    environment["VELTRA_BOXES"] = "stderr";
    environment.erase("VELTRA_PLUGIN_PATH");
    // In a sanitizer build the program's children keep their own suppressions.
    if (environment.count("LSAN_OPTIONS"))
      environment["LSAN_OPTIONS"] = "suppressions=" HOSTRIX_CHILD_SUPPRESSIONS ":print_suppressions=0";
    for (const auto& [name, value] : extraEnvironment) environment[name] = value;
    std::vector<std::string> envStore;
    for (const auto& [name, value] : environment) envStore.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!workingDirectory.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~HostrixProcess() {
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  pid_t Pid() const { return pid_; }
  // The exit status, -1 when killed by a signal; nullopt when still running after the time.
  std::optional<int> Wait(int milliseconds = 30000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        ended_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
  }
  void Signal(int signal) { kill(pid_, signal); }
  std::string Err() const {
    std::ifstream in(errFile_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  bool WaitForErr(const std::string& text, int milliseconds = 30000) const {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
      if (Err().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

 private:
  pid_t pid_ = -1;
  bool ended_ = false;
  std::string errFile_;
};

constexpr const char* kTermination = "Termination: Your Veltra application has stopped.";

class HostrixProcessTest : public ::testing::Test {
 protected:
  std::string Bin(const std::string& name) const { return TestBinDirectory() + "/" + name; }
  std::string Example(const std::string& name) const { return Bin("examples/" + name + ".app"); }
  std::unique_ptr<HostrixProcess> Start(const std::vector<std::string>& args,
                                        const std::map<std::string, std::string>& environment = {},
                                        const std::string& program = "") {
    std::string err = work_.File("err" + std::to_string(++started_) + ".txt");
    // A copied program runs in its own directory, where the libraries beside
    // it are all it finds.
    std::string directory = program.empty() ? "" : fs::path(program).parent_path().string();
    return std::make_unique<HostrixProcess>(program.empty() ? Bin("Hostrix") : program, args, err,
                                            environment, directory);
  }
  // Hostrix with only the given libraries beside it, in a directory of its own.
  std::string Isolated(const std::vector<std::string>& libraries) {
    fs::path dir = work_.Path() / ("isolated" + std::to_string(++started_));
    fs::create_directory(dir);
    for (const std::string& file : libraries) fs::copy_file(Bin(file), dir / file);
    fs::copy_file(Bin("Hostrix"), dir / "Hostrix");
    fs::copy_file(Bin("libveltra_platform.so"), dir / "libveltra_platform.so");
    return (dir / "Hostrix").string();
  }
  // Waits until the shared block names the process as the receiving instance.
  bool WaitUntilRegistered(SharedInstanceBlock& block, pid_t pid) {
    for (int i = 0; i < 1500; ++i) {
      if (block.Data().mainWindow == pid) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  TempDir settings_{true};
  TempDir work_;
  int started_ = 0;
};

TEST_F(HostrixProcessTest, ExitWithAutoRunEndsTheProgramWhenTheApplicationEnds) {
  // Without an extension the name gets ".app".
  auto hostrix = Start({Bin("examples/hello"), "-exit"});
  auto status = hostrix->Wait();
  ASSERT_TRUE(status.has_value()) << hostrix->Err();
  EXPECT_EQ(*status, 0) << hostrix->Err();
  EXPECT_NE(hostrix->Err().find(kTermination), std::string::npos) << hostrix->Err();
}

TEST_F(HostrixProcessTest, AnApplicationThatCannotBeOpenedEndsTheStartWithServerFailure) {
  auto missing = Start({work_.File("missing")});
  EXPECT_EQ(missing->Wait(), 1);
  EXPECT_NE(missing->Err().find("Server Failure: The Veltra server cannot start.\nApplication " +
                                work_.File("missing.app") + " does not exist."),
            std::string::npos)
      << missing->Err();
  fs::create_directory(work_.File("dir.app"));
  auto directory = Start({work_.File("dir.app")});
  EXPECT_EQ(directory->Wait(), 1);
  EXPECT_NE(directory->Err().find("cannot be opened: it is a directory"), std::string::npos)
      << directory->Err();
}

TEST_F(HostrixProcessTest, RunWithNoLinkSaysSoAndTheProgramGoesOn) {
  // No link interface library to be found.
  auto hostrix = Start({Example("hello")}, {}, Isolated({"Orvcore.so", "Prefbook.so", "Wirehub.so"}));
  ASSERT_TRUE(hostrix->WaitForErr("Run: No link to the hardware is available")) << hostrix->Err();
  EXPECT_FALSE(hostrix->Wait(300).has_value());
  hostrix->Signal(SIGTERM);
  EXPECT_EQ(hostrix->Wait(10000), 0) << hostrix->Err();
}

TEST_F(HostrixProcessTest, AMissingOrBrokenEngineIsAFatalError) {
  // The program alone, without the engine beside it.
  std::string program = Isolated({});
  auto missing = Start({}, {}, program);
  EXPECT_EQ(missing->Wait(), 1);
  EXPECT_NE(missing->Err().find("Fatal Error: Cannot load server library Orvcore.so"), std::string::npos)
      << missing->Err();

  std::string engine = (fs::path(program).parent_path() / "Orvcore.so").string();
  std::ofstream(engine) << "not a library";
  auto broken = Start({}, {}, program);
  EXPECT_EQ(broken->Wait(), 1);
  EXPECT_NE(broken->Err().find("Fatal Error: Cannot load server library Orvcore.so"), std::string::npos)
      << broken->Err();

  // A library without GetOrvServer.
  fs::copy_file(Bin("Prefbook.so"), engine, fs::copy_options::overwrite_existing);
  auto noEntry = Start({}, {}, program);
  EXPECT_EQ(noEntry->Wait(), 1);
  EXPECT_NE(noEntry->Err().find("Fatal Error: Cannot find entrypoint \"GetOrvServer\" in library "),
            std::string::npos)
      << noEntry->Err();
}

// Started where no window can be opened (from a shell with no display, say):
// a plain error and status 1, not Qt's abort and a core dump.
TEST_F(HostrixProcessTest, NoDisplayIsAPlainErrorNotACrash) {
  auto started = Start({}, {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":424242"}});
  EXPECT_EQ(started->Wait(), 1) << started->Err();
  EXPECT_NE(started->Err().find("Hostrix: no window can be opened here (DISPLAY is \":424242\"). veltra-run "
                                "runs applications without a display."),
            std::string::npos)
      << started->Err();
}

TEST_F(HostrixProcessTest, ASecondStartHandsItsApplicationToTheRunningInstance) {
  SharedInstanceBlock block;
  ASSERT_TRUE(block.Attach());
  auto first = Start({});
  ASSERT_TRUE(WaitUntilRegistered(block, first->Pid())) << first->Err();
  EXPECT_EQ(block.InstanceCounter(), 1);

  // From another directory, with a relative name: the first instance opens
  // it in the second start's directory.
  fs::copy_file(Example("hello"), work_.File("hello.app"));
  fs::permissions(work_.File("hello.app"), fs::perms::owner_all);
  auto second = std::make_unique<HostrixProcess>(
      "/bin/sh",
      std::vector<std::string>{
          "-c", "cd '" + work_.Path().string() + "' && exec '" + Bin("Hostrix") + "' hello -exit"},
      work_.File("second.txt"));
  EXPECT_EQ(second->Wait(10000), 0) << second->Err();
  EXPECT_EQ(second->Err().find(kTermination), std::string::npos) << "the second start ran it itself";
  EXPECT_EQ(block.InstanceCounter(), 2);
  // The first instance runs it and, with the exit flag now set, ends.
  EXPECT_EQ(first->Wait(), 0) << first->Err();
  EXPECT_NE(first->Err().find(kTermination), std::string::npos) << first->Err();
  EXPECT_EQ(block.Data().mainWindow, 0);
}

TEST_F(HostrixProcessTest, AKilledInstanceNeverStopsTheNextStart) {
  for (bool watched : {true, false}) {
    SCOPED_TRACE(watched ? "another process keeps the block" : "no process left");
    auto block = std::make_unique<SharedInstanceBlock>();
    ASSERT_TRUE(block->Attach());
    auto first = Start({});
    ASSERT_TRUE(WaitUntilRegistered(*block, first->Pid())) << first->Err();
    first->Signal(SIGKILL);
    first->Wait();
    // With no process alive the next start finds a fresh block; with one
    // (this test) it finds the dead instance and does not forward to it.
    if (!watched) block.reset();
    auto next = Start({Example("hello"), "-exit"});
    EXPECT_EQ(next->Wait(), 0) << next->Err();
    EXPECT_NE(next->Err().find(kTermination), std::string::npos) << next->Err();
    if (!watched) {
      SharedInstanceBlock after;
      ASSERT_TRUE(after.Attach());
      EXPECT_EQ(after.WasAlone(), true);
    }
  }
}

TEST_F(HostrixProcessTest, MultipleInstAllowsASecondFullInstance) {
  ASSERT_TRUE(WriteProfileInt(kSettingsSection, "MultipleInst", 1));
  SharedInstanceBlock block;
  ASSERT_TRUE(block.Attach());
  auto first = Start({});
  ASSERT_TRUE(WaitUntilRegistered(block, first->Pid())) << first->Err();
  auto second = Start({Example("hello"), "-exit"});
  EXPECT_EQ(second->Wait(), 0) << second->Err();
  EXPECT_NE(second->Err().find(kTermination), std::string::npos) << second->Err();
  // The first one is still there, untouched.
  EXPECT_FALSE(first->Wait(200).has_value());
  first->Signal(SIGTERM);
  EXPECT_EQ(first->Wait(10000), 0) << first->Err();
}

}  // namespace
}  // namespace veltra::test

namespace veltra::test {
namespace {

TEST_F(HostrixProcessTest, ATerminatedHostrixEndsItsApplicationWhileItWaitsForInput) {
  // A copy of its own, so that no other test's application is counted.
  std::string app = work_.File("reader.app");
  fs::copy_file(Example("echo"), app);
  auto hostrix = Start({app});
  bool started = false;
  for (int i = 0; i < 1500 && !started; ++i) {
    started = CountProcesses(app) == 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(started) << hostrix->Err();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // in the line dialog by now
  hostrix->Signal(SIGTERM);
  EXPECT_EQ(hostrix->Wait(10000), 0) << hostrix->Err();
  bool gone = false;
  for (int i = 0; i < 250 && !gone; ++i) {
    gone = CountProcesses(app) == 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(gone);
}

TEST_F(HostrixProcessTest, TheWindowIsPlacedWithinTheWorkAreaAndItsPlaceKept) {
  for (auto [name, value] :
       {std::pair{"WindowT", -50}, {"WindowB", -10}, {"WindowL", -20}, {"WindowR", -5}, {"SayStop", 0}})
    ASSERT_TRUE(WriteProfileInt(kSettingsSection, name, value));
  auto hostrix = Start({Example("hello"), "-exit"});
  EXPECT_EQ(hostrix->Wait(), 0) << hostrix->Err();
  // Top and left become 0, bottom and right half the work area; what the
  // window had at its close is what is kept.
  int top = GetProfileInt(kSettingsSection, "WindowT", -1);
  int left = GetProfileInt(kSettingsSection, "WindowL", -1);
  int bottom = GetProfileInt(kSettingsSection, "WindowB", -1);
  int right = GetProfileInt(kSettingsSection, "WindowR", -1);
  EXPECT_EQ(top, 0);
  EXPECT_EQ(left, 0);
  EXPECT_GE(bottom - top, 200);
  EXPECT_GE(right - left, 250);
}

TEST_F(HostrixProcessTest, ADamagedSettingsStoreStillLetsTheProgramStart) {
  std::ofstream(settings_.File("user.db")) << "this is no database at all, just text that fills a page";
  auto hostrix = Start({Example("hello"), "-exit"});
  EXPECT_EQ(hostrix->Wait(), 0) << hostrix->Err();
  EXPECT_NE(hostrix->Err().find(kTermination), std::string::npos) << hostrix->Err();
}

}  // namespace
}  // namespace veltra::test
