#include "NetworkProperties.h"

#include <string>

#include "platform/DynamicLibrary.h"
#include "platform/Ui.h"

namespace veltra::sim {

namespace {

constexpr const char* kModule = "SimulatorProperties.so";

std::string Summary(const char* driver, const std::vector<SimulatedBoardRow>& boards) {
  std::string text;
  for (const auto& board : boards) {
    if (!text.empty()) text += "\n";
    text += std::string(driver) + ", board " + std::to_string(board.id) + ": ";
    text += board.pid > 0 ? "application running as process " + std::to_string(board.pid)
                          : std::string("no application running");
  }
  return text;
}

}  // namespace

void ShowNetworkProperties(const char* driver, int boardId) {
  std::vector<SimulatedBoardRow> boards = NetworkBoards();
  // The window module is loaded once and kept, the first time a user asks.
  static ShowSimulatedBoardsFunction show = nullptr;
  static std::string loadError;
  if (!show && loadError.empty()) {
    DynamicLibrary module;
    if (!module.Load(kModule, false))
      loadError = module.Error();
    else if (!(show = module.Function<ShowSimulatedBoardsFunction>("ShowSimulatedBoards")))
      loadError = std::string(kModule) + " has no entry point \"ShowSimulatedBoards\"";
    else
      module.Detach();
  }
  char reason[256] = {};
  if (show && show(NetworkOwner(), driver, boards.data(), static_cast<int>(boards.size()), boardId, reason,
                   sizeof reason) == 0)
    return;
  // Without a window the same facts go into a box (on the console of a
  // process without windows).
  std::string text = Summary(driver, boards);
  if (!show) text += "\nThe properties window cannot be shown: " + loadError;
  Ui::MessageBox(NetworkOwner(), text, "Board Properties", MessageIcon::Information);
}

}  // namespace veltra::sim
