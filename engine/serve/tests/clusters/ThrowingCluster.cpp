// Plexa_7a2: a library cluster whose handler throws no_service from inside
// the library, so the engine has to catch it across the library boundary.
#include "TableCluster.h"
#include "veltra/Export.h"

namespace {

class ThrowingCluster final : public veltra::TableCluster<ThrowingCluster, 1> {
 public:
  const char* Name() override { return "Throwing Cluster"; }
  int Refuse() { throw veltra::no_service(Name(), 77); }
  static const Table kHandlers;
};

const ThrowingCluster::Table ThrowingCluster::kHandlers = {nullptr, &ThrowingCluster::Refuse};

}  // namespace

VELTRA_C_EXPORT veltra::Cluster* ClusterInit() {
  return new ThrowingCluster;
}

VELTRA_C_EXPORT void ClusterClose(veltra::Cluster* cluster) {
  delete cluster;
}
