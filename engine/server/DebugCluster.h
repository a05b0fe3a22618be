// Cluster 4: debugging prints on the server process's own standard output,
// apart from the terminal and the redirection files.
#pragma once

#include "TableCluster.h"

namespace veltra {

class DebugCluster final : public TableCluster<DebugCluster, 3> {
 public:
  static const Table kHandlers;

  const char* Name() override { return "Debug Cluster"; }

 private:
  int PrintValue();
  int IgnoreWord();
  int PrintCharacter();
};

}  // namespace veltra
