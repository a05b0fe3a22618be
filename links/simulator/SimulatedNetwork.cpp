#include "SimulatedNetwork.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace veltra::sim {

namespace {

constexpr char kDescription[] = "Veltra simulated network";
constexpr char kBoardName[] = "Simulated DSP";
static_assert(sizeof kDescription <= 32 && sizeof kBoardName <= kBoardNameSize);

}  // namespace

SimulatedNetwork::SimulatedNetwork(int boardCount) {
  // Board IDs start at 1: the link manager reads an ID of 0 as "no board".
  for (int index = 0; index < boardCount; ++index)
    links_.push_back(std::make_unique<SimulatedLink>(index + 1));
}

int SimulatedNetwork::BoardCountFromEnvironment() {
  const char* text = std::getenv("VELTRA_SIM_BOARDS");
  if (!text) return 1;
  char* end = nullptr;
  errno = 0;
  long count = std::strtol(text, &end, 10);
  if (errno == 0 && end != text && *end == '\0' && count >= 1 && count <= kMaxBoards)
    return static_cast<int>(count);
  std::fprintf(stderr,
               "Simulator_Orv: VELTRA_SIM_BOARDS=\"%s\" is not a board count from 1 to %d; using 1 board\n",
               text, kMaxBoards);
  return 1;
}

int SimulatedNetwork::BoardCount() {
  return static_cast<int>(links_.size());
}

void SimulatedNetwork::BoardInfo(int index, char* name, int* id) {
  bool known = index >= 0 && index < BoardCount();
  if (name) std::snprintf(name, kBoardNameSize, "%s", known ? kBoardName : "");
  if (id) *id = known ? index + 1 : 0;
}

void SimulatedNetwork::Description(char* text) {
  if (text) std::snprintf(text, 32, "%s", kDescription);
}

Link* SimulatedNetwork::OpenLink(int index) {
  if (index < 0 || index >= BoardCount()) return nullptr;
  return links_[static_cast<size_t>(index)].get();
}

int SimulatedNetwork::HideBoardId() {
  return 0;
}

std::vector<SimulatedBoardRow> SimulatedNetwork::Boards() {
  std::vector<SimulatedBoardRow> boards;
  for (int index = 0; index < BoardCount(); ++index) {
    SimulatedBoardRow row{};
    BoardInfo(index, row.name, &row.id);
    row.pid = links_[static_cast<size_t>(index)]->RunningPid();
    boards.push_back(row);
  }
  return boards;
}

}  // namespace veltra::sim
