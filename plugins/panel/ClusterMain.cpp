// The control-panel library's cluster entry points.
#include <new>

#include "plugins/common/WindowThread.h"
#include "plugins/panel/PanelCluster.h"
#include "veltra/Export.h"

VELTRA_C_EXPORT veltra::Cluster* ClusterInit() {
  return new (std::nothrow) veltra::PanelCluster;
}

// The end of a run: the cluster object goes, its windows stay where they are.
VELTRA_C_EXPORT void ClusterClose(veltra::Cluster* cluster) {
  delete dynamic_cast<veltra::PanelCluster*>(cluster);
  veltra::WindowThread::RunEnded();
}
