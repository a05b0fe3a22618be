// Counting semaphore with an initial count and a maximum, as the server's
// run, stop and write semaphores need. A release beyond the maximum fails
// and changes nothing.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "veltra/Export.h"

namespace veltra {

class VELTRA_EXPORT Semaphore {
 public:
  // The initial count is kept within 0 and the maximum.
  Semaphore(int initial, int maximum);
  Semaphore(const Semaphore&) = delete;
  Semaphore& operator=(const Semaphore&) = delete;

  // Adds count; false (and no change) when that would pass the maximum.
  bool Release(int count = 1);
  void Wait();
  // False when the time ran out before the semaphore could be taken.
  bool WaitFor(std::chrono::milliseconds limit);
  bool TryWait();
  int Count() const;

  // Waits until either can be taken and takes it. Returns 0 for first, 1 for
  // second; the first wins when both are available.
  static int WaitAny(Semaphore& first, Semaphore& second);

 private:
  // Waiters of WaitAny sleep on a shared condition of their own; each
  // semaphore tells the ones attached to it.
  struct AnyWaiter;
  void Notify();

  mutable std::mutex mutex_;  // guards count_, waiters_ and anyWaiters_
  std::condition_variable changed_;
  int count_;
  const int maximum_;
  int waiters_ = 0;                     // threads in Wait or WaitFor
  std::vector<AnyWaiter*> anyWaiters_;  // every WaitAny now waiting on this one
};

}  // namespace veltra
