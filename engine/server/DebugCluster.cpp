#include "engine/server/DebugCluster.h"

#include <cstdint>
#include <cstdio>

#include "veltra/RequestChannel.h"

namespace veltra {

const DebugCluster::Table DebugCluster::kHandlers = {
    nullptr,
    &DebugCluster::PrintValue,
    &DebugCluster::IgnoreWord,
    &DebugCluster::PrintCharacter,
};

// Flushed at once: these prints are read while the application runs, often
// from a pipe that would otherwise hold them until the process ends.
int DebugCluster::PrintValue() {
  uint32_t value = channel->ReadUnsigned();
  std::printf("debugging value: %08X\n", value);
  std::fflush(stdout);
  return 0;
}

int DebugCluster::IgnoreWord() {
  channel->ReadWord();
  return 0;
}

int DebugCluster::PrintCharacter() {
  int32_t character = channel->ReadWord();
  std::putchar(static_cast<unsigned char>(character));
  std::fflush(stdout);
  return 0;
}

}  // namespace veltra
