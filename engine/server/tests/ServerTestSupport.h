// What the server tests share: the engine bound by name as a host binds it,
// and a fixture with a started server, a scripted link, a recording host and
// a recording UI, all on a fresh settings directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/DynamicLibrary.h"
#include "platform/RecordingUi.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/ScriptedLink.h"
#include "tests/support/TempDir.h"
#include "veltra/OptionsRecord.h"
#include "veltra/OrvServer.h"

namespace veltra::test {

// The engine library, loaded once by its system name and kept, as a host does.
struct Engine {
  GetOrvServerFunction getServer = nullptr;
  CloseOrvServerFunction closeServer = nullptr;
  GetOrvServerVersionFunction getVersion = nullptr;
  std::string error;
};
const Engine& BoundEngine();

// Reads the words of one reply block in order, byte strings included.
class ReplyReader {
 public:
  explicit ReplyReader(Bytes block) : block_(std::move(block)) {}
  uint32_t Word();
  std::string String();  // count word, bytes, padding
  bool AtEnd() const { return at_ >= block_.size(); }
  size_t Size() const { return block_.size(); }

 private:
  Bytes block_;
  size_t at_ = 0;
};

Bytes Request(int cluster, int service, std::initializer_list<uint32_t> words = {});
Bytes Concat(std::initializer_list<Bytes> parts);
Bytes StringArgument(const std::string& text);

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Selects an application file in the settings directory and lets the link
  // wait for input instead of failing when it runs dry.
  void SelectApplication(const std::string& name = "demo.app");
  // Runs and waits until the application is served and the link is idle.
  void RunAndWaitUntilServing();
  // Halts the run and waits for its end.
  void HaltAndWait(int runs = 1);
  // The boxes shown since the server was made.
  std::vector<RecordedBox> Boxes() const { return ui.Boxes(); }

  TempDir settings{true};
  std::filesystem::path savedDirectory;
  RecordingUi ui;
  RecordingHost host;
  std::unique_ptr<ScriptedLink> link = std::make_unique<ScriptedLink>();
  WindowHandle owner = reinterpret_cast<WindowHandle>(0x0A11);
  OrvServer* server = nullptr;
  OptionsRecord* options = nullptr;
  void* threadHandle = nullptr;
  std::string applicationPath;
};

}  // namespace veltra::test
