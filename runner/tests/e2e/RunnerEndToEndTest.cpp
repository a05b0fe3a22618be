// veltra-run with the simulated DSP network and the example applications, as
// a user runs them from a shell.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace veltra::test {
namespace {

namespace fs = std::filesystem;

class RunnerTest : public ::testing::Test {
 protected:
  std::string Bin(const std::string& name) const { return TestBinDirectory() + "/" + name; }
  std::string Example(const std::string& name) const { return Bin("examples/" + name + ".app"); }

  ProcessResult Run(const std::vector<std::string>& args, const std::string& input = "",
                    int timeoutMilliseconds = 30000, const std::string& partialEnd = "") {
    ProcessOptions options;
    if (!partialEnd.empty()) options.environment["PARTIAL_END"] = partialEnd;
    options.input = input;
    options.environment["VELTRA_CONFIG_DIR"] = settings_.Path().string();
    options.environment["VELTRA_PLUGIN_PATH"] = std::nullopt;
    options.timeoutMilliseconds = timeoutMilliseconds;
    return RunProcess(Bin("veltra-run"), args, options);
  }

  // A bash command line in the same environment as Run.
  ProcessResult Shell(const std::string& command) {
    ProcessOptions options;
    options.environment["VELTRA_CONFIG_DIR"] = settings_.Path().string();
    options.environment["VELTRA_PLUGIN_PATH"] = std::nullopt;
    options.timeoutMilliseconds = 30000;
    return RunProcess("/bin/bash", {"-c", command}, options);
  }

  // A process that runs the program file, as its /proc entry, or "".
  static std::string RunningProcess(const std::string& program) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
      std::error_code ec;
      if (fs::read_symlink(entry.path() / "exe", ec) == program && !ec) return entry.path().string();
    }
    return "";
  }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Copies an application into the work directory, so that what it leaves
  // behind stays there.
  std::string Copy(const std::string& from, const std::string& name) {
    auto to = work_.Path() / name;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    return to.string();
  }

  TempDir settings_;
  TempDir work_;
};

TEST_F(RunnerTest, HelloPrintsItsGreetingAndExitsZero) {
  auto result = Run({Example("hello")});
  EXPECT_EQ(result.out, "Hello from the Veltra DSP network!\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitStatus, 0);
  // Without an extension the runner adds ".app".
  auto bare = Run({Bin("examples/hello")});
  EXPECT_EQ(bare.out, "Hello from the Veltra DSP network!\n");
}

TEST_F(RunnerTest, ArgumentsReachTheApplicationAsArgv) {
  auto result = Run({"-a", "one \"two three\" four", Example("args")});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_NE(result.out.find("argv[1]=one\n"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("argv[2]=two three\n"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("argv[3]=four\n"), std::string::npos) << result.out;
}

TEST_F(RunnerTest, StandardInputFromAPipeAndFromAFile) {
  auto piped = Run({Example("echo")}, "first line\nsecond\n");
  EXPECT_EQ(piped.out, "first line\nsecond\n");
  EXPECT_EQ(piped.err, "echo: 2 lines\n");
  EXPECT_EQ(piped.exitStatus, 0);

  std::ofstream(work_.File("in.txt")) << "from a file\n";
  auto fromFile = Run({"--stdin", work_.File("in.txt"), Example("echo")}, "ignored\n");
  EXPECT_EQ(fromFile.out, "from a file\n");
  EXPECT_EQ(fromFile.err, "echo: 1 lines\n");
}

TEST_F(RunnerTest, ExitStatusOfTheApplicationIsTheRunnersStatus) {
  EXPECT_EQ(Run({Example("exitcode"), "-a", "7"}).exitStatus, 7);
  auto byDefault = Run({Example("exitcode")});
  EXPECT_EQ(byDefault.exitStatus, 3);
  EXPECT_EQ(byDefault.out, "exiting with 3\n");
  // A shell keeps the low 8 bits; a failure must not read as success.
  for (const char* multiple : {"256", "512", "-256"})
    EXPECT_EQ(Run({Example("exitcode"), "-a", multiple}).exitStatus, 1) << multiple;
  EXPECT_EQ(Run({Example("exitcode"), "-a", "257"}).exitStatus, 1);
  EXPECT_EQ(Run({Example("exitcode"), "-a", "0"}).exitStatus, 0);
}

TEST_F(RunnerTest, FilesAndRecordsOfEveryTypeAreWrittenAndReadBack) {
  auto app = Copy(Example("files"), "files.app");
  auto result = Run({app});
  EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
  EXPECT_NE(result.out.find("files: all checks passed\n"), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find("FAIL"), std::string::npos) << result.out;
  // It works in its own directory and leaves nothing behind.
  int left = 0;
  for (const auto& entry : fs::directory_iterator(work_.Path()))
    left += entry.path().filename() != "files.app";
  EXPECT_EQ(left, 0);
}

TEST_F(RunnerTest, HostSemaphoreIsDelivered) {
  auto result = Run({"--signal", "3@300", Example("semaphores")});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(result.out, "waiting for host semaphore 3\ngot host semaphore 3\n");
}

// A signal the link refuses (the application is not loaded yet at 0 ms)
// is reported on one line; the run goes on and a later signal is delivered.
TEST_F(RunnerTest, RefusedHostSemaphoreSignalIsReportedAndTheRunGoesOn) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    auto result = Run({"--signal", "3@0", "--signal", "3@800", "--timeout", "10", Example("semaphores")});
    ASSERT_EQ(result.signal, 0) << result.err;
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "waiting for host semaphore 3\ngot host semaphore 3\n");
    if (!result.err.empty()) {
      EXPECT_EQ(result.err.rfind("veltra-run: --signal 3: ", 0), 0u) << result.err;
      EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    }
  }
}

