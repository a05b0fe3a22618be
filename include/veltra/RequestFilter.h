// Optional hook of the host, consulted for requests to unregistered clusters.
#pragma once

namespace veltra {

class RequestChannel;

class RequestFilter {
 public:
  // Returns true when it has dealt with the request (and written its reply).
  virtual bool Handle(int cluster, int service, bool replyWanted, RequestChannel* channel) = 0;

 protected:
  ~RequestFilter() = default;
};

}  // namespace veltra
