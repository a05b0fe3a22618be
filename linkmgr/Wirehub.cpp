// Exports of the link manager library.
#include <new>

#include "linkmgr/LinkManagerImpl.h"
#include "veltra/Export.h"

// Every call makes a new, empty manager; it does nothing until Initialise.
VELTRA_C_EXPORT veltra::LinkManager* GetLinkManager() {
  return new (std::nothrow) veltra::LinkManagerImpl();
}

// The manager is not destroyed here: its Links may still be in use.
VELTRA_C_EXPORT void CloseLinkManager() {}
