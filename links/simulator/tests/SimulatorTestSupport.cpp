#include "SimulatorTestSupport.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <future>

namespace veltra::sim::test {

namespace {

DynamicLibrary& Library() {
  static DynamicLibrary library;
  if (!library.IsLoaded()) {
    EXPECT_TRUE(library.Load(TestBin() + "/Simulator_Orv.so")) << library.Error();
  }
  return library;
}

}  // namespace

std::string TestBin() {
  const char* bin = std::getenv("VELTRA_TEST_BIN");
  if (bin && *bin) return bin;
  std::string dir = DynamicLibrary::ProgramDirectory();
  return dir.substr(0, dir.size() - 1);
}

std::string TestAppPath() {
  return TestBin() + "/sim_test_app";
}

void SimulatorTest::SetUp() {
  ::unsetenv("VELTRA_SIM_BOARDS");
}

void SimulatorTest::TearDown() {
  CloseInfo();
  ::unsetenv("VELTRA_SIM_BOARDS");
}

InterfaceInfo* SimulatorTest::Info() {
  auto getInfo = Library().Function<GetInfoFunction>("GetInfo");
  EXPECT_NE(getInfo, nullptr);
  return getInfo ? getInfo(nullptr) : nullptr;
}

void SimulatorTest::CloseInfo() {
  auto closeInfo = Library().Function<CloseInfoFunction>("CloseInfo");
  EXPECT_NE(closeInfo, nullptr);
  if (closeInfo) closeInfo();
}

Link* SimulatorTest::Board(int index) {
  InterfaceInfo* info = Info();
  return info ? info->OpenLink(index) : nullptr;
}

pid_t SimulatorTest::LoadTestApp(Link* link, const std::string& path) {
  EXPECT_TRUE(link->LoadFile(path.c_str())) << link->LoadError();
  Words reply = Ask(link, {static_cast<uint32_t>(Command::kPid)});
  return reply.empty() ? -1 : static_cast<pid_t>(reply[0]);
}

void SendBlock(Link* link, const Words& words) {
  uint32_t length = static_cast<uint32_t>(words.size() * 4);
  link->Write(&length, 4);
  link->Write(words.data(), static_cast<int>(length));
}

Words ReceiveBlock(Link* link) {
  uint32_t length = 0;
  link->Read(&length, 4);
  Words words(length / 4);
  link->Read(words.data(), static_cast<int>(length));
  return words;
}

Words Ask(Link* link, const Words& words) {
  SendBlock(link, words);
  return ReceiveBlock(link);
}

Words ReceiveBlockWithin(Link* link, std::chrono::milliseconds limit) {
  auto reply = std::async(std::launch::async, [link] { return ReceiveBlock(link); });
  if (reply.wait_for(limit) != std::future_status::ready) {
    ADD_FAILURE() << "no block arrived within " << limit.count() << " ms";
    link->Reset();
    try {
      reply.get();
    } catch (const QMXExc&) {
    }
    return {};
  }
  return reply.get();
}

BackgroundRead::BackgroundRead(Link* link, int count) : link_(link), buffer_(static_cast<size_t>(count)) {
  result_ = std::async(std::launch::async, [this] {
    return LinkErrorOf([this] { link_->Read(buffer_.data(), static_cast<int>(buffer_.size())); });
  });
}

BackgroundRead::~BackgroundRead() {
  if (result_.valid() && result_.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
    link_->Reset();
}

bool BackgroundRead::Blocked(std::chrono::milliseconds wait) {
  return result_.wait_for(wait) == std::future_status::timeout;
}

QMXExc BackgroundRead::Failure(std::chrono::milliseconds limit) {
  if (result_.wait_for(limit) != std::future_status::ready) {
    ADD_FAILURE() << "the read was still blocked after " << limit.count() << " ms";
    link_->Reset();
  }
  return result_.get();
}

bool Reaped(pid_t pid) {
  int status = 0;
  return ::waitpid(pid, &status, WNOHANG) < 0 && errno == ECHILD;
}

bool Exited(pid_t pid) {
  siginfo_t info{};
  return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

bool Running(pid_t pid) {
  int status = 0;
  return ::waitpid(pid, &status, WNOHANG) == 0;
}

void WriteFile(const std::string& path, const std::string& text, unsigned mode) {
  std::ofstream(path, std::ios::binary) << text;
  ::chmod(path.c_str(), mode);
}

}  // namespace veltra::sim::test
