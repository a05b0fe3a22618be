// Plexa_7a3: a library that is loadable but exports no ClusterInit.
#include "veltra/Export.h"

VELTRA_C_EXPORT int NotAClusterLibrary() {
  return 1;
}
