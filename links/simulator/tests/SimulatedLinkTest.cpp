// One board's link driving the test application: loading, moving blocks,
// cancel, reset, run ends and the ways an application can go away.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "SimulatorTestSupport.h"
#include "links/simulator/LinkError.h"
#include "tests/support/TempDir.h"

namespace veltra::sim::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

uint32_t Code(Command command) {
  return static_cast<uint32_t>(command);
}

std::string Canonical(const std::filesystem::path& path) {
  return std::filesystem::canonical(path).string();
}

std::string CwdOf(Link* link) {
  Words reply = Ask(link, {Code(Command::kCwd)});
  if (reply.empty()) return {};
  return std::string(reinterpret_cast<const char*>(reply.data() + 1), reply[0]);
}

// Whether a process that is not ours to reap has ended: gone, or a zombie
// waiting for whoever inherited it; waits up to the limit for that.
bool EndsWithin(pid_t pid, std::chrono::milliseconds limit) {
  auto ended = [pid] {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string number, name, state;
    return !(stat >> number >> name >> state) || state == "Z";
  };
  auto deadline = Clock::now() + limit;
  while (!ended() && Clock::now() < deadline) std::this_thread::sleep_for(10ms);
  return ended();
}

pid_t ReadPid(const std::string& file) {
  pid_t pid = 0;
  for (int attempt = 0; attempt < 500 && pid == 0; ++attempt) {
    std::ifstream in(file);
    if (!(in >> pid)) std::this_thread::sleep_for(10ms);
  }
  return pid;
}

class SimulatedLinkTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    link = Board();
    ASSERT_NE(link, nullptr);
  }

  Link* link = nullptr;
  veltra::test::TempDir dir;
};

TEST_F(SimulatedLinkTest, MovesBlocksExactly) {
  LoadTestApp(link);

  Words full(2073);
  full[0] = Code(Command::kEcho);
  for (size_t i = 1; i < full.size(); ++i) full[i] = static_cast<uint32_t>(i * 2654435761u);
  EXPECT_EQ(Ask(link, full), full);

  // Reads of any size out of what one receive brought in.
  SendBlock(link, {Code(Command::kEcho), 0x11223344, 0x55667788});
  uint32_t length = 0;
  link->Read(&length, 4);
  ASSERT_EQ(length, 12u);
  unsigned char bytes[12];
  link->Read(bytes, 1);
  link->Read(bytes + 1, 3);
  link->Read(bytes + 4, 8);
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(bytes[4], 0x44);
  EXPECT_EQ(bytes[11], 0x55);

  // A read larger than the library's buffer.
  Words large(40000);
  large[0] = Code(Command::kEcho);
  for (size_t i = 1; i < large.size(); ++i) large[i] = static_cast<uint32_t>(i);
  EXPECT_EQ(Ask(link, large), large);
}

TEST_F(SimulatedLinkTest, ApplicationRunsInItsOwnDirectory) {
  std::filesystem::create_directory(dir.Path() / "app");
  std::filesystem::copy_file(TestAppPath(), dir.Path() / "app" / "demo");
  // Loaded by a path relative to our directory, which the child leaves.
  auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  bool loaded = link->LoadFile("app/demo");
  std::filesystem::current_path(previous);
  ASSERT_TRUE(loaded) << link->LoadError();
  EXPECT_EQ(CwdOf(link), Canonical(dir.Path() / "app"));

  // A script with "#!" and a stale VELTRA_LINK_FD in our own environment.
  std::filesystem::create_directory(dir.Path() / "script");
  std::string script = dir.File("script/run.sh");
  WriteFile(script, "#!/bin/sh\nexec '" + TestAppPath() + "'\n", 0755);
  ::setenv("VELTRA_LINK_FD", "999", 1);
  loaded = link->LoadFile(script.c_str());
  ::unsetenv("VELTRA_LINK_FD");
  ASSERT_TRUE(loaded) << link->LoadError();
  EXPECT_EQ(CwdOf(link), Canonical(dir.Path() / "script"));
}

void NoHandler(int) {}

