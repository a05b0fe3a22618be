// Registers the built-in clusters of every run: Basalt (0), Core (1),
// Debug (4) and the debugger interface (5).
#pragma once

#include "engine/serve/ClusterRegistry.h"

namespace veltra {

void RegisterBuiltinClusters(ClusterRegistry& registry);

}  // namespace veltra
