// The link manager's lists: one interface entry per loaded interface library,
// one board entry per board it reports. New entries go to the head, so
// interfaces run from the newest to the oldest and boards from the highest
// index down to 0.
#pragma once

#include <memory>

#include "veltra/Link.h"

namespace veltra {

constexpr int kLibraryPathSize = 256;  // 255 characters and the terminating zero

struct InterfaceEntry;

struct BoardEntry {
  std::unique_ptr<BoardEntry> next;
  InterfaceEntry* owner = nullptr;
  int id = 0;     // shown to the user
  int index = 0;  // what BoardInfo and OpenLink take
  char name[kBoardNameSize] = {};
};

struct InterfaceEntry {
  std::unique_ptr<InterfaceEntry> next;
  InterfaceInfo* info = nullptr;  // belongs to the interface library
  int boardCount = 0;
  std::unique_ptr<BoardEntry> boards;
  char description[kBoardNameSize] = {};
  char path[kLibraryPathSize] = {};  // exactly as given to AddInterface
};

}  // namespace veltra
