#include "plugins/panel/PanelCluster.h"

#include "veltra/RequestChannel.h"
#include "veltra/ServerError.h"

namespace veltra {

int PanelCluster::Dispatch(int, int service) {
  if (service == 0) return 0;
  int result = 0;
  if (channel && services_.Serve(service, *channel, result)) return result;
  throw no_service(Name(), service);
}

}  // namespace veltra
