// Plexa_7a4: a library whose ClusterInit fails (returns null).
#include "veltra/Cluster.h"
#include "veltra/Export.h"

VELTRA_C_EXPORT veltra::Cluster* ClusterInit() {
  return nullptr;
}
