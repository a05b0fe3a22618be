// The control-panel cluster (cluster 0x310): services 1 to 9 of the panels.
#pragma once

#include "plugins/panel/PanelServices.h"
#include "veltra/Cluster.h"

namespace veltra {

class PanelCluster final : public Cluster {
 public:
  PanelCluster() : services_("Plexa_310", PanelServices::Numbering::Standalone) {}

  const char* Name() override { return "Example Cluster"; }
  int Dispatch(int cluster, int service) override;

 private:
  PanelServices services_;
};

}  // namespace veltra
