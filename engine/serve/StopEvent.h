// What ends the host-side waits of a run: the serve loop's own waits are on
// the link, which a cancel wakes; everything else the server thread may wait
// for on the host (a named pipe, a terminal, a host command) waits here too,
// so that a halt ends it at once.
#pragma once

#include <chrono>
#include <cstdio>

namespace veltra {

class StopEvent {
 public:
  StopEvent();
  ~StopEvent();
  StopEvent(const StopEvent&) = delete;
  StopEvent& operator=(const StopEvent&) = delete;

  // Safe from any thread.
  void Set();
  // At the start of a run, on the server thread.
  void Clear();
  bool IsSet() const;

  // Waits until fd reports one of events (poll(2) bits). False, with errno
  // ECANCELED, once the event is set; false with errno on a failed poll.
  bool WaitReady(int fd, short events) const;
  // Waits for the time given; false as soon as the event is set.
  bool Sleep(std::chrono::milliseconds time) const;

  // A stream on fd (which it then owns) whose reads and writes wait for the
  // descriptor through WaitReady: for pipes, terminals and sockets, where a
  // read or write may wait without end. fd is put into non-blocking mode.
  // Null (fd left open) when the stream cannot be made.
  std::FILE* StoppableStream(int fd, const char* mode) const;

 private:
  int fd_;
};

}  // namespace veltra
