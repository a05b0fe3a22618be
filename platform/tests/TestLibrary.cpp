// A tiny library the loader tests find by name.
#include "veltra/Export.h"

VELTRA_C_EXPORT int PlatformProbeAnswer() {
  return 42;
}
