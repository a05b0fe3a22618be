// The exports of the simulated link interface library.
#include <memory>
#include <mutex>

#include "NetworkProperties.h"
#include "SimulatedNetwork.h"
#include "veltra/Export.h"
#include "veltra/Link.h"

namespace {

// Guards network.
std::mutex networkMutex;
// Also destroyed when the library is unloaded or the process exits, so no
// application outlives the host even when CloseInfo is never called.
std::unique_ptr<veltra::sim::SimulatedNetwork> network;
veltra::WindowHandle owner = nullptr;  // guarded by networkMutex

}  // namespace

namespace veltra::sim {

std::vector<SimulatedBoardRow> NetworkBoards() {
  std::lock_guard lock(networkMutex);
  return network ? network->Boards() : std::vector<SimulatedBoardRow>();
}

WindowHandle NetworkOwner() {
  std::lock_guard lock(networkMutex);
  return owner;
}

}  // namespace veltra::sim

VELTRA_C_EXPORT veltra::InterfaceInfo* GetInfo(veltra::WindowHandle window) {
  std::lock_guard lock(networkMutex);
  owner = window;
  if (!network) {
    network = std::make_unique<veltra::sim::SimulatedNetwork>(
        veltra::sim::SimulatedNetwork::BoardCountFromEnvironment());
  }
  return network.get();
}

VELTRA_C_EXPORT void CloseInfo() {
  std::unique_ptr<veltra::sim::SimulatedNetwork> closing;
  {
    std::lock_guard lock(networkMutex);
    closing = std::move(network);
  }
}