// The host's signal handling stays with the host: the application starts
// with every signal at its default and none blocked, whatever the loading
// thread ignores, handles or blocks.
TEST_F(SimulatedLinkTest, TheApplicationStartsWithDefaultSignalHandling) {
  struct sigaction ignore {
  }, handle{}, oldPipe{}, oldUsr1{}, oldUsr2{};
  ignore.sa_handler = SIG_IGN;
  handle.sa_handler = NoHandler;
  ::sigaction(SIGPIPE, &ignore, &oldPipe);
  ::sigaction(SIGUSR1, &ignore, &oldUsr1);
  ::sigaction(SIGUSR2, &handle, &oldUsr2);
  sigset_t blocked, previous;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGUSR2);
  sigaddset(&blocked, SIGTERM);
  ::pthread_sigmask(SIG_BLOCK, &blocked, &previous);

  std::string status = dir.File("status.txt");
  std::string script = dir.File("signals.sh");
  WriteFile(script,
            // The shell reads its own status itself: while it starts a
            // command it blocks its signals for a moment, so a child of it
            // looking at its status could see them all blocked.
            "#!/bin/sh\nwhile read -r line; do case $line in SigBlk:*|SigIgn:*) printf '%s\\n' \"$line\";; "
            "esac; done < /proc/$$/status > '" +
                status + ".part'\nmv '" + status + ".part' '" + status + "'\nexec '" + TestAppPath() + "'\n",
            0755);
  bool loaded = link->LoadFile(script.c_str());
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  ::sigaction(SIGPIPE, &oldPipe, nullptr);
  ::sigaction(SIGUSR1, &oldUsr1, nullptr);
  ::sigaction(SIGUSR2, &oldUsr2, nullptr);
  ASSERT_TRUE(loaded) << link->LoadError();
  // This thread's own mask is as it was before the start.
  sigset_t now;
  ::pthread_sigmask(SIG_SETMASK, nullptr, &now);
  EXPECT_EQ(sigismember(&now, SIGUSR2), sigismember(&previous, SIGUSR2));
  EXPECT_EQ(sigismember(&now, SIGUSR1), sigismember(&previous, SIGUSR1));

  std::string lines;
  for (int attempt = 0; attempt < 500 && lines.empty(); ++attempt) {
    std::ifstream in(status);
    std::getline(in, lines, '\0');
    if (lines.empty()) std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(lines, "SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n");
}

TEST_F(SimulatedLinkTest, LoadFailuresSayWhy) {
  std::string missing = dir.File("missing.app");
  EXPECT_FALSE(link->LoadFile(missing.c_str()));
  EXPECT_EQ(std::string(link->LoadError()), "Cannot find application file " + missing);

  std::string plain = dir.File("plain.app");
  WriteFile(plain, "#!/bin/sh\nexit 0\n", 0644);
  EXPECT_FALSE(link->LoadFile(plain.c_str()));
  EXPECT_EQ(std::string(link->LoadError()), plain + " is not executable (chmod +x, or start it with #!)");

  std::string noMagic = dir.File("garbage.app");
  WriteFile(noMagic, "this is no program\n", 0755);
  EXPECT_FALSE(link->LoadFile(noMagic.c_str()));
  EXPECT_EQ(std::string(link->LoadError()), noMagic + " is not executable (chmod +x, or start it with #!)");

  std::string badInterpreter = dir.File("bad.app");
  WriteFile(badInterpreter, "#!/nonexistent/veltra-shell -x\n", 0755);
  EXPECT_FALSE(link->LoadFile(badInterpreter.c_str()));
  EXPECT_EQ(std::string(link->LoadError()),
            "Cannot start " + badInterpreter + ": its interpreter /nonexistent/veltra-shell was not found");

  EXPECT_FALSE(link->LoadFile(dir.Path().c_str()));
  EXPECT_NE(std::string(link->LoadError()).find("Is a directory"), std::string::npos);

  // None of these left anything on the board.
  char word[4];
  EXPECT_STREQ(LinkErrorOf([&] { link->Read(word, 4); }).message, "No application is loaded on board 1");
}

TEST_F(SimulatedLinkTest, KernelFilesAreOnlyCheckedForReading) {
  std::string upper = dir.File("TIM40.KRN");
  WriteFile(upper, "kernel", 0644);
  EXPECT_TRUE(link->LoadFile(upper.c_str())) << link->LoadError();
  std::string lower = dir.File("root.krn");
  WriteFile(lower, "", 0755);
  EXPECT_TRUE(link->LoadFile(lower.c_str())) << link->LoadError();

  std::string missing = dir.File("none.krn");
  EXPECT_FALSE(link->LoadFile(missing.c_str()));
  EXPECT_EQ(std::string(link->LoadError()).rfind("Cannot read C4x kernel file " + missing, 0), 0u)
      << link->LoadError();

  std::filesystem::create_directory(dir.Path() / "dir.krn");
  EXPECT_FALSE(link->LoadFile(dir.File("dir.krn").c_str()));
  EXPECT_NE(std::string(link->LoadError()).find("Cannot read C4x kernel file"), std::string::npos);

  if (::geteuid() != 0) {
    std::string locked = dir.File("locked.krn");
    WriteFile(locked, "kernel", 0);
    EXPECT_FALSE(link->LoadFile(locked.c_str()));
  }

  // A kernel leaves a running application alone.
  pid_t pid = LoadTestApp(link);
  EXPECT_TRUE(link->LoadFile(upper.c_str()));
  EXPECT_EQ(Ask(link, {Code(Command::kPid)}), Words{static_cast<uint32_t>(pid)});
}

