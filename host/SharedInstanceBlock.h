// The data every running process of the program shares: which instance
// receives forwarded requests, how many processes have started, the first
// instance's stored window rectangle, the exit flag, and the application and
// working directory of the last start. Instances that share a settings store
// share one block.
#pragma once

#include <cstdint>
#include <string>

#include "platform/SharedBlock.h"
#include "veltra/OptionsRecord.h"

namespace veltra {

struct SharedInstanceData {
  // The process id of the instance that receives forwarded requests; 0 when
  // none is running. Its local socket is named from it.
  int32_t mainWindow;
  int32_t instanceCounter;
  int32_t firstTop;
  int32_t firstBottom;
  int32_t firstLeft;
  int32_t firstRight;
  uint8_t exitFlag;
  char applicationPath[kPathSize];
  char workingDirectory[kPathSize];
};

class SharedInstanceBlock {
 public:
  // Opens (or makes) the block of this user and settings store. False when
  // shared memory is not to be had; the program then runs on a block of its
  // own.
  bool Attach();
  SharedInstanceData& Data() { return *data_; }
  bool WasAlone() const { return block_.WasAlone(); }

  // Adds one to the instance counter and returns the new value.
  int32_t CountInstance();
  int32_t InstanceCounter() const;

  void SetApplicationPath(const std::string& path);
  std::string ApplicationPath() const;
  void SetWorkingDirectory(const std::string& path);
  std::string WorkingDirectory() const;

  // The local socket name of the instance with this process id.
  static std::string SocketName(int32_t pid);
  // What names the block: the user and the settings directory.
  static std::string BaseName();

 private:
  SharedBlock block_;
  SharedInstanceData own_{};
  SharedInstanceData* data_ = &own_;
};

}  // namespace veltra
