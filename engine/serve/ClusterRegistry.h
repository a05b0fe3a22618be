// The clusters of one run: sixteen buckets by (number AND 15), each a list in
// registration order, and the cluster libraries loaded for this run.
#pragma once

#include <memory>

#include "veltra/Cluster.h"
#include "veltra/OptionsRecord.h"
#include "veltra/RequestChannel.h"
#include "veltra/ServerContext.h"

namespace veltra {

class ClusterRegistry {
 public:
  // Registers nothing itself; the run registers the built-in clusters
  // (RegisterBuiltinClusters) right after making the registry.
  ClusterRegistry(RequestChannel* channel, ServerContext* context, const OptionsRecord* options);
  // Calls ClusterClose of library clusters, deletes the others.
  ~ClusterRegistry();
  ClusterRegistry(const ClusterRegistry&) = delete;
  ClusterRegistry& operator=(const ClusterRegistry&) = delete;

  // Attaches channel and context, then registers; library is null for
  // built-in and host-supplied clusters, which the registry then owns.
  // Throws duplicate_cluster when the number is taken; the cluster is then
  // released all the same (deleted, or handed to its library's ClusterClose),
  // so a caller never keeps a cluster it handed over.
  void Add(int number, Cluster* cluster, void* library = nullptr);
  Cluster* Find(int number) const;
  // Loads "Plexa_%02x" for the number and registers its ClusterInit object.
  Cluster* LoadLibrary(int number);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace veltra
