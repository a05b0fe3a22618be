// The three exports through which a host binds the engine by name.
#include <new>

#include "engine/server/OrvServerImpl.h"
#include "veltra/Export.h"

using veltra::OrvServer;
using veltra::WindowHandle;

VELTRA_C_EXPORT OrvServer* GetOrvServer(WindowHandle owner) {
  try {
    return new veltra::OrvServerImpl(owner);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

VELTRA_C_EXPORT void CloseOrvServer() {}

VELTRA_C_EXPORT int* GetOrvServerVersion(int* major, int* minor) {
  if (major) *major = 1;
  if (minor) *minor = 4;
  return major;
}
