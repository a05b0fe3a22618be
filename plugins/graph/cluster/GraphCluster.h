// The graph display cluster: services 1 to 10 open graphs, take their
// titles, ranges and samples, and show them. The records live in the
// library-wide GraphTable, not in the cluster object, so they outlive the run.
#pragma once

#include <cstdint>
#include <vector>

#include "TableCluster.h"
#ifdef VELTRA_GRAPH_WITH_PANELS
#include "plugins/panel/PanelServices.h"
#endif

namespace veltra {

struct GraphRecord;

class GraphCluster final : public TableCluster<GraphCluster, 10> {
 public:
  // The largest buffer service 1 makes: 16 Mi samples, 128 MiB (a build may
  // set less, as the fuzz target does to stay within its memory limit).
#ifdef VELTRA_GRAPH_MAXIMUM_CAPACITY
  static constexpr int32_t kMaximumCapacity = VELTRA_GRAPH_MAXIMUM_CAPACITY;
#else
  static constexpr int32_t kMaximumCapacity = 1 << 24;
#endif
  // Texts are used as zero-terminated strings of at most this many bytes
  // with their zero.
  static constexpr uint32_t kTextSize = 128;
  static constexpr int kFailure = 99;

  const char* Name() override {
    return "Example Cluster";
  }

#ifdef VELTRA_GRAPH_WITH_PANELS
  // The combined cluster: the control-panel services follow the graph
  // services as 11 to 21; 0 and everything else go by the graph table.
  int Dispatch(int cluster, int service) override {
    int result = 0;
    if (service > 10 && channel && panels_.Serve(service, *channel, result)) return result;
    return TableCluster::Dispatch(cluster, service);
  }
#endif

  int OpenLib();
  int CloseLib();
  int SetXTitle();
  int SetYTitle();
  int SetAxisRangesPhis();
  int SetAxisRangesUser();
  int Show();
  int PumpMessages();
  int AppendData();
  int SetGraphTile();

  // At the end of a run: the open graphs' files for --graphs.
  void WriteOpenGraphs();

  static const Table kHandlers;

 private:
  // A text of at most kTextSize bytes into text (which holds one more);
  // false when it was longer.
  bool ReadText(char* text);
  // The record of the handle word read next, or null.
  GraphRecord* ReadRecord();

  // Restores the first bytes past the write position that a refused
  // AppendData wrote.
  static void PutBack(GraphRecord& record, uint32_t bytes);
#ifdef VELTRA_GRAPH_WITH_PANELS
  PanelServices panels_{"Plexa_300", PanelServices::Numbering::Combined};
#endif
};

}  // namespace veltra
