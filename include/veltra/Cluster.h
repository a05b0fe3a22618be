// Abstract base of every service cluster: built-in, host-supplied and those
// in cluster libraries ("Plexa_%02x"). A library exports
//   extern "C" Cluster* ClusterInit();          // required
//   extern "C" void ClusterClose(Cluster*);     // optional
#pragma once

#include "veltra/Export.h"

namespace veltra {

class RequestChannel;
class ServerContext;

class VELTRA_EXPORT Cluster {
 public:
  virtual ~Cluster();
  virtual const char* Name() = 0;
  virtual int Dispatch(int cluster, int service) = 0;

  // Written by the registry when the cluster is registered.
  RequestChannel* channel = nullptr;
  ServerContext* context = nullptr;
};

using ClusterInitFunction = Cluster* (*)();
using ClusterCloseFunction = void (*)(Cluster*);

}  // namespace veltra