TEST_F(SimulatedLinkTest, CancelWakesABlockedReadAndHoldsUntilRunEnded) {
  LoadTestApp(link);
  BackgroundRead blocked(link, 4);
  EXPECT_TRUE(blocked.Blocked(100ms));
  link->Cancel();
  QMXExc cancelled = blocked.Failure(5s);
  EXPECT_STREQ(cancelled.message, "read cancelled");
  EXPECT_EQ(cancelled.error, kErrorCancelled);

  // Still cancelled, even with an answer waiting.
  SendBlock(link, {Code(Command::kEcho), 7});
  std::this_thread::sleep_for(50ms);
  char word[4];
  EXPECT_STREQ(LinkErrorOf([&] { link->Read(word, 4); }).message, "read cancelled");

  link->RunEnded();
  EXPECT_EQ(ReceiveBlockWithin(link, 5s), (Words{Code(Command::kEcho), 7}));
  // The cleared cancel does not wake later reads.
  SendBlock(link, {Code(Command::kEcho), 8});
  EXPECT_EQ(ReceiveBlockWithin(link, 5s), (Words{Code(Command::kEcho), 8}));

  link->Cancel();
  link->Reset();
  LoadTestApp(link);
  EXPECT_EQ(Ask(link, {Code(Command::kEcho), 9}), (Words{Code(Command::kEcho), 9}));
}

TEST_F(SimulatedLinkTest, ResetEndsAndReapsTheApplication) {
  pid_t pid = LoadTestApp(link);
  ASSERT_GT(pid, 0);
  link->Reset();
  EXPECT_TRUE(Reaped(pid));
  char word[4];
  EXPECT_STREQ(LinkErrorOf([&] { link->Read(word, 4); }).message, "No application is loaded on board 1");

  // One that ignores SIGTERM is killed after the grace period.
  pid = LoadTestApp(link);
  Ask(link, {Code(Command::kIgnoreTerm)});
  auto start = Clock::now();
  link->Reset();
  EXPECT_TRUE(Reaped(pid));
  EXPECT_GE(Clock::now() - start, 150ms);
  EXPECT_LT(Clock::now() - start, 3s);

  // A second load replaces the first application.
  pid_t first = LoadTestApp(link);
  pid_t second = LoadTestApp(link);
  EXPECT_TRUE(Reaped(first));
  EXPECT_TRUE(Running(second));
}

// The application runs in a process group of its own: a terminal's Ctrl-C to
// the host's group does not reach it, and a reset ends what a script started.
TEST_F(SimulatedLinkTest, ApplicationHasItsOwnProcessGroupAndResetEndsIt) {
  std::string childFile = (dir.Path() / "child.pid").string();
  std::string script = (dir.Path() / "starter.app").string();
  WriteFile(script, "#!/bin/sh\nsleep 60 &\necho $! > '" + childFile + "'\nexec '" + TestAppPath() + "'\n",
            0755);
  pid_t pid = LoadTestApp(link, script);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(getpgid(pid), pid);
  EXPECT_NE(getpgid(pid), getpgid(0));
  std::ifstream in(childFile);
  pid_t child = 0;
  ASSERT_TRUE(in >> child) << "the script did not start its child";
  EXPECT_EQ(getpgid(child), pid);
  link->Reset();
  EXPECT_TRUE(Reaped(pid));
  // The child is not ours to reap: it has ended once it is gone or a zombie
  // waiting for whoever inherited it.
  auto ended = [child] {
    std::ifstream stat("/proc/" + std::to_string(child) + "/stat");
    std::string pid, name, state;
    return !(stat >> pid >> name >> state) || state == "Z";
  };
  auto deadline = Clock::now() + 5s;
  while (!ended() && Clock::now() < deadline) std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(ended()) << "the script's child outlived the reset";
}

