// Shared pieces of the simulator tests: the library loaded by path as the
// link manager loads it, block functions that write the way the engine does,
// and the test application's location.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <string>
#include <vector>

#include "SimulatorTestCommands.h"
#include "platform/DynamicLibrary.h"
#include "veltra/Link.h"

namespace veltra::sim::test {

using Words = std::vector<uint32_t>;

std::string TestBin();
std::string TestAppPath();

// Every test starts from a fresh network and closes it afterwards, which
// must also end whatever applications the test left running.
class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  InterfaceInfo* Info();
  void CloseInfo();
  Link* Board(int index = 0);
  // Loads the test application on the board and returns its process id.
  pid_t LoadTestApp(Link* link, const std::string& path = TestAppPath());
};

// A block as the engine sends it: the length word, then the data, in two Writes.
void SendBlock(Link* link, const Words& words);
Words ReceiveBlock(Link* link);
Words Ask(Link* link, const Words& words);
// Receives a block on another thread; a link that stays silent is reset and the test fails.
Words ReceiveBlockWithin(Link* link, std::chrono::milliseconds limit);

// A Read of count bytes on another thread, for reads that are expected to
// block and then fail. One still blocked when the test gives up is ended by
// Reset, so that a fault fails the test instead of hanging it.
class BackgroundRead {
 public:
  BackgroundRead(Link* link, int count);
  ~BackgroundRead();
  bool Blocked(std::chrono::milliseconds wait);
  QMXExc Failure(std::chrono::milliseconds limit);

 private:
  Link* link_;
  std::vector<char> buffer_;
  std::future<QMXExc> result_;
};

// Runs f and returns the QMXExc it throws; a test failure when it throws none.
template <typename F>
QMXExc LinkErrorOf(F f) {
  try {
    f();
  } catch (const QMXExc& exc) {
    return exc;
  }
  ADD_FAILURE() << "no QMXExc thrown";
  return QMXExc{};
}

// True once the process has been reaped (by the library, not by us).
bool Reaped(pid_t pid);
// True while the process runs and has not been reaped.
bool Running(pid_t pid);
// Ended but left unreaped: the link reaps its application only when it ends
// the application's process group.
bool Exited(pid_t pid);

void WriteFile(const std::string& path, const std::string& text, unsigned mode);

}  // namespace veltra::sim::test
