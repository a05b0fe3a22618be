// The library's cluster entry points.
#include <new>

#include "plugins/common/WindowThread.h"
#include "plugins/graph/cluster/GraphCluster.h"
#include "veltra/Export.h"

VELTRA_C_EXPORT veltra::Cluster* ClusterInit() {
  return new (std::nothrow) veltra::GraphCluster;
}

// The end of a run. The graphs stay open (their records are the library's,
// not the cluster object's); only the files that veltra-run --graphs asks
// for are written here.
VELTRA_C_EXPORT void ClusterClose(veltra::Cluster* cluster) {
  auto* graphs = dynamic_cast<veltra::GraphCluster*>(cluster);
  if (!graphs) return;
  graphs->WriteOpenGraphs();
  delete graphs;
  veltra::WindowThread::RunEnded();
}
