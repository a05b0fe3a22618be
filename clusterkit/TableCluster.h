// The table dispatch rule shared by every cluster: service 0 is the presence
// probe, a present handler is called, anything else is no_service.
#pragma once

#include <array>
#include <cstddef>

#include "veltra/Cluster.h"
#include "veltra/ServerError.h"

namespace veltra {

template <typename Derived, std::size_t LastService>
class TableCluster : public Cluster {
 public:
  using Handler = int (Derived::*)();
  using Table = std::array<Handler, LastService + 1>;  // index 0 unused

  int Dispatch(int, int service) override {
    if (service == 0) return 0;
    if (service > 0 && static_cast<std::size_t>(service) <= LastService) {
      Handler handler = Derived::kHandlers[static_cast<std::size_t>(service)];
      if (handler) return (static_cast<Derived*>(this)->*handler)();
    }
    throw no_service(Name(), service);
  }
};

}  // namespace veltra
