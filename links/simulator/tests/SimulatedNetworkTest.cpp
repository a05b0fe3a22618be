// The library as the link manager sees it: exports, boards, links, versions.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "SimulatorTestSupport.h"
#include "links/simulator/LinkError.h"

namespace veltra::sim::test {
namespace {

using SimulatedNetworkTest = SimulatorTest;

TEST_F(SimulatedNetworkTest, OneBoardByDefaultWithAStableLink) {
  InterfaceInfo* info = Info();
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(Info(), info);

  char text[32];
  std::memset(text, 'x', sizeof text);
  info->Description(text);
  EXPECT_STREQ(text, "Veltra simulated network");
  EXPECT_EQ(info->BoardCount(), 1);
  EXPECT_EQ(info->HideBoardId(), 0);

  char name[kBoardNameSize];
  int id = -1;
  info->BoardInfo(0, name, &id);
  EXPECT_STREQ(name, "Simulated DSP");
  EXPECT_EQ(id, 1);

  Link* link = info->OpenLink(0);
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(info->OpenLink(0), link);
  EXPECT_EQ(info->OpenLink(1), nullptr);
  EXPECT_EQ(info->OpenLink(-1), nullptr);
}

TEST_F(SimulatedNetworkTest, BoardCountComesFromTheEnvironment) {
  ::setenv("VELTRA_SIM_BOARDS", "3", 1);
  InterfaceInfo* info = Info();
  ASSERT_EQ(info->BoardCount(), 3);
  std::set<Link*> links;
  for (int index = 0; index < 3; ++index) {
    char name[kBoardNameSize];
    int id = 0;
    info->BoardInfo(index, name, &id);
    EXPECT_EQ(id, index + 1);
    EXPECT_STREQ(name, "Simulated DSP");
    links.insert(info->OpenLink(index));
  }
  EXPECT_EQ(links.size(), 3u);
  EXPECT_EQ(links.count(nullptr), 0u);
  CloseInfo();

  ::setenv("VELTRA_SIM_BOARDS", "16", 1);
  EXPECT_EQ(Info()->BoardCount(), 16);
  CloseInfo();

  for (const char* bad : {"0", "17", "abc", "2x", "", "-3"}) {
    ::setenv("VELTRA_SIM_BOARDS", bad, 1);
    testing::internal::CaptureStderr();
    int count = Info()->BoardCount();
    std::string note = testing::internal::GetCapturedStderr();
    EXPECT_EQ(count, 1) << bad;
    EXPECT_NE(note.find("VELTRA_SIM_BOARDS"), std::string::npos) << bad;
    CloseInfo();
  }
}

TEST_F(SimulatedNetworkTest, DriverVersionControlAndProperties) {
  Link* link = Board();
  char name[128];
  int major = -1;
  int minor = -1;
  EXPECT_EQ(link->DriverVersion(name, &major, &minor), 0);
  EXPECT_STREQ(name, "Veltra network simulator");
  EXPECT_EQ(major, 1);
  EXPECT_EQ(minor, 0);
  EXPECT_EQ(link->Control(1, 8296), 0);
  EXPECT_EQ(link->Control(2, 0), 0);

  testing::internal::CaptureStderr();
  link->ShowProperties();
  EXPECT_NE(testing::internal::GetCapturedStderr().find("board 1: no application"), std::string::npos);
}

TEST_F(SimulatedNetworkTest, FailuresCrossTheLibraryAsQMXExc) {
  Link* link = Board();
  char buffer[4];
  QMXExc read = LinkErrorOf([&] { link->Read(buffer, 4); });
  EXPECT_STREQ(read.message, "No application is loaded on board 1");
  EXPECT_EQ(read.error, kErrorNoApplication);
  EXPECT_STREQ(read.file, "SimulatedLink.cpp");
  EXPECT_GT(read.line, 0);

  QMXExc write = LinkErrorOf([&] { link->Write(buffer, 4); });
  EXPECT_STREQ(write.message, "No application is loaded on board 1");
}

TEST_F(SimulatedNetworkTest, CloseInfoEndsEveryApplication) {
  ::setenv("VELTRA_SIM_BOARDS", "2", 1);
  pid_t first = LoadTestApp(Board(0));
  pid_t second = LoadTestApp(Board(1));
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  // One of them ignores SIGTERM and must still be gone.
  Ask(Board(1), {static_cast<uint32_t>(Command::kIgnoreTerm)});
  CloseInfo();
  EXPECT_TRUE(Reaped(first));
  EXPECT_TRUE(Reaped(second));
}

TEST_F(SimulatedNetworkTest, AnExitingHostLeavesNoApplicationBehind) {
  // A host that exits without CloseInfo: a child process of ours plays it.
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  std::fflush(nullptr);
  pid_t host = ::fork();
  ASSERT_GE(host, 0);
  if (host == 0) {
    ::close(pipeFds[0]);
    Link* link = Board();
    uint32_t pid = 0;
    if (link && link->LoadFile(TestAppPath().c_str())) {
      Words reply = Ask(link, {static_cast<uint32_t>(Command::kIgnoreTerm)});
      reply = Ask(link, {static_cast<uint32_t>(Command::kPid)});
      if (!reply.empty()) pid = reply[0];
    }
    if (::write(pipeFds[1], &pid, sizeof pid) != sizeof pid) std::_Exit(2);
    std::exit(0);
  }
  ::close(pipeFds[1]);
  uint32_t application = 0;
  ASSERT_EQ(::read(pipeFds[0], &application, sizeof application), static_cast<ssize_t>(sizeof application));
  ::close(pipeFds[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(host, &status, 0), host);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_GT(application, 0u);
  // The host reaped it before it exited, or it is an orphan still running.
  EXPECT_NE(::kill(static_cast<pid_t>(application), 0), 0);
  if (::kill(static_cast<pid_t>(application), 0) == 0) ::kill(static_cast<pid_t>(application), SIGKILL);
}

}  // namespace
}  // namespace veltra::sim::test
