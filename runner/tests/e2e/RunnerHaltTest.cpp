// Whatever the application does, a --timeout or an interrupt ends the run in
// bounded time, and nothing the run started or opened outlives it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace veltra::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class RunnerHaltTest : public ::testing::Test {
 protected:
  std::string Bin(const std::string& name) const { return TestBinDirectory() + "/" + name; }
  std::string Quoted(const std::string& text) const { return "'" + text + "'"; }

  // A bash command line; VELTRA_RUN names the runner.
  ProcessResult Shell(const std::string& command, int timeoutMilliseconds = 30000) {
    ProcessOptions options;
    options.environment["VELTRA_CONFIG_DIR"] = settings_.Path().string();
    options.environment["VELTRA_PLUGIN_PATH"] = std::nullopt;
    options.environment["VELTRA_RUN"] = Bin("veltra-run");
    options.timeoutMilliseconds = timeoutMilliseconds;
    options.workingDirectory = work_.Path().string();
    return RunProcess("/bin/bash", {"-c", command}, options);
  }

  // Runs the command (which ends by printing the runner's status) and
  // checks that it ended with status within the time.
  void ExpectEndsWithin(const std::string& command, const std::string& status, std::chrono::seconds limit,
                        const std::string& what) {
    auto begun = Clock::now();
    auto result = Shell(command, 20000);
    auto elapsed = Clock::now() - begun;
    EXPECT_FALSE(result.timedOut) << what << ": the runner did not end";
    EXPECT_NE(result.out.find("status " + status + "\n"), std::string::npos)
        << what << ": " << result.out << result.err;
    EXPECT_LT(elapsed, limit) << what;
  }

  std::string Stuck(const std::string& mode) const {
    return "\"$VELTRA_RUN\" --timeout 1 -a " + Quoted(mode) + " " + Quoted(Bin("testapps/stuck.app"));
  }

  std::string Script(const std::string& name, const std::string& body) {
    std::string path = work_.File(name);
    std::ofstream(path) << "#!/bin/bash\n" << body;
    fs::permissions(path, fs::perms::owner_all);
    return path;
  }

  // Whether the process is gone (or a zombie no one has reaped yet), within
  // the limit.
  static bool Gone(pid_t pid, std::chrono::milliseconds limit = 3000ms) {
    auto deadline = Clock::now() + limit;
    for (;;) {
      std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
      std::string number, name, state;
      if (!(stat >> number >> name >> state) || state == "Z") return true;
      if (Clock::now() >= deadline) return false;
      std::this_thread::sleep_for(20ms);
    }
  }

  pid_t PidFrom(const std::string& name) {
    pid_t pid = 0;
    std::ifstream(work_.File(name)) >> pid;
    if (pid <= 0) ADD_FAILURE() << "no process id in " << name;
    return pid;
  }
  void KillLeftover(pid_t pid) {
    if (pid > 0) ::kill(pid, SIGKILL);
  }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  TempDir settings_;
  TempDir work_;
};

TEST_F(RunnerHaltTest, RepliesTheApplicationNeverReadsDoNotHoldTheRun) {
  ExpectEndsWithin(Stuck("flood") + "; echo \"status $?\"", "124", 4s, "timeout");
  ExpectEndsWithin("\"$VELTRA_RUN\" -a flood " + Quoted(Bin("testapps/stuck.app")) +
                       " & pid=$!; sleep 1; kill -INT $pid; wait $pid; echo \"status $?\"",
                   "130", 4s, "interrupt");
}

TEST_F(RunnerHaltTest, HostInputThatNeverComesDoesNotHoldTheRun) {
  std::string silent = "mkfifo silent && exec 3<>silent; ";
  ExpectEndsWithin(silent + "\"$VELTRA_RUN\" --timeout 1 --stdin silent " + Quoted(Bin("examples/echo.app")) +
                       "; echo \"status $?\"",
                   "124", 4s, "--stdin from a silent pipe");
  ExpectEndsWithin("mkfifo nowriter; \"$VELTRA_RUN\" --timeout 1 --stdin nowriter " +
                       Quoted(Bin("examples/echo.app")) + "; echo \"status $?\"",
                   "124", 4s, "--stdin from a pipe nobody opens");
  ExpectEndsWithin("mkfifo console && exec 3<>console; " + Stuck("record") + " <&3; echo \"status $?\"",
                   "124", 4s, "a record read on console input");
  // The application's relative names start from its own directory.
  ExpectEndsWithin("mkfifo unread; " + Stuck("open " + work_.File("unread")) + "; echo \"status $?\"", "124",
                   4s, "a file opened on a pipe nobody writes");
  ExpectEndsWithin("mkfifo unwritten; " + Stuck("create " + work_.File("unwritten")) + "; echo \"status $?\"",
                   "124", 4s, "a file created on a pipe nobody reads");
  ExpectEndsWithin("exec 3<>silent; " + Stuck("open " + work_.File("silent")) + "; echo \"status $?\"", "124",
                   4s, "a read from a pipe whose writer is silent");
}

