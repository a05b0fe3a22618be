#include "veltra/Cluster.h"

namespace veltra {

Cluster::~Cluster() = default;

}  // namespace veltra
