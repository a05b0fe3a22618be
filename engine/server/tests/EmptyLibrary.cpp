// A loadable library that exports none of the managers' entry points.
#include "veltra/Export.h"

VELTRA_C_EXPORT int OrvcoreTestEmpty() {
  return 0;
}