// Our own standard output going to a reader that never reads: the runner
// still ends, and takes the application with it.
TEST_F(RunnerHaltTest, OutputNobodyReadsDoesNotHoldTheRunner) {
  ExpectEndsWithin("mkfifo stalled && exec 3<>stalled; \"$VELTRA_RUN\" --timeout 1 " +
                       Quoted(Bin("testapps/endless.app")) + " >&3; echo \"status $?\"",
                   "124", 5s, "stalled output");
}

TEST_F(RunnerHaltTest, AHostCommandThatNeverEndsIsEndedWithTheRun) {
  ExpectEndsWithin(Stuck("command \"sleep 30 & echo $! > " + work_.File("sleeper.pid") + "; wait\"") +
                       "; echo \"status $?\"",
                   "124", 4s, "host command");
  pid_t sleeper = PidFrom("sleeper.pid");
  EXPECT_TRUE(Gone(sleeper)) << "the host command's process outlived the run";
  KillLeftover(sleeper);
}

// Console input reaches services 12 and 15 in the order it was typed.
TEST_F(RunnerHaltTest, RecordAndLineReadsOfConsoleInputShareOneStream) {
  auto result = Shell("printf 'one\\ntwo\\nthree\\n' | \"$VELTRA_RUN\" -a line " +
                      Quoted(Bin("testapps/stuck.app")) + "; echo \"status $?\"");
  EXPECT_EQ(result.out, "read: one\n\nrecord: two\nread: three\n\nstatus 0\n") << result.err;
}

// The application's own process goes first: its group, and what left the
// group, go with the run all the same.
TEST_F(RunnerHaltTest, ProcessesLeftByAnApplicationThatExitedEndWithTheRunner) {
  std::string app = Script("leaver.app",
                           "eval \"exec $VELTRA_LINK_FD>&-\"\n"
                           "sleep 300 & echo $! > grouped.pid\n"
                           "setsid sleep 300 & echo $! > detached.pid\n"
                           "exit 0\n");
  auto result = Shell("\"$VELTRA_RUN\" " + Quoted(app) + "; echo \"status $?\"");
  EXPECT_NE(result.err.find("closed the link (exit status 0)"), std::string::npos) << result.err;
  pid_t grouped = PidFrom("grouped.pid");
  pid_t detached = PidFrom("detached.pid");
  EXPECT_TRUE(Gone(grouped)) << "a child in the application's group outlived the run";
  EXPECT_TRUE(Gone(detached)) << "a child that left the group outlived the runner";
  KillLeftover(grouped);
  KillLeftover(detached);
}

TEST_F(RunnerHaltTest, AChildHoldingTheLinkEndsWithATimedOutRun) {
  std::string app = Script("holder.app", "sleep 300 & echo $! > holder.pid\nexit 0\n");
  ExpectEndsWithin("\"$VELTRA_RUN\" --timeout 1 " + Quoted(app) + "; echo \"status $?\"", "124", 4s,
                   "timeout");
  pid_t holder = PidFrom("holder.pid");
  EXPECT_TRUE(Gone(holder)) << "the child holding the link outlived the run";
  KillLeftover(holder);
}

TEST_F(RunnerHaltTest, ApplicationDiesWithARunnerKilledOutright) {
  std::string app = Script("busy.app",
                           "(while :; do :; done) & echo $! > child.pid\n"
                           "echo $$ > app.pid\n"
                           "while :; do :; done\n");
  auto result = Shell("\"$VELTRA_RUN\" " + Quoted(app) +
                      " & pid=$!; until [ -s app.pid ] && [ -s child.pid ]; do sleep 0.02; done; "
                      "kill -KILL $pid; wait $pid; echo \"status $?\"");
  EXPECT_EQ(result.out, "status 137\n") << result.err;
  pid_t application = PidFrom("app.pid");
  pid_t child = PidFrom("child.pid");
  EXPECT_TRUE(Gone(application)) << "the application outlived its host";
  EXPECT_TRUE(Gone(child)) << "the application's child outlived its host";
  KillLeftover(application);
  KillLeftover(child);
}

TEST_F(RunnerHaltTest, TheApplicationHoldsNoDescriptorOfTheServer) {
  std::ofstream(work_.File("in.txt")) << "input\n";
  auto result = Shell("\"$VELTRA_RUN\" --stdin in.txt --stdout out.txt --stderr err.txt -a fds " +
                      Quoted(Bin("testapps/stuck.app")) + "; echo \"status $?\"");
  EXPECT_EQ(result.out, "status 0\n") << result.err;
  std::string listing = ReadFile(work_.File("out.txt"));
  std::istringstream lines(listing);
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    EXPECT_EQ(line.find(work_.Path().string()), std::string::npos) << "inherited: " << line;
    EXPECT_EQ(line.find("eventfd"), std::string::npos) << "inherited: " << line;
  }
  // The standard streams, the link and the listing's own directory.
  EXPECT_EQ(count, 5) << listing;
}

TEST_F(RunnerHaltTest, StandardErrorLostIsAFailure) {
  auto result =
      Shell("\"$VELTRA_RUN\" " + Quoted(Bin("examples/exception.app")) + " 2>/dev/full; echo \"status $?\"");
  EXPECT_EQ(result.out, "reported\nstatus 1\n");
}

}  // namespace
}  // namespace veltra::test