// The application's own process ends first (its link closes, the run ends
// and RunEnded looks at it); what it started in its group still ends with
// the reset.
TEST_F(SimulatedLinkTest, ResetEndsTheGroupAfterTheApplicationHasExited) {
  std::string childFile = dir.File("child.pid");
  std::string script = dir.File("leaver.app");
  // The child does not hold the link, so the link closes with the script.
  WriteFile(
      script,
      "#!/bin/sh\neval \"exec $VELTRA_LINK_FD>&-\"\nsleep 300 &\necho $! > '" + childFile + "'\nexit 4\n",
      0755);
  ASSERT_TRUE(link->LoadFile(script.c_str())) << link->LoadError();
  pid_t child = ReadPid(childFile);
  ASSERT_GT(child, 0);
  char word[4];
  QMXExc closed = LinkErrorOf([&] { link->Read(word, 4); });
  EXPECT_STREQ(closed.message, "The application on board 1 closed the link (exit status 4)");
  link->RunEnded();
  EXPECT_FALSE(EndsWithin(child, 0ms)) << "ended before the reset";
  auto begun = Clock::now();
  link->Reset();
  EXPECT_LT(Clock::now() - begun, 100ms) << "a reset of an ended application waited";
  EXPECT_TRUE(EndsWithin(child, 5s)) << "the application's child outlived the reset";
}

// An application that never reads: the sender blocks once the socket is
// full, and a cancel ends that wait as it ends a read.
TEST_F(SimulatedLinkTest, CancelWakesAWriteToAnApplicationThatDoesNotRead) {
  std::string script = dir.File("deaf.app");
  WriteFile(script, "#!/bin/sh\nexec sleep 300\n", 0755);
  ASSERT_TRUE(link->LoadFile(script.c_str())) << link->LoadError();
  auto writer = std::async(std::launch::async, [&] {
    std::vector<uint32_t> block(1001, 0);
    block[0] = 4000;
    return LinkErrorOf([&] {
      for (int i = 0; i < 100000; ++i) link->Write(block.data(), static_cast<int>(block.size() * 4));
    });
  });
  EXPECT_EQ(writer.wait_for(300ms), std::future_status::timeout) << "the socket never filled";
  link->Cancel();
  if (writer.wait_for(2s) != std::future_status::ready) {
    link->Reset();  // wakes it, so that the failure does not hang the test
    FAIL() << "the cancel did not wake the write";
  }
  QMXExc cancelled = writer.get();
  EXPECT_EQ(cancelled.error, kErrorCancelled);
  EXPECT_STREQ(cancelled.message, "write cancelled");
  link->RunEnded();  // a held word the application never takes does not hold it either
  link->Reset();
}

TEST_F(SimulatedLinkTest, ResetWakesAReadOnAnotherThread) {
  pid_t pid = LoadTestApp(link);
  BackgroundRead blocked(link, 4);
  EXPECT_TRUE(blocked.Blocked(100ms));
  link->Reset();
  QMXExc reset = blocked.Failure(5s);
  EXPECT_EQ(reset.error, kErrorLinkReset);
  EXPECT_NE(std::string(reset.message).find("reset"), std::string::npos) << reset.message;
  EXPECT_TRUE(Reaped(pid));
}

TEST_F(SimulatedLinkTest, RunEndedKeepsTheApplicationForReconnect) {
  pid_t pid = LoadTestApp(link);
  EXPECT_EQ(Ask(link, {Code(Command::kEcho), 1}), (Words{Code(Command::kEcho), 1}));
  link->RunEnded();
  EXPECT_TRUE(Running(pid));
  // Reconnect: the engine sends one data block of a word before serving.
  uint32_t reconnect[2] = {4, 0xabcd};
  link->Write(reconnect, 8);
  EXPECT_EQ(ReceiveBlockWithin(link, 5s), (Words{0xffffffffu}));
  EXPECT_EQ(Ask(link, {Code(Command::kPid)}), Words{static_cast<uint32_t>(pid)});
}

