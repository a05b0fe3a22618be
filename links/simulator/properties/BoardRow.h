// What the simulator's properties window shows of one simulated board, as it
// crosses into the window's module (SimulatorProperties.so), which exports
//   extern "C" int ShowSimulatedBoards(WindowHandle owner, const char* driver,
//                                      const SimulatedBoardRow* rows, int count,
//                                      int boardId, char* reason, int reasonSize);
// It shows the boards modally on the GUI thread, the board of the link asked
// (boardId) marked, and returns 0; or -1 with the reason when no window can
// be shown there (no window system, not the GUI thread).
#pragma once

#include "veltra/Link.h"
#include "veltra/WindowHandle.h"

namespace veltra::sim {

struct SimulatedBoardRow {
  int id;                     // the board ID the link manager shows
  char name[kBoardNameSize];  // the board name
  int pid;                    // the running application's process, or -1
};

using ShowSimulatedBoardsFunction = int (*)(WindowHandle owner, const char* driver,
                                            const SimulatedBoardRow* rows, int count, int boardId,
                                            char* reason, int reasonSize);

}  // namespace veltra::sim
