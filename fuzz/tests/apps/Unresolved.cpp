// A cluster library the loader refuses: it needs a function nothing defines.
#include "veltra/Cluster.h"
#include "veltra/Export.h"

extern "C" veltra::Cluster* VeltraFaultNowhere();

VELTRA_C_EXPORT veltra::Cluster* ClusterInit() {
  return VeltraFaultNowhere();
}
