#pragma once
// How a ring's consumer waits: the producer rings after each entry, and
// whoever ends the consumer rings after setting its flag, so nobody polls.
// The bound of a wait only covers a flag set elsewhere without a ring.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace lumivex {

class Doorbell {
 public:
  void Ring() const {
    { std::lock_guard lock(mutex_); }  // a waiter between its look and its sleep is not missed
    wake_.notify_all();
  }
  // Until done() holds or the time is up; done() is looked at under the lock.
  template <typename Done>
  bool WaitFor(std::chrono::milliseconds time, Done done) const {
    std::unique_lock lock(mutex_);
    return wake_.wait_for(lock, time, done);
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable wake_;
};

}  // namespace lumivex
