// Cluster 5: the debugger interface. Its pause holds the application, with
// its reply, until the user has attached a debugger and closed the box.
#pragma once

#include "TableCluster.h"

namespace veltra {

class DebuggerCluster final : public TableCluster<DebuggerCluster, 3> {
 public:
  static const Table kHandlers;
  static const char* const kPauseText;

  const char* Name() override { return "Code Composer Interface Cluster"; }

 private:
  int DiscardArguments();
  int Nothing();
  int Pause();
};

}  // namespace veltra