TEST_F(SimulatedLinkTest, ApplicationEndingInMidBlockIsReported) {
  pid_t pid = LoadTestApp(link);
  SendBlock(link, {Code(Command::kHalfBlock), 3});
  uint32_t length = 0;
  link->Read(&length, 4);
  ASSERT_EQ(length, 8u);
  char data[8];
  QMXExc closed = BackgroundRead(link, 8).Failure(5s);
  EXPECT_STREQ(closed.message, "The application on board 1 closed the link (exit status 3)");
  EXPECT_EQ(closed.error, kErrorLinkClosed);
  EXPECT_TRUE(Exited(pid));
  // Asked again, the board still knows what happened.
  EXPECT_STREQ(LinkErrorOf([&] { link->Read(data, 4); }).message,
               "The application on board 1 closed the link (exit status 3)");

  pid = LoadTestApp(link);
  SendBlock(link, {Code(Command::kKill)});
  closed = BackgroundRead(link, 4).Failure(5s);
  EXPECT_EQ(std::string(closed.message).rfind("The application on board 1 was killed by signal 9", 0), 0u)
      << closed.message;
  EXPECT_TRUE(Exited(pid));
  link->Reset();
  EXPECT_TRUE(Reaped(pid));

  // Closed its end but kept running: said so, and Reset still ends it.
  pid = LoadTestApp(link);
  SendBlock(link, {Code(Command::kCloseLink)});
  EXPECT_STREQ(BackgroundRead(link, 4).Failure(5s).message, "The application on board 1 closed the link");
  EXPECT_TRUE(Running(pid));
  link->Reset();
  EXPECT_TRUE(Reaped(pid));
}

TEST_F(SimulatedLinkTest, WritingToAClosedLinkThrowsWithoutSigpipe) {
  auto previous = ::signal(SIGPIPE, SIG_DFL);
  pid_t pid = LoadTestApp(link);
  SendBlock(link, {Code(Command::kExit), 0});
  QMXExc failed{};
  bool thrown = false;
  for (int attempt = 0; attempt < 200 && !thrown; ++attempt) {
    try {
      SendBlock(link, {Code(Command::kEcho), 1, 2, 3});
      std::this_thread::sleep_for(10ms);
    } catch (const QMXExc& exc) {
      failed = exc;
      thrown = true;
    }
  }
  ::signal(SIGPIPE, previous);
  ASSERT_TRUE(thrown);
  EXPECT_EQ(failed.error, EPIPE);
  EXPECT_STREQ(failed.message, "The application on board 1 closed the link (exit status 0)");
  EXPECT_TRUE(Exited(pid));
  link->Reset();
  EXPECT_TRUE(Reaped(pid));
}

TEST_F(SimulatedLinkTest, ALengthWordLeavesWithItsData) {
  LoadTestApp(link);
  ASSERT_EQ(Ask(link, {Code(Command::kFirstRecv)}), Words{Code(Command::kFirstRecv)});
  // The application waits in recv; had the length word gone out on its own,
  // that recv would return with 4 bytes.
  uint32_t length = 12;
  Words data{Code(Command::kEcho), 5, 6};
  link->Write(&length, 4);
  std::this_thread::sleep_for(100ms);
  link->Write(data.data(), 12);
  EXPECT_EQ(ReceiveBlockWithin(link, 5s), (Words{16, 12}));
}

TEST_F(SimulatedLinkTest, NothingIsHeldBackAcrossARead) {
  LoadTestApp(link);
  ASSERT_EQ(Ask(link, {Code(Command::kRawWord)}), Words{Code(Command::kRawWord)});
  uint32_t word = 0xfeedf00d;
  link->Write(&word, 4);
  EXPECT_EQ(ReceiveBlockWithin(link, 5s), Words{0xfeedf00d});
}

TEST_F(SimulatedLinkTest, SignalBlockFromAnotherThreadDuringARead) {
  LoadTestApp(link);
  auto reply = std::async(std::launch::async, [this] { return ReceiveBlock(link); });
  EXPECT_EQ(reply.wait_for(100ms), std::future_status::timeout);
  uint32_t signal[2] = {0x10004, 1u << 3};
  link->Write(&signal[0], 4);
  link->Write(&signal[1], 4);
  ASSERT_EQ(reply.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(reply.get(), (Words{Code(Command::kSignalSeen), 8}));
}

TEST_F(SimulatedLinkTest, BoardsRunTheirOwnApplications) {
  ::setenv("VELTRA_SIM_BOARDS", "2", 1);
  CloseInfo();
  Link* first = Board(0);
  Link* second = Board(1);
  pid_t firstPid = LoadTestApp(first);
  pid_t secondPid = LoadTestApp(second);
  EXPECT_NE(firstPid, secondPid);
  EXPECT_EQ(Ask(second, {Code(Command::kOtherSockets)}), Words{0});

  // The second application holds nothing of the first one's link, so the
  // first one's exit is seen at once.
  SendBlock(first, {Code(Command::kExit), 5});
  EXPECT_STREQ(BackgroundRead(first, 4).Failure(2s).message,
               "The application on board 1 closed the link (exit status 5)");
  EXPECT_EQ(Ask(second, {Code(Command::kEcho), 2}), (Words{Code(Command::kEcho), 2}));
  EXPECT_TRUE(Running(secondPid));
}

}  // namespace
}  // namespace veltra::sim::test
