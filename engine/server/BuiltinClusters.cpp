#include "engine/server/BuiltinClusters.h"

#include <memory>

#include "engine/basalt/BasaltCluster.h"
#include "engine/server/CoreCluster.h"
#include "engine/server/DebugCluster.h"
#include "engine/server/DebuggerCluster.h"

namespace veltra {

namespace {

// Add takes the cluster over, also when it refuses the number.
void AddOwned(ClusterRegistry& registry, int number, std::unique_ptr<Cluster> cluster) {
  registry.Add(number, cluster.release());
}

}  // namespace

void RegisterBuiltinClusters(ClusterRegistry& registry) {
  AddOwned(registry, 0, std::make_unique<BasaltCluster>());
  AddOwned(registry, 1, std::make_unique<CoreCluster>());
  AddOwned(registry, 4, std::make_unique<DebugCluster>());
  AddOwned(registry, 5, std::make_unique<DebuggerCluster>());
}

}  // namespace veltra
