// The simulated DSP network: a number of boards, each with its own link,
// all owned here for the life of the library's InterfaceInfo.
#pragma once

#include <memory>
#include <vector>

#include "SimulatedLink.h"
#include "links/simulator/properties/BoardRow.h"
#include "veltra/Link.h"

namespace veltra::sim {

class SimulatedNetwork final : public InterfaceInfo {
 public:
  static constexpr int kMaxBoards = 16;

  explicit SimulatedNetwork(int boardCount);
  // Destroying the links ends every application they started.
  ~SimulatedNetwork() = default;

  // VELTRA_SIM_BOARDS, 1 to 16; unset or bad values give 1 (bad ones with a note on stderr).
  static int BoardCountFromEnvironment();

  int BoardCount() override;
  void BoardInfo(int index, char* name, int* id) override;
  void Description(char* text) override;
  Link* OpenLink(int index) override;
  int HideBoardId() override;

  // Every board with the process of its running application.
  std::vector<SimulatedBoardRow> Boards();

 private:
  std::vector<std::unique_ptr<SimulatedLink>> links_;
};

}  // namespace veltra::sim
