// Board Properties of the simulated network: every board with the process of
// the application running on it, in a window when the process has one, else
// in a message box.
#pragma once

#include <vector>

#include "links/simulator/properties/BoardRow.h"
#include "veltra/WindowHandle.h"

namespace veltra::sim {

// Shows the network's boards, the board of the link asked (boardId) marked.
void ShowNetworkProperties(const char* driver, int boardId);

// The boards of the network that GetInfo made, and the owner window it was
// given (SimulatorExports.cpp).
std::vector<SimulatedBoardRow> NetworkBoards();
WindowHandle NetworkOwner();

}  // namespace veltra::sim
