// Plexa_7a1: a library cluster that counts how the engine initialises and
// closes it, for tests of the library life cycle.
#include <atomic>
#include <cstdint>

#include "TableCluster.h"
#include "veltra/Export.h"
#include "veltra/RequestChannel.h"
#include "veltra/ServerContext.h"

namespace {

std::atomic<int> inits{0};
std::atomic<int> closes{0};
std::atomic<int> strays{0};  // ClusterClose with an object this library did not make
std::atomic<veltra::Cluster*> live{nullptr};

class CountingCluster final : public veltra::TableCluster<CountingCluster, 3> {
 public:
  const char* Name() override { return "Counting Cluster"; }

  // 1: reads a word, replies with the word plus one.
  int Increment() {
    channel->WriteWord(channel->ReadWord() + 1);
    return 0;
  }
  // 2: asks for no reply, as the task exit service does.
  int Quiet() {
    context->noReply = 1;
    return 0;
  }
  // 3: echoes a byte string of at most 64 bytes; result: the count it carried.
  int Echo() {
    char text[64];
    uint32_t count = channel->ReadBytesBounded(text, sizeof text);
    channel->WriteBytes(count < sizeof text ? count : sizeof text, text);
    return static_cast<int>(count);
  }

  static const Table kHandlers;
};

const CountingCluster::Table CountingCluster::kHandlers = {nullptr, &CountingCluster::Increment,
                                                           &CountingCluster::Quiet, &CountingCluster::Echo};

}  // namespace

VELTRA_C_EXPORT veltra::Cluster* ClusterInit() {
  ++inits;
  auto* cluster = new CountingCluster;
  live = cluster;
  return cluster;
}

VELTRA_C_EXPORT void ClusterClose(veltra::Cluster* cluster) {
  ++closes;
  if (cluster != live.load()) ++strays;
  live = nullptr;
  delete cluster;
}

VELTRA_C_EXPORT void CountingClusterCalls(int* initCalls, int* closeCalls, int* strayCloses) {
  *initCalls = inits;
  *closeCalls = closes;
  *strayCloses = strays;
}
