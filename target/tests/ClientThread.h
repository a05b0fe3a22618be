// Runs run-time calls on a thread while the test plays the server.
#pragma once

#include <sys/socket.h>

#include <chrono>
#include <functional>
#include <future>
#include <stdexcept>

#include "FakeServer.h"

namespace veltra::test {

template <class T>
class ClientThread {
 public:
  ClientThread(FakeServer& server, std::function<T()> body)
      : server_(server), future_(std::async(std::launch::async, std::move(body))) {}

  // A client still blocked when the test gives up would hang it: cutting the
  // link makes the run-time end the process instead, which fails the test.
  ~ClientThread() {
    if (future_.valid() && future_.wait_for(std::chrono::seconds(3)) != std::future_status::ready)
      ::shutdown(server_.ServerFd(), SHUT_RDWR);
  }

  bool FinishesWithin(int ms) {
    return future_.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready;
  }

  T Get() {
    if (!FinishesWithin(5000)) throw std::runtime_error("client did not finish");
    return future_.get();
  }

 private:
  FakeServer& server_;
  std::future<T> future_;
};

}  // namespace veltra::test
