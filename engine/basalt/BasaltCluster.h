// Cluster 0: the legacy host services of the DSP run-time library: streams
// over host files and the console, records of five formats, file management
// and process services.
#pragma once

#include <memory>

#include "veltra/Cluster.h"

namespace veltra {

class BasaltCluster final : public Cluster {
 public:
  BasaltCluster();
  // Closes every stream still open; temporary files left open stay on disk.
  ~BasaltCluster() override;
  const char* Name() override { return "Basalt Cluster"; }
  int Dispatch(int cluster, int service) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace veltra
