#include "platform/Semaphore.h"

#include <algorithm>

namespace veltra {

struct Semaphore::AnyWaiter {
  std::mutex mutex;  // guards signalled
  std::condition_variable wake;
  bool signalled = false;
};

Semaphore::Semaphore(int initial, int maximum)
    : count_(std::clamp(initial, 0, std::max(maximum, 0))), maximum_(maximum) {}

void Semaphore::Notify() {
  // Called with mutex_ held. Most releases find nobody waiting (the write
  // semaphore is taken around every block sent): no broadcast for them.
  if (waiters_ > 0) changed_.notify_all();
  for (AnyWaiter* waiter : anyWaiters_) {
    std::lock_guard<std::mutex> lock(waiter->mutex);
    waiter->signalled = true;
    waiter->wake.notify_all();
  }
}

bool Semaphore::Release(int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (count <= 0 || count > maximum_ - count_) return false;  // never overflows
  count_ += count;
  Notify();
  return true;
}

void Semaphore::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (count_ <= 0) {
    ++waiters_;
    changed_.wait(lock, [this] { return count_ > 0; });
    --waiters_;
  }
  --count_;
}

bool Semaphore::WaitFor(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (count_ <= 0) {
    ++waiters_;
    bool taken = changed_.wait_for(lock, limit, [this] { return count_ > 0; });
    --waiters_;
    if (!taken) return false;
  }
  --count_;
  return true;
}

bool Semaphore::TryWait() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (count_ <= 0) return false;
  --count_;
  return true;
}

int Semaphore::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return count_;
}

int Semaphore::WaitAny(Semaphore& first, Semaphore& second) {
  AnyWaiter waiter;
  {
    std::scoped_lock lock(first.mutex_, second.mutex_);
    first.anyWaiters_.push_back(&waiter);
    second.anyWaiters_.push_back(&waiter);
  }
  int taken = -1;
  while (taken < 0) {
    {
      std::scoped_lock lock(first.mutex_, second.mutex_);
      if (first.count_ > 0) {
        --first.count_;
        taken = 0;
      } else if (second.count_ > 0) {
        --second.count_;
        taken = 1;
      }
      if (taken >= 0) {
        for (Semaphore* semaphore : {&first, &second}) std::erase(semaphore->anyWaiters_, &waiter);
        break;
      }
    }
    std::unique_lock<std::mutex> lock(waiter.mutex);
    waiter.wake.wait(lock, [&] { return waiter.signalled; });
    waiter.signalled = false;
  }
  return taken;
}

}  // namespace veltra