TEST_F(RunnerTest, SoftwareExceptionReportGoesToStandardError) {
  auto result = Run({Example("exception")});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, "reported\n");
  EXPECT_EQ(result.err, "*** Software exception: 00000012 DEADBEEF 00001234 Processor=2 Severity=error\n");
}

TEST_F(RunnerTest, MergedStandardErrorGoesToStandardOutput) {
  auto result = Run({"--merge-stderr", Example("exception")});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out,
            "*** Software exception: 00000012 DEADBEEF 00001234 Processor=2 Severity=error\n"
            "reported\n");
}

TEST_F(RunnerTest, MonitorLinesOnStandardError) {
  auto result = Run({"-m", "general,prot", Example("hello")});
  EXPECT_EQ(result.out, "Hello from the Veltra DSP network!\n");
  EXPECT_NE(result.err.find("MON: Resetting DSP modules\n"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("MON: Loading " + Example("hello") + "\n"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("MON: Loading completed\n"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("MON: service A1.1.2 (00000102)\n"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("MON: Server terminated\n"), std::string::npos) << result.err;
}

// --reconnect serves an application someone else started: resetting the
// boards first would end it.
TEST_F(RunnerTest, ReconnectDoesNotResetTheBoards) {
  auto result = Run({"--reconnect", "-m", "general", "--timeout", "5"});
  EXPECT_NE(result.err.find("MON: Reconnecting to running application\n"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("Resetting DSP modules"), std::string::npos) << result.err;
  // Nothing runs on the simulated board, so there is nothing to serve.
  EXPECT_EQ(result.exitStatus, 1) << result.err;
}

TEST_F(RunnerTest, RedirectionFilesTakeTheStreams) {
  auto out = work_.File("out.txt");
  auto first = Run({"--stdout", out, Example("hello")});
  EXPECT_EQ(first.out, "");
  EXPECT_EQ(ReadFile(out), "Hello from the Veltra DSP network!\n");
  Run({"--stdout", out, "--append", Example("hello")});
  EXPECT_EQ(ReadFile(out), "Hello from the Veltra DSP network!\nHello from the Veltra DSP network!\n");

  auto merged = Run({"--stdout", out, "--merge-stderr", Example("exception")});
  EXPECT_EQ(merged.err, "");
  EXPECT_EQ(ReadFile(out),
            "*** Software exception: 00000012 DEADBEEF 00001234 Processor=2 Severity=error\n"
            "reported\n");
}

// A redirection that cannot work stops the runner before the application
// starts; output lost during the run makes a clean end an error.
TEST_F(RunnerTest, RedirectionsThatCannotWorkAreRefusedOrReported) {
  auto hello = Copy(Example("hello"), "hello.app");
  auto refused = [&](const std::vector<std::string>& args, const std::string& text) {
    auto result = Run(args);
    EXPECT_EQ(result.exitStatus, 2) << result.err;
    EXPECT_NE(result.err.find(text), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "") << "the application ran";
  };
  refused({"--stdin", work_.File("missing.txt"), Example("echo")},
          "--stdin: cannot read " + work_.File("missing.txt") + ": No such file or directory");
  refused({"--stdout", work_.File("no/such/dir/out.txt"), hello},
          "--stdout: cannot write " + work_.File("no/such/dir/out.txt"));
  refused({"--stderr", work_.Path().string(), hello},
          "--stderr: " + work_.Path().string() + " is a directory");
  // Merged standard error has no file of its own, and an existing one is
  // left as it is.
  std::ofstream(work_.File("kept.txt")) << "kept\n";
  refused({"--merge-stderr", "--stderr", work_.File("kept.txt"), Example("exception")},
          "it cannot go with --stderr");
  EXPECT_EQ(ReadFile(work_.File("kept.txt")), "kept\n");
  std::string deep = work_.File(std::string(300, 'd'));
  refused({"--stdout", deep, hello}, "--stdout: the file's path is longer than 259 characters");
  EXPECT_FALSE(fs::exists(deep.substr(0, 259))) << "a cut path was written";

  auto full = Run({"--stdout", "/dev/full", hello});
  EXPECT_EQ(full.exitStatus, 1) << full.err;
  EXPECT_NE(full.err.find("Standard I/O: Cannot write to /dev/full"), std::string::npos) << full.err;
  EXPECT_NE(full.err.find("standard I/O failed"), std::string::npos) << full.err;
  // An application that fails anyway keeps its own status.
  auto failing = Run({"--stdout", "/dev/full", "-a", "5", Example("exitcode")});
  EXPECT_EQ(failing.exitStatus, 5) << failing.err;
}

// The runner's own standard output failing: a reader that goes away ends the
// run, as a closed pipe ends any program writing into it; a full device makes
// a clean end an error.
TEST_F(RunnerTest, OwnStandardOutputFailing) {
  auto app = Copy(Bin("testapps/endless.app"), "endless.app");
  auto closed =
      Shell("'" + Bin("veltra-run") + "' '" + app + "' | head -n 2; echo \"status ${PIPESTATUS[0]}\"");
  EXPECT_FALSE(closed.timedOut);
  EXPECT_EQ(closed.out, "line 0\nline 1\nstatus 1\n") << closed.err;
  EXPECT_NE(closed.err.find("veltra-run: cannot write standard output: Broken pipe"), std::string::npos)
      << closed.err;

  auto full = Shell("'" + Bin("veltra-run") + "' '" + Example("hello") + "' >/dev/full");
  EXPECT_EQ(full.exitStatus, 1) << full.err;
  EXPECT_NE(full.err.find("cannot write standard output: No space left on device"), std::string::npos)
      << full.err;
}

// Interrupted, terminated or hung up: the run is halted, the application
// process ended, and the status is 130.
TEST_F(RunnerTest, SignalsHaltTheRunAndLeaveNoProcess) {
  auto app = Copy(Bin("testapps/endless.app"), "signalled.app");
  auto out = work_.File("signalled.txt");
  for (const char* signal : {"INT", "TERM", "HUP"}) {
    // The signal comes once the application is being served.
    fs::remove(out);
    auto result =
        Shell("'" + Bin("veltra-run") + "' '" + app + "' >'" + out + "' & pid=$!; until [ -s '" + out +
              "' ]; do sleep 0.02; done; kill -" + signal + " $pid; wait $pid; echo \"status $?\"");
    EXPECT_FALSE(result.timedOut) << signal;
    EXPECT_EQ(result.out, "status 130\n") << signal << ": " << result.err;
    EXPECT_EQ(RunningProcess(app), "") << signal << ": left running";
  }
}

TEST_F(RunnerTest, InterruptDuringTheResetDelayRunsNothing) {
  auto out = work_.File("out.txt");
  auto err = work_.File("err.txt");
  auto result = Shell("'" + Bin("veltra-run") + "' -m general --reset-delay 2000 '" + Example("hello") +
                      "' >'" + out + "' 2>'" + err + "' & pid=$!; until grep -q 'Delay after reset' '" + err +
                      "'; do sleep 0.02; done; kill -INT $pid; wait $pid; echo \"status $?\"");
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.out, "status 130\n") << ReadFile(err);
  EXPECT_EQ(ReadFile(out), "");
  EXPECT_EQ(ReadFile(err).find("MON: Loading"), std::string::npos) << ReadFile(err);
}

// Into a pipe each line arrives as it is written, not when the run ends.
TEST_F(RunnerTest, OutputIntoAPipeArrivesLineByLine) {
  auto app = Copy(Example("semaphores"), "waiting.app");
  auto fifo = work_.File("lines");
  auto result = Shell("mkfifo '" + fifo + "' || exit; '" + Bin("veltra-run") + "' '" + app + "' >'" + fifo +
                      "' & pid=$!; exec 3<'" + fifo +
                      "'; IFS= read -r -t 5 line <&3; echo \"read: $line\"; "
                      "kill -INT $pid; wait $pid; echo \"status $?\"");
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.out, "read: waiting for host semaphore 3\nstatus 130\n") << result.err;
  EXPECT_EQ(RunningProcess(app), "") << "left running";
}

TEST_F(RunnerTest, ApplicationDyingInARequestEndsTheRunWithLinkDriverError) {
  for (const char* how : {"exit", "kill"}) {
    auto result = Run({Bin("testapps/partial.app")}, "", 30000, how);
    EXPECT_EQ(result.exitStatus, 1) << how << ": " << result.err;
    EXPECT_NE(result.err.find("Link Driver Error: "), std::string::npos) << how << ": " << result.err;
    EXPECT_NE(result.err.find(std::string(how) == "kill" ? "killed by signal 9"
                                                         : "closed the link (exit status 0)"),
              std::string::npos)
        << result.err;
  }
}

TEST_F(RunnerTest, MissingOrNonExecutableApplication) {
  auto missing = Run({work_.File("nothere.app")});
  EXPECT_EQ(missing.exitStatus, 2);
  EXPECT_NE(missing.err.find("Application " + work_.File("nothere.app") + " does not exist."),
            std::string::npos)
      << missing.err;

  // An application that exists but whose path the engine cannot keep.
  fs::create_directories(work_.Path() / std::string(200, 'p'));
  auto deep = Copy(Example("hello"), std::string(200, 'p') + "/" + std::string(100, 'h') + ".app");
  auto tooLong = Run({deep});
  EXPECT_EQ(tooLong.exitStatus, 2) << tooLong.err;
  EXPECT_NE(tooLong.err.find("the application's path is longer than 259 characters"), std::string::npos)
      << tooLong.err;
  EXPECT_EQ(tooLong.out, "");

  auto plain = work_.File("plain.app");
  std::ofstream(plain) << "not a program\n";
  auto result = Run({plain});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find("Failed to load " + plain + ": "), std::string::npos) << result.err;
}

TEST_F(RunnerTest, TimeoutHaltsAnApplicationThatNeverEndsAndLeavesNoProcess) {
  auto app = Copy(Example("semaphores"), "forever.app");
  auto result = Run({"--timeout", "0.5", app}, "", 20000);
  EXPECT_EQ(result.exitStatus, 124) << result.err;
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.out, "waiting for host semaphore 3\n");
  EXPECT_EQ(RunningProcess(app), "") << "left running";
}

// The application waits for console input on a pipe that stays open and
// silent: --timeout and an interrupt still end the run at once.
TEST_F(RunnerTest, TimeoutAndInterruptEndARunWaitingForConsoleInput) {
  auto app = Copy(Example("echo"), "reader.app");
  auto fifo = work_.File("silent");
  auto err = work_.File("err.txt");
  std::string openSilent = "mkfifo '" + fifo + "' && exec 3<>'" + fifo + "'; ";
  auto begin = std::chrono::steady_clock::now();
  auto timed =
      Shell(openSilent + "'" + Bin("veltra-run") + "' --timeout 0.5 '" + app + "' <&3; echo \"status $?\"");
  auto elapsed = std::chrono::steady_clock::now() - begin;
  EXPECT_FALSE(timed.timedOut);
  EXPECT_EQ(timed.out, "status 124\n") << timed.err;
  EXPECT_LT(elapsed, std::chrono::seconds(5));
  EXPECT_EQ(RunningProcess(app), "") << "left running";

  fs::remove(fifo);
  auto interrupted =
      Shell(openSilent + "'" + Bin("veltra-run") + "' -m general '" + app + "' <&3 2>'" + err +
            "' & pid=$!; until grep -q 'Loading completed' '" + err +
            "'; do sleep 0.02; done; sleep 0.3; kill -INT $pid; wait $pid; echo \"status $?\"");
  EXPECT_FALSE(interrupted.timedOut);
  EXPECT_EQ(interrupted.out, "status 130\n") << ReadFile(err);
  EXPECT_EQ(RunningProcess(app), "") << "left running";
}

TEST_F(RunnerTest, UsageErrorsAndVersion) {
  auto usage = Run({"--bogus"});
  EXPECT_EQ(usage.exitStatus, 2);
  EXPECT_NE(usage.err.find("unknown option --bogus"), std::string::npos);
  auto version = Run({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_NE(version.out.find("Orvcore server engine 1.4\n"), std::string::npos) << version.out;
  EXPECT_NE(version.out.find("Link driver: "), std::string::npos) << version.out;
}

}  // namespace
}  // namespace veltra::test
